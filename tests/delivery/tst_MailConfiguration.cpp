#include "KeyringSession.h"
#include "TestFiles.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSecrets.h"
#include "store/PropertyBag.h"
#include "store/StoreFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using TestSupport::ReadBytes;
using TestSupport::WriteBytes;

using TestSupport::KeyringSession;
using Outcome = SecretStore::Outcome;

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

    QString FilePath() const { return m_folder + QStringLiteral("mlcfg.dat"); }

    // Writes a settings file: texts as text, numbers as 32 bits.
    void WriteFile(const QVariantMap& stored) const
    {
        PropertyBag bag;
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            if (it.value().typeId() == QMetaType::QString)
                bag.WriteText(it.key(), it.value().toString());
            else
                bag.WriteInt32(it.key(), it.value().toInt());
        }
        QDir().mkpath(m_folder);
        StoreFile::Write(FilePath(), bag);
    }

    // The files of this test and of the keyring that hold `secret` in clear.
    QStringList FilesHolding(const QString& secret) const
    {
        const QByteArray utf16(reinterpret_cast<const char*>(secret.utf16()), secret.size() * 2);
        QStringList holding;
        for (const QString& folder : {QDir::homePath(), m_temp.path()}) {
            QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                const QByteArray bytes = ReadBytes(files.next());
                if (bytes.contains(secret.toUtf8()) || bytes.contains(utf16))
                    holding << files.filePath();
            }
        }
        return holding;
    }

private Q_SLOTS:
    void init()
    {
        static int n = 0;
        m_folder = m_temp.filePath(QStringLiteral("data%1/1.3/").arg(++n));
        MailConfiguration::SetDefaultAccountLookup(
            {[] { return QStringLiteral("smtp.example.org"); }, [] { return QStringLiteral("ann"); }});
    }

    // Reading never creates the file, only Save does.
    void withoutAFileTheAccountFillsIn()
    {
        const MailConfiguration account(QString(), m_folder);
        QVERIFY(QFileInfo(m_folder).isDir());
        QVERIFY(!QFileInfo::exists(FilePath()));
        QVERIFY(!account.LoadProblem());
        QCOMPARE(account.SMTPServer(), QStringLiteral("smtp.example.org"));
        QCOMPARE(account.SMTPUsername(), QStringLiteral("ann"));

        MailConfiguration::SetDefaultAccountLookup(
            {[]() -> QString { throw std::runtime_error("no profile"); },
             []() -> QString { throw AppError(53, QStringLiteral("x"), QStringLiteral("gone")); }});
        const MailConfiguration failing(QString(), m_folder);
        QCOMPARE(failing.SMTPServer(), QString());
        QCOMPARE(failing.SMTPUsername(), QString());
    }

    // The account's server only for network sending without a stored server,
    // its user only with a server; a value of the wrong kind takes its default.
    void defaultsFollowTheLoadOrder_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("port");
        QTest::newRow("pickup") << QVariantMap{{"SendUsingMethod", 1}} << 1 << "" << "" << 25;
        QTest::newRow("no server stored") << QVariantMap{{"SMTPServer", ""}} << 2 << "" << "" << 25;
        QTest::newRow("own server, port of another width")
            << QVariantMap{{"smtpserver", "mail.local"}, {"SMTPServerPort", 2525}} << 2 << "mail.local"
            << "ann" << 2525;
        QTest::newRow("wrong kinds")
            << QVariantMap{{"SendUsingMethod", "1"}, {"SMTPServerPort", 100000},
                           {"SMTPOAuthProvider", 3}}
            << 2 << "smtp.example.org" << "ann" << 25;
    }

    void defaultsFollowTheLoadOrder()
    {
        QFETCH(QVariantMap, stored);
        WriteFile(stored);
        const MailConfiguration loaded(QString(), m_folder);
        QTEST(int(loaded.SendUsingMethod()), "method");
        QTEST(loaded.SMTPServer(), "server");
        QTEST(loaded.SMTPUsername(), "user");
        QTEST(int(loaded.SMTPServerPort()), "port");
        // Files from before the later settings.
        QCOMPARE(loaded.SMTPMaxConnections(), qint16(4));
        QCOMPARE(loaded.SMTPEncryption(), qint32(MailConfiguration::StartTls));
        QVERIFY(loaded.SMTPRetryTemporary());
        QCOMPARE(loaded.SMTPMaxPerMinute() + loaded.SMTPMaxPerDay(), 0);
        QCOMPARE(loaded.SMTPOAuthProvider(), qint32(OAuthProvider::Microsoft365));
        QCOMPARE(loaded.SMTPOAuthTenant() + loaded.SMTPOAuthClientID() +
                     loaded.SMTPOAuthClientSecret() + loaded.SMTPOAuthAuthorizeURL() +
                     loaded.SMTPOAuthTokenURL() + loaded.SMTPOAuthDeviceURL() +
                     loaded.SMTPOAuthScope(),
                 QString());
    }

    // The delivery settings are filled once, when the configuration is made.
    void savedValuesReachTheDeliverySettings()
    {
        const QString password = QStringLiteral("p\u00E4ss;\"word\U0001F511 ");
        MailConfiguration stored(QString(), m_folder);
        stored.SetSMTPServer(QStringLiteral("mail.example.org"));
        stored.SetSMTPConnectionTimeout(32767);
        stored.SetSMTPServerPort(-1);
        stored.SetSMTPUsername(QStringLiteral("b\u00F6b"));
        stored.SetSMTPPassword(password);
        stored.SetSMTPMaxConnections(1);
        stored.SetSMTPEncryption(MailConfiguration::TlsFromStart);
        stored.SetSMTPCAFile(QStringLiteral("/etc/ssl/company ca.pem"));
        stored.SetSMTPTrustedCertificates(QStringLiteral("mail.example.org ab01\nother.example cd02"));
        stored.SetSMTPRetryTemporary(false);
        stored.SetSMTPMaxPerMinute(30);
        stored.SetSMTPMaxPerDay(10000);
        stored.SetSMTPOAuthProvider(OAuthProvider::Other);
        stored.SetSMTPOAuthTenant(QStringLiteral("contoso"));
        stored.SetSMTPOAuthClientID(QStringLiteral("client-1"));
        stored.SetSMTPOAuthClientSecret(QStringLiteral("s\u00E9cret"));
        stored.SetSMTPOAuthAuthorizeURL(QStringLiteral("https://id.example/auth"));
        stored.SetSMTPOAuthTokenURL(QStringLiteral("https://id.example/token"));
        stored.SetSMTPOAuthDeviceURL(QStringLiteral("https://id.example/device"));
        stored.SetSMTPOAuthScope(QStringLiteral("smtp offline_access"));
        // The password is kept, login or not: in the keyring where there is one.
        QCOMPARE(stored.Save().outcome, KeyringSession::HasKeyring() ? Outcome::Done : Outcome::NoKeyring);

        // Without authentication the stored credentials do not travel.
        const MailConfiguration anonymous(QStringLiteral("Ann (ann@example.org)"), m_folder);
        MailDeliverySettings expected;
        expected.sendEmailAddress = QStringLiteral("Ann (ann@example.org)");
        expected.smtpConnectionTimeout = 32767;
        expected.smtpServer = QStringLiteral("mail.example.org");
        expected.smtpServerPort = -1;
        expected.smtpMaxConnections = 1;
        expected.smtpEncryption = MailConfiguration::TlsFromStart;
        expected.smtpCAFile = QStringLiteral("/etc/ssl/company ca.pem");
        expected.smtpTrustedCertificates = QStringLiteral("mail.example.org ab01\nother.example cd02");
        expected.smtpRetryTemporary = false;
        expected.smtpMaxPerMinute = 30;
        expected.smtpMaxPerDay = 10000;
        QCOMPARE(anonymous.CdoConfiguration(), expected);

        // A sign-in sends the user and the provider, never the password.
        stored.SetSMPTAuthenticate(MailConfiguration::SignIn);
        stored.Save();
        const MailConfiguration signIn(QStringLiteral("Ann (ann@example.org)"), m_folder);
        expected.smtpAuthenticate = MailConfiguration::SignIn;
        expected.sendUserName = QStringLiteral("b\u00F6b");
        expected.smtpOAuth = {OAuthProvider::Other,       "https://id.example/auth",
                              "https://id.example/token", "https://id.example/device",
                              "smtp offline_access",      "client-1",
                              QStringLiteral("s\u00E9cret")};
        QCOMPARE(signIn.CdoConfiguration(), expected);
        QCOMPARE(signIn.SMTPOAuthTenant(), QStringLiteral("contoso"));

        stored.SetSMPTAuthenticate(MailConfiguration::Login);
        stored.SetSendUsingMethod(1);
        stored.Save();
        MailConfiguration basic(QStringLiteral("Bob (bob@example.org)"), m_folder);
        expected.sendUsing = MailDeliverySettings::Pickup;
        expected.sendEmailAddress = QStringLiteral("Bob (bob@example.org)");
        expected.smtpAuthenticate = MailConfiguration::Login;
        expected.smtpOAuth = OAuthProvider();
        expected.sendPassword = password;
        QCOMPARE(basic.FetchPassword().outcome, Outcome::Done);
        QCOMPARE(basic.CdoConfiguration(), expected);

        // Later changes reach neither the settings in hand nor the file.
        basic.SetSMTPServer(QStringLiteral("other.example.org"));
        basic.SetSMPTAuthenticate(0);
        QCOMPARE(basic.CdoConfiguration(), expected);
        QCOMPARE(MailConfiguration(QString(), m_folder).SMTPServer(), QStringLiteral("mail.example.org"));
    }

    // A preset keeps its endpoints, takes the tenant only for Microsoft and
    // the stored scope only when set; Other is what was stored.
    void providerComesFromPresetOrStoredValues_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QString>("authorizeUrl");
        QTest::addColumn<QString>("expectedScope");
        QTest::newRow("Microsoft")
            << 0 << "" << "https://login.microsoftonline.com/contoso/oauth2/v2.0/authorize"
            << "https://outlook.office.com/SMTP.Send offline_access";
        QTest::newRow("Google, own scope")
            << 1 << "mail" << "https://accounts.google.com/o/oauth2/v2/auth" << "mail";
        QTest::newRow("other") << 2 << "" << "https://own/auth" << "";
    }

    void providerComesFromPresetOrStoredValues()
    {
        QFETCH(int, kind);
        QFETCH(QString, scope);
        MailConfiguration settings(QString(), m_folder);
        settings.SetSMTPOAuthProvider(kind);
        settings.SetSMTPOAuthTenant(QStringLiteral("contoso"));
        settings.SetSMTPOAuthScope(scope);
        settings.SetSMTPOAuthAuthorizeURL(QStringLiteral("https://own/auth"));
        settings.SetSMTPOAuthClientID(QStringLiteral("client"));
        const OAuthProvider provider = settings.Provider();
        QCOMPARE(int(provider.kind), kind);
        QTEST(provider.authorizeUrl, "authorizeUrl");
        QTEST(provider.scope, "expectedScope");
        QCOMPARE(provider.clientId, QStringLiteral("client"));
    }

    // Under each kind of desktop: the password lives in the keyring where one
    // answers, else in the file as before, and Save says so.
    void passwordLivesInTheKeyringWhereThereIsOne()
    {
        const bool keyring = KeyringSession::HasKeyring();
        const Outcome expected = keyring ? Outcome::Done : Outcome::NoKeyring;
        const Outcome gone = keyring ? Outcome::Missing : Outcome::NoKeyring;
        // ASCII, so the scan finds it also where a settings file escapes bytes.
        const QString password =
            QStringLiteral("pass-") + qEnvironmentVariable("CORVANTA_KEYRING_KIND");
        const QString oldKey = QStringLiteral("smtp-password mail.example.org bob");
        // A file from before the keyring, with the password in clear.
        WriteFile({{"SMTPServer", " Mail.Example.ORG "}, {"SMPTAuthenticate", 1},
                   {"SMTPUsername", "bob"}, {"SMTPPassword", password}});

        MailConfiguration old(QString(), m_folder);
        QCOMPARE(old.CdoConfiguration().sendPassword, password);
        const SecretStore::Result saved = old.Save();
        QCOMPARE(saved.outcome, expected);
        QCOMPARE(saved.problem.isEmpty(), keyring);
        QCOMPARE(FilesHolding(password), keyring ? QStringList() : QStringList{FilePath()});
        QCOMPARE(SecretStore::Read(oldKey).value, keyring ? password : QString());

        // Read only when asked for; a save in between loses nothing.
        MailConfiguration later(QString(), m_folder);
        QCOMPARE(later.CdoConfiguration().sendPassword, keyring ? QString() : password);
        later.SetSMTPServerPort(587);
        QCOMPARE(later.Save().outcome, expected);
        MailConfiguration fetched(QString(), m_folder);
        QCOMPARE(fetched.FetchPassword().outcome, Outcome::Done);
        QCOMPARE(fetched.CdoConfiguration().sendPassword, password);

        // Another user: the password moves with it.
        fetched.SetSMTPUsername(QStringLiteral("carol"));
        QCOMPARE(fetched.Save().outcome, expected);
        const QString newKey = QStringLiteral("smtp-password mail.example.org carol");
        QCOMPARE(SecretStore::Read(oldKey).outcome, gone);
        QCOMPARE(SecretStore::Read(newKey).value, keyring ? password : QString());

        // No login any more: the password is kept as safely for later;
        // a sign-in has none, and no password is nowhere.
        fetched.SetSMPTAuthenticate(MailConfiguration::NoLogin);
        QCOMPARE(fetched.Save().outcome, expected);
        QCOMPARE(SecretStore::Read(newKey).value, keyring ? password : QString());
        QCOMPARE(FilesHolding(password), keyring ? QStringList() : QStringList{FilePath()});
        fetched.SetSMPTAuthenticate(MailConfiguration::SignIn);
        fetched.SetSMTPPassword(QString());
        fetched.Save();
        QCOMPARE(SecretStore::Read(newKey).outcome, gone);
        QCOMPARE(FilesHolding(password), QStringList());

        // A login whose password only the keyring could give: Save says so.
        WriteFile({{"SMPTAuthenticate", 1}, {"SMTPUsername", "dan"}});
        QCOMPARE(MailConfiguration(QString(), m_folder).Save().outcome, expected);
    }

    // A refresh token goes to the keyring, or stays in memory for the run;
    // never into a file in clear.
    void grantsKeepTheirRefreshTokenOutOfFiles()
    {
        const bool keyring = KeyringSession::HasKeyring();
        const Outcome stored = keyring ? Outcome::Done : Outcome::NoKeyring;
        const QString server = QStringLiteral("Smtp.Example.com");
        OAuthGrant read;
        const auto readGrant = [&](const QString& user) {
            read = OAuthGrant();
            return MailSecrets::ReadGrant(QStringLiteral(" smtp.example.COM"), user, read).outcome;
        };
        const OAuthGrant grant{QStringLiteral("access-1"), QDateTime::currentDateTimeUtc(),
                               QStringLiteral("refresh-1"), QStringLiteral("ann@x.example")};
        QCOMPARE(MailSecrets::StoreGrant(server, QStringLiteral("ann"), grant).outcome, stored);
        QCOMPARE(readGrant(QStringLiteral("ann")), Outcome::Done);
        QCOMPARE(read, grant);
        const QString key = QStringLiteral("smtp-refresh-token smtp.example.com ann");
        QCOMPARE(SecretStore::Read(key).value, keyring ? grant.refreshToken : QString());

        // A refresh that brings no new refresh token keeps the old one.
        OAuthGrant refreshed{QStringLiteral("access-2"), QDateTime(), QString(), QString()};
        QCOMPARE(MailSecrets::StoreGrant(server, QStringLiteral("ann"), refreshed).outcome,
                 Outcome::Done);
        QCOMPARE(readGrant(QStringLiteral("ann")), Outcome::Done);
        refreshed.refreshToken = grant.refreshToken;
        QCOMPARE(read, refreshed);
        QCOMPARE(FilesHolding(grant.refreshToken), QStringList());

        // Another run finds only what the keyring kept.
        const QString bobKey = QStringLiteral("smtp-refresh-token smtp.example.com bob");
        QCOMPARE(SecretStore::Write(bobKey, QStringLiteral("refresh-bob")).outcome, stored);
        QCOMPARE(readGrant(QStringLiteral("bob")), keyring ? Outcome::Done : Outcome::Missing);
        QCOMPARE(read.refreshToken + read.accessToken, keyring ? "refresh-bob" : QString());

        QCOMPARE(MailSecrets::ForgetGrant(server, QStringLiteral("ann")).outcome, stored);
        QCOMPARE(readGrant(QStringLiteral("ann")), Outcome::Missing);
        QCOMPARE(SecretStore::Read(key).outcome, keyring ? Outcome::Missing : Outcome::NoKeyring);
    }

    // Damaged: untouched until a save, then kept as a copy. A folder in the
    // way: the save fails and changes nothing.
    void unusableFileIsReported_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("warning");
        QTest::newRow("damaged") << false << long(PropertyBag::InvalidFormat) << "could not be read";
        QTest::newRow("a folder") << true << long(StoreFile::FileAccessError) << "cannot be read";
    }

    void unusableFileIsReported()
    {
        QFETCH(bool, folder);
        QFETCH(long, number);
        QFETCH(QString, warning);
        const QByteArray junk("\x11\x20\x01\x00\x05\x00\x00\x00\x00\x00\x00\x00oops!", 17);
        QVERIFY(QDir().mkpath(folder ? FilePath() : m_folder));
        if (!folder)
            WriteBytes(FilePath(), junk);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("mlcfg.dat ") + warning));
        MailConfiguration loaded(QString(), m_folder);
        QVERIFY(loaded.LoadProblem());
        QCOMPARE(loaded.LoadProblem()->Number(), number);
        QVERIFY(loaded.LoadProblem()->Description().contains(FilePath()));
        QCOMPARE(loaded.SMTPServer(), QStringLiteral("smtp.example.org"));
        QVERIFY(Copies(m_folder).isEmpty());

        loaded.SetSMTPServerPort(465);
        if (folder) {
            QVERIFY_THROWS_EXCEPTION(AppError, loaded.Save());
            QVERIFY(QFileInfo(FilePath()).isDir());
            return;
        }
        QCOMPARE(ReadBytes(FilePath()), junk);
        loaded.Save();
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

    // Last, as the keyring stays locked: a refusal comes with its reason.
    void lockedKeyringRefusesWithItsReason()
    {
        const bool keyring = KeyringSession::HasKeyring();
        QCOMPARE(KeyringSession::LockKeyring(), keyring);
        const SecretStore::Result written = SecretStore::Write(
            QStringLiteral("smtp-password locked.example ann"), QStringLiteral("pw"));
        QCOMPARE(written.outcome, keyring ? Outcome::Failed : Outcome::NoKeyring);
        QVERIFY2(keyring ? written.problem.contains(QLatin1String("locked"))
                         : !written.problem.isEmpty(),
                 qPrintable(written.problem));
    }
};

CORVANTA_TEST_KEYRING_MAIN(TestMailConfiguration)
#include "tst_MailConfiguration.moc"
