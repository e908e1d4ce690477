#include "TestMain.h"
#include "base/AppError.h"
#include "filters/Filters.h"

class TestFilters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // "No value" is an empty string, not null: a null value stands for an
    // unreadable date.
    void newRowHasAnEmptyValue()
    {
        const Filter row;
        QVERIFY(row.Value().isValid());
        QCOMPARE(row.Value().toString(), QString());
    }

    void rowsAreAddressedFromOne()
    {
        Filters rows;
        for (const char* name : {"a", "b", "c"}) {
            Filter row;
            row.SetData(QString::fromLatin1(name));
            rows.Add(row);
        }
        rows.Remove(1);
        QStringList left;
        for (const Filter& row : rows)
            left << row.Data();
        QCOMPARE(left, QStringList({"b", "c"}));
        QCOMPARE(rows.Item(1).Data(), QStringLiteral("b"));
        for (int index : {0, -3, 3}) {
            const auto error = [&] {
                try {
                    rows.Item(index);
                } catch (const AppError& e) {
                    return e.Number();
                }
                return 0L;
            };
            QCOMPARE(error(), 9L);
            QVERIFY_THROWS_EXCEPTION(AppError, rows.Remove(index));
        }
        QCOMPARE(rows.Count(), 2);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFilters)
#include "tst_Filters.moc"
