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
    list.SetAdvancedConnectionString(QStringLiteral("Driver={SQLite3};Database=/data/x.db;"));
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
    void sqlServerWindowsSecurityIgnoresCredentials()
    {
        const ConnectionData data = FilledList(RecipientList::SQLServer).GetConnectionData();
        QCOMPARE(data.ConnectionString(),
                 QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                                "Data Source=DBHOST\\SQLEXPRESS;Initial Catalog=Club;"));
        QCOMPARE(data.Source(), QStringLiteral("[Members]"));
        QCOMPARE(data.ConnectionType(), 0);
        QVERIFY(data.Url().isEmpty());
        QVERIFY(data.Username().isEmpty());
        QVERIFY(data.Password().isEmpty());

        // The database list is browsed with the string as filled in so far.
        RecipientList noDatabase = FilledList(RecipientList::SQLServer);
        noDatabase.SetSQLDataBase(QString());
        QVERIFY(noDatabase.GetConnectionData().ConnectionString().endsWith(QStringLiteral(";Initial Catalog=;")));
    }

    void sqlServerLoginPutsPasswordFirst()
    {
        RecipientList list = FilledList(RecipientList::SQLServer);
        list.SetSQLUseWindowsSecurity(false);
        QCOMPARE(list.GetConnectionData().ConnectionString(),
                 QStringLiteral("Provider=SQLOLEDB.1;Password=p;w;Persist Security Info=True;User ID=sa;"
                                "Data Source=DBHOST\\SQLEXPRESS;Initial Catalog=Club;"));
        list.SetPassword(QString());
        QVERIFY(list.GetConnectionData().ConnectionString().startsWith(
            QStringLiteral("Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=sa;")));
    }

    void accessWithAndWithoutAuthentication()
    {
        RecipientList list = FilledList(RecipientList::Access);
        QCOMPARE(list.GetConnectionData().ConnectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/club.mdb;Mode=Read;"
                                "Persist Security Info=False"));
        list.SetAuthenticationRequired(true);
        const ConnectionData data = list.GetConnectionData();
        QCOMPARE(data.ConnectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/club.mdb;Mode=Read;"
                                "Persist Security Info=True;Password=p;w;User ID=sa"));
        QCOMPARE(data.Source(), QStringLiteral("[Members]"));
        QCOMPARE(data.ConnectionType(), 0);
        QVERIFY(data.Username().isEmpty());
    }

    void xmlCopiesCredentialsOnlyWhenRequired()
    {
        RecipientList list = FilledList(RecipientList::XML);
        ConnectionData data = list.GetConnectionData();
        QCOMPARE(data.ConnectionType(), 1);
        QCOMPARE(data.Url(), QStringLiteral("http://example.org/members.xml"));
        QVERIFY(data.ConnectionString().isEmpty());
        QVERIFY(data.Source().isEmpty());
        QVERIFY(data.Username().isEmpty());
        QVERIFY(data.Password().isEmpty());

        list.SetAuthenticationRequired(true);
        data = list.GetConnectionData();
        QCOMPARE(data.Username(), QStringLiteral("sa"));
        QCOMPARE(data.Password(), QStringLiteral("p;w"));
        QVERIFY(data.Source().isEmpty());

        // The address is passed as typed, blanks and all.
        list.SetXMLUrlUri(QStringLiteral("  /home/u/members.xml "));
        QCOMPARE(list.GetConnectionData().Url(), QStringLiteral("  /home/u/members.xml "));
    }

    void excelHeadingsAndWorksheetSource()
    {
        RecipientList list = FilledList(RecipientList::Excel);
        ConnectionData data = list.GetConnectionData();
        QCOMPARE(data.ConnectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"Excel 8.0;"
                                "DATABASE=/data/club.xls;HDR=Yes\";Mode=Read;Persist Security Info=False"));
        QCOMPARE(data.Source(), QStringLiteral("[Members$]"));

        list.SetExcelFirstRowContainsColumnHeadings(false);
        list.SetAuthenticationRequired(true);
        data = list.GetConnectionData();
        QCOMPARE(data.ConnectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"Excel 8.0;"
                                "DATABASE=/data/club.xls;HDR=No\";Mode=Read;Persist Security Info=True;"
                                "Password=p;w;User ID=sa"));
        QVERIFY(!data.ConnectionString().contains(QStringLiteral("Data Source")));
    }

    void advancedPassesStringUnchanged()
    {
        RecipientList list = FilledList(RecipientList::Advanced);
        list.SetAdvancedConnectionString(QStringLiteral(" DSN=club; UID=a\"b "));
        const ConnectionData data = list.GetConnectionData();
        QCOMPARE(data.ConnectionString(), QStringLiteral(" DSN=club; UID=a\"b "));
        QCOMPARE(data.Source(), QStringLiteral("[Members]"));
    }

    void outlookIgnoresAuthenticationAndCommandType()
    {
        RecipientList list = FilledList(RecipientList::Outlook);
        list.SetUsername(QStringLiteral("Default Outlook Profile"));
        list.SetPassword(QString());
        list.SetOutlookCatalogType(RecipientList::AddressBooks);
        list.SetCatalogCommandType(RecipientList::CmdText);
        const QString expected =
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=Personal Folders|Contacts\\;"
                           "TABLETYPE=1;PROFILE=Default Outlook Profile;PWD=;DATABASE=c:\\temp;Mode=Read");
        QCOMPARE(list.GetConnectionData().ConnectionString(), expected);
        QCOMPARE(list.GetConnectionData().Source(), QStringLiteral("[Contacts]"));

        list.SetAuthenticationRequired(true);
        QCOMPARE(list.GetConnectionData().ConnectionString(), expected);

        // The password is sent without the authentication switch.
        list.SetAuthenticationRequired(false);
        list.SetPassword(QStringLiteral("secret"));
        list.SetOutlookCatalogType(RecipientList::ContactFolders);
        QCOMPARE(list.GetConnectionData().ConnectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=Personal Folders|Contacts\\;"
                                "TABLETYPE=0;PROFILE=Default Outlook Profile;PWD=secret;DATABASE=c:\\temp;Mode=Read"));
    }

    void commandRuleForEachChoice()
    {
        for (qint32 dataType : {RecipientList::SQLServer, RecipientList::Access, RecipientList::Excel,
                                RecipientList::Advanced}) {
            RecipientList list = FilledList(dataType);
            list.SetCatalogCommandType(RecipientList::CmdText);
            QCOMPARE(list.GetConnectionData().Source(), QStringLiteral("SELECT * FROM [Members] WHERE Town = 'Ry';"));
            for (qint32 none : {qint32(RecipientList::CmdUnknown), 0}) {
                list.SetCatalogCommandType(none);
                QVERIFY(list.GetConnectionData().Source().isEmpty());
            }
            list.SetCatalogCommandType(RecipientList::CmdTable);
            list.SetCatalogTableOrView(QStringLiteral("Sheet 1"));
            QCOMPARE(list.GetConnectionData().Source(),
                     dataType == RecipientList::Excel ? QStringLiteral("[Sheet 1$]") : QStringLiteral("[Sheet 1]"));
        }
    }

    void unknownTypeGivesEmptyConnection()
    {
        for (qint32 dataType : {-1, 6, 1000})
            QCOMPARE(FilledList(dataType).GetConnectionData(), ConnectionData());
        QCOMPARE(ConnectionData().ConnectionType(), 0);
    }

    void outlookBrowseString()
    {
        QCOMPARE(OutlookBrowseConnectionString(QStringLiteral("Mailbox - Jo|"), 0, QStringLiteral("Outlook")),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=Mailbox - Jo|;"
                                "TABLETYPE=0;PROFILE=Outlook;Database=c:\\temp;"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestConnectionData)
#include "tst_ConnectionData.moc"
