#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"

#include "delivery/MailConfiguration.h"
#include "delivery/MailSender.h"
#include "delivery/SendErrorLog.h"
#include "merge/Mails.h"
#include "base/AppInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace TestSupport;

namespace {

const QString Msmtp = QStringLiteral("/usr/bin/msmtp");
const QString Rejected = QStringLiteral("nobody@example.org");

// The test server's two-line refusal, as one line.
QString RefusalOf(const QString& address)
{
    return QStringLiteral("550-5.1.1 <%1>: Recipient address rejected 550 5.1.1 User unknown in this test")
        .arg(address);
}
const QString RejectedText = RefusalOf(Rejected);

FromAddressRef Sender(const QString& reply = QString())
{
    return std::make_shared<const FromAddress>(QStringLiteral("Ann \"A\" Lee"),
                                               QStringLiteral("ann@example.com"), reply);
}

QString To(int i)
{
    return QStringLiteral("r%1@example.org").arg(i);
}

// Settings and their folder for one run. The test server listens on an
// ephemeral port, above 32767, which the 16-bit port setting must still reach.
class Settings
{
public:
    explicit Settings(qint32 method, int port = 0, const QString& server = QStringLiteral("127.0.0.1"))
    {
        MailConfiguration configuration(QString(), Folder());
        configuration.SetSendUsingMethod(method);
        configuration.SetSMTPServer(server);
        configuration.SetSMTPServerPort(static_cast<qint16>(port));
        configuration.SetSMTPConnectionTimeout(20);
        configuration.Save();
    }
    QString Folder() const { return m_dir.path() + u'/'; }

private:
    QTemporaryDir m_dir;
};

// Everything a run raises, in order: "sent i", "error <to>: <description>"
// and "yield"; the log gets the rows as the window's would.
struct Run
{
    Mails mails;
    SendErrorLog log;
    QStringList events;
    // Stands for a cancel click that only gets to run at the next yield.
    bool cancelClicked = false;
    int clickAfterMail = 0;

    Run()
    {
        log.Listen(mails);
        QObject::connect(&mails, &Mails::MailsSend, [this](int index) {
            events << QStringLiteral("sent %1").arg(index);
            if (index == clickAfterMail)
                cancelClicked = true;
        });
        QObject::connect(&mails, &Mails::SendErr,
                         [this](const QString& description, const QString& to, const FromAddressRef&,
                                const QString&, const QString&, const QString&) {
                             events << QStringLiteral("error %1: %2").arg(to, description);
                         });
        mails.SetYieldHook([this] {
            events << QStringLiteral("yield");
            if (cancelClicked)
                mails.SetKeepSending(false);
        });
    }

    void AddMails(int count, const QString& attachments = QString())
    {
        for (int i = 1; i <= count; ++i)
            mails.Add(Sender(), To(i), QStringLiteral("Subject %1").arg(i), QStringLiteral("Body %1\n").arg(i),
                      attachments);
    }

    void Send(const Settings& settings, const QString& pickupConfig = QString())
    {
        MailSender sender(mails);
        sender.SetConfigurationFolder(settings.Folder());
        if (!pickupConfig.isEmpty())
            sender.SetPickupProgram(Msmtp, {QStringLiteral("-C"), pickupConfig, QStringLiteral("-t"),
                                            QStringLiteral("-i")});
        mails.SetKeepSending(true);
        sender.Send();
    }

    QStringList Errors() const { return events.filter(QStringLiteral("error ")); }
    int Handled() const { return events.filter(QStringLiteral("sent ")).size(); }
};

// What the events of a clean run of n mails look like.
QStringList CleanRun(int from, int to)
{
    QStringList events;
    for (int i = from; i <= to; ++i) {
        events << QStringLiteral("sent %1").arg(i);
        if (i % 10 == 0)
            events << QStringLiteral("yield");
    }
    return events;
}

SmtpTestServer::Options Refusing(const QStringList& addresses)
{
    SmtpTestServer::Options options;
    options.reject = addresses;
    return options;
}

QStringList AttachmentNames(const QJsonObject& read)
{
    QStringList names;
    for (const QJsonValue& a : read.value(QStringLiteral("attachments")).toArray())
        names << a.toObject().value(QStringLiteral("filename")).toString();
    return names;
}

} // namespace

class TestSend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rejectedMailIsLoggedAndTheRunGoesOn()
    {
        SmtpTestServer server(Refusing({Rejected}));
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        Run run;
        run.AddMails(12);
        run.mails.Item(5).SetTo(Rejected);
        run.mails.Item(5).SetAttachments(QStringLiteral("/no/such/a.pdf;/no/such/b.txt"));
        run.mails.Item(5).SetTextBody(QStringLiteral("Line one\r\nLine two\n"));
        run.mails.Item(7).SetFrom(Sender(QStringLiteral("replies@example.com")));
        run.Send(settings);

        // The error comes before the mail's own MailsSend, with its yield.
        QStringList expected = CleanRun(1, 4);
        expected << QStringLiteral("error %1: %2").arg(Rejected, RejectedText) << QStringLiteral("yield");
        expected << CleanRun(5, 12);
        QCOMPARE(run.events, expected);
        QCOMPARE(server.MessageCount(), 11);

        // The log row: the server's own words on one line and the mail as it was.
        QCOMPARE(run.log.Count(), 1);
        Recordset& rows = run.log.Records();
        rows.MoveFirst();
        QStringList row;
        for (int i = 0; i < rows.FieldCount(); ++i)
            row << rows.Value(i).toString();
        QCOMPARE(row, QStringList({RejectedText, Rejected, "Ann \"A\" Lee (ann@example.com)", "Subject 5",
                                   "/no/such/a.pdf;/no/such/b.txt", "Line one\r\nLine two\n"}));

        // What arrived: headers from the mail and the sender, X-Mailer naming us.
        const QJsonObject first = server.Inspect(1);
        QCOMPARE(first.value(QStringLiteral("subject")).toString(), QStringLiteral("Subject 1"));
        QCOMPARE(first.value(QStringLiteral("body")).toString(), QStringLiteral("Body 1\n"));
        const QJsonObject from = first.value(QStringLiteral("from")).toArray().at(0).toObject();
        QCOMPARE(from.value(QStringLiteral("name")).toString(), QStringLiteral("Ann \"A\" Lee"));
        QCOMPARE(from.value(QStringLiteral("address")).toString(), QStringLiteral("ann@example.com"));
        QVERIFY(first.value(QStringLiteral("reply_to")).isNull());
        QCOMPARE(first.value(QStringLiteral("x_mailer")).toString(),
                 QStringLiteral("Corvanta %1.%2.%3 (https://www.corvanta.example)")
                     .arg(AppInfo::Major)
                     .arg(AppInfo::Minor)
                     .arg(AppInfo::Revision));
        QCOMPARE(server.Envelope(1).value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray({To(1)}));
        // Mail 7 is the 6th to arrive, mail 6 the 5th.
        QCOMPARE(server.Envelope(5).value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray({To(6)}));
        const QJsonArray replyTo = server.Inspect(6).value(QStringLiteral("reply_to")).toArray();
        QCOMPARE(replyTo.at(0).toObject().value(QStringLiteral("address")).toString(),
                 QStringLiteral("replies@example.com"));
    }

    void severalFailuresInOrder()
    {
        SmtpTestServer server(Refusing({"x1@example.org", "x2@example.org", "x3@example.org"}));
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        Run run;
        run.AddMails(10);
        run.mails.Item(2).SetTo(QStringLiteral("x3@example.org"));
        run.mails.Item(6).SetTo(QStringLiteral("x1@example.org"));
        run.mails.Item(10).SetTo(QStringLiteral("x2@example.org"));
        run.Send(settings);

        QCOMPARE(run.Handled(), 10);
        QCOMPARE(run.events.count(QStringLiteral("yield")), 4); // three failures and the 10th mail
        QCOMPARE(run.events.mid(run.events.size() - 4),
                 QStringList({"error x2@example.org: " + RefusalOf("x2@example.org"), "yield", "sent 10", "yield"}));
        QStringList loggedTo;
        Recordset& rows = run.log.Records();
        for (rows.MoveFirst(); !rows.AtEOF(); rows.MoveNext())
            loggedTo << rows.Value(1).toString();
        QCOMPARE(loggedTo, QStringList({"x3@example.org", "x1@example.org", "x2@example.org"}));
        QCOMPARE(server.MessageCount(), 7);
    }

    void attachmentsThatDoNotExistAreLeftOut()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        QTemporaryDir dir;
        const QString present = WriteFile(dir.filePath(QStringLiteral("present.txt")), "here\n");
        const QString other = WriteFile(dir.filePath(QStringLiteral("other.bin")), QByteArray(3000, '\x01'));
        const QString missing = dir.filePath(QStringLiteral("missing.txt"));

        Run run;
        run.AddMails(4);
        run.mails.Item(1).SetAttachments(missing + u';' + present);
        run.mails.Item(2).SetAttachments(u';' + other + QStringLiteral(";;") + present + u';');
        run.mails.Item(3).SetAttachments(missing);
        run.Send(settings);

        QCOMPARE(run.events, CleanRun(1, 4));
        QCOMPARE(server.MessageCount(), 4);
        QCOMPARE(server.ConnectionCount(), 1); // one connection serves the run
        QCOMPARE(AttachmentNames(server.Inspect(1)), QStringList({QStringLiteral("present.txt")}));
        QCOMPARE(AttachmentNames(server.Inspect(2)),
                 QStringList({QStringLiteral("other.bin"), QStringLiteral("present.txt")}));
        QCOMPARE(AttachmentNames(server.Inspect(3)), QStringList());
    }

    void unreadableAttachmentFailsOnlyItsMail()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        QTemporaryDir dir;
        // It exists, so it is not skipped, but it cannot be attached.
        const QString folder = dir.filePath(QStringLiteral("a folder"));
        QVERIFY(QDir().mkpath(folder));
        QStringList unreadable{folder};
        const QString locked = WriteFile(dir.filePath(QStringLiteral("locked.txt")), "secret\n");
        QFile::setPermissions(locked, QFileDevice::Permissions());
        if (!QFileInfo(locked).isReadable())
            unreadable << locked; // root reads it anyway

        Run run;
        run.AddMails(2 + int(unreadable.size()));
        for (int i = 0; i < unreadable.size(); ++i)
            run.mails.Item(2 + i).SetAttachments(unreadable.at(i));
        run.Send(settings);

        const QStringList errors = run.Errors();
        QCOMPARE(errors.size(), unreadable.size());
        for (int i = 0; i < unreadable.size(); ++i) {
            QVERIFY2(errors.at(i).startsWith(QStringLiteral("error %1: ").arg(To(2 + i))), qPrintable(errors.at(i)));
            QVERIFY2(errors.at(i).contains(unreadable.at(i)), qPrintable(errors.at(i)));
        }
        QCOMPARE(run.Handled(), run.mails.Count());
        QCOMPARE(server.MessageCount(), 2);
        QCOMPARE(server.Envelope(2).value(QStringLiteral("rcpt_tos")).toArray(),
                 QJsonArray({To(run.mails.Count())}));
        QCOMPARE(run.log.Count(), unreadable.size());
    }

    void stopIsSeenAtTheNextYield_data()
    {
        QTest::addColumn<int>("clickAfter");
        QTest::addColumn<int>("failing");
        QTest::addColumn<int>("handled");
        QTest::newRow("click during mail 13") << 13 << 0 << 20;
        QTest::newRow("click during mail 20") << 20 << 0 << 20;
        QTest::newRow("click during mail 13, mail 15 fails") << 13 << 15 << 15;
        QTest::newRow("click during mail 21") << 21 << 0 << 30;
        QTest::newRow("click during the last mail") << 50 << 0 << 50;
    }

    void stopIsSeenAtTheNextYield()
    {
        QFETCH(int, clickAfter);
        QFETCH(int, failing);
        QFETCH(int, handled);
        SmtpTestServer server(Refusing({Rejected}));
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        Run run;
        run.AddMails(50);
        if (failing)
            run.mails.Item(failing).SetTo(Rejected);
        run.clickAfterMail = clickAfter;
        run.Send(settings);

        QCOMPARE(run.Handled(), handled);
        QCOMPARE(server.MessageCount(), failing ? handled - 1 : handled);
    }

    void nothingToSendContactsNoServer_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("keepSending");
        QTest::newRow("empty collection") << 0 << true;
        QTest::newRow("KeepSending never set") << 3 << false;
    }

    void nothingToSendContactsNoServer()
    {
        QFETCH(int, count);
        QFETCH(bool, keepSending);
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        Run run;
        run.AddMails(count);
        MailSender sender(run.mails);
        sender.SetConfigurationFolder(settings.Folder());
        run.mails.SetKeepSending(keepSending);
        sender.Send();
        QCOMPARE(run.events, QStringList());
        QCOMPARE(server.ConnectionCount(), 0);
    }

    void unusableSettingsFailEveryMail_data()
    {
        QTest::addColumn<qint32>("method");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no server") << qint32(MailDeliverySettings::Port) << QString()
                                   << QStringLiteral("No SMTP server is set");
        QTest::newRow("nobody listening") << qint32(MailDeliverySettings::Port) << QStringLiteral("127.0.0.1")
                                          << QString();
        QTest::newRow("unknown method") << qint32(3) << QStringLiteral("127.0.0.1")
                                        << QStringLiteral("The sending method 3 is not known");
    }

    void unusableSettingsFailEveryMail()
    {
        QFETCH(qint32, method);
        QFETCH(QString, server);
        QFETCH(QString, expected);
        int port = 0;
        {
            QTcpServer probe; // a port that was free a moment ago
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
        }
        const Settings settings(method, port, server);
        Run run;
        run.AddMails(3);
        run.Send(settings);

        QCOMPARE(run.Handled(), 3);
        QCOMPARE(run.log.Count(), 3);
        const QStringList errors = run.Errors();
        QCOMPARE(errors.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QString description = errors.at(i).mid(QStringLiteral("error %1: ").arg(To(i + 1)).size());
            QVERIFY2(!description.isEmpty() && !description.contains(u'\n'), qPrintable(errors.at(i)));
            if (!expected.isEmpty())
                QCOMPARE(description, expected);
        }
    }

    void pickupHandsMailsToTheSendmailProgram()
    {
        if (!QFileInfo(Msmtp).isExecutable())
            QSKIP("msmtp (Debian package msmtp) is not installed");
        SmtpTestServer server(Refusing({Rejected}));
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString config = WriteFile(server.WorkFolder() + QStringLiteral("/msmtprc"),
                                         QStringLiteral("account default\nhost 127.0.0.1\nport %1\n"
                                                        "from bounce@example.com\ntls off\nauth off\n")
                                             .arg(server.Port())
                                             .toUtf8());
        QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // Pickup mode needs no server in the settings.
        const Settings settings(MailDeliverySettings::Pickup, 0, QString());
        QTemporaryDir dir;
        const QString present = WriteFile(dir.filePath(QStringLiteral("note.txt")), "note\n");

        Run run;
        run.AddMails(3, dir.filePath(QStringLiteral("gone.txt")) + u';' + present);
        run.mails.Item(2).SetTo(Rejected);
        run.Send(settings, config);

        QCOMPARE(run.Handled(), 3);
        const QStringList errors = run.Errors();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.at(0).startsWith(QStringLiteral("error %1: ").arg(Rejected)), qPrintable(errors.at(0)));
        QVERIFY2(errors.at(0).contains(QStringLiteral("550 5.1.1 User unknown in this test")),
                 qPrintable(errors.at(0)));
        QCOMPARE(server.MessageCount(), 2);
        const QJsonObject read = server.Inspect(2);
        QCOMPARE(server.Envelope(2).value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray({To(3)}));
        QCOMPARE(read.value(QStringLiteral("x_mailer")).toString(), MailSender::MailerHeaderValue());
        QCOMPARE(AttachmentNames(read), QStringList({QStringLiteral("note.txt")}));
    }

    void handlerThatRemovesMailsDoesNotDerailTheRun()
    {
        SmtpTestServer server(Refusing({Rejected}));
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        Run run;
        run.AddMails(4);
        run.mails.Item(2).SetTo(Rejected);
        // A handler that drops the failed mail while it is being reported.
        QObject::connect(&run.mails, &Mails::SendErr, [&run] { run.mails.Remove(2); });
        run.Send(settings);

        QCOMPARE(run.log.Count(), 1);
        run.log.Records().MoveFirst();
        QCOMPARE(run.log.Records().Value(1).toString(), Rejected);
        QCOMPARE(run.log.Records().Value(3).toString(), QStringLiteral("Subject 2"));
        // Mail 3 moved into position 2 and is skipped; mail 4 is sent as the 3rd.
        QCOMPARE(run.Handled(), 3);
        QCOMPARE(server.MessageCount(), 2);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSend)
#include "tst_Send.moc"
