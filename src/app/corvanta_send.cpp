// corvanta-send: sends a mailing from a saved recipient list without the
// window, for scripts and schedulers.
//
//   corvanta-send --list NAME --to-column COLUMN --from N --subject TEXT
//                 --body-file FILE [--attach FILE]... [--dry-run] [--yes] [--data DIR]
//
// It reads the lists, their saved filter rows, the sender book and the mail
// settings of the data folder, imports the list, applies its filter, merges,
// checks the mails as the Send step does and sends them with the same
// engine. Standard output gets one CSV line per mail (RFC 4180, CRLF): row,
// recipient, outcome (sent, failed, temporary, unknown), reason; with
// --dry-run: row, recipient, subject, and nothing is sent. Standard error
// gets the findings of the checks and a summary.
//
// Exit status: 0 every mail sent (or, with --dry-run, ready to go); 1 some
// mail not sent, or the checks found something and --yes was not given; 2 a
// wrong command line, an unknown list, column or sender, or a source, body
// file or data folder that cannot be read.

#include "base/AppError.h"
#include "base/Texts.h"
#include "delivery/MailSender.h"
#include "delivery/SendChecks.h"
#include "filters/FilterCriteria.h"
#include "merge/Mails.h"
#include "merge/MergeFields.h"
#include "recipients/RecipientImport.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {

enum ExitStatus
{
    AllSent = 0,
    NotAllSent = 1,
    WrongInput = 2
};

// A mistake in what the command asks for; ends the program with status 2.
struct WrongRequest
{
    QString message;
};

void Write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

QString CsvField(const QString& text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n'))
        return text;
    QString doubled = text;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

void WriteCsvLine(const QStringList& fields)
{
    QStringList cells;
    for (const QString& field : fields)
        cells << CsvField(field);
    Write(stdout, cells.join(u',') + QStringLiteral("\r\n"));
}

struct Request
{
    QString dataFolder; // ending in "/"
    QString listName;
    QString toColumn;
    QString sender;
    QString subject;
    QString bodyFile;
    QStringList attachments;
    bool dryRun = false;
    bool yes = false;
};

// What a run loaded from the data folder.
struct Store
{
    RecipientLists lists;
    FromAddresses senders;
};

void LoadStore(Store& store, const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        throw WrongRequest{QStringLiteral("The data folder %1 does not exist.")
                               .arg(QDir::toNativeSeparators(folder))};
    // The store writes back what it loaded when it goes, so it reads
    // copies: a run never touches the files the window may be using.
    QTemporaryDir copies;
    if (!copies.isValid())
        throw WrongRequest{QStringLiteral("No temporary folder: %1").arg(copies.errorString())};
    DataStore::CopyStoreFiles(folder, copies.path());
    QStringList problems;
    DataStore data(store.lists, store.senders, copies.path() + u'/', [&](const AppError& problem) {
        problems << QString(problem.Description()).replace(copies.path() + u'/', folder);
    });
    if (!data.Load())
        throw WrongRequest{problems.join(u'\n')};
}

int FindList(const RecipientLists& lists, const QString& name)
{
    for (int position = 1; position <= lists.Count(); ++position)
        if (lists.Item(position).ListName() == name)
            return position;
    throw WrongRequest{QStringLiteral("There is no recipient list named \"%1\".").arg(name)};
}

// The Nth sender (from 1) or the one with this address.
FromAddressRef FindSender(const FromAddresses& senders, const QString& choice)
{
    bool isNumber = false;
    const int number = choice.toInt(&isNumber);
    for (int position = 1; position <= senders.Count(); ++position) {
        const FromAddress& sender = senders.Item(position);
        if (isNumber ? position == number
                     : sender.EMailAddress().compare(choice, Qt::CaseInsensitive) == 0)
            return std::make_shared<const FromAddress>(sender);
    }
    throw WrongRequest{QStringLiteral("There is no sender %1; the sender book holds %2.")
                           .arg(choice)
                           .arg(senders.Count())};
}

QString ReadBody(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw WrongRequest{
            QStringLiteral("The body file %1 cannot be read: %2").arg(path, file.errorString())};
    return FilesSystem::DecodeText(file.readAll());
}

// The list's saved filter rows as the filter dialog would read them back,
// each with the value kind of its column in these rows.
QList<FilterCriteria::FilterRow> SavedFilterRows(const Filters& saved, const Recordset& rows)
{
    QList<FilterCriteria::FilterRow> result;
    for (const Filter& filter : saved) {
        int column = -1;
        for (int i = 0; i < rows.FieldCount() && column < 0; ++i)
            if (rows.FieldName(i) == filter.Data())
                column = i;
        if (column < 0)
            throw WrongRequest{
                QStringLiteral(
                    "The list's filter names the column \"%1\", which the list no longer has.")
                    .arg(filter.Data())};
        FilterCriteria::FilterRow row;
        row.LogicalOperator = filter.LogicalOperator();
        row.Data = filter.Data();
        row.Kind = FilterCriteria::ValueKindOfType(rows.FieldType(column));
        row.ComparisonOperator = filter.ComparisonOperator();
        row.Value = filter.Value();
        result << row;
    }
    return result;
}

// Imports the list and applies its saved filter; the rows that pass are the
// visible records of `imported`.
QStringList ImportFiltered(RecipientLists& lists, int position, Recordset& imported)
{
    const RecipientImport::Outcome outcome = RecipientImport::Import(lists, position, imported);
    if (!outcome.Succeeded())
        throw WrongRequest{QStringLiteral("The recipient list cannot be read: %1")
                               .arg(outcome.Error->Description())};
    Filters filters = lists.Item(position).Filters();
    if (filters.Count() > 0) {
        const auto applied =
            FilterCriteria::ApplyFilterRows(imported, filters, SavedFilterRows(filters, imported));
        if (applied.Result == FilterCriteria::ApplyResult::Rejected)
            throw WrongRequest{QStringLiteral("The list's filter cannot be applied: %1")
                                   .arg(applied.Error->Description())};
    }
    return outcome.Labels;
}

// How a mail's send ended, from the words the send run gave.
QString OutcomeOf(const QString& failure)
{
    static const QRegularExpression temporaryReply(QStringLiteral("^4\\d\\d[ -]"));
    if (failure.isEmpty())
        return QStringLiteral("sent");
    if (failure.startsWith(QLatin1String("delivery unknown")))
        return QStringLiteral("unknown");
    if (temporaryReply.match(failure).hasMatch())
        return QStringLiteral("temporary");
    return QStringLiteral("failed");
}

// The mails to send, as 1-based positions in the merge: every one. This is
// the one place that decides, so that a later rule (what is left of an
// earlier run) goes here alone.
std::vector<int> MailsToSend(const Mails& mails)
{
    std::vector<int> positions;
    positions.reserve(size_t(mails.Count()));
    for (int position = 1; position <= mails.Count(); ++position)
        positions.push_back(position);
    return positions;
}

// Leaves only the chosen mails in the collection, in order. The kept ones
// move up in one pass and the tail goes from the end, so leaving out most of
// a million mails stays linear.
void KeepOnly(Mails& mails, const std::vector<int>& chosen)
{
    std::vector<bool> keep(size_t(mails.Count()) + 1, false);
    for (int position : chosen)
        keep[size_t(position)] = true;
    auto kept = mails.begin();
    int position = 1;
    for (auto mail = mails.begin(); mail != mails.end(); ++mail, ++position)
        if (keep[size_t(position)]) {
            if (kept != mail)
                *kept = std::move(*mail);
            ++kept;
        }
    const int count = int(kept - mails.begin());
    while (mails.Count() > count)
        mails.Remove(mails.Count());
}

// The failure of each mail of a run by its place in the collection. The run
// reports a failed mail by its texts, not its place, and mails end out of
// order over several connections: a failure goes to the first mail not yet
// failed with the same texts, which may only mistake one identical mail for
// another.
class RunOutcomes
{
public:
    explicit RunOutcomes(const Mails& mails) : m_failures(size_t(mails.Count()))
    {
        for (int position = 1; position <= mails.Count(); ++position)
            m_byRecipient[Key(mails.Item(position).To(), mails.Item(position).Subject())].append(
                position);
    }

    void Failed(const Mails& mails, const QString& description, const QString& to,
                const QString& subject, const QString& attachments, const QString& body)
    {
        QList<int>& candidates = m_byRecipient[Key(to, subject)];
        for (qsizetype i = 0; i < candidates.size(); ++i) {
            const Mail& mail = mails.Item(candidates[i]);
            if (mail.TextBody() == body && mail.Attachments() == attachments) {
                m_failures[size_t(candidates[i] - 1)] = description;
                candidates.removeAt(i);
                return;
            }
        }
    }

    const QString& Failure(int position) const { return m_failures[size_t(position - 1)]; }

private:
    static QString Key(const QString& to, const QString& subject) { return to + u'\n' + subject; }

    std::vector<QString> m_failures;
    QHash<QString, QList<int>> m_byRecipient;
};

int Run(const Request& request)
{
    Store store;
    LoadStore(store, request.dataFolder);
    const int listPosition = FindList(store.lists, request.listName);
    const FromAddressRef sender = FindSender(store.senders, request.sender);
    const QString body = ReadBody(request.bodyFile);

    Recordset recipients;
    const QStringList labels = ImportFiltered(store.lists, listPosition, recipients);
    if (!labels.contains(request.toColumn))
        throw WrongRequest{QStringLiteral("The list has no column \"%1\"; its columns are: %2")
                               .arg(request.toColumn, labels.join(QStringLiteral(", ")))};

    Mails mails;
    mails.SetKeepMerging(true);
    if (!mails.Merge(recipients, MergeFields::MarkerForEntry(request.toColumn), sender,
                     request.subject, body, request.attachments.join(u';'))) {
        Write(stderr,
              QStringLiteral("No recipient of the list passes its filter; nothing to send.\n"));
        return AllSent;
    }
    // Row numbers are places in the merge, as the checks name them.
    std::vector<int> rows = MailsToSend(mails);

    const QList<SendFinding> findings = SendChecks::Check(mails);
    if (!findings.isEmpty()) {
        // The findings without the question the window asks.
        QString text = SendChecks::Describe(findings);
        text.chop(LoadResString(4706).size());
        Write(stderr, text.trimmed() + u'\n');
        if (!request.yes) {
            Write(stderr, QStringLiteral("Nothing was sent. Use --yes to send anyway.\n"));
            return NotAllSent;
        }
    }

    if (request.dryRun) {
        for (int row : rows)
            WriteCsvLine({QString::number(row), mails.Item(row).To(), mails.Item(row).Subject()});
        Write(stderr,
              QStringLiteral("%1 e-mails would be sent; nothing was sent.\n").arg(rows.size()));
        return AllSent;
    }

    KeepOnly(mails, rows);
    RunOutcomes outcomes(mails);
    QObject::connect(&mails, &Mails::SendErr,
                     [&](const QString& description, const QString& to, const FromAddressRef&,
                         const QString& subject, const QString& attachments,
                         const QString& mailBody) {
                         outcomes.Failed(mails, description, to, subject, attachments, mailBody);
                     });
    QElapsedTimer clock;
    clock.start();
    MailSender run(mails);
    run.SetSenderText(sender->GetPreviewEMailAddress());
    run.SetConfigurationFolder(request.dataFolder);
    mails.SetKeepSending(true);
    run.Send();

    QHash<QString, int> counts;
    for (int position = 1; position <= mails.Count(); ++position) {
        const QString& failure = outcomes.Failure(position);
        const QString outcome = OutcomeOf(failure);
        ++counts[outcome];
        WriteCsvLine({QString::number(rows[size_t(position - 1)]), mails.Item(position).To(),
                      outcome, failure});
    }
    std::fflush(stdout);
    Write(stderr,
          QStringLiteral("%1 e-mails in %2 s: %3 sent, %4 failed, %5 temporary, %6 unknown.\n")
              .arg(mails.Count())
              .arg(clock.elapsed() / 1000)
              .arg(counts.value(QStringLiteral("sent")))
              .arg(counts.value(QStringLiteral("failed")))
              .arg(counts.value(QStringLiteral("temporary")))
              .arg(counts.value(QStringLiteral("unknown"))));
    return counts.value(QStringLiteral("sent")) == mails.Count() ? AllSent : NotAllSent;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvanta-send"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends a mailing to a saved recipient list of Corvanta, with its filter, sender book and "
        "mail "
        "settings. Prints one CSV line per e-mail: row, recipient, outcome (sent, failed, "
        "temporary, "
        "unknown), reason.\nExit status: 0 all sent, 1 some not sent or the checks found something "
        "(without --yes), 2 a wrong command line or input."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("list"), QStringLiteral("The saved recipient list to send to."),
         QStringLiteral("name")},
        {QStringLiteral("to-column"),
         QStringLiteral("The column that holds the recipients' addresses."),
         QStringLiteral("column")},
        {QStringLiteral("from"),
         QStringLiteral("The sender: its number in the sender book (from 1) or its address."),
         QStringLiteral("sender")},
        {QStringLiteral("subject"), QStringLiteral("The subject; it may hold «column» markers."),
         QStringLiteral("text")},
        {QStringLiteral("body-file"),
         QStringLiteral("A text file with the message; it may hold «column» markers."),
         QStringLiteral("file")},
        {QStringLiteral("attach"),
         QStringLiteral("A file to attach to every e-mail (repeat for more)."),
         QStringLiteral("file")},
        {QStringLiteral("dry-run"),
         QStringLiteral("Merge and check, print the e-mails it would send, send nothing.")},
        {QStringLiteral("yes"),
         QStringLiteral("Send even when the checks before sending find something.")},
        {QStringLiteral("data"), QStringLiteral("The data folder to use instead of the user's."),
         QStringLiteral("folder")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        Write(stderr, parser.errorText() + u'\n' + parser.helpText());
        return WrongInput;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Write(stdout, parser.helpText());
        return AllSent;
    }
    const QStringList required{QStringLiteral("list"), QStringLiteral("to-column"),
                               QStringLiteral("from"), QStringLiteral("subject"),
                               QStringLiteral("body-file")};
    for (const QString& name : required)
        if (!parser.isSet(name)) {
            Write(stderr, QStringLiteral("--%1 is missing.\n").arg(name) + parser.helpText());
            return WrongInput;
        }
    if (!parser.positionalArguments().isEmpty()) {
        Write(
            stderr,
            QStringLiteral("Unexpected argument: %1\n").arg(parser.positionalArguments().first()) +
                parser.helpText());
        return WrongInput;
    }

    Request request;
    const QString data = parser.value(QStringLiteral("data"));
    request.dataFolder = data.isEmpty() ? FilesSystem::VersionDataFolder()
                                        : QFileInfo(data).absoluteFilePath() + u'/';
    request.listName = parser.value(QStringLiteral("list"));
    request.toColumn = parser.value(QStringLiteral("to-column"));
    request.sender = parser.value(QStringLiteral("from"));
    request.subject = parser.value(QStringLiteral("subject"));
    request.bodyFile = parser.value(QStringLiteral("body-file"));
    // Absolute, so the mails name the files whatever folder reads them.
    for (const QString& file : parser.values(QStringLiteral("attach")))
        request.attachments << QFileInfo(file).absoluteFilePath();
    request.dryRun = parser.isSet(QStringLiteral("dry-run"));
    request.yes = parser.isSet(QStringLiteral("yes"));

    try {
        const int status = Run(request);
        std::fflush(stdout);
        return status;
    } catch (const WrongRequest& wrong) {
        std::fflush(stdout);
        Write(stderr, wrong.message + u'\n');
        return WrongInput;
    } catch (const AppError& error) {
        std::fflush(stdout);
        Write(stderr,
              QStringLiteral("Error %1 (%2): %3\n")
                  .arg(QString::number(error.Number()), error.Source(), error.Description()));
        return WrongInput;
    }
}
