#pragma once

#include "base/AppError.h"

#include <QString>

#include <functional>
#include <optional>

// What the mail layer is given for one send run: the settings of a
// MailConfiguration as they were when it was created.
struct MailDeliverySettings
{
    enum Method : qint32 {
        Pickup = 1, // hand each message to the local mail system
        Port = 2,   // send over the network to the SMTP server
    };

    qint32 sendUsing = Port;
    // The sender box's text when the configuration was created.
    QString sendEmailAddress;
    qint32 smtpAuthenticate = 0; // 0 none, 1 user name and password
    qint16 smtpConnectionTimeout = 1200; // seconds
    QString smtpServer;
    qint16 smtpServerPort = 25;
    qint16 smtpMaxConnections = 4;
    QString urlProxyBypass = QStringLiteral("<local>");
    // Only filled when smtpAuthenticate is 1.
    QString sendUserName;
    QString sendPassword;

    bool operator==(const MailDeliverySettings&) const = default;
};

// The mail settings, kept in "mlcfg.dat" in the version data folder.
//
// Each user makes its own short-lived instance: creating one reads the file
// (a missing, empty or damaged file gives the defaults) and fills
// CdoConfiguration() once. Setting a property changes neither the file nor
// CdoConfiguration(); Save() and a new instance do.
//
//   SendUsingMethod        1 pickup, 2 network            default 2
//   SMTPServer             host name or address           default account's
//                                                         server with method 2
//   SMTPConnectionTimeout  seconds                        default 1200
//   SMPTAuthenticate       0 none, 1 basic                default 0
//   SMTPUsername                                          default account's
//                                                         user with method 2
//                                                         and a server
//   SMTPPassword           stored in clear                default empty
//   SMTPServerPort                                        default 25
//   SMTPMaxConnections     connections a run may use      default 4; files
//                          at once (1: one after the       written before it
//                          other)                          was added lack it
class MailConfiguration
{
public:
    // Where the defaults of server and user name come from: the default
    // account of the user's mail client unless replaced (tests); when a
    // lookup is empty or throws, the defaults are empty.
    struct DefaultAccountLookup
    {
        std::function<QString()> SMTPServer;
        std::function<QString()> SMTPUsername;
    };
    static void SetDefaultAccountLookup(DefaultAccountLookup lookup);

    // senderText: the text of the sender box at this moment, which goes into
    // the delivery settings as the envelope sender text. folder: the data
    // folder ending in "/", created when missing; empty means the version
    // data folder.
    explicit MailConfiguration(const QString& senderText = QString(),
                               const QString& folder = QString());

    qint32 SendUsingMethod() const { return m_sendUsingMethod; }
    void SetSendUsingMethod(qint32 value) { m_sendUsingMethod = value; }
    const QString& SMTPServer() const { return m_smtpServer; }
    void SetSMTPServer(const QString& value) { m_smtpServer = value; }
    qint16 SMTPConnectionTimeout() const { return m_smtpConnectionTimeout; }
    void SetSMTPConnectionTimeout(qint16 value) { m_smtpConnectionTimeout = value; }
    qint32 SMPTAuthenticate() const { return m_smptAuthenticate; }
    void SetSMPTAuthenticate(qint32 value) { m_smptAuthenticate = value; }
    const QString& SMTPUsername() const { return m_smtpUsername; }
    void SetSMTPUsername(const QString& value) { m_smtpUsername = value; }
    const QString& SMTPPassword() const { return m_smtpPassword; }
    void SetSMTPPassword(const QString& value) { m_smtpPassword = value; }
    qint16 SMTPServerPort() const { return m_smtpServerPort; }
    void SetSMTPServerPort(qint16 value) { m_smtpServerPort = value; }
    qint16 SMTPMaxConnections() const { return m_smtpMaxConnections; }
    void SetSMTPMaxConnections(qint16 value) { m_smtpMaxConnections = value; }

    // The settings as filled at creation.
    const MailDeliverySettings& CdoConfiguration() const { return m_configuration; }

    // Writes the values, atomically and readable by the owner only.
    // A file that held something else is first copied aside beside itself.
    // AppError 75 when it cannot be written; the old file then stays.
    void Save() const;

    const QString& FilePath() const { return m_filePath; }

    // What was wrong with the file at creation: AppError 321 for contents
    // that are not settings, 75 for a file that cannot be read. The settings
    // are the defaults then, and the file stays as it is until Save().
    const std::optional<AppError>& LoadProblem() const { return m_loadProblem; }

    static QString GetDefaultSMTPServer();
    static QString GetDefaultSMTPUsername();

private:
    void Load();
    void ApplyToConfiguration(const QString& senderText);

    qint32 m_sendUsingMethod = MailDeliverySettings::Port;
    QString m_smtpServer;
    qint16 m_smtpConnectionTimeout = 1200;
    qint32 m_smptAuthenticate = 0;
    QString m_smtpUsername;
    QString m_smtpPassword;
    qint16 m_smtpServerPort = 25;
    qint16 m_smtpMaxConnections = 4;

    QString m_filePath;
    MailDeliverySettings m_configuration;
    std::optional<AppError> m_loadProblem;
};
