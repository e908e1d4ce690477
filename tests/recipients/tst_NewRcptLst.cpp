#include "MainWindowSetup.h"
#include "TestFiles.h"
#include "WizardScript.h"
#include "recipients/frmNewRcptLst.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

using namespace TestSupport;

namespace {

// A web server on loopback that answers any request with a record set; a
// silent one accepts and never answers.
class XmlServer : public QTcpServer
{
public:
    explicit XmlServer(bool silent) : m_silent(silent)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                if (!m_silent)
                    connect(socket, &QTcpSocket::readyRead, socket, [socket] { Answer(socket); });
        });
        listen(QHostAddress::LocalHost);
    }
    ~XmlServer() override { close(); }

private:
    static void Answer(QTcpSocket* socket)
    {
        const QByteArray body = ReadBytes(TestData("adoxml/msdocs-northwind-shippers.xml"));
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }
    bool m_silent;
};

} // namespace

class TestNewRcptLst : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    XmlServer m_web{false};

    QString Expand(QString text) const
    {
        return text.replace(QStringLiteral("%TD%"), QStringLiteral(CORVANTA_TESTDATA))
            .replace(QStringLiteral("%DIR%"), m_dir.path())
            .replace(QStringLiteral("%PORT%"), QString::number(m_web.serverPort()))
            .replace(QStringLiteral("%SC%"), QStringLiteral(";"));
    }

    // Runs the script on the wizard that `open` shows; what it showed at the
    // end, if it was still open then.
    struct Seen
    {
        QString page, balloon;
        bool open = false;
    };
    Seen Drive(const QString& script, const std::function<void()>& open)
    {
        Seen seen;
        WhenModal([&](QWidget* wizard) {
            QStringList steps = script.split(u';');
            for (QString& step : steps)
                step = Expand(step);
            Run(wizard, steps);
            if (wizard->isVisible()) {
                seen = {Page(wizard), BalloonShown(), true};
                ctlBalloonTip::CloseBalloon();
                Find<QPushButton>(wizard, "cmdCancel")->click();
            }
        });
        open();
        return seen;
    }
    Seen Walk(const std::shared_ptr<RecipientList>& list, const QString& script)
    {
        SetEditedRecipientList(list);
        const Seen seen = Drive(script, [] { frmNewRcptLst::ShowWizard(nullptr); });
        SetEditedRecipientList(nullptr);
        return seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_web.isListening());
        ExecuteSql(m_dir.filePath(QStringLiteral("club.db")),
                   {QStringLiteral("CREATE TABLE members (name TEXT, email TEXT)"),
                    QStringLiteral("INSERT INTO members VALUES ('Ada', 'ada@example.org'), ('Bo', "
                                   "'bo@example.org')")});
        QByteArray rows = "Name,Email\n";
        for (int i = 1; i <= 150; ++i)
            rows += "P" + QByteArray::number(i) + ",p" + QByteArray::number(i) + "@example.org\n";
        PutFile(m_dir.filePath(QStringLiteral("long.csv")), rows);
        // A mail profile of the user's own, with one address book.
        PutFile(QDir::homePath() + QStringLiteral("/.thunderbird/profiles.ini"),
                "[Profile0]\nName=default\nIsRelative=1\nPath=x1.default\nDefault=1\n");
        QDir().mkpath(QDir::homePath() + QStringLiteral("/.thunderbird/x1.default"));
        CopyWritable(TestData("abook/abook.sqlite"),
                     QDir::homePath() + QStringLiteral("/.thunderbird/x1.default/abook.sqlite"));
    }
    void cleanup()
    {
        ctlBalloonTip::CloseBalloon();
        VerifyAllAnswersTaken();
    }

    // Every source type walked to Finish: the list's connection and that
    // the import reads it.
    void finishedWalkImports_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("connection"); // the string, or the address of an XML list
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("rows");
        const QString jet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;");
        const QString excel =
            jet + QStringLiteral("Extended Properties=\"Excel 8.0;DATABASE=%TD%/");
        const QString excelEnd = QStringLiteral("\";Mode=Read;Persist Security Info=False");
        const auto walk = [](const char* name, const QString& script, const QString& connection,
                             const char* source, int rows) {
            QTest::newRow(name) << script << connection << QString::fromLatin1(source) << rows;
        };
        walk(".xls, sheet chosen by keyboard",
             "txtName=People;cmdNext;optSourceType3;cmdNext;txtFilename=%TD%/xls/"
             "mockaroo-MOCK_DATA-10rows.xls;cmdNext;lstCatalogs>Down;cmdNext;cmdNext;cmdFinish",
             excel + "xls/mockaroo-MOCK_DATA-10rows.xls;HDR=Yes" + excelEnd, "[data$]", 10);
        walk(".xlsx, no headings, kept over Previous",
             "txtName=People;cmdNext;optSourceType3;cmdNext;txtFilename=%TD%/xlsx/"
             "mockaroo-MOCK_DATA-10rows.xlsx;cmdNext;lstCatalogs=data;cmdNext;"
             "chkFirstRowContainsColumnHeadings;cmdNext;cmdPrevious;?"
             "chkFirstRowContainsColumnHeadings=0;cmdPrevious;cmdNext;?"
             "chkFirstRowContainsColumnHeadings=0;cmdNext;cmdFinish",
             excel + "xlsx/mockaroo-MOCK_DATA-10rows.xlsx;HDR=No" + excelEnd, "[data$]", 11);
        walk(".csv, previews of the first rows",
             "txtName=L;cmdNext;optSourceType3;cmdNext;txtFilename=%DIR%/"
             "long.csv;cmdNext;lstCatalogs=long;cmdNext;?MSHFlexGrid1=100xName;"
             "chkFirstRowContainsColumnHeadings;?MSHFlexGrid1=100xF1;cmdNext;cmdFinish",
             excel.chopped(5) + "%DIR%/long.csv;HDR=No" + excelEnd, "[long$]", 151);
        walk(".csv, typed query",
             "txtName=Csv;cmdNext;optSourceType3;cmdNext;txtFilename=%TD%/csv/"
             "csvspectrum-utf8.csv;cmdNext;optCommandType1;txtCommandText=SELECT c FROM "
             "[csvspectrum-utf8];cmdNext;cmdNext;cmdFinish",
             excel + "csv/csvspectrum-utf8.csv;HDR=Yes" + excelEnd,
             "SELECT c FROM [csvspectrum-utf8]", 2);
        walk(".accdb, browsed",
             "txtName=Assets;cmdNext;optSourceType1;cmdNext;@open=%TD%/mdb/"
             "mdbtestdata-ASampleDatabase.accdb;cmdBrowse;cmdNext;lstCatalogs=Asset "
             "Items;cmdNext;cmdFinish",
             jet + "Data Source=%TD%/mdb/mdbtestdata-ASampleDatabase.accdb;Mode=Read;Persist "
                   "Security Info=False",
             "[Asset Items]", 65);
        walk(".mdb, path trimmed, browse cancelled, blank password",
             "txtName=Old;cmdNext;optSourceType1;cmdNext;txtPath= %TD%/mdb/jackcess-testV1997.mdb "
             ";@open=;cmdBrowse;chkAuthenticationRequired;txtUsername=Admin;cmdNext;lstCatalogs="
             "Table1;cmdNext;cmdFinish",
             jet + "Data Source=%TD%/mdb/jackcess-testV1997.mdb;Mode=Read;Persist Security "
                   "Info=True;Password=;User ID=Admin",
             "[Table1]", 2);
        walk("XML file, Previous from Finish",
             "txtName=Ships;cmdNext;optSourceType2;cmdNext;txtUrlUri=%TD%/adoxml/"
             "msdocs-northwind-shippers.xml;cmdNext;cmdPrevious;?txtUrlUri=%TD%/adoxml/"
             "msdocs-northwind-shippers.xml;cmdNext;cmdFinish",
             "%TD%/adoxml/msdocs-northwind-shippers.xml", "", 3);
        walk("XML over http",
             "txtName=Ships;cmdNext;optSourceType2;cmdNext;txtUrlUri=http://127.0.0.1:%PORT%/"
             "shippers.xml;cmdNext;cmdFinish",
             "http://127.0.0.1:%PORT%/shippers.xml", "", 3);
        walk("SQLite typed",
             "txtName=Club;cmdNext;optSourceType4;cmdNext;txtConnectionString=Driver={SQLite3}%SC%"
             "Database=%DIR%/club.db%SC%;cmdNext;lstCatalogs=members;cmdNext;cmdFinish",
             "Driver={SQLite3};Database=%DIR%/club.db;", "[members]", 2);
        walk("SQLite built in the connection dialog",
             "txtName=Club;cmdNext;optSourceType4;cmdNext;@link=%DIR%/"
             "club.db;cmdNext;optCommandType1;txtCommandText=SELECT email FROM members WHERE name "
             "= 'Bo';cmdNext;cmdFinish",
             "Driver={SQLite3};Database=%DIR%/club.db;",
             "SELECT email FROM members WHERE name = 'Bo'", 1);
        walk("address book, Previous from the folder page",
             "txtName=Book;cmdNext;optSourceType5;cmdNext;?cboProfiles=default;cmdNext;cmdPrevious;"
             "cmdNext;optCatalogType1;lvwCatalog=Personal Address Book;cmdNext;cmdFinish",
             jet + "Outlook "
                   "9.0;MAPILEVEL=;TABLETYPE=1;PROFILE=default;PWD=;DATABASE=c:\\temp;Mode=Read",
             "[Personal Address Book]", 5);
        walk("contact folder",
             "txtName=Book;cmdNext;optSourceType5;cmdNext;cmdNext;lvwCatalog=Personal Address "
             "Book;cmdNext;cmdFinish",
             jet + "Outlook 9.0;MAPILEVEL=Address "
                   "Books|;TABLETYPE=0;PROFILE=default;PWD=;DATABASE=c:\\temp;Mode=Read",
             "[Personal Address Book]", 5);
    }
    void finishedWalkImports()
    {
        QFETCH(QString, script);
        QFETCH(QString, connection);
        QFETCH(QString, source);
        QFETCH(int, rows);
        auto list = std::make_shared<RecipientList>();
        const Seen seen = Walk(list, script);
        QVERIFY2(!seen.open, qPrintable(seen.page + u' ' + seen.balloon));
        QVERIFY(list->IsListValid());
        const ConnectionData data = list->GetConnectionData();
        QCOMPARE(data.ConnectionType() == ConnectionData::XmlHttp ? data.Url()
                                                                  : data.ConnectionString(),
                 Expand(connection));
        QCOMPARE(data.Source(), source);
        QCOMPARE(RecipientImport::GetRecordset(*list).RecordCount(), rows);
    }

    // Refusals keep the page and point at the field; Cancel anywhere, or a
    // page left with Previous, never makes the list valid.
    void staysOrCancels_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("page"); // after "...Lst"; empty: the window closed
        QTest::addColumn<QString>(
            "balloon"); // "#id@anchor" for a refusal, "~title id@anchor" for a source error
        const QString sql = QStringLiteral("txtName=S;cmdNext;optSourceType0;cmdNext;");
        const QString access = QStringLiteral("txtName=A;cmdNext;optSourceType1;cmdNext;");
        const QString excel = QStringLiteral("txtName=E;cmdNext;optSourceType3;cmdNext;");
        const QString xml = QStringLiteral("txtName=X;cmdNext;optSourceType2;cmdNext;");
        const QString advanced = QStringLiteral("txtName=D;cmdNext;optSourceType4;cmdNext;");
        const QString xls = excel + "txtFilename=%TD%/xls/mockaroo-MOCK_DATA-10rows.xls;cmdNext;";
        const auto row = [](const char* name, const QString& script, const char* page,
                            const char* balloon) {
            QTest::newRow(name) << script << QString::fromLatin1(page)
                                << QString::fromLatin1(balloon);
        };
        row("blank name", "txtName=   ;cmdNext", "Name", "#1303@txtName");
        row("no type", "txtName=N;cmdNext;cmdNext", "SourceType", "#2208@optSourceType0");
        row("cancel on the type page", "txtName=N;cmdNext;optSourceType2;cmdCancel", "", "");
        row("sql: no user", sql + "txtServerName=db;optSecurity1;cmdNext", "SQL",
            "#2309@txtUsername");
        row("sql: no database", sql + "txtServerName=db;cmdNext", "SQL", "#2310@cboDatabases");
        row("sql: windows security without a ticket",
            sql + "txtServerName=127.0.0.1;cboDatabases=club;cmdNext", "SQL", "~6@cmdNext");
        row("access: relative path", access + "txtPath=mdb/x.mdb;cmdNext", "Access",
            "#1409@txtPath");
        row("access: file vanished", access + "txtPath=%DIR%/gone.mdb;cmdNext", "Access",
            "#1409@txtPath");
        row("access: workbook", access + "txtPath=%TD%/xls/mockaroo-MOCK_DATA-10rows.xls;cmdNext",
            "Access", "#1409@txtPath");
        row("access: no user",
            access + "txtPath=%TD%/mdb/jackcess-testV1997.mdb;chkAuthenticationRequired;cmdNext",
            "Access", "#1410@txtUsername");
        row("access: damaged", access + "txtPath=%TD%/mdb/jackcess-testV1997-truncated.mdb;cmdNext",
            "Access", "~6@cmdNext");
        row("excel: share path", excel + "txtFilename=//server/share/x.xls;cmdNext", "Excel",
            "#1709@txtFilename");
        row("excel: no user",
            excel + "txtFilename=%TD%/xls/"
                    "mockaroo-MOCK_DATA-10rows.xls;chkAuthenticationRequired;cmdNext",
            "Excel", "#1710@txtUsername");
        row("xml: other scheme", xml + "txtUrlUri=ftp://127.0.0.1/x.xml;cmdNext", "Xml",
            "#2407@txtUrlUri");
        row("xml: file URL of nothing", xml + "txtUrlUri=file://%DIR%/gone.xml;cmdNext", "Xml",
            "#2407@txtUrlUri");
        row("xml: no user", xml + "txtUrlUri=http://x.example/;chkAuthenticationRequired;cmdNext",
            "Xml", "#2408@txtUsername");
        row("xml: not a record set", xml + "txtUrlUri=%TD%/csv/csvspectrum-simple.csv;cmdNext",
            "Xml", "~6@cmdNext");
        row("advanced: empty", advanced + "cmdNext", "Advanced", "#1504@txtConnectionString");
        row("advanced: no such driver",
            advanced + "txtConnectionString=Driver={Nothing}%SC%;cmdNext", "Advanced",
            "~6@cmdNext");
        row("catalog: no worksheet", xls + "cmdNext", "Catalog", "#1604@lstCatalogs");
        row("catalog: no table", access + "txtPath=%TD%/mdb/jackcess-testV1997.mdb;cmdNext;cmdNext",
            "Catalog", "#1605@lstCatalogs");
        row("catalog: no query", xls + "optCommandType1;cmdNext", "Catalog",
            "#1606@txtCommandText");
        row("catalog: refused query",
            xls + "optCommandType1;txtCommandText=SELECT x FROM nowhere;cmdNext", "Catalog",
            "~5@cmdNext");
        row("catalog: Previous to the worksheet page", xls + "cmdPrevious", "Excel", "");
        row("excel: file vanished before Next",
            excel + "txtFilename=%DIR%/vanishing.csv;@rm=%DIR%/vanishing.csv;cmdNext", "Excel",
            "#1709@txtFilename");
        row("catalog: file vanished before Next",
            excel + "txtFilename=%DIR%/vanishing.csv;cmdNext;lstCatalogs=vanishing;@rm=%DIR%/"
                    "vanishing.csv;cmdNext",
            "Catalog", "~5@cmdNext");
        row("outlook: nothing chosen", "txtName=O;cmdNext;optSourceType5;cmdNext;cmdNext;cmdNext",
            "OutlookCatalog", "#2006@lvwCatalog");
        row("cancel on the finish page",
            xml + "txtUrlUri=%TD%/adoxml/msdocs-northwind-shippers.xml;cmdNext;cmdCancel", "", "");
    }
    void staysOrCancels()
    {
        QFETCH(QString, script);
        QFETCH(QString, page);
        QFETCH(QString, balloon);
        PutFile(m_dir.filePath(QStringLiteral("vanishing.csv")),
                "Name,Email\nAda,ada@example.org\n");
        auto list = std::make_shared<RecipientList>();
        const Seen seen = Walk(list, script);
        QCOMPARE(seen.page.mid(seen.page.indexOf(QStringLiteral("Lst")) + 3), page);
        QString expected;
        if (balloon.startsWith(u'#'))
            expected = LoadResString(balloon.mid(1).section(u'@', 0, 0).toInt()) + u'@' +
                       balloon.section(u'@', 1);
        if (balloon.startsWith(u'~')) {
            const QString title = LoadResString(balloon.mid(1).section(u'@', 0, 0).toInt());
            QVERIFY2(seen.balloon.startsWith(title + u'|') &&
                         seen.balloon.endsWith(u'@' + balloon.section(u'@', 1)) &&
                         seen.balloon.size() > title.size() + 12,
                     qPrintable(seen.balloon));
        } else {
            QCOMPARE(seen.balloon, expected);
        }
        QVERIFY(!list->IsListValid());
    }

    // A source that does not answer: the window shows it is trying, takes
    // nothing but Cancel, and Cancel closes it within a second.
    void cancelEndsATrial_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("web address") << "txtName=W;cmdNext;optSourceType2;cmdNext;txtUrlUri=http://"
                                        "127.0.0.1:%SILENT%/x.xml;cmdNext";
        QTest::newRow("reader helper")
            << "txtName=W;cmdNext;optSourceType4;cmdNext;txtConnectionString=Driver={FreeTDS}%SC%"
               "Server=127.0.0.1%SC%"
               "Port=%SILENT%%SC%Database=x%SC%UID=a%SC%PWD=b%SC%;cmdNext";
        QTest::newRow("database list")
            << "txtName=S;cmdNext;optSourceType0;cmdNext;txtServerName=127.0.0.1,%SILENT%;"
               "optSecurity1;txtUsername=sa;cboDatabases>F4";
    }
    void cancelEndsATrial()
    {
        QFETCH(QString, script);
        XmlServer silent(true);
        script.replace(QStringLiteral("%SILENT%"), QString::number(silent.serverPort()));
        bool trying = false;
        QElapsedTimer clock;
        WhenModal([&](QWidget* wizard) {
            QTimer::singleShot(300, wizard, [&, wizard] {
                trying = !Find<QLabel>(wizard, "lblTrying")->text().isEmpty() &&
                         !Find<QWidget>(wizard, "fraPages")->isEnabled() &&
                         !Find<QWidget>(wizard, "cmdPrevious")->isEnabled() &&
                         !Find<QWidget>(wizard, "cmdNext")->isEnabled();
                clock.start();
                Find<QPushButton>(wizard, "cmdCancel")->click();
            });
        });
        auto list = std::make_shared<RecipientList>();
        QVERIFY(!Walk(list, script).open);
        QVERIFY(clock.isValid());
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(trying);
        QVERIFY(!list->IsListValid());
    }

    // An edited list changed on several pages and then cancelled comes back
    // whole in the main window.
    void cancelledEditRestoresTheList()
    {
        RecipientLists lists;
        lists.Add(CsvList(QStringLiteral("People"), TestData("xls/mockaroo-MOCK_DATA-10rows.xls")));
        lists.Item(1).SetCatalogTableOrView(QStringLiteral("data"));
        FromAddresses senders;
        SeedStore(lists, senders);
        auto window = OpenMainWindow();
        const RecipientList before = window->RcptLsts().Item(1);
        Find<QListWidget>(window.get(), "lstRecipients")->setCurrentRow(0);
        const Seen seen = Drive(
            "txtName=Changed;cmdNext;optSourceType1;optSourceType3;cmdNext;txtFilename=%TD%/xlsx/"
            "mockaroo-MOCK_DATA-10rows.xlsx;chkAuthenticationRequired;txtUsername=u;txtPassword=p;"
            "cmdNext;"
            "optCommandType1;txtCommandText=SELECT * FROM "
            "data;cmdNext;chkFirstRowContainsColumnHeadings;cmdNext",
            [&] { QTest::mouseClick(Find<QPushButton>(window.get(), "cmdEdit"), Qt::LeftButton); });
        QCOMPARE(seen.page, QStringLiteral("ctlNewRcptLstFinish"));
        QVERIFY(window->RcptLsts().Item(1) == before);
    }
};

CORVANTA_TEST_MAIN(TestNewRcptLst)
#include "tst_NewRcptLst.moc"
