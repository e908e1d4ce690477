#include "TestMain.h"
#include "filters/FilterCriteria.h"
#include "platform/recordset/Recordset.h"
#include "recipients/RecipientList.h"

// How the record set evaluates a criteria text is tested with the record set;
// here: the text the dialog's rows make, and what applying it keeps.
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

Recordset Recipients()
{
    Recordset set;
    set.AppendField(QStringLiteral("Name"), AdoType::VarWChar, 4000);
    set.AppendField(QStringLiteral("Country"), AdoType::VarChar, 4000);
    set.AppendField(QStringLiteral("Age"), AdoType::Integer, 4);
    set.Open();
    set.AppendRow(QVariantList{"Jonas", "Denmark", 9});
    set.AppendRow(QVariantList{"Joan", "Norway", 10});
    set.AppendRow(QVariantList{"Anna Jokinen", "Denmark", 41});
    set.AppendRow(QVariantList{"Bo", "Sweden", QVariant()});
    return set;
}

QStringList VisibleNames(Recordset& set)
{
    QStringList names;
    for (int row = 0; row < set.RecordCount(); ++row)
        names << set.ValueAt(row, 0).toString();
    return names;
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
        const std::pair<const char*, const char*> shown[] = {
            {"Equal to", "= 'v' "},          {"Greater than", "> 'v' "},
            {"Less than", "< 'v' "},         {"Greater than or equal", ">= 'v' "},
            {"Less than or equal", "<= 'v' "}, {"Not equal to", "<> 'v' "},
            {"Starts with", "LIKE 'v*' "},   {"Contains", "LIKE '*v*' "}};
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
        QTest::newRow("yes") << Rows{Row(0, "Member", YesNoKind, 0, true)} << "[Member] = '1' " << 1;
        // Position 1 of a yes/no box is written with code 5.
        QTest::newRow("yes/no position 1")
            << Rows{Row(0, "Member", YesNoKind, 1, YesNo(0))} << "[Member] <> '0' " << 1;
        QTest::newRow("number") << Rows{Row(0, "Age", NumberKind, 3, "10")} << "[Age] >= '10' " << 1;
        QTest::newRow("date") << Rows{Row(0, "Joined", DateTimeKind, 2, "2005-03-05 09:07")}
                              << "[Joined] < '2005-03-05 09:07' " << 1;
        // An unreadable date is null and gives two adjacent apostrophes.
        QTest::newRow("null date") << Rows{Row(0, "Joined", DateTimeKind, 0, QVariant())}
                                   << "[Joined] = '' " << 1;
        // Values and names go in unchanged.
        QTest::newRow("blanks and quote") << Rows{Row(0, "First Name", TextKind, 7, " O'Brien; ")}
                                          << "[First Name] LIKE '* O'Brien; *' " << 1;
        QTest::newRow("non-ascii name") << Rows{Row(0, QStringLiteral("Søren"), TextKind, 0, "")}
                                        << QStringLiteral("[Søren] = '' ") << 1;
        // Row 0's choice is never written; no choice on a later row is OR.
        QTest::newRow("joining words in row order")
            << Rows{Row(1, "Country", TextKind, 0, "Denmark"), Row(0, "Name", TextKind, 6, "Jo"),
                    Row(1, "Col2", TextKind, 5, "x"), Row(-1, "Col3", TextKind, 0, "y")}
            << "[Country] = 'Denmark' AND [Name] LIKE 'Jo*' OR [Col2] <> 'x' OR [Col3] = 'y' " << 4;
        QTest::newRow("rows after the first empty one are ignored")
            << Rows{Row(0, "A", TextKind, 0, "1"), Row(0, "", NoValueKind, -1, ""),
                    Row(0, "C", TextKind, 0, "3")}
            << "[A] = '1' " << 1;
        QTest::newRow("no column in the first row")
            << Rows{Row(0, "", NoValueKind, -1, ""), Row(0, "C", TextKind, 0, "3")} << "" << 0;
        Rows eight;
        QString all;
        for (int i = 0; i < 8; ++i) {
            eight << Row(1, QStringLiteral("C%1").arg(i), NumberKind, 0, QString::number(i));
            all += QStringLiteral("%1[C%2] = '%2' ").arg(QLatin1String(i ? "OR " : "")).arg(i);
        }
        QTest::newRow("all eight rows") << eight << all << 8;
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
        const std::pair<int, int> rows[] = {{TextKind, -1}, {YesNoKind, 2}, {NumberKind, 6}, {2, 0}};
        for (const auto& [kind, position] : rows)
            QVERIFY_THROWS_EXCEPTION(AppError, BuildCriteria({Row(0, "A", TextKind, 0, QString()),
                                                              Row(0, "B", kind, position, "")}));
    }

    // Applied over an earlier filter with the cursor on its second record:
    // only a filter that some record passes replaces the list's rows; one
    // that none passes, or a refused one, leaves the filter and the rows as
    // they were (a refused one the cursor too).
    void applyingRows_data()
    {
        QTest::addColumn<QList<FilterRow>>("rows");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<long>("error");
        const QStringList earlier{"Jonas", "Anna Jokinen"};
        QTest::newRow("across kinds")
            << QList<FilterRow>{Row(0, "Country", TextKind, 0, "Sweden"),
                                Row(1, "Age", NumberKind, 4, "9")}
            << false << int(ApplyResult::Applied) << QStringList{"Jonas", "Bo"} << 0L;
        QTest::newRow("no rows clear the filter")
            << QList<FilterRow>{} << false << int(ApplyResult::Applied)
            << QStringList{"Jonas", "Joan", "Anna Jokinen", "Bo"} << 0L;
        // The earlier filter comes back, as the list keeps its rows.
        QTest::newRow("no record passes")
            << QList<FilterRow>{Row(0, "Country", TextKind, 0, "Iceland")} << false
            << int(ApplyResult::NoRecords) << earlier << 0L;
        QTest::newRow("closed record set") << QList<FilterRow>{Row(0, "Name", TextKind, 0, "Bo")}
                                           << true << int(ApplyResult::NotOpen) << QStringList() << 0L;
        // Refused by the record set (the value goes in unescaped, so the
        // apostrophe ends it early), or before it by the builder.
        const int rejected = ApplyResult::Rejected;
        QTest::newRow("apostrophe") << QList<FilterRow>{Row(0, "Name", TextKind, 6, "O'B")} << false
                                    << rejected << earlier << long(Recordset::ErrCriteria);
        QTest::newRow("operator outside the list")
            << QList<FilterRow>{Row(0, "Member", YesNoKind, 4, YesNo(1))} << false << rejected
            << earlier << 5L;
    }

    void applyingRows()
    {
        QFETCH(QList<FilterRow>, rows);
        QFETCH(bool, closed);
        QFETCH(int, outcome);
        QFETCH(QStringList, names);
        QFETCH(long, error);
        Recordset recipients = Recipients();
        RecipientList list;
        const QList<FilterRow> earlier = {Row(0, "Country", TextKind, 0, "Denmark")};
        QCOMPARE(int(ApplyFilterRows(recipients, list.Filters(), earlier).Result),
                 int(ApplyResult::Applied));
        recipients.MoveNext();
        const QString earlierFilter = recipients.Filter();
        if (closed)
            recipients.Close();

        const ApplyResult result = ApplyFilterRows(recipients, list.Filters(), DialogRows(rows));
        QCOMPARE(int(result.Result), outcome);
        QCOMPARE(list.Filters(), SavedFilters(outcome == ApplyResult::Applied ? rows : earlier));
        QCOMPARE(result.Error ? result.Error->Number() : 0L, error);
        if (closed) {
            QCOMPARE(recipients.State(), int(Recordset::StateClosed));
            return;
        }
        QCOMPARE(VisibleNames(recipients), names);
        if (outcome == ApplyResult::Rejected) {
            QVERIFY(!result.Error->Description().isEmpty());
            QCOMPARE(recipients.CurrentRow(), 1);
        }
        if (outcome != ApplyResult::Applied) {
            QCOMPARE(recipients.Filter(), earlierFilter);
        } else {
            QCOMPARE(result.RecordCount, names.size());
            QCOMPARE(recipients.Filter().trimmed(), result.Criteria.trimmed());
        }
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFilterCriteria)
#include "tst_FilterCriteria.moc"
