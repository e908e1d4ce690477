#pragma once

#include "base/AppError.h"
#include "platform/keyring/SecretStore.h"
#include "platform/oauth/OAuthProvider.h"

#include <QString>

#include <functional>
#include <optional>
#include <utility>

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
    qint32 smtpAuthenticate = 0; // MailConfiguration::Authentication
    qint16 smtpConnectionTimeout = 1200; // seconds
    QString smtpServer;
    qint16 smtpServerPort = 25;
    qint16 smtpMaxConnections = 4;
    qint32 smtpEncryption = 0; // MailConfiguration::Encryption
    QString smtpCAFile;
    QString smtpTrustedCertificates;
    bool smtpRetryTemporary = true;
    qint32 smtpMaxPerMinute = 0; // 0: no limit
    qint32 smtpMaxPerDay = 0;    // 0: no limit
    QString urlProxyBypass = QStringLiteral("<local>");
    // The user for a login or a sign-in; the password only for a login, and
    // only once the keyring gave it (MailConfiguration::FetchPassword).
    QString sendUserName;
    QString sendPassword;
    // Only filled for a sign-in with a provider.
    OAuthProvider smtpOAuth;

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
//   SMPTAuthenticate       0 none, 1 basic, 2 sign in     default 0
//                          with a provider
//   SMTPUsername                                          default account's
//                                                         user with method 2
//                                                         and a server
//   SMTPPassword           empty while the keyring        default empty
//                          holds it; in clear where no
//                          keyring answers, and without
//                          a login
//   SMTPServerPort                                        default 25
//   SMTPMaxConnections     connections a run may use      default 4; files
//                          at once (1: one after the       written before it
//                          other)                          was added lack it
//   SMTPEncryption         0 STARTTLS when offered (TLS    default 0
//                          from the start on port 465),
//                          1 TLS from the start
//   SMTPCAFile             a PEM file of authorities       default empty
//                          trusted besides the system's
//   SMTPTrustedCertificates certificates trusted as they   default empty
//                          are, one "host sha256-hex" a
//                          line
//   SMTPRetryTemporary     1: retry mails the server       default 1
//                          refused for now (4xx), 0: not
//   SMTPMaxPerMinute       mails a minute, 0 no limit      default 0
//   SMTPMaxPerDay          mails a day, 0 no limit         default 0
// The last six were added later still: files without them load with the
// defaults. So were these, after them, for signing in with a provider:
//   SMTPOAuthProvider      OAuthProvider::Kind            default 0
//   SMTPOAuthTenant        Microsoft's organisation       default empty
//   SMTPOAuthClientID, SMTPOAuthClientSecret  the client  default empty
//                          the user registered
//   SMTPOAuthAuthorizeURL, SMTPOAuthTokenURL,             default empty
//   SMTPOAuthDeviceURL     endpoints of Other
//   SMTPOAuthScope         replaces a preset's when set   default empty
//
// The password of a login lives in the desktop keyring under the server and
// user (MailSecrets), and the file's value stays empty. A file that still
// holds one loads it; the next Save() moves it to the keyring.
class MailConfiguration
{
public:
    enum Encryption : qint32 {
        StartTls = 0,     // STARTTLS whenever offered; TLS from the start on port 465
        TlsFromStart = 1, // TLS from the first byte
    };
    enum Authentication : qint32 {
        NoLogin = 0,
        Login = 1,  // user name and password
        SignIn = 2, // sign in with a provider (a token instead of a password)
    };

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
    void SetSMTPPassword(const QString& value)
    {
        m_smtpPassword = value;
        m_passwordKnown = true;
    }
    qint16 SMTPServerPort() const { return m_smtpServerPort; }
    void SetSMTPServerPort(qint16 value) { m_smtpServerPort = value; }
    qint16 SMTPMaxConnections() const { return m_smtpMaxConnections; }
    void SetSMTPMaxConnections(qint16 value) { m_smtpMaxConnections = value; }
    qint32 SMTPEncryption() const { return m_smtpEncryption; }
    void SetSMTPEncryption(qint32 value) { m_smtpEncryption = value; }
    const QString& SMTPCAFile() const { return m_smtpCAFile; }
    void SetSMTPCAFile(const QString& value) { m_smtpCAFile = value; }
    const QString& SMTPTrustedCertificates() const { return m_smtpTrustedCertificates; }
    void SetSMTPTrustedCertificates(const QString& value) { m_smtpTrustedCertificates = value; }
    bool SMTPRetryTemporary() const { return m_smtpRetryTemporary; }
    void SetSMTPRetryTemporary(bool value) { m_smtpRetryTemporary = value; }
    qint32 SMTPMaxPerMinute() const { return m_smtpMaxPerMinute; }
    void SetSMTPMaxPerMinute(qint32 value) { m_smtpMaxPerMinute = value; }
    qint32 SMTPMaxPerDay() const { return m_smtpMaxPerDay; }
    void SetSMTPMaxPerDay(qint32 value) { m_smtpMaxPerDay = value; }
    qint32 SMTPOAuthProvider() const { return m_smtpOAuthProvider; }
    void SetSMTPOAuthProvider(qint32 value) { m_smtpOAuthProvider = value; }
    const QString& SMTPOAuthTenant() const { return m_smtpOAuthTenant; }
    void SetSMTPOAuthTenant(const QString& value) { m_smtpOAuthTenant = value; }
    const QString& SMTPOAuthClientID() const { return m_smtpOAuthClientID; }
    void SetSMTPOAuthClientID(const QString& value) { m_smtpOAuthClientID = value; }
    const QString& SMTPOAuthClientSecret() const { return m_smtpOAuthClientSecret; }
    void SetSMTPOAuthClientSecret(const QString& value) { m_smtpOAuthClientSecret = value; }
    const QString& SMTPOAuthAuthorizeURL() const { return m_smtpOAuthAuthorizeURL; }
    void SetSMTPOAuthAuthorizeURL(const QString& value) { m_smtpOAuthAuthorizeURL = value; }
    const QString& SMTPOAuthTokenURL() const { return m_smtpOAuthTokenURL; }
    void SetSMTPOAuthTokenURL(const QString& value) { m_smtpOAuthTokenURL = value; }
    const QString& SMTPOAuthDeviceURL() const { return m_smtpOAuthDeviceURL; }
    void SetSMTPOAuthDeviceURL(const QString& value) { m_smtpOAuthDeviceURL = value; }
    const QString& SMTPOAuthScope() const { return m_smtpOAuthScope; }
    void SetSMTPOAuthScope(const QString& value) { m_smtpOAuthScope = value; }

    // Where a sign-in goes: the preset of Microsoft365 (with the tenant) or
    // Google with the stored client and, when set, the stored scope; for
    // Other the stored endpoints and scope.
    OAuthProvider Provider() const;

    // Reads the login's password from the keyring when the file held none,
    // into SMTPPassword() and CdoConfiguration(). Done when there was nothing
    // to read; Missing when the keyring holds none; NoKeyring or Failed when
    // it could not say. Creating a configuration never asks the keyring:
    // whoever needs the password asks here.
    SecretStore::Result FetchPassword();

    // The settings as filled at creation.
    const MailDeliverySettings& CdoConfiguration() const { return m_configuration; }

    // Writes the values, atomically and readable by the owner only.
    // A file that held something else is first copied aside beside itself.
    // AppError 75 when it cannot be written; the old file then stays.
    //
    // The password goes to the keyring and the file's value stays empty,
    // also while the login is off (it is kept for when it is on again). A
    // password the keyring held under the server and user as loaded is
    // removed when nothing uses it any more (no password, another
    // authentication, another server or user). A password the keyring holds
    // and that was neither fetched nor set is carried along, or left there
    // when the keyring cannot give it.
    // Returns Done, or why the keyring could not take the password (it is
    // then kept in the file, as before: tell the user), give an unread one,
    // or give up an old one.
    SecretStore::Result Save();

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
    qint32 m_smtpEncryption = StartTls;
    QString m_smtpCAFile;
    QString m_smtpTrustedCertificates;
    bool m_smtpRetryTemporary = true;
    qint32 m_smtpMaxPerMinute = 0;
    qint32 m_smtpMaxPerDay = 0;
    qint32 m_smtpOAuthProvider = OAuthProvider::Microsoft365;
    QString m_smtpOAuthTenant;
    QString m_smtpOAuthClientID;
    QString m_smtpOAuthClientSecret;
    QString m_smtpOAuthAuthorizeURL;
    QString m_smtpOAuthTokenURL;
    QString m_smtpOAuthDeviceURL;
    QString m_smtpOAuthScope;

    // The server and user the keyring's password was loaded (or last saved)
    // under, while the authentication was a login.
    std::optional<std::pair<QString, QString>> m_keyringAccount;
    // False while the keyring may hold a password nobody fetched or set.
    bool m_passwordKnown = true;

    QString m_filePath;
    MailDeliverySettings m_configuration;
    std::optional<AppError> m_loadProblem;
};
