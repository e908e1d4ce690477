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

QString Built(const RecipientList& list)
{
    return list.GetConnectionData().ConnectionString();
}

// kind|server|database|user|password|file|hdr|sspi
QString Described(const ConnectionString& cs)
{
    static const char* const kinds[] = {"Empty", "SqlServer", "Access", "Excel", "Outlook", "Odbc"};
    return QStringList{QLatin1String(kinds[int(cs.kind)]), cs.server, cs.database, cs.user, cs.password, cs.file,
                       cs.firstRowHasNames ? QStringLiteral("hdr") : QString(),
                       cs.integratedSecurity ? QStringLiteral("sspi") : QString()}
        .join(u'|');
}

} // namespace

class TestConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");

        // Built strings insert passwords without quoting, so they may hold the separators.
        const QString passwords[] = {QStringLiteral("secret"), QString(), QStringLiteral("a;b;;c;"),
                                     QStringLiteral("x;User ID=evil;Data Source=y"), QStringLiteral("\"{'}\""),
                                     QStringLiteral("  two words  ")};
        for (const QString& password : passwords) {
            RecipientList sql = List(RecipientList::SQLServer);
            sql.SetSQLUseWindowsSecurity(false);
            sql.SetPassword(password);
            QTest::addRow("SQL Server, password %s", qPrintable(password))
                << Built(sql) << "SqlServer|DBHOST\\SQLEXPRESS|Club|sa|" + password + "||hdr|";
            RecipientList access = List(RecipientList::Access);
            access.SetAuthenticationRequired(true);
            access.SetPassword(password);
            QTest::addRow("Access, password %s", qPrintable(password))
                << Built(access) << "Access|||sa|" + password + "|/data/club; old.mdb|hdr|";
            RecipientList excel = List(RecipientList::Excel);
            excel.SetAuthenticationRequired(true);
            excel.SetPassword(password);
            QTest::addRow("workbook, password %s", qPrintable(password))
                << Built(excel) << "Excel|||sa|" + password + "|/data/club.xls|hdr|";
        }
        QTest::newRow("Windows security") << Built(List(RecipientList::SQLServer))
                                          << "SqlServer|DBHOST\\SQLEXPRESS|Club||||hdr|sspi";
        // The database list is browsed before a database is chosen.
        RecipientList noDatabase = List(RecipientList::SQLServer);
        noDatabase.SetSQLDataBase(QString());
        QTest::newRow("no database yet") << Built(noDatabase) << "SqlServer|DBHOST\\SQLEXPRESS|||||hdr|sspi";
        RecipientList noHeadings = List(RecipientList::Excel);
        noHeadings.SetExcelFirstRowContainsColumnHeadings(false);
        QTest::newRow("workbook") << Built(List(RecipientList::Excel)) << "Excel|||||/data/club.xls|hdr|";
        QTest::newRow("workbook without headings") << Built(noHeadings) << "Excel|||||/data/club.xls||";
        QTest::newRow("Outlook") << Built(List(RecipientList::Outlook)) << "Outlook||||||hdr|";

        // The advanced type may hold an OLE DB string typed by hand.
        QTest::newRow("SQLOLEDB by hand")
            << " provider = SQLOLEDB ; Data Source=db1,1433; Initial Catalog = 'Sales; 2020' ;"
               "User ID=\"jo\"\"e\";Password={p;w}"
            << "SqlServer|db1,1433|Sales; 2020|jo\"e|p;w||hdr|";
        QTest::newRow("ACE") << "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/y.accdb" << "Access|||||/x/y.accdb|hdr|";
        QTest::newRow("Jet workbook")
            << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/b.xls;Extended Properties=\"Excel 8.0;HDR=No\""
            << "Excel|||||/x/b.xls||";
        // Everything else goes to the ODBC driver manager as it stands.
        QTest::newRow("driver") << "Driver={SQLite3};Database=/data/x.db;" << "Odbc||||||hdr|";
        QTest::newRow("dsn") << " DSN=club; UID=a\"b " << "Odbc||||||hdr|";
        QTest::newRow("other provider") << "Provider=MSDASQL;DSN=club" << "Odbc||||||hdr|";
        QTest::newRow("not a string at all") << "just words" << "Odbc||||||hdr|";
        QTest::newRow("blanks") << "  " << "Empty||||||hdr|";
    }

    void parse()
    {
        QFETCH(QString, text);
        const ConnectionString cs = ConnectionString::Parse(text);
        QTEST(Described(cs), "parsed");
        QCOMPARE(cs.text, text);
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
