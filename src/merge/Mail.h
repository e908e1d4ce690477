#pragma once

#include "senders/FromAddress.h"

#include <QString>

#include <memory>

// A sender shared by the mails of one merge; a mail never owns it alone, and
// the sender book can change without leaving a mail pointing at nothing.
using FromAddressRef = std::shared_ptr<const FromAddress>;

// One merged e-mail. Kept to five plain values (a merge may hold a million
// of them): texts that did not change for a record share the template's
// storage, and the sender and the attachment list are shared by all mails.
class Mail
{
public:
    Mail() = default;
    Mail(FromAddressRef from, QString to, QString subject, QString textBody, QString attachments)
        : m_to(std::move(to)), m_subject(std::move(subject)), m_textBody(std::move(textBody)),
          m_attachments(std::move(attachments)), m_from(std::move(from))
    {
    }

    // The merged recipient address text.
    const QString& To() const { return m_to; }
    void SetTo(const QString& to) { m_to = to; }

    // May be null when the merge was given no sender.
    const FromAddressRef& From() const { return m_from; }
    void SetFrom(FromAddressRef from) { m_from = std::move(from); }

    const QString& Subject() const { return m_subject; }
    void SetSubject(const QString& subject) { m_subject = subject; }

    const QString& TextBody() const { return m_textBody; }
    void SetTextBody(const QString& textBody) { m_textBody = textBody; }

    // Full paths joined by ";"; empty when nothing is attached.
    const QString& Attachments() const { return m_attachments; }
    void SetAttachments(const QString& attachments) { m_attachments = attachments; }

private:
    QString m_to;
    QString m_subject;
    QString m_textBody;
    QString m_attachments;
    FromAddressRef m_from;
};
