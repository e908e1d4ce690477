#include "filters/FilterCriteria.h"

#include "filters/Filters.h"
#include "platform/recordset/Recordset.h"
#include "base/Texts.h"

namespace FilterCriteria {

namespace {

// String-table ids of the operator texts. The table numbers them in a
// different order than the boxes list them.
constexpr int TextEqualTo = 506;
constexpr int TextGreaterThan = 507;
constexpr int TextGreaterThanOrEqual = 508;
constexpr int TextLessThanOrEqual = 509;
constexpr int TextLessThan = 510;
constexpr int TextNotEqualTo = 511;
constexpr int TextStartsWith = 512;
constexpr int TextContains = 513;

std::optional<OperatorCode> CodeAt(qint32 valueKind, qint32 position)
{
    const QList<OperatorChoice> choices = OperatorList(valueKind);
    if (position < 0 || position >= choices.size())
        return std::nullopt;
    return choices.at(position).Code;
}

} // namespace

ValueKind ValueKindOfType(int adoType)
{
    switch (adoType) {
    case AdoType::Char:
    case AdoType::WChar:
    case AdoType::VarChar:
    case AdoType::VarWChar:
        return TextKind;
    case AdoType::Boolean:
        return YesNoKind;
    case AdoType::DBTimeStamp:
        return DateTimeKind;
    case AdoType::SmallInt:
    case AdoType::Integer:
    case AdoType::Single:
    case AdoType::Double:
    case AdoType::Currency:
    case AdoType::UnsignedTinyInt:
    case AdoType::Numeric:
        return NumberKind;
    default:
        return NoValueKind;
    }
}

QList<OperatorChoice> OperatorList(qint32 valueKind)
{
    const QList<OperatorChoice> comparisons = {
        {EqualTo, TextEqualTo},
        {GreaterThan, TextGreaterThan},
        {LessThan, TextLessThan},
        {GreaterThanOrEqual, TextGreaterThanOrEqual},
        {LessThanOrEqual, TextLessThanOrEqual},
        {NotEqualTo, TextNotEqualTo},
    };
    switch (valueKind) {
    case TextKind:
        return comparisons + QList<OperatorChoice>{{StartsWith, TextStartsWith}, {Contains, TextContains}};
    case YesNoKind:
        return {{EqualTo, TextEqualTo}, {NotEqualTo, TextNotEqualTo}};
    case DateTimeKind:
    case NumberKind:
        return comparisons;
    default:
        return {};
    }
}

QString OperatorText(const OperatorChoice& choice)
{
    return Texts::LoadResString(choice.TextId);
}

QString ValueText(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return value.toString();
}

QString CriteriaPiece(OperatorCode code, const QString& value)
{
    switch (code) {
    case EqualTo:
        return QStringLiteral("= '") + value + QStringLiteral("' ");
    case GreaterThan:
        return QStringLiteral("> '") + value + QStringLiteral("' ");
    case LessThan:
        return QStringLiteral("< '") + value + QStringLiteral("' ");
    case GreaterThanOrEqual:
        return QStringLiteral(">= '") + value + QStringLiteral("' ");
    case LessThanOrEqual:
        return QStringLiteral("<= '") + value + QStringLiteral("' ");
    case NotEqualTo:
        return QStringLiteral("<> '") + value + QStringLiteral("' ");
    case StartsWith:
        return QStringLiteral("LIKE '") + value + QStringLiteral("*' ");
    case Contains:
        return QStringLiteral("LIKE '*") + value + QStringLiteral("*' ");
    }
    return QString();
}

QString BuildCriteria(const QList<FilterRow>& rows)
{
    QString criteria;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const FilterRow& row = rows.at(i);
        if (row.Data.isEmpty())
            break;
        const std::optional<OperatorCode> code = CodeAt(row.Kind, row.ComparisonOperator);
        if (!code)
            throw AppError(5, QStringLiteral("FilterCriteria"),
                           QStringLiteral("Filter row %1 on column %2 has no valid operator")
                               .arg(i + 1)
                               .arg(row.Data));
        if (i > 0)
            criteria += row.LogicalOperator == 0 ? QStringLiteral("AND ") : QStringLiteral("OR ");
        criteria += u'[' + row.Data + QStringLiteral("] ") + CriteriaPiece(*code, ValueText(row.Value));
    }
    return criteria;
}

Filters SavedFilters(const QList<FilterRow>& rows)
{
    Filters saved;
    for (const FilterRow& row : rows) {
        if (row.Data.isEmpty())
            break;
        Filter filter;
        filter.SetLogicalOperator(row.LogicalOperator);
        filter.SetData(row.Data);
        filter.SetComparisonOperator(row.ComparisonOperator);
        filter.SetValue(row.Value);
        saved.Add(filter);
    }
    return saved;
}

ApplyResult ApplyFilterRows(Recordset& recipients, Filters& listFilters, const QList<FilterRow>& rows)
{
    ApplyResult result;
    if (recipients.State() != Recordset::StateOpen)
        return result;
    const QString previous = recipients.Filter();
    try {
        result.Criteria = BuildCriteria(rows);
        // Setting a filter always starts again from all rows, so the old one
        // needs no clearing first; not clearing it keeps it in place when the
        // record set refuses the new text.
        recipients.SetFilter(result.Criteria);
        result.RecordCount = recipients.RecordCount();
    } catch (const AppError& error) {
        result.Result = ApplyResult::Rejected;
        result.Error = error;
        return result;
    }
    if (result.RecordCount >= 1) {
        listFilters = SavedFilters(rows);
        result.Result = ApplyResult::Applied;
    } else {
        // A filter that leaves no one would empty the grid behind the
        // dialog while the list still holds its old rows: the earlier
        // filter comes back, so what is shown and what is saved agree.
        recipients.SetFilter(previous);
        result.Result = ApplyResult::NoRecords;
    }
    return result;
}

} // namespace FilterCriteria
