#include "RecordsetProbe.h"
#include "SmtpTestServer.h"
#include "TestMain.h"
#include "platform/providers/sheets/Workbook.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "base/AppError.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <optional>

using TestSupport::ErrorOf;
using TestSupport::ErrorOrNone;
using TestSupport::Names;
using TestSupport::Row;

namespace {

// What the catalog keeps of a table the worksheet driver lists: without the
// enclosing quotes and the trailing "$"; named ranges (no "$") are dropped.
std::optional<QString> CatalogEntry(QString table)
{
    if (table.size() >= 2 && table.startsWith(u'\'') && table.endsWith(u'\''))
        table = table.mid(1, table.size() - 2);
    if (table.size() <= 1 || !table.endsWith(u'$'))
        return std::nullopt;
    return table.chopped(1);
}

QString Copy(const QTemporaryDir& dir, const QString& from, const QString& name)
{
    const QString to = dir.filePath(name);
    QFile::remove(to);
    if (!QFile::copy(from, to))
        qFatal("cannot copy %s", qPrintable(from));
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

// Known bad files: each must fail with an AppError, never read.
const QStringList kBadFiles{
    QStringLiteral("xls/readxl-types-truncated.xls"),
    QStringLiteral("xls/poi-password.xls"),
    QStringLiteral("xls/poi-xor-encryption-abc.xls"),
    QStringLiteral("xls/libxls-fuzz-xls2csv_ole_ole2_fread_327.xls"),
    QStringLiteral("xlsx/readxl-types-truncated.xlsx"),
    QStringLiteral("xlsx/poi-protected_passtika.xlsx"),
    QStringLiteral("xlsx/poi-poc-xmlbomb.xlsx"),
    QStringLiteral("xlsx/poi-xlsx-corrupted.xlsx"),
    QStringLiteral("xlsx/poi-clusterfuzz-testcase-minimized-XLSX2CSVFuzzer-5636439151607808.xlsx"),
};

// Builds a small .xlsx with Python's zipfile; `sheet` is the worksheet part.
QString MakeXlsx(const QTemporaryDir& dir, const QString& name, const QByteArray& sheet, bool claimHuge = false)
{
    // Python, line by line (moc reads this file and is not fond of raw strings).
    const char* script =
        "import sys, zipfile\n"
        "path, sheet, huge = sys.argv[1], open(sys.argv[2], \"rb\").read(), sys.argv[3] == \"1\"\n"
        "ns = 'xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"'\n"
        "rel = \"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"\n"
        "with zipfile.ZipFile(path, \"w\", zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr(\"_rels/.rels\", '<Relationships %s><Relationship Id=\"r1\" Type=\"%s/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>' % (ns, rel))\n"
        "    z.writestr(\"xl/workbook.xml\", '<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"%s\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"r1\"/></sheets></workbook>' % rel)\n"
        "    z.writestr(\"xl/_rels/workbook.xml.rels\", '<Relationships %s><Relationship Id=\"r1\" Type=\"%s/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>' % (ns, rel))\n"
        "    z.writestr(\"xl/worksheets/sheet1.xml\", sheet)\n"
        "if huge:\n"
        "    # Claim in the central directory that the sheet unpacks to almost 4 GB.\n"
        "    data = bytearray(open(path, \"rb\").read())\n"
        "    at = data.rfind(b\"PK\\x01\\x02\")\n"
        "    data[at + 24:at + 28] = (0xFFFFFF00).to_bytes(4, \"little\")\n"
        "    open(path, \"wb\").write(bytes(data))\n";
    const QString scriptPath = Write(dir, QStringLiteral("make.py"), script);
    const QString sheetPath = Write(dir, QStringLiteral("sheet.xml"), sheet);
    const QString path = dir.filePath(name);
    QProcess process;
    process.start(TestSupport::SystemPython(), {scriptPath, path, sheetPath, claimHuge ? QStringLiteral("1") : QStringLiteral("0")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        qFatal("python could not build %s: %s", qPrintable(name), process.readAllStandardError().constData());
    return path;
}

} // namespace

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

        QCOMPARE(Workbook::ListTables(TestSupport::TestData(QStringLiteral("xls/phpspreadsheet-example1.xls"))),
                 QStringList({"'Data Sheet #1$'", "'Data Sheet #2$'", "'Data Sheet #3$'"}));
        QCOMPARE(Workbook::ListTables(TestSupport::TestData(QStringLiteral("csv/thunderbird-csv_semicolon.csv"))),
                 QStringList({"'thunderbird-csv_semicolon$'"}));
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
    // and without a header row; the known bad ones fail. What the catalog
    // keeps of each listed table, put back into a source text, reads the
    // same sheet.
    void everyFileReadsOrFailsCleanly()
    {
        int sheets = 0;
        int failures = 0;
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
                        const auto entry = CatalogEntry(tables[i]);
                        QVERIFY2(entry, qPrintable(tables[i]));
                        QCOMPARE(*entry, names[i]);
                        const Recordset direct = Workbook::ReadSheet(path, names[i], true);
                        const Recordset viaSource = Workbook::ReadSheet(path, u'[' + *entry + QStringLiteral("$]"), true);
                        QCOMPARE(Names(viaSource), Names(direct));
                        QCOMPARE(viaSource.RecordCount(), direct.RecordCount());
                        Workbook::ReadSheet(path, names[i], false);
                        ++sheets;
                    }
                });
                if (kBadFiles.contains(folder + u'/' + it.fileName()))
                    QVERIFY2(error, qPrintable(path));
                if (error) {
                    ++failures;
                    QCOMPARE(error->Source(), WorkbookError::Source);
                    QVERIFY(!error->Description().isEmpty());
                }
            }
        }
        QVERIFY(sheets > 100);
        QVERIFY(failures >= kBadFiles.size());
    }

    void formatComesFromTheContent()
    {
        QTemporaryDir dir;
        const QString xlsx = Copy(dir, TestSupport::TestData(QStringLiteral("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")),
                                  QStringLiteral("people.xls"));
        QCOMPARE(Workbook::Detect(xlsx), Workbook::Format::Xlsx);
        QCOMPARE(Workbook::ReadSheet(xlsx, QStringLiteral("data"), true).RecordCount(), 10);
        const QString xls = Copy(dir, TestSupport::TestData(QStringLiteral("xls/mockaroo-MOCK_DATA-10rows.xls")),
                                 QStringLiteral("people.xlsx"));
        QCOMPARE(Workbook::Detect(xls), Workbook::Format::Xls);
        QCOMPARE(Row(Workbook::ReadSheet(xls, QStringLiteral("data$"), true), 0).value(1), QVariant("Sholom"));

        // A text file has one sheet, whatever it is called.
        const QString csv = TestSupport::TestData(QStringLiteral("csv/thunderbird-csv_semicolon.csv"));
        QCOMPARE(Workbook::Detect(csv), Workbook::Format::Csv);
        QCOMPARE(Workbook::SheetNames(csv), QStringList({"thunderbird-csv_semicolon"}));
        QCOMPARE(Workbook::ReadSheet(csv, QStringLiteral("anything"), true).RecordCount(), 2);
    }

    void filesThatAreNoWorkbookSayWhatTheyAre_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("web page") << "export.xls" << QByteArray("<html><table><tr><td>a</td></tr></table></html>")
                                  << "holds a web page (HTML)";
        QTest::newRow("xml") << "list.xlsx" << QByteArray("<?xml version=\"1.0\"?><Workbook/>") << "an XML document";
        QTest::newRow("pdf") << "scan.xls" << QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n") << "a PDF document";
        QTest::newRow("text") << "names.xls" << QByteArray("a\tb\n1\t2\n") << "give it a .csv or .txt ending";
        QTest::newRow("empty") << "empty.xlsx" << QByteArray() << "it is empty";
    }

    void filesThatAreNoWorkbookSayWhatTheyAre()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, phrase);
        QTemporaryDir dir;
        const QString path = Write(dir, name, bytes);
        const auto error = ErrorOf([&] { Workbook::ListTables(path); });
        QVERIFY(error);
        QCOMPARE(error->Number(), long(WorkbookError::NotWorkbook));
        QVERIFY2(error->Description().contains(name + QStringLiteral(" is not an Excel workbook")),
                 qPrintable(error->Description()));
        QVERIFY2(error->Description().contains(phrase), qPrintable(error->Description()));
    }

    void missingFilesAndFolders()
    {
        QTemporaryDir dir;
        QCOMPARE(ErrorOrNone([&] { Workbook::ReadSheet(dir.filePath(QStringLiteral("gone.xlsx")), {}, true); }).Number(),
                 long(WorkbookError::FileNotFound));
        QCOMPARE(ErrorOrNone([&] { Workbook::ListTables(dir.path()); }).Number(), long(WorkbookError::FileNotFound));

        const auto sheet = ErrorOf([&] {
            Workbook::ReadSheet(TestSupport::TestData(QStringLiteral("xlsx/poi-SampleSS.xlsx")), QStringLiteral("Fourth"),
                                true);
        });
        QVERIFY(sheet);
        QCOMPARE(sheet->Number(), long(WorkbookError::SheetNotFound));
        QVERIFY2(sheet->Description().contains(QStringLiteral("its worksheets are: First Sheet, Sheet Number 2, Sheet3")),
                 qPrintable(sheet->Description()));
    }

    void hostilePackagesAreRefusedBeforeTheyCostMuch()
    {
        QTemporaryDir dir;
        const QByteArray sheet("<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                               "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData></worksheet>");
        const QString good = MakeXlsx(dir, QStringLiteral("good.xlsx"), sheet);
        QCOMPARE(Workbook::ReadSheet(good, QStringLiteral("S"), false).ValueAt(0, 0), QVariant(1.0));

        const auto refusal = [&](const QString& name, const QByteArray& bytes, bool claimHuge = false) {
            return ErrorOrNone([&] { Workbook::ReadSheet(MakeXlsx(dir, name, bytes, claimHuge), QStringLiteral("S"), false); });
        };
        // A central directory that promises gigabytes: refused before inflating.
        const AppError bomb = refusal(QStringLiteral("bomb.xlsx"), sheet, true);
        QCOMPARE(bomb.Number(), long(WorkbookError::TooLarge));
        QVERIFY2(bomb.Description().contains(QStringLiteral("zip bomb")), qPrintable(bomb.Description()));
        // A worksheet with entities of its own.
        QVERIFY(refusal(QStringLiteral("dtd.xlsx"), "<!DOCTYPE w [<!ENTITY a \"aaaa\">]>" + sheet)
                    .Description()
                    .contains(QStringLiteral("declares entities")));
        // A cell far outside any worksheet.
        QCOMPARE(refusal(QStringLiteral("far.xlsx"), QByteArray(sheet).replace("r=\"A1\"", "r=\"ZZZZZ99999999\"")).Number(),
                 long(WorkbookError::Damaged));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestWorkbook)
#include "tst_Workbook.moc"
