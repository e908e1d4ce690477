#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/providers/sql/AccessReader.h"
#include "base/AppError.h"

#include <QDateTime>

#include <algorithm>
#include <tuple>

using TestSupport::ErrorOrNone;

namespace {

QString Mdb(const char* name)
{
    return TestSupport::TestData(QStringLiteral("mdb/") + QLatin1String(name));
}

int Column(const Recordset& rs, const char* name)
{
    const int index = rs.FieldIndex(QLatin1String(name));
    if (index < 0)
        qFatal("no column %s", name);
    return index;
}

// A column's values as text, row by row.
QString Texts(const Recordset& rs, const char* name)
{
    QStringList texts;
    for (int row = 0; row < rs.RecordCount(); ++row)
        texts << rs.ValueAt(row, Column(rs, name)).toString();
    return texts.join(u'|');
}

} // namespace

class TestAccessReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void catalogAndTheSampleDatabase()
    {
        AccessReader sample(Mdb("mdbtestdata-ASampleDatabase.accdb"));
        QCOMPARE(sample.TableNames(), QStringList({QStringLiteral("Asset Items"),
                                                   QStringLiteral("qryComputerHardwareInOwnerOrder"),
                                                   QStringLiteral("qryCostsSummedByOwner"),
                                                   QStringLiteral("qryGSTCalculations")}));
        QCOMPARE(sample.Catalog()[0].Type, QStringLiteral("TABLE"));
        QCOMPARE(sample.Catalog()[1].Type, QStringLiteral("VIEW"));
        Recordset rs = sample.OpenTable(QStringLiteral("[Asset Items]"));
        QCOMPARE(rs.RecordCount(), 65);
        QCOMPARE(rs.FieldCount(), 13);
        QCOMPARE(rs.FieldType(Column(rs, "Acquired")), int(AdoType::Date));
        QCOMPARE(rs.FieldType(Column(rs, "Cost")), int(AdoType::Currency));
        QCOMPARE(rs.FieldType(Column(rs, "Comments")), int(AdoType::LongVarWChar));
        // Values as libmdb's own text gives them for the first rows.
        QCOMPARE(rs.ValueAt(0, Column(rs, "Acquired")).toDateTime(), QDateTime(QDate(1997, 9, 2), QTime(0, 0)));
        QCOMPARE(rs.ValueAt(0, Column(rs, "Cost")).toDouble(), 1995.5);
        for (int row = 0; row < rs.RecordCount(); ++row)
            QVERIFY(rs.IsNullAt(row, Column(rs, "Comments")));

        // System tables and the hidden tables behind complex columns stay out.
        QCOMPARE(AccessReader(Mdb("jackcess-complexDataTestV2007.accdb")).TableNames(),
                 QStringList{QStringLiteral("Table1")});
        QCOMPARE(AccessReader(Mdb("jackcess-testV1997.mdb")).TableNames(),
                 QStringList({QStringLiteral("Table1"), QStringLiteral("Table2"), QStringLiteral("Table3"),
                              QStringLiteral("Table4")}));
        QCOMPARE(AccessReader(Mdb("ucanaccess-weirdObjectNames.mdb")).TableNames(),
                 QStringList{QStringLiteral("19 MB 01 BEZAHLT ???")});
        // System tables cannot be opened by name either.
        for (const auto& [table, number] : {std::pair("[No Such Table]", AccessReader::ErrNoObject),
                                            {"[MSysObjects]", AccessReader::ErrNoObject},
                                            {"[qryGSTCalculations]", AccessReader::ErrNotSupported}}) {
            const AppError error = ErrorOrNone([&] { sample.OpenTable(QString::fromLatin1(table)); });
            QCOMPARE(error.Number(), long(number));
            QVERIFY2(error.Description().contains(QString::fromLatin1(table).mid(1).chopped(1)),
                     qPrintable(error.Description()));
        }
    }

    void access97TableTypesAndValues()
    {
        AccessReader reader(Mdb("jackcess-testV1997.mdb"));
        Recordset rs = reader.OpenTable(QStringLiteral("[Table1]"));
        QCOMPARE(rs.FieldCount(), 9);
        const int expected[] = {AdoType::VarWChar, AdoType::VarWChar, AdoType::UnsignedTinyInt, AdoType::SmallInt,
                                AdoType::Integer, AdoType::Double, AdoType::Date, AdoType::Currency,
                                AdoType::Boolean};
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(rs.FieldName(i), QString(QChar(u'A' + i)));
            QCOMPARE(rs.FieldType(i), expected[i]);
        }
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(rs.ValueAt(0, 6).toDateTime().date().year(), 1981);
        QCOMPARE(rs.ValueAt(1, 6).toDateTime().date().year(), 1974);
        // Booleans live in the null mask; the column is NOT NULL, so both rows
        // have a real value and they differ.
        QVERIFY(!rs.IsNullAt(0, 8));
        QVERIFY(!rs.IsNullAt(1, 8));
        QVERIFY(rs.ValueAt(0, 8).toBool() != rs.ValueAt(1, 8).toBool());

        // An empty table still has its columns.
        Recordset wide = reader.OpenTable(QStringLiteral("table2"));
        QCOMPARE(wide.FieldCount(), 89);
        QCOMPARE(wide.RecordCount(), 0);
        QVERIFY(wide.AtEOF());
    }

    // Dates are taken from the stored day numbers, so the years 9999, before
    // 1900 and before 1000 come out right where libmdb's own text does not.
    void datesAcrossTheWholeRange()
    {
        Recordset rs = AccessReader(Mdb("mdbtestdata-DateTestDatabase.mdb")).OpenTable(QStringLiteral("[DateTest]"));
        QCOMPARE(rs.RecordCount(), 6);
        const int column = Column(rs, "DateTimeCol");
        QCOMPARE(rs.FieldType(column), int(AdoType::Date));
        QList<int> years;
        for (int row = 0; row < rs.RecordCount(); ++row) {
            const QDateTime value = rs.ValueAt(row, column).toDateTime();
            QVERIFY(value.isValid());
            years.append(value.date().year());
        }
        QVERIFY(years.contains(9999));
        QVERIFY(std::any_of(years.begin(), years.end(), [](int y) { return y < 1900 && y >= 1000; }));
        QVERIFY(std::any_of(years.begin(), years.end(), [](int y) { return y < 1000; }));
        // A memo with a real line break comes through whole.
        QVERIFY(Texts(rs, "LongTextCol").contains(u'\n'));
    }

    void otherFormatsAndUnicode()
    {
        Recordset rs = AccessReader(Mdb("jackcess-testUnicodeCompV2003.mdb")).OpenTable(QStringLiteral("[Table]"));
        QCOMPARE(rs.RecordCount(), 8);
        const QString all = Texts(rs, "Unicode");
        for (const QString& text : {QStringLiteral("ääkkösiä"), QStringLiteral("Мир"), QStringLiteral("漢字仮名交じり文")})
            QVERIFY2(all.contains(text), qPrintable(all));
        // Beyond the Basic Multilingual Plane: "a", the character of the row's key, "a".
        const Recordset emoji = AccessReader(Mdb("jackcess-testEmoticonsV2010.accdb")).OpenTable(QStringLiteral("[data]"));
        QCOMPARE(emoji.RecordCount(), 80);
        for (int row = 0; row < emoji.RecordCount(); ++row) // the columns: key, data
            QCOMPARE(emoji.ValueAt(row, 1).toString(),
                     u'a' + QStringView(QChar::fromUcs4(char32_t(emoji.ValueAt(row, 0).toInt()))).toString() + u'a');

        Recordset users = AccessReader(Mdb("jackcess-fixedTextTestV2000.mdb")).OpenTable(QStringLiteral("[users]"));
        QCOMPARE(users.RecordCount(), 2);
        const QString names = Texts(users, "c_user_name");
        QVERIFY2(names.contains(QStringLiteral("Core User")) && names.contains(QStringLiteral("Admin User")),
                 qPrintable(names));

        Recordset people = AccessReader(Mdb("jackcess-calcFieldTestV2010.accdb")).OpenTable(QStringLiteral("[Table1]"));
        QCOMPARE(people.RecordCount(), 4);
        QCOMPARE(people.ValueAt(0, Column(people, "FirstName")).toString(), QStringLiteral("Bruce"));
        // Calculated: a text result, and memo results in a long-value page and in the row.
        for (const auto& [row, column, text] : {std::tuple(0, "LastFirst", "Wayne, Bruce"),
                                                std::tuple(0, "AllNames", "Wayne, Bruce=Wayne, Bruce"),
                                                std::tuple(2, "AllNames", "Doe, John=Doe, John")})
            QCOMPARE(people.ValueAt(row, Column(people, column)).toString(), QString::fromUtf8(text));

        Recordset weird = AccessReader(Mdb("ucanaccess-weirdObjectNames.mdb"))
                              .OpenTable(QStringLiteral("[19 MB 01 BEZAHLT ???]"));
        QCOMPARE(weird.RecordCount(), 1);
        QCOMPARE(weird.ValueAt(0, Column(weird, "TextField")).toString(), QStringLiteral("foo"));
    }

    // libmdb cannot convert the extended type; its stored text is read
    // instead, and must agree with the same date kept as text beside it.
    void extendedDates()
    {
        Recordset rs = AccessReader(Mdb("jackcess-extDateTestV2019.accdb")).OpenTable(QStringLiteral("[Table1]"));
        const int ext = Column(rs, "DateExt");
        const int text = Column(rs, "DateExtStr");
        QCOMPARE(rs.RecordCount(), 9);
        QCOMPARE(rs.FieldType(ext), int(AdoType::Date));
        QCOMPARE(rs.FieldType(Column(rs, "DateNormal")), int(AdoType::Date));
        int compared = 0;
        for (int row = 0; row < rs.RecordCount(); ++row) {
            if (rs.IsNullAt(row, text)) {
                QVERIFY(rs.IsNullAt(row, ext));
                continue;
            }
            const QString written = rs.ValueAt(row, text).toString();
            const QDateTime value = rs.ValueAt(row, ext).toDateTime();
            const QStringList mdy = written.section(u' ', 0, 0).split(u'/');
            QCOMPARE(value.date(), QDate(mdy[2].toInt(), mdy[0].toInt(), mdy[1].toInt()));
            if (written.contains(u' ')) {
                const QTime time = QTime::fromString(written.section(u' ', 1, 1).section(u'.', 0, 0)
                                                         + u' ' + written.section(u' ', 2, 2),
                                                     QStringLiteral("h:mm:ss AP"));
                QCOMPARE(value.time().addMSecs(-value.time().msec()), time);
            }
            ++compared;
        }
        QCOMPARE(compared, 8);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestAccessReader)
#include "tst_AccessReader.moc"
