#include "TestMain.h"
#include "platform/providers/sql/AccessReader.h"
#include "platform/providers/contacts/ContactsError.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/SourceFile.h"
#include "platform/providers/sql/SqliteStaging.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "recipients/RecipientImport.h"
#include "recipients/SourceCatalog.h"

#include <QDir>
#include <QTemporaryDir>

#include <functional>

#include <sys/stat.h>

namespace {

AppError ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const AppError& e) {
        return e;
    }
    return AppError(0, QString(), QString());
}

QString Data(const char* relative)
{
    return TestSupport::TestData(QString::fromLatin1(relative));
}

std::shared_ptr<RecipientList> ExcelList(const QString& file, const QString& sheet, bool header = true)
{
    auto list = std::make_shared<RecipientList>();
    list->SetDataType(RecipientList::Excel);
    list->SetExcelFilename(file);
    list->SetExcelFirstRowContainsColumnHeadings(header);
    list->SetCatalogCommandType(RecipientList::CmdTable);
    list->SetCatalogTableOrView(sheet);
    return list;
}

std::shared_ptr<RecipientList> AccessList(const QString& file, const QString& table)
{
    auto list = std::make_shared<RecipientList>();
    list->SetDataType(RecipientList::Access);
    list->SetAccessFileName(file);
    list->SetCatalogCommandType(RecipientList::CmdTable);
    list->SetCatalogTableOrView(table);
    return list;
}

std::shared_ptr<RecipientList> CommandList(std::shared_ptr<RecipientList> list, const QString& command)
{
    list->SetCatalogCommandType(RecipientList::CmdText);
    list->SetCatalogCommandText(command);
    return list;
}

// Rows of a record set whose column holds the value, compared as the drivers
// compare text.
int CountWhere(const Recordset& rs, const QString& column, const std::function<bool(const QVariant&)>& test)
{
    const int c = rs.FieldIndex(column);
    int n = 0;
    for (int row = 0; row < rs.RecordCount(); ++row)
        n += test(rs.ValueAt(row, c)) ? 1 : 0;
    return n;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
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
        WriteFile(QDir::homePath() + QStringLiteral("/.thunderbird/profiles.ini"),
                  "[Profile0]\nName=default\nIsRelative=1\nPath=Profiles/p1.default\nDefault=1\n");
        QDir().mkpath(folder);
        QFile::remove(folder + QStringLiteral("/abook.sqlite"));
        QVERIFY(QFile::copy(Data("abook/abook.sqlite"), folder + QStringLiteral("/abook.sqlite")));
        QFile::setPermissions(folder + QStringLiteral("/abook.sqlite"), QFile::ReadOwner | QFile::WriteOwner);
    }

    void everyFileTypeIsRead()
    {
        // the same people as .xls and as .xlsx
        Recordset xls = RecipientImport::GetRecordset(*ExcelList(Data("xls/mockaroo-MOCK_DATA-10rows.xls"), "data"));
        Recordset xlsx = RecipientImport::GetRecordset(*ExcelList(Data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx"), "data"));
        for (Recordset* rs : {&xls, &xlsx}) {
            QCOMPARE(rs->RecordCount(), 10);
            QCOMPARE(RecipientImport::ColumnLabels(*rs),
                     (QStringList{"id", "first_name", "last_name", "email", "gender", "ip_address"}));
        }
        QCOMPARE(xlsx.ValueAt(0, 3).toString(), QStringLiteral("sdumphrey0@apple.com"));
        QCOMPARE(xls.ValueAt(9, 3), xlsx.ValueAt(9, 3));

        // a text file through the worksheet list, as the wizard makes it
        Recordset csv = RecipientImport::GetRecordset(*ExcelList(Data("csv/thunderbird-basic_csv_addressbook.csv"),
                                                                 "thunderbird-basic_csv_addressbook"));
        QCOMPARE(csv.RecordCount(), 2);
        QCOMPARE(csv.Value(QStringLiteral("Primary Email")).toString(), QStringLiteral("john@doe.invalid"));

        // an XML record set by path (connection type 1)
        RecipientList xml;
        xml.SetDataType(RecipientList::XML);
        xml.SetXMLUrlUri(Data("adoxml/msdocs-northwind-shippers.xml"));
        Recordset shippers = RecipientImport::GetRecordset(xml);
        QCOMPARE(shippers.RecordCount(), 3);
        QCOMPARE(shippers.Value(QStringLiteral("CompanyName")).toString(), QStringLiteral("Speedy Express"));

        // Access, a table name with a space
        Recordset assets = RecipientImport::GetRecordset(
            *AccessList(Data("mdb/mdbtestdata-ASampleDatabase.accdb"), "Asset Items"));
        QCOMPARE(assets.RecordCount(), 65);
        QCOMPARE(assets.FieldCount(), 13);
        Recordset v1997 = RecipientImport::GetRecordset(*AccessList(Data("mdb/jackcess-testV1997.mdb"), "table1"));
        QCOMPARE(v1997.RecordCount(), 2);

        // the personal address book of the mail profile
        RecipientList contacts;
        contacts.SetDataType(RecipientList::Outlook);
        contacts.SetUsername(QStringLiteral("default"));
        contacts.SetOutlookCatalogType(RecipientList::AddressBooks);
        contacts.SetOutlookCatalog(QStringLiteral("Personal Address Book"));
        Recordset book = RecipientImport::GetRecordset(contacts);
        QVERIFY(book.RecordCount() >= 4);
        const int email = book.FieldIndex(QStringLiteral("E-mail address"));
        QVERIFY2(email >= 0, "the contact columns carry the address");
        QVERIFY(CountWhere(book, QStringLiteral("E-mail address"), [](const QVariant& v) {
                    return v.toString() == QLatin1String("PrimaryEmail1@test.invalid");
                }) == 1);
        RecipientImport::TestConnection(contacts);
    }

    void failuresCarryTheProvidersWords()
    {
        const AppError missing = ErrorOf([] {
            RecipientImport::GetRecordset(*ExcelList(QStringLiteral("/nonexistent/book.xls"), "Sheet1"));
        });
        QCOMPARE(missing.Number(), long(WorkbookError::FileNotFound));
        QCOMPARE(missing.Source(), WorkbookError::Source);
        QVERIFY(missing.Description().contains(QLatin1String("/nonexistent/book.xls")));

        const AppError noSheet = ErrorOf(
            [] { RecipientImport::GetRecordset(*ExcelList(Data("xlsx/poi-SampleSS.xlsx"), "Nope")); });
        QCOMPARE(noSheet.Number(), long(WorkbookError::SheetNotFound));

        const AppError damaged = ErrorOf([] {
            RecipientImport::GetRecordset(*AccessList(Data("mdb/jackcess-testV1997-truncated.mdb"), "Table1"));
        });
        QCOMPARE(damaged.Source(), QStringLiteral("Access"));
        QVERIFY(damaged.Number() != 0);

        // nothing chosen yet: table-or-command 8, or no type at all
        auto unchosen = ExcelList(Data("xlsx/poi-SampleSS.xlsx"), "Sheet3");
        unchosen->SetCatalogCommandType(RecipientList::CmdUnknown);
        QCOMPARE(ErrorOf([&] { RecipientImport::GetRecordset(*unchosen); }).Number(),
                 long(ProviderDispatch::ErrNoSource));
        QCOMPARE(ErrorOf([] { RecipientImport::GetRecordset(RecipientList()); }).Number(),
                 long(ProviderDispatch::ErrNoConnection));

        // TestConnection opens the file and lets go; an XML list has no
        // connection string and fails as the provider would
        RecipientImport::TestConnection(*ExcelList(Data("xls/readxl-types.xls"), "x"));
        RecipientImport::TestConnection(*AccessList(Data("mdb/jackcess-testV1997.mdb"), "x"));
        QCOMPARE(ErrorOf([] { RecipientImport::TestConnection(*ExcelList(Data("xls/readxl-types-truncated.xls"), "x")); })
                     .Source(),
                 WorkbookError::Source);
        RecipientList xml;
        xml.SetDataType(RecipientList::XML);
        xml.SetXMLUrlUri(Data("adoxml/msdocs-northwind-shippers.xml"));
        QCOMPARE(ErrorOf([&] { RecipientImport::TestConnection(xml); }).Number(), long(ProviderDispatch::ErrNoConnection));
        RecipientList gone;
        gone.SetDataType(RecipientList::Outlook);
        gone.SetUsername(QStringLiteral("nobody"));
        QCOMPARE(ErrorOf([&] { RecipientImport::TestConnection(gone); }).Number(), long(ContactsError::NoProfile));
    }

    // Reading a named pipe would wait for a writer for ever: anything that is
    // not a file is refused before a reader opens it, whatever the source type.
    void onlyFilesAreOpened_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe as text") << "x.csv" << int(RecipientList::Excel) << "a named pipe";
        QTest::newRow("pipe as workbook") << "x.xls" << int(RecipientList::Excel) << "a named pipe";
        QTest::newRow("pipe as Access") << "x.mdb" << int(RecipientList::Access) << "a named pipe";
        QTest::newRow("pipe as XML") << "x.xml" << int(RecipientList::XML) << "a named pipe";
        QTest::newRow("folder as workbook") << "folder.xlsx" << int(RecipientList::Excel) << "a folder";
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

        RecipientList list = type == RecipientList::Access ? *AccessList(path, "Table1") : *ExcelList(path, "x");
        if (type == RecipientList::XML) {
            list.SetDataType(RecipientList::XML);
            list.SetXMLUrlUri(path);
        }
        QList<std::function<void()>> calls{[&] { RecipientImport::GetRecordset(list); }};
        if (type != RecipientList::XML)
            calls << [&] { RecipientImport::TestConnection(list); } << [&] { SourceCatalog::ListTables(list); };
        for (const auto& call : calls) {
            const AppError error = ErrorOf(call);
            QCOMPARE(error.Number(), long(SourceFile::ErrNotAFile));
            QCOMPARE(error.Source(), SourceFile::Source);
            QVERIFY2(error.Description().contains(path + QStringLiteral(" is ") + kind), qPrintable(error.Description()));
        }
    }

    void commandTextOnAWorkbook()
    {
        const QString file = Data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx");
        const Recordset all = RecipientImport::GetRecordset(*ExcelList(file, "data"));
        const int women = CountWhere(all, QStringLiteral("gender"),
                                     [](const QVariant& v) { return v.toString() == QLatin1String("Female"); });
        QVERIFY(women > 0 && women < 10);

        Recordset rs = RecipientImport::GetRecordset(*CommandList(
            ExcelList(file, QString()), QStringLiteral("SELECT [first_name], email, id FROM [data$] WHERE gender = 'female'")));
        QCOMPARE(rs.RecordCount(), women);
        QCOMPARE(RecipientImport::ColumnLabels(rs), (QStringList{"first_name", "email", "id"}));
        QCOMPARE(rs.FieldType(2), all.FieldType(all.FieldIndex(QStringLiteral("id"))));


        // a worksheet that is not there is the workbook's own error
        const AppError noSheet = ErrorOf([&] {
            RecipientImport::GetRecordset(*CommandList(ExcelList(file, QString()), QStringLiteral("SELECT * FROM [Other$]")));
        });
        QCOMPARE(noSheet.Number(), long(WorkbookError::SheetNotFound));
        // the source is read-only
        QCOMPARE(ErrorOf([&] {
                     RecipientImport::GetRecordset(
                         *CommandList(ExcelList(file, QString()), QStringLiteral("DELETE FROM [data$]")));
                 }).Number(),
                 long(SqliteStaging::ErrNotQuery));
    }

    void commandTextOnAnAccessTable()
    {
        const QString file = Data("mdb/mdbtestdata-ASampleDatabase.accdb");
        const Recordset all = RecipientImport::GetRecordset(*AccessList(file, "Asset Items"));
        const int costly = CountWhere(all, QStringLiteral("Cost"),
                                      [](const QVariant& v) { return !v.isNull() && v.toDouble() > 1000; });
        QVERIFY(costly > 0 && costly < 65);

        Recordset rs = RecipientImport::GetRecordset(*CommandList(
            AccessList(file, QString()),
            QStringLiteral("SELECT [Asset No], Cost, Acquired FROM [Asset Items] WHERE [Cost] > 1000")));
        QCOMPARE(rs.RecordCount(), costly);
        const int acquired = all.FieldIndex(QStringLiteral("Acquired"));
        QCOMPARE(rs.FieldType(2), all.FieldType(acquired));
        QCOMPARE(rs.FieldType(1), all.FieldType(all.FieldIndex(QStringLiteral("Cost"))));
        QCOMPARE(rs.ValueAt(0, 2).metaType(), all.ValueAt(0, acquired).metaType());

        // dates compare as dates written the ISO way
        Recordset early = RecipientImport::GetRecordset(*CommandList(
            AccessList(file, QString()), QStringLiteral("SELECT COUNT(*) AS N FROM [Asset Items] WHERE Acquired < '1997-07-01'")));
        const int expected = CountWhere(all, QStringLiteral("Acquired"), [](const QVariant& v) {
            return !v.isNull() && v.toDateTime() < QDateTime(QDate(1997, 7, 1), QTime(0, 0));
        });
        QCOMPARE(early.FieldType(0), int(AdoType::Integer));
        QCOMPARE(early.ValueAt(0, 0).toInt(), expected);

        const AppError noTable = ErrorOf([&] {
            RecipientImport::GetRecordset(*CommandList(AccessList(file, QString()), QStringLiteral("SELECT * FROM Nope")));
        });
        QCOMPARE(noTable.Number(), long(AccessReader::ErrNoObject));
    }

    void unnamedColumnsGetLabels()
    {
        for (const char* file : {"xls/readxl-unnamed-duplicated-columns.xls", "xlsx/readxl-unnamed-duplicated-columns.xlsx"}) {
            Recordset rs = RecipientImport::GetRecordset(*ExcelList(Data(file), "Sheet1"));
            QCOMPARE(RecipientImport::ColumnLabels(rs),
                     (QStringList{"[Column 1]", "var2", "[Column 3]", "var2"}));
            QCOMPARE(rs.RecordCount(), 2);
            // the same through a command text: the empty names stay empty
            Recordset all = RecipientImport::GetRecordset(
                *CommandList(ExcelList(Data(file), QString()), QStringLiteral("SELECT * FROM [Sheet1$]")));
            QCOMPARE(RecipientImport::ColumnLabels(all), RecipientImport::ColumnLabels(rs));
            QCOMPARE(all.ValueAt(1, 3).toString(), QStringLiteral("bb"));
        }
        // a name of blanks counts as none
        Recordset blanks;
        blanks.AppendField(QStringLiteral("  "), AdoType::VarWChar, 5);
        blanks.AppendField(QStringLiteral("a"), AdoType::VarWChar, 5);
        QCOMPARE(RecipientImport::ColumnLabels(blanks), (QStringList{"[Column 1]", "a"}));
    }

    void importKeepsCurrentIndexAndNoHalfRows()
    {
        RecipientLists lists;
        lists.Add(ExcelList(Data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx"), "data"));
        lists.Add(ExcelList(Data("xls/readxl-types-truncated.xls"), "guess_me"));
        auto filtered = AccessList(Data("mdb/jackcess-testV1997.mdb"), "Table1");
        Filter row;
        filtered->Filters().Add(row);
        lists.Add(filtered);

        Recordset& imported = RecipientImport::ImportedRecipients();
        RecipientImport::Outcome ok = RecipientImport::Import(lists, 1, imported);
        QVERIFY(ok.Succeeded());
        QCOMPARE(lists.CurrentIndex(), 1);
        QCOMPARE(imported.State(), int(Recordset::StateOpen));
        QCOMPARE(imported.RecordCount(), 10);
        QCOMPARE(ok.Labels.size(), 6);
        QVERIFY(!ok.HasSavedFilters);

        // a broken source: nothing of the earlier rows is left, nothing new
        RecipientImport::Outcome bad = RecipientImport::Import(lists, 2, imported);
        QVERIFY(!bad.Succeeded());
        QCOMPARE(bad.Error->Source(), WorkbookError::Source);
        QVERIFY(!bad.Error->Description().isEmpty());
        QCOMPARE(lists.CurrentIndex(), 0);
        QCOMPARE(imported.State(), int(Recordset::StateClosed));
        QCOMPARE(imported.RecordCount(), 0);
        QCOMPARE(imported.FieldCount(), 0);
        QVERIFY(bad.Labels.isEmpty());

        // saved filter rows are reported, not applied
        RecipientImport::Outcome withFilters = RecipientImport::Import(lists, 3, imported);
        QVERIFY(withFilters.Succeeded());
        QVERIFY(withFilters.HasSavedFilters);
        QCOMPARE(lists.CurrentIndex(), 3);
        QCOMPARE(imported.RecordCount(), 2);
        QCOMPARE(imported.Filter(), QString());

        // a position that is not there fails like a missing source
        RecipientImport::Outcome outside = RecipientImport::Import(lists, 7, imported);
        QVERIFY(!outside.Succeeded());
        QCOMPARE(outside.Error->Number(), 9L);
        QCOMPARE(lists.CurrentIndex(), 0);
        QCOMPARE(imported.State(), int(Recordset::StateClosed));
    }

    void catalogListings()
    {
        // worksheets with spaces are listed without quotes and "$"
        RecipientList book = *ExcelList(Data("xlsx/poi-SampleSS.xlsx"), QString());
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
        QCOMPARE(SourceCatalog::ListTables(*AccessList(Data("mdb/jackcess-testV1997.mdb"), QString())),
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
