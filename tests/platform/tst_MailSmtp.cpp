#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"

#include "platform/mail/SmtpTransport.h"
#include "base/AppError.h"

#include <QJsonArray>

using namespace TestSupport;
using Tls = SmtpTestServer::Tls;

namespace {

SmtpSettings SettingsFor(const SmtpTestServer& server, const QString& host = QStringLiteral("127.0.0.1"))
{
    SmtpSettings settings;
    settings.server = host;
    settings.port = server.Port();
    settings.connectionTimeout = 20;
    return settings;
}

QList<OutgoingMessage> SmallMails(const QStringList& recipients)
{
    QList<OutgoingMessage> mails;
    for (const QString& to : recipients)
        mails << SmallMail(to);
    return mails;
}

QString Refusal(const QString& address)
{
    return QStringLiteral("550-5.1.1 <%1>: Recipient address rejected\n550 5.1.1 User unknown in this test")
        .arg(address);
}

QJsonArray Recipients(const SmtpTestServer& server, int message)
{
    return server.Envelope(message).value(QStringLiteral("rcpt_tos")).toArray();
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
            QVERIFY2(error.startsWith(QStringLiteral("The mail server's certificate was not accepted: ")),
                     qPrintable(error));
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

    // The server listens on an address of this machine off the loopback,
    // which stands for a server elsewhere.
    void passwordTravelsOnlyEncrypted_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<Tls>("tls");
        QTest::addColumn<QString>("expectedError");
        QTest::newRow("elsewhere, no encryption")
            << true << Tls::None << "the server offers no encryption; the password was not sent";
        QTest::newRow("elsewhere, STARTTLS") << true << Tls::StartTls << "";
        QTest::newRow("loopback, no encryption") << false << Tls::None << "";
    }

    void passwordTravelsOnlyEncrypted()
    {
        QFETCH(bool, remote);
        QFETCH(Tls, tls);
        QFETCH(QString, expectedError);
        const QString host = remote ? NonLoopbackAddress() : QStringLiteral("127.0.0.1");
        if (host.isEmpty())
            QSKIP("this machine has no address off the loopback");
        SmtpTestServer::Options options;
        options.host = host;
        options.tls = tls;
        options.user = QStringLiteral("mailer");
        options.password = QStringLiteral("s3cret");
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpSettings settings = SettingsFor(server, host);
        settings.caFile = tls == Tls::None ? QString() : server.CertificateFile();
        settings.authenticate = true;
        settings.userName = options.user;
        settings.password = options.password;
        SmtpTransport transport(settings);

        QCOMPARE(SendAll(transport, SmallMails({"a@example.org", "b@example.org"})),
                 QStringList({expectedError, expectedError}));
        QCOMPARE(server.LoginCount(), expectedError.isEmpty() ? 1 : 0);
        QCOMPARE(server.MessageCount(), expectedError.isEmpty() ? 2 : 0);
    }

    // A refused recipient or a mail that cannot be built fails that mail
    // alone, on the same connection, one command at a time or pipelined.
    void refusalsCostOneMail_data()
    {
        QTest::addColumn<bool>("pipelining");
        QTest::newRow("one command at a time") << false;
        QTest::newRow("pipelined") << true;
    }

    void refusalsCostOneMail()
    {
        QFETCH(bool, pipelining);
        SmtpTestServer::Options options;
        options.reject = {QStringLiteral("nobody@example.org"), QStringLiteral("gone@example.org")};
        options.pipelining = pipelining;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpTransport transport(SettingsFor(server));

        const QStringList failures = SendAll(
            transport, SmallMails({"first@example.org", "not an address", "second@example.org", "nobody@example.org",
                                   "third@example.org", "ok@example.org; nobody@example.org; also@example.org",
                                   "nobody@example.org; gone@example.org", "last@example.org"}));
        QCOMPARE(failures,
                 QStringList({"", "Invalid e-mail address in To: \"not an address\"", "",
                              Refusal("nobody@example.org"), "",
                              "Refused for nobody@example.org: " + Refusal("nobody@example.org")
                                  + ". Sent to the other recipients: ok@example.org, also@example.org",
                              "Refused for nobody@example.org: " + Refusal("nobody@example.org")
                                  + "; refused for gone@example.org: " + Refusal("gone@example.org"),
                              ""}));
        QCOMPARE(server.ConnectionCount(), 1);
        QCOMPARE(server.MessageCount(), 5);
        QCOMPARE(Recipients(server, 3), QJsonArray({QStringLiteral("third@example.org")}));
        QCOMPARE(Recipients(server, 4), QJsonArray({QStringLiteral("ok@example.org"), QStringLiteral("also@example.org")}));
        QCOMPARE(Recipients(server, 5), QJsonArray({QStringLiteral("last@example.org")}));
    }

    void droppedConnectionIsReopened_data()
    {
        QTest::addColumn<SmtpTestServer::Drop>("drop");
        QTest::addColumn<bool>("pipelining");
        QTest::newRow("closed after the reply") << SmtpTestServer::Drop::AfterReply << false;
        QTest::newRow("closed at the next command") << SmtpTestServer::Drop::AtNextCommand << false;
        QTest::newRow("closed after the reply, pipelined") << SmtpTestServer::Drop::AfterReply << true;
        QTest::newRow("closed at the next command, pipelined") << SmtpTestServer::Drop::AtNextCommand << true;
    }

    void droppedConnectionIsReopened()
    {
        QFETCH(SmtpTestServer::Drop, drop);
        QFETCH(bool, pipelining);
        SmtpTestServer::Options options;
        options.dropAfter = 2;
        options.drop = drop;
        options.pipelining = pipelining;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpTransport transport(SettingsFor(server));
        QStringList to;
        for (int i = 1; i <= 5; ++i)
            to << QStringLiteral("r%1@example.org").arg(i);
        QCOMPARE(SendAll(transport, SmallMails(to)), QStringList(5, QString()));
        QCOMPARE(server.MessageCount(), 5);
        QCOMPARE(server.ConnectionCount(), 3);
        for (int i = 1; i <= 5; ++i)
            QCOMPARE(Recipients(server, i), QJsonArray({to.at(i - 1)}));
    }

    void serverThatNeverAnswersTimesOut_data()
    {
        QTest::addColumn<bool>("silentFromTheStart");
        QTest::addColumn<bool>("refuseEhlo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no greeting") << true << false << "No answer from the mail server within 2 seconds";
        const QString unknown =
            "delivery unknown: no answer from the mail server within 2 seconds after the message was sent";
        QTest::newRow("no reply to the data") << false << false << unknown;
        QTest::newRow("no reply to the data, after HELO") << false << true << unknown;
    }

    void serverThatNeverAnswersTimesOut()
    {
        QFETCH(bool, silentFromTheStart);
        QFETCH(bool, refuseEhlo);
        QFETCH(QString, expected);
        SmtpTestServer::Options options;
        options.refuseEhlo = refuseEhlo;
        options.silent = silentFromTheStart;
        options.stallData = !silentFromTheStart;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpSettings settings = SettingsFor(server);
        settings.connectionTimeout = 2;
        SmtpTransport transport(settings);

        // The stuck connection is not used again: its late replies would be
        // taken for answers to the next mail's commands.
        QCOMPARE(SendAll(transport, SmallMails({"a@example.org", "b@example.org"})), QStringList({expected, expected}));
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
        QCOMPARE(SendAll(transport, {mail.message, SmallMail(QStringLiteral("after@example.org"))}),
                 QStringList({"", ""}));
        CORVANTA_VERIFY_READS_AS_SENT(mail, server.Inspect(1));
        QCOMPARE(server.ConnectionCount(), 1);
    }

    void hostNamesGoOutInAscii()
    {
        SmtpSettings settings;
        settings.server = QStringLiteral(" bücher.example ");
        QCOMPARE(SmtpTransport::HostName(settings), QStringLiteral("xn--bcher-kva.example"));
        settings.server = QStringLiteral("::1");
        QCOMPARE(SmtpTransport::HostName(settings), QStringLiteral("::1"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailSmtp)
#include "tst_MailSmtp.moc"
