#include "delivery/MailConfiguration.h"

#include "delivery/MailSecrets.h"
#include "platform/providers/contacts/MailProfileDefaults.h"
#include "store/FilesSystem.h"
#include "store/PropertyBag.h"
#include "store/StoreFile.h"

#include <QDebug>

namespace {

MailConfiguration::DefaultAccountLookup& Lookup()
{
    // The user's mail client account unless a caller (a test) sets another.
    static MailConfiguration::DefaultAccountLookup lookup{
        [] { return MailProfileDefaults::SmtpServer(); },
        [] { return MailProfileDefaults::SmtpUsername(); }};
    return lookup;
}

QString Ask(const std::function<QString()>& lookup)
{
    if (!lookup)
        return QString();
    try {
        return lookup();
    } catch (...) {
        // The account is only a suggestion; no account is as good as none.
        return QString();
    }
}

bool SameAccount(const std::pair<QString, QString>& a, const QString& server, const QString& user)
{
    // As the keyring's keys tell servers apart.
    return a.first.trimmed().toLower() == server.trimmed().toLower() && a.second == user;
}

} // namespace

void MailConfiguration::SetDefaultAccountLookup(DefaultAccountLookup lookup)
{
    Lookup() = std::move(lookup);
}

QString MailConfiguration::GetDefaultSMTPServer()
{
    return Ask(Lookup().SMTPServer);
}

QString MailConfiguration::GetDefaultSMTPUsername()
{
    return Ask(Lookup().SMTPUsername);
}

MailConfiguration::MailConfiguration(const QString& senderText, const QString& folder)
{
    const QString dataFolder = folder.isEmpty() ? FilesSystem::VersionDataFolder() : folder;
    FilesSystem().CreateFolder(dataFolder);
    m_filePath = dataFolder + QLatin1String(MailSettingsFile::FileName);
    Load();
    ApplyToConfiguration(senderText);
}

void MailConfiguration::Load()
{
    using Status = StoreFile::ReadResult::Status;
    const StoreFile::ReadResult read = StoreFile::Read(m_filePath);
    if (read.status == Status::Damaged)
        m_loadProblem = AppError(PropertyBag::InvalidFormat, QStringLiteral("MailConfiguration"),
                                 QStringLiteral("The mail settings file %1 could not be read (%2). "
                                                "The default settings are used; the file is kept "
                                                "as a copy when the settings are saved.")
                                     .arg(m_filePath, read.problem));
    else if (read.status == Status::Unreadable)
        m_loadProblem = AppError(StoreFile::FileAccessError, QStringLiteral("MailConfiguration"),
                                 QStringLiteral("The mail settings file %1 cannot be read (%2). "
                                                "The default settings are used.")
                                     .arg(m_filePath, read.problem));
    if (m_loadProblem)
        qWarning().noquote() << m_loadProblem->Description();

    // Each default may depend on the values read before it.
    const PropertyBag& bag = read.bag;
    m_sendUsingMethod = bag.ReadInt32(MailSettingsFile::SendUsingMethod, MailDeliverySettings::Port);
    const QString defaultServer = GetDefaultSMTPServer();
    m_smtpServer = bag.ReadText(MailSettingsFile::SMTPServer,
                                m_sendUsingMethod == MailDeliverySettings::Port ? defaultServer
                                                                                : QString());
    m_smtpConnectionTimeout = bag.ReadInt16(MailSettingsFile::SMTPConnectionTimeout, 1200);
    m_smptAuthenticate = bag.ReadInt32(MailSettingsFile::SMPTAuthenticate, 0);
    const bool accountUser = m_sendUsingMethod == MailDeliverySettings::Port && !m_smtpServer.isEmpty();
    m_smtpUsername = bag.ReadText(MailSettingsFile::SMTPUsername,
                                  accountUser ? GetDefaultSMTPUsername() : QString());
    m_smtpPassword = bag.ReadText(MailSettingsFile::SMTPPassword, QString());
    m_smtpServerPort = bag.ReadInt16(MailSettingsFile::SMTPServerPort, 25);
    m_smtpMaxConnections = bag.ReadInt16(MailSettingsFile::SMTPMaxConnections, 4);
    m_smtpEncryption = bag.ReadInt32(MailSettingsFile::SMTPEncryption, StartTls);
    m_smtpCAFile = bag.ReadText(MailSettingsFile::SMTPCAFile, QString());
    m_smtpTrustedCertificates = bag.ReadText(MailSettingsFile::SMTPTrustedCertificates, QString());
    m_smtpRetryTemporary = bag.ReadInt16(MailSettingsFile::SMTPRetryTemporary, 1) != 0;
    m_smtpMaxPerMinute = bag.ReadInt32(MailSettingsFile::SMTPMaxPerMinute, 0);
    m_smtpMaxPerDay = bag.ReadInt32(MailSettingsFile::SMTPMaxPerDay, 0);
    m_smtpOAuthProvider =
        bag.ReadInt32(MailSettingsFile::SMTPOAuthProvider, OAuthProvider::Microsoft365);
    if (m_smtpOAuthProvider < OAuthProvider::Microsoft365 ||
        m_smtpOAuthProvider > OAuthProvider::Other)
        m_smtpOAuthProvider = OAuthProvider::Microsoft365;
    m_smtpOAuthTenant = bag.ReadText(MailSettingsFile::SMTPOAuthTenant, QString());
    m_smtpOAuthClientID = bag.ReadText(MailSettingsFile::SMTPOAuthClientID, QString());
    m_smtpOAuthClientSecret = bag.ReadText(MailSettingsFile::SMTPOAuthClientSecret, QString());
    m_smtpOAuthAuthorizeURL = bag.ReadText(MailSettingsFile::SMTPOAuthAuthorizeURL, QString());
    m_smtpOAuthTokenURL = bag.ReadText(MailSettingsFile::SMTPOAuthTokenURL, QString());
    m_smtpOAuthDeviceURL = bag.ReadText(MailSettingsFile::SMTPOAuthDeviceURL, QString());
    m_smtpOAuthScope = bag.ReadText(MailSettingsFile::SMTPOAuthScope, QString());

    if (m_smptAuthenticate != SignIn) {
        m_keyringAccount = std::pair(m_smtpServer, m_smtpUsername);
        m_passwordKnown = !m_smtpPassword.isEmpty();
    }
}

OAuthProvider MailConfiguration::Provider() const
{
    OAuthProvider entered;
    entered.kind = static_cast<OAuthProvider::Kind>(m_smtpOAuthProvider);
    entered.authorizeUrl = m_smtpOAuthAuthorizeURL;
    entered.tokenUrl = m_smtpOAuthTokenURL;
    entered.deviceUrl = m_smtpOAuthDeviceURL;
    entered.scope = m_smtpOAuthScope;
    entered.clientId = m_smtpOAuthClientID;
    entered.clientSecret = m_smtpOAuthClientSecret;
    return OAuthProvider::Completed(entered, m_smtpOAuthTenant);
}

SecretStore::Result MailConfiguration::FetchPassword()
{
    if (m_passwordKnown || !m_keyringAccount)
        return {SecretStore::Outcome::Done, {}, {}};
    SecretStore::Result read =
        MailSecrets::ReadPassword(m_keyringAccount->first, m_keyringAccount->second);
    if (read.outcome == SecretStore::Outcome::Done) {
        m_smtpPassword = read.value;
        if (m_configuration.smtpAuthenticate == Login)
            m_configuration.sendPassword = read.value;
    }
    // Missing: there is none, which is as good as knowing it.
    m_passwordKnown = read.outcome == SecretStore::Outcome::Done ||
                      read.outcome == SecretStore::Outcome::Missing;
    read.value.clear();
    return read;
}

void MailConfiguration::ApplyToConfiguration(const QString& senderText)
{
    MailDeliverySettings& c = m_configuration;
    c.sendUsing = m_sendUsingMethod;
    c.sendEmailAddress = senderText;
    c.smtpAuthenticate = m_smptAuthenticate;
    c.smtpConnectionTimeout = m_smtpConnectionTimeout;
    c.smtpServer = m_smtpServer;
    c.smtpServerPort = m_smtpServerPort;
    c.smtpMaxConnections = m_smtpMaxConnections;
    c.smtpEncryption = m_smtpEncryption;
    c.smtpCAFile = m_smtpCAFile;
    c.smtpTrustedCertificates = m_smtpTrustedCertificates;
    c.smtpRetryTemporary = m_smtpRetryTemporary;
    c.smtpMaxPerMinute = m_smtpMaxPerMinute;
    c.smtpMaxPerDay = m_smtpMaxPerDay;
    c.urlProxyBypass = QStringLiteral("<local>");
    // Credentials travel only when the server is to be asked for them.
    if (m_smptAuthenticate == Login || m_smptAuthenticate == SignIn)
        c.sendUserName = m_smtpUsername;
    if (m_smptAuthenticate == Login)
        c.sendPassword = m_smtpPassword;
    if (m_smptAuthenticate == SignIn)
        c.smtpOAuth = Provider();
}

SecretStore::Result MailConfiguration::Save()
{
    using Outcome = SecretStore::Outcome;
    // A password kept while the login is off is kept as safely; a sign-in
    // has no password.
    const bool keeps = m_smptAuthenticate != SignIn;
    // A password left in the keyring unread is carried along, not lost; when
    // the keyring cannot give it, it stays there untouched.
    SecretStore::Result result = FetchPassword();
    const bool untouchable = !m_passwordKnown;
    if (!untouchable)
        result = {Outcome::Done, {}, {}};

    // Into the keyring before the file loses it.
    QString filePassword = keeps ? QString() : m_smtpPassword;
    if (keeps && !m_smtpPassword.isEmpty()) {
        result = MailSecrets::StorePassword(m_smtpServer, m_smtpUsername, m_smtpPassword);
        if (result.outcome != Outcome::Done)
            filePassword = m_smtpPassword;
    }
    const bool inKeyring = keeps && !m_smtpPassword.isEmpty() && result.outcome == Outcome::Done;

    MailSettingsFile::Values values;
    values.SendUsingMethod = m_sendUsingMethod;
    values.SMTPServer = m_smtpServer;
    values.SMTPConnectionTimeout = m_smtpConnectionTimeout;
    values.SMPTAuthenticate = m_smptAuthenticate;
    values.SMTPUsername = m_smtpUsername;
    values.SMTPPassword = filePassword;
    values.SMTPServerPort = m_smtpServerPort;
    values.SMTPMaxConnections = m_smtpMaxConnections;
    values.SMTPEncryption = m_smtpEncryption;
    values.SMTPCAFile = m_smtpCAFile;
    values.SMTPTrustedCertificates = m_smtpTrustedCertificates;
    values.SMTPRetryTemporary = m_smtpRetryTemporary ? 1 : 0;
    values.SMTPMaxPerMinute = m_smtpMaxPerMinute;
    values.SMTPMaxPerDay = m_smtpMaxPerDay;
    values.SMTPOAuthProvider = m_smtpOAuthProvider;
    values.SMTPOAuthTenant = m_smtpOAuthTenant;
    values.SMTPOAuthClientID = m_smtpOAuthClientID;
    values.SMTPOAuthClientSecret = m_smtpOAuthClientSecret;
    values.SMTPOAuthAuthorizeURL = m_smtpOAuthAuthorizeURL;
    values.SMTPOAuthTokenURL = m_smtpOAuthTokenURL;
    values.SMTPOAuthDeviceURL = m_smtpOAuthDeviceURL;
    values.SMTPOAuthScope = m_smtpOAuthScope;
    MailSettingsFile::Write(m_filePath, values);

    // Only once the file is written: a failed save leaves the old entry.
    if (m_keyringAccount && !untouchable &&
        (!inKeyring || !SameAccount(*m_keyringAccount, m_smtpServer, m_smtpUsername))) {
        const SecretStore::Result removed =
            MailSecrets::ForgetPassword(m_keyringAccount->first, m_keyringAccount->second);
        if (removed.outcome == Outcome::Failed && result.outcome == Outcome::Done)
            result = removed;
    }
    if (!untouchable)
        m_keyringAccount.reset();
    if (keeps && !untouchable)
        m_keyringAccount = std::pair(m_smtpServer, m_smtpUsername);
    return result;
}
