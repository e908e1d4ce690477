#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"

#include "platform/mail/PickupTransport.h"

#include <QTemporaryDir>

using namespace TestSupport;

class TestMailPickup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Delivery through a real sendmail program is tested with the send run.
    // The program reads slowly at first, so the pipe fills up; the large
    // message is fed from its temporary file.
    void messageArrivesWithLineFeeds()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("handed-over.eml"));
        SampleMail mail = RichMail(dir.path());
        mail.message.attachments << WriteFile(dir.filePath(QStringLiteral("big.bin")), QByteArray(2 << 20, 'z'));
        PickupTransport transport(QStringLiteral("/bin/sh"),
                                  {QStringLiteral("-c"), QStringLiteral("sleep 1; cat > '%1'").arg(out)}, 60,
                                  64 * 1024);
        QCOMPARE(SendError(transport, mail.message), QString());
        const QJsonObject read = InspectMessage(out);
        QVERIFY(!read.value(QStringLiteral("crlf")).toBool());
        CORVANTA_VERIFY_READS_AS_SENT(mail, read);
    }

    void programFailures_data()
    {
        QTest::addColumn<QString>("script"); // empty: a program that is not there
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("expected"); // "*" stands for any text
        QTest::newRow("message and exit code")
            << "cat > /dev/null; printf 'sendmail: queue full\\nretry later\\n' >&2; exit 75" << 60
            << "sendmail: queue full retry later";
        QTest::newRow("exit code alone") << "cat > /dev/null; exit 3" << 60
                                         << "The mail program /bin/sh ended with exit code 3";
        QTest::newRow("message with exit code 0")
            << "cat > /dev/null; echo 'warning: no such user' >&2" << 60 << "warning: no such user";
        QTest::newRow("quits without reading") << "echo 'cannot read the message' >&2; exit 1" << 60
                                               << "cannot read the message";
        QTest::newRow("killed") << "kill -9 $$" << 60 << "The mail program /bin/sh stopped unexpectedly";
        QTest::newRow("hangs") << "exec sleep 30" << 1
                               << "The mail program /bin/sh did not finish within 1 second";
        QTest::newRow("missing") << "" << 60
                                 << "The mail program /nonexistent/sendmail could not be started: *";
    }

    void programFailures()
    {
        QFETCH(QString, script);
        QFETCH(int, timeout);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        OutgoingMessage mail = SmallMail(QStringLiteral("a@example.org"));
        // Larger than a pipe holds, so an early quit meets a full pipe.
        mail.attachments << WriteFile(dir.filePath(QStringLiteral("a.bin")), QByteArray(512 * 1024, 'a'));
        PickupTransport transport =
            script.isEmpty() ? PickupTransport(QStringLiteral("/nonexistent/sendmail"))
                             : PickupTransport(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, timeout);
        const QString error = SendError(transport, mail);
        QVERIFY2(Matches(error, expected), qPrintable(error));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailPickup)
#include "tst_MailPickup.moc"
