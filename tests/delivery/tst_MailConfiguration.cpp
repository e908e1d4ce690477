#include "TestFiles.h"
#include "TestMain.h"
#include "delivery/MailConfiguration.h"
#include "store/PropertyBag.h"
#include "store/StoreFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using TestSupport::ReadBytes;
using TestSupport::WriteBytes;

QStringList Copies(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("mlcfg.dat.*.bak")}, QDir::Files);
}

} // namespace

class TestMailConfiguration : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;
    QString m_folder;
    int m_serverLookups = 0;
    int m_userLookups = 0;

    QString FilePath() const { return m_folder + QStringLiteral("mlcfg.dat"); }

    void SetAccount(const QString& server, const QString& user)
    {
        MailConfiguration::SetDefaultAccountLookup(
            {[this, server] { ++m_serverLookups; return server; },
             [this, user] { ++m_userLookups; return user; }});
    }

    void WriteBag(const PropertyBag& bag)
    {
        QDir().mkpath(m_folder);
        StoreFile::Write(FilePath(), bag);
    }

private Q_SLOTS:
    void init()
    {
        static int n = 0;
        m_folder = m_temp.filePath(QStringLiteral("data%1/1.3/").arg(++n));
        m_serverLookups = m_userLookups = 0;
        MailConfiguration::SetDefaultAccountLookup({});
    }

    void freshInstallationDefaults()
    {
        const MailConfiguration none(QString(), m_folder);
        QVERIFY(QFileInfo(m_folder).isDir());
        QCOMPARE(none.FilePath(), FilePath());
        QCOMPARE(none.SendUsingMethod(), 2);
        QCOMPARE(none.SMTPServer(), QString());
        QCOMPARE(none.SMTPConnectionTimeout(), qint16(1200));
        QCOMPARE(none.SMPTAuthenticate(), 0);
        QCOMPARE(none.SMTPUsername(), QString());
        QCOMPARE(none.SMTPPassword(), QString());
        QCOMPARE(none.SMTPServerPort(), qint16(25));
        QCOMPARE(none.SMTPMaxConnections(), qint16(4));
        QVERIFY(!none.LoadProblem());
        // Reading never creates the file; only Save does.
        QVERIFY(!QFileInfo::exists(FilePath()));

        SetAccount(QStringLiteral("smtp.example.org"), QStringLiteral("ann"));
        const MailConfiguration account(QString(), m_folder);
        QCOMPARE(account.SMTPServer(), QStringLiteral("smtp.example.org"));
        QCOMPARE(account.SMTPUsername(), QStringLiteral("ann"));

        MailConfiguration::SetDefaultAccountLookup(
            {[]() -> QString { throw std::runtime_error("no profile"); },
             []() -> QString { throw AppError(53, QStringLiteral("x"), QStringLiteral("gone")); }});
        const MailConfiguration failing(QString(), m_folder);
        QCOMPARE(failing.SMTPServer(), QString());
    }

    // Each default is decided by the values read before it.
    void defaultsFollowTheLoadOrder()
    {
        SetAccount(QStringLiteral("smtp.example.org"), QStringLiteral("ann"));

        PropertyBag pickup;
        pickup.WriteInt32(QStringLiteral("SendUsingMethod"), 1);
        WriteBag(pickup);
        const MailConfiguration local(QString(), m_folder);
        QCOMPARE(local.SendUsingMethod(), 1);
        QCOMPARE(local.SMTPServer(), QString());
        QCOMPARE(local.SMTPUsername(), QString());
        QCOMPARE(m_serverLookups, 1); // asked even when its answer is not used
        QCOMPARE(local.SMTPServerPort(), qint16(25));
        QCOMPARE(local.SMTPMaxConnections(), qint16(4)); // files from before the setting

        PropertyBag noServer;
        noServer.WriteText(QStringLiteral("SMTPServer"), QString());
        WriteBag(noServer);
        const MailConfiguration empty(QString(), m_folder);
        QCOMPARE(empty.SendUsingMethod(), 2);
        QCOMPARE(empty.SMTPServer(), QString());
        QCOMPARE(empty.SMTPUsername(), QString());

        PropertyBag ownServer;
        ownServer.WriteText(QStringLiteral("smtpserver"), QStringLiteral("mail.local"));
        ownServer.WriteInt32(QStringLiteral("SMTPServerPort"), 2525); // another width reads too
        WriteBag(ownServer);
        const MailConfiguration own(QString(), m_folder);
        QCOMPARE(own.SMTPServer(), QStringLiteral("mail.local"));
        QCOMPARE(own.SMTPUsername(), QStringLiteral("ann"));
        QCOMPARE(own.SMTPServerPort(), qint16(2525));

        // A value of the wrong kind takes its default.
        PropertyBag wrongKind;
        wrongKind.WriteText(QStringLiteral("SendUsingMethod"), QStringLiteral("1"));
        wrongKind.WriteInt32(QStringLiteral("SMTPConnectionTimeout"), 100000);
        WriteBag(wrongKind);
        const MailConfiguration wrong(QString(), m_folder);
        QCOMPARE(wrong.SendUsingMethod(), 2);
        QCOMPARE(wrong.SMTPConnectionTimeout(), qint16(1200));
        QCOMPARE(wrong.SMTPServer(), QStringLiteral("smtp.example.org"));
    }

    void saveAndLoadGiveTheSameValues()
    {
        SetAccount(QStringLiteral("smtp.example.org"), QStringLiteral("ann"));
        MailConfiguration first(QString(), m_folder);
        first.SetSendUsingMethod(1);
        first.SetSMTPServer(QString());
        first.SetSMTPConnectionTimeout(32767);
        first.SetSMPTAuthenticate(1);
        first.SetSMTPUsername(QStringLiteral("b\u00F6b"));
        first.SetSMTPPassword(QStringLiteral("p\u00E4ss;\"word\U0001F511 "));
        first.SetSMTPServerPort(-1);
        first.SetSMTPMaxConnections(1);
        first.Save();

        // Names, widths and the file itself are checked with the settings file.
        QCOMPARE(QFileInfo(FilePath()).permissions() & QFileDevice::Permissions(0x0077), QFileDevice::Permissions());

        const MailConfiguration second(QString(), m_folder);
        QCOMPARE(second.SendUsingMethod(), 1);
        QCOMPARE(second.SMTPServer(), QString()); // stored empty: no default account
        QCOMPARE(second.SMTPConnectionTimeout(), qint16(32767));
        QCOMPARE(second.SMPTAuthenticate(), 1);
        QCOMPARE(second.SMTPUsername(), QStringLiteral("b\u00F6b"));
        QCOMPARE(second.SMTPPassword(), QStringLiteral("p\u00E4ss;\"word\U0001F511 "));
        QCOMPARE(second.SMTPServerPort(), qint16(-1));
        QCOMPARE(second.SMTPMaxConnections(), qint16(1));
    }

    void deliverySettingsFilledOnceAtCreation()
    {
        MailConfiguration stored(QString(), m_folder);
        stored.SetSMTPServer(QStringLiteral("smtp.example.org"));
        stored.SetSMTPConnectionTimeout(30);
        stored.SetSMTPServerPort(587);
        stored.SetSMTPUsername(QStringLiteral("ann"));
        stored.SetSMTPPassword(QStringLiteral("secret"));
        stored.SetSMTPMaxConnections(2);
        stored.Save();

        // Without authentication the stored credentials do not travel.
        const MailConfiguration anonymous(QStringLiteral("Ann (ann@example.org)"), m_folder);
        MailDeliverySettings expected;
        expected.sendUsing = MailDeliverySettings::Port;
        expected.sendEmailAddress = QStringLiteral("Ann (ann@example.org)");
        expected.smtpAuthenticate = 0;
        expected.smtpConnectionTimeout = 30;
        expected.smtpServer = QStringLiteral("smtp.example.org");
        expected.smtpServerPort = 587;
        expected.urlProxyBypass = QStringLiteral("<local>");
        expected.smtpMaxConnections = 2;
        QCOMPARE(anonymous.CdoConfiguration(), expected);

        stored.SetSMPTAuthenticate(1);
        stored.SetSendUsingMethod(1);
        stored.Save();
        MailConfiguration basic(QStringLiteral("Bob (bob@example.org)"), m_folder);
        expected.sendUsing = MailDeliverySettings::Pickup;
        expected.sendEmailAddress = QStringLiteral("Bob (bob@example.org)");
        expected.smtpAuthenticate = 1;
        expected.sendUserName = QStringLiteral("ann");
        expected.sendPassword = QStringLiteral("secret");
        QCOMPARE(basic.CdoConfiguration(), expected);

        // Later changes reach neither the settings in hand nor the file.
        basic.SetSMTPServer(QStringLiteral("other.example.org"));
        basic.SetSMPTAuthenticate(0);
        QCOMPARE(basic.CdoConfiguration(), expected);
        QCOMPARE(MailConfiguration(QString(), m_folder).SMTPServer(), QStringLiteral("smtp.example.org"));
        QCOMPARE(anonymous.CdoConfiguration().sendEmailAddress, QStringLiteral("Ann (ann@example.org)"));
    }

    // A damaged file gives the defaults and is reported; it stays untouched
    // until the settings are saved, and is then kept as a copy.
    void damagedFileIsKeptAndReported()
    {
        QVERIFY(QDir().mkpath(m_folder));
        const QByteArray junk("\x11\x20\x01\x00\x05\x00\x00\x00\x00\x00\x00\x00oops!", 17);
        WriteBytes(FilePath(), junk);
        SetAccount(QStringLiteral("smtp.example.org"), QString());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("mlcfg.dat could not be read")));
        MailConfiguration damaged(QString(), m_folder);
        QVERIFY(damaged.LoadProblem());
        QCOMPARE(damaged.LoadProblem()->Number(), PropertyBag::InvalidFormat);
        QVERIFY(damaged.LoadProblem()->Description().contains(FilePath()));
        QCOMPARE(damaged.SendUsingMethod(), 2);
        QCOMPARE(damaged.SMTPServer(), QStringLiteral("smtp.example.org"));
        QCOMPARE(ReadBytes(FilePath()), junk);
        QVERIFY(Copies(m_folder).isEmpty());

        damaged.SetSMTPServerPort(465);
        damaged.Save();
        const QStringList copies = Copies(m_folder);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(ReadBytes(m_folder + copies.first()), junk);
        const MailConfiguration repaired(QString(), m_folder);
        QVERIFY(!repaired.LoadProblem());
        QCOMPARE(repaired.SMTPServerPort(), qint16(465));

        // An empty file is a first start, not damage.
        WriteBytes(FilePath(), QByteArray());
        QVERIFY(!MailConfiguration(QString(), m_folder).LoadProblem());
    }

    void unreadableFileIsReportedAndSaveFails()
    {
        QVERIFY(QDir().mkpath(FilePath())); // a folder where the file should be
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("mlcfg.dat cannot be read")));
        MailConfiguration blocked(QString(), m_folder);
        QVERIFY(blocked.LoadProblem());
        QCOMPARE(blocked.LoadProblem()->Number(), StoreFile::FileAccessError);
        QCOMPARE(blocked.SMTPServerPort(), qint16(25));
        try {
            blocked.Save();
            QFAIL("saving over a folder succeeded");
        } catch (const AppError& e) {
            QCOMPARE(e.Number(), StoreFile::FileAccessError);
        }
        QVERIFY(QFileInfo(FilePath()).isDir());
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailConfiguration)
#include "tst_MailConfiguration.moc"
