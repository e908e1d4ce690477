#pragma once

#include "platform/mail/OutgoingMessage.h"

// Hands messages to the mail system, one call per mail. A transport lives
// for a whole send run so that it can keep its connection between mails.
class MailTransport
{
public:
    virtual ~MailTransport() = default;

    // Builds and delivers one message. Throws AppError when the message
    // cannot be built or is refused; the description is meant for the
    // send error log (the server's or mail program's own words, on one
    // line). After a failure the transport is ready for the next mail.
    virtual void Send(const OutgoingMessage& message) = 0;
};
