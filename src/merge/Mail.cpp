#include "merge/Mail.h"

#include "merge/MailMerged.h"

#include <QVarLengthArray>

Mail::Mail(FromAddressRef from, QString to, QString subject, QString textBody, QString attachments)
    : m_common(std::make_shared<const Common>(Common{std::move(from), std::move(attachments), nullptr})),
      m_texts(std::make_shared<const Texts>(Texts{std::move(to), std::move(subject), std::move(textBody)}))
{
}

QString Mail::Text(TextIndex which) const
{
    if (const auto* own = std::get_if<std::shared_ptr<const Texts>>(&m_texts)) {
        const Texts& texts = **own;
        return which == kTo ? texts.to : which == kSubject ? texts.subject : texts.body;
    }
    if (const auto* entry = std::get_if<const char16_t*>(&m_texts)) {
        const MergePlan& plan = m_common->merged->plan;
        const int count = int(plan.Columns().size());
        QVarLengthArray<QStringView, 32> values(count);
        MergeValueStore::Read(*entry, count, values.data());
        return plan.Build(which, values.data());
    }
    return QString();
}

Mail::Texts Mail::OwnTexts() const
{
    return {Text(kTo), Text(kSubject), Text(kBody)};
}

void Mail::SetTo(const QString& to)
{
    Texts texts = OwnTexts();
    texts.to = to;
    m_texts = std::make_shared<const Texts>(std::move(texts));
}

void Mail::SetSubject(const QString& subject)
{
    Texts texts = OwnTexts();
    texts.subject = subject;
    m_texts = std::make_shared<const Texts>(std::move(texts));
}

void Mail::SetTextBody(const QString& textBody)
{
    Texts texts = OwnTexts();
    texts.body = textBody;
    m_texts = std::make_shared<const Texts>(std::move(texts));
}

const FromAddressRef& Mail::From() const
{
    static const FromAddressRef none;
    return m_common ? m_common->from : none;
}

void Mail::SetFrom(FromAddressRef from)
{
    SetCommon(std::move(from), Attachments());
}

const QString& Mail::Attachments() const
{
    static const QString none;
    return m_common ? m_common->attachments : none;
}

void Mail::SetAttachments(const QString& attachments)
{
    SetCommon(From(), attachments);
}

void Mail::SetCommon(FromAddressRef from, QString attachments)
{
    // The merged part stays shared: this mail may still read its values.
    auto merged = m_common ? m_common->merged : nullptr;
    m_common = std::make_shared<const Common>(Common{std::move(from), std::move(attachments), std::move(merged)});
}
