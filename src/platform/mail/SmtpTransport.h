#pragma once

#include "platform/mail/MailTransport.h"
#include "platform/mail/MessageBuilder.h"

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
    bool implicitTls = false;     // TLS from the first byte; always so on port 465
    QString caFile;               // certificates to trust instead of the system's (tests)
};

// Sends over SMTP with libcurl. One connection serves the whole run; after
// a failure or when the server has closed it, the next mail reconnects.
// STARTTLS is used whenever the server offers it, and certificates are
// always verified.
class SmtpTransport final : public MailTransport
{
public:
    explicit SmtpTransport(SmtpSettings settings,
                           qint64 memoryLimit = MessageBuilder::DefaultMemoryLimit);
    ~SmtpTransport() override;
    SmtpTransport(const SmtpTransport&) = delete;
    SmtpTransport& operator=(const SmtpTransport&) = delete;

    void Send(const OutgoingMessage& message) override;

    // Sends a message built with CRLF line ends.
    void Send(PreparedMessage& message);

    // smtp://server:port, or smtps:// for implicit TLS. Throws AppError for
    // a server name or port that cannot be used.
    static QString ServerUrl(const SmtpSettings& settings);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
