#include "delivery/MailConfiguration.h"

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
    if (m_smptAuthenticate == 1) {
        c.sendUserName = m_smtpUsername;
        c.sendPassword = m_smtpPassword;
    }
}

void MailConfiguration::Save() const
{
    MailSettingsFile::Values values;
    values.SendUsingMethod = m_sendUsingMethod;
    values.SMTPServer = m_smtpServer;
    values.SMTPConnectionTimeout = m_smtpConnectionTimeout;
    values.SMPTAuthenticate = m_smptAuthenticate;
    values.SMTPUsername = m_smtpUsername;
    values.SMTPPassword = m_smtpPassword;
    values.SMTPServerPort = m_smtpServerPort;
    values.SMTPMaxConnections = m_smtpMaxConnections;
    values.SMTPEncryption = m_smtpEncryption;
    values.SMTPCAFile = m_smtpCAFile;
    values.SMTPTrustedCertificates = m_smtpTrustedCertificates;
    values.SMTPRetryTemporary = m_smtpRetryTemporary ? 1 : 0;
    values.SMTPMaxPerMinute = m_smtpMaxPerMinute;
    values.SMTPMaxPerDay = m_smtpMaxPerDay;
    MailSettingsFile::Write(m_filePath, values);
}
