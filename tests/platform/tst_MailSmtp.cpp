#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "platform/mail/SmtpTransport.h"
#include "base/AppError.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTimer>

using namespace TestSupport;
using Tls = SmtpTestServer::Tls;

Q_DECLARE_METATYPE(SmtpTestServer::Options)

namespace {

SmtpSettings SettingsFor(const SmtpTestServer& server, const QString& host = QStringLiteral("127.0.0.1"))
{
    SmtpSettings settings;
    settings.server = host;
    settings.port = server.Port();
    settings.connectionTimeout = 20;
    return settings;
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

// Hands out the tokens of a list from the event loop: the current one, or
// the next once the current was refused. "!text" fails with that text;
// "late" comes after 4 seconds.
class ListedTokens final : public SmtpTokenSource
{
public:
    explicit ListedTokens(QStringList tokens) : m_tokens(std::move(tokens)) {}

    void Fetch(const QString& refused, Done done) override
    {
        asked.append(refused);
        if (fetching)
            fetching(asked.size());
        if (refused == m_tokens.value(m_at) && m_at + 1 < m_tokens.size())
            ++m_at;
        const QString token = m_tokens.value(m_at);
        ++pending;
        QTimer::singleShot(token == QLatin1String("late") ? 4000 : 0, &m_context, [this, token, done] {
            --pending;
            token.startsWith(u'!') ? done(QString(), token.mid(1)) : done(token, QString());
        });
    }

    QStringList asked; // the refused token of each request
    std::function<void(qsizetype)> fetching; // as the n-th request comes
    int pending = 0;

private:
    QStringList m_tokens;
    qsizetype m_at = 0;
    QObject m_context;
};

} // namespace

class TestMailSmtp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The two larger mails go through their temporary files, one after the
    // other on one connection.
    void readerSeesExactlyWhatWasSent()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const SampleMail mail = RichMail(server.WorkFolder());
        SampleMail big = SmallSample(QStringLiteral("big@example.org"));
        QByteArray bytes(3 * 1024 * 1024 + 7, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>((i * 7919) >> 3);
        big.message.attachments << WriteFile(server.WorkFolder() + QStringLiteral("/big.bin"), bytes);
        // Lines starting with "." in a 7bit body meet the wire as they are.
        OutgoingMessage dots = SmallMail(QStringLiteral("dots@example.org"));
        dots.body = QStringLiteral(".\n..\n.x\n");
        SmtpTransport transport(SettingsFor(server), 64 * 1024);
        QCOMPARE(SendAll(transport, {mail.message, big.message, dots}), QStringList(3, QString()));
        CORVANTA_VERIFY_READS_AS_SENT(big, server.Inspect(2));
        QVERIFY(ReadBytes(server.MessageFile(3)).endsWith("\r\n\r\n.\r\n..\r\n.x\r\n"));
        QCOMPARE(server.ConnectionCount(), 1);
        QCOMPARE(server.MessageCount(), 3);
        const QJsonObject read = server.Inspect(1);
        CORVANTA_VERIFY_READS_AS_SENT(mail, read);
        QVERIFY2(!read.value(QStringLiteral("bare_lf")).toBool(), "SMTP data must use CRLF only");

        const QJsonArray attachments = read.value(QStringLiteral("attachments")).toArray();
        QCOMPARE(attachments.at(0).toObject().value(QStringLiteral("content_type")).toString(),
                 QStringLiteral("application/pdf"));
        QCOMPARE(attachments.at(1).toObject().value(QStringLiteral("content_type")).toString(),
                 QStringLiteral("text/plain"));

        QCOMPARE(server.Envelope(1).value(QStringLiteral("mail_from")).toString(), QStringLiteral("juergen@example.com"));
        QCOMPARE(Recipients(server, 1), QJsonArray({"zoe@example.org", "plain@example.org", "jane@example.net"}));
    }

    // Encryption is verified, the login is checked (once, when asked for
    // and the mail goes), and a password never goes unencrypted to a server
    // elsewhere: one off the loopback, in a network namespace of the test's
    // own, stands for that. A certificate that fails verification goes
    // through only when its fingerprint is trusted for the name used; a
    // refused one comes back to be shown. An authority file adds to the
    // system's authorities.
    void encryptionAndLogin_data()
    {
        QTest::addColumn<Tls>("tls");
        QTest::addColumn<QString>("trust"); // "ca": the certificate's authority file; "pin" (host): its fingerprint
        QTest::addColumn<bool>("remote");
        QTest::addColumn<QString>("mechanisms"); // the server's; none: no login needed
        QTest::addColumn<QString>("password");   // none: no login asked for
        QTest::addColumn<QString>("expected");   // "*" stands for any text
        const QString secret = QStringLiteral("s3cret äß");
        const QString refused = QStringLiteral("not sent: the mail server's certificate was not accepted: *");
        QTest::newRow("STARTTLS") << Tls::StartTls << "ca" << false << "" << "" << "";
        QTest::newRow("implicit TLS") << Tls::Implicit << "ca" << false << "" << "" << "";
        QTest::newRow("implicit TLS, unknown certificate") << Tls::Implicit << "" << false << "" << "" << refused;
        QTest::newRow("STARTTLS, certificate trusted for the host")
            << Tls::StartTls << "pin 127.0.0.1" << false << "" << "" << "";
        QTest::newRow("implicit TLS, certificate trusted for another host")
            << Tls::Implicit << "pin localhost" << false << "" << "" << refused;
        QTest::newRow("STARTTLS, signed by an authority of the file")
            << Tls::StartTls << "ca signed" << false << "" << "" << "";
        QTest::newRow("authority file without a certificate")
            << Tls::StartTls << "ca empty" << false << "" << ""
            << "The file of trusted authorities \"*\" cannot be read or holds no PEM certificate";
        QTest::newRow("PLAIN") << Tls::None << "" << false << "PLAIN" << secret << "";
        QTest::newRow("LOGIN") << Tls::None << "" << false << "LOGIN" << secret << "";
        QTest::newRow("authentication off")
            << Tls::None << "" << false << "PLAIN,LOGIN" << "" << "530 5.7.0 Authentication required";
        QTest::newRow("elsewhere, STARTTLS") << Tls::StartTls << "ca" << true << "PLAIN,LOGIN" << secret << "";
        QTest::newRow("elsewhere, no encryption")
            << Tls::None << "" << true << "PLAIN,LOGIN" << secret
            << "not sent: the server offers no encryption; the password was not sent";
        QTest::newRow("elsewhere, no encryption, token")
            << Tls::None << "" << true << "XOAUTH2" << "token t0k"
            << "not sent: the server offers no encryption; the access token was not sent";
    }

    void encryptionAndLogin()
    {
        QFETCH(Tls, tls);
        QFETCH(QString, trust);
        QFETCH(bool, remote);
        QFETCH(QString, mechanisms);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        if (remote && !InNetworkNamespace())
            return;
        const QString host = remote ? OffLoopbackAddress : "127.0.0.1";
        SmtpTestServer::Options options;
        options.host = host;
        options.tls = tls; // the STARTTLS server refuses mail without TLS
        options.signedByAuthority = trust == QLatin1String("ca signed");
        if (!mechanisms.isEmpty()) {
            options.user = QStringLiteral("mailer");
            options.password = QStringLiteral("s3cret äß");
            options.mechanisms = mechanisms;
        }
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpSettings settings = SettingsFor(server, host);
        settings.implicitTls = tls == Tls::Implicit;
        const QList<QSslCertificate> own = QSslCertificate::fromPath(server.CertificateFile());
        const QString fingerprint =
            own.isEmpty() ? QString() : QString::fromLatin1(own.first().digest(QCryptographicHash::Sha256).toHex());
        if (trust == QLatin1String("ca empty"))
            settings.caFile = server.WorkFolder() + QStringLiteral("/key.pem");
        else if (trust.startsWith(QLatin1String("ca")))
            settings.caFile = options.signedByAuthority ? server.AuthorityFile() : server.CertificateFile();
        else if (trust.startsWith(QLatin1String("pin"))) // the fingerprint as people copy it
            settings.trustedCertificates = {QStringLiteral("other.example 00ff"),
                                            trust.mid(4) + u' ' + fingerprint.toUpper()};
        settings.authenticate = !password.isEmpty();
        settings.userName = QStringLiteral("mailer");
        settings.password = password;
        if (password.startsWith(QLatin1String("token ")))
            settings.tokens = std::make_shared<ListedTokens>(QStringList{password.mid(6)});
        SmtpTransport transport(settings);

        for (const QString& error : SendAll(transport, SmallMails({"a@example.org", "b@example.org"})))
            QVERIFY2(Matches(error, expected), qPrintable(error));
        const bool sent = expected.isEmpty();
        QCOMPARE(server.MessageCount(), sent ? 2 : 0);
        QCOMPARE(server.LoginCount(), sent && settings.authenticate ? 1 : 0);
        const std::optional<ServerCertificate> shown = transport.RefusedCertificate();
        QCOMPARE(shown.has_value(), expected.startsWith(QLatin1String("not sent: the mail server's certificate")));
        if (shown) {
            QCOMPARE(shown->TrustLine(), host + u' ' + fingerprint);
            QCOMPARE(shown->subject, QStringLiteral("CN=localhost"));
            QCOMPARE(shown->issuer, QStringLiteral("CN=localhost"));
            QVERIFY(shown->validFrom <= QDateTime::currentDateTime() && shown->validTo > QDateTime::currentDateTime());
        }
        if (sent) {
            QCOMPARE(server.Envelope(1).value(QStringLiteral("tls")).toBool(), tls != Tls::None);
            QCOMPARE(server.Envelope(1).value(QStringLiteral("authenticated")).toBool(), settings.authenticate);
        }
    }

    // Domains go out in their "xn--" form, in the envelope as in the
    // headers; a local part outside ASCII only to a server that offers
    // SMTPUTF8. Otherwise that mail alone fails, before any of it is sent.
    void internationalAddresses_data()
    {
        QTest::addColumn<QString>("address"); // sender and recipient
        QTest::addColumn<bool>("smtpUtf8");   // offered, and used where offered
        QTest::addColumn<QString>("expected"); // as the server and the headers have it, or the failure
        QTest::newRow("domain") << "anna@Bücher.example" << false << "anna@xn--bcher-kva.example";
        QTest::newRow("local part") << "jürgen@example.org" << false
                                    << "The address \"jürgen@example.org\" has characters outside ASCII before the "
                                       "\"@\", and the mail server does not offer SMTPUTF8 for them";
        QTest::newRow("both, SMTPUTF8") << "jürgen@bücher.example" << true << "jürgen@xn--bcher-kva.example";
        QTest::newRow("domain with no ASCII form")
            << "anna@\u2488.example" << false << "Invalid e-mail address in From: \"anna@\u2488.example\"";
    }

    void internationalAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, smtpUtf8);
        QFETCH(QString, expected);
        const bool sent = !expected.contains(u' '); // an address, not a failure
        SmtpTestServer::Options options;
        options.smtpUtf8 = smtpUtf8;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpTransport transport(SettingsFor(server));
        OutgoingMessage mail = SmallMail(address);
        mail.from = address;
        QCOMPARE(SendAll(transport, {mail, SmallMail(QStringLiteral("next@example.org"))}),
                 QStringList({sent ? QString() : expected, QString()}));
        QCOMPARE(server.MessageCount(), sent ? 2 : 1);
        if (!sent)
            return;
        QCOMPARE(server.Envelope(1).value(QStringLiteral("mail_from")).toString(), expected);
        QCOMPARE(server.Envelope(1).value(QStringLiteral("smtp_utf8")).toBool(), smtpUtf8);
        QCOMPARE(Recipients(server, 1), QJsonArray({expected}));
        const QByteArrayList lines = ReadBytes(server.MessageFile(1)).split('\n');
        QVERIFY(lines.contains("From: " + expected.toUtf8() + '\r') && lines.contains("To: " + expected.toUtf8() + '\r'));
    }

    // A refused recipient or a mail that cannot be built fails that mail
    // alone, on the same connection, one command at a time or pipelined.
    // A connection the server closes is opened again and every mail arrives
    // once. One stuck is not used again (its late replies would be taken for
    // answers to the next mail's commands); after the data went out whole,
    // the mail is never sent again.
    void mailsFailAlone_data()
    {
        QTest::addColumn<SmtpTestServer::Options>("options");
        QTest::addColumn<QStringList>("to"); // one mail each
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("arrived"); // the recipients of each message the server took
        QTest::addColumn<int>("connections");
        const QStringList five{"r1@example.org", "r2@example.org", "r3@example.org", "r4@example.org",
                               "r5@example.org"};
        for (bool pipelining : {false, true}) {
            const char* how = pipelining ? ", pipelined" : "";
            SmtpTestServer::Options options;
            options.pipelining = pipelining;
            options.reject = {QStringLiteral("nobody@example.org"), QStringLiteral("gone@example.org")};
            QTest::addRow("refusals%s", how)
                << options
                << QStringList{"first@example.org", "not an address", "second@example.org", "nobody@example.org",
                               "third@example.org", "ok@example.org; nobody@example.org; also@example.org",
                               "nobody@example.org; gone@example.org", "last@example.org"}
                << QStringList{"", "Invalid e-mail address in To: \"not an address\"", "",
                               Refusal("nobody@example.org"), "",
                               "Refused for nobody@example.org: " + Refusal("nobody@example.org")
                                   + ". Sent to the other recipients: ok@example.org, also@example.org",
                               "Refused for nobody@example.org: " + Refusal("nobody@example.org")
                                   + "; refused for gone@example.org: " + Refusal("gone@example.org"),
                               ""}
                << QStringList{"first@example.org", "second@example.org", "third@example.org",
                               "ok@example.org,also@example.org", "last@example.org"}
                << 1;
            options.reject.clear();
            options.dropAfter = 2;
            for (auto drop : {SmtpTestServer::Drop::AfterReply, SmtpTestServer::Drop::AtNextCommand}) {
                options.drop = drop;
                QTest::addRow("closed %s%s",
                              drop == SmtpTestServer::Drop::AfterReply ? "after the reply" : "at the next command", how)
                    << options << five << QStringList(5, QString()) << five << 3;
            }
        }
        const QStringList unknown(
            2, "delivery unknown: no answer from the mail server within 2 seconds after the message was sent");
        SmtpTestServer::Options stalled;
        stalled.stallData = true;
        QTest::newRow("no reply to the data") << stalled << five.mid(0, 2) << unknown << QStringList() << 2;
        stalled.refuseEhlo = true;
        QTest::newRow("no reply to the data, after HELO") << stalled << five.mid(0, 2) << unknown << QStringList() << 2;
    }

    void mailsFailAlone()
    {
        QFETCH(SmtpTestServer::Options, options);
        QFETCH(QStringList, to);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, arrived);
        QFETCH(int, connections);
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        SmtpSettings settings = SettingsFor(server);
        settings.connectionTimeout = 2;
        SmtpTransport transport(settings);
        QCOMPARE(SendAll(transport, SmallMails(to)), expected);
        QCOMPARE(server.ConnectionCount(), connections);
        QStringList received;
        for (int i = 1; i <= server.MessageCount(); ++i)
            received << QVariant(Recipients(server, i).toVariantList()).toStringList().join(u',');
        QCOMPARE(received, arrived);
    }

    // The login with an access token: XOAUTH2 where offered, else
    // OAUTHBEARER; each connection asks for a token. One the server refuses
    // is replaced once, since it may have run out meanwhile; refused again,
    // or none to be had, and the run ends. The server drops each connection
    // after two mails, so three mails take two connections.
    void tokenLogin_data()
    {
        QTest::addColumn<QString>("mechanisms"); // the server's
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("handed");  // by the token source
        QTest::addColumn<QStringList>("current"); // the server's token as of each request; the last from then on
        QTest::addColumn<QString>("expected");    // for every mail
        QTest::addColumn<QStringList>("asked");   // the refused token of each request
        const QString user = QStringLiteral("mailer@example.org");
        const QStringList one{"t1"}, two{"t1", "t2"};
        QTest::newRow("XOAUTH2") << "PLAIN,OAUTHBEARER,XOAUTH2" << user << one << one << "" << QStringList{"", ""};
        QTest::newRow("OAUTHBEARER only, a name to escape")
            << "OAUTHBEARER" << "a=b,c@example.org" << one << one << "" << QStringList{"", ""};
        // The server's token changes as the second connection logs in.
        QTest::newRow("token run out and renewed") << "XOAUTH2" << user << two << two << "" << QStringList{"", "", "t1"};
        for (const char* mechanism : {"XOAUTH2", "OAUTHBEARER"})
            QTest::addRow("%s, refused twice", mechanism)
                << mechanism << user << two << QStringList{"t3"}
                << "not sent: the server refused the login: 535 5.7.8 Username and Password not accepted (token)"
                << QStringList{"", "t1"};
        QTest::newRow("no token to be had") << "XOAUTH2" << user << QStringList{"!the sign-in has expired"} << one
                                            << "not sent: the sign-in has expired" << QStringList{""};
        QTest::newRow("token too late") << "OAUTHBEARER" << user << QStringList{"late"} << one
                                        << "not sent: no access token within 2 seconds" << QStringList{""};
        QTest::newRow("server without token login")
            << "PLAIN,LOGIN" << user << one << one
            << "not sent: the mail server offers no login this program can use (only LOGIN, PLAIN)" << QStringList();
    }

    void tokenLogin()
    {
        QFETCH(QString, mechanisms);
        QFETCH(QString, user);
        QFETCH(QStringList, handed);
        QFETCH(QStringList, current);
        QFETCH(QString, expected);
        QFETCH(QStringList, asked);
        QTemporaryDir folder;
        SmtpTestServer::Options options;
        options.mechanisms = mechanisms;
        options.tokenFile = folder.filePath(QStringLiteral("tokens"));
        options.dropAfter = 2;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        auto tokens = std::make_shared<ListedTokens>(handed);
        tokens->fetching = [&](qsizetype request) {
            WriteFile(options.tokenFile, (user + u' ' + current.value(std::min(request, current.size()) - 1)).toUtf8());
        };
        SmtpSettings settings = SettingsFor(server);
        settings.connectionTimeout = 2;
        settings.authenticate = true;
        settings.userName = user;
        settings.password = QStringLiteral("never sent");
        settings.tokens = tokens;
        SmtpTransport transport(settings);
        QCOMPARE(SendAll(transport, SmallMails({"a@example.org", "b@example.org", "c@example.org"})),
                 QStringList(3, expected));
        QCOMPARE(tokens->asked, asked);
        QCOMPARE(server.MessageCount(), expected.isEmpty() ? 3 : 0);
        for (int i = 1; i <= server.MessageCount(); ++i) {
            QCOMPARE(server.Envelope(i).value(QStringLiteral("login")).toString(), user);
            QCOMPARE(server.Envelope(i).value(QStringLiteral("mechanism")).toString(),
                     mechanisms.contains(QLatin1String("XOAUTH2")) ? "XOAUTH2" : "OAUTHBEARER");
        }
        // One that comes after its connection gave up is dropped unused.
        QTRY_COMPARE_WITH_TIMEOUT(tokens->pending, 0, 10000);
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
