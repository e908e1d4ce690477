#include "SmtpScriptServer.h"
#include "SmtpTestMessages.h"
#include "SmtpTestServer.h"
#include "TestMain.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSender.h"
#include "delivery/SendClock.h"
#include "delivery/SendJournal.h"
#include "delivery/SendErrorLog.h"
#include "merge/Mails.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

using namespace TestSupport;

Q_DECLARE_METATYPE(SmtpTestServer::Options)

namespace {

const QString Msmtp = QStringLiteral("/usr/bin/msmtp");
const QString Rejected = QStringLiteral("nobody@example.org");

// The test server's two-line refusal, as one line.
const QString RejectedText =
    QStringLiteral("550-5.1.1 <%1>: Recipient address rejected 550 5.1.1 User unknown in this test")
        .arg(Rejected);

FromAddressRef Sender(const QString& reply = QString())
{
    return std::make_shared<const FromAddress>(QStringLiteral("Ann \"A\" Lee"),
                                               QStringLiteral("ann@example.com"), reply);
}

QString To(int i)
{
    return QStringLiteral("r%1@example.org").arg(i);
}

// Settings for one run: an ephemeral port (above 32767, so past the 16-bit
// setting's sign), one connection unless told otherwise, a login when a
// password is given.
class Settings
{
public:
    explicit Settings(qint32 method, int port = 0,
                      const QString& server = QStringLiteral("127.0.0.1"), int connections = 1,
                      int timeout = 20, const QString& password = QString())
    {
        MailConfiguration configuration(QString(), Folder());
        configuration.SetSMPTAuthenticate(password.isEmpty() ? 0 : 1);
        configuration.SetSMTPPassword(password);
        configuration.SetSendUsingMethod(method);
        configuration.SetSMTPServer(server);
        configuration.SetSMTPServerPort(static_cast<qint16>(port));
        configuration.SetSMTPConnectionTimeout(static_cast<qint16>(timeout));
        configuration.SetSMTPMaxConnections(static_cast<qint16>(connections));
        configuration.Save();
    }
    QString Folder() const { return m_dir.path() + u'/'; }

private:
    QTemporaryDir m_dir;
};

// Everything a run raises, in order: "sent i", "error <to>: ...", "yield".
struct Run
{
    Mails mails;
    SendErrorLog log;
    QStringList events;
    // Stands for a cancel click that only gets to run at the next yield.
    bool cancelClicked = false;
    int clickAfterMail = 0;
    int yieldWaitMs = 0; // the first yield lasts this long
    std::optional<Mails::ScopedYieldHook> yield;

    Run()
    {
        log.Listen(mails);
        QObject::connect(&mails, &Mails::MailsSend, [this](int index) {
            events << QStringLiteral("sent %1").arg(index);
            if (index == clickAfterMail)
                cancelClicked = true;
        });
        QObject::connect(&mails, &Mails::SendErr,
                         [this](const QString& description, const QString& to,
                                const FromAddressRef&, const QString&, const QString&,
                                const QString&) {
                             events << QStringLiteral("error %1: %2").arg(to, description);
                         });
        // Events run here as in the window, other connections' included.
        yield.emplace(mails, [this] {
            events << QStringLiteral("yield");
            QCoreApplication::processEvents();
            if (yieldWaitMs > 0)
                QTest::qWait(std::exchange(yieldWaitMs, 0));
            if (cancelClicked)
                mails.SetKeepSending(false);
        });
    }

    void AddMails(int count)
    {
        for (int i = 1; i <= count; ++i)
            mails.Add(Sender(), To(i), QStringLiteral("Subject %1").arg(i),
                      QStringLiteral("Body %1\n").arg(i), QString());
    }

    void Send(const Settings& settings, const QString& pickupConfig = QString(), bool keepSending = true)
    {
        MailSender sender(mails);
        sender.SetConfigurationFolder(settings.Folder());
        if (!pickupConfig.isEmpty())
            sender.SetPickupProgram(Msmtp, {QStringLiteral("-C"), pickupConfig,
                                            QStringLiteral("-t"), QStringLiteral("-i")});
        mails.SetKeepSending(keepSending);
        sender.Send();
    }

    QStringList Errors() const { return events.filter(QStringLiteral("error ")); }
    QList<QStringList> Logged()
    {
        QList<QStringList> rows;
        Recordset& records = log.Records();
        for (records.MoveFirst(); !records.AtEOF(); records.MoveNext()) {
            rows.append(QStringList());
            for (int i = 0; i < records.FieldCount(); ++i)
                rows.last() << records.Value(i).toString();
        }
        return rows;
    }
    int Handled() const { return events.filter(QStringLiteral("sent ")).size(); }
};

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

} // namespace

class TestSend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A refused mail is reported and logged as it was, and the run goes on.
    void rejectedMailIsLoggedAndTheRunGoesOn()
    {
        SmtpTestServer server(Refusing({Rejected}));
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        QTemporaryDir dir;
        const QString present = WriteFile(dir.filePath(QStringLiteral("present.txt")), "here\n");
        Run run;
        run.AddMails(12);
        run.mails.Item(1).SetAttachments(dir.filePath(QStringLiteral("missing.txt")) + u';' + present);
        run.mails.Item(5).SetTo(Rejected);
        run.mails.Item(5).SetAttachments(QStringLiteral("/no/such/a.pdf;/no/such/b.txt"));
        run.mails.Item(5).SetTextBody(QStringLiteral("Line one\r\nLine two\n"));
        run.mails.Item(7).SetFrom(Sender(QStringLiteral("replies@example.com")));
        run.Send(settings);

        // The error comes before the mail's own MailsSend, with its yield.
        QCOMPARE(run.events, CleanRun(1, 4) << QStringLiteral("error %1: %2").arg(Rejected, RejectedText)
                                            << QStringLiteral("yield") << CleanRun(5, 12));
        QCOMPARE(server.MessageCount(), 11);
        QCOMPARE(server.ConnectionCount(), 1); // one connection serves the run
        QCOMPARE(run.Logged(), QList<QStringList>({{RejectedText, Rejected, "Ann \"A\" Lee (ann@example.com)",
                                                    "Subject 5", "/no/such/a.pdf;/no/such/b.txt",
                                                    "Line one\r\nLine two\n"}}));

        // What arrived: the mail's texts, its sender, the attachments that exist.
        SampleMail first{{}, {{QStringLiteral("Ann \"A\" Lee"), QStringLiteral("ann@example.com")}}, {{"", To(1)}}, {}};
        first.message.mailer = MailSender::MailerHeaderValue();
        first.message.subject = QStringLiteral("Subject 1");
        first.message.body = QStringLiteral("Body 1\n");
        first.message.attachments = {present};
        CORVANTA_VERIFY_READS_AS_SENT(first, server.Inspect(1));
        // Mail 7 is the 6th to arrive.
        QCOMPARE(server.Envelope(6).value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray({To(7)}));
        const QJsonArray replyTo = server.Inspect(6).value(QStringLiteral("reply_to")).toArray();
        QCOMPARE(replyTo.at(0).toObject().value(QStringLiteral("address")).toString(),
                 QStringLiteral("replies@example.com"));
    }

    // Pipelined, the next mail must not go out past the yield that stops.
    // An empty collection, or KeepSending never set: no server is contacted.
    void stopIsSeenAtTheNextYield_data()
    {
        QTest::addColumn<int>("mails");
        QTest::addColumn<int>("clickAfter"); // -1: KeepSending never set
        QTest::addColumn<int>("failing");
        QTest::addColumn<int>("handled");
        QTest::addColumn<bool>("pipelining");
        for (bool pipelining : {false, true}) {
            const char* how = pipelining ? ", pipelined" : "";
            QTest::addRow("click during mail 13%s", how) << 50 << 13 << 0 << 20 << pipelining;
            QTest::addRow("click during mail 20%s", how) << 50 << 20 << 0 << 20 << pipelining;
            QTest::addRow("click during mail 13, mail 15 fails%s", how)
                << 50 << 13 << 15 << 15 << pipelining;
            QTest::addRow("click during mail 21%s", how) << 50 << 21 << 0 << 30 << pipelining;
            QTest::addRow("click during the last mail%s", how) << 50 << 50 << 0 << 50 << pipelining;
        }
        QTest::newRow("nothing to send") << 0 << 0 << 0 << 0 << false;
        QTest::newRow("never started") << 3 << -1 << 0 << 0 << false;
    }

    void stopIsSeenAtTheNextYield()
    {
        QFETCH(int, mails);
        QFETCH(int, clickAfter);
        QFETCH(int, failing);
        QFETCH(int, handled);
        QFETCH(bool, pipelining);
        SmtpTestServer::Options options = Refusing({Rejected});
        options.pipelining = pipelining;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        Run run;
        run.AddMails(mails);
        if (failing)
            run.mails.Item(failing).SetTo(Rejected);
        run.clickAfterMail = clickAfter;
        run.Send(settings, QString(), clickAfter >= 0);

        QCOMPARE(run.Handled(), handled);
        QCOMPARE(run.Errors().size(), failing ? 1 : 0);
        QCOMPARE(server.MessageCount(), failing ? handled - 1 : handled);
        if (!handled) {
            QCOMPARE(run.events, QStringList());
            QCOMPARE(server.ConnectionCount(), 0);
        }
    }

    // Pickup: the sendmail program takes each mail; its refusal is that mail's error.
    void pickupHandsMailsToTheSendmailProgram()
    {
        if (!QFileInfo(Msmtp).isExecutable())
            QSKIP("msmtp (Debian package msmtp) is not installed");
        SmtpTestServer server(Refusing({Rejected}));
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const QString config =
            WriteFile(server.WorkFolder() + QStringLiteral("/msmtprc"),
                      QStringLiteral("account default\nhost 127.0.0.1\nport %1\n"
                                     "from bounce@example.com\ntls off\nauth off\n")
                          .arg(server.Port())
                          .toUtf8());
        QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const Settings settings(MailDeliverySettings::Pickup, 0, QString());
        Run run;
        run.AddMails(3);
        run.mails.Item(2).SetTo(Rejected);
        run.Send(settings, config);

        QCOMPARE(run.Handled(), 3);
        const QStringList errors = run.Errors();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.at(0).startsWith(QStringLiteral("error %1: ").arg(Rejected)) &&
                     errors.at(0).contains(QStringLiteral("550 5.1.1 User unknown in this test")),
                 qPrintable(errors.at(0)));
        QCOMPARE(server.MessageCount(), 2);
        QCOMPARE(server.Envelope(2).value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray({To(3)}));
    }

    void severalConnectionsKeepTheCountsExact()
    {
        SmtpTestServer::Options options = Refusing({Rejected});
        options.pipelining = true;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port(),
                                QStringLiteral("127.0.0.1"), 4);
        Run run;
        run.AddMails(40);
        const QList<int> refused{3, 11, 12, 25, 40};
        for (int i : refused)
            run.mails.Item(i).SetTo(Rejected);
        run.Send(settings);

        QCOMPARE(run.events.filter(QStringLiteral("sent ")), CleanRun(1, 40).filter(QStringLiteral("sent ")));
        QCOMPARE(run.Errors(),
                 QStringList(refused.size(),
                             QStringLiteral("error %1: %2").arg(Rejected, RejectedText)));
        for (qsizetype at = 0; at < run.events.size(); ++at) {
            const QString& event = run.events.at(at);
            if (event.startsWith(QLatin1String("error ")) || (event.startsWith(QLatin1String("sent ")) && event.endsWith(u'0')))
                QCOMPARE(run.events.mid(at + 1, 1), QStringList{QStringLiteral("yield")});
        }
        QCOMPARE(run.events.count(QStringLiteral("yield")), 4 + refused.size());

        QSet<QString> logged;
        for (const QStringList& row : run.Logged())
            logged.insert(row[3]);
        const QSet<QString> arrived = server.FirstRecipients();
        for (int i = 1; i <= 40; ++i) {
            QCOMPARE(logged.contains(QStringLiteral("Subject %1").arg(i)), refused.contains(i));
            QCOMPARE(arrived.contains(To(i)), !refused.contains(i));
        }
        QCOMPARE(server.MessageCount(), 40 - refused.size());
        QCOMPARE(server.ConnectionCount(), 4);
    }

    // Stopped from the progress event: the mail pipelined behind is either
    // finished or reported.
    void stopOnALiveServerLosesNoMail()
    {
        SmtpTestServer::Options options;
        options.pipelining = true;
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port());
        Run run;
        run.AddMails(30);
        QObject::connect(&run.mails, &Mails::MailsSend, [&run](int index) {
            if (index == 7)
                run.mails.SetKeepSending(false);
        });
        run.Send(settings);

        QVERIFY2(run.Handled() == 7 || run.Handled() == 8, qPrintable(run.events.join(u',')));
        QCOMPARE(run.events.filter(QStringLiteral("sent ")), CleanRun(1, run.Handled()).filter(QStringLiteral("sent ")));
        const QSet<QString> arrived = server.FirstRecipients();
        for (int i = 1; i <= 30; ++i) {
            const QString error = run.Errors().filter(QStringLiteral("error %1: ").arg(To(i))).value(0);
            if (i > run.Handled() || error.endsWith(QStringLiteral(": not sent: sending was stopped")))
                QVERIFY(!arrived.contains(To(i)));
            else if (error.isEmpty())
                QVERIFY2(arrived.contains(To(i)), qPrintable(To(i)));
            else
                QVERIFY2(error.contains(QStringLiteral(": delivery unknown: ")), qPrintable(error));
        }
        QCOMPARE(arrived.size(), server.MessageCount()); // none twice
    }

    // The server hangs up on both connections while the run yields for the
    // first refusal: the mail the closed connection was about to take goes
    // on a new one. Each mail ends exactly once.
    void serverClosingEveryConnectionWhileTheRunYieldsLosesNoMail()
    {
        const QStringList hello{"S: 220 ready", "C: EHLO *", "S: 250 test.invalid", "C: MAIL FROM:*", "S: 250 Ok",
                                "C: RCPT TO:*"};
        const QStringList closing = QStringList(hello) << "S: 550 5.1.1 No such user" << "CLOSE";
        SmtpScriptServer server({closing, closing,
                                 QStringList(hello) << "S: 250 Ok" << "C: DATA" << "S: 354 go on" << "MESSAGE"
                                                    << "S: 250 queued"});
        QVERIFY(server.Start());
        const Settings settings(MailDeliverySettings::Port, server.Port(), QStringLiteral("127.0.0.1"), 2);
        Run run;
        run.AddMails(3);
        run.yieldWaitMs = 300; // long enough for both hang-ups to arrive
        run.Send(settings);

        QCOMPARE(run.Handled(), 3); // two refused, one sent
        QCOMPARE(server.Messages().size(), 1);
        QCOMPARE(server.Connections(), 3);
        QCOMPARE(server.Problems(), QStringList());
    }

    // Mails refused for now go again after the others, up to three times,
    // on the run's clock; the grid keeps their "temporary" row until a retry
    // says otherwise, and Cancel ends a wait at once.
    void temporaryRefusalsAreRetried_data()
    {
        QTest::addColumn<QList<QStringList>>("scripts");
        QTest::addColumn<bool>("retry");
        QTest::addColumn<bool>("cancelInWait");
        QTest::addColumn<QStringList>("retried"); // each round's outcomes
        QTest::addColumn<QString>("states");      // the journal's, per mail
        const QStringList hello{"S: 220 ready", "C: EHLO *", "S: 250 test.invalid"};
        const QStringList envelope{"C: MAIL FROM:*", "S: 250 Ok", "C: RCPT TO:<r1@example.org>"};
        const QStringList sent{"C: MAIL FROM:*", "S: 250 Ok", "C: RCPT TO:*", "S: 250 Ok", "C: DATA",
                               "S: 354 go on", "MESSAGE", "S: 250 queued"};
        const QStringList refused = QStringList(envelope) << "S: 450 4.7.1 greylisted, try later";
        const QStringList first = hello + refused + QStringList{"C: RSET", "S: 250 Ok"} + sent;
        const QString later = QStringLiteral("1: temporary: 450 4.7.1 greylisted, try later");
        QTest::newRow("sent on the first retry")
            << QList<QStringList>{first, hello + sent} << true << false << QStringList{"1: "} << "SS";
        QTest::newRow("refused three more times")
            << QList<QStringList>{first, hello + refused, hello + refused, hello + refused} << true << false
            << QStringList{later, later, later} << "TS";
        QTest::newRow("retry turned off") << QList<QStringList>{first} << false << false << QStringList() << "TS";
        QTest::newRow("cancel while waiting") << QList<QStringList>{first} << true << true << QStringList() << "TS";
    }

    void temporaryRefusalsAreRetried()
    {
        QFETCH(QList<QStringList>, scripts);
        QFETCH(bool, retry);
        QFETCH(bool, cancelInWait);
        QFETCH(QStringList, retried);
        QFETCH(QString, states);
        SmtpScriptServer server(scripts);
        QVERIFY(server.Start());
        const Settings settings(MailDeliverySettings::Port, server.Port());
        MailConfiguration configuration(QString(), settings.Folder());
        configuration.SetSMTPRetryTemporary(retry);
        configuration.Save();
        Run run;
        run.AddMails(2);
        QTemporaryDir journalDir;
        SendJournal journal(journalDir.path(), "mailing", 2);
        // A minute of this clock passes in a millisecond, unless the wait is
        // to be cancelled by hand.
        const SendClock clock(cancelInWait ? 1 : 60'000);
        QStringList rounds;
        QList<qint64> waits;
        MailSender sender(run.mails);
        sender.SetConfigurationFolder(settings.Folder());
        sender.SetJournal(&journal);
        sender.SetClock(&clock);
        sender.SetWatcher({[&](qint64 left, int count) {
                               if (count == 0)
                                   return;
                               if (waits.isEmpty() || left > waits.last())
                                   waits << left;
                               QCOMPARE(count, 1);
                               if (cancelInWait)
                                   run.mails.SetKeepSending(false);
                           },
                           [&](const QHash<int, QString>& outcomes) {
                               for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
                                   rounds << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
                           }});
        run.mails.SetKeepSending(true);
        sender.Send();

        QCOMPARE(run.Errors(), QStringList{"error r1@example.org: temporary: 450 4.7.1 greylisted, try later"});
        QCOMPARE(run.Handled(), 2);
        QCOMPARE(rounds, retried);
        for (qsizetype i = 0; i < waits.size(); ++i) // about 1, 5 and 15 minutes
            QVERIFY2(waits[i] <= MailSender::RetryWaitsMs[i] && waits[i] > MailSender::RetryWaitsMs[i] * 9 / 10,
                     qPrintable(QString::number(waits[i])));
        QCOMPARE(waits.size(), retry ? qMax<qsizetype>(retried.size(), cancelInWait ? 1 : 0) : 0);
        QString letters;
        for (int i = 1; i <= 2; ++i)
            letters += QStringLiteral("NSFTU").at(static_cast<int>(journal.StateOf(i)));
        QCOMPARE(letters, states);
        QCOMPARE(server.Connections(), scripts.size());
        QCOMPARE(server.Problems(), QStringList());
    }

    // The provider's limits on the run's clock: 120 mails at 60 a minute
    // take two minutes, evenly; at the day's limit the run ends, the next
    // Send of the same day sends nothing, and the next day the rest.
    void limits()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        const Settings settings(MailDeliverySettings::Port, server.Port(), QStringLiteral("127.0.0.1"), 4);
        MailConfiguration configuration(QString(), settings.Folder());
        configuration.SetSMTPMaxPerMinute(60);
        configuration.SetSMTPMaxPerDay(100);
        configuration.Save();
        Run run;
        run.AddMails(120);
        QTemporaryDir journalDir;
        SendJournal journal(journalDir.path(), "mailing", 120);
        SendClock clock(30); // two minutes in four seconds
        MailSender sender(run.mails);
        sender.SetConfigurationFolder(settings.Folder());
        sender.SetJournal(&journal);
        sender.SetClock(&clock);
        int sent = 0; // by the last send
        const auto send = [&]() -> qint64 {
            const QDateTime start = clock.Now();
            sender.SetPositions(journal.Positions(SendJournal::State::NotSent));
            run.mails.SetKeepSending(true);
            const int before = server.MessageCount();
            sender.Send();
            sent = server.MessageCount() - before;
            return start.msecsTo(clock.Now());
        };
        // 100 mails, one a second after the first: 99 s, within 5%.
        const qint64 took = send();
        QCOMPARE(sent, 100);
        QVERIFY2(took >= 99'000 && took <= 104'000, qPrintable(QString::number(took)));
        QVERIFY(sender.DayLimitReached());
        const QDateTime next = sender.NextAllowance();
        QVERIFY(next > clock.Now().addSecs(86'400 - 200) && next <= clock.Now().addDays(1));
        QCOMPARE(journal.Count(SendJournal::State::NotSent), 20);
        send();
        QCOMPARE(sent, 0);
        QVERIFY(sender.DayLimitReached());
        QCOMPARE(sender.NextAllowance(), next);
        clock.Skip(86'400'000);
        send();
        QCOMPARE(sent, 20);
        QVERIFY(!sender.DayLimitReached());
        QCOMPARE(journal.Count(SendJournal::State::Sent), 120);
        QCOMPARE(server.FirstRecipients().size(), 120);
    }

    // A run that cannot go on ends at once, each mail with one reason in
    // words for the user: unusable settings, an unreachable server, a
    // refused login or certificate, a server that never greets (one time-out
    // for the run, not one per mail), or a stop however silent the server.
    // Four connections allowed, and yet one login, only where one is asked for.
    void everyMailEndsWithOneReason_data()
    {
        QTest::addColumn<qint32>("method");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port"); // -1: a free one; 1: the test server's
        QTest::addColumn<SmtpTestServer::Options>("options");
        QTest::addColumn<int>("stopAt"); // stop once so many transfers wait on the server
        QTest::addColumn<QString>("reason"); // %1: the port; "*": any text
        QTest::addColumn<int>("handled");
        QTest::addColumn<int>("connections");
        const qint32 smtp = MailDeliverySettings::Port;
        const QString local = QStringLiteral("127.0.0.1");
        const SmtpTestServer::Options plain;
        QTest::newRow("no server") << smtp << "  " << 1 << plain << 0 << "No SMTP server is set" << 20 << 0;
        QTest::newRow("port 0") << smtp << local << 0 << plain << 0 << "The SMTP server port 0 is not valid" << 20 << 0;
        QTest::newRow("user in the name")
            << smtp << "user:pw@mail.example.com" << 1 << plain << 0
            << "The SMTP server name \"user:pw@mail.example.com\" is not valid" << 20 << 0;
        QTest::newRow("unknown method") << qint32(3) << local << 1 << plain << 0
                                        << "The sending method 3 is not known" << 20 << 0;
        QTest::newRow("nobody listening")
            << smtp << local << -1 << plain << 0
            << "not sent: the mail server 127.0.0.1 port %1 could not be reached: Connection refused" << 20 << 0;
        SmtpTestServer::Options login;
        login.user = QStringLiteral("mailer");
        login.password = QStringLiteral("right");
        QTest::newRow("wrong password")
            << smtp << local << 1 << login << 0
            << "not sent: the server refused the login: 535 5.7.8 Authentication credentials invalid" << 20 << 1;
        SmtpTestServer::Options untrusted;
        untrusted.tls = SmtpTestServer::Tls::StartTls;
        QTest::newRow("untrusted certificate") << smtp << local << 1 << untrusted << 0
                                               << "not sent: the mail server's certificate was not accepted: *" << 20
                                               << 1;
        SmtpTestServer::Options silent;
        silent.silent = true;
        QTest::newRow("no greeting") << smtp << local << 1 << silent << 0
                                     << "not sent: no answer from the mail server within 2 seconds" << 20 << 1;
        QTest::newRow("stopped, no greeting")
            << smtp << local << 1 << silent << 1 << "not sent: sending was stopped" << 1 << 1;
        SmtpTestServer::Options stalled;
        stalled.stallData = true;
        QTest::newRow("stopped, no answer to the data")
            << smtp << local << 1 << stalled << 4
            << "delivery unknown: sending was stopped before the server confirmed the message" << 4 << 4;
    }

    void everyMailEndsWithOneReason()
    {
        QFETCH(qint32, method);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(SmtpTestServer::Options, options);
        QFETCH(int, stopAt);
        QFETCH(QString, reason);
        QFETCH(int, handled);
        QFETCH(int, connections);
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        QTcpServer probe; // a port that was free a moment ago
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = port == 1 ? server.Port() : port == -1 ? probe.serverPort() : port;
        probe.close();
        const Settings settings(method, port, host, 4, stopAt ? 600 : 2,
                                options.user.isEmpty() ? QString() : QStringLiteral("wrong"));
        Run run;
        run.AddMails(20);
        QElapsedTimer sinceStop;
        QTimer button;
        QObject::connect(&button, &QTimer::timeout, [&] {
            if ((options.silent ? server.ConnectionCount() : server.StalledCount()) < stopAt)
                return;
            button.stop();
            sinceStop.start();
            run.mails.SetKeepSending(false);
        });
        if (stopAt)
            button.start(20);
        run.Send(settings);

        // Far below the 600 s the server would be waited for otherwise.
        QVERIFY(!stopAt || (sinceStop.isValid() && sinceStop.elapsed() < 30000));
        QCOMPARE(run.Handled(), handled);
        QCOMPARE(run.log.Count(), handled);
        const QRegularExpression each = QRegularExpression::fromWildcard(
            QStringLiteral("error r*@example.org: ") + reason.replace(QStringLiteral("%1"), QString::number(port)));
        QCOMPARE(run.Errors().filter(each).size(), handled);
        QCOMPARE(server.MessageCount(), 0);
        QCOMPARE(server.ConnectionCount(), connections);
        QCOMPARE(server.LoginCount(), options.user.isEmpty() ? 0 : 1);
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

        QCOMPARE(run.Logged(), QList<QStringList>({{RejectedText, Rejected, "Ann \"A\" Lee (ann@example.com)",
                                                    "Subject 2", "", "Body 2\n"}}));
        // Mail 3 moved into position 2 and is skipped; mail 4 is sent as the 3rd.
        QCOMPARE(run.Handled(), 3);
        QCOMPARE(server.MessageCount(), 2);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSend)
#include "tst_Send.moc"
