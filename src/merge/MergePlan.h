#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <vector>

// The To, Subject and body templates of a merge worked out once against the
// columns' markers, so that a record's mail is its values put into fixed
// places instead of three texts searched column by column.
//
// The merge replaces the columns in field order, each in the text as it is
// by then, so an inserted value may form a later column's marker. That
// cannot happen when:
//  - no value holds « or » (checked per record with IsPlain), and
//  - no marker has a » before a « (true of every marker unless a column's
//    name holds both), and
//  - no place of a value has « as the nearest chevron before it or » as the
//    nearest after it; otherwise an empty or short value could close up a
//    marker around it.
// Then every marker the merge would find lies wholly in template text and
// is found here once. Compile returns nothing when the last two do not hold;
// the merge then works each record out on its own.
class MergePlan
{
public:
    static constexpr int kTexts = 3; // To, Subject, body

    static std::optional<MergePlan> Compile(const std::array<QString, kTexts>& templates,
                                            const std::vector<QString>& markers);

    // Whether a value can go into its places as it is.
    static bool IsPlain(QStringView value);

    // 0-based columns whose values the texts take, in field order.
    const std::vector<int>& Columns() const { return m_columns; }

    // The text with the values in place. `values` holds one value per entry
    // of Columns(), in that order.
    QString Build(int text, const QStringView* values) const;

private:
    // Template text up to the next value, then the value (slot -1 at the end).
    struct Part
    {
        QString literal;
        int slot = -1;
    };

    std::array<std::vector<Part>, kTexts> m_parts;
    std::vector<int> m_columns;
};
