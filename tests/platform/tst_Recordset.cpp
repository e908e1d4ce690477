#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/recordset/Recordset.h"
#include "base/AppError.h"

#include <QDateTime>

#include <functional>

using TestSupport::ErrorOf;

namespace {

long NumberOf(const std::function<void()>& f)
{
    return TestSupport::ErrorOrNone(f).Number();
}

Recordset OpenWith(std::initializer_list<std::pair<QString, int>> fields)
{
    Recordset rs;
    for (const auto& [name, type] : fields)
        rs.AppendField(name, type, 4000);
    rs.Open();
    return rs;
}

void AddIds(Recordset& rs, std::initializer_list<int> ids)
{
    for (int id : ids) {
        rs.AddNew();
        rs.SetValue(0, id);
        rs.Update();
    }
}

} // namespace

class TestRecordset : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fieldsAndTheClosedAndEmptySet()
    {
        Recordset rs;
        rs.AppendField(QStringLiteral("SQLDataBase"), AdoType::VarChar, 4000);
        rs.AppendField(QString(), AdoType::SmallInt, 2, 0x10);
        rs.AppendField(QStringLiteral("Body"), AdoType::VarChar, 64000);
        QCOMPARE(rs.FieldCount(), 3);
        QCOMPARE(rs.FieldIndex(QStringLiteral("SQLDatabase")), 0);
        QCOMPARE(rs.FieldIndex(QString()), 1);
        QCOMPARE(rs.FieldIndex(QStringLiteral("Missing")), -1);
        QCOMPARE(NumberOf([&] { rs.FieldName(-1); }), long(Recordset::ErrFieldNotFound));
        QCOMPARE(NumberOf([&] { rs.AppendField(QStringLiteral("x"), AdoType::VarChar, -1); }),
                 long(Recordset::ErrArgument));
        QCOMPARE(rs.State(), int(Recordset::StateClosed));
        QVERIFY(rs.AtBOF() && rs.AtEOF());
        QCOMPARE(rs.RecordCount(), 0);
        QCOMPARE(NumberOf([&] { rs.Value(0); }), long(Recordset::ErrClosed));
        QCOMPARE(NumberOf([&] { rs.Clone(); }), long(Recordset::ErrClosed));

        rs.Open();
        QCOMPARE(rs.State(), int(Recordset::StateOpen));
        QCOMPARE(rs.CurrentRow(), -1);
        rs.MoveFirst(); // nothing to move to, and no error
        rs.MoveLast();
        QVERIFY(rs.AtBOF() && rs.AtEOF());
        QCOMPARE(NumberOf([&] { rs.MoveNext(); }), long(Recordset::ErrNoCurrentRow));
        QCOMPARE(NumberOf([&] { rs.Open(); }), long(Recordset::ErrNotAllowed));
        QCOMPARE(NumberOf([&] { rs.AppendField(QStringLiteral("Late"), AdoType::VarChar, 10); }),
                 long(Recordset::ErrNotAllowed));
        rs.AppendRow(QVariantList{QStringLiteral("db"), 1, QStringLiteral("text")});
        QCOMPARE(rs.Value(QStringLiteral("sqldatabase")).toString(), QStringLiteral("db"));
        QCOMPARE(NumberOf([&] { rs.Value(QStringLiteral("Nope")); }), long(Recordset::ErrFieldNotFound));
    }

    void navigationWalksRowsInOrder()
    {
        Recordset rs = OpenWith({{QStringLiteral("Id"), AdoType::Integer}});
        AddIds(rs, {10, 20, 30});
        QCOMPARE(rs.RecordCount(), 3);
        QCOMPARE(rs.Value(0).toInt(), 30); // Update leaves the cursor on the new row

        rs.MoveFirst();
        QVERIFY(!rs.AtBOF() && !rs.AtEOF());
        QCOMPARE(rs.Value(0).toInt(), 10);
        rs.MoveNext();
        rs.MoveNext();
        QCOMPARE(rs.Value(0).toInt(), 30);
        rs.MoveNext();
        QVERIFY(rs.AtEOF() && !rs.AtBOF());
        QCOMPARE(rs.CurrentRow(), -1);
        QCOMPARE(NumberOf([&] { rs.Value(0); }), long(Recordset::ErrNoCurrentRow));
        rs.MovePrevious();
        QCOMPARE(rs.Value(0).toInt(), 30);

        rs.MoveFirst();
        rs.MovePrevious();
        QVERIFY(rs.AtBOF() && !rs.AtEOF());
        QCOMPARE(NumberOf([&] { rs.MovePrevious(); }), long(Recordset::ErrNoCurrentRow));
        rs.MoveNext();
        QCOMPARE(rs.Value(0).toInt(), 10);

        rs.MoveTo(1);
        QCOMPARE(rs.Value(QStringLiteral("id")).toInt(), 20);
        QCOMPARE(NumberOf([&] { rs.MoveTo(3); }), long(Recordset::ErrNoCurrentRow));
        QCOMPARE(rs.CurrentRow(), 1);
    }

    void addNewCommitsOnUpdateOrMoveAndCanBeCancelled()
    {
        Recordset rs = OpenWith({{QStringLiteral("Id"), AdoType::Integer},
                                 {QStringLiteral("Name"), AdoType::VarChar}});
        QCOMPARE(NumberOf([&] { rs.SetValue(0, 1); }), long(Recordset::ErrNotAllowed));

        rs.AddNew();
        QVERIFY(rs.IsAdding());
        QVERIFY(!rs.AtBOF() && !rs.AtEOF());
        QVERIFY(!rs.Value(0).isValid()); // a new row starts all Null
        rs.SetValue(QStringLiteral("NAME"), QStringLiteral("first"));
        rs.SetValue(0, QStringLiteral("7"));
        QCOMPARE(rs.Value(0), QVariant(7)); // already in the column's type
        QCOMPARE(rs.RecordCount(), 0);      // not part of the table before it is committed
        rs.AddNew();                        // commits the first
        QCOMPARE(rs.RecordCount(), 1);
        rs.SetValue(0, 8);
        rs.MoveFirst(); // moving commits too
        QVERIFY(!rs.IsAdding());
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(rs.Value(1).toString(), QStringLiteral("first"));
        rs.MoveNext();
        QCOMPARE(rs.Value(0).toInt(), 8);
        QVERIFY(!rs.Value(1).isValid());

        rs.MoveFirst();
        rs.AddNew();
        rs.SetValue(0, 9);
        rs.CancelUpdate();
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(rs.Value(0).toInt(), 7); // back where it was
        rs.Update();                      // nothing pending: no row appears
        QCOMPARE(rs.RecordCount(), 2);

        // A refused value leaves the new row as it was.
        rs.AddNew();
        rs.SetValue(0, 5);
        QCOMPARE(NumberOf([&] { rs.SetValue(0, QStringLiteral("five")); }), long(Recordset::ErrConvert));
        QCOMPARE(rs.Value(0).toInt(), 5);
        rs.Update();
        QCOMPARE(rs.ValueAt(2, 0).toInt(), 5);
    }

    void valuesAreConvertedToTheColumnType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("read");

        const QVariant bad; // marks a value that must be refused
        QTest::newRow("int from text") << int(AdoType::Integer) << QVariant(QStringLiteral(" 42 ")) << QVariant(42);
        QTest::newRow("int from double rounds half to even") << int(AdoType::Integer) << QVariant(2.5) << QVariant(2);
        QTest::newRow("true into an integer is -1") << int(AdoType::SmallInt) << QVariant(true) << QVariant(-1);
        QTest::newRow("smallint upper bound") << int(AdoType::SmallInt) << QVariant(32767) << QVariant(32767);
        QTest::newRow("smallint overflow") << int(AdoType::SmallInt) << QVariant(32768) << bad;
        QTest::newRow("unsigned tiny refuses -1") << int(AdoType::UnsignedTinyInt) << QVariant(-1) << bad;
        QTest::newRow("int32 overflow") << int(AdoType::Integer) << QVariant(qlonglong(1) << 31) << bad;
        QTest::newRow("bigint keeps 64 bits") << int(AdoType::BigInt) << QVariant(qlonglong(1) << 40)
                                             << QVariant(qlonglong(1) << 40);
        QTest::newRow("int from words") << int(AdoType::Integer) << QVariant(QStringLiteral("many")) << bad;
        QTest::newRow("int from date") << int(AdoType::Integer) << QVariant(QDate(2020, 1, 1)) << bad;
        QTest::newRow("double from text") << int(AdoType::Double) << QVariant(QStringLiteral("1.25")) << QVariant(1.25);
        QTest::newRow("double refuses comma text") << int(AdoType::Double) << QVariant(QStringLiteral("1;5")) << bad;
        QTest::newRow("bool from True") << int(AdoType::Boolean) << QVariant(QStringLiteral("True")) << QVariant(true);
        QTest::newRow("bool from -1") << int(AdoType::Boolean) << QVariant(-1) << QVariant(true);
        QTest::newRow("bool from yes") << int(AdoType::Boolean) << QVariant(QStringLiteral("yes")) << bad;
        QTest::newRow("timestamp from ISO text") << int(AdoType::DBTimeStamp) << QVariant(QStringLiteral("2005-03-05 09:07"))
                                                 << QVariant(QDateTime(QDate(2005, 3, 5), QTime(9, 7)));
        QTest::newRow("timestamp from US text PM") << int(AdoType::DBTimeStamp)
                                                   << QVariant(QStringLiteral("3/5/2005 9:07:30 PM"))
                                                   << QVariant(QDateTime(QDate(2005, 3, 5), QTime(21, 7, 30)));
        QTest::newRow("12 AM is midnight") << int(AdoType::Date) << QVariant(QStringLiteral("3/5/2005 12:00 AM"))
                                           << QVariant(QDateTime(QDate(2005, 3, 5), QTime(0, 0)));
        QTest::newRow("date keeps milliseconds") << int(AdoType::Date)
                                                 << QVariant(QDateTime(QDate(1850, 6, 1), QTime(23, 59, 59, 999)))
                                                 << QVariant(QDateTime(QDate(1850, 6, 1), QTime(23, 59, 59, 999)));
        QTest::newRow("DBDate reads as QDate") << int(AdoType::DBDate) << QVariant(QStringLiteral("2024-02-29"))
                                               << QVariant(QDate(2024, 2, 29));
        // Far enough out that its milliseconds would not fit 64 bits.
        QTest::newRow("a date too far out") << int(AdoType::Date) << QVariant(QDate::fromJulianDay(700000000000LL))
                                            << bad;
        QTest::newRow("no 30th of February") << int(AdoType::DBTimeStamp) << QVariant(QStringLiteral("2005-02-30")) << bad;
        QTest::newRow("13 PM") << int(AdoType::DBTimeStamp) << QVariant(QStringLiteral("1/1/2005 13:00 PM")) << bad;
        QTest::newRow("text from int") << int(AdoType::VarChar) << QVariant(5) << QVariant(QStringLiteral("5"));
        const QVariant longText(QStringLiteral("clef \U0001D11E smile \U0001F600 end"));
        QTest::newRow("text beyond its size and the basic plane") << int(AdoType::VarWChar) << longText << longText;
        QTest::newRow("binary bytes") << int(AdoType::VarBinary) << QVariant(QByteArray("\0\1\2", 3))
                                      << QVariant(QByteArray("\0\1\2", 3));
    }

    void valuesAreConvertedToTheColumnType()
    {
        QFETCH(int, type);
        QFETCH(QVariant, written);
        QFETCH(QVariant, read);
        Recordset rs;
        rs.AppendField(QStringLiteral("F"), type, 8);
        rs.Open();
        const auto error = ErrorOf([&] { rs.AppendRow(QVariantList{written}); });
        if (!read.isValid()) {
            QVERIFY(error);
            QCOMPARE(error->Number(), long(Recordset::ErrConvert));
            QCOMPARE(error->Source(), QStringLiteral("Recordset"));
            QVERIFY2(error->Description().contains(QStringLiteral("[F]")), qPrintable(error->Description()));
            QCOMPARE(rs.RecordCount(), 0);
            return;
        }
        QVERIFY2(!error, error ? qPrintable(error->Description()) : "");
        const QVariant value = rs.ValueAt(0, 0);
        QCOMPARE(value.metaType(), read.metaType());
        QCOMPARE(value, read);
    }

    // Null is apart from the empty text, missing trailing values are Null, and
    // a refused row leaves nothing behind. An empty set moves to its first
    // row; later rows do not move the cursor, and EOF stays EOF.
    void appendRowKeepsNullsAndWholeRows()
    {
        Recordset rs = OpenWith({{QStringLiteral("T"), AdoType::VarChar},
                                 {QStringLiteral("I"), AdoType::Integer},
                                 {QStringLiteral("D"), AdoType::DBTimeStamp}});
        rs.AppendRow(QVariantList{QString(""), QVariant(QMetaType(QMetaType::Int)), QVariant()});
        QCOMPARE(rs.CurrentRow(), 0);
        QCOMPARE(NumberOf([&] { rs.AppendRow(QVariantList{QStringLiteral("a2"), 2, QStringLiteral("perhaps")}); }),
                 long(Recordset::ErrConvert));
        QCOMPARE(NumberOf([&] { rs.AppendRow(QVariantList{QStringLiteral("a3"), 3, true, 4}); }),
                 long(Recordset::ErrArgument));
        rs.AppendRow(QVariantList{QVariant(), 0});
        QCOMPARE(rs.CurrentRow(), 0);
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(rs.ValueAt(0, 0), QVariant(QString("")));
        QVERIFY(!rs.IsNullAt(0, 0));
        QVERIFY(rs.IsNullAt(0, 1) && !rs.ValueAt(0, 1).isValid()); // a typed null from a driver too
        QVERIFY(rs.IsNullAt(0, 2));
        QVERIFY(rs.IsNullAt(1, 0) && !rs.ValueAt(1, 0).isValid());
        QCOMPARE(rs.ValueAt(1, 1), QVariant(0));
        QVERIFY(rs.IsNullAt(1, 2));
        QCOMPARE(NumberOf([&] { rs.ValueAt(2, 0); }), long(Recordset::ErrNoCurrentRow));
        rs.MoveLast();
        rs.MoveNext();
        rs.AppendRow(QVariantList{QStringLiteral("a4"), 4});
        QVERIFY(rs.AtEOF());
        QCOMPARE(rs.ValueAt(2, 1).toInt(), 4);
    }

    void cloneSharesRowsButNotCursorOrFilter()
    {
        Recordset original = OpenWith({{QStringLiteral("Id"), AdoType::Integer}});
        AddIds(original, {1, 2});
        Recordset clone = original.Clone();
        QCOMPARE(clone.RecordCount(), 2);
        QCOMPARE(clone.Value(0).toInt(), 1); // starts on its first row
        QCOMPARE(original.Value(0).toInt(), 2);

        AddIds(clone, {3});
        QCOMPARE(original.RecordCount(), 3);
        original.MoveLast();
        QCOMPARE(original.Value(0).toInt(), 3);
        original.AppendRow(QVariantList{4});
        QCOMPARE(clone.ValueAt(3, 0).toInt(), 4);

        clone.SetFilter(QStringLiteral("[Id] > '2'"));
        QCOMPARE(clone.RecordCount(), 2);
        QCOMPARE(original.RecordCount(), 4);
        QVERIFY(original.Filter().isEmpty());
        // A filtered clone sees rows added elsewhere once it filters again.
        original.AppendRow(QVariantList{5});
        QCOMPARE(clone.RecordCount(), 2);
        clone.SetFilter(clone.Filter());
        QCOMPARE(clone.RecordCount(), 3);

        Recordset second = clone.Clone();
        QVERIFY(second.Filter().isEmpty());
        QCOMPARE(second.RecordCount(), 5);

        // Closing one leaves the rows to the others; it reopens empty with its fields.
        original.Close();
        QCOMPARE(clone.RecordCount(), 3);
        QCOMPARE(second.ValueAt(4, 0).toInt(), 5);
        original.Open();
        QCOMPARE(original.RecordCount(), 0);
        QCOMPARE(original.FieldName(0), QStringLiteral("Id"));
    }

    void getRowsReadsFieldByRowAndMovesOn()
    {
        Recordset rs = OpenWith({{QStringLiteral("Id"), AdoType::Integer}, {QStringLiteral("Name"), AdoType::VarChar}});
        for (int i = 1; i <= 5; ++i)
            rs.AppendRow(QVariantList{i, QStringLiteral("n%1").arg(i)});
        rs.MoveFirst();
        QList<QVariantList> rows = rs.GetRows(2);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0], (QVariantList{1, 2}));
        QCOMPARE(rows[1], (QVariantList{QStringLiteral("n1"), QStringLiteral("n2")}));
        QCOMPARE(rs.Value(0).toInt(), 3);
        rows = rs.GetRows();
        QCOMPARE(rows[0], (QVariantList{3, 4, 5}));
        QVERIFY(rs.AtEOF());
        rows = rs.GetRows(10);
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[0].isEmpty());

        rs.SetFilter(QStringLiteral("[Id] >= '4'"));
        rows = rs.GetRows(10);
        QCOMPARE(rows[1], (QVariantList{QStringLiteral("n4"), QStringLiteral("n5")}));
    }

    void largeTablesReadBackAcrossStorageBlocks()
    {
        Recordset rs = OpenWith({{QStringLiteral("Id"), AdoType::Integer},
                                 {QStringLiteral("Name"), AdoType::VarWChar},
                                 {QStringLiteral("Flag"), AdoType::Boolean}});
        const int rows = 540000; // more than two storage blocks of 262,144
        QVariantList row{0, QString(), false};
        for (int i = 0; i < rows; ++i) {
            row[0] = i;
            row[1] = i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("name %1").arg(i));
            row[2] = i % 2 == 0;
            rs.AppendRow(row);
        }
        QCOMPARE(rs.RecordCount(), rows);
        for (int i : {0, 262143, 262144, 262145, 524287, 524288, rows - 1}) {
            QCOMPARE(rs.ValueAt(i, 0).toInt(), i);
            QCOMPARE(rs.IsNullAt(i, 1), i % 7 == 0);
            if (i % 7 != 0)
                QCOMPARE(rs.ValueAt(i, 1).toString(), QStringLiteral("name %1").arg(i));
            QCOMPARE(rs.ValueAt(i, 2).toBool(), i % 2 == 0);
        }
        rs.SetFilter(QStringLiteral("[Id] >= '262140' AND [Id] < '262150' AND [Name] LIKE 'name*'"));
        QCOMPARE(rs.RecordCount(), 9); // 262143 is a multiple of 7
        QCOMPARE(rs.ValueAt(0, 0).toInt(), 262140);
        QCOMPARE(rs.ValueAt(8, 0).toInt(), 262149);
        QVERIFY(rs.StorageBytes() > 0);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestRecordset)
#include "tst_Recordset.moc"
