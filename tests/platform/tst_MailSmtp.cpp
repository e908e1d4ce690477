#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"

#include "platform/mail/SmtpTransport.h"
#include "base/AppError.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace TestSupport;
using Tls = SmtpTestServer::Tls;

namespace {

SmtpSettings SettingsFor(const SmtpTestServer& server)
{
    SmtpSettings settings;
    settings.server = QStringLiteral("127.0.0.1");
    settings.port = server.Port();
    settings.connectionTimeout = 20;
    return settings;
}

} // namespace

class TestMailSmtp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readerSeesExactlyWhatWasSent()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const SampleMail mail = RichMail(server.WorkFolder());
        SmtpTransport transport(SettingsFor(server));
        QCOMPARE(SendError(transport, mail.message), QString());

        QCOMPARE(server.MessageCount(), 1);
        const QJsonObject read = server.Inspect(1);
        CORVANTA_VERIFY_READS_AS_SENT(mail, read);
        QVERIFY2(!read.value(QStringLiteral("bare_lf")).toBool(), "SMTP data must use CRLF only");

        const QJsonArray attachments = read.value(QStringLiteral("attachments")).toArray();
        QCOMPARE(attachments.at(0).toObject().value(QStringLiteral("content_type")).toString(),
                 QStringLiteral("application/pdf"));
        QCOMPARE(attachments.at(1).toObject().value(QStringLiteral("content_type")).toString(),
                 QStringLiteral("text/plain"));

        const QJsonObject envelope = server.Envelope(1);
        QCOMPARE(envelope.value(QStringLiteral("mail_from")).toString(), QStringLiteral("juergen@example.com"));
        QCOMPARE(envelope.value(QStringLiteral("rcpt_tos")).toArray(),
                 QJsonArray({QStringLiteral("zoe@example.org"), QStringLiteral("plain@example.org"),
                             QStringLiteral("jane@example.net")}));
    }

    void tlsIsUsedAndVerified_data()
    {
        QTest::addColumn<Tls>("tls");
        QTest::addColumn<bool>("trustCertificate");
        QTest::newRow("STARTTLS") << Tls::StartTls << true;
        QTest::newRow("implicit TLS") << Tls::Implicit << true;
        QTest::newRow("STARTTLS, unknown certificate") << Tls::StartTls << false;
        QTest::newRow("implicit TLS, unknown certificate") << Tls::Implicit << false;
    }

    void tlsIsUsedAndVerified()
    {
        QFETCH(Tls, tls);
        QFETCH(bool, trustCertificate);
        SmtpTestServer::Options options;
        options.tls = tls; // the STARTTLS server refuses mail without TLS
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpSettings settings = SettingsFor(server);
        settings.implicitTls = tls == Tls::Implicit;
        if (trustCertificate)
            settings.caFile = server.CertificateFile();
        SmtpTransport transport(settings);

        const QString error = SendError(transport, SmallMail(QStringLiteral("a@example.org")));
        if (trustCertificate) {
            QCOMPARE(error, QString());
            QCOMPARE(server.Envelope(1).value(QStringLiteral("tls")).toBool(), true);
        } else {
            QVERIFY2(error.contains(QStringLiteral("certificate"), Qt::CaseInsensitive), qPrintable(error));
            QCOMPARE(server.MessageCount(), 0);
        }
    }

    void authentication_data()
    {
        QTest::addColumn<QString>("mechanisms");
        QTest::addColumn<bool>("authenticate");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expectedError");
        QTest::newRow("PLAIN") << "PLAIN" << true << "s3cret äß" << "";
        QTest::newRow("LOGIN") << "LOGIN" << true << "s3cret äß" << "";
        QTest::newRow("wrong password") << "PLAIN,LOGIN" << true << "guess" << "535 5.7.8 Authentication credentials invalid";
        QTest::newRow("authentication off") << "PLAIN,LOGIN" << false << "" << "530 5.7.0 Authentication required";
    }

    void authentication()
    {
        QFETCH(QString, mechanisms);
        QFETCH(bool, authenticate);
        QFETCH(QString, password);
        QFETCH(QString, expectedError);
        SmtpTestServer::Options options;
        options.user = QStringLiteral("mailer");
        options.password = QStringLiteral("s3cret äß");
        options.mechanisms = mechanisms;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpSettings settings = SettingsFor(server);
        settings.authenticate = authenticate;
        settings.userName = QStringLiteral("mailer");
        settings.password = password;
        SmtpTransport transport(settings);

        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("a@example.org"))), expectedError);
        QCOMPARE(server.MessageCount(), expectedError.isEmpty() ? 1 : 0);
        if (expectedError.isEmpty())
            QVERIFY(server.Envelope(1).value(QStringLiteral("authenticated")).toBool());
    }

    // A refused recipient or a mail that cannot be built fails that mail
    // alone, on the same connection.
    void failedMailLeavesTheRunGoing()
    {
        SmtpTestServer::Options options;
        options.reject = {QStringLiteral("nobody@example.org")};
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpTransport transport(SettingsFor(server));

        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("first@example.org"))), QString());
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("not an address"))),
                 QStringLiteral("Invalid e-mail address in To: \"not an address\""));
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("second@example.org"))), QString());
        QCOMPARE(server.ConnectionCount(), 1);
        // The server's two reply lines, joined by a blank.
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("nobody@example.org"))),
                 QStringLiteral("550-5.1.1 <nobody@example.org>: Recipient address rejected "
                                "550 5.1.1 User unknown in this test"));
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("third@example.org"))), QString());
        // One refused recipient fails the whole mail, the others included.
        QVERIFY(SendError(transport, SmallMail(QStringLiteral("ok@example.org; nobody@example.org")))
                    .startsWith(QStringLiteral("550-5.1.1 <nobody@example.org>")));
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("last@example.org"))), QString());

        QCOMPARE(server.MessageCount(), 4);
        QCOMPARE(server.Envelope(3).value(QStringLiteral("rcpt_tos")).toArray(),
                 QJsonArray({QStringLiteral("third@example.org")}));
    }

    void droppedConnectionIsReopened_data()
    {
        QTest::addColumn<SmtpTestServer::Drop>("drop");
        QTest::newRow("closed after the reply") << SmtpTestServer::Drop::AfterReply;
        QTest::newRow("closed at the next command") << SmtpTestServer::Drop::AtNextCommand;
    }

    void droppedConnectionIsReopened()
    {
        QFETCH(SmtpTestServer::Drop, drop);
        SmtpTestServer::Options options;
        options.dropAfter = 2;
        options.drop = drop;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpTransport transport(SettingsFor(server));
        for (int i = 1; i <= 5; ++i)
            QCOMPARE(SendError(transport, SmallMail(QStringLiteral("r%1@example.org").arg(i))), QString());
        QCOMPARE(server.MessageCount(), 5);
        QCOMPARE(server.ConnectionCount(), 3);
        QCOMPARE(server.Envelope(5).value(QStringLiteral("rcpt_tos")).toArray(),
                 QJsonArray({QStringLiteral("r5@example.org")}));
    }

    void serverThatNeverAnswersTimesOut_data()
    {
        QTest::addColumn<bool>("silentFromTheStart");
        QTest::addColumn<bool>("refuseEhlo");
        QTest::newRow("no greeting") << true << false;
        QTest::newRow("no reply to the data") << false << false;
        // The 502 curl got over is not the reason the mail failed.
        QTest::newRow("no reply to the data, after HELO") << false << true;
    }

    void serverThatNeverAnswersTimesOut()
    {
        QFETCH(bool, silentFromTheStart);
        QFETCH(bool, refuseEhlo);
        SmtpTestServer::Options options;
        options.refuseEhlo = refuseEhlo;
        options.silent = silentFromTheStart;
        options.stallData = !silentFromTheStart;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpSettings settings = SettingsFor(server);
        settings.connectionTimeout = 2;
        SmtpTransport transport(settings);

        QElapsedTimer clock;
        clock.start();
        const QString error = SendError(transport, SmallMail(QStringLiteral("a@example.org")));
        QVERIFY2(error.startsWith(QStringLiteral("No answer from the mail server within 2 seconds")),
                 qPrintable(error));
        // Far above the 2 s time-out, far below a hang: the time-out applied.
        QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
        // The stuck connection is not used again: its late replies would be
        // taken for answers to the next mail's commands.
        QVERIFY(SendError(transport, SmallMail(QStringLiteral("b@example.org"))).startsWith(QStringLiteral("No answer")));
        QCOMPARE(server.ConnectionCount(), 2);
        QCOMPARE(server.MessageCount(), 0);
    }

    void largeMessageIsStreamedFromItsFile()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SampleMail mail = SmallSample(QStringLiteral("big@example.org"));
        QByteArray bytes(3 * 1024 * 1024 + 7, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919) >> 3);
        mail.message.attachments << WriteFile(server.WorkFolder() + QStringLiteral("/big.bin"), bytes);

        // A small limit sends the message through the temporary file.
        SmtpTransport transport(SettingsFor(server), 64 * 1024);
        QCOMPARE(SendError(transport, mail.message), QString());
        QCOMPARE(SendError(transport, SmallMail(QStringLiteral("after@example.org"))), QString());
        CORVANTA_VERIFY_READS_AS_SENT(mail, server.Inspect(1));
        QCOMPARE(server.ConnectionCount(), 1);
    }

    void unusableSettingsFailEachMail_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no server") << "  " << 25 << "No SMTP server is set";
        QTest::newRow("port 0") << "mail.example.com" << 0 << "The SMTP server port 0 is not valid";
        QTest::newRow("user in the name") << "user:pw@mail.example.com" << 25
                                          << "The SMTP server name \"user:pw@mail.example.com\" is not valid";
    }

    void unusableSettingsFailEachMail()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, expected);
        SmtpSettings settings;
        settings.server = host;
        settings.port = port;
        SmtpTransport transport(settings);
        const OutgoingMessage mail = SmallMail(QStringLiteral("a@example.org"));
        QCOMPARE(SendError(transport, mail), expected);
        QCOMPARE(SendError(transport, mail), expected);
    }

    void serverUrl()
    {
        SmtpSettings settings;
        settings.server = QStringLiteral("mail.example.com");
        QCOMPARE(SmtpTransport::ServerUrl(settings), QStringLiteral("smtp://mail.example.com:25"));
        settings.port = 465;
        QCOMPARE(SmtpTransport::ServerUrl(settings), QStringLiteral("smtps://mail.example.com:465"));
        settings.port = 587;
        settings.implicitTls = true;
        QCOMPARE(SmtpTransport::ServerUrl(settings), QStringLiteral("smtps://mail.example.com:587"));
        settings.implicitTls = false;
        settings.server = QStringLiteral("::1");
        QCOMPARE(SmtpTransport::ServerUrl(settings), QStringLiteral("smtp://[::1]:587"));
        settings.server = QStringLiteral("bücher.example");
        QCOMPARE(SmtpTransport::ServerUrl(settings), QStringLiteral("smtp://xn--bcher-kva.example:587"));
    }

    void refusedConnectionIsReported()
    {
        QTcpServer placeholder; // a port that is certainly free once closed
        QVERIFY(placeholder.listen(QHostAddress::LocalHost));
        SmtpSettings settings;
        settings.server = QStringLiteral("127.0.0.1");
        settings.port = placeholder.serverPort();
        placeholder.close();
        SmtpTransport transport(settings);
        const QString error = SendError(transport, SmallMail(QStringLiteral("a@example.org")));
        QVERIFY2(error.contains(QString::number(settings.port)), qPrintable(error));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailSmtp)
#include "tst_MailSmtp.moc"
