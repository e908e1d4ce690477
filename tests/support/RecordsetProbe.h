#pragma once

#include "platform/recordset/Recordset.h"
#include "base/AppError.h"

#include <QList>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <optional>

// Small readers the source tests share: what a call threw, and a record
// set's names, types and rows as plain lists for QCOMPARE.
namespace TestSupport {

inline std::optional<AppError> ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const AppError& e) {
        return e;
    }
    return std::nullopt;
}

// The same, with an error numbered 0 when the call raised none.
inline AppError ErrorOrNone(const std::function<void()>& f)
{
    return ErrorOf(f).value_or(AppError(0, QString(), QString()));
}

inline QStringList Names(const Recordset& set)
{
    QStringList names;
    for (int i = 0; i < set.FieldCount(); ++i)
        names << set.FieldName(i);
    return names;
}

inline QList<int> Types(const Recordset& set)
{
    QList<int> types;
    for (int i = 0; i < set.FieldCount(); ++i)
        types << set.FieldType(i);
    return types;
}

inline QVariantList Row(const Recordset& set, int row)
{
    QVariantList values;
    for (int i = 0; i < set.FieldCount(); ++i)
        values << set.ValueAt(row, i);
    return values;
}

} // namespace TestSupport
