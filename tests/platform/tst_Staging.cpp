#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/providers/sql/SqliteStaging.h"
#include "base/AppError.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <functional>

using TestSupport::ErrorOrNone;

namespace {

long ErrorOf(const std::function<void()>& call)
{
    return TestSupport::ErrorOrNone(call).Number();
}

// A small table of every type family, with an unnamed and a repeated column.
Recordset People()
{
    Recordset rs;
    rs.AppendField(QStringLiteral("Name"), AdoType::VarWChar, 50);
    rs.AppendField(QStringLiteral("Born"), AdoType::Date, 8);
    rs.AppendField(QStringLiteral("Active"), AdoType::Boolean, 2);
    rs.AppendField(QStringLiteral("Balance"), AdoType::Currency, 8);
    rs.AppendField(QStringLiteral("Id"), AdoType::BigInt, 8);
    rs.AppendField(QString(), AdoType::VarWChar, 10);
    rs.AppendField(QStringLiteral("name"), AdoType::Integer, 4);
    rs.Open();
    rs.AppendRow(QVariantList{QStringLiteral("Ann"), QDateTime(QDate(1970, 5, 1), QTime(8, 30)), true, 10.5,
                              qlonglong(9000000000LL), QStringLiteral("x"), 1});
    rs.AppendRow(QVariantList{QStringLiteral("bob"), QDateTime(QDate(1999, 12, 31), QTime(0, 0)), false, -2.25,
                              qlonglong(2), QVariant(), 2});
    rs.AppendRow(QVariantList{QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QString(), 3});
    return rs;
}

} // namespace

class tst_Staging : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stagedTableKeepsItsColumnsAndAnswersQueries()
    {
        SqliteStaging staging;
        staging.Stage(QStringLiteral("People$"), People());
        Recordset rs = staging.Execute(QStringLiteral("SELECT * FROM [People$]"), {});
        QCOMPARE(rs.FieldCount(), 7);
        // an unnamed column stays unnamed, a repeated name stays repeated
        QCOMPARE(rs.FieldName(5), QString());
        QCOMPARE(rs.FieldName(6), QStringLiteral("name"));
        QCOMPARE(rs.FieldDefinedSize(0), qint64(50));
        QCOMPARE(rs.RecordCount(), 3);
        // Null stays Null, the empty text stays a value
        QVERIFY(rs.IsNullAt(2, 0));
        QVERIFY(rs.IsNullAt(1, 5));
        QVERIFY(!rs.IsNullAt(2, 5));
        QCOMPARE(rs.ValueAt(2, 5).toString(), QString());

        // text compares without regard to case, as the drivers do
        Recordset bob = staging.Execute(
            QStringLiteral("SELECT [Name] AS Who, Born, Balance * 2 AS Twice, COUNT(*) AS N, 'k' || Name AS K "
                           "FROM [People$] WHERE Name = 'BOB' AND Born < '2000-01-01';"),
            {});
        QCOMPARE(bob.RecordCount(), 1);
        QCOMPARE(bob.FieldName(0), QStringLiteral("Who"));
        QCOMPARE(bob.FieldType(0), int(AdoType::VarWChar)); // an alias keeps the column's type
        QCOMPARE(bob.FieldType(2), int(AdoType::Double));
        QCOMPARE(bob.ValueAt(0, 0).toString(), QStringLiteral("bob"));
        QCOMPARE(bob.ValueAt(0, 2).toDouble(), -4.5);
        QCOMPARE(bob.ValueAt(0, 4).toString(), QStringLiteral("kbob"));

        Recordset active = staging.Execute(QStringLiteral("SELECT Id FROM [People$] WHERE Active = 1"), {});
        QCOMPARE(active.RecordCount(), 1);
        QCOMPARE(active.ValueAt(0, 0).toLongLong(), 9000000000LL);

        Recordset none = staging.Execute(QStringLiteral("SELECT Name FROM [People$] WHERE 0"), {});
        QCOMPARE(none.RecordCount(), 0);
        QCOMPARE(none.FieldType(0), int(AdoType::VarWChar));
    }

    // What kind of value each type code holds decides both how the record set
    // reads it back and how it is staged; the two must agree, sub-second
    // times included.
    void everyTypeCodeReadsBackTheSameStaged_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value"); // as the record set reads it back

        const auto add = [](std::initializer_list<int> types, const QVariant& value) {
            for (int type : types)
                QTest::addRow("%d", type) << type << value;
        };
        using namespace AdoType;
        add({SmallInt, Integer, TinyInt, UnsignedTinyInt, UnsignedSmallInt}, QVariant(100));
        add({UnsignedInt, BigInt, UnsignedBigInt}, QVariant(qlonglong(4000000000LL)));
        add({Single, Double, Currency, Decimal, Numeric, VarNumeric}, QVariant(-2.5));
        add({Boolean}, QVariant(true));
        add({Date, DBTimeStamp}, QVariant(QDateTime(QDate(1899, 12, 30), QTime(23, 59, 58, 250))));
        add({DBDate}, QVariant(QDate(2024, 2, 29)));
        add({DBTime}, QVariant(QTime(8, 30, 15, 250)));
        add({BSTR, Guid, Char, WChar, VarChar, LongVarChar, VarWChar, LongVarWChar, 999},
            QVariant(QStringLiteral("t\u00E9xt")));
        add({Binary, VarBinary, LongVarBinary}, QVariant(QByteArray("\0\xFF", 2)));
    }

    void everyTypeCodeReadsBackTheSameStaged()
    {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        Recordset rs;
        rs.AppendField(QStringLiteral("V"), type, 8);
        rs.Open();
        rs.AppendRow(QVariantList{value});
        QCOMPARE(rs.ValueAt(0, 0).metaType(), value.metaType());
        QCOMPARE(rs.ValueAt(0, 0), value);

        SqliteStaging staging;
        staging.Stage(QStringLiteral("T"), rs);
        const Recordset back = staging.Execute(QStringLiteral("SELECT V FROM T"), {});
        QCOMPARE(back.FieldType(0), type);
        QCOMPARE(back.ValueAt(0, 0).metaType(), value.metaType());
        QCOMPARE(back.ValueAt(0, 0), value);
    }


    void tablesAreStagedOnDemand()
    {
        SqliteStaging staging;
        QStringList asked;
        const auto loader = [&asked](const QString& name) {
            asked << name;
            if (name != QLatin1String("People$"))
                throw AppError(3011, QStringLiteral("Workbook"), QStringLiteral("no sheet ") + name);
            return People();
        };
        Recordset rs = staging.Execute(QStringLiteral("SELECT a.Name FROM [People$] a JOIN [People$] b ON a.Id = b.Id"),
                                       loader);
        QCOMPARE(asked, QStringList{QStringLiteral("People$")});
        QCOMPARE(rs.RecordCount(), 2);
        // the loader's own error reaches the caller unchanged
        const AppError fromLoader = ErrorOrNone([&] { staging.Execute(QStringLiteral("SELECT * FROM [Other$]"), loader); });
        QCOMPARE(fromLoader.Number(), 3011L);
        QCOMPARE(fromLoader.Description(), QStringLiteral("no sheet Other$"));
        // without a loader, the engine's words
        const AppError engine = ErrorOrNone([&] { staging.Execute(QStringLiteral("SELECT * FROM Nowhere"), {}); });
        QCOMPARE(engine.Number(), long(SqliteStaging::ErrCommand));
        QVERIFY2(engine.Description().contains(QLatin1String("no such table")), qPrintable(engine.Description()));
        QCOMPARE(ErrorOf([&] { staging.Execute(QStringLiteral("SELECT FROM WHERE"), {}); }),
                 long(SqliteStaging::ErrCommand));
    }

    void onlyReadingCommandsRun()
    {
        QVERIFY(SqliteStaging::IsQuery(QStringLiteral("-- note\n/* x */ (SELECT 1)")));
        QVERIFY(SqliteStaging::IsQuery(QStringLiteral("WITH t AS (SELECT 1) SELECT * FROM t")));
        QVERIFY(!SqliteStaging::IsQuery(QStringLiteral("SELECTED")));
        QVERIFY(!SqliteStaging::IsQuery(QString()));

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("written.db"));
        SqliteStaging staging;
        staging.Stage(QStringLiteral("People$"), People());
        // Changes are refused before they run; one hidden behind WITH, or a
        // second statement, by the engine.
        const std::pair<QString, long> refused[] = {
            {QStringLiteral("ATTACH DATABASE '%1' AS x").arg(target), SqliteStaging::ErrNotQuery},
            {QStringLiteral("VACUUM INTO '%1'").arg(target), SqliteStaging::ErrNotQuery},
            {QStringLiteral("DELETE FROM [People$]"), SqliteStaging::ErrNotQuery},
            {QStringLiteral("PRAGMA query_only = OFF"), SqliteStaging::ErrNotQuery},
            {QStringLiteral("WITH t AS (SELECT 1) DELETE FROM [People$]"), SqliteStaging::ErrCommand},
            {QStringLiteral("SELECT 1; DELETE FROM [People$]"), SqliteStaging::ErrCommand}};
        for (const auto& [command, number] : refused)
            QVERIFY2(ErrorOf([&] { staging.Execute(command, {}); }) == number, qPrintable(command));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(staging.Execute(QStringLiteral("SELECT * FROM [People$]"), {}).RecordCount(), 3);
    }

    void eachStagingHasItsOwnDatabase()
    {
        const QStringList before = QSqlDatabase::connectionNames();
        {
            SqliteStaging a;
            SqliteStaging b;
            a.Stage(QStringLiteral("T"), People());
            QCOMPARE(a.Execute(QStringLiteral("SELECT * FROM T"), {}).RecordCount(), 3);
            QCOMPARE(ErrorOf([&] { b.Execute(QStringLiteral("SELECT * FROM T"), {}); }),
                     long(SqliteStaging::ErrCommand));
            QCOMPARE(QSqlDatabase::connectionNames().size(), before.size() + 2);
        }
        QCOMPARE(QSqlDatabase::connectionNames(), before);
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_Staging)
#include "tst_Staging.moc"
