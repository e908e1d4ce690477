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
    void tableNamesAsTheDriverListsThemAndBack()
    {
        // An apostrophe stays single, so that the catalog's unquoting gives the name back.
        for (const auto& [sheet, table] : {std::pair("Sheet1", "Sheet1$"), {"My Sheet", "'My Sheet$'"},
                                           {"2019", "'2019$'"}, {"Blätt_1", "Blätt_1$"},
                                           {"Seamus O'Reilly", "'Seamus O'Reilly$'"}})
            QCOMPARE(Workbook::TableName(QString::fromUtf8(sheet)), QString::fromUtf8(table));

        // Sheets are found by any of those forms; a name that really ends in "$" as it is.
        const QStringList names{"Sheet1", "sheet1", "My Sheet", "Odd$", "Odd"};
        for (const auto& [given, sheet] : {std::pair("Sheet1", "Sheet1"), {"sheet1", "sheet1"}, {"SHEET1", "Sheet1"},
                                           {"[Sheet1$]", "Sheet1"}, {"Sheet1$", "Sheet1"}, {"'My Sheet$'", "My Sheet"},
                                           {"Odd$", "Odd$"}, {"Other", ""}})
            QCOMPARE(Workbook::ResolveSheetName(QString::fromUtf8(given), names), QString::fromUtf8(sheet));
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
        const AppError error = TestSupport::ErrorOrNone([] {
            Workbook::ReadSheet(TestSupport::TestData("xlsx/poi-SampleSS.xlsx"), QStringLiteral("Fourth"), true);
        });
        QCOMPARE(error.Number(), long(WorkbookError::SheetNotFound));
        QVERIFY2(error.Description().contains(QStringLiteral("its worksheets are: First Sheet, Sheet Number 2, Sheet3")),
                 qPrintable(error.Description()));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestWorkbook)
#include "tst_Workbook.moc"
