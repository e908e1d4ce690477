#pragma once

#include "platform/recordset/Recordset.h"
#include "base/AppError.h"

#include <QList>
#include <QStringList>
#include <QTest>
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

// What a source reads as, for data-driven tests: names and row count (when
// given), and the values of one row from `column` on, with that column's
// type. The _data function adds these columns after its own; the test
// checks the record set it read with CheckReadsAs.
inline void AddReadsAsColumns()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariantList>("values");
}

inline void CheckReadsAs(const Recordset& set)
{
    QFETCH(QStringList, names);
    QFETCH(int, count);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, type);
    QFETCH(QVariantList, values);
    if (!names.isEmpty())
        QCOMPARE(Names(set), names);
    if (count >= 0)
        QCOMPARE(set.RecordCount(), count);
    if (!values.isEmpty()) {
        QCOMPARE(set.FieldType(column), type);
        QCOMPARE(Row(set, row).mid(column, values.size()), values);
    }
}

} // namespace TestSupport
