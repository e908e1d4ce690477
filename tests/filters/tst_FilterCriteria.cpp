#include "TestMain.h"
#include "filters/FilterCriteria.h"
#include "platform/recordset/Recordset.h"
#include "recipients/RecipientList.h"

#include <QDateTime>

using namespace FilterCriteria;

namespace {

FilterRow Row(qint32 logical, const QString& column, qint32 kind, qint32 position, const QVariant& value)
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

// The imported recipients, with one column of every value kind and one the
// filter does not offer.
Recordset Recipients()
{
    Recordset set;
    set.AppendField(QStringLiteral("Name"), AdoType::VarWChar, 4000);
    set.AppendField(QStringLiteral("Country"), AdoType::VarChar, 4000);
    set.AppendField(QStringLiteral("Member"), AdoType::Boolean, 2);
    set.AppendField(QStringLiteral("Joined"), AdoType::DBTimeStamp, 16);
    set.AppendField(QStringLiteral("Age"), AdoType::Integer, 4);
    set.AppendField(QStringLiteral("Notes"), AdoType::LongVarWChar, 64000);
    set.Open();
    const auto joined = [](const char* text) {
        return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm"));
    };
    set.AppendRow(QVariantList{"Jonas", "Denmark", true, joined("2005-03-05 09:07"), 9, "a"});
    set.AppendRow(QVariantList{"Joan", "Norway", false, joined("2005-03-05 09:06"), 10, "b"});
    set.AppendRow(QVariantList{"Anna Jokinen", "Denmark", false, joined("2006-01-01 00:00"), 41, "c"});
    set.AppendRow(QVariantList{"Bo", "Sweden", true, QVariant(), QVariant(), "d"});
    return set;
}

QStringList VisibleNames(Recordset& set)
{
    QStringList names;
    for (int row = 0; row < set.RecordCount(); ++row)
        names << set.ValueAt(row, 0).toString();
    return names;
}

Filters OneSavedRow(const QString& column)
{
    Filters saved;
    Filter row;
    row.SetData(column);
    row.SetValue(QStringLiteral("kept"));
    saved.Add(row);
    return saved;
}

} // namespace

class TestFilterCriteria : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valueKindsFromAdoTypes()
    {
        for (int type : {129, 130, 200, 202})
            QCOMPARE(ValueKindOfType(type), TextKind);
        QCOMPARE(ValueKindOfType(11), YesNoKind);
        QCOMPARE(ValueKindOfType(135), DateTimeKind);
        for (int type : {2, 3, 4, 5, 6, 17, 131})
            QCOMPARE(ValueKindOfType(type), NumberKind);
        // Near misses that are not offered.
        for (int type : {0, 7, 8, 14, 16, 20, 72, 128, 133, 134, 201, 203, 204})
            QVERIFY2(ValueKindOfType(type) == NoValueKind, qPrintable(QString::number(type)));
    }

    void operatorListsInBoxOrder()
    {
        const QList<OperatorChoice> text = OperatorList(TextKind);
        QList<qint32> codes;
        QList<int> ids;
        for (const OperatorChoice& choice : text) {
            codes << choice.Code;
            ids << choice.TextId;
        }
        QCOMPARE(codes, QList<qint32>({0, 1, 2, 3, 4, 5, 6, 7}));
        // "Less than" (510) is listed third, before 508 and 509.
        QCOMPARE(ids, QList<int>({506, 507, 510, 508, 509, 511, 512, 513}));
        QCOMPARE(OperatorText(text.at(2)), QStringLiteral("Less than"));

        QCOMPARE(OperatorList(YesNoKind), QList<OperatorChoice>({{EqualTo, 506}, {NotEqualTo, 511}}));
        QCOMPARE(OperatorList(DateTimeKind), text.mid(0, 6));
        QCOMPARE(OperatorList(NumberKind), text.mid(0, 6));
        QVERIFY(OperatorList(2).isEmpty());
        QVERIFY(OperatorList(NoValueKind).isEmpty());
    }

    void criteriaOfOneRow_data()
    {
        QTest::addColumn<FilterRow>("row");
        QTest::addColumn<QString>("expected");
        const char* texts[] = {"= 'abc' ", "> 'abc' ", "< 'abc' ", ">= 'abc' ",
                               "<= 'abc' ", "<> 'abc' ", "LIKE 'abc*' ", "LIKE '*abc*' "};
        for (int position = 0; position < 8; ++position)
            QTest::addRow("text %d", position) << Row(-1, "Col", TextKind, position, "abc")
                                               << QStringLiteral("[Col] ") + QLatin1String(texts[position]);
        QTest::newRow("yes") << Row(0, "Member", YesNoKind, 0, YesNo(1)) << "[Member] = '1' ";
        // Position 1 of a yes/no box is written with code 5.
        QTest::newRow("yes/no position 1") << Row(0, "Member", YesNoKind, 1, YesNo(0)) << "[Member] <> '0' ";
        QTest::newRow("number") << Row(0, "Age", NumberKind, 3, "10") << "[Age] >= '10' ";
        QTest::newRow("date") << Row(0, "Joined", DateTimeKind, 2, "2005-03-05 09:07")
                              << "[Joined] < '2005-03-05 09:07' ";
        // An unreadable date is null and gives two adjacent apostrophes.
        QTest::newRow("null date") << Row(0, "Joined", DateTimeKind, 0, QVariant()) << "[Joined] = '' ";
        // Values and names go in unchanged.
        QTest::newRow("blanks and quote") << Row(0, "First Name", TextKind, 7, " O'Brien; ")
                                          << "[First Name] LIKE '* O'Brien; *' ";
        QTest::newRow("non-ascii name") << Row(0, QStringLiteral("Søren"), TextKind, 0, QString())
                                        << QStringLiteral("[Søren] = '' ");
    }

    void criteriaOfOneRow()
    {
        QFETCH(FilterRow, row);
        QFETCH(QString, expected);
        QCOMPARE(BuildCriteria({row}), expected);
    }

    void yesNoValuesAreWrittenAsDigits()
    {
        QCOMPARE(ValueText(true), QStringLiteral("1"));
        QCOMPARE(ValueText(false), QStringLiteral("0"));
    }

    void joiningWordsFollowRowOrder()
    {
        const QList<FilterRow> rows = DialogRows({
            Row(1, "Country", TextKind, 0, "Denmark"),
            Row(0, "Name", TextKind, 6, "Jo"),
            Row(1, "Col2", TextKind, 5, "x"),
            Row(-1, "Col3", TextKind, 0, "y"),
        });
        // Row 0's choice is never written; no choice on a later row is OR.
        QCOMPARE(BuildCriteria(rows),
                 QStringLiteral("[Country] = 'Denmark' AND [Name] LIKE 'Jo*' OR [Col2] <> 'x' OR [Col3] = 'y' "));
    }

    void rowsAfterTheFirstEmptyOneAreIgnored()
    {
        QList<FilterRow> rows = DialogRows({
            Row(0, "A", TextKind, 0, "1"),
            Row(0, QString(), NoValueKind, -1, QString()),
            Row(0, "C", TextKind, 0, "3"),
        });
        QCOMPARE(BuildCriteria(rows), QStringLiteral("[A] = '1' "));
        const Filters saved = SavedFilters(rows);
        QCOMPARE(saved.Count(), 1);
        QCOMPARE(saved.Item(1).Data(), QStringLiteral("A"));

        rows[0].Data.clear();
        QCOMPARE(BuildCriteria(rows), QString());
        QCOMPARE(SavedFilters(rows).Count(), 0);
    }

    void allEightRowsTakePart()
    {
        QList<FilterRow> rows;
        for (int i = 0; i < 8; ++i)
            rows << Row(1, QStringLiteral("C%1").arg(i), NumberKind, 0, QString::number(i));
        const QString criteria = BuildCriteria(rows);
        QVERIFY(criteria.endsWith(QStringLiteral("OR [C7] = '7' ")));
        QCOMPARE(criteria.count(QStringLiteral("OR ")), 7);
        QCOMPARE(SavedFilters(rows).Count(), 8);
    }

    void savedRowsKeepPositionsNotCodes()
    {
        const Filters saved = SavedFilters({Row(-1, "Member", YesNoKind, 1, YesNo(1)),
                                            Row(1, "Joined", DateTimeKind, 0, QVariant())});
        QCOMPARE(saved.Count(), 2);
        QCOMPARE(saved.Item(1).ComparisonOperator(), 1);
        QCOMPARE(saved.Item(1).LogicalOperator(), -1);
        QCOMPARE(saved.Item(1).Value(), YesNo(1));
        QCOMPARE(saved.Item(2).LogicalOperator(), 1);
        QVERIFY(!saved.Item(2).Value().isValid());
    }

    void operatorOutsideTheKindsListIsAnError()
    {
        // No choice; yes/no has two; numbers have six; a kind without operators.
        const std::pair<int, int> rows[] = {{TextKind, -1}, {YesNoKind, 2}, {NumberKind, 6}, {2, 0}};
        for (const auto& [kind, position] : rows)
            QVERIFY_THROWS_EXCEPTION(AppError, BuildCriteria({Row(0, "A", TextKind, 0, QString()),
                                                              Row(0, "B", kind, position, QString())}));
    }

    // --- applying to a real record set ---

    void filtersTypedColumns_data()
    {
        QTest::addColumn<QList<FilterRow>>("rows");
        QTest::addColumn<QStringList>("names");

        QTest::newRow("text equal") << QList<FilterRow>{Row(0, "Country", TextKind, 0, "Denmark")}
                                    << QStringList{"Jonas", "Anna Jokinen"};
        QTest::newRow("starts with") << QList<FilterRow>{Row(0, "Name", TextKind, 6, "Jo")}
                                     << QStringList{"Jonas", "Joan"};
        QTest::newRow("contains, any case") << QList<FilterRow>{Row(0, "Name", TextKind, 7, "jo")}
                                            << QStringList{"Jonas", "Joan", "Anna Jokinen"};
        QTest::newRow("text and") << QList<FilterRow>{Row(0, "Country", TextKind, 0, "Denmark"),
                                                      Row(0, "Name", TextKind, 6, "Jo")}
                                  << QStringList{"Jonas"};
        QTest::newRow("yes/no ticked") << QList<FilterRow>{Row(0, "Member", YesNoKind, 0, YesNo(1))}
                                       << QStringList{"Jonas", "Bo"};
        QTest::newRow("yes/no not equal to ticked") << QList<FilterRow>{Row(0, "Member", YesNoKind, 1, YesNo(1))}
                                                    << QStringList{"Joan", "Anna Jokinen"};
        // Quoted like text, compared as numbers: '10' is above '9'. A null
        // age passes no comparison.
        QTest::newRow("number greater") << QList<FilterRow>{Row(0, "Age", NumberKind, 1, "9")}
                                        << QStringList{"Joan", "Anna Jokinen"};
        QTest::newRow("number not equal skips null") << QList<FilterRow>{Row(0, "Age", NumberKind, 5, "10")}
                                                     << QStringList{"Jonas", "Anna Jokinen"};
        QTest::newRow("date to the minute")
            << QList<FilterRow>{Row(0, "Joined", DateTimeKind, 3, "2005-03-05 09:07")}
            << QStringList{"Jonas", "Anna Jokinen"};
        QTest::newRow("or across kinds") << QList<FilterRow>{Row(0, "Country", TextKind, 0, "Sweden"),
                                                             Row(1, "Age", NumberKind, 4, "9")}
                                         << QStringList{"Jonas", "Bo"};
    }

    void filtersTypedColumns()
    {
        QFETCH(QList<FilterRow>, rows);
        QFETCH(QStringList, names);
        Recordset recipients = Recipients();
        RecipientList list;
        const ApplyResult result = ApplyFilterRows(recipients, list.Filters(), DialogRows(rows));
        QCOMPARE(int(result.Result), int(ApplyResult::Applied));
        QVERIFY(!result.Error);
        QCOMPARE(result.RecordCount, names.size());
        QCOMPARE(recipients.Filter(), result.Criteria);
        QCOMPARE(VisibleNames(recipients), names);
        QCOMPARE(list.Filters(), SavedFilters(rows));
    }

    void newFilterStartsFromAllRows()
    {
        Recordset recipients = Recipients();
        RecipientList list;
        ApplyFilterRows(recipients, list.Filters(), {Row(0, "Country", TextKind, 0, "Norway")});
        QCOMPARE(recipients.RecordCount(), 1);
        const ApplyResult result = ApplyFilterRows(recipients, list.Filters(), {Row(0, "Country", TextKind, 0, "Denmark")});
        QCOMPARE(result.RecordCount, 2);
        QCOMPARE(VisibleNames(recipients), QStringList({"Jonas", "Anna Jokinen"}));
    }

    void noRowsClearsTheFilterAndTheSavedRows()
    {
        Recordset recipients = Recipients();
        recipients.SetFilter(QStringLiteral("[Country] = 'Norway' "));
        RecipientList list;
        list.SetFilters(OneSavedRow("Country"));
        const ApplyResult result = ApplyFilterRows(recipients, list.Filters(), DialogRows({}));
        QCOMPARE(int(result.Result), int(ApplyResult::Applied));
        QCOMPARE(result.Criteria, QString());
        QCOMPARE(recipients.Filter().trimmed(), QString());
        QCOMPARE(recipients.RecordCount(), 4);
        QCOMPARE(list.Filters().Count(), 0);
    }

    void noRecordKeepsTheFilterButNotTheRows()
    {
        Recordset recipients = Recipients();
        RecipientList list;
        list.SetFilters(OneSavedRow("Country"));
        const ApplyResult result =
            ApplyFilterRows(recipients, list.Filters(), DialogRows({Row(0, "Country", TextKind, 0, "Iceland")}));
        QCOMPARE(int(result.Result), int(ApplyResult::NoRecords));
        QCOMPARE(result.RecordCount, 0);
        // The record set shows no one until a wider filter is confirmed...
        QCOMPARE(recipients.Filter(), QStringLiteral("[Country] = 'Iceland' "));
        QCOMPARE(recipients.RecordCount(), 0);
        QVERIFY(recipients.AtBOF() && recipients.AtEOF());
        // ...and the list keeps the rows it had.
        QCOMPARE(list.Filters(), OneSavedRow("Country"));
    }

    void closedRecordSetChangesNothing()
    {
        Recordset recipients = Recipients();
        recipients.Close();
        RecipientList list;
        list.SetFilters(OneSavedRow("Name"));
        const ApplyResult result = ApplyFilterRows(recipients, list.Filters(), {Row(0, "Name", TextKind, 0, "Bo")});
        QCOMPARE(int(result.Result), int(ApplyResult::NotOpen));
        QCOMPARE(list.Filters(), OneSavedRow("Name"));
        QCOMPARE(recipients.State(), int(Recordset::StateClosed));
    }

    void refusedCriteriaLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<FilterRow>("row");
        // The value goes in unescaped, so the apostrophe ends it early; the
        // record set itself refuses it.
        QTest::newRow("apostrophe") << Row(0, "Name", TextKind, 6, "O'B");
        QTest::newRow("unreadable date") << Row(0, "Joined", DateTimeKind, 0, QVariant());
        QTest::newRow("empty number") << Row(0, "Age", NumberKind, 0, QString());
        QTest::newRow("column gone") << Row(0, "Town", TextKind, 0, "Ry");
        QTest::newRow("operator outside the list") << Row(0, "Member", YesNoKind, 4, YesNo(1));
    }

    void refusedCriteriaLeaveEverythingAsItWas()
    {
        QFETCH(FilterRow, row);
        Recordset recipients = Recipients();
        RecipientList list;
        const QList<FilterRow> earlier = {Row(0, "Country", TextKind, 0, "Denmark")};
        QCOMPARE(int(ApplyFilterRows(recipients, list.Filters(), earlier).Result), int(ApplyResult::Applied));
        recipients.MoveNext();
        const QString earlierFilter = recipients.Filter();

        const ApplyResult result = ApplyFilterRows(recipients, list.Filters(), DialogRows({row}));
        QCOMPARE(int(result.Result), int(ApplyResult::Rejected));
        QVERIFY(result.Error.has_value());
        QVERIFY(!result.Error->Description().isEmpty());
        if (QByteArray(QTest::currentDataTag()) == "apostrophe") {
            QCOMPARE(result.Criteria, QStringLiteral("[Name] LIKE 'O'B*' "));
            QCOMPARE(result.Error->Number(), long(Recordset::ErrCriteria));
        }
        QCOMPARE(recipients.Filter(), earlierFilter);
        QCOMPARE(recipients.RecordCount(), 2);
        QCOMPARE(recipients.CurrentRow(), 1);
        QCOMPARE(list.Filters(), SavedFilters(earlier));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFilterCriteria)
#include "tst_FilterCriteria.moc"
