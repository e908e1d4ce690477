// Damaged, hostile and foreign files, each read the way an import reads a
// list made of it: every one must end in its reader's own error, never in
// rows, a crash or a hang.
#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/contacts/ContactsError.h"
#include "platform/providers/sheets/CsvReader.h"
#include "platform/providers/sheets/WorkbookError.h"
#include "platform/providers/sql/AccessReader.h"
#include "platform/providers/xml/XmlRecordsetReader.h"
#include "platform/providers/xml/XmlSource.h"
#include "recipients/RecipientImport.h"
#include "recipients/RecipientList.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <minizip/zip.h>

using TestSupport::TestData;

namespace {

const char* const kXmlHead = "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
                             "xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' "
                             "xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
                             "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
                             "<s:AttributeType name='ID'><s:datatype dt:type='int'/></s:AttributeType>"
                             "</s:ElementType></s:Schema>";

// A workbook package with one worksheet "S" of the given rows.
void WriteWorkbook(const QString& path, const QByteArray& rows)
{
    const QByteArray rels = "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"";
    const QByteArray type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::pair<const char*, QByteArray> parts[] = {
        {"_rels/.rels", "<Relationships " + rels + "><Relationship Id=\"r1\" Type=\"" + type +
                            "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                            "xmlns:r=\"" + type + "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"r1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels", "<Relationships " + rels + "><Relationship Id=\"r1\" Type=\"" + type +
                                           "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                                     "<sheetData>" + rows + "</sheetData></worksheet>"},
    };
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    QVERIFY(zip);
    for (const auto& [name, bytes] : parts) {
        QCOMPARE(zipOpenNewFileInZip64(zip, name, nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                       Z_DEFAULT_COMPRESSION, 0),
                 ZIP_OK);
        QCOMPARE(zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())), ZIP_OK);
        QCOMPARE(zipCloseFileInZip(zip), ZIP_OK);
    }
    QCOMPARE(zipClose(zip, nullptr), ZIP_OK);
}

// The user-name value of a Jet 4 row given a negative length: libmdb checks
// only that a value ends inside its row, not that it starts there.
QByteArray ValueOutsideItsPage()
{
    QByteArray bytes = TestSupport::ReadBytes(TestData(QStringLiteral("mdb/jackcess-fixedTextTestV2000.mdb")));
    const qsizetype at = bytes.indexOf(QByteArray(reinterpret_cast<const char*>(u"Core User"), 18));
    // 4 KB pages; the value sits in the page's first row, which ends with the
    // page: null mask, variable column count, then the variable columns'
    // offsets from the row's start, first column last.
    const qsizetype page = at / 4096 * 4096;
    auto word = [&](qsizetype offset) { return int(qFromLittleEndian<quint16>(bytes.constData() + offset)); };
    const int rowStart = word(page + 14) & 0x1fff;
    const qsizetype firstOffset = page + 4096 - 1 - (word(page + rowStart) + 7) / 8 - 3;
    int column = 0;
    while (page + rowStart + word(firstOffset - 2 * (column + 1)) <= at)
        ++column;
    qToLittleEndian(quint16(word(firstOffset - 2 * column) - 12), bytes.data() + firstOffset - 2 * (column + 1));
    return bytes;
}

// Every central directory entry of a zip claims to unpack to almost 4 GB.
QByteArray ClaimingGigabytes(QByteArray zip)
{
    for (qsizetype at = zip.indexOf("PK\x01\x02"); at >= 0; at = zip.indexOf("PK\x01\x02", at + 4))
        qToLittleEndian<quint32>(0xFFFFFF00u, zip.data() + at + 24);
    return zip;
}

} // namespace

class TestDamagedSources : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Made(const QString& name, const QByteArray& bytes) const
    {
        TestSupport::PutFile(m_dir.filePath(name), bytes);
        return m_dir.filePath(name);
    }

    static QString ProfileFolder() { return QDir::homePath() + QStringLiteral("/.thunderbird/p"); }

    // An address book of the mail profile "p", listed in its prefs.js; returns its name.
    static QString Book(const QString& name, const std::function<void(const QString&)>& make)
    {
        const QString key = QString(name).replace(u' ', u'_');
        make(ProfileFolder() + u'/' + key + QStringLiteral(".sqlite"));
        QFile prefs(ProfileFolder() + QStringLiteral("/prefs.js"));
        if (!prefs.open(QIODevice::Append))
            qFatal("cannot write prefs.js");
        prefs.write(QStringLiteral("user_pref(\"ldap_2.servers.%1.description\", \"%2\");\n"
                                   "user_pref(\"ldap_2.servers.%1.filename\", \"%1.sqlite\");\n")
                        .arg(key, name)
                        .toUtf8());
        return name;
    }

    static std::function<void(const QString&)> CopyOf(const char* relative)
    {
        return [relative](const QString& to) { TestSupport::CopyWritable(TestData(QString::fromLatin1(relative)), to); };
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::PutFile(QDir::homePath() + QStringLiteral("/.thunderbird/profiles.ini"),
                             "[Profile0]\nName=p\nIsRelative=1\nPath=p\nDefault=1\n");
        QVERIFY(QDir().mkpath(ProfileFolder()));
    }

    void endsInTheReadersError_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("file"); // for an address book its name
        QTest::addColumn<QString>("table");
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("phrase");
        const auto row = [](const char* name, int type, const QString& file, long number, const QString& source,
                            const QString& phrase, const QString& table = QStringLiteral("Table1")) {
            QTest::newRow(name) << type << file << table << number << source << phrase;
        };
        const auto data = [](const char* relative) { return TestData(QString::fromLatin1(relative)); };
        const auto sheet = [&](const char* name, const QString& file, long number, const QString& phrase,
                               const QString& table = QStringLiteral("Sheet1")) {
            row(name, RecipientList::Excel, file, number, WorkbookError::Source, phrase, table);
        };
        using namespace WorkbookError;
        sheet("xls cut short", data("xls/readxl-types-truncated.xls"), Damaged, "damaged or incomplete");
        sheet("xls password", data("xls/poi-password.xls"), Encrypted, "is encrypted");
        sheet("xlsx encrypted", data("xlsx/poi-protected_passtika.xlsx"), Encrypted, "is encrypted");
        sheet("xlsx cut short", data("xlsx/readxl-types-truncated.xlsx"), Damaged, "zip directory cannot be read");
        sheet("xlsx broken relationships", data("xlsx/poi-xlsx-corrupted.xlsx"), Damaged, "_rels/.rels is not well-formed");
        sheet("xlsx entity bomb", data("xlsx/poi-poc-xmlbomb.xlsx"), Damaged, "declares entities", "Tabelle1");
        // A1 and XFD1048576 alone would span 17 billion cells of Nulls.
        sheet("xlsx cells far apart", CORVANTA_SOURCE_DIR "/fuzz/regressions/xlsx/cells-at-opposite-corners.xlsx",
              TooLarge, "rows and", "S");
        sheet("xlsx zip bomb",
              Made("bomb.xlsx", ClaimingGigabytes(TestSupport::ReadBytes(data("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")))),
              TooLarge, "zip bomb");
        WriteWorkbook(m_dir.filePath("far.xlsx"), "<row r=\"1\"><c r=\"ZZZZZ99999999\"><v>1</v></c></row>");
        sheet("xlsx cell beyond any sheet", m_dir.filePath("far.xlsx"), Damaged, "a cell has the reference", "S");
        // Bombs that claim no more than they hold; the reader stops after a few MB, so they are smaller than real ones.
        WriteWorkbook(m_dir.filePath("texts.xlsx"),
                      ("<row><c t=\"inlineStr\"><is><t>" + QByteArray(9900, 'x') + "</t></is></c></row>").repeated(600));
        sheet("xlsx bomb of long texts", m_dir.filePath("texts.xlsx"), TooLarge, "times its packed size", "S");
        WriteWorkbook(m_dir.filePath("cells.xlsx"),
                      ("<row>" + QByteArray("<c><v>1</v></c>").repeated(16384) + "</row>").repeated(30));
        sheet("xlsx bomb of cells", m_dir.filePath("cells.xlsx"), TooLarge, "times its packed size", "S");
        sheet("csv quote never closed", Made("open.csv", "a,b\n1,\"never closed\n2,3\n"), Damaged,
              "closing quotation mark is missing");
        sheet("csv too wide", Made("wide.csv", QByteArray(CsvReader::kMaxColumns + 10, ',')), TooLarge, "");
        sheet("csv endless field", Made("field.csv", "name\n\"" + QByteArray(CsvReader::kMaxFieldBytes + (1 << 16), 'x')),
              TooLarge, "a quotation mark may be missing");
        sheet("csv picture", Made("photo.csv", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)), NotWorkbook,
              "photo.csv is not a text file");
        // sysfs says 4 KB and gives a few bytes: as a file cut while it is read.
        QFile::link(QStringLiteral("/sys/devices/system/cpu/online"), m_dir.filePath("online.csv"));
        sheet("csv shrinking while read", m_dir.filePath("online.csv"), Damaged, "changed while it was read");
        sheet("web page as xls", Made("export.xls", "<html><table><tr><td>a</td></tr></table></html>"), NotWorkbook,
              "export.xls is not an Excel workbook: it holds a web page (HTML)");
        sheet("xml as xlsx", Made("list.xlsx", "<?xml version=\"1.0\"?><Workbook/>"), NotWorkbook, "an XML document");
        sheet("pdf as xls", Made("scan.xls", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"), NotWorkbook, "a PDF document");
        sheet("text as xls", Made("names.xls", "a\tb\n1\t2\n"), NotWorkbook, "give it a .csv or .txt ending");
        sheet("empty xlsx", Made("empty.xlsx", {}), NotWorkbook, "it is empty");

        const auto access = [&](const char* name, const QString& file, long number, const QString& phrase = {},
                                const QString& table = QStringLiteral("Table1")) {
            row(name, RecipientList::Access, file, number, QStringLiteral("Access"), phrase, table);
        };
        access("access password", data("mdb/ucanaccess-password.mdb"), AccessReader::ErrPassword);
        access("access 97 cut short", data("mdb/jackcess-testV1997-truncated.mdb"), AccessReader::ErrDamaged);
        access("access table pages cut off",
               Made("cut.accdb", TestSupport::ReadBytes(data("mdb/mdbtestdata-ASampleDatabase.accdb")).left(100 << 10)),
               AccessReader::ErrDamaged, {}, "Asset Items");
        access("access value outside its page", Made("value.mdb", ValueOutsideItsPage()), AccessReader::ErrDamaged,
               "'c_user_name'", "users");
        access("not an access file", data("SOURCES.md"), AccessReader::ErrDamaged);
        access("access file missing", m_dir.filePath("gone.mdb"), AccessReader::ErrNotFound);

        const auto xml = [&](const char* name, const QByteArray& document, const QString& phrase) {
            row(name, RecipientList::XML, Made(QString::fromLatin1(name) + ".xml", document),
                XmlRecordsetReader::ErrNotRecordset, XmlRecordsetReader::Source, phrase);
        };
        const QByteArray head = kXmlHead;
        xml("xml cut short", TestSupport::ReadBytes(data("adoxml/tablegram-types_basic-truncated.xml")), "incomplete");
        xml("html", "<html><body>Sign in</body></html>", "root element is <html>");
        xml("empty", {}, "empty");
        xml("text", "a,b,c\n1,2,3\n", "the document is not XML");
        xml("broken inside", head + "<rs:data><z:row ID='1'></rs:data></xml>", "not well-formed XML");
        xml("no schema", "<xml><rs:data xmlns:rs='urn:schemas-microsoft-com:rowset'/></xml>", "before any row schema");
        xml("no data", head + "</xml>", "no rows section");
        xml("bad int", head + "<rs:data><z:row ID='7'/><z:row ID='x1'/></rs:data></xml>",
            "Row 2 of the XML record set holds \"x1\" in the column [ID]");
        xml("entities", "<!DOCTYPE xml [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;'>]><xml>&b;</xml>",
            "declares entities");
        xml("doctype", "<!DOCTYPE html><html/>", "carries a DTD");
        QByteArray columns;
        for (int i = 0; i < XmlRecordsetReader::kMaxColumns; ++i)
            columns += "<s:AttributeType name='c" + QByteArray::number(i) + "'/>";
        xml("too many columns", QByteArray(head).replace("</s:ElementType>", columns + "</s:ElementType>") + "</xml>",
            "columns, more than can be imported");
        row("xml file missing", RecipientList::XML, m_dir.filePath("gone.xml"), XmlSource::ErrFileNotFound,
            XmlRecordsetReader::Source, "could not be found");

        const auto book = [&](const char* name, long number, const std::function<void(const QString&)>& make) {
            row(name, RecipientList::Outlook, Book(QString::fromLatin1(name), make), number, ContactsError::Source, {});
        };
        book("book cut short", ContactsError::Damaged, CopyOf("abook/abook-truncated.sqlite"));
        book("vCard file as a book", ContactsError::Damaged, CopyOf("vcf/thunderbird-export.vcf"));
        book("newer book layout", ContactsError::UnknownFormat, [](const QString& file) {
            TestSupport::CopyWritable(TestData("abook/abook.sqlite"), file);
            TestSupport::ExecuteSql(file, {"PRAGMA user_version = 5"});
        });
        book("foreign database", ContactsError::UnknownFormat, [](const QString& file) {
            TestSupport::ExecuteSql(file, {"CREATE TABLE people (name TEXT)", "PRAGMA user_version = 2"});
        });
        book("book without a layout version", ContactsError::UnknownFormat, [](const QString& file) {
            TestSupport::ExecuteSql(file, {"CREATE TABLE properties (card TEXT, name TEXT, value TEXT)"});
        });
    }

    void endsInTheReadersError()
    {
        QFETCH(int, type);
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(long, number);
        QFETCH(QString, source);
        QFETCH(QString, phrase);
        RecipientList list;
        list.SetDataType(type);
        list.SetCatalogCommandType(RecipientList::CmdTable);
        list.SetCatalogTableOrView(table);
        list.SetExcelFilename(file);
        list.SetAccessFileName(file);
        list.SetXMLUrlUri(file);
        list.SetUsername(QStringLiteral("p"));
        list.SetOutlookCatalogType(RecipientList::AddressBooks);
        list.SetOutlookCatalog(file);
        const AppError error = TestSupport::ErrorOrNone([&] { RecipientImport::GetRecordset(list); });
        QCOMPARE(error.Number(), number);
        QCOMPARE(error.Source(), source);
        QVERIFY2(!error.Description().isEmpty() && error.Description().contains(phrase), qPrintable(error.Description()));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestDamagedSources)
#include "tst_DamagedSources.moc"
