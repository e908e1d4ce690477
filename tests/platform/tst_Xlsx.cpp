#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/providers/sheets/XlsxReader.h"

#include <QDateTime>


namespace {

// A test data file, or a file given by its full path.
QString Xlsx(const QString& name)
{
    return name.startsWith(u'/') ? name : TestSupport::TestData(QStringLiteral("xlsx/") + name);
}

Recordset Read(const QString& file, const QString& sheet, bool header = true)
{
    return XlsxReader(Xlsx(file)).ReadSheet(sheet, header);
}

QDateTime Day(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(0, 0));
}

constexpr int Text = AdoType::VarWChar;
constexpr int Number = AdoType::Double;

} // namespace

class TestXlsx : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What each file reads as (TestSupport::CheckReadsAs).
    void readsAs_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<bool>("header");
        TestSupport::AddReadsAsColumns();
        const auto add = [](const char* name, const char* file, const char* sheet, const QStringList& names, int count,
                            int row, int column, int type, const QVariantList& values, bool header = true) {
            QTest::newRow(name) << QString::fromUtf8(file) << QString::fromUtf8(sheet) << header << names << count
                                << row << column << type << values;
        };
        // 1904 date system; one column of each kind and an empty one.
        add("types", "readxl-types.xlsx", "guess_me", {"blank", "boolean", "date", "numeric", "text"}, 5, 0, 0, Text,
            {QVariant(), true, Day(2017, 2, 27), 1.0, "hello"});
        add("date column", "readxl-types.xlsx", "guess_me", {}, -1, 0, 2, AdoType::Date, {Day(2017, 2, 27), 1.0});
        add("empty row inside", "readxl-types.xlsx", "guess_me", {}, -1, 2, 1, AdoType::Boolean, {QVariant()});
        // Formula results come from their cached values.
        add("formula text", "readxl-types.xlsx", "smorgasbord", {}, -1, 1, 1, Text, {"HELLO WORLD"}, false);
        add("formula number", "readxl-types.xlsx", "smorgasbord", {}, -1, 5, 1, Text, {"1.69"}, false);
        add("true", "poi-Booleans.xlsx", "Sheet1", {}, -1, 0, 0, AdoType::Boolean, {true}, false);
        add("false", "poi-Booleans.xlsx", "Sheet1", {}, -1, 3, 0, AdoType::Boolean, {false}, false);
        add("no shared strings", "poi-noSharedStringTable.xlsx", "Sheet1", {}, -1, 0, 0, AdoType::Date,
            {Day(2006, 4, 12), 123.0}, false);

        add("unnamed columns", "readxl-unnamed-duplicated-columns.xlsx", "Sheet1", {"", "var2", "", "var2"}, -1, 1, 0,
            Number, {2.0, "b", 2.1, "bb"});
        add("names kept", "readxl-names-need-repair-xlsx.xlsx", "Sheet1", {"a b", "a b", "", "c%&$"}, -1, 0, 0, 0, {});
        // An empty header cell adds nothing; "var2" is now data among the letters.
        add("generic names", "readxl-unnamed-duplicated-columns.xlsx", "Sheet1", {"F1", "F2", "F3", "F4"}, 3, 0, 0,
            Number, {QVariant(), "var2", QVariant(), "var2"}, false);
        add("header as data", "readxl-unnamed-duplicated-columns.xlsx", "Sheet1", {}, -1, 0, 1, Text, {"var2"}, false);
        add("inline strings", "readxl-inlineStr.xlsx", "Requirements",
            {"NN", "Hierarchy", "", "Outline Number", "ID", "Name", "Type", "Description"}, -1, 0, 4, Text,
            {"RQ11610"});

        // Data only in column B: the table starts there. A table placed at B3:D7.
        add("first column missing", "readxl-missing-first-column.xlsx", "Sheet1", {"F1"}, 3, 2, 0, Number, {3.0}, false);
        add("table placed", "poi-simple-table-named-range.xlsx", "Sheet1", {"a", "b", "c"}, -1, 0, 0, Number,
            {1.0, 2.0, 3.0});
        add("empty sheet", "readxl-empty-sheets.xlsx", "empty", {"F1"}, 0, 0, 0, 0, {});
        add("header only", "readxl-empty-sheets.xlsx", "header_only", {"var1", "var2"}, 0, 0, 0, 0, {});
        add("blanks in the header", "readxl-blanks.xlsx", "same_row_middle", {"x", "y"}, -1, 0, 0, 0, {});

        add("blanks both sides", "readxl-whitespace-xlsx.xlsx", "whitespace", {}, -1, 0, 0, Text,
            {" <-space, space-> "}, false);
        add("blank before", "readxl-whitespace-xlsx.xlsx", "whitespace", {}, -1, 1, 0, Text, {" <-space"}, false);
        add("korean", "poi-1_NoIden.xlsx", "시트_테스트(1)", {}, -1, 0, 0, Text, {"하천관리과"});
        add("no styles or shared strings", "readxl-no-styles-or-sharedStrings-parts.xlsx", "Sheet1",
            {"Language", "Age", "Churn probability"}, 11, 0, 0, Text, {"german", 73.0, 0.143292665});
        add("namespace prefix", "readxl-nonstandard-xml-ns-prefix.xlsx", "Sheet1", {"a", "b"}, -1, 0, 0, 0, {});
        const QDateTime day = Day(2000, 1, 1);
        add("LibreOffice dates", "readxl-dates-1900-LibreOffice.xlsx", "Sheet1", {"F1", "F2", "F3", "F4", "F5"}, -1, 0,
            0, AdoType::Date, {day, day, day, day, day}, false);
        // 100,000 runs inside runs, inline and shared; the text at the bottom
        // counts, and escapes are decoded once ("_x005F_" is the underscore).
        add("runs nested deeper than the stack", CORVANTA_SOURCE_DIR "/fuzz/regressions/xlsx/runs-nested-deep.xlsx", "S",
            {"Name", "Code"}, 1, 0, 0, Text, {"deep", "_x0041_"});
    }

    void readsAs()
    {
        QFETCH(QString, file);
        QFETCH(QString, sheet);
        QFETCH(bool, header);
        TestSupport::CheckReadsAs(Read(file, sheet, header));
    }

    void mixedColumnsAndLineBreaks()
    {
        // Mixed columns become text, each value written out, nothing dropped.
        const Recordset mixed = Read(QStringLiteral("readxl-types.xlsx"), QStringLiteral("date_coercion"));
        QCOMPARE(mixed.FieldType(0), Text);
        QStringList values;
        for (int row = 0; row < mixed.RecordCount(); ++row)
            values << mixed.ValueAt(row, 0).toString();
        QVERIFY2(values.contains(QStringLiteral("2016-05-23")) && values.contains(QStringLiteral("cabbage")) &&
                     values.contains(QStringLiteral("4.3")) && values.contains(QStringLiteral("TRUE")),
                 qPrintable(values.join(u'|')));

        // Line breaks are kept; an escaped escape stays visible as written.
        const Recordset lines = Read(QStringLiteral("readxl-new_line_errors.xlsx"), QStringLiteral("Blad1"));
        QVERIFY(lines.ValueAt(0, 0).toString().startsWith(QStringLiteral("first line of text \r\nsecond line")));
        QVERIFY(lines.ValueAt(1, 0).toString().contains(QStringLiteral("\"_x000D_\"")));
    }

    void packageVariants()
    {
        // Strict Open XML: other namespaces, same workbook.
        XlsxReader strict(Xlsx(QStringLiteral("poi-SampleSS.strict.xlsx")));
        XlsxReader plain(Xlsx(QStringLiteral("poi-SampleSS.xlsx")));
        QCOMPARE(strict.SheetNames(), QStringList({"First Sheet", "Sheet Number 2", "Sheet3"}));
        QCOMPARE(strict.SheetNames(), plain.SheetNames());
        QCOMPARE(strict.ReadSheet(QStringLiteral("Sheet Number 2"), true).Persist(),
                 plain.ReadSheet(QStringLiteral("Sheet Number 2"), true).Persist());

        QCOMPARE(XlsxReader(Xlsx(QStringLiteral("poi-TwoSheetsOneHidden.xlsx"))).SheetNames(),
                 QStringList({"Sheet1", "Sheet2"}));
        QCOMPARE(XlsxReader(Xlsx(QStringLiteral("readxl-utf8-sheet-names.xlsx"))).SheetNames(),
                 QStringList({QStringLiteral("µ"), QStringLiteral("∂")}));
        QCOMPARE(XlsxReader(Xlsx(QStringLiteral("poi-right-to-left.xlsx"))).SheetNames().value(1),
                 QStringLiteral("عربى"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestXlsx)
#include "tst_Xlsx.moc"
