#include "TestMain.h"
#include "platform/providers/sql/ConnectionString.h"
#include "recipients/RecipientList.h"

namespace {

RecipientList List(qint32 type)
{
    RecipientList list;
    list.SetDataType(type);
    list.SetSQLServerName(QStringLiteral("DBHOST\\SQLEXPRESS"));
    list.SetSQLDataBase(QStringLiteral("Club"));
    list.SetUsername(QStringLiteral("sa"));
    list.SetAccessFileName(QStringLiteral("/data/club; old.mdb"));
    list.SetExcelFilename(QStringLiteral("/data/club.xls"));
    list.SetOutlookPath(QStringLiteral("Personal Folders|Contacts\\"));
    list.SetOutlookCatalog(QStringLiteral("Contacts"));
    list.SetOutlookCatalogType(RecipientList::AddressBooks);
    return list;
}

ConnectionString Built(const RecipientList& list)
{
    return ConnectionString::Parse(list.GetConnectionData().ConnectionString());
}

} // namespace

class TestConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Passwords are inserted without quoting, so they may hold the separators.
    void builtStringsKeepAwkwardPasswords_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QStringLiteral("secret");
        QTest::newRow("empty") << QString();
        QTest::newRow("semicolons") << QStringLiteral("a;b;;c;");
        QTest::newRow("looks like an item") << QStringLiteral("x;User ID=evil;Data Source=y");
        QTest::newRow("quotes and braces") << QStringLiteral("\"{'}\"");
        QTest::newRow("blanks") << QStringLiteral("  two words  ");
    }

    void builtStringsKeepAwkwardPasswords()
    {
        QFETCH(QString, password);

        RecipientList sql = List(RecipientList::SQLServer);
        sql.SetSQLUseWindowsSecurity(false);
        sql.SetPassword(password);
        ConnectionString cs = Built(sql);
        QCOMPARE(cs.kind, ConnectionString::Kind::SqlServer);
        QCOMPARE(cs.password, password);
        QVERIFY(!cs.integratedSecurity);

        RecipientList access = List(RecipientList::Access);
        access.SetAuthenticationRequired(true);
        access.SetPassword(password);
        cs = Built(access);
        QCOMPARE(cs.kind, ConnectionString::Kind::Access);
        QCOMPARE(cs.file, QStringLiteral("/data/club; old.mdb"));
        QCOMPARE(cs.password, password);
        QCOMPARE(cs.user, QStringLiteral("sa"));

        RecipientList excel = List(RecipientList::Excel);
        excel.SetAuthenticationRequired(true);
        excel.SetPassword(password);
        cs = Built(excel);
        QCOMPARE(cs.kind, ConnectionString::Kind::Excel);
        QCOMPARE(cs.file, QStringLiteral("/data/club.xls"));
        QCOMPARE(cs.password, password);
    }

    void builtStringsWithoutCredentials()
    {
        QVERIFY(Built(List(RecipientList::SQLServer)).integratedSecurity);
        // The database list is browsed before a database is chosen.
        RecipientList noDatabase = List(RecipientList::SQLServer);
        noDatabase.SetSQLDataBase(QString());
        QCOMPARE(Built(noDatabase).database, QString());
        QCOMPARE(Built(noDatabase).server, QStringLiteral("DBHOST\\SQLEXPRESS"));


        RecipientList excel = List(RecipientList::Excel);
        QVERIFY(Built(excel).firstRowHasNames);
        excel.SetExcelFirstRowContainsColumnHeadings(false);
        QVERIFY(!Built(excel).firstRowHasNames);
        QCOMPARE(Built(List(RecipientList::Outlook)).kind, ConnectionString::Kind::Outlook);
    }

    // The advanced type may hold an OLE DB string typed by hand.
    void handWrittenOleDbStrings()
    {
        ConnectionString cs = ConnectionString::Parse(
            QStringLiteral(" provider = SQLOLEDB ; Data Source=db1,1433; Initial Catalog = 'Sales; 2020' ;"
                           "User ID=\"jo\"\"e\";Password={p;w}"));
        QCOMPARE(cs.kind, ConnectionString::Kind::SqlServer);
        QCOMPARE(cs.server, QStringLiteral("db1,1433"));
        QCOMPARE(cs.database, QStringLiteral("Sales; 2020"));
        QCOMPARE(cs.user, QStringLiteral("jo\"e"));
        QCOMPARE(cs.password, QStringLiteral("p;w"));

        cs = ConnectionString::Parse(QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/y.accdb"));
        QCOMPARE(cs.kind, ConnectionString::Kind::Access);
        QCOMPARE(cs.file, QStringLiteral("/x/y.accdb"));

        cs = ConnectionString::Parse(QStringLiteral(
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/b.xls;Extended Properties=\"Excel 8.0;HDR=No\""));
        QCOMPARE(cs.kind, ConnectionString::Kind::Excel);
        QCOMPARE(cs.file, QStringLiteral("/x/b.xls"));
        QVERIFY(!cs.firstRowHasNames);
    }

    void everythingElseIsOdbc_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("driver") << QStringLiteral("Driver={SQLite3};Database=/data/x.db;");
        QTest::newRow("dsn") << QStringLiteral(" DSN=club; UID=a\"b ");
        QTest::newRow("other provider") << QStringLiteral("Provider=MSDASQL;DSN=club");
        QTest::newRow("not a string at all") << QStringLiteral("just words");
    }

    void everythingElseIsOdbc()
    {
        QFETCH(QString, text);
        const ConnectionString cs = ConnectionString::Parse(text);
        QCOMPARE(cs.kind, ConnectionString::Kind::Odbc);
        QCOMPARE(cs.text, text);
        QCOMPARE(ConnectionString::Parse(QStringLiteral("  ")).kind, ConnectionString::Kind::Empty);
    }

    void itemSyntax()
    {
        const auto items = ConnectionString::SplitItems(
            QStringLiteral("Driver={My {Odd}} Driver};PWD={a;b}}};Name='it''s';Flag;;Empty=;Open=\"never closed"));
        QCOMPARE(items.size(), 6);
        QCOMPARE(items[0].second, QStringLiteral("My {Odd} Driver"));
        QCOMPARE(items[1].second, QStringLiteral("a;b}"));
        QCOMPARE(items[2].second, QStringLiteral("it's"));
        QCOMPARE(items[3], qMakePair(QStringLiteral("Flag"), QString()));
        QCOMPARE(items[4], qMakePair(QStringLiteral("Empty"), QString()));
        QCOMPARE(items[5].second, QStringLiteral("\"never closed"));
        bool found = false;
        QCOMPARE(ConnectionString::ItemValue(items, QStringLiteral("pwd"), &found), QStringLiteral("a;b}"));
        QVERIFY(found);
        ConnectionString::ItemValue(items, QStringLiteral("UID"), &found);
        QVERIFY(!found);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestConnectionString)
#include "tst_ConnectionString.moc"
