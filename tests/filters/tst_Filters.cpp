#include "TestMain.h"
#include "filters/Filters.h"
#include "base/AppError.h"

namespace {

Filter Row(const QString& data)
{
    Filter row;
    row.SetData(data);
    return row;
}

} // namespace

class TestFilters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newRowDefaults()
    {
        const Filter row;
        QCOMPARE(row.Data(), QString());
        QCOMPARE(row.LogicalOperator(), 0);
        QCOMPARE(row.ComparisonOperator(), 0);
        // "No value" is an empty string, not null: a null value stands for an
        // unreadable date.
        QVERIFY(row.Value().isValid());
        QCOMPARE(row.Value().toString(), QString());
    }

    void addAppendsAndRemoveShifts()
    {
        Filters rows;
        QCOMPARE(rows.Count(), 0);
        for (const char* name : {"a", "b", "c"})
            rows.Add(Row(QString::fromLatin1(name)));
        QCOMPARE(rows.Item(3).Data(), QStringLiteral("c"));
        rows.Remove(1);
        QStringList left;
        for (const Filter& row : rows)
            left << row.Data();
        QCOMPARE(left, QStringList({"b", "c"}));
        QCOMPARE(rows.Item(1).Data(), QStringLiteral("b"));
    }

    void outOfRangeIsAnError()
    {
        Filters rows;
        rows.Add(Row(QStringLiteral("a")));
        for (int index : {0, -3, 2}) {
            try {
                rows.Item(index);
                QFAIL("Item accepted a position outside the rows");
            } catch (const AppError& error) {
                QCOMPARE(error.Number(), 9L);
                QCOMPARE(error.Source(), QStringLiteral("Filters"));
            }
            QVERIFY_THROWS_EXCEPTION(AppError, rows.Remove(index));
        }
        QCOMPARE(rows.Count(), 1);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFilters)
#include "tst_Filters.moc"
