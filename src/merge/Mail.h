#pragma once

#include "senders/FromAddress.h"

#include <QString>

#include <memory>

// A sender shared by the mails of one merge; a mail never owns it alone, and
// the sender book can change without leaving a mail pointing at nothing.
using FromAddressRef = std::shared_ptr<const FromAddress>;

// One merged e-mail. Kept small (a merge may hold a million of them): texts
// that did not change for a record share the template's storage, and the
// sender and attachment list, the same for every mail of a merge, are held
// once and shared until one mail is given its own.
class Mail
{
public:
    Mail() = default;
    Mail(FromAddressRef from, QString to, QString subject, QString textBody, QString attachments)
        : m_to(std::move(to)), m_subject(std::move(subject)), m_textBody(std::move(textBody)),
          m_common(std::make_shared<const Common>(Common{std::move(from), std::move(attachments)}))
    {
    }

    // The sender and attachments of another mail, shared.
    Mail(const Mail& common, QString to, QString subject, QString textBody)
        : m_to(std::move(to)), m_subject(std::move(subject)), m_textBody(std::move(textBody)),
          m_common(common.m_common)
    {
    }

    // The merged recipient address text.
    const QString& To() const { return m_to; }
    void SetTo(const QString& to) { m_to = to; }

    // May be null when the merge was given no sender.
    const FromAddressRef& From() const { return m_common ? m_common->from : NoSender(); }
    void SetFrom(FromAddressRef from)
    {
        m_common = std::make_shared<const Common>(Common{std::move(from), Attachments()});
    }

    const QString& Subject() const { return m_subject; }
    void SetSubject(const QString& subject) { m_subject = subject; }

    const QString& TextBody() const { return m_textBody; }
    void SetTextBody(const QString& textBody) { m_textBody = textBody; }

    // Full paths joined by ";"; empty when nothing is attached.
    const QString& Attachments() const { return m_common ? m_common->attachments : NoAttachments(); }
    void SetAttachments(const QString& attachments)
    {
        m_common = std::make_shared<const Common>(Common{From(), attachments});
    }

private:
    struct Common
    {
        FromAddressRef from;
        QString attachments;
    };

    static const FromAddressRef& NoSender()
    {
        static const FromAddressRef none;
        return none;
    }
    static const QString& NoAttachments()
    {
        static const QString none;
        return none;
    }

    QString m_to;
    QString m_subject;
    QString m_textBody;
    std::shared_ptr<const Common> m_common;
};
