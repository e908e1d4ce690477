#include "TestMain.h"

#include <QProcess>

namespace {

QString Tool()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/corvanta-import");
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
    void initTestCase() { QVERIFY2(QFileInfo(Tool()).isExecutable(), qPrintable(Tool() + QStringLiteral(" is not built"))); }

    // What goes to standard output (its start, and how many lines), what to
    // standard error, and the exit status.
    void printsTheSourceAsCsv_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("error");
        const QString access = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Read;"
                                              "Persist Security Info=False")
                                   .arg(Data("mdb/jackcess-testV1997.mdb"));
        // A value with a comma, one with quotes and line breaks, a leading zero kept as text.
        QTest::newRow("comma") << QStringList{Data("csv/csvspectrum-comma_in_quotes.csv")} << 0
                               << QByteArray("first:202,last:202,address:202,city:202,zip:202\r\n"
                                             "John,Doe,120 any st.,\"Anytown, WW\",08123\r\n")
                               << 2 << QString();
        QTest::newRow("quotes") << QStringList{Data("csv/csvspectrum-quotes_and_newlines.csv")} << 0
                                << QByteArray("a:5,b:202\r\n1,\"ha \n\"\"ha\"\" \nha\"\r\n3,4\r\n") << 5 << QString();
        // Unnamed columns are labelled, without a header row the first row is data.
        QTest::newRow("sheet") << QStringList{QStringLiteral("--sheet"), QStringLiteral("Sheet1"),
                                              Data("xls/readxl-unnamed-duplicated-columns.xls")}
                               << 0 << QByteArray("[Column 1]:5,var2:202,[Column 3]:5,var2:202\r\n1,a,1.1,aa\r\n") << 3
                               << QString();
        QTest::newRow("no header") << QStringList{QStringLiteral("--no-header"),
                                                  Data("xls/readxl-unnamed-duplicated-columns.xls")}
                                   << 0 << QByteArray("F1:") << 4 << QString();
        QTest::newRow("tables") << QStringList{QStringLiteral("--tables"), Data("xlsx/poi-SampleSS.xlsx")} << 0
                                << QByteArray("First Sheet\r\nSheet Number 2\r\nSheet3\r\n") << 3 << QString();
        QTest::newRow("query") << QStringList{QStringLiteral("--query"),
                                              QStringLiteral("SELECT COUNT(*) AS n FROM [data$] WHERE id > 7"),
                                              Data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")}
                               << 0 << QByteArray("n:3\r\n3\r\n") << 2 << QString();
        QTest::newRow("connection") << QStringList{QStringLiteral("--connection"), access, QStringLiteral("--source"),
                                                   QStringLiteral("[Table1]")}
                                    << 0 << QByteArray("A:") << 3 << QString();
        QTest::newRow("damaged") << QStringList{Data("xls/readxl-types-truncated.xls")} << 1 << QByteArray() << 0
                                 << QStringLiteral("(Workbook)");
        QTest::newRow("access by name") << QStringList{QStringLiteral("/nonexistent/list.mdb")} << 1 << QByteArray()
                                        << 0 << QStringLiteral("(Access)");
        QTest::newRow("nothing chosen") << QStringList{QStringLiteral("--connection"), QStringLiteral("Provider=SQLOLEDB.1;"),
                                                       QStringLiteral("--source"), QString()}
                                        << 1 << QByteArray() << 0 << QStringLiteral("(Provider)");
        QTest::newRow("no arguments") << QStringList{} << 2 << QByteArray() << 0 << QString();
    }

    void printsTheSourceAsCsv()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, out);
        QFETCH(QString, error);
        QProcess process;
        process.start(Tool(), arguments);
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QTEST(process.exitCode(), "status");
        const QByteArray printed = process.readAllStandardOutput();
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(printed.startsWith(out), printed.constData());
        QTEST(int(printed.count('\n')), "lines");
        if (!error.isEmpty())
            QVERIFY2(errors.startsWith(QLatin1String("Error ")) && errors.contains(error), qPrintable(errors));
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_CorvantaImport)
#include "tst_CorvantaImport.moc"
