#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/recordset/Recordset.h"
#include "base/AppError.h"

#include <QDateTime>

#include <optional>

using TestSupport::ErrorOf;

namespace {

// Columns: Name text, Code text, Age int, Score double, Born timestamp,
// Active boolean, RecipientListID int, Photo binary.
Recordset People()
{
    Recordset rs;
    rs.AppendField(QStringLiteral("Name"), AdoType::VarChar, 4000);
    rs.AppendField(QStringLiteral("Code"), AdoType::VarChar, 4000);
    rs.AppendField(QStringLiteral("Age"), AdoType::Integer, 4);
    rs.AppendField(QStringLiteral("Score"), AdoType::Double, 8);
    rs.AppendField(QStringLiteral("Born"), AdoType::DBTimeStamp, 16);
    rs.AppendField(QStringLiteral("Active"), AdoType::Boolean, 2);
    rs.AppendField(QStringLiteral("RecipientListID"), AdoType::Integer, 4);
    rs.AppendField(QStringLiteral("Photo"), AdoType::LongVarBinary, 1000);
    rs.Open();
    const QVariant null;
    auto at = [](int y, int m, int d, int h, int min) { return QVariant(QDateTime(QDate(y, m, d), QTime(h, min))); };
    rs.AppendRow(QVariantList{QStringLiteral("Alice"), QStringLiteral("10"), 30, 9.5, at(1990, 1, 2, 10, 0), true, 1});
    rs.AppendRow(QVariantList{QStringLiteral("bob"), QStringLiteral("9"), 9, 10.25, at(2005, 3, 5, 9, 7), false, 3});
    rs.AppendRow(QVariantList{QStringLiteral("Carol"), QStringLiteral("100"), 10, null, null, true, 3});
    rs.AppendRow(QVariantList{QStringLiteral("ALICE SMITH"), null, null, 2.0, at(2005, 3, 5, 0, 0), null, 2});
    rs.AppendRow(QVariantList{QStringLiteral("O'Brien"), QStringLiteral(""), 100, -1.0, at(1899, 12, 30, 0, 0), false, 3});
    rs.AppendRow(QVariantList{null, QStringLiteral("9"), 45, 0.0, at(2024, 2, 29, 23, 59), true, 1});
    rs.AppendRow(QVariantList{QStringLiteral("\U00010400x"), QStringLiteral("z"), 1, 1.0, null, false, 4});
    return rs;
}

// The names of the visible rows, in order ("-" for a Null name).
QStringList Names(const Recordset& rs)
{
    QStringList names;
    for (int r = 0; r < rs.RecordCount(); ++r)
        names << (rs.IsNullAt(r, 0) ? QStringLiteral("-") : rs.ValueAt(r, 0).toString());
    return names;
}

} // namespace

class TestRecordsetFilter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void criteriaSelectRows_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QStringList>("names");
        const QString alice = QStringLiteral("Alice"), bob = QStringLiteral("bob"), carol = QStringLiteral("Carol"),
                      smith = QStringLiteral("ALICE SMITH"), obrien = QStringLiteral("O'Brien"),
                      none = QStringLiteral("-"), deseret = QStringLiteral("\U00010400x");

        // Numbers compare as numbers on number columns, as text on text columns.
        QTest::newRow("int > '9'") << "[Age] > '9'" << QStringList{alice, carol, obrien, none};
        QTest::newRow("text > '9'") << "[Code] > '9'" << QStringList{deseret};
        QTest::newRow("int with decimal operand") << "[Age] >= '9.5'" << QStringList{alice, carol, obrien, none};
        QTest::newRow("double") << "[Score] > '9.75'" << QStringList{bob};
        QTest::newRow("double equal to int text") << "[Score] = '2'" << QStringList{smith};
        // Text compares without regard to case.
        QTest::newRow("text equal any case") << "[Name] = 'ALICE'" << QStringList{alice};
        QTest::newRow("text not equal skips Null") << "[Name] <> 'alice'" << QStringList{bob, carol, smith, obrien, deseret};
        QTest::newRow("text ordering ignores case") << "[Name] < 'B'" << QStringList{alice, smith};
        QTest::newRow("empty text is a value") << "[Code] = ''" << QStringList{obrien};
        QTest::newRow("doubled apostrophe") << "[Name] = 'o''brien'" << QStringList{obrien};
        QTest::newRow("case folding outside the basic plane") << "[Name] = '\U00010428X'" << QStringList{deseret};
        // LIKE forms.
        QTest::newRow("starts with") << "[Name] LIKE 'al*'" << QStringList{alice, smith};
        QTest::newRow("contains") << "[Name] LIKE '*LI*'" << QStringList{alice, smith};
        QTest::newRow("ends with") << "[Name] LIKE '*smith'" << QStringList{smith};
        QTest::newRow("percent signs") << "[Name] like '%li%'" << QStringList{alice, smith};
        QTest::newRow("no star is equality") << "[Name] LIKE 'BOB'" << QStringList{bob};
        QTest::newRow("lone star matches all but Null") << "[Name] LIKE '*'" << QStringList{alice, bob, carol, smith, obrien, deseret};
        // Dates as dates, in the forms the program writes.
        QTest::newRow("date after") << "[Born] > '2000-01-01'" << QStringList{bob, smith, none};
        QTest::newRow("date without time is midnight") << "[Born] = '2005-03-05'" << QStringList{smith};
        QTest::newRow("date and time to the minute") << "[Born] >= '2005-03-05 09:07'" << QStringList{bob, none};
        QTest::newRow("US form with AM") << "[Born] = '3/5/2005 9:07 AM'" << QStringList{bob};
        QTest::newRow("US form seconds") << "[Born] < '1/2/1990 10:00:01 AM'" << QStringList{alice, obrien};
        QTest::newRow("ISO with T") << "[Born] >= '2024-02-29T23:59:00'" << QStringList{none};
        // Booleans from 1/0 and True/False.
        QTest::newRow("ticked") << "[Active] = '1'" << QStringList{alice, carol, none};
        QTest::newRow("not equal to ticked skips Null") << "[Active] <> '1'" << QStringList{bob, obrien, deseret};
        QTest::newRow("True word") << "[Active] = 'true'" << QStringList{alice, carol, none};
        // Null cells pass nothing.
        QTest::newRow("Null score never differs") << "[Score] <> '1'" << QStringList{alice, bob, smith, obrien, none};
        // AND binds tighter than OR.
        QTest::newRow("a OR b AND c") << "[Name] = 'Alice' OR [Name] = 'bob' AND [Age] > '50'" << QStringList{alice};
        QTest::newRow("OR keeps table order") << "[Name] = 'Carol' OR [Name] = 'Alice'" << QStringList{alice, carol};
        QTest::newRow("a OR b AND c OR d") << "[Age] = '1' OR [Age] > '20' AND [Score] < '5' OR [Name] = 'Carol'"
                                           << QStringList{carol, obrien, none, deseret};
        // The store's form and the builder's trailing blank.
        QTest::newRow("RecipientListID = 3") << "RecipientListID = 3" << QStringList{bob, carol, obrien};
        QTest::newRow("no blanks, any case") << "recipientlistid=3 and [age]<'50'" << QStringList{bob, carol};
        QTest::newRow("bare decimal") << "Score >= 9.5" << QStringList{alice, bob};
        QTest::newRow("builder text") << "[Name] = 'Carol' OR [Name] LIKE 'Al*' " << QStringList{alice, carol, smith};
        QTest::newRow("brackets keep blanks") << "[Name] LIKE '*e s*'" << QStringList{smith};
        // Blanks only remove the filter; a filter no row passes leaves BOF and EOF.
        const QStringList everyone{alice, bob, carol, smith, obrien, none, deseret};
        QTest::newRow("blanks only") << "   " << everyone;
        QTest::newRow("null text") << QString() << everyone;
        QTest::newRow("nothing passes") << "[Age] > '1000'" << QStringList{};
    }

    void criteriaSelectRows()
    {
        QFETCH(QString, criteria);
        QFETCH(QStringList, names);
        Recordset rs = People();
        rs.SetFilter(QStringLiteral("[Age] = '9'")); // replaced, not narrowed
        rs.MoveNext();
        const auto error = ErrorOf([&] { rs.SetFilter(criteria); });
        QVERIFY2(!error, error ? qPrintable(error->Description()) : "");
        QCOMPARE(Names(rs), names);
        QCOMPARE(rs.RecordCount(), names.size());
        QCOMPARE(rs.Filter(), criteria.trimmed().isEmpty() ? QString() : criteria);
        if (names.isEmpty()) {
            QVERIFY(rs.AtBOF() && rs.AtEOF());
        } else {
            QCOMPARE(rs.CurrentRow(), 0); // a new filter starts at its first row
            QCOMPARE(rs.Value(0), rs.ValueAt(0, 0));
        }
    }

    void refusedCriteriaLeaveTheSetUsable_data()
    {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("mentions");
        const int criteria = Recordset::ErrCriteria;
        QTest::newRow("apostrophe inside a value") << "[Name] = 'O'Brien' " << criteria << "apostrophe";
        QTest::newRow("unclosed value") << "[Name] = 'abc" << criteria << "not closed";
        QTest::newRow("unknown column") << "[Nobody] = 'x'" << int(Recordset::ErrFieldNotFound) << "[Nobody]";
        QTest::newRow("unclosed bracket") << "[Name = 'x'" << criteria << "]";
        QTest::newRow("no operator") << "[Name] 'x'" << criteria << "comparison";
        QTest::newRow("bare word value") << "[Name] = abc" << criteria << "apostrophes";
        QTest::newRow("dangling AND") << "[Name] = 'x' AND " << criteria << "AND";
        QTest::newRow("unknown joiner") << "[Name] = 'x' XOR [Age] = '1'" << criteria << "XOR";
        QTest::newRow("parentheses") << "([Name] = 'x')" << criteria << "column name";
        QTest::newRow("words for a number") << "[Age] = 'ten'" << criteria << "[Age]";
        QTest::newRow("null date value") << "[Born] = '' " << criteria << "[Born]";
        QTest::newRow("unknown date form") << "[Born] = '05.03.2005'" << criteria << "date";
        QTest::newRow("boolean ordering") << "[Active] > '0'" << criteria << "[Active]";
        QTest::newRow("boolean word") << "[Active] = 'maybe'" << criteria << "[Active]";
        QTest::newRow("star in the middle") << "[Name] LIKE 'a*b'" << criteria << "inside";
        QTest::newRow("LIKE on a number") << "[Age] LIKE '1*'" << criteria << "LIKE";
        QTest::newRow("binary column") << "[Photo] = 'x'" << criteria << "[Photo]";
    }

    void refusedCriteriaLeaveTheSetUsable()
    {
        QFETCH(QString, criteria);
        QFETCH(QString, mentions);
        Recordset rs = People();
        rs.SetFilter(QStringLiteral("[Active] = '1'"));
        rs.MoveNext();
        const auto error = ErrorOf([&] { rs.SetFilter(criteria); });
        QVERIFY(error);
        QTEST(int(error->Number()), "number");
        QCOMPARE(error->Source(), QStringLiteral("Recordset"));
        QVERIFY2(error->Description().contains(mentions, Qt::CaseInsensitive), qPrintable(error->Description()));
        // Filter, rows and cursor are as they were, and a new filter works.
        QCOMPARE(rs.Filter(), QStringLiteral("[Active] = '1'"));
        QCOMPARE(rs.RecordCount(), 3);
        QCOMPARE(rs.CurrentRow(), 1);
        QCOMPARE(rs.Value(0).toString(), QStringLiteral("Carol"));
        rs.SetFilter(QStringLiteral("[Age] = '9'"));
        QCOMPARE(Names(rs), QStringList{QStringLiteral("bob")});
    }

    // A closed set refuses a filter; an empty one takes it and stays empty.
    void closedAndEmptySets()
    {
        Recordset empty;
        empty.AppendField(QStringLiteral("Id"), AdoType::Integer, 4);
        QCOMPARE(TestSupport::ErrorOrNone([&] { empty.SetFilter(QStringLiteral("Id = 1")); }).Number(),
                 long(Recordset::ErrClosed));
        empty.Open();
        empty.SetFilter(QStringLiteral("Id = 1"));
        QVERIFY(empty.AtBOF() && empty.AtEOF());
    }

    void rowsAddedUnderAFilterStayVisible()
    {
        Recordset rs = People();
        rs.SetFilter(QStringLiteral("[Active] = '1'"));
        rs.AddNew();
        rs.SetValue(0, QStringLiteral("Eve"));
        rs.SetValue(5, false);
        rs.Update();
        QCOMPARE(rs.RecordCount(), 4);
        QCOMPARE(rs.CurrentRow(), 3);
        QCOMPARE(rs.Value(0).toString(), QStringLiteral("Eve"));
        rs.AppendRow(QVariantList{QStringLiteral("Fay")});
        QCOMPARE(Names(rs).last(), QStringLiteral("Fay"));
        rs.SetFilter(rs.Filter()); // evaluated afresh, the new rows do not pass
        QCOMPARE(rs.RecordCount(), 3);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestRecordsetFilter)
#include "tst_RecordsetFilter.moc"
