#pragma once

#include "senders/FromAddress.h"

#include <QString>

#include <memory>
#include <variant>

// A sender shared by the mails of one merge; a mail never owns it alone, and
// the sender book can change without leaving a mail pointing at nothing.
using FromAddressRef = std::shared_ptr<const FromAddress>;

// One merged e-mail. Kept small, since a merge may hold a million of them:
// the sender and attachment list, the same for every mail of a merge, are
// held once and shared until one mail is given its own; and a merged mail
// keeps only its record's values, its texts being made from the merge's
// templates when they are read. A mail whose text is set, or whose record
// could not be merged that way, holds its own texts.
class Mail
{
public:
    Mail() = default;
    Mail(FromAddressRef from, QString to, QString subject, QString textBody, QString attachments);

    // The merged recipient address text.
    QString To() const { return Text(kTo); }
    void SetTo(const QString& to);

    // May be null when the merge was given no sender.
    const FromAddressRef& From() const;
    void SetFrom(FromAddressRef from);

    QString Subject() const { return Text(kSubject); }
    void SetSubject(const QString& subject);

    QString TextBody() const { return Text(kBody); }
    void SetTextBody(const QString& textBody);

    // Full paths joined by ";"; empty when nothing is attached.
    const QString& Attachments() const;
    void SetAttachments(const QString& attachments);

private:
    friend class Mails;

    enum TextIndex { kTo, kSubject, kBody };

    struct Merged; // the compiled templates and the values of the records
    struct Common
    {
        FromAddressRef from;
        QString attachments;
        std::shared_ptr<const Merged> merged;
    };
    struct Texts
    {
        QString to, subject, body;
    };

    Mail(std::shared_ptr<const Common> common, const char16_t* values)
        : m_common(std::move(common)), m_texts(values)
    {
    }
    Mail(std::shared_ptr<const Common> common, Texts texts)
        : m_common(std::move(common)), m_texts(std::make_shared<const Texts>(std::move(texts)))
    {
    }

    QString Text(TextIndex which) const;
    Texts OwnTexts() const;
    void SetCommon(FromAddressRef from, QString attachments);

    std::shared_ptr<const Common> m_common;
    // No text yet, the record's values in the merge's store, or its own.
    std::variant<std::monostate, const char16_t*, std::shared_ptr<const Texts>> m_texts;
};
