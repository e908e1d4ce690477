#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/sheets/Workbook.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "recipients/SourceCatalog.h"
#include "base/AppError.h"

#include <QDirIterator>
#include <QTemporaryDir>

using TestSupport::ErrorOf;
using TestSupport::Names;
using TestSupport::Row;

class TestWorkbook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tableNamesAsTheDriverListsThem()
    {
        QCOMPARE(Workbook::TableName(QStringLiteral("Sheet1")), QStringLiteral("Sheet1$"));
        QCOMPARE(Workbook::TableName(QStringLiteral("My Sheet")), QStringLiteral("'My Sheet$'"));
        QCOMPARE(Workbook::TableName(QStringLiteral("2019")), QStringLiteral("'2019$'"));
        QCOMPARE(Workbook::TableName(QStringLiteral("Blätt_1")), QStringLiteral("Blätt_1$"));
        // An apostrophe stays single, so that the catalog's unquoting gives the name back.
        QCOMPARE(Workbook::TableName(QStringLiteral("Seamus O'Reilly")), QStringLiteral("'Seamus O'Reilly$'"));
    }

    void sheetNamesInEveryFormTheProgramHolds()
    {
        const QStringList names{"Sheet1", "sheet1", "My Sheet", "Odd$", "Odd"};
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("Sheet1"), names), QStringLiteral("Sheet1"));
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("sheet1"), names), QStringLiteral("sheet1"));
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("SHEET1"), names), QStringLiteral("Sheet1"));
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("[Sheet1$]"), names), QStringLiteral("Sheet1"));
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("Sheet1$"), names), QStringLiteral("Sheet1"));
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("'My Sheet$'"), names), QStringLiteral("My Sheet"));
        // A name that really ends in "$" is found as it is.
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("Odd$"), names), QStringLiteral("Odd$"));
        QCOMPARE(Workbook::ResolveSheetName(QStringLiteral("Other"), names), QString());
    }

    // Every sheet of every file either reads or fails with an AppError, with
    // and without a header row. What the catalog keeps of each listed table,
    // put back into a source text, reads the same sheet.
    void everyFileReadsOrFailsCleanly()
    {
        int sheets = 0;
        for (const QString& folder : {QStringLiteral("xls"), QStringLiteral("xlsx"), QStringLiteral("csv"),
                                     QStringLiteral("adoxml"), QStringLiteral("mdb"), QStringLiteral("vcf")}) {
            QDirIterator it(TestSupport::TestData(folder), QDir::Files);
            while (it.hasNext()) {
                const QString path = it.next();
                const auto error = ErrorOf([&] {
                    const QStringList names = Workbook::SheetNames(path);
                    const QStringList tables = Workbook::ListTables(path);
                    QCOMPARE(tables.size(), names.size());
                    for (int i = 0; i < tables.size(); ++i) {
                        const QString entry = SourceCatalog::ExcelCatalogName(tables[i]);
                        QCOMPARE(entry, names[i]);
                        const Recordset direct = Workbook::ReadSheet(path, names[i], true);
                        const Recordset viaSource = Workbook::ReadSheet(path, u'[' + entry + QStringLiteral("$]"), true);
                        QCOMPARE(Names(viaSource), Names(direct));
                        QCOMPARE(viaSource.RecordCount(), direct.RecordCount());
                        Workbook::ReadSheet(path, names[i], false);
                        ++sheets;
                    }
                });
                if (error) {
                    QCOMPARE(error->Source(), WorkbookError::Source);
                    QVERIFY(!error->Description().isEmpty());
                }
            }
        }
        QVERIFY(sheets > 100);
    }

    void formatComesFromTheContent()
    {
        QTemporaryDir dir;
        const QString xlsx = TestSupport::CopyWritable(TestSupport::TestData(QStringLiteral("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")),
                                                     dir.filePath(QStringLiteral("people.xls")));
        QCOMPARE(Workbook::Detect(xlsx), Workbook::Format::Xlsx);
        QCOMPARE(Workbook::ReadSheet(xlsx, QStringLiteral("data"), true).RecordCount(), 10);
        const QString xls = TestSupport::CopyWritable(TestSupport::TestData(QStringLiteral("xls/mockaroo-MOCK_DATA-10rows.xls")),
                                                    dir.filePath(QStringLiteral("people.xlsx")));
        QCOMPARE(Workbook::Detect(xls), Workbook::Format::Xls);
        QCOMPARE(Row(Workbook::ReadSheet(xls, QStringLiteral("data$"), true), 0).value(1), QVariant("Sholom"));

        // A text file has one sheet, whatever it is called.
        const QString csv = TestSupport::TestData(QStringLiteral("csv/thunderbird-csv_semicolon.csv"));
        QCOMPARE(Workbook::Detect(csv), Workbook::Format::Csv);
        QCOMPARE(Workbook::SheetNames(csv), QStringList({"thunderbird-csv_semicolon"}));
        QCOMPARE(Workbook::ReadSheet(csv, QStringLiteral("anything"), true).RecordCount(), 2);
    }

    // A missing sheet is named with those the workbook has.
    void missingSheet()
    {
        const auto sheet = ErrorOf([] {
            Workbook::ReadSheet(TestSupport::TestData(QStringLiteral("xlsx/poi-SampleSS.xlsx")), QStringLiteral("Fourth"),
                                true);
        });
        QVERIFY(sheet);
        QCOMPARE(sheet->Number(), long(WorkbookError::SheetNotFound));
        QVERIFY2(sheet->Description().contains(QStringLiteral("its worksheets are: First Sheet, Sheet Number 2, Sheet3")),
                 qPrintable(sheet->Description()));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestWorkbook)
#include "tst_Workbook.moc"
