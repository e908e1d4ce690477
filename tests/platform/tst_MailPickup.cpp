#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"

#include "platform/mail/PickupTransport.h"
#include "base/AppError.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

using namespace TestSupport;

namespace {

const QString Msmtp = QStringLiteral("/usr/bin/msmtp");

// msmtp is a real sendmail-compatible program: pointed at the test server
// it reads the message from standard input like /usr/sbin/sendmail does.
PickupTransport MsmtpTransport(const SmtpTestServer& server)
{
    const QString config = WriteFile(server.WorkFolder() + QStringLiteral("/msmtprc"),
                                     QStringLiteral("account default\nhost 127.0.0.1\nport %1\n"
                                                    "from bounce@example.com\ntls off\nauth off\n")
                                         .arg(server.Port())
                                         .toUtf8());
    QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return PickupTransport(Msmtp, {QStringLiteral("-C"), config, QStringLiteral("-t"), QStringLiteral("-i")});
}

PickupTransport Shell(const QString& script, int timeoutSeconds = 60)
{
    return PickupTransport(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, timeoutSeconds);
}

} // namespace

class TestMailPickup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliversThroughSendmailProgram()
    {
        if (!QFileInfo(Msmtp).isExecutable())
            QSKIP("msmtp (Debian package msmtp) is not installed");
        SmtpTestServer::Options options;
        options.reject = {QStringLiteral("nobody@example.org")};
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const SampleMail mail = RichMail(server.WorkFolder());
        PickupTransport transport = MsmtpTransport(server);

        QCOMPARE(SendError(transport, mail.message), QString());
        // The program's refusal is that mail's error, on one line.
        const QString error = SendError(transport, SmallMail(QStringLiteral("nobody@example.org")));
        QVERIFY2(error.contains(QStringLiteral("550 5.1.1 User unknown in this test")), qPrintable(error));
        QVERIFY2(!error.contains(u'\n'), qPrintable(error));
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("second@example.org"))), QString());
        QCOMPARE(server.MessageCount(), 2);
        CORVANTA_VERIFY_READS_AS_SENT(mail, server.Inspect(1));
        // With -t the program took the recipients from the To header.
        QCOMPARE(server.Envelope(1).value(QStringLiteral("rcpt_tos")).toArray(),
                 QJsonArray({QStringLiteral("zoe@example.org"), QStringLiteral("plain@example.org"),
                             QStringLiteral("jane@example.net")}));
    }

    void messageArrivesWithLineFeeds()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("handed-over.eml"));
        const SampleMail mail = RichMail(dir.path());
        PickupTransport transport = Shell(QStringLiteral("cat > '%1'").arg(out));
        QCOMPARE(SendError(transport, mail.message), QString());
        const QJsonObject read = InspectMessage(out);
        QVERIFY(!read.value(QStringLiteral("crlf")).toBool());
        CORVANTA_VERIFY_READS_AS_SENT(mail, read);
    }

    void largeMessageIsFedInPieces()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("big.eml"));
        SampleMail mail = SmallSample(QStringLiteral("a@example.org"));
        mail.message.attachments << WriteFile(dir.filePath(QStringLiteral("big.bin")),
                                              QByteArray(2 * 1024 * 1024, 'z'));
        // The program reads slowly at first, so the pipe fills up.
        PickupTransport transport(QStringLiteral("/bin/sh"),
                                  {QStringLiteral("-c"), QStringLiteral("sleep 1; cat > '%1'").arg(out)}, 60,
                                  64 * 1024);
        QCOMPARE(SendError(transport, mail.message), QString());
        CORVANTA_VERIFY_READS_AS_SENT(mail, InspectMessage(out));
    }

    void programFailures_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("message and exit code")
            << "cat > /dev/null; printf 'sendmail: queue full\\nretry later\\n' >&2; exit 75"
            << "sendmail: queue full retry later";
        QTest::newRow("exit code alone") << "cat > /dev/null; exit 3"
                                         << "The mail program /bin/sh ended with exit code 3";
        QTest::newRow("message with exit code 0") << "cat > /dev/null; echo 'warning: no such user' >&2"
                                                  << "warning: no such user";
        QTest::newRow("quits without reading") << "echo 'cannot read the message' >&2; exit 1"
                                               << "cannot read the message";
        QTest::newRow("killed") << "kill -9 $$" << "The mail program /bin/sh stopped unexpectedly";
    }

    void programFailures()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        OutgoingMessage mail = SmallMail(QStringLiteral("a@example.org"));
        // Larger than a pipe holds, so an early quit meets a full pipe.
        mail.attachments << WriteFile(dir.filePath(QStringLiteral("a.bin")), QByteArray(512 * 1024, 'a'));
        PickupTransport transport = Shell(script);
        QCOMPARE(SendError(transport, mail), expected);
    }

    void hangingProgramIsStopped()
    {
        PickupTransport transport = Shell(QStringLiteral("exec sleep 30"), 1);
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("a@example.org"))),
                 QStringLiteral("The mail program /bin/sh did not finish within 1 second"));
    }

    void missingProgram()
    {
        PickupTransport transport(QStringLiteral("/nonexistent/sendmail"));
        const QString error = SendError(transport, SmallMail(QStringLiteral("a@example.org")));
        QVERIFY2(error.startsWith(QStringLiteral("The mail program /nonexistent/sendmail could not be started: ")),
                 qPrintable(error));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailPickup)
#include "tst_MailPickup.moc"
