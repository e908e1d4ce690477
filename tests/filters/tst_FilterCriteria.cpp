#include "TestMain.h"
#include "filters/FilterCriteria.h"
#include "filters/Filters.h"

// How the record set evaluates a criteria text is tested with the record set,
// and applying the rows through the filter dialog; here: the text the rows make.
using namespace FilterCriteria;

namespace {

FilterRow Row(qint32 logical, const QString& column, qint32 kind, qint32 position,
              const QVariant& value)
{
    FilterRow row;
    row.LogicalOperator = logical;
    row.Data = column;
    row.Kind = kind;
    row.ComparisonOperator = position;
    row.Value = value;
    return row;
}

QVariant YesNo(int ticked)
{
    return QVariant::fromValue<qint16>(static_cast<qint16>(ticked));
}

// Eight dialog rows: the given ones, then empty rows.
QList<FilterRow> DialogRows(QList<FilterRow> rows)
{
    while (rows.size() < 8)
        rows << FilterRow();
    return rows;
}

} // namespace

class TestFilterCriteria : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valueKindsAndTheNewRowsValue()
    {
        for (int type : {129, 130, 200, 202})
            QCOMPARE(ValueKindOfType(type), TextKind);
        QCOMPARE(ValueKindOfType(11), YesNoKind);
        QCOMPARE(ValueKindOfType(135), DateTimeKind);
        for (int type : {2, 3, 4, 5, 6, 17, 131})
            QCOMPARE(ValueKindOfType(type), NumberKind);
        for (int type : {0, 7, 8, 14, 20, 72, 133, 201, 203, 204})
            QVERIFY2(ValueKindOfType(type) == NoValueKind, qPrintable(QString::number(type)));

        // A new row's "no value" is an empty string: null stands for an unreadable date.
        QVERIFY(Filter().Value().isValid());
        QCOMPARE(Filter().Value().toString(), QString());
    }

    // The name the box shows at each position writes that operator.
    void eachOperatorNameWritesItsOperator()
    {
        const std::pair<const char*, const char*> shown[] = {{"Equal to", "= 'v' "},
                                                             {"Greater than", "> 'v' "},
                                                             {"Less than", "< 'v' "},
                                                             {"Greater than or equal", ">= 'v' "},
                                                             {"Less than or equal", "<= 'v' "},
                                                             {"Not equal to", "<> 'v' "},
                                                             {"Starts with", "LIKE 'v*' "},
                                                             {"Contains", "LIKE '*v*' "}};
        const QList<OperatorChoice> box = OperatorList(TextKind);
        QCOMPARE(box.size(), 8);
        for (int position = 0; position < 8; ++position) {
            QCOMPARE(OperatorText(box.at(position)), QString::fromLatin1(shown[position].first));
            QCOMPARE(BuildCriteria({Row(-1, "C", TextKind, position, "v")}),
                     QStringLiteral("[C] ") + QLatin1String(shown[position].second));
        }
        QCOMPARE(OperatorList(YesNoKind),
                 QList<OperatorChoice>({{EqualTo, 506}, {NotEqualTo, 511}}));
        QCOMPARE(OperatorList(DateTimeKind), box.mid(0, 6));
        QCOMPARE(OperatorList(NumberKind), box.mid(0, 6));
        QVERIFY(OperatorList(2).isEmpty());
        QVERIFY(OperatorList(NoValueKind).isEmpty());
    }

    // The criteria text of the rows up to the first one without a column,
    // and the rows the list keeps.
    void criteria_data()
    {
        using Rows = QList<FilterRow>;
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("saved");
        const auto add = [](const char* name, const Rows& rows, const QString& expected,
                            int saved) { QTest::newRow(name) << rows << expected << saved; };
        add("yes", {Row(0, "Member", YesNoKind, 0, true)}, "[Member] = '1' ", 1);
        // Position 1 of a yes/no box is written with code 5.
        add("yes/no position 1", {Row(0, "Member", YesNoKind, 1, YesNo(0))}, "[Member] <> '0' ", 1);
        add("number", {Row(0, "Age", NumberKind, 3, "10")}, "[Age] >= '10' ", 1);
        add("date", {Row(0, "Joined", DateTimeKind, 2, "2005-03-05 09:07")},
            "[Joined] < '2005-03-05 09:07' ", 1);
        // An unreadable date is null and gives two adjacent apostrophes.
        add("null date", {Row(0, "Joined", DateTimeKind, 0, QVariant())}, "[Joined] = '' ", 1);
        // Values and names go in unchanged.
        add("blanks and quote", {Row(0, "First Name", TextKind, 7, " O'Brien; ")},
            "[First Name] LIKE '* O'Brien; *' ", 1);
        add("non-ascii name", {Row(0, QStringLiteral("Søren"), TextKind, 0, "")},
            QStringLiteral("[Søren] = '' "), 1);
        // Row 0's choice is never written; no choice on a later row is OR.
        add("joining words in row order",
            {Row(1, "Country", TextKind, 0, "Denmark"), Row(0, "Name", TextKind, 6, "Jo"),
             Row(1, "Col2", TextKind, 5, "x"), Row(-1, "Col3", TextKind, 0, "y")},
            "[Country] = 'Denmark' AND [Name] LIKE 'Jo*' OR [Col2] <> 'x' OR [Col3] = 'y' ", 4);
        add("rows after the first empty one are ignored",
            {Row(0, "A", TextKind, 0, "1"), Row(0, "", NoValueKind, -1, ""),
             Row(0, "C", TextKind, 0, "3")},
            "[A] = '1' ", 1);
        add("no column in the first row",
            {Row(0, "", NoValueKind, -1, ""), Row(0, "C", TextKind, 0, "3")}, "", 0);
        Rows eight;
        QString all;
        for (int i = 0; i < 8; ++i) {
            eight << Row(1, QStringLiteral("C%1").arg(i), NumberKind, 0, QString::number(i));
            all += QStringLiteral("%1[C%2] = '%2' ").arg(QLatin1String(i ? "OR " : "")).arg(i);
        }
        add("all eight rows", eight, all, 8);
    }

    void criteria()
    {
        QFETCH(QList<FilterRow>, rows);
        QFETCH(int, saved);
        QTEST(BuildCriteria(DialogRows(rows)), "expected");
        const Filters kept = SavedFilters(DialogRows(rows));
        QCOMPARE(kept.Count(), saved);
        // Positions are kept, not the codes written.
        for (int i = 1; i <= saved; ++i) {
            const FilterRow& row = rows.at(i - 1);
            QCOMPARE(kept.Item(i).Data(), row.Data);
            QCOMPARE(kept.Item(i).LogicalOperator(), row.LogicalOperator);
            QCOMPARE(kept.Item(i).ComparisonOperator(), row.ComparisonOperator);
            QCOMPARE(kept.Item(i).Value(), row.Value);
        }
    }

    void operatorOutsideTheKindsListIsAnError()
    {
        // No choice; yes/no has two; numbers have six; a kind without operators.
        const std::pair<int, int> rows[] = {
            {TextKind, -1}, {YesNoKind, 2}, {NumberKind, 6}, {2, 0}};
        for (const auto& [kind, position] : rows)
            QVERIFY_THROWS_EXCEPTION(AppError, BuildCriteria({Row(0, "A", TextKind, 0, QString()),
                                                              Row(0, "B", kind, position, "")}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFilterCriteria)
#include "tst_FilterCriteria.moc"
