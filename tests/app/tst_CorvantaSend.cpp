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
        return QStringList{QStringLiteral("--data"),      m_data,
                           QStringLiteral("--list"),      QStringLiteral("Members"),
                           QStringLiteral("--to-column"), QStringLiteral("Email"),
                           QStringLiteral("--from"),      QStringLiteral("1"),
                           QStringLiteral("--subject"),   QString::fromUtf8("News for «Name»"),
                           QStringLiteral("--body-file"), Home(QStringLiteral("body.txt"))} +
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
        m_data = Home(QStringLiteral("data/"));
        PutFile(Home(QStringLiteral("members.csv")),
                "Name,Email,City\r\nAnn,ann@example.org,Oslo\r\n"
                "Bob,bob@example.org,Paris\r\nCid,cid@example.org,Oslo\r\n"
                "Dee,dee@example.org,Oslo\r\n");
        PutFile(Home(QStringLiteral("body.txt")),
                QString::fromUtf8("Dear «Name»,\nthe «City» meeting is on.\n").toUtf8());
        for (int i = 0; i < 5000; ++i)
            m_attachment += char(i * 131 % 256);
        PutFile(Home(QStringLiteral("agenda.pdf")), m_attachment);

        RecipientLists lists;
        auto members = CsvList(QStringLiteral("Members"), Home(QStringLiteral("members.csv")));
        Filter oslo;
        oslo.SetData(QStringLiteral("City"));
        oslo.SetValue(QStringLiteral("Oslo"));
        Filters filters;
        filters.Add(oslo);
        members->SetFilters(filters);
        lists.Add(members);
        lists.Add(CsvList(QStringLiteral("Gone"), Home(QStringLiteral("gone.csv"))));
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
            RunTool(Arguments({QStringLiteral("--attach"), Home(QStringLiteral("agenda.pdf")),
                               QStringLiteral("--from"), QStringLiteral("ada@example.org")}));
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines, (QStringList{QStringLiteral("1,ann@example.org,sent,"),
                                         QStringLiteral("2,cid@example.org,sent,"),
                                         QStringLiteral("3,dee@example.org,sent,")}));
        QVERIFY2(run.errors.contains(QLatin1String("3 sent, 0 failed")), qPrintable(run.errors));
        QCOMPARE(server.MessageCount(), 3);
        QCOMPARE(ReadBytes(listsFile), stored);
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(m_attachment, QCryptographicHash::Sha256).toHex());
        QSet<QString> names;
        for (int n = 1; n <= 3; ++n) {
            const QJsonObject mail = server.Inspect(n);
            const QString name = mail[QStringLiteral("subject")].toString().section(u' ', 2);
            names << name;
            QCOMPARE(mail[QStringLiteral("to")].toArray()[0][QStringLiteral("address")].toString(),
                     name.toLower() + QStringLiteral("@example.org"));
            QCOMPARE(
                mail[QStringLiteral("from")].toArray()[0][QStringLiteral("address")].toString(),
                QStringLiteral("ada@example.org"));
            QCOMPARE(mail[QStringLiteral("body")].toString(),
                     QStringLiteral("Dear %1,\nthe Oslo meeting is on.\n").arg(name));
            const QJsonArray files = mail[QStringLiteral("attachments")].toArray();
            QCOMPARE(files.size(), 1);
            QCOMPARE(files[0][QStringLiteral("filename")].toString(), QStringLiteral("agenda.pdf"));
            QCOMPARE(files[0][QStringLiteral("sha256")].toString(), sha);
            QCOMPARE(mail[QStringLiteral("defects")].toArray().size(), 0);
        }
        QCOMPARE(names, (QSet<QString>{QStringLiteral("Ann"), QStringLiteral("Cid"),
                                       QStringLiteral("Dee")}));
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
        const QString missing = Home(QStringLiteral("missing.pdf"));
        QTest::newRow("refused recipient")
            << QStringList{} << QStringLiteral("cid@example.org") << 1
            << QStringList{QStringLiteral("1,ann@example.org,sent,"),
                           QStringLiteral("2,cid@example.org,failed,550"),
                           QStringLiteral("3,dee@example.org,sent,")}
            << 2 << QStringLiteral("2 sent, 1 failed");
        QTest::newRow("dry run") << QStringList{QStringLiteral("--dry-run")} << QString() << 0
                                 << QStringList{QStringLiteral("1,ann@example.org,News for Ann"),
                                                QStringLiteral("2,cid@example.org,News for Cid"),
                                                QStringLiteral("3,dee@example.org,News for Dee")}
                                 << 0 << QStringLiteral("nothing was sent");
        QTest::newRow("not addresses")
            << QStringList{QStringLiteral("--to-column"), QStringLiteral("City")} << QString() << 1
            << QStringList{} << 0 << QStringLiteral("not e-mail addresses: 3");
        QTest::newRow("bad sender")
            << QStringList{QStringLiteral("--from"), QStringLiteral("2")} << QString() << 1
            << QStringList{} << 0 << QStringLiteral("Sender or reply addresses");
        QTest::newRow("missing file")
            << QStringList{QStringLiteral("--attach"), missing} << QString() << 1 << QStringList{}
            << 0 << QStringLiteral("Row 1: ") + missing;
        QTest::newRow("missing file, dry run")
            << QStringList{QStringLiteral("--attach"), missing, QStringLiteral("--dry-run")}
            << QString() << 1 << QStringList{} << 0
            << QStringLiteral("missing or cannot be read: 1");
        QTest::newRow("missing file, yes")
            << QStringList{QStringLiteral("--attach"), missing, QStringLiteral("--yes")}
            << QString() << 0
            << QStringList{QStringLiteral("1,ann@example.org,sent,"),
                           QStringLiteral("2,cid@example.org,sent,"),
                           QStringLiteral("3,dee@example.org,sent,")}
            << 3 << QStringLiteral("missing or cannot be read: 1");
        // Wrong input: nothing read, nothing sent.
        QTest::newRow("no list") << QStringList{QStringLiteral("--list"), QStringLiteral("Others")}
                                 << QString() << 2 << QStringList{} << 0
                                 << QStringLiteral("no recipient list named \"Others\"");
        QTest::newRow("no column")
            << QStringList{QStringLiteral("--to-column"), QStringLiteral("Mail")} << QString() << 2
            << QStringList{} << 0 << QStringLiteral("no column \"Mail\"");
        QTest::newRow("no sender")
            << QStringList{QStringLiteral("--from"), QStringLiteral("3")} << QString() << 2
            << QStringList{} << 0 << QStringLiteral("no sender 3");
        QTest::newRow("no sender address")
            << QStringList{QStringLiteral("--from"), QStringLiteral("eve@example.org")} << QString()
            << 2 << QStringList{} << 0 << QStringLiteral("no sender eve@example.org");
        QTest::newRow("no body") << QStringList{QStringLiteral("--body-file"),
                                                Home(QStringLiteral("none.txt"))}
                                 << QString() << 2 << QStringList{} << 0
                                 << QStringLiteral("none.txt cannot be read");
        QTest::newRow("source gone")
            << QStringList{QStringLiteral("--list"), QStringLiteral("Gone")} << QString() << 2
            << QStringList{} << 0 << QStringLiteral("cannot be read");
        QTest::newRow("no data folder")
            << QStringList{QStringLiteral("--data"), Home(QStringLiteral("nowhere"))} << QString()
            << 2 << QStringList{} << 0 << QStringLiteral("does not exist");
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("--sned")} << QString() << 2 << QStringList{} << 0
            << QStringLiteral("Unknown option 'sned'");
        QTest::newRow("stray argument")
            << QStringList{QStringLiteral("Members")} << QString() << 2 << QStringList{} << 0
            << QStringLiteral("Unexpected argument");
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
        const QStringList mail{"C: MAIL FROM:*", "S: 250 Ok"};
        QStringList script{"S: 220 ready", "C: EHLO *", "S: 250 test.invalid"};
        script << mail << "C: RCPT TO:<ann@example.org>"
               << "S: 250 Ok"
               << "C: DATA"
               << "S: 354 go on"
               << "MESSAGE"
               << "S: 250 queued" << mail << "C: RCPT TO:<cid@example.org>"
               << "S: 450 4.2.1 Mailbox busy, try again later"
               << "C: RSET"
               << "S: 250 Ok" << mail << "C: RCPT TO:<dee@example.org>"
               << "S: 250 Ok"
               << "C: DATA"
               << "S: 354 go on"
               << "MESSAGE";
        SmtpScriptServer server({script});
        QVERIFY(server.Start());
        UseServer(server.Port(), 1, 2);
        MailConfiguration noRetry(QString(), m_data);
        noRetry.SetSMTPRetryTemporary(false);
        noRetry.Save();
        const Outcome run = RunTool(Arguments({}));
        QCOMPARE(run.status, 1);
        QCOMPARE(run.lines.size(), 3);
        QCOMPARE(run.lines[0], QStringLiteral("1,ann@example.org,sent,"));
        QCOMPARE(run.lines[1],
                 QStringLiteral(
                     "2,cid@example.org,temporary,\"temporary: 450 4.2.1 Mailbox busy, try again later\""));
        QVERIFY2(
            run.lines[2].startsWith(QLatin1String("3,dee@example.org,unknown,delivery unknown: ")),
            qPrintable(run.lines[2]));
        QVERIFY2(run.errors.contains(QLatin1String("1 sent, 0 failed, 1 temporary, 1 unknown")),
                 qPrintable(run.errors));

        SmtpTestServer real;
        QVERIFY2(real.Start(), qPrintable(real.Error()));
        UseServer(real.Port());
        const Outcome resumed = RunTool(Arguments({QStringLiteral("--resume")}));
        QCOMPARE(resumed.lines, QStringList{QStringLiteral("2,cid@example.org,sent,")});
        QCOMPARE(resumed.status, 0);
        QCOMPARE(real.MessageCount(), 1);
        QCOMPARE(RunTool(Arguments({QStringLiteral("--resume")})).lines, QStringList());
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
