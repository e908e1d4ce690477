#include "merge/MergePlan.h"

#include "merge/MergeFields.h"

#include <algorithm>

namespace {

using MergeFields::MarkerClose;
using MergeFields::MarkerOpen;

bool IsChevron(QChar c)
{
    return c == MarkerOpen || c == MarkerClose;
}

// A marker with » before « could be closed up around a value even between
// chevrons that face away from it.
bool HasCloseBeforeOpen(const QString& marker)
{
    const qsizetype close = marker.indexOf(MarkerClose);
    return close >= 0 && marker.indexOf(MarkerOpen, close) >= 0;
}

// A text being worked out: template text, a value, template text, ...
struct Piece
{
    QString literal;
    int column = -1; // the value after the literal; -1 for none
};

// Whether any value of the text sits where the values around it could
// complete a marker: « the nearest chevron before it or » the nearest after.
bool HasExposedValue(const std::vector<Piece>& pieces)
{
    std::vector<QChar> before(pieces.size());
    QChar last;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const QString& text = pieces[i].literal;
        const auto at = std::find_if(text.rbegin(), text.rend(), IsChevron);
        if (at != text.rend())
            last = *at;
        before[i] = last;
    }
    QChar next;
    for (size_t i = pieces.size(); i-- > 0;) {
        if (pieces[i].column >= 0 && (before[i] == MarkerOpen || next == MarkerClose))
            return true;
        const QString& text = pieces[i].literal;
        const auto at = std::find_if(text.begin(), text.end(), IsChevron);
        if (at != text.end())
            next = *at;
    }
    return false;
}

} // namespace

bool MergePlan::IsPlain(QStringView value)
{
    return std::none_of(value.begin(), value.end(), IsChevron);
}

std::optional<MergePlan> MergePlan::Compile(const std::array<QString, kTexts>& templates,
                                            const std::vector<QString>& markers)
{
    if (std::any_of(markers.begin(), markers.end(), HasCloseBeforeOpen))
        return std::nullopt;
    std::array<std::vector<Piece>, kTexts> texts;
    for (int t = 0; t < kTexts; ++t)
        texts[size_t(t)].push_back({templates[size_t(t)], -1});

    std::vector<bool> used(markers.size(), false);
    for (size_t k = 0; k < markers.size(); ++k) {
        const QString& marker = markers[k];
        for (std::vector<Piece>& pieces : texts) {
            std::vector<Piece> out;
            for (Piece& piece : pieces) {
                const QString& text = piece.literal;
                qsizetype at = MergeFields::Find(text, marker);
                if (at < 0) {
                    out.push_back(std::move(piece));
                    continue;
                }
                used[k] = true;
                qsizetype done = 0;
                for (; at >= 0; at = MergeFields::Find(text, marker, at + marker.size())) {
                    out.push_back({text.mid(done, at - done), int(k)});
                    done = at + marker.size();
                }
                out.push_back({text.mid(done), piece.column});
            }
            pieces = std::move(out);
        }
    }
    for (const std::vector<Piece>& pieces : texts)
        if (HasExposedValue(pieces))
            return std::nullopt;

    MergePlan plan;
    std::vector<int> slotOf(markers.size(), -1);
    for (size_t k = 0; k < markers.size(); ++k) {
        if (used[k]) {
            slotOf[k] = int(plan.m_columns.size());
            plan.m_columns.push_back(int(k));
        }
    }
    for (int t = 0; t < kTexts; ++t) {
        std::vector<Part>& parts = plan.m_parts[size_t(t)];
        for (Piece& piece : texts[size_t(t)])
            parts.push_back({std::move(piece.literal), piece.column < 0 ? -1 : slotOf[size_t(piece.column)]});
    }
    return plan;
}

QString MergePlan::Build(int text, const QStringView* values) const
{
    const std::vector<Part>& parts = m_parts[size_t(text)];
    if (parts.size() == 2 && parts[0].literal.isEmpty() && parts[1].literal.isEmpty())
        return values[parts[0].slot].toString(); // the marker alone, as in a To template
    if (parts.size() == 1)
        return parts[0].literal; // no marker: the template's own storage, shared
    qsizetype size = 0;
    for (const Part& part : parts)
        size += part.literal.size() + (part.slot >= 0 ? values[part.slot].size() : 0);
    QString out;
    out.reserve(size);
    for (const Part& part : parts) {
        out += part.literal;
        if (part.slot >= 0)
            out += values[part.slot];
    }
    return out;
}
