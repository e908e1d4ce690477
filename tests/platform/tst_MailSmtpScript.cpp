#include "SmtpScriptServer.h"
#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"

#include "platform/mail/SmtpTransport.h"

using namespace TestSupport;

// Protocol edge cases that real servers will not produce on request, played
// from transcripts. A script that waits for several commands before it
// answers holds the client to pipelining: one that waits for each reply
// runs into the time-out instead.
namespace {

using Scripts = QList<QStringList>;

QStringList Greeting(const QStringList& extensions)
{
    QStringList script{"S: 220-test.invalid ESMTP", "S: 220 ready", "C: EHLO *", "S: 250-test.invalid"};
    for (qsizetype i = 0; i < extensions.size(); ++i)
        script << (i + 1 < extensions.size() ? "S: 250-" : "S: 250 ") + extensions.at(i);
    if (extensions.isEmpty())
        script.last().replace(6, 1, u' ');
    return script;
}

// One mail to one recipient, one command at a time.
QStringList OneByOne(const QString& to)
{
    return {"C: MAIL FROM:<sender@example.com>*", "S: 250 2.1.0 Ok", "C: RCPT TO:<" + to + ">",
            "S: 250 2.1.5 Ok", "C: DATA", "S: 354 go on", "MESSAGE", "S: 250 2.0.0 queued"};
}

SmtpSettings SettingsFor(const SmtpScriptServer& server, const QString& host = QStringLiteral("127.0.0.1"))
{
    SmtpSettings settings;
    settings.server = host;
    settings.port = server.Port();
    settings.connectionTimeout = 3; // a client that waits where it should not fails within it
    return settings;
}

} // namespace

class TestMailSmtpScript : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Runs over connections that each play a script: every mail ends as
    // expected, every script is played to its end, and no connection more
    // is opened than there are scripts.
    void scriptedRuns_data()
    {
        QTest::addColumn<Scripts>("scripts");
        QTest::addColumn<int>("allowed"); // connections
        QTest::addColumn<QStringList>("to"); // one mail each
        QTest::addColumn<QStringList>("expected");
        // The second envelope comes behind the first mail's data, before the
        // server has said a word about it.
        QStringList pipelined = Greeting({"PIPELINING"});
        pipelined << "C: MAIL FROM:<sender@example.com>" << "C: RCPT TO:<a@example.org>" << "C: RCPT TO:<b@example.org>"
                  << "C: DATA" << "S: 250 Ok" << "S: 250 Ok" << "S: 250 Ok" << "S: 354 go on" << "MESSAGE"
                  << "C: MAIL FROM:<sender@example.com>" << "C: RCPT TO:<c@example.org>" << "C: DATA"
                  << "S: 250 queued 1" << "S: 250 Ok" << "S: 250 Ok" << "S: 354 go on" << "MESSAGE"
                  << "S: 250 queued 2";
        QTest::newRow("pipelined groups and the next envelope")
            << Scripts{pipelined} << 1 << QStringList{"a@example.org, b@example.org", "c@example.org"}
            << QStringList({"", ""});
        QStringList tooMany = Greeting({"PIPELINING"});
        tooMany << "C: MAIL FROM:<sender@example.com>" << "C: RCPT TO:<a@example.org>" << "C: RCPT TO:<b@example.org>"
                << "C: RCPT TO:<c@example.org>" << "C: DATA" << "S: 250 Ok" << "S: 250 Ok"
                << "S: 452 4.5.3 Too many recipients" << "S: 452 4.5.3 Too many recipients" << "S: 354 go on"
                << "MESSAGE" << "S: 250 queued 1" << "C: MAIL FROM:<sender@example.com>"
                << "C: RCPT TO:<b@example.org>" << "C: RCPT TO:<c@example.org>" << "C: DATA" << "S: 250 Ok"
                << "S: 250 Ok" << "S: 452 4.5.3 Too many recipients" << "S: 354 go on" << "MESSAGE"
                << "S: 250 queued 2" << "C: MAIL FROM:<sender@example.com>" << "C: RCPT TO:<c@example.org>"
                << "C: DATA" << "S: 250 Ok" << "S: 452 4.2.2 Mailbox full" << "S: 554 5.5.1 No valid recipients";
        QTest::newRow("too many recipients go in another mail")
            << Scripts{tooMany} << 1 << QStringList{"a@example.org, b@example.org, c@example.org"}
            << QStringList{"Refused for c@example.org: temporary: 452 4.2.2 Mailbox full. Sent to the other recipients: "
                           "a@example.org, b@example.org"};
        // 4xx is "try later", kept apart from 5xx wherever it comes.
        const QStringList envelope{"C: MAIL FROM:*", "S: 250 Ok", "C: RCPT TO:*"};
        QTest::newRow("4xx to RCPT, 5xx to the next")
            << Scripts{Greeting({}) << envelope << "S: 450 4.7.1 greylisted, try later" << "C: RSET" << "S: 250 Ok"
                                    << envelope << "S: 550 5.1.1 no such user" << "C: RSET" << "S: 250 Ok"}
            << 1 << QStringList{"a@example.org", "b@example.org"}
            << QStringList{"temporary: 450 4.7.1 greylisted, try later", "550 5.1.1 no such user"};
        QTest::newRow("4xx to MAIL")
            << Scripts{Greeting({}) << "C: MAIL FROM:*" << "S: 451 4.3.0 try later" << "C: RCPT TO:*"
                                    << "S: 503 5.5.1 MAIL first" << "C: RSET" << "S: 250 Ok"}
            << 1 << QStringList{"a@example.org"} << QStringList{"temporary: 451 4.3.0 try later"};
        QTest::newRow("4xx and 421 to the end of data")
            << Scripts{Greeting({}) << OneByOne("a@example.org").mid(0, 7) << "S: 452 4.3.1 out of space"
                                    << OneByOne("b@example.org").mid(0, 7) << "S: 421 4.4.2 closing" << "CLOSE"}
            << 1 << QStringList{"a@example.org", "b@example.org"}
            << QStringList{"temporary: 452 4.3.1 out of space", "temporary: 421 4.4.2 closing"};
        // A mail lost with its connection before its data went out whole is
        // sent once more, on a new connection; after its data, never.
        const QStringList ab{"a@example.org", "b@example.org"};
        const QStringList second = Greeting({}) << OneByOne("b@example.org");
        QStringList closing = Greeting({"PIPELINING"});
        closing << OneByOne("a@example.org").mid(0, 6) << "MESSAGE"
                << "C: MAIL FROM:<sender@example.com>" << "C: RCPT TO:<b@example.org>" << "C: DATA"
                << "S: 250 queued" << "S: 421 4.3.2 Shutting down" << "CLOSE";
        QTest::newRow("421 in a pipelined group") << Scripts{closing, second} << 1 << ab << QStringList({"", ""});
        QStringList gone = Greeting({});
        gone << OneByOne("a@example.org").mid(0, 7) << "CLOSE";
        QTest::newRow("closed after the data")
            << Scripts{gone, second} << 1 << ab
            << QStringList({"delivery unknown: the connection was lost after the message was sent", ""});
        const QStringList atData = Greeting({}) << "C: MAIL FROM:*" << "S: 250 Ok" << "C: RCPT TO:*" << "S: 250 Ok"
                                                << "C: DATA" << "CLOSE";
        QTest::newRow("closed at DATA every time")
            << Scripts(4, atData) << 1 << ab
            << QStringList(2, "not sent: the connection was lost twice before the message went out (The mail "
                              "server closed the connection)");
        // Three connections failing in a row end the run; an extra one
        // refused while another serves the run lowers the number.
        const QStringList refusing{"S: 554 5.3.2 No service", "CLOSE"};
        QTest::newRow("server gone after the first mail")
            << Scripts{Greeting({}) << OneByOne("a@example.org") << "CLOSE", refusing, refusing, refusing} << 1
            << QStringList{"a@example.org", "b@example.org", "c@example.org"}
            << QStringList({"", "not sent: 554 5.3.2 No service", "not sent: 554 5.3.2 No service"});
        QStringList four = Greeting({});
        for (int i = 0; i < 4; ++i)
            four << "C: MAIL FROM:<sender@example.com>" << "S: 250 Ok" << "C: RCPT TO:*" << "S: 250 Ok" << "C: DATA"
                 << "S: 354 go on" << "MESSAGE" << "S: 250 queued";
        const QStringList tooBusy{"S: 421 4.7.0 Too many connections from your host", "CLOSE"};
        QTest::newRow("extra connections refused")
            << Scripts{four, tooBusy, tooBusy} << 3 << (QStringList(ab) << "c@example.org" << "d@example.org")
            << QStringList(4, QString());
    }

    void scriptedRuns()
    {
        QFETCH(Scripts, scripts);
        QFETCH(int, allowed);
        QFETCH(QStringList, to);
        QFETCH(QStringList, expected);
        SmtpScriptServer server(scripts);
        QVERIFY(server.Start());
        SmtpSettings settings = SettingsFor(server);
        settings.connections = allowed;
        SmtpTransport transport(settings);
        QCOMPARE(SendAll(transport, SmallMails(to)), expected);
        QCOMPARE(server.Problems(), QStringList());
        QCOMPARE(server.Connections(), scripts.size());
        qsizetype messages = 0;
        for (const QStringList& script : std::as_const(scripts))
            messages += script.count(QStringLiteral("MESSAGE"));
        QCOMPARE(server.Messages().size(), messages);
        QCOMPARE(transport.ConnectionLimit(), 1);
    }

    // A mail that cannot go as the server stands fails before its envelope;
    // a password never goes out unencrypted to a server elsewhere.
    void mailStoppedBeforeItsEnvelope_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QString>("tlsName"); // of the certificate, which the client trusts
        QTest::addColumn<bool>("remote");
        QTest::addColumn<QString>("expected"); // "*" stands for any text
        const QStringList tls = Greeting({"STARTTLS", "AUTH PLAIN"}) << "C: STARTTLS";
        QTest::newRow("refused, no password to protect")
            << (tls + QStringList{"S: 454 4.7.0 TLS not available"} + OneByOne("a@example.org")) << "localhost"
            << false << "";
        QTest::newRow("refused, password for a server elsewhere")
            << (tls + QStringList{"S: 454 4.7.0 TLS not available"}) << "localhost" << true
            << "not sent: the server refused encryption (454 4.7.0 TLS not available); the password was not sent";
        QTest::newRow("no TLS after the go-ahead")
            << (tls + QStringList{"S: 220 go ahead", "PAUSE", "S: this is not TLS"}) << "localhost" << false
            << "not sent: the encrypted connection to the mail server failed: *";
        QTest::newRow("words slipped in behind the go-ahead")
            << (tls + QStringList{"S: 220 go ahead\r\n250 injected"}) << "localhost" << false
            << "not sent: the mail server sent more than its answer to STARTTLS";
        QTest::newRow("certificate for another host")
            << (Greeting({"STARTTLS"}) << "C: STARTTLS" << "S: 220 go ahead" << "TLS") << "other.example" << false
            << "not sent: the mail server's certificate was not accepted: *host name*";
        QTest::newRow("over the size limit")
            << Greeting({"SIZE 100"}) << "localhost" << false
            << "The message is * bytes, more than the 100 bytes the mail server accepts";
    }

    void mailStoppedBeforeItsEnvelope()
    {
        QFETCH(QStringList, script);
        QFETCH(QString, tlsName);
        QFETCH(bool, remote);
        QFETCH(QString, expected);
        if (remote && !InNetworkNamespace())
            return;
        const QString host = remote ? OffLoopbackAddress : "127.0.0.1";
        SmtpScriptServer server({script}, tlsName);
        QVERIFY(server.Start(host));
        SmtpSettings settings = SettingsFor(server, host);
        settings.authenticate = remote;
        if (QFileInfo::exists(server.CertificateFile())) // made only for scripts that use TLS
            settings.caFile = server.CertificateFile();
        SmtpTransport transport(settings);
        const QString error = SendError(transport, SmallMail(QStringLiteral("a@example.org")));
        QVERIFY2(Matches(error, expected), qPrintable(error));
        if (!expected.contains(u'*')) // a broken handshake leaves the script where it is
            QCOMPARE(server.Problems(), QStringList());
        QStringList lines = server.Problems(); // lines past the script's end show here
        for (const QStringList& received : server.Received())
            lines += received;
        for (const QString& line : std::as_const(lines)) {
            QVERIFY2(!line.contains(QLatin1String("AUTH ")), "the password went out unencrypted");
            QVERIFY2(expected.isEmpty() || !line.contains(QLatin1String("MAIL FROM")), qPrintable(line));
        }
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailSmtpScript)
#include "tst_MailSmtpScript.moc"
