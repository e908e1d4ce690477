#include "merge/Mails.h"

#include "merge/MergeFields.h"
#include "merge/MergeValueText.h"
#include "platform/recordset/Recordset.h"
#include "shell/AppError.h"

#include <QCoreApplication>
#include <QVarLengthArray>

namespace {

// First occurrence of the marker from `from` on, or -1. Every marker starts
// with «, which is rare in mail text, so a vectorised scan for that one
// character skips nearly all of it; a plain substring search per column and
// record would be the merge's main cost.
qsizetype FindMarker(QStringView text, QStringView marker, qsizetype from = 0)
{
    const QChar first = marker.front();
    const qsizetype last = text.size() - marker.size();
    while (from <= last) {
        const qsizetype at = text.indexOf(first, from);
        if (at < 0 || at > last)
            return -1;
        if (text.sliced(at, marker.size()) == marker)
            return at;
        from = at + 1;
    }
    return -1;
}

// The text with every occurrence of the marker, the first one at `first`,
// replaced by the value. The result is allocated once at its exact size, as
// it is kept in the mail.
QString ReplaceAll(const QString& text, qsizetype first, QStringView marker, const QString& value)
{
    if (first == 0 && text.size() == marker.size())
        return value;
    QVarLengthArray<qsizetype, 16> hits;
    for (qsizetype at = first; at >= 0; at = FindMarker(text, marker, at + marker.size()))
        hits.append(at);
    const qsizetype size = text.size() + hits.size() * (value.size() - marker.size());
    QString out(size, Qt::Uninitialized);
    QChar* to = out.data();
    const QChar* from = text.constData();
    qsizetype done = 0;
    for (const qsizetype at : hits) {
        to = std::copy(from + done, from + at, to);
        to = std::copy(value.constData(), value.constData() + value.size(), to);
        done = at + marker.size();
    }
    std::copy(from + done, from + text.size(), to);
    return out;
}

} // namespace

Mails::Mails(QObject* parent) : QObject(parent) {}

Mails::~Mails() = default;

void Mails::Add(FromAddressRef from, const QString& to, const QString& subject,
                const QString& textBody, const QString& attachments)
{
    m_mails.emplace_back(std::move(from), to, subject, textBody, attachments);
}

std::size_t Mails::CheckedIndex(int position) const
{
    if (position < 1 || position > Count())
        throw AppError(9, QStringLiteral("Mails"),
                       QStringLiteral("Subscript out of range: mail %1 of %2")
                           .arg(position)
                           .arg(Count()));
    return static_cast<std::size_t>(position - 1);
}

const Mail& Mails::Item(int position) const
{
    return m_mails[CheckedIndex(position)];
}

Mail& Mails::Item(int position)
{
    return m_mails[CheckedIndex(position)];
}

void Mails::Remove(int position)
{
    m_mails.erase(m_mails.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(position)));
}

void Mails::SetYieldHook(YieldHook hook)
{
    m_yield = std::move(hook);
}

void Mails::Yield()
{
    if (m_yield)
        m_yield();
    else if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void Mails::SetLocale(const QLocale& locale)
{
    m_locale = locale;
}

bool Mails::Merge(Recordset& recipients, const QString& toTemplate, const FromAddressRef& from,
                  const QString& subjectTemplate, const QString& textBodyTemplate,
                  const QString& attachments)
{
    std::vector<Mail>().swap(m_mails);
    m_valuesFetched = 0;

    if (recipients.State() != Recordset::StateOpen)
        return false;
    if (recipients.RecordCount() < 1)
        return false;
    recipients.MoveLast();
    const int count = recipients.RecordCount();
    recipients.MoveFirst();

    // The fields do not change while the loop runs: form their markers once.
    const int fieldCount = recipients.FieldCount();
    std::vector<QString> markers;
    markers.reserve(size_t(fieldCount));
    for (int k = 0; k < fieldCount; ++k)
        markers.push_back(MergeFields::Marker(recipients.FieldName(k), k + 1));
    const MergeValueText valueText(m_locale ? *m_locale : QLocale::system());

    m_mails.reserve(size_t(count));
    for (int i = 1; i <= count; ++i) {
        if (!m_keepMerging) {
            m_mails.shrink_to_fit();
            return false;
        }
        QString texts[3] = {toTemplate, subjectTemplate, textBodyTemplate};
        for (int k = 0; k < fieldCount; ++k) {
            const QString& marker = markers[size_t(k)];
            for (QString& text : texts) {
                const qsizetype at = FindMarker(text, marker);
                if (at < 0)
                    continue;
                ++m_valuesFetched;
                text = ReplaceAll(text, at, marker, valueText.Text(recipients.Value(k)));
            }
        }
        m_mails.emplace_back(from, std::move(texts[0]), std::move(texts[1]), std::move(texts[2]),
                             attachments);
        recipients.MoveNext();
        Q_EMIT MailsMerged(i);
        if (i % 10 == 0)
            Yield();
    }
    return true;
}
