#pragma once

#include "platform/mail/MailTransport.h"
#include "platform/mail/MessageBuilder.h"

#include <QString>
#include <QStringList>

// Hands each message to the local mail transfer agent through its
// sendmail program, which reads the recipients from the headers.
class PickupTransport final : public MailTransport
{
public:
    static QString DefaultProgram() { return QStringLiteral("/usr/sbin/sendmail"); }
    static QStringList DefaultArguments() { return {QStringLiteral("-t"), QStringLiteral("-i")}; }

    explicit PickupTransport(QString program = DefaultProgram(),
                             QStringList arguments = DefaultArguments(), int timeoutSeconds = 1200,
                             qint64 memoryLimit = MessageBuilder::DefaultMemoryLimit);

    // A program that cannot start, ends with a non-zero code, writes to its
    // standard error or outlasts the time-out fails the mail with its text.
    void Send(const OutgoingMessage& message) override;

private:
    QString m_program;
    QStringList m_arguments;
    int m_timeoutSeconds;
    MessageBuilder m_builder;
};
