#include "TestMain.h"

#include <QProcess>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Result RunTool(const QStringList& arguments)
{
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/corvanta-import");
    QProcess process;
    process.start(tool, arguments);
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString Data(const char* relative)
{
    return TestSupport::TestData(QString::fromLatin1(relative));
}

} // namespace

class tst_CorvantaImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/corvanta-import");
        QVERIFY2(QFileInfo(tool).isExecutable(), qPrintable(tool + QStringLiteral(" is not built")));
    }

    void quotesCommasAndNewlines()
    {
        // a value with a comma, one with quotes and line breaks, a leading zero kept as text
        const Result commas = RunTool({Data("csv/csvspectrum-comma_in_quotes.csv")});
        QCOMPARE(commas.exitCode, 0);
        QCOMPARE(commas.out, QByteArray("first:202,last:202,address:202,city:202,zip:202\r\n"
                                        "John,Doe,120 any st.,\"Anytown, WW\",08123\r\n"));

        const Result quotes = RunTool({Data("csv/csvspectrum-quotes_and_newlines.csv")});
        QCOMPARE(quotes.exitCode, 0);
        const QList<QByteArray> lines = quotes.out.split('\n');
        QVERIFY(lines.first().startsWith("a:"));
        QVERIFY(quotes.out.contains("\"ha \n\"\"ha\"\" \nha\""));
        QVERIFY(quotes.out.endsWith("3,4\r\n"));
    }

    void workbookSheetsAndNulls()
    {
        const Result sheet = RunTool({QStringLiteral("--sheet"), QStringLiteral("Sheet1"),
                                      Data("xls/readxl-unnamed-duplicated-columns.xls")});
        QCOMPARE(sheet.exitCode, 0);
        const QList<QByteArray> lines = sheet.out.split('\n');
        QCOMPARE(lines.first(), QByteArray("[Column 1]:5,var2:202,[Column 3]:5,var2:202\r"));
        QCOMPARE(lines.at(1), QByteArray("1,a,1.1,aa\r"));

        // without a header row the first row is data and the columns are F1...
        const Result raw = RunTool({QStringLiteral("--no-header"), Data("xls/readxl-unnamed-duplicated-columns.xls")});
        QCOMPARE(raw.exitCode, 0);
        QVERIFY(raw.out.startsWith("F1:"));
        QCOMPARE(raw.out.count('\n'), 4);

        const Result tables = RunTool({QStringLiteral("--tables"), Data("xlsx/poi-SampleSS.xlsx")});
        QCOMPARE(tables.exitCode, 0);
        QCOMPARE(tables.out, QByteArray("First Sheet\r\nSheet Number 2\r\nSheet3\r\n"));
    }

    void commandTextsAndConnectionStrings()
    {
        const Result query = RunTool({QStringLiteral("--query"),
                                      QStringLiteral("SELECT COUNT(*) AS n FROM [data$] WHERE id > 7"),
                                      Data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")});
        QCOMPARE(query.exitCode, 0);
        QCOMPARE(query.out, QByteArray("n:3\r\n3\r\n"));

        const QString access = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Read;"
                                              "Persist Security Info=False")
                                   .arg(Data("mdb/jackcess-testV1997.mdb"));
        const Result table = RunTool({QStringLiteral("--connection"), access, QStringLiteral("--source"),
                                      QStringLiteral("[Table1]")});
        QCOMPARE(table.exitCode, 0);
        QCOMPARE(table.out.count('\n'), 3);
        QVERIFY(table.out.startsWith("A:"));

        const Result listed = RunTool({QStringLiteral("--connection"), access, QStringLiteral("--tables")});
        QCOMPARE(listed.exitCode, 0);
        QVERIFY(listed.out.startsWith("Table1\r\n"));
    }

    void failuresGoToStandardError()
    {
        const Result truncated = RunTool({Data("xls/readxl-types-truncated.xls")});
        QCOMPARE(truncated.exitCode, 1);
        QVERIFY(truncated.out.isEmpty());
        QVERIFY2(truncated.err.startsWith(QLatin1String("Error ")) && truncated.err.contains(QLatin1String("(Workbook)")),
                 qPrintable(truncated.err));

        const Result missing = RunTool({QStringLiteral("/nonexistent/list.mdb")});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.err.contains(QLatin1String("(Access)")), qPrintable(missing.err));

        const Result unchosen = RunTool({QStringLiteral("--connection"), QStringLiteral("Provider=SQLOLEDB.1;"),
                                     QStringLiteral("--source"), QString()});
        QCOMPARE(unchosen.exitCode, 1);
        QVERIFY(unchosen.err.contains(QLatin1String("(Provider)")));

        QCOMPARE(RunTool({}).exitCode, 2);
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_CorvantaImport)
#include "tst_CorvantaImport.moc"
