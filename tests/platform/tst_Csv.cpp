#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/sheets/CsvFormat.h"
#include "platform/providers/sheets/CsvReader.h"

#include <QDateTime>
#include <QTemporaryDir>

using TestSupport::Names;
using TestSupport::Types;
using TestSupport::Row;

namespace {

QString Csv(const QString& name)
{
    return TestSupport::TestData(QStringLiteral("csv/") + name);
}

Recordset Read(const QString& name, bool header = true)
{
    return CsvReader::Read(Csv(name), header);
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    TestSupport::PutFile(dir.filePath(name), bytes);
    return dir.filePath(name);
}

constexpr int Text = AdoType::VarWChar;
constexpr int Number = AdoType::Double;

} // namespace

class TestCsv : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyEncodingGivesTheSameText_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* name : {"utf8", "utf8bom", "utf16le", "utf16lebom", "utf16be", "utf16bebom", "utf32lebom",
                                 "win1252"})
            QTest::newRow(name) << QStringLiteral("phpspreadsheet-premiere.%1.csv").arg(QLatin1String(name));
    }

    void everyEncodingGivesTheSameText()
    {
        QFETCH(QString, file);
        const Recordset set = Read(file);
        QCOMPARE(Names(set), QStringList({QStringLiteral("première"), "second", QStringLiteral("troisième")}));
        QVERIFY(set.RecordCount() >= 1);
        QCOMPARE(Row(set, 0), QVariantList({QStringLiteral("Quatrième"), QStringLiteral("cinquième"),
                                            QStringLiteral("sixième")}));
    }

    void encodingEdgeCases()
    {
        // UTF-16 without a mark, with a character outside the BMP and two non-characters.
        const Recordset utf16 = Read(QStringLiteral("phpspreadsheet-premiere.utf16le.csv"));
        QCOMPARE(utf16.RecordCount(), 2);
        QCOMPARE(utf16.ValueAt(1, 0).toString(), QString::fromUcs4(U"\U00010400"));

        // Not UTF-8: Windows-1252, even for one byte in ten.
        QCOMPARE(Read(QStringLiteral("phpspreadsheet-encoding.iso88591.csv")).FieldName(0), QStringLiteral("Å"));

        // Shift_JIS is not recognised: it reads as Windows-1252 text, wrongly but without failing.
        const Recordset japanese = Read(QStringLiteral("thunderbird-shiftjis_addressbook.csv"));
        QCOMPARE(japanese.RecordCount(), 1);
        QVERIFY(japanese.ValueAt(0, 4).toString().endsWith(QStringLiteral("@host.invalid")));

        QCOMPARE(Read(QStringLiteral("phpspreadsheet-utf16be.line_break_in_enclosure.csv")).Persist(),
                 Read(QStringLiteral("phpspreadsheet-line_break_in_enclosure.csv")).Persist());
    }

    void delimiters_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QVariantList>("first");
        QTest::newRow("semicolon") << "thunderbird-csv_semicolon.csv"
                                   << QStringList{"Display Name", "First Name", "Last Name", "Primary Email"}
                                   << QVariantList{"John Doe", "John", "Doe", "john@doe.invalid"};
        QTest::newRow("decimal comma") << "phpspreadsheet-semicolon_separated.csv"
                                       << QStringList{"This", "Are", "Headers"}
                                       << QVariantList{"Cell A2", "Number with comma", "25,5"};
        QTest::newRow("sep= line") << "phpspreadsheet-sep.csv" << QStringList{"A", "1"} << QVariantList{2.0, 3.0};
        QTest::newRow("tab") << "phpspreadsheet-sample-example1.tsv"
                             << QStringList{"First Name", "Last Name", "Nationality", "Gender", "Date of Birth",
                                            "Time of Birth", "Date/Time", "PHP Coder", "Sanity %Age"}
                             << QVariantList{"Mark", "Baker", "British", "M", "19-Dec-1960", "01:30", "=E2+F2", true,
                                             "32%"};
        // The tab splits three lines of four alike; the comma only the first.
        QTest::newRow("mostly tabs") << "thunderbird-tab_comma_mixed.csv"
                                     << QStringList{"1,1,1,1,1@host.invalid,,,,,,,,,,,,,,,,,,,,,", "", "", "", ""}
                                     << QVariantList{2.0, 2.0, 2.0, 2.0, "2@host.invalid"};
        QTest::newRow("mac line ends") << "phpspreadsheet-linend.mac.csv" << QStringList{"A", "1"}
                                       << QVariantList{2.0, 3.0};
    }

    void delimiters()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        QFETCH(QVariantList, first);
        const Recordset set = Read(file);
        QCOMPARE(Names(set), names);
        QVERIFY(set.RecordCount() > 0);
        QCOMPARE(Row(set, 0), first);
    }

    void quotingKeepsWhatIsInside()
    {
        QCOMPARE(Row(Read(QStringLiteral("csvspectrum-comma_in_quotes.csv")), 0),
                 QVariantList({"John", "Doe", "120 any st.", "Anytown, WW", "08123"}));
        QCOMPARE(Read(QStringLiteral("csvspectrum-escaped_quotes.csv")).ValueAt(0, 1).toString(),
                 QStringLiteral("ha \"ha\" ha"));
        const Recordset newlines = Read(QStringLiteral("csvspectrum-newlines.csv"));
        QCOMPARE(newlines.RecordCount(), 3);
        QCOMPARE(newlines.ValueAt(1, 0).toString(), QStringLiteral("Once upon \na time"));
        QCOMPARE(Read(QStringLiteral("csvspectrum-quotes_and_newlines.csv")).ValueAt(0, 1).toString(),
                 QStringLiteral("ha \n\"ha\" \nha"));
        QCOMPARE(Read(QStringLiteral("phpspreadsheet-backslash.csv")).FieldName(1), QStringLiteral("field 2\\"));

        // Thunderbird's export: quoted tab, bare CR and LF, doubled quotes, 37 columns.
        const Recordset book = Read(QStringLiteral("thunderbird-export.csv"));
        QCOMPARE(book.FieldCount(), 37);
        QCOMPARE(book.RecordCount(), 2);
        QCOMPARE(book.ValueAt(1, 4).toString(), QStringLiteral("contact2@invalid"));

        // Blanks around values belong to them; quoted empty values are Null like empty ones.
        const Recordset empty = Read(QStringLiteral("csvspectrum-empty.csv"));
        QCOMPARE(Row(empty, 0), QVariantList({1.0, QVariant(), QVariant()}));
    }

    void columnTypesNeverLoseAValue()
    {
        // A zip code with a leading zero and numbers of 24 digits stay text.
        QCOMPARE(Read(QStringLiteral("csvspectrum-comma_in_quotes.csv")).FieldType(4), Text);
        const Recordset longs = Read(QStringLiteral("phpspreadsheet-sample-longIntegers.csv"));
        QCOMPARE(Types(longs), QList<int>({Text, Text}));
        QCOMPARE(longs.ValueAt(0, 0).toString(), QStringLiteral("123456789012345678901234"));

        // True/false in any case is a boolean column; other words make it text.
        const Recordset example = Read(QStringLiteral("phpspreadsheet-sample-example1.csv"));
        QCOMPARE(example.FieldType(7), int(AdoType::Boolean));
        QCOMPARE(example.ValueAt(1, 7), QVariant(false));
        QCOMPARE(example.FieldType(4), Text); // "19-Dec-1960" is not a form taken as a date
        const Recordset words = Read(QStringLiteral("phpspreadsheet-issue.2232.csv"));
        QCOMPARE(words.FieldType(1), Text);
        QCOMPARE(words.ValueAt(0, 1).toString(), QStringLiteral("FaLSe"));

        // Month/day/year with a time is a date; ragged rows add unnamed columns.
        const Recordset dates = Read(QStringLiteral("phpspreadsheet-enclosure.csv"));
        QCOMPARE(Names(dates), QStringList({"Date/Time", "task", "username", "", ""}));
        QCOMPARE(dates.FieldType(0), int(AdoType::Date));
        QCOMPARE(dates.ValueAt(1, 0).toDateTime(), QDateTime(QDate(2017, 12, 17), QTime(4, 0)));

        const Recordset german = Read(QStringLiteral("phpspreadsheet-NumberFormatTest.de.csv"));
        QCOMPARE(Types(german), QList<int>({Text, Text, Text}));
        QCOMPARE(german.ValueAt(1, 0).toString(), QStringLiteral("-1.234,567"));
    }

    // Types are first taken from the opening rows; a value further down that
    // does not fit must still decide the column, and no value may be lost. A
    // column's width counts characters, not bytes.
    void lateRowsStillDecideTheColumn_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("filler"); // the line repeated before the last
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("last");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("first"); // the column's value in the first and the last row
        QTest::addColumn<QVariant>("final");
        const QByteArray accents = QString(150, QChar(0xE9)).toUtf8(); // 300 bytes, 150 characters
        QTest::newRow("text among numbers") << QByteArray("code") << QByteArray("3") << 3000 << QByteArray("A-17") << 0
                                            << Text << QVariant("3") << QVariant("A-17");
        QTest::newRow("numbers after empty values") << QByteArray("id,late") << QByteArray("1,") << 3000
                                                    << QByteArray("1,5000") << 1 << Number << QVariant() << QVariant(5000.0);
        QTest::newRow("long text") << QByteArray("note") << QByteArray("short") << 3000 << QByteArray(300, 'x') << 0
                                   << int(AdoType::LongVarWChar) << QVariant("short") << QVariant(QString(300, u'x'));
        // One byte that is not UTF-8 makes the whole file Windows-1252.
        QTest::newRow("not UTF-8") << QByteArray("name") << QByteArray("caf\xc3\xa9") << 3000 << QByteArray("na\xefve")
                                   << 0 << Text << QVariant("cafÃ©") << QVariant("naïve");
        QTest::newRow("wider row") << QByteArray("a,b") << QByteArray("1,2") << 3000 << QByteArray("1,2,3") << 2
                                   << Number << QVariant() << QVariant(3.0);
        for (int count : {1, 3000})
            QTest::addRow("wide in bytes, %d rows", count)
                << QByteArray("note") << accents << count << QByteArray(256, 'x') << 0 << int(AdoType::LongVarWChar)
                << QVariant(QString(150, QChar(0xE9))) << QVariant(QString(256, u'x'));
    }

    void lateRowsStillDecideTheColumn()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, filler);
        QFETCH(int, count);
        QFETCH(QByteArray, last);
        QFETCH(int, column);
        QFETCH(int, type);
        QFETCH(QVariant, first);
        QFETCH(QVariant, final);
        QByteArray text = header + '\n';
        for (int i = 0; i < count; ++i)
            text += filler + '\n';
        text += last + '\n';
        QTemporaryDir dir;
        const Recordset set = CsvReader::Read(WriteFile(dir, QStringLiteral("late.csv"), text), true);
        QCOMPARE(set.RecordCount(), count + 1);
        QCOMPARE(set.FieldType(column), type);
        QCOMPARE(set.ValueAt(0, column), first);
        QCOMPARE(set.ValueAt(count, column), final);
    }

    void characterCutByTheFirstReadStaysUtf8()
    {
        // More rows than the sample in the first 64 KB read, and a two-byte
        // character whose first byte is the last of that read.
        QTemporaryDir dir;
        const QByteArray text = "name\n" + QByteArray("a\n").repeated(32765) + "\xc3\xa9t\xc3\xa9\n";
        QCOMPARE(text.indexOf('\xc3'), 65535);
        const Recordset set = CsvReader::Read(WriteFile(dir, QStringLiteral("cut.csv"), text), true);
        QCOMPARE(set.RecordCount(), 32766);
        QCOMPARE(set.ValueAt(32765, 0).toString(), QStringLiteral("été"));
    }

    void headerRowOrGenericNames()
    {
        QCOMPARE(Read(QStringLiteral("thunderbird-csv_no_header.csv")).RecordCount(), 1);
        const Recordset plain = Read(QStringLiteral("thunderbird-csv_no_header.csv"), false);
        QCOMPARE(Names(plain), QStringList({"F1", "F2", "F3", "F4"}));
        QCOMPARE(plain.RecordCount(), 2);
        QCOMPARE(plain.ValueAt(0, 3).toString(), QStringLiteral("john@doe.invalid"));

        // A single word: a column name and no rows, or one row.
        QCOMPARE(Names(Read(QStringLiteral("phpspreadsheet-no_delimiter.csv"))), QStringList({"SingleLine"}));
        QCOMPARE(Read(QStringLiteral("phpspreadsheet-no_delimiter.csv"), false).RecordCount(), 1);
        QCOMPARE(Read(QStringLiteral("phpspreadsheet-contains_html.csv")).FieldName(1),
                 QStringLiteral("<a href=''>Link</a>"));

        // An empty file reads as an empty sheet.
        const Recordset empty = Read(QStringLiteral("phpspreadsheet-empty.csv"));
        QCOMPARE(Names(empty), QStringList({"F1"}));
        QCOMPARE(empty.RecordCount(), 0);
    }

    void formatDetection()
    {
        QCOMPARE(CsvFormat::DetectDelimiter("a,\"x;y;z\",c\n1,2,3\n", true), ',');
        QCOMPARE(CsvFormat::DetectDelimiter("\"Smith, John\";Berlin\n\"Doe, Jane\";Paris\n", true), ';');
        QCOMPARE(CsvFormat::DetectDelimiter("single\nwords\n", true), ',');
        // A last line cut short by the sample does not count against the delimiter.
        QCOMPARE(CsvFormat::DetectDelimiter("a\tb\tc\n1\t2\t3\n4\t5", false), '\t');
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestCsv)
#include "tst_Csv.moc"
