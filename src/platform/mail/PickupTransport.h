#pragma once

#include "platform/mail/MailTransport.h"
#include "platform/mail/MessageBuilder.h"

#include <QString>
#include <QStringList>

// Hands each message to the local mail transfer agent through its
// sendmail program, which reads the recipients from the headers. One mail
// at a time; the events run between mails.
class PickupTransport final : public MailTransport
{
    Q_OBJECT

public:
    static QString DefaultProgram() { return QStringLiteral("/usr/sbin/sendmail"); }
    static QStringList DefaultArguments() { return {QStringLiteral("-t"), QStringLiteral("-i")}; }

    explicit PickupTransport(QString program = DefaultProgram(),
                             QStringList arguments = DefaultArguments(), int timeoutSeconds = 1200,
                             qint64 memoryLimit = MessageBuilder::DefaultMemoryLimit);

    void Stop() override { m_stopped = true; }

    // Hands one message over and waits for the program. A program that
    // cannot start, ends with a non-zero code, writes to its standard error
    // or outlasts the time-out fails the mail: AppError with its text.
    void Send(const OutgoingMessage& message);

protected:
    void Begin(Source source) override;

private:
    void Next();

    Source m_source;
    bool m_stopped = false;
    QString m_program;
    QStringList m_arguments;
    int m_timeoutSeconds;
    MessageBuilder m_builder;
};
