#include "SmtpScriptServer.h"
#include "SmtpTestServer.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "delivery/MailConfiguration.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QProcess>

using namespace TestSupport;

namespace {

QString Tool()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/corvanta-send");
}

QString Home(const QString& relative)
{
    return QDir::homePath() + u'/' + relative;
}

std::shared_ptr<RecipientList> CsvList(const QString& name, const QString& path)
{
    auto list = std::make_shared<RecipientList>();
    list->SetListName(name);
    list->SetDataType(RecipientList::Excel);
    list->SetExcelFilename(path);
    list->SetCatalogCommandType(RecipientList::CmdTable);
    list->SetCatalogTableOrView(QFileInfo(path).completeBaseName());
    list->SetIsListValid(true);
    return list;
}

struct Outcome
{
    int status = -1;
    QStringList lines; // standard output
    QString errors;
};

const char* const AllSent =
    "1,ann@example.org,sent,|2,cid@example.org,sent,|3,dee@example.org,sent,";

Outcome RunTool(const QStringList& arguments)
{
    QProcess process;
    process.start(Tool(), arguments);
    Outcome outcome;
    // Events run meanwhile, for a scripted server in this process.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000) ||
        process.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.status = process.exitCode();
    outcome.lines = QString::fromUtf8(process.readAllStandardOutput())
                        .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    outcome.errors = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

} // namespace

// The command-line mailing against a real server, from a data folder that
// holds a list of a CSV file with a saved filter (City is Oslo: Ann, Cid and
// Dee of four people) and two senders, the second with no valid address.
class tst_CorvantaSend : public QObject
{
    Q_OBJECT

    QString m_data;
    QByteArray m_attachment;

    QStringList Arguments(const QStringList& changes) const
    {
        // A value given twice counts the last time, so a change overrides.
        return QStringList{"--data",    m_data, "--list",    "Members",
                           "--to-column", "Email", "--from", "1",
                           "--subject",   QString::fromUtf8("News for «Name»"),
                           "--body-file", Home("body.txt")} +
               changes;
    }

    void UseServer(int port, qint16 connections = 4, qint16 timeout = 60) const
    {
        MailConfiguration settings(QString(), m_data);
        settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
        settings.SetSMTPServerPort(qint16(port));
        settings.SetSMTPMaxConnections(connections);
        settings.SetSMTPConnectionTimeout(timeout);
        settings.Save();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(Tool()).isExecutable(),
                 qPrintable(Tool() + QStringLiteral(" is not built")));
        m_data = Home("data/");
        PutFile(Home("members.csv"),
                "Name,Email,City\r\nAnn,ann@example.org,Oslo\r\n"
                "Bob,bob@example.org,Paris\r\nCid,cid@example.org,Oslo\r\n"
                "Dee,dee@example.org,Oslo\r\n");
        PutFile(Home("body.txt"),
                QString::fromUtf8("Dear «Name»,\nthe «City» meeting is on.\n").toUtf8());
        for (int i = 0; i < 5000; ++i)
            m_attachment += char(i * 131 % 256);
        PutFile(Home("agenda.pdf"), m_attachment);

        RecipientLists lists;
        auto members = CsvList(QStringLiteral("Members"), Home("members.csv"));
        Filter oslo;
        oslo.SetData(QStringLiteral("City"));
        oslo.SetValue(QStringLiteral("Oslo"));
        Filters filters;
        filters.Add(oslo);
        members->SetFilters(filters);
        lists.Add(members);
        lists.Add(CsvList(QStringLiteral("Gone"), Home("gone.csv")));
        FromAddresses senders;
        senders.Add(QStringLiteral("Ada Lovelace"), QStringLiteral("ada@example.org"), QString());
        senders.Add(QStringLiteral("Nobody"), QStringLiteral("nobody at all"), QString());
        DataStore store(lists, senders, m_data);
        QVERIFY(store.Load());
        QVERIFY(store.Save());
    }

    // The filtered list merged and sent, as Python's email package reads it.
    void sendsTheFilteredList()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        UseServer(server.Port());
        // A run reads the store and writes nothing back.
        const QString listsFile = m_data + DataStore::FileName(DataStore::RecipientListsKind);
        const QByteArray stored = ReadBytes(listsFile);
        const Outcome run =
            RunTool(Arguments({"--attach", Home("agenda.pdf"), "--from", "ada@example.org"}));
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines, QString(AllSent).split(u'|'));
        QVERIFY2(run.errors.contains(QLatin1String("3 sent, 0 failed")), qPrintable(run.errors));
        QCOMPARE(server.MessageCount(), 3);
        QCOMPARE(ReadBytes(listsFile), stored);
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(m_attachment, QCryptographicHash::Sha256).toHex());
        QSet<QString> names;
        for (int n = 1; n <= 3; ++n) {
            const QJsonObject mail = server.Inspect(n);
            const QString name = mail.value("subject").toString().section(u' ', 2);
            names << name;
            const QJsonArray files = mail.value("attachments").toArray();
            QCOMPARE(QStringList({mail.value("to")[0]["address"].toString(),
                                  mail.value("from")[0]["address"].toString(),
                                  mail.value("body").toString(), files[0]["filename"].toString(),
                                  files[0]["sha256"].toString()}),
                     QStringList({name.toLower() + "@example.org", "ada@example.org",
                                  QStringLiteral("Dear %1,\nthe Oslo meeting is on.\n").arg(name),
                                  "agenda.pdf", sha}));
            QCOMPARE(files.size(), 1);
            QCOMPARE(mail.value("defects").toArray().size(), 0);
        }
        QCOMPARE(names, (QSet<QString>{"Ann", "Cid", "Dee"}));
    }

    // Exit status, the start of each output line, the mails the server got
    // and a piece of what standard error says.
    void exitStatus_data()
    {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("refuse"); // an address the server refuses
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("received");
        QTest::addColumn<QString>("error");
        // Options and lines are split at blanks and "|"; "~/" is the home folder.
        const struct
        {
            const char *tag, *changes, *refuse;
            int status;
            const char* lines;
            int received;
            const char* error;
        } rows[] = {
            {"refused recipient", "", "cid@example.org", 1,
             "1,ann@example.org,sent,|2,cid@example.org,failed,550|3,dee@example.org,sent,", 2,
             "2 sent, 1 failed"},
            {"dry run", "--dry-run", "", 0,
             "1,ann@example.org,News for Ann|2,cid@example.org,News for Cid|"
             "3,dee@example.org,News for Dee",
             0, "nothing was sent"},
            {"not addresses", "--to-column City", "", 1, "", 0, "not e-mail addresses: 3"},
            {"bad sender", "--from 2", "", 1, "", 0, "Sender or reply addresses"},
            {"missing file", "--attach ~/missing.pdf", "", 1, "", 0, "Row 1: ~/missing.pdf"},
            {"missing file, dry run", "--attach ~/missing.pdf --dry-run", "", 1, "", 0,
             "missing or cannot be read: 1"},
            {"missing file, yes", "--attach ~/missing.pdf --yes", "", 0, AllSent, 3,
             "missing or cannot be read: 1"},
            // Wrong input: nothing read, nothing sent.
            {"no list", "--list Others", "", 2, "", 0, "no recipient list named \"Others\""},
            {"no column", "--to-column Mail", "", 2, "", 0, "no column \"Mail\""},
            {"no sender", "--from 3", "", 2, "", 0, "no sender 3"},
            {"no sender address", "--from eve@example.org", "", 2, "", 0,
             "no sender eve@example.org"},
            {"no body", "--body-file ~/none.txt", "", 2, "", 0, "none.txt cannot be read"},
            {"source gone", "--list Gone", "", 2, "", 0, "cannot be read"},
            {"no data folder", "--data ~/nowhere", "", 2, "", 0, "does not exist"},
            {"unknown option", "--sned", "", 2, "", 0, "Unknown option 'sned'"},
            {"stray argument", "Members", "", 2, "", 0, "Unexpected argument"}};
        const auto home = [](const char* text) {
            return QString::fromUtf8(text).replace(QLatin1String("~/"), Home(QString()));
        };
        for (const auto& row : rows)
            QTest::newRow(row.tag) << home(row.changes).split(u' ', Qt::SkipEmptyParts)
                                   << QString::fromLatin1(row.refuse) << row.status
                                   << QString::fromLatin1(row.lines).split(u'|', Qt::SkipEmptyParts)
                                   << row.received << home(row.error);
    }

    void exitStatus()
    {
        QFETCH(QStringList, changes);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        QFETCH(QString, refuse);
        SmtpTestServer::Options options;
        if (!refuse.isEmpty())
            options.reject = QStringList{refuse};
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        UseServer(server.Port());
        const Outcome run = RunTool(Arguments(changes));
        QTEST(run.status, "status");
        QCOMPARE(run.lines.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(run.lines[i].startsWith(lines[i]), qPrintable(run.lines[i]));
        QVERIFY2(run.errors.contains(error, Qt::CaseInsensitive), qPrintable(run.errors));
        QTEST(server.MessageCount(), "received");
    }

    // A mail refused for now and one whose end the server never answered,
    // over one connection, each on its own row; --resume then sends only
    // the one refused for now, never the one that may have arrived.
    void tellsTemporaryFromUnknownAndResumes()
    {
        const QStringList script{
            "S: 220 ready", "C: EHLO *", "S: 250 test.invalid",
            "C: MAIL FROM:*", "S: 250 Ok", "C: RCPT TO:<ann@example.org>", "S: 250 Ok", "C: DATA",
            "S: 354 go on", "MESSAGE", "S: 250 queued",
            "C: MAIL FROM:*", "S: 250 Ok", "C: RCPT TO:<cid@example.org>",
            "S: 450 4.2.1 Mailbox busy, try again later", "C: RSET", "S: 250 Ok",
            "C: MAIL FROM:*", "S: 250 Ok", "C: RCPT TO:<dee@example.org>", "S: 250 Ok", "C: DATA",
            "S: 354 go on", "MESSAGE"};
        SmtpScriptServer server({script});
        QVERIFY(server.Start());
        UseServer(server.Port(), 1, 2);
        MailConfiguration noRetry(QString(), m_data);
        noRetry.SetSMTPRetryTemporary(false);
        noRetry.Save();
        const Outcome run = RunTool(Arguments({}));
        QCOMPARE(run.status, 1);
        QCOMPARE(run.lines.size(), 3);
        QCOMPARE(run.lines.mid(0, 2),
                 QStringList({"1,ann@example.org,sent,",
                              "2,cid@example.org,temporary,\"temporary: 450 4.2.1 Mailbox busy, "
                              "try again later\""}));
        QVERIFY2(run.lines[2].startsWith("3,dee@example.org,unknown,delivery unknown: "),
                 qPrintable(run.lines[2]));
        QVERIFY2(run.errors.contains(QLatin1String("1 sent, 0 failed, 1 temporary, 1 unknown")),
                 qPrintable(run.errors));

        SmtpTestServer real;
        QVERIFY2(real.Start(), qPrintable(real.Error()));
        UseServer(real.Port());
        const Outcome resumed = RunTool(Arguments({"--resume"}));
        QCOMPARE(resumed.lines, QStringList{"2,cid@example.org,sent,"});
        QCOMPARE(resumed.status, 0);
        QCOMPARE(real.MessageCount(), 1);
        QCOMPARE(RunTool(Arguments({"--resume"})).lines, QStringList());
    }

    void missingRequiredOption()
    {
        const Outcome run = RunTool({QStringLiteral("--list"), QStringLiteral("Members")});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.errors.startsWith(QLatin1String("--to-column is missing")),
                 qPrintable(run.errors));
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_CorvantaSend)
#include "tst_CorvantaSend.moc"
