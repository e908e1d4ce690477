#include "SmtpTestServer.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSender.h"
#include "delivery/SendJournal.h"
#include "merge/Mails.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

using namespace TestSupport;
using State = SendJournal::State;

namespace {

const QByteArray Digest = QCryptographicHash::hash("one mailing", QCryptographicHash::Sha256);

// The states of every mail as letters: Sent, Failed, Temporary, Unknown,
// Not sent.
QString Letters(const SendJournal& journal)
{
    QString letters;
    for (int i = 1; i <= journal.MailCount(); ++i)
        letters += QStringLiteral("NSFTU").at(static_cast<int>(journal.StateOf(i)));
    return letters;
}

// A mailing of `count` mails whose recipients carry `tag`, so that runs
// sharing one server tell their mails apart.
void Fill(Mails& mails, int count, const QString& tag)
{
    const FromAddressRef from =
        std::make_shared<const FromAddress>(QStringLiteral("Ann"), QStringLiteral("ann@example.com"), QString());
    for (int i = 1; i <= count; ++i)
        mails.Add(from, QStringLiteral("%1-%2@example.org").arg(tag).arg(i), QStringLiteral("Hello %1").arg(i),
                  QStringLiteral("Body\n"), QString());
}

QString SettingsFolder(const QString& folder, int port, int connections)
{
    MailConfiguration configuration(QString(), folder + u'/');
    configuration.SetSendUsingMethod(MailDeliverySettings::Port);
    configuration.SetSMTPServer(QStringLiteral("127.0.0.1"));
    configuration.SetSMTPServerPort(static_cast<qint16>(port));
    configuration.SetSMTPMaxConnections(static_cast<qint16>(connections));
    configuration.Save();
    return folder + u'/';
}

// Sends the positions given (all when none) of the tagged mailing and
// keeps the journal in `folder`.
void SendTagged(const QString& folder, int port, const QString& tag, int count, std::vector<int> positions = {},
                const std::function<void(int)>& onSent = {})
{
    Mails mails;
    Fill(mails, count, tag);
    if (onSent)
        QObject::connect(&mails, &Mails::MailsSend, onSent);
    SendJournal journal(folder, SendJournal::Digest(mails, tag.toUtf8()), count);
    MailSender sender(mails);
    sender.SetConfigurationFolder(SettingsFolder(folder, port, 4));
    sender.SetJournal(&journal);
    sender.SetPositions(std::move(positions));
    mails.SetKeepSending(true);
    sender.Send();
}

} // namespace

class TestSendJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the file says after damage of each kind: a cut or zeroed tail
    // loses only the last record; anything else is kept aside, never read.
    void damage_data()
    {
        QTest::addColumn<std::function<void(QByteArray&)>>("damage");
        QTest::addColumn<int>("count"); // mails the reader expects
        QTest::addColumn<QString>("states");
        QTest::addColumn<bool>("keptAside");
        using Damage = std::function<void(QByteArray&)>;
        QTest::newRow("none") << Damage([](QByteArray&) {}) << 5 << "SFTUN" << false;
        QTest::newRow("cut inside the head") << Damage([](QByteArray& b) { b.truncate(10); }) << 5 << "NNNNN" << false;
        QTest::newRow("last record cut") << Damage([](QByteArray& b) { b.chop(5); }) << 5 << "SFTNN" << false;
        QTest::newRow("power cut: zeros at the end")
            << Damage([](QByteArray& b) { std::fill(b.end() - 12, b.end(), '\0'); }) << 5 << "SFTNN" << false;
        QTest::newRow("a byte changed inside")
            << Damage([](QByteArray& b) { b[b.size() - 30] = char(b[b.size() - 30] ^ 1); }) << 5 << "NNNNN" << true;
        QTest::newRow("not a journal") << Damage([](QByteArray& b) { b[0] = 'X'; }) << 5 << "NNNNN" << true;
        QTest::newRow("other mail count") << Damage([](QByteArray&) {}) << 6 << "NNNNNN" << true;
        QTest::newRow("other mailing's digest")
            << Damage([](QByteArray& b) { b[20] = char(b[20] ^ 0x55); }) << 5 << "NNNNN" << true;
    }

    void damage()
    {
        QFETCH(std::function<void(QByteArray&)>, damage);
        QFETCH(int, count);
        QFETCH(QString, states);
        QFETCH(bool, keptAside);
        QTemporaryDir dir;
        QString path;
        {
            SendJournal journal(dir.path(), Digest, 5);
            journal.StartRun(QDateTime::currentDateTime());
            for (int i = 1; i <= 3; ++i)
                journal.Handing(i);
            journal.Ended(1, QString());
            journal.Ended(2, QStringLiteral("550 5.1.1 no such user"));
            journal.Ended(3, QStringLiteral("temporary: 451 4.7.1 greylisted, try later"));
            // Its answer never comes: its hand-over is the last record.
            journal.Handing(4);
            path = journal.FileName();
        }
        QByteArray bytes = ReadBytes(path);
        damage(bytes);
        WriteBytes(path, bytes);
        SendJournal reread(dir.path(), Digest, count);
        QCOMPARE(Letters(reread), states);
        QCOMPARE(!reread.KeptAside().isEmpty(), keptAside);
        if (keptAside)
            QCOMPARE(ReadBytes(reread.KeptAside()), bytes);
        // Records go on after what was kept.
        reread.StartRun(QDateTime::currentDateTime());
        reread.Handing(count);
        reread.Ended(count, QString());
        reread.Close();
        QCOMPARE(Letters(SendJournal(dir.path(), Digest, count)).back(), u'S');
    }

    // A run through a real server: the journal holds every mail's end, a
    // sent mail costs 24 bytes, the unsent are found, another mailing gets
    // another file.
    void runThroughServer()
    {
        SmtpTestServer::Options options;
        options.reject = QStringList{QStringLiteral("t-3@example.org")};
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        QTemporaryDir dir;
        SendTagged(dir.path(), server.Port(), QStringLiteral("t"), 40);
        Mails mails;
        Fill(mails, 40, QStringLiteral("t"));
        const SendJournal journal(dir.path(), SendJournal::Digest(mails, "t"), 40);
        QCOMPARE(Letters(journal), QStringLiteral("SSF") + QString(37, u'S'));
        QVERIFY(journal.LastRun().isValid());
        QCOMPARE(journal.Positions(State::Failed), std::vector<int>{3});
        const qint64 reasons = QFileInfo(journal.FileName()).size() - 48 - 20 - 40 * 24;
        QVERIFY2(reasons > 0 && reasons < 200, qPrintable(QString::number(reasons)));

        Mails changed;
        Fill(changed, 40, QStringLiteral("t"));
        changed.Item(7).SetTextBody(QStringLiteral("edited in Preview"));
        const SendJournal other(dir.path(), SendJournal::Digest(changed, "t"), 40);
        QCOMPARE(other.Count(State::NotSent), 40);
        QVERIFY(other.FileName() != journal.FileName());
        QVERIFY(SendJournal::Digest(mails, "another filter") != SendJournal::Digest(mails, "t"));
        // A run whose mails all failed before any went out is a run too.
        {
            SendJournal failing(dir.path(), Digest, 1);
            failing.StartRun(QDateTime::currentDateTime());
            failing.Ended(1, QStringLiteral("Invalid e-mail address in To"));
        }
        const SendJournal failed(dir.path(), Digest, 1);
        QVERIFY(failed.LastRun().isValid());
        QCOMPARE(Letters(failed), QStringLiteral("F"));
    }

    // Killed at random moments of a run, the journal never misses a mail
    // the server received; sending what it calls not sent then completes
    // the mailing with no mail twice.
    void killedRunsLoseNoMail()
    {
        SmtpTestServer server;
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        constexpr int Count = 60;
        constexpr int Kills = 50;
        int received = 0;
        int unknownTotal = 0;
        int unknownStates = 0;
        int killedMidRun = 0; // some mails sent, some not
        QRandomGenerator random(20261207);
        qint64 runMs = 0;
        // Until so many kills fell between the first mail's end and the last's.
        for (int round = 0; killedMidRun < Kills && round < 3 * Kills; ++round) {
            const QString tag = QStringLiteral("k%1").arg(round);
            QTemporaryDir dir;
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("JOURNAL_CHILD"),
                               QStringLiteral("%1;%2;%3").arg(dir.path()).arg(server.Port()).arg(tag));
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childRun")});
            QByteArray said;
            const auto waitFor = [&](const char* marker) {
                while (!said.contains(marker) && child.waitForReadyRead(60000))
                    said += child.readAll();
                return said.contains(marker);
            };
            QVERIFY(waitFor("JOURNAL-FIRST")); // its first mail ended
            QElapsedTimer timer;
            timer.start();
            if (round == 0) { // a whole run, to know how long the rest takes
                QVERIFY(waitFor("JOURNAL-LAST"));
                runMs = std::max<qint64>(timer.elapsed(), 20);
                QVERIFY(child.waitForFinished(60000));
            } else {
                QThread::msleep(random.bounded(static_cast<int>(runMs)));
                child.kill();
                QVERIFY(child.waitForFinished(10000));
            }
            // What the server took of this mailing, once what was on its
            // way has arrived.
            QHash<QString, int> got;
            const auto take = [&] {
                for (int last = -1; last != server.MessageCount(); QThread::msleep(50))
                    last = server.MessageCount();
                for (const int total = server.MessageCount(); received < total; ++received)
                    ++got[server.Envelope(received + 1).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString()];
            };
            take();
            Mails mails;
            Fill(mails, Count, tag);
            std::vector<int> rest;
            int unknown = 0;
            {
                const SendJournal journal(dir.path(), SendJournal::Digest(mails, tag.toUtf8()), Count);
                QVERIFY(journal.KeptAside().isEmpty());
                for (int i = 1; i <= Count; ++i) {
                    const State state = journal.StateOf(i);
                    const int times = got.value(mails.Item(i).To());
                    QVERIFY2(times <= 1, qPrintable(mails.Item(i).To()));
                    QVERIFY2(times == 0 || state == State::Sent || state == State::Unknown,
                             qPrintable(QStringLiteral("%1: received but noted %2")
                                            .arg(mails.Item(i).To())
                                            .arg(int(state))));
                    QVERIFY2(state != State::Sent || times == 1, qPrintable(mails.Item(i).To()));
                    if (state == State::Unknown) {
                        unknown += 1 - times;
                        ++unknownStates;
                    }
                    if (state != State::Sent && state != State::Unknown)
                        rest.push_back(i);
                }
            }
            unknownTotal += unknown;
            killedMidRun += !rest.empty() && rest.size() < std::size_t(Count);
            if (round == 0)
                QCOMPARE(rest.size(), 0u);
            if (rest.empty())
                continue;
            SendTagged(dir.path(), server.Port(), tag, Count, rest);
            take();
            int missing = 0;
            for (int i = 1; i <= Count; ++i) {
                QVERIFY2(got.value(mails.Item(i).To()) <= 1, qPrintable(mails.Item(i).To()));
                missing += got.value(mails.Item(i).To()) == 0;
            }
            QCOMPARE(missing, unknown);
        }
        QVERIFY2(killedMidRun >= Kills, qPrintable(QString::number(killedMidRun)));
        qInfo("%d kills between a run's first and last mail (runs of about %lld ms there); %d mails of unknown "
              "delivery, %d of those not received",
              killedMidRun, runMs, unknownStates, unknownTotal);
    }

    // The child of killedRunsLoseNoMail: sends a tagged mailing.
    void childRun()
    {
        const QStringList parts = qEnvironmentVariable("JOURNAL_CHILD").split(u';');
        if (parts.size() != 3)
            QSKIP("run by killedRunsLoseNoMail");
        SendTagged(parts[0], parts[1].toInt(), parts[2], 60, {}, [](int index) {
            if (index == 1 || index == 60) {
                std::printf(index == 1 ? "JOURNAL-FIRST\n" : "JOURNAL-LAST\n");
                std::fflush(stdout);
            }
        });
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSendJournal)
#include "tst_SendJournal.moc"
