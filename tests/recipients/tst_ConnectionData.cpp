#include "TestMain.h"
#include "recipients/RecipientList.h"

namespace {

// A list with every field filled, so each case proves which fields its type
// reads and which it ignores.
RecipientList FilledList(qint32 dataType)
{
    RecipientList list;
    list.SetDataType(dataType);
    list.SetListName(QStringLiteral("Members"));
    list.SetSQLServerName(QStringLiteral("DBHOST\\SQLEXPRESS"));
    list.SetSQLDataBase(QStringLiteral("Club"));
    list.SetUsername(QStringLiteral("sa"));
    list.SetPassword(QStringLiteral("p;w"));
    list.SetAccessFileName(QStringLiteral("/data/club.mdb"));
    list.SetExcelFilename(QStringLiteral("/data/club.xls"));
    list.SetXMLUrlUri(QStringLiteral("http://example.org/members.xml"));
    list.SetAdvancedConnectionString(QStringLiteral(" DSN=club; UID=a\"b "));
    list.SetOutlookPath(QStringLiteral("Personal Folders|Contacts\\"));
    list.SetOutlookCatalog(QStringLiteral("Contacts"));
    list.SetCatalogTableOrView(QStringLiteral("Members"));
    list.SetCatalogCommandText(QStringLiteral("SELECT * FROM [Members] WHERE Town = 'Ry';"));
    list.SetCatalogCommandType(RecipientList::CmdTable);
    return list;
}

} // namespace

class TestConnectionData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each type reads its own fields only; the string is the one a saved
    // list holds and the readers parse.
    void connectionStringAndSource_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("auth"); // SQL Server: a login instead of Windows security
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("source");
        const int table = RecipientList::CmdTable;
        const int text = RecipientList::CmdText;
        const QString command = QStringLiteral("SELECT * FROM [Members] WHERE Town = 'Ry';");
        const QString jet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;");
        const QString outlook = jet + "Outlook 9.0;MAPILEVEL=Personal Folders|Contacts\\;TABLETYPE=0;"
                                      "PROFILE=sa;PWD=p;w;DATABASE=c:\\temp;Mode=Read";
        const auto row = [](const char* name, int type, bool auth, int command, const QString& connection,
                            const QString& source) {
            QTest::newRow(name) << type << auth << command << connection << source;
        };
        const int sqlServer = RecipientList::SQLServer, access = RecipientList::Access;
        const int excel = RecipientList::Excel, outlookType = RecipientList::Outlook;
        row("SQL Server, Windows security", sqlServer, false, table,
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Data Source=DBHOST\\SQLEXPRESS;Initial Catalog=Club;",
            "[Members]");
        row("SQL Server login, password first", sqlServer, true, text,
            "Provider=SQLOLEDB.1;Password=p;w;Persist Security Info=True;User ID=sa;"
            "Data Source=DBHOST\\SQLEXPRESS;Initial Catalog=Club;",
            command);
        row("Access", access, false, table,
            jet + "Data Source=/data/club.mdb;Mode=Read;Persist Security Info=False", "[Members]");
        row("Access, authentication", access, true, text,
            jet + "Data Source=/data/club.mdb;Mode=Read;Persist Security Info=True;Password=p;w;User ID=sa",
            command);
        row("workbook", excel, false, table,
            jet + "Extended Properties=\"Excel 8.0;DATABASE=/data/club.xls;HDR=Yes\";Mode=Read;"
                  "Persist Security Info=False",
            "[Members$]");
        row("workbook, authentication", excel, true, RecipientList::CmdUnknown,
            jet + "Extended Properties=\"Excel 8.0;DATABASE=/data/club.xls;HDR=Yes\";Mode=Read;"
                  "Persist Security Info=True;Password=p;w;User ID=sa",
            "");
        row("advanced, as typed", RecipientList::Advanced, true, 0, " DSN=club; UID=a\"b ", "");
        // The Outlook pages have no authentication switch: the password is always sent.
        row("Outlook", outlookType, false, text, outlook, "[Contacts]");
        row("Outlook, authentication", outlookType, true, table, outlook, "[Contacts]");
    }
    void connectionStringAndSource()
    {
        QFETCH(int, type);
        QFETCH(bool, auth);
        QFETCH(int, command);
        RecipientList list = FilledList(type);
        list.SetAuthenticationRequired(auth);
        list.SetSQLUseWindowsSecurity(!auth);
        list.SetCatalogCommandType(command);
        const ConnectionData data = list.GetConnectionData();
        QTEST(data.ConnectionString(), "connection");
        QTEST(data.Source(), "source");
        QCOMPARE(data.ConnectionType(), 0);
        QVERIFY(data.Url().isEmpty() && data.Username().isEmpty() && data.Password().isEmpty());
    }

    void xmlTakesTheAddressAsTypedAndCredentialsOnlyWhenRequired()
    {
        RecipientList list = FilledList(RecipientList::XML);
        list.SetXMLUrlUri(QStringLiteral("  /home/u/members.xml "));
        ConnectionData data = list.GetConnectionData();
        QCOMPARE(data.ConnectionType(), 1);
        QCOMPARE(data.Url(), QStringLiteral("  /home/u/members.xml "));
        QVERIFY(data.ConnectionString().isEmpty() && data.Source().isEmpty());
        QVERIFY(data.Username().isEmpty() && data.Password().isEmpty());
        list.SetAuthenticationRequired(true);
        data = list.GetConnectionData();
        QCOMPARE(data.Username(), QStringLiteral("sa"));
        QCOMPARE(data.Password(), QStringLiteral("p;w"));

        // An unknown type gives no connection at all.
        for (qint32 dataType : {-1, 6, 1000})
            QCOMPARE(FilledList(dataType).GetConnectionData(), ConnectionData());
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestConnectionData)
#include "tst_ConnectionData.moc"
