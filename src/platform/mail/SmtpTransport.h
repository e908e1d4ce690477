#pragma once

#include "platform/mail/MailTransport.h"
#include "platform/mail/MessageBuilder.h"
#include "platform/mail/ServerCertificate.h"
#include "platform/mail/SmtpTokenSource.h"

#include <QString>

#include <memory>

struct SmtpSettings
{
    QString server;
    int port = 25;
    int connectionTimeout = 1200; // seconds, also the longest wait for any reply
    bool authenticate = false;    // AUTH PLAIN or LOGIN with the two below
    QString userName;
    QString password;
    // Set: XOAUTH2 (or OAUTHBEARER) for userName with a token from here
    // instead of the password, asked for at each connection's login.
    std::shared_ptr<SmtpTokenSource> tokens;
    bool implicitTls = false;     // TLS from the first byte; always so on port 465
    QString caFile;               // PEM authorities trusted besides the system's
    QStringList trustedCertificates; // "host sha256-hex": that certificate, as it is, for that host
    int connections = 1;          // how many the run may keep busy at once
};

// Sends over SMTP with the client of platform/mail (SmtpConnection): up to
// `connections` connections at once, each carrying mail after mail. The
// first connection proves the server and the login before others open; a
// server that refuses another connection lowers the number for the run.
//
// A mail whose connection is lost before its data went out whole is sent
// again once, on a new connection; one whose data went out whole is never
// sent again ("delivery unknown" when its answer never came).
//
// A refusal that concerns every mail ends the run: a refused login or
// certificate, a password or token that would go out unencrypted, no token
// to be had, or a server that cannot be reached (refused, silent, TLS
// failing) before it took any mail, or on three connections in a row after
// that. No connection opens after it, and every mail not yet handed over
// fails at once with that reason ("not sent: ..."). A server that refuses
// an extra connection while another serves the run only lowers the number
// of connections. STARTTLS is used whenever offered, certificates are
// always verified, and a password or token goes out unencrypted only to a
// server on this machine's loopback. A token the server refuses is replaced
// once on that connection (it may have run out since it was handed out);
// refused again, the login is refused.
//
// A certificate that fails verification is still accepted when its SHA-256
// fingerprint is trusted for the host name the connection uses; otherwise
// the run ends and RefusedCertificate() holds it, for the user to look at.
class SmtpTransport final : public MailTransport
{
    Q_OBJECT

public:
    explicit SmtpTransport(SmtpSettings settings,
                           qint64 memoryLimit = MessageBuilder::DefaultMemoryLimit,
                           QObject* parent = nullptr);
    ~SmtpTransport() override;

    void Stop() override;

    // The number of connections the run may use now.
    int ConnectionLimit() const;

    std::optional<ServerCertificate> RefusedCertificate() const override;

    // The server name as connections use it (IDN in ASCII form). Throws
    // AppError for a missing or unusable name or a port out of range.
    static QString HostName(const SmtpSettings& settings);

protected:
    void Begin(Source source) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
