#include "TestMain.h"
#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/SourceFile.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "platform/providers/sql/AccessReader.h"
#include "recipients/RecipientImport.h"
#include "recipients/SourceCatalog.h"

#include <QDir>
#include <QTemporaryDir>

#include <functional>

#include <sys/stat.h>

using TestSupport::ErrorOrNone;

namespace {

QString Data(const char* relative)
{
    return TestSupport::TestData(QString::fromLatin1(relative));
}

constexpr int Excel = RecipientList::Excel;
constexpr int Access = RecipientList::Access;

// A list of any type reading `table` of `file`, or running `command` on it;
// the fields other types read are filled too, and ignored.
std::shared_ptr<RecipientList> Source(int type, const QString& file, const QString& table,
                                      const QString& command = QString())
{
    auto list = std::make_shared<RecipientList>();
    list->SetDataType(type);
    list->SetExcelFilename(file);
    list->SetAccessFileName(file);
    list->SetXMLUrlUri(file);
    list->SetCatalogCommandType(command.isEmpty() ? RecipientList::CmdTable : RecipientList::CmdText);
    list->SetCatalogTableOrView(table);
    list->SetCatalogCommandText(command);
    list->SetUsername(QStringLiteral("default")); // the mail profile
    list->SetOutlookCatalogType(RecipientList::AddressBooks);
    list->SetOutlookCatalog(table);
    return list;
}

} // namespace

class tst_Import : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A mail profile with the personal address book, in this test's home.
        const QString folder = QDir::homePath() + QStringLiteral("/.thunderbird/Profiles/p1.default");
        TestSupport::PutFile(QDir::homePath() + QStringLiteral("/.thunderbird/profiles.ini"),
                             "[Profile0]\nName=default\nIsRelative=1\nPath=Profiles/p1.default\nDefault=1\n");
        QDir().mkpath(folder);
        TestSupport::CopyWritable(Data("abook/abook.sqlite"), folder + QStringLiteral("/abook.sqlite"));
    }

    // What the import refuses itself, before any reader; and a connection
    // test that opens the source and lets go.
    void importRulesOfItsOwn()
    {
        auto unchosen = Source(Excel, Data("xlsx/poi-SampleSS.xlsx"), "Sheet3");
        unchosen->SetCatalogCommandType(RecipientList::CmdUnknown);
        QCOMPARE(ErrorOrNone([&] { RecipientImport::GetRecordset(*unchosen); }).Number(),
                 long(ProviderDispatch::ErrNoSource));
        QCOMPARE(ErrorOrNone([] { RecipientImport::GetRecordset(RecipientList()); }).Number(),
                 long(ProviderDispatch::ErrNoConnection));

        RecipientImport::TestConnection(*Source(Excel, Data("xls/readxl-types.xls"), "x"));
        RecipientImport::TestConnection(*Source(Access, Data("mdb/jackcess-testV1997.mdb"), "x"));
        RecipientImport::TestConnection(*Source(RecipientList::Outlook, QString(), QString()));
        // An XML list has no connection string and fails as the provider would.
        const RecipientList xml = *Source(RecipientList::XML, Data("adoxml/msdocs-northwind-shippers.xml"), QString());
        QCOMPARE(ErrorOrNone([&] { RecipientImport::TestConnection(xml); }).Number(),
                 long(ProviderDispatch::ErrNoConnection));
    }

    // Reading a named pipe would wait for a writer for ever: anything that is
    // not a file is refused before a reader opens it, whatever the source type.
    void onlyFilesAreOpened_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe as text") << "x.csv" << Excel << "a named pipe";
        QTest::newRow("pipe as Access") << "x.mdb" << Access << "a named pipe";
        QTest::newRow("pipe as XML") << "x.xml" << int(RecipientList::XML) << "a named pipe";
        QTest::newRow("folder as workbook") << "folder.xlsx" << Excel << "a folder";
    }

    void onlyFilesAreOpened()
    {
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (kind == QLatin1String("a folder"))
            QVERIFY(QDir().mkdir(path));
        else
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);

        const RecipientList list = *Source(type, path, QStringLiteral("x"));
        QList<std::function<void()>> calls{[&] { RecipientImport::GetRecordset(list); }};
        if (type != RecipientList::XML)
            calls << [&] { RecipientImport::TestConnection(list); } << [&] { SourceCatalog::ListTables(list); };
        for (const auto& call : calls) {
            const AppError error = ErrorOrNone(call);
            QCOMPARE(error.Number(), long(SourceFile::ErrNotAFile));
            QCOMPARE(error.Source(), SourceFile::Source);
            QVERIFY2(error.Description().contains(path + QStringLiteral(" is ") + kind), qPrintable(error.Description()));
        }
    }

    // A command text runs on the staged tables: the rows it picks, with the
    // columns typed as the table has them; dates compare as dates written
    // the ISO way.
    void commandText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("rows");
        const QString assets = Data("mdb/mdbtestdata-ASampleDatabase.accdb");
        QTest::newRow("workbook") << Excel << Data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")
                                  << "data" << "SELECT [first_name], email, id FROM [data$] WHERE gender = 'female'"
                                  << 7;
        QTest::newRow("Access") << Access << assets << "Asset Items"
                                << "SELECT [Asset No], Cost, Acquired FROM [Asset Items] WHERE [Cost] > 1000" << 33;
        QTest::newRow("Access, dates") << Access << assets << "Asset Items"
                                       << "SELECT Acquired FROM [Asset Items] WHERE Acquired < '1999-03-08'" << 14;
    }
    void commandText()
    {
        QFETCH(int, type);
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, command);
        const Recordset all = RecipientImport::GetRecordset(*Source(type, file, table));
        const Recordset rs = RecipientImport::GetRecordset(*Source(type, file, QString(), command));
        QTEST(rs.RecordCount(), "rows");
        for (int c = 0; c < rs.FieldCount(); ++c) {
            const int column = all.FieldIndex(rs.FieldName(c));
            QVERIFY2(column >= 0, qPrintable(rs.FieldName(c)));
            QCOMPARE(rs.FieldType(c), all.FieldType(column));
            QCOMPARE(rs.ValueAt(0, c).metaType(), all.ValueAt(0, column).metaType());
        }
    }

    // The .xlsx copy reads as this one (tst_Xls), so one format is enough here.
    void unnamedColumnsGetLabels()
    {
        const QString file = Data("xls/readxl-unnamed-duplicated-columns.xls");
        Recordset rs = RecipientImport::GetRecordset(*Source(Excel, file, "Sheet1"));
        QCOMPARE(RecipientImport::ColumnLabels(rs), (QStringList{"[Column 1]", "var2", "[Column 3]", "var2"}));
        QCOMPARE(rs.RecordCount(), 2);
        // the same through a command text: the empty names stay empty
        Recordset all = RecipientImport::GetRecordset(
            *Source(Excel, file, QString(), QStringLiteral("SELECT * FROM [Sheet1$]")));
        QCOMPARE(RecipientImport::ColumnLabels(all), RecipientImport::ColumnLabels(rs));
        QCOMPARE(all.ValueAt(1, 3).toString(), QStringLiteral("bb"));
        // a name of blanks counts as none
        Recordset blanks;
        blanks.AppendField(QStringLiteral("  "), AdoType::VarWChar, 5);
        blanks.AppendField(QStringLiteral("a"), AdoType::VarWChar, 5);
        QCOMPARE(RecipientImport::ColumnLabels(blanks), (QStringList{"[Column 1]", "a"}));
    }

    // List 1 imported, then the list at `position`: a failure leaves nothing
    // of the earlier rows and no list chosen; saved filter rows are reported,
    // not applied.
    void importKeepsCurrentIndexAndNoHalfRows_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("rows"); // -1: the import fails
        QTest::addColumn<QString>("error"); // its source and number
        QTest::addColumn<bool>("savedFilters");
        QTest::newRow("workbook") << 1 << 10 << "" << false;
        QTest::newRow("broken source") << 2 << -1 << "Workbook 3343" << false;
        QTest::newRow("saved filters") << 3 << 2 << "" << true;
        QTest::newRow("position not there") << 7 << -1 << "RecipientLists 9" << false;
    }
    void importKeepsCurrentIndexAndNoHalfRows()
    {
        QFETCH(int, position);
        QFETCH(int, rows);
        RecipientLists lists;
        lists.Add(Source(Excel, Data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx"), "data"));
        lists.Add(Source(Excel, Data("xls/readxl-types-truncated.xls"), "guess_me"));
        auto filtered = Source(Access, Data("mdb/jackcess-testV1997.mdb"), "Table1");
        filtered->Filters().Add(Filter());
        lists.Add(filtered);

        Recordset& imported = RecipientImport::ImportedRecipients();
        QVERIFY(RecipientImport::Import(lists, 1, imported).Succeeded());
        const RecipientImport::Outcome outcome = RecipientImport::Import(lists, position, imported);
        const bool ok = rows >= 0;
        QCOMPARE(outcome.Succeeded(), ok);
        QCOMPARE(lists.CurrentIndex(), ok ? position : 0);
        QCOMPARE(imported.State(), int(ok ? Recordset::StateOpen : Recordset::StateClosed));
        QCOMPARE(imported.RecordCount(), qMax(rows, 0));
        QCOMPARE(imported.FieldCount() > 0, ok);
        QCOMPARE(outcome.Labels.size(), imported.FieldCount());
        QCOMPARE(imported.Filter(), QString());
        QTEST(outcome.HasSavedFilters, "savedFilters");
        QTEST(outcome.Error ? outcome.Error->Source() + u' ' + QString::number(outcome.Error->Number()) : QString(),
              "error");
        QVERIFY(!outcome.Error || !outcome.Error->Description().isEmpty());
    }

    void catalogListings()
    {
        // worksheets with spaces are listed without quotes and "$"
        RecipientList book = *Source(Excel, Data("xlsx/poi-SampleSS.xlsx"), QString());
        QCOMPARE(SourceCatalog::ListTables(book),
                 (QStringList{"First Sheet", "Sheet Number 2", "Sheet3"}));
        QCOMPARE(SourceCatalog::ExcelCatalogName(QStringLiteral("'My Sheet$'")), QStringLiteral("My Sheet"));
        QCOMPARE(SourceCatalog::ExcelCatalogName(QStringLiteral("Sheet1$")), QStringLiteral("Sheet1"));
        for (const char* notASheet : {"SalesRange", "$", "'$'"})
            QCOMPARE(SourceCatalog::ExcelCatalogName(QString::fromLatin1(notASheet)), QString());

        // other types list the names unchanged; the same workbook through an
        // advanced string keeps the driver's form
        RecipientList advanced;
        advanced.SetDataType(RecipientList::Advanced);
        advanced.SetAdvancedConnectionString(book.GetConnectionData().ConnectionString());
        QCOMPARE(SourceCatalog::ListTables(advanced),
                 (QStringList{"'First Sheet$'", "'Sheet Number 2$'", "Sheet3$"}));
        QCOMPARE(SourceCatalog::ListTables(*Source(Access, Data("mdb/jackcess-testV1997.mdb"), QString())),
                 AccessReader(Data("mdb/jackcess-testV1997.mdb")).TableNames());

        QCOMPARE(SourceCatalog::ListProfiles(), QStringLiteral("default\t1"));
        const QList<ContactsCatalogEntry> books = SourceCatalog::ListAddressBooks(QStringLiteral("default"));
        QCOMPARE(books.size(), 1);
        QCOMPARE(books.first().Name, QStringLiteral("Personal Address Book"));
        QVERIFY(!SourceCatalog::ListContactFolders(QStringLiteral("default")).isEmpty());

        // a server that is not there gives no databases, without an error
        RecipientList server;
        server.SetDataType(RecipientList::SQLServer);
        server.SetSQLServerName(QStringLiteral("127.0.0.1,1"));
        server.SetSQLUseWindowsSecurity(false);
        QVERIFY(SourceCatalog::ListDatabases(server).isEmpty());
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_Import)
#include "tst_Import.moc"
