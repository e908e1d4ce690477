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
#include "delivery/SendJournal.h"
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
    bool resume = false;
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
    switch (SendJournal::StateOfFailure(failure)) {
    case SendJournal::State::Sent:
        return QStringLiteral("sent");
    case SendJournal::State::Unknown:
        return QStringLiteral("unknown");
    case SendJournal::State::Temporary:
        return QStringLiteral("temporary");
    default:
        return QStringLiteral("failed");
    }
}

// The mails to send, as 1-based positions in the merge: with --resume those
// the journal has not seen sent, failed for good or of unknown delivery;
// otherwise every one, and the journal starts over.
std::vector<int> MailsToSend(const Mails& mails, SendJournal& journal, bool resume)
{
    std::vector<int> positions;
    positions.reserve(size_t(mails.Count()));
    if (!resume)
        journal.Restart();
    for (int position = 1; position <= mails.Count(); ++position) {
        const SendJournal::State state = journal.StateOf(position);
        if (state == SendJournal::State::NotSent || state == SendJournal::State::Temporary)
            positions.push_back(position);
    }
    return positions;
}

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

    // Row numbers are places in the merge, as the checks and the journal
    // name them.
    SendJournal journal(QDir(request.dataFolder).filePath(QStringLiteral("journals")),
                        SendJournal::Digest(mails, SendJournal::ListContext(
                                                       store.lists.Item(listPosition).Definition(),
                                                       recipients.Filter())),
                        mails.Count());
    if (request.dryRun) {
        // What a run would send, without touching the journal.
        std::vector<int> rows;
        for (int position = 1; position <= mails.Count(); ++position)
            if (!request.resume || journal.StateOf(position) == SendJournal::State::NotSent ||
                journal.StateOf(position) == SendJournal::State::Temporary)
                rows.push_back(position);
        for (int row : rows)
            WriteCsvLine({QString::number(row), mails.Item(row).To(), mails.Item(row).Subject()});
        Write(stderr,
              QStringLiteral("%1 e-mails would be sent; nothing was sent.\n").arg(rows.size()));
        return AllSent;
    }

    const std::vector<int> rows = MailsToSend(mails, journal, request.resume);
    if (rows.empty()) {
        Write(stderr, QStringLiteral("The journal says every e-mail of this mailing was sent or "
                                     "ended; nothing to send.\n"));
        return AllSent;
    }
    std::vector<QString> failures(size_t(mails.Count()) + 1);
    std::vector<bool> handled(size_t(mails.Count()) + 1, false);
    MailSender run(mails);
    QObject::connect(&mails, &Mails::MailsSend,
                     [&] { handled[size_t(run.CurrentPosition())] = true; });
    QObject::connect(&mails, &Mails::SendErr, [&](const QString& description) {
        failures[size_t(run.CurrentPosition())] = description;
    });
    run.SetWatcher({{}, [&](const QHash<int, QString>& outcomes) {
                        for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
                            failures[size_t(it.key())] = it.value();
                    }});
    QElapsedTimer clock;
    clock.start();
    run.SetSenderText(sender->GetPreviewEMailAddress());
    run.SetConfigurationFolder(request.dataFolder);
    run.SetPositions(rows);
    run.SetJournal(&journal);
    mails.SetKeepSending(true);
    run.Send();
    journal.Close();

    QHash<QString, int> counts;
    for (const int position : rows) {
        // A run that stops at the day's limit leaves the rest untouched.
        const QString failure = handled[size_t(position)]
                                    ? failures[size_t(position)]
                                    : QStringLiteral("not sent: the day's sending limit was reached");
        const QString outcome = OutcomeOf(failure);
        ++counts[outcome];
        WriteCsvLine({QString::number(position), mails.Item(position).To(), outcome, failure});
    }
    std::fflush(stdout);
    Write(stderr,
          QStringLiteral("%1 e-mails in %2 s: %3 sent, %4 failed, %5 temporary, %6 unknown.\n")
              .arg(rows.size())
              .arg(clock.elapsed() / 1000)
              .arg(counts.value(QStringLiteral("sent")))
              .arg(counts.value(QStringLiteral("failed")))
              .arg(counts.value(QStringLiteral("temporary")))
              .arg(counts.value(QStringLiteral("unknown"))));
    if (run.DayLimitReached())
        Write(stderr, QStringLiteral("The day's sending limit was reached; the rest can go from %1 "
                                     "on with --resume.\n")
                          .arg(run.NextAllowance().toString(Qt::ISODate)));
    return counts.value(QStringLiteral("sent")) == qsizetype(rows.size()) ? AllSent : NotAllSent;
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
        {QStringLiteral("resume"),
         QStringLiteral("Send only the e-mails an earlier run of the same mailing did not send.")},
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
    request.resume = parser.isSet(QStringLiteral("resume"));

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
