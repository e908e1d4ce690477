#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/providers/sheets/XlsxReader.h"

#include <QDateTime>

using TestSupport::Names;
using TestSupport::Types;
using TestSupport::Row;

namespace {

QString Xlsx(const QString& name)
{
    return TestSupport::TestData(QStringLiteral("xlsx/") + name);
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
    void typesPerColumn()
    {
        // 1904 date system; one column of each kind and an empty one.
        const Recordset set = Read(QStringLiteral("readxl-types.xlsx"), QStringLiteral("guess_me"));
        QCOMPARE(Names(set), QStringList({"blank", "boolean", "date", "numeric", "text"}));
        QCOMPARE(Types(set), QList<int>({Text, AdoType::Boolean, AdoType::Date, Number, Text}));
        QCOMPARE(set.RecordCount(), 5);
        QCOMPARE(Row(set, 0), QVariantList({QVariant(), true, Day(2017, 2, 27), 1.0, "hello"}));
        QVERIFY(set.IsNullAt(2, 1)); // an empty row inside the table stays a row

        // Mixed columns become text, each value written out, nothing dropped.
        const Recordset mixed = Read(QStringLiteral("readxl-types.xlsx"), QStringLiteral("date_coercion"));
        QCOMPARE(mixed.FieldType(0), Text);
        QStringList values;
        for (int row = 0; row < mixed.RecordCount(); ++row)
            values << mixed.ValueAt(row, 0).toString();
        QVERIFY2(values.contains(QStringLiteral("2016-05-23")) && values.contains(QStringLiteral("cabbage")) &&
                     values.contains(QStringLiteral("4.3")) && values.contains(QStringLiteral("TRUE")),
                 qPrintable(values.join(u'|')));

        // Formula results come from their cached values.
        const Recordset formulas = Read(QStringLiteral("readxl-types.xlsx"), QStringLiteral("smorgasbord"), false);
        QCOMPARE(formulas.ValueAt(1, 1).toString(), QStringLiteral("HELLO WORLD"));
        QCOMPARE(formulas.ValueAt(5, 1).toString(), QStringLiteral("1.69"));

        const Recordset booleans = Read(QStringLiteral("poi-Booleans.xlsx"), QStringLiteral("Sheet1"), false);
        QCOMPARE(booleans.FieldType(0), int(AdoType::Boolean));
        QCOMPARE(booleans.ValueAt(0, 0), QVariant(true));
        QCOMPARE(booleans.ValueAt(3, 0), QVariant(false));
    }

    void datesInEveryForm()
    {
        const Recordset lo = Read(QStringLiteral("readxl-dates-1900-LibreOffice.xlsx"), QStringLiteral("Sheet1"), false);
        QCOMPARE(lo.FieldCount(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(lo.FieldType(i), int(AdoType::Date));
            QCOMPARE(lo.ValueAt(0, i).toDateTime().date(), QDate(2000, 1, 1));
        }
        const Recordset noStrings = Read(QStringLiteral("poi-noSharedStringTable.xlsx"), QStringLiteral("Sheet1"), false);
        QCOMPARE(Row(noStrings, 0), QVariantList({Day(2006, 4, 12), 123.0}));
    }

    void namesAsTheHeaderRowHasThem()
    {
        const Recordset unnamed = Read(QStringLiteral("readxl-unnamed-duplicated-columns.xlsx"), QStringLiteral("Sheet1"));
        QCOMPARE(Names(unnamed), QStringList({"", "var2", "", "var2"}));
        QCOMPARE(Row(unnamed, 1), QVariantList({2.0, "b", 2.1, "bb"}));

        QCOMPARE(Names(Read(QStringLiteral("readxl-names-need-repair-xlsx.xlsx"), QStringLiteral("Sheet1"))),
                 QStringList({"a b", "a b", "", "c%&$"}));

        const Recordset generic = Read(QStringLiteral("readxl-unnamed-duplicated-columns.xlsx"), QStringLiteral("Sheet1"),
                                       false);
        QCOMPARE(Names(generic), QStringList({"F1", "F2", "F3", "F4"}));
        QCOMPARE(generic.RecordCount(), 3);
        QCOMPARE(generic.FieldType(0), Number); // an empty header cell adds nothing
        QCOMPARE(generic.FieldType(1), Text);   // "var2" is now data among the letters
        QCOMPARE(Row(generic, 0), QVariantList({QVariant(), "var2", QVariant(), "var2"}));

        const Recordset inline_ = Read(QStringLiteral("readxl-inlineStr.xlsx"), QStringLiteral("Requirements"));
        QCOMPARE(inline_.FieldName(0), QStringLiteral("NN"));
        QCOMPARE(inline_.FieldName(2), QString());
        QCOMPARE(inline_.ValueAt(0, 4).toString(), QStringLiteral("RQ11610"));
    }

    void theTableSpansWhatIsUsed()
    {
        // Data only in column B: the table starts there.
        const Recordset missing = Read(QStringLiteral("readxl-missing-first-column.xlsx"), QStringLiteral("Sheet1"), false);
        QCOMPARE(Names(missing), QStringList({"F1"}));
        QCOMPARE(missing.RecordCount(), 3);
        QCOMPARE(missing.ValueAt(2, 0), QVariant(3.0));

        // A table placed at B3:D7.
        const Recordset table = Read(QStringLiteral("poi-simple-table-named-range.xlsx"), QStringLiteral("Sheet1"));
        QCOMPARE(Names(table), QStringList({"a", "b", "c"}));
        QCOMPARE(Types(table), QList<int>({Number, Number, Number}));

        const Recordset empty = Read(QStringLiteral("readxl-empty-sheets.xlsx"), QStringLiteral("empty"));
        QCOMPARE(Names(empty), QStringList({"F1"}));
        QCOMPARE(empty.RecordCount(), 0);
        const Recordset headerOnly = Read(QStringLiteral("readxl-empty-sheets.xlsx"), QStringLiteral("header_only"));
        QCOMPARE(Names(headerOnly), QStringList({"var1", "var2"}));
        QCOMPARE(headerOnly.RecordCount(), 0);

        QCOMPARE(Names(Read(QStringLiteral("readxl-blanks.xlsx"), QStringLiteral("same_row_middle"))),
                 QStringList({"x", "y"}));
    }

    void textKeepsBlanksLineBreaksAndEscapes()
    {
        const Recordset blanks = Read(QStringLiteral("readxl-whitespace-xlsx.xlsx"), QStringLiteral("whitespace"), false);
        QCOMPARE(blanks.ValueAt(0, 0).toString(), QStringLiteral(" <-space, space-> "));
        QCOMPARE(blanks.ValueAt(1, 0).toString(), QStringLiteral(" <-space"));

        const Recordset lines = Read(QStringLiteral("readxl-new_line_errors.xlsx"), QStringLiteral("Blad1"));
        QVERIFY(lines.ValueAt(0, 0).toString().startsWith(QStringLiteral("first line of text \r\nsecond line")));
        // An escaped escape stays visible as written.
        QVERIFY(lines.ValueAt(1, 0).toString().contains(QStringLiteral("\"_x000D_\"")));

        const Recordset korean = Read(QStringLiteral("poi-1_NoIden.xlsx"), QStringLiteral("시트_테스트(1)"));
        QVERIFY(korean.RecordCount() > 0);
        QCOMPARE(korean.ValueAt(0, 0).toString(), QStringLiteral("하천관리과"));
    }

    void packageVariants()
    {
        const Recordset minimal =
            Read(QStringLiteral("readxl-no-styles-or-sharedStrings-parts.xlsx"), QStringLiteral("Sheet1"));
        QCOMPARE(Names(minimal), QStringList({"Language", "Age", "Churn probability"}));
        QCOMPARE(minimal.RecordCount(), 11);
        QCOMPARE(Row(minimal, 0), QVariantList({"german", 73.0, 0.143292665}));

        QCOMPARE(Names(Read(QStringLiteral("readxl-nonstandard-xml-ns-prefix.xlsx"), QStringLiteral("Sheet1"))),
                 QStringList({"a", "b"}));

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

    void runsNestedDeeperThanTheStack()
    {
        // 100,000 runs inside runs, inline and shared; the text at the bottom
        // counts, and escapes are decoded once ("_x005F_" is the underscore).
        const Recordset set = XlsxReader(QStringLiteral(CORVANTA_SOURCE_DIR "/fuzz/regressions/xlsx/runs-nested-deep.xlsx"))
                                  .ReadSheet(QStringLiteral("S"), true);
        QCOMPARE(Names(set), QStringList({"Name", "Code"}));
        QCOMPARE(set.RecordCount(), 1);
        QCOMPARE(set.ValueAt(0, 0).toString(), QStringLiteral("deep"));
        QCOMPARE(set.ValueAt(0, 1).toString(), QStringLiteral("_x0041_"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestXlsx)
#include "tst_Xlsx.moc"
