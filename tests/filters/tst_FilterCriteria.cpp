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
    set.AppendRow(QVariantList{QStringLiteral("Jonas"), QStringLiteral("Denmark"), true,
                               joined("2005-03-05 09:07"), 9, QStringLiteral("a")});
    set.AppendRow(QVariantList{QStringLiteral("Joan"), QStringLiteral("Norway"), false,
                               joined("2005-03-05 09:06"), 10, QStringLiteral("b")});
    set.AppendRow(QVariantList{QStringLiteral("Anna Jokinen"), QStringLiteral("Denmark"), false,
                               joined("2006-01-01 00:00"), 41, QStringLiteral("c")});
    set.AppendRow(QVariantList{QStringLiteral("Bo"), QStringLiteral("Sweden"), true, QVariant(),
                               QVariant(), QStringLiteral("d")});
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
    void valueKindsFromAdoTypes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("kind");
        for (int type : {129, 130, 200, 202})
            QTest::addRow("text %d", type) << type << int(TextKind);
        QTest::newRow("boolean") << 11 << int(YesNoKind);
        QTest::newRow("timestamp") << 135 << int(DateTimeKind);
        for (int type : {2, 3, 4, 5, 6, 17, 131})
            QTest::addRow("number %d", type) << type << int(NumberKind);
        // Near misses that are not offered.
        for (int type : {0, 7, 8, 14, 16, 20, 72, 128, 133, 134, 201, 203, 204})
            QTest::addRow("none %d", type) << type << int(NoValueKind);
    }

    void valueKindsFromAdoTypes()
    {
        QFETCH(int, type);
        QFETCH(int, kind);
        QCOMPARE(int(ValueKindOfType(type)), kind);
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
        QStringList texts;
        for (const OperatorChoice& choice : text)
            texts << OperatorText(choice);
        QCOMPARE(texts, QStringList({"Equal to", "Greater than", "Less than", "Greater than or equal",
                                     "Less than or equal", "Not equal to", "Starts with", "Contains"}));

        QCOMPARE(OperatorList(YesNoKind),
                 QList<OperatorChoice>({{EqualTo, 506}, {NotEqualTo, 511}}));
        QCOMPARE(OperatorList(DateTimeKind), text.mid(0, 6));
        QCOMPARE(OperatorList(NumberKind), text.mid(0, 6));
        QVERIFY(OperatorList(2).isEmpty());
        QVERIFY(OperatorList(NoValueKind).isEmpty());
    }

    void everyTextOperator_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("expected");
        QTest::newRow("equal") << 0 << "[Col] = 'abc' ";
        QTest::newRow("greater") << 1 << "[Col] > 'abc' ";
        QTest::newRow("less") << 2 << "[Col] < 'abc' ";
        QTest::newRow("greater or equal") << 3 << "[Col] >= 'abc' ";
        QTest::newRow("less or equal") << 4 << "[Col] <= 'abc' ";
        QTest::newRow("not equal") << 5 << "[Col] <> 'abc' ";
        QTest::newRow("starts with") << 6 << "[Col] LIKE 'abc*' ";
        QTest::newRow("contains") << 7 << "[Col] LIKE '*abc*' ";
    }

    void everyTextOperator()
    {
        QFETCH(int, position);
        QFETCH(QString, expected);
        QCOMPARE(BuildCriteria({Row(-1, QStringLiteral("Col"), TextKind, position, QStringLiteral("abc"))}),
                 expected);
    }

    void joiningWordsFollowRowOrder()
    {
        const QList<FilterRow> rows = DialogRows({
            Row(1, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Denmark")),
            Row(0, QStringLiteral("Name"), TextKind, 6, QStringLiteral("Jo")),
            Row(1, QStringLiteral("Col2"), TextKind, 5, QStringLiteral("x")),
            Row(-1, QStringLiteral("Col3"), TextKind, 0, QStringLiteral("y")),
        });
        // Row 0's choice is never written; no choice on a later row is OR.
        QCOMPARE(BuildCriteria(rows),
                 QStringLiteral("[Country] = 'Denmark' AND [Name] LIKE 'Jo*' OR [Col2] <> 'x' OR [Col3] = 'y' "));
    }

    void valuesOfEachKind()
    {
        QCOMPARE(BuildCriteria({Row(0, QStringLiteral("Member"), YesNoKind, 0, YesNo(1))}),
                 QStringLiteral("[Member] = '1' "));
        // Position 1 of a yes/no box is written with code 5.
        QCOMPARE(BuildCriteria({Row(0, QStringLiteral("Member"), YesNoKind, 1, YesNo(0))}),
                 QStringLiteral("[Member] <> '0' "));
        QCOMPARE(BuildCriteria({Row(0, QStringLiteral("Age"), NumberKind, 3, QStringLiteral("10"))}),
                 QStringLiteral("[Age] >= '10' "));
        QCOMPARE(BuildCriteria({Row(0, QStringLiteral("Joined"), DateTimeKind, 2,
                                    QStringLiteral("2005-03-05 09:07"))}),
                 QStringLiteral("[Joined] < '2005-03-05 09:07' "));
        // An unreadable date is null and gives two adjacent apostrophes.
        QCOMPARE(BuildCriteria({Row(0, QStringLiteral("Joined"), DateTimeKind, 0, QVariant())}),
                 QStringLiteral("[Joined] = '' "));
        QCOMPARE(ValueText(true), QStringLiteral("1"));
        QCOMPARE(ValueText(false), QStringLiteral("0"));
    }

    void valuesAndNamesGoInUnchanged()
    {
        QCOMPARE(BuildCriteria({Row(0, QStringLiteral("First Name"), TextKind, 7, QStringLiteral(" O'Brien; "))}),
                 QStringLiteral("[First Name] LIKE '* O'Brien; *' "));
        QCOMPARE(BuildCriteria({Row(0, QStringLiteral("Søren"), TextKind, 0, QString())}),
                 QStringLiteral("[Søren] = '' "));
    }

    void rowsAfterTheFirstEmptyOneAreIgnored()
    {
        QList<FilterRow> rows = DialogRows({
            Row(0, QStringLiteral("A"), TextKind, 0, QStringLiteral("1")),
            Row(0, QString(), NoValueKind, -1, QString()),
            Row(0, QStringLiteral("C"), TextKind, 0, QStringLiteral("3")),
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
        const QList<FilterRow> rows = {
            Row(-1, QStringLiteral("Member"), YesNoKind, 1, YesNo(1)),
            Row(1, QStringLiteral("Joined"), DateTimeKind, 0, QVariant()),
        };
        const Filters saved = SavedFilters(rows);
        QCOMPARE(saved.Count(), 2);
        QCOMPARE(saved.Item(1).ComparisonOperator(), 1);
        QCOMPARE(saved.Item(1).LogicalOperator(), -1);
        QCOMPARE(saved.Item(1).Value(), YesNo(1));
        QCOMPARE(saved.Item(2).LogicalOperator(), 1);
        QVERIFY(!saved.Item(2).Value().isValid());
    }

    void operatorOutsideTheKindsListIsAnError_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("position");
        QTest::newRow("none chosen") << int(TextKind) << -1;
        QTest::newRow("yes/no has two") << int(YesNoKind) << 2;
        QTest::newRow("number has six") << int(NumberKind) << 6;
        QTest::newRow("kind without operators") << 2 << 0;
    }

    void operatorOutsideTheKindsListIsAnError()
    {
        QFETCH(int, kind);
        QFETCH(int, position);
        QVERIFY_THROWS_EXCEPTION(AppError, BuildCriteria({Row(0, QStringLiteral("A"), TextKind, 0, QString()),
                                                          Row(0, QStringLiteral("B"), kind, position, QString())}));
    }

    // --- applying to a real record set ---

    void filtersTypedColumns_data()
    {
        QTest::addColumn<QList<FilterRow>>("rows");
        QTest::addColumn<QStringList>("names");

        QTest::newRow("text equal")
            << QList<FilterRow>{Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Denmark"))}
            << QStringList{"Jonas", "Anna Jokinen"};
        QTest::newRow("starts with")
            << QList<FilterRow>{Row(0, QStringLiteral("Name"), TextKind, 6, QStringLiteral("Jo"))}
            << QStringList{"Jonas", "Joan"};
        QTest::newRow("contains")
            << QList<FilterRow>{Row(0, QStringLiteral("Name"), TextKind, 7, QStringLiteral("jo"))}
            << QStringList{"Jonas", "Joan", "Anna Jokinen"};
        QTest::newRow("text and")
            << QList<FilterRow>{Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Denmark")),
                                Row(0, QStringLiteral("Name"), TextKind, 6, QStringLiteral("Jo"))}
            << QStringList{"Jonas"};
        QTest::newRow("yes/no ticked")
            << QList<FilterRow>{Row(0, QStringLiteral("Member"), YesNoKind, 0, YesNo(1))}
            << QStringList{"Jonas", "Bo"};
        QTest::newRow("yes/no not equal to ticked")
            << QList<FilterRow>{Row(0, QStringLiteral("Member"), YesNoKind, 1, YesNo(1))}
            << QStringList{"Joan", "Anna Jokinen"};
        // Quoted like text, compared as numbers: '10' is above '9'. A null
        // age passes no comparison.
        QTest::newRow("number greater")
            << QList<FilterRow>{Row(0, QStringLiteral("Age"), NumberKind, 1, QStringLiteral("9"))}
            << QStringList{"Joan", "Anna Jokinen"};
        QTest::newRow("number not equal skips null")
            << QList<FilterRow>{Row(0, QStringLiteral("Age"), NumberKind, 5, QStringLiteral("10"))}
            << QStringList{"Jonas", "Anna Jokinen"};
        QTest::newRow("date to the minute")
            << QList<FilterRow>{Row(0, QStringLiteral("Joined"), DateTimeKind, 3, QStringLiteral("2005-03-05 09:07"))}
            << QStringList{"Jonas", "Anna Jokinen"};
        QTest::newRow("date less than")
            << QList<FilterRow>{Row(0, QStringLiteral("Joined"), DateTimeKind, 2, QStringLiteral("2005-03-05 09:07"))}
            << QStringList{"Joan"};
        QTest::newRow("or across kinds")
            << QList<FilterRow>{Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Sweden")),
                                Row(1, QStringLiteral("Age"), NumberKind, 4, QStringLiteral("9"))}
            << QStringList{"Jonas", "Bo"};
        QTest::newRow("row after an empty one ignored")
            << QList<FilterRow>{Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Norway")),
                                FilterRow(),
                                Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Denmark"))}
            << QStringList{"Joan"};
    }

    void filtersTypedColumns()
    {
        QFETCH(QList<FilterRow>, rows);
        QFETCH(QStringList, names);
        Recordset recipients = Recipients();
        RecipientList list;
        const ApplyResult result = ApplyFilterRows(recipients, list, DialogRows(rows));
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
        ApplyFilterRows(recipients, list, {Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Norway"))});
        QCOMPARE(recipients.RecordCount(), 1);
        const ApplyResult result = ApplyFilterRows(
            recipients, list, {Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Denmark"))});
        QCOMPARE(result.RecordCount, 2);
        QCOMPARE(VisibleNames(recipients), QStringList({QStringLiteral("Jonas"), QStringLiteral("Anna Jokinen")}));
    }

    void noRowsClearsTheFilterAndTheSavedRows()
    {
        Recordset recipients = Recipients();
        recipients.SetFilter(QStringLiteral("[Country] = 'Norway' "));
        RecipientList list;
        list.SetFilters(OneSavedRow(QStringLiteral("Country")));
        const ApplyResult result = ApplyFilterRows(recipients, list, DialogRows({}));
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
        list.SetFilters(OneSavedRow(QStringLiteral("Country")));
        const ApplyResult result = ApplyFilterRows(
            recipients, list, DialogRows({Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Iceland"))}));
        QCOMPARE(int(result.Result), int(ApplyResult::NoRecords));
        QCOMPARE(result.RecordCount, 0);
        // The record set shows no one until a wider filter is confirmed...
        QCOMPARE(recipients.Filter(), QStringLiteral("[Country] = 'Iceland' "));
        QCOMPARE(recipients.RecordCount(), 0);
        QVERIFY(recipients.AtBOF() && recipients.AtEOF());
        // ...and the list keeps the rows it had.
        QCOMPARE(list.Filters(), OneSavedRow(QStringLiteral("Country")));
    }

    void closedRecordSetChangesNothing()
    {
        Recordset recipients = Recipients();
        recipients.Close();
        RecipientList list;
        list.SetFilters(OneSavedRow(QStringLiteral("Name")));
        const ApplyResult result = ApplyFilterRows(
            recipients, list, {Row(0, QStringLiteral("Name"), TextKind, 0, QStringLiteral("Bo"))});
        QCOMPARE(int(result.Result), int(ApplyResult::NotOpen));
        QCOMPARE(list.Filters(), OneSavedRow(QStringLiteral("Name")));
        QCOMPARE(recipients.State(), int(Recordset::StateClosed));
    }

    void refusedCriteriaLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<FilterRow>("row");
        // The value goes in unescaped, so the apostrophe ends it early.
        QTest::newRow("apostrophe")
            << Row(0, QStringLiteral("Name"), TextKind, 0, QStringLiteral("O'Brien"));
        QTest::newRow("unreadable date")
            << Row(0, QStringLiteral("Joined"), DateTimeKind, 0, QVariant());
        QTest::newRow("empty number")
            << Row(0, QStringLiteral("Age"), NumberKind, 0, QString());
        QTest::newRow("column gone")
            << Row(0, QStringLiteral("Town"), TextKind, 0, QStringLiteral("Ry"));
        QTest::newRow("operator outside the list")
            << Row(0, QStringLiteral("Member"), YesNoKind, 4, YesNo(1));
    }

    void refusedCriteriaLeaveEverythingAsItWas()
    {
        QFETCH(FilterRow, row);
        Recordset recipients = Recipients();
        RecipientList list;
        const QList<FilterRow> earlier = {Row(0, QStringLiteral("Country"), TextKind, 0, QStringLiteral("Denmark"))};
        QCOMPARE(int(ApplyFilterRows(recipients, list, earlier).Result), int(ApplyResult::Applied));
        recipients.MoveNext();
        const QString earlierFilter = recipients.Filter();

        const ApplyResult result = ApplyFilterRows(recipients, list, DialogRows({row}));
        QCOMPARE(int(result.Result), int(ApplyResult::Rejected));
        QVERIFY(result.Error.has_value());
        QVERIFY(!result.Error->Description().isEmpty());
        QCOMPARE(recipients.Filter(), earlierFilter);
        QCOMPARE(recipients.RecordCount(), 2);
        QCOMPARE(recipients.CurrentRow(), 1);
        QCOMPARE(list.Filters(), SavedFilters(earlier));
    }

    void apostropheErrorComesFromTheRecordSet()
    {
        Recordset recipients = Recipients();
        RecipientList list;
        const ApplyResult result = ApplyFilterRows(
            recipients, list, {Row(0, QStringLiteral("Name"), TextKind, 6, QStringLiteral("O'B"))});
        QCOMPARE(result.Criteria, QStringLiteral("[Name] LIKE 'O'B*' "));
        QVERIFY(result.Error.has_value());
        QCOMPARE(result.Error->Number(), long(Recordset::ErrCriteria));
        QCOMPARE(recipients.RecordCount(), 4);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFilterCriteria)
#include "tst_FilterCriteria.moc"
