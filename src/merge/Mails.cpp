#include "merge/Mails.h"

#include "merge/MailMerged.h"
#include "merge/MergeFields.h"
#include "merge/MergeValueText.h"
#include "platform/recordset/Recordset.h"
#include "base/AppError.h"

#include <QVarLengthArray>

#include <array>
#include <string>
#include <utility>

namespace {

using MergeFields::Find;
using ThreeTexts = std::array<QString, MergePlan::kTexts>; // To, Subject, body

// One of the three texts of a record merged on its own, column by column
// as the merge is defined. Replacements are made in two scratch buffers that
// keep their room from record to record, so a text with several markers
// costs one allocation, made at its final size, however many columns it
// takes.
class MergedText
{
public:
    void Start(const QString& text)
    {
        m_whole = text;
        m_inBuffer = false;
    }

    QStringView View() const
    {
        return m_inBuffer ? QStringView(m_buffers[m_current]) : QStringView(m_whole);
    }

    // Puts the value in place of every occurrence of the marker, the first
    // one at `first`. Occurrences are taken from the text as it was; the
    // value itself is not searched again.
    void Replace(qsizetype first, QStringView marker, const QString& value)
    {
        const QStringView text = View();
        if (first == 0 && text.size() == marker.size()) {
            // The marker alone, as in a To template: the value is the text.
            m_whole = value;
            m_inBuffer = false;
            return;
        }
        const int target = m_inBuffer ? 1 - m_current : m_current;
        std::u16string& out = m_buffers[target];
        out.clear();
        const char16_t* data = text.utf16();
        qsizetype done = 0;
        for (qsizetype at = first; at >= 0; at = Find(text, marker, at + marker.size())) {
            out.append(data + done, size_t(at - done));
            out.append(reinterpret_cast<const char16_t*>(value.constData()), size_t(value.size()));
            done = at + marker.size();
        }
        out.append(data + done, size_t(text.size() - done));
        m_current = target;
        m_inBuffer = true;
    }

    // The finished text; shares the template's or the value's storage when
    // it is one of them unchanged.
    QString Take()
    {
        if (!m_inBuffer)
            return std::move(m_whole);
        const std::u16string& text = m_buffers[m_current];
        return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
    }

private:
    QString m_whole;
    std::u16string m_buffers[2];
    int m_current = 0;
    bool m_inBuffer = false;
};

// The record's three texts, each column in field order put in place of its
// marker in the text as it stands by then.
ThreeTexts MergeColumnByColumn(MergedText (&texts)[MergePlan::kTexts], const ThreeTexts& templates,
                               const std::vector<QString>& markers, const Recordset& recipients,
                               const MergeValueText& valueText, qint64& fetched)
{
    for (int t = 0; t < MergePlan::kTexts; ++t)
        texts[t].Start(templates[size_t(t)]);
    for (size_t k = 0; k < markers.size(); ++k) {
        for (MergedText& text : texts) {
            const qsizetype at = Find(text.View(), markers[k]);
            if (at < 0)
                continue;
            ++fetched;
            text.Replace(at, markers[k], valueText.Text(recipients.Value(int(k))));
        }
    }
    return {texts[0].Take(), texts[1].Take(), texts[2].Take()};
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
    std::erase_if(m_emptyValues, [position](const EmptyValue& e) { return e.mail == position; });
    for (EmptyValue& e : m_emptyValues)
        if (e.mail > position)
            --e.mail;
}

void Mails::SetKeepSending(bool keep)
{
    const bool cleared = m_keepSending && !keep;
    m_keepSending = keep;
    if (cleared)
        Q_EMIT KeepSendingCleared();
}

Mails::ScopedYieldHook::ScopedYieldHook(Mails& mails, YieldHook hook)
    : m_mails(&mails), m_previous(std::exchange(mails.m_yield, std::move(hook)))
{
}

Mails::ScopedYieldHook::~ScopedYieldHook()
{
    if (m_mails)
        m_mails->m_yield = std::move(m_previous);
}

void Mails::Yield()
{
    if (!m_yield)
        return;
    // A copy: the events the hook runs may install or remove hooks, and the
    // hook being run must not be moved away under itself.
    const YieldHook hook = m_yield;
    hook();
}

void Mails::SetLocale(const QLocale& locale)
{
    m_locale = locale;
}

bool Mails::Merge(Recordset& recipients, const QString& toTemplate, const FromAddressRef& from,
                  const QString& subjectTemplate, const QString& textBodyTemplate,
                  const QString& attachments)
{
    MailVector().swap(m_mails);
    m_valuesFetched = 0;
    m_emptyValues.clear();
    m_columnLabels.clear();

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
    for (int k = 0; k < fieldCount; ++k) {
        markers.push_back(MergeFields::Marker(recipients.FieldName(k), k + 1));
        m_columnLabels << MergeFields::ColumnLabel(recipients.FieldName(k), k + 1);
    }
    const MergeValueText valueText(m_locale ? *m_locale : QLocale::system());

    // Most templates can be worked out once, leaving each record only its
    // values to fetch; a record whose values hold chevrons, or templates that
    // cannot be, are merged column by column.
    const ThreeTexts templates{toTemplate, subjectTemplate, textBodyTemplate};
    std::optional<MergePlan> compiled = MergePlan::Compile(templates, markers);
    std::shared_ptr<Mail::Merged> merged;
    if (compiled)
        merged = std::make_shared<Mail::Merged>(std::move(*compiled));
    const auto common = std::make_shared<const Mail::Common>(Mail::Common{from, attachments, merged});
    const std::vector<int> noColumns;
    const std::vector<int>& columns = merged ? merged->plan.Columns() : noColumns;
    std::vector<QString> values(columns.size());
    QVarLengthArray<QStringView, 32> views(qsizetype(columns.size()));

    // The columns whose emptiness a reader would see: those of the subject
    // and body, each with its place among the plan's values (-1: none).
    std::vector<std::pair<int, int>> watched;
    for (int k = 0; k < fieldCount; ++k) {
        if (MergeFields::Find(subjectTemplate, markers[size_t(k)]) < 0 &&
            MergeFields::Find(textBodyTemplate, markers[size_t(k)]) < 0)
            continue;
        const auto at = std::find(columns.begin(), columns.end(), k);
        watched.emplace_back(k, at == columns.end() ? -1 : int(at - columns.begin()));
    }

    MergedText texts[MergePlan::kTexts];
    m_mails.reserve(size_t(count));
    for (int i = 1; i <= count; ++i) {
        if (!m_keepMerging) {
            m_mails.shrink_to_fit();
            return false;
        }
        bool plain = bool(merged);
        if (merged) {
            for (size_t c = 0; c < columns.size() && plain; ++c) {
                values[c] = valueText.Text(recipients.Value(columns[c]));
                views[qsizetype(c)] = values[c];
                plain = MergePlan::IsPlain(values[c]);
                ++m_valuesFetched;
            }
        }
        for (const auto& [column, planned] : watched) {
            const QString value = plain && planned >= 0
                                      ? values[size_t(planned)]
                                      : valueText.Text(recipients.Value(column));
            if (value.trimmed().isEmpty())
                m_emptyValues.push_back({i, column});
        }
        if (plain) {
            m_mails.push_back(Mail(common, merged->store.Append(views.data(), int(views.size()))));
        } else {
            auto [to, subject, body] =
                MergeColumnByColumn(texts, templates, markers, recipients, valueText, m_valuesFetched);
            m_mails.push_back(Mail(common, Mail::Texts{std::move(to), std::move(subject), std::move(body)}));
        }
        recipients.MoveNext();
        Q_EMIT MailsMerged(i);
        if (i % 10 == 0)
            Yield();
    }
    return true;
}
