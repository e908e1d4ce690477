#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/sheets/CsvFormat.h"
#include "platform/providers/sheets/CsvReader.h"

#include <QDateTime>
#include <QTemporaryDir>

using TestSupport::Names;
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

constexpr int Text = AdoType::VarWChar;
constexpr int Number = AdoType::Double;

} // namespace

class TestCsv : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What each file reads as (TestSupport::CheckReadsAs).
    void readsAs_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("header");
        TestSupport::AddReadsAsColumns();
        const auto add = [](const char* name, const char* file, const QStringList& names, int count, int row,
                            int column, int type, const QVariantList& values, bool header = true) {
            QTest::newRow(name) << QString::fromUtf8(file) << header << names << count << row << column << type
                                << values;
        };
        for (const char* encoding : {"utf8", "utf8bom", "utf16le", "utf16lebom", "utf16be", "utf16bebom",
                                     "utf32lebom", "win1252"})
            QTest::addRow("%s", encoding)
                << QStringLiteral("phpspreadsheet-premiere.%1.csv").arg(QLatin1String(encoding)) << true
                << QStringList{QStringLiteral("première"), "second", QStringLiteral("troisième")} << -1 << 0 << 0
                << Text
                << QVariantList{QStringLiteral("Quatrième"), QStringLiteral("cinquième"), QStringLiteral("sixième")};
        // UTF-16 without a mark, with a character outside the BMP and two non-characters.
        add("utf16 beyond the BMP", "phpspreadsheet-premiere.utf16le.csv", {}, 2, 1, 0, Text,
            {QString::fromUcs4(U"\U00010400")});
        // Not UTF-8: Windows-1252, even for one byte in ten.
        add("one byte not UTF-8", "phpspreadsheet-encoding.iso88591.csv", {QStringLiteral("Å"), "1"}, 1, 0, 0, Number,
            {2.0, 3.0});
        // Shift_JIS is not recognised: it reads as Windows-1252 text, wrongly but without failing.
        add("shift_jis", "thunderbird-shiftjis_addressbook.csv", {}, 1, 0, 4, Text,
            {QStringLiteral("–¼–³‚µ‚ÌŒ\u00A0•º‰q@host.invalid")});

        add("semicolon", "thunderbird-csv_semicolon.csv", {"Display Name", "First Name", "Last Name", "Primary Email"},
            -1, 0, 0, Text, {"John Doe", "John", "Doe", "john@doe.invalid"});
        add("decimal comma", "phpspreadsheet-semicolon_separated.csv", {"This", "Are", "Headers"}, -1, 0, 0, Text,
            {"Cell A2", "Number with comma", "25,5"});
        add("sep= line", "phpspreadsheet-sep.csv", {"A", "1"}, -1, 0, 0, Number, {2.0, 3.0});
        add("tab", "phpspreadsheet-sample-example1.tsv",
            {"First Name", "Last Name", "Nationality", "Gender", "Date of Birth", "Time of Birth", "Date/Time",
             "PHP Coder", "Sanity %Age"},
            -1, 0, 0, Text, {"Mark", "Baker", "British", "M", "19-Dec-1960", "01:30", "=E2+F2", true, "32%"});
        // The tab splits three lines of four alike; the comma only the first.
        add("mostly tabs", "thunderbird-tab_comma_mixed.csv",
            {"1,1,1,1,1@host.invalid,,,,,,,,,,,,,,,,,,,,,", "", "", "", ""}, -1, 0, 0, Number,
            {2.0, 2.0, 2.0, 2.0, "2@host.invalid"});
        add("mac line ends", "phpspreadsheet-linend.mac.csv", {"A", "1"}, -1, 0, 0, Number, {2.0, 3.0});

        add("comma in quotes", "csvspectrum-comma_in_quotes.csv", {}, -1, 0, 0, Text,
            {"John", "Doe", "120 any st.", "Anytown, WW", "08123"}); // the leading zero keeps a zip code text
        add("escaped quotes", "csvspectrum-escaped_quotes.csv", {}, -1, 0, 1, Text, {"ha \"ha\" ha"});
        add("newlines", "csvspectrum-newlines.csv", {}, 3, 1, 0, Text, {"Once upon \na time"});
        add("quotes and newlines", "csvspectrum-quotes_and_newlines.csv", {}, -1, 0, 1, Text, {"ha \n\"ha\" \nha"});
        add("backslash", "phpspreadsheet-backslash.csv", {"field 1", "field 2\\"}, 1, 0, 0, Text,
            {"field 3\\", "field 4"});
        // Thunderbird's export: quoted tab, bare CR and LF, doubled quotes, 37 columns.
        add("thunderbird export", "thunderbird-export.csv", {}, 2, 1, 4, Text, {"contact2@invalid"});
        // Blanks around values belong to them; quoted empty values are Null like empty ones.
        add("empty values", "csvspectrum-empty.csv", {}, -1, 0, 0, Number, {1.0, QVariant(), QVariant()});

        // Numbers of 24 digits stay text; true/false in any case is a boolean
        // column, other words make it text; "19-Dec-1960" is not taken as a date.
        add("long integers", "phpspreadsheet-sample-longIntegers.csv", {"Column 1", "Column 2"}, -1, 0, 0, Text,
            {"123456789012345678901234", "234567890123456789012345"});
        add("booleans", "phpspreadsheet-sample-example1.csv", {}, -1, 1, 4, Text,
            {"24-Nov-1950", "20:00", "=E3+F3", false, "95%"});
        add("words among booleans", "phpspreadsheet-issue.2232.csv", {}, -1, 0, 1, Text, {"FaLSe"});
        // Month/day/year with a time is a date; ragged rows add unnamed columns.
        add("dates", "phpspreadsheet-enclosure.csv", {"Date/Time", "task", "username", "", ""}, -1, 1, 0,
            AdoType::Date, {QDateTime(QDate(2017, 12, 17), QTime(4, 0))});
        add("german numbers", "phpspreadsheet-NumberFormatTest.de.csv", {}, -1, 1, 0, Text,
            {"-1.234,567", QVariant(), QVariant()});

        add("no header", "thunderbird-csv_no_header.csv", {}, 1, 0, 0, Text, {}); // the first line names
        add("generic names", "thunderbird-csv_no_header.csv", {"F1", "F2", "F3", "F4"}, 2, 0, 3, Text,
            {"john@doe.invalid"}, false);
        // A single word: a column name and no rows, or one row.
        add("single word", "phpspreadsheet-no_delimiter.csv", {"SingleLine"}, 0, 0, 0, Text, {});
        add("single word, no header", "phpspreadsheet-no_delimiter.csv", {"F1"}, 1, 0, 0, Text, {"SingleLine"}, false);
        add("html", "phpspreadsheet-contains_html.csv", {"Column A", "<a href=''>Link</a>", "Column C"}, -1, 0, 0, Text,
            {});
        add("empty file", "phpspreadsheet-empty.csv", {"F1"}, 0, 0, 0, Text, {});
    }

    void readsAs()
    {
        QFETCH(QString, file);
        QFETCH(bool, header);
        TestSupport::CheckReadsAs(Read(file, header));
    }

    void wideExportAndUtf16LineBreaks()
    {
        QCOMPARE(Read(QStringLiteral("thunderbird-export.csv")).FieldCount(), 37);
        QCOMPARE(Read(QStringLiteral("phpspreadsheet-utf16be.line_break_in_enclosure.csv")).Persist(),
                 Read(QStringLiteral("phpspreadsheet-line_break_in_enclosure.csv")).Persist());
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
        // More rows than the sample in the first 64 KB read, and a two-byte
        // character whose first byte (at 5 + 2 * 32765) is the last of that read.
        QTest::newRow("character cut by the first read") << QByteArray("name") << QByteArray("a") << 32765
                                                         << QByteArray("\xc3\xa9t\xc3\xa9") << 0 << Text << QVariant("a")
                                                         << QVariant(QStringLiteral("été"));
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
        TestSupport::PutFile(dir.filePath(QStringLiteral("late.csv")), text);
        const Recordset set = CsvReader::Read(dir.filePath(QStringLiteral("late.csv")), true);
        QCOMPARE(set.RecordCount(), count + 1);
        QCOMPARE(set.FieldType(column), type);
        QCOMPARE(set.ValueAt(0, column), first);
        QCOMPARE(set.ValueAt(count, column), final);
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
