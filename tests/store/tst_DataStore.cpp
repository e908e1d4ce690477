#include "TestFiles.h"
#include "TestMain.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"
#include "store/StoreFile.h"

#include <QFileInfo>

namespace {

using TestSupport::ReadBytes;
using TestSupport::WriteBytes;

bool OwnerOnly(const QString& path)
{
    const QFileDevice::Permissions mode = QFileInfo(path).permissions();
    return mode.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner) && !(mode & 0x0077);
}

QStringList KeptCopies(const QString& folder, const QString& file)
{
    return QDir(folder).entryList({file + QStringLiteral(".*.bak")}, QDir::Files, QDir::Name);
}

Filter MakeFilter(const QString& data, qint32 op, qint32 logical, const QVariant& value)
{
    Filter f;
    f.SetData(data);
    f.SetComparisonOperator(op);
    f.SetLogicalOperator(logical);
    f.SetValue(value);
    return f;
}

std::shared_ptr<RecipientList> MakeList(const QString& name, int filterCount)
{
    auto list = std::make_shared<RecipientList>();
    list->SetListName(name);
    list->SetDataType(RecipientList::Excel);
    list->SetExcelFilename(QStringLiteral("/data/") + name + QStringLiteral(".xls"));
    for (int j = 1; j <= filterCount; ++j)
        list->Filters().Add(MakeFilter(name + QStringLiteral("-col%1").arg(j), j, j % 2, name));
    return list;
}

// Every field set away from its initial value.
std::shared_ptr<RecipientList> FullList()
{
    auto list = std::make_shared<RecipientList>();
    list->SetListName(QStringLiteral("Customers \u00E9t\u00E9"));
    list->SetDataType(RecipientList::SQLServer);
    list->SetIsListValid(true);
    list->SetCatalogTableOrView(QStringLiteral("[dbo].[Customers]"));
    list->SetCatalogCommandText(QStringLiteral("SELECT * FROM Customers WHERE Name <> ''"));
    list->SetCatalogCommandType(RecipientList::CmdText);
    list->SetExcelFirstRowContainsColumnHeadings(false);
    list->SetAdvancedConnectionString(QStringLiteral("Driver={SQLite3};Database=/tmp/x.db;"));
    list->SetAccessFileName(QStringLiteral("/home/u/db.mdb"));
    list->SetAuthenticationRequired(true);
    list->SetUsername(QStringLiteral("sa"));
    list->SetPassword(QStringLiteral("s3cr\u00E9t"));
    list->SetExcelFilename(QStringLiteral("/home/u/book.xlsx"));
    list->SetSQLServerName(QStringLiteral("db.example.com"));
    list->SetSQLUseWindowsSecurity(false);
    list->SetSQLDataBase(QStringLiteral("Sales"));
    list->SetXMLUrlUri(QStringLiteral("https://example.com/list.xml"));
    list->SetOutlookPath(QStringLiteral("Personal Folders\\Contacts"));
    list->SetOutlookCatalog(QStringLiteral("Contacts"));
    list->SetOutlookCatalogType(RecipientList::AddressBooks);
    list->Filters().Add(MakeFilter(QStringLiteral("Age"), 3, Filter::And, QStringLiteral("30")));
    list->Filters().Add(MakeFilter(QStringLiteral("Active"), 1, Filter::Or, QVariant::fromValue<qint16>(1)));
    list->Filters().Add(MakeFilter(QStringLiteral("Born"), 0, Filter::And, QVariant()));
    list->Filters().Add(MakeFilter(QStringLiteral("Note"), 2, Filter::Or, QString()));
    return list;
}

} // namespace

class TestDataStore : public QObject
{
    Q_OBJECT

    QList<AppError> m_problems;
    int m_case = 0;

    DataStore::ProblemHandler Collect()
    {
        return [this](const AppError& e) { m_problems.append(e); };
    }

    // A store over the folder with collections of its own.
    struct Opened
    {
        RecipientLists lists;
        FromAddresses senders;
        DataStore store;
        Opened(const QString& folder, DataStore::ProblemHandler handler)
            : store(lists, senders, folder, std::move(handler))
        {
        }
    };

    // A version folder of its own for each test, below the private home.
    QString NewProductFolder()
    {
        const QString folder = qEnvironmentVariable("XDG_DATA_HOME") +
                               QStringLiteral("/Corvanta Software/case%1/").arg(++m_case);
        QDir().mkpath(folder);
        return folder;
    }

    // The raw table of one file, read without loading the store.
    static Recordset RawTable(const QString& folder, int kind)
    {
        RecipientLists lists;
        FromAddresses senders;
        DataStore reader(lists, senders, folder);
        return reader.LoadTable(kind);
    }

    // Saves the collections into the folder and lets the store go.
    void SaveInto(const QString& folder, const RecipientLists& source, const FromAddresses& book)
    {
        Opened s(folder, Collect());
        QVERIFY(s.store.Load());
        for (const auto& list : source)
            s.lists.Add(std::make_shared<RecipientList>(*list));
        for (const FromAddress& sender : book)
            s.senders.Add(sender.Name(), sender.EMailAddress(), sender.ReplyEMailAddress());
        QVERIFY(s.store.Save());
    }

private Q_SLOTS:
    void init() { m_problems.clear(); }

    void firstRunCreatesTheFolderAndThreeEmptyFiles()
    {
        const QString folder = FilesSystem::VersionDataFolder();
        QVERIFY(!QFileInfo::exists(folder));
        {
            Opened s(folder, Collect());
            QVERIFY(s.store.Load());
            QCOMPARE(s.store.Folder(), folder);
            QVERIFY(QFileInfo(folder).isDir());
            for (const char* name : {"dsrcptlsts.dat", "dsfltrs.dat", "dsfrmaddrs.dat"}) {
                QCOMPARE(ReadBytes(folder + QString::fromLatin1(name)), QByteArray());
                QVERIFY(OwnerOnly(folder + QString::fromLatin1(name)));
            }
            QCOMPARE(s.lists.Count(), 0);
            QCOMPARE(s.senders.Count(), 0);
        }
        // Leaving wrote three valid, empty tables.
        for (int kind = 0; kind < 3; ++kind) {
            const QString path = folder + DataStore::FileName(kind);
            QCOMPARE(StoreFile::Read(path).status, StoreFile::ReadResult::Status::Read);
            QVERIFY(OwnerOnly(path));
            QCOMPARE(RawTable(folder, kind).RecordCount(), 0);
        }
        QVERIFY(m_problems.isEmpty());
    }

    void everyFieldComesBack()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        RecipientLists source;
        source.Add(FullList());
        source.Add(std::make_shared<RecipientList>()); // all initial values
        FromAddresses book;
        book.Add(QStringLiteral("Ann \"A\" Smith"), QStringLiteral("ann@example.com"), QString());
        book.Add(QString(), QStringLiteral("noname@example.com"), QStringLiteral("reply@example.com"));
        SaveInto(folder, source, book);

        Opened s(folder, Collect());
        QVERIFY(s.store.Load());
        QCOMPARE(s.lists.Count(), 2);

        // Stored values come back; the validity flag is never stored, and
        // filter values come back as text (null stays null).
        RecipientList expected = *FullList();
        expected.SetIsListValid(false);
        Filters expectedFilters;
        expectedFilters.Add(MakeFilter(QStringLiteral("Age"), 3, Filter::And, QStringLiteral("30")));
        expectedFilters.Add(MakeFilter(QStringLiteral("Active"), 1, Filter::Or, QStringLiteral("1")));
        expectedFilters.Add(MakeFilter(QStringLiteral("Born"), 0, Filter::And, QVariant()));
        expectedFilters.Add(MakeFilter(QStringLiteral("Note"), 2, Filter::Or, QStringLiteral("")));
        expected.SetFilters(expectedFilters);
        const RecipientList& loaded = s.lists.Item(1);
        QCOMPARE(loaded.Filters().Count(), 4);
        QCOMPARE(loaded.Filters().Item(2).Value().typeId(), QMetaType::QString);
        QVERIFY(!loaded.Filters().Item(3).Value().isValid());
        QVERIFY(loaded == expected);
        QVERIFY(s.lists.Item(2) == RecipientList());

        QVERIFY(s.senders == book);
        QVERIFY(m_problems.isEmpty());

        // On disk: integrated security as -1/0, the command type as text.
        Recordset raw = RawTable(folder, DataStore::RecipientListsKind);
        raw.MoveFirst();
        QCOMPARE(raw.Value(QStringLiteral("SQLUseWindowsSecurity")).toInt(), 0);
        QVERIFY(!raw.Value(QStringLiteral("IsListValid")).isValid());
        QCOMPARE(raw.Value(QStringLiteral("CatalogCommandType")), QVariant(QStringLiteral("1")));
        raw.MoveNext();
        QCOMPARE(raw.Value(QStringLiteral("SQLUseWindowsSecurity")).toInt(), -1);
        QCOMPARE(raw.Value(QStringLiteral("CatalogCommandType")), QVariant(QStringLiteral("8")));
    }

    // The field order is the file layout older files were written in.
    void tableLayouts()
    {
        const auto names = [](const Recordset& table) {
            QStringList names;
            for (int i = 0; i < table.FieldCount(); ++i)
                names.append(table.FieldName(i));
            return names;
        };
        const Recordset lists = DataStore::NewRecipientListsTable();
        QCOMPARE(lists.FieldCount(), 21);
        QCOMPARE(lists.FieldName(7), QStringLiteral("SQLDataBase"));
        QCOMPARE(lists.FieldName(19), QStringLiteral("CatalogCommandType"));
        QCOMPARE(names(DataStore::NewFiltersTable()), (QStringList{"FilterID", "RecipientListID", "ComparisonOperator",
                                                                   "Data", "LogicalOperator", "Value"}));
        QCOMPARE(names(DataStore::NewFromAddressesTable()),
                 (QStringList{"Name", "EMailAddress", "ReplyEMailAddress"}));
    }

    void numberingFollowsTheCollectionAfterADelete()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        RecipientLists source;
        source.Add(MakeList(QStringLiteral("first"), 0));
        source.Add(MakeList(QStringLiteral("second"), 1));
        source.Add(MakeList(QStringLiteral("third"), 3));
        SaveInto(folder, source, FromAddresses());

        {
            Opened s(folder, Collect());
            QVERIFY(s.store.Load());
            QCOMPARE(s.lists.Count(), 3);
            s.lists.Remove(2);
        } // saved on leaving

        Recordset savedLists = RawTable(folder, DataStore::RecipientListsKind);
        QCOMPARE(savedLists.RecordCount(), 2);
        savedLists.MoveFirst();
        QCOMPARE(savedLists.Value(QStringLiteral("RecipientListID")).toInt(), 1);
        QCOMPARE(savedLists.Value(QStringLiteral("ListName")).toString(), QStringLiteral("first"));
        savedLists.MoveNext();
        QCOMPARE(savedLists.Value(QStringLiteral("RecipientListID")).toInt(), 2);
        QCOMPARE(savedLists.Value(QStringLiteral("ListName")).toString(), QStringLiteral("third"));

        // The list without filters has no rows; the old third list's rows
        // now carry 2 and keep their order and numbers 1, 2, 3.
        Recordset savedFilters = RawTable(folder, DataStore::FiltersKind);
        QCOMPARE(savedFilters.RecordCount(), 3);
        int j = 0;
        for (savedFilters.MoveFirst(); !savedFilters.AtEOF(); savedFilters.MoveNext()) {
            ++j;
            QCOMPARE(savedFilters.Value(QStringLiteral("FilterID")).toInt(), j);
            QCOMPARE(savedFilters.Value(QStringLiteral("RecipientListID")).toInt(), 2);
            QCOMPARE(savedFilters.Value(QStringLiteral("Data")).toString(), QStringLiteral("third-col%1").arg(j));
            QCOMPARE(savedFilters.Value(QStringLiteral("ComparisonOperator")).toInt(), j);
            QCOMPARE(savedFilters.Value(QStringLiteral("LogicalOperator")).toInt(), j % 2);
        }

        Opened s(folder, Collect());
        QVERIFY(s.store.Load());
        QCOMPARE(s.lists.Count(), 2);
        QCOMPARE(s.lists.Item(1).Filters().Count(), 0);
        QVERIFY(s.lists.Item(2) == *MakeList(QStringLiteral("third"), 3));
        QVERIFY(m_problems.isEmpty());
    }

    void scramblingIsItsOwnInverse()
    {
        const QString key = QStringLiteral("-123456789");
        const QStringList texts{QString(), QStringLiteral("a"), QStringLiteral("longer than the key itself"),
                                QStringLiteral("\U0001F511\U0001F600 p\u00E4\u00DF \u4E2D"),
                                QStringLiteral("-123456789"), QString(QChar(0xDFFF)) + QChar(0xD800)};
        for (const QString& text : texts) {
            const QString scrambled = DataStore::ScrambleText(text, key);
            QCOMPARE(scrambled.size(), text.size());
            QCOMPARE(DataStore::ScrambleText(scrambled, key), text);
            if (text.isValidUtf16()) // pairs stay pairs, so the text stays storable anywhere
                QVERIFY(scrambled.isValidUtf16());
            if (!text.isEmpty())
                QVERIFY(scrambled != text);
        }
        // The key restarts after its last character.
        QCOMPARE(DataStore::ScrambleText(QStringLiteral("AAA"), QStringLiteral("12")),
                 QString(QChar(u'A' ^ u'1')) + QChar(u'A' ^ u'2') + QChar(u'A' ^ u'1'));
        // The empty key is the program's file system id, the same for any
        // path on it and 0 for none.
        const QString here = QCoreApplication::applicationDirPath();
        QCOMPARE(DataStore::GetVolumeSerial(here), DataStore::GetVolumeSerial(here + QStringLiteral("/..")));
        QCOMPARE(DataStore::GetVolumeSerial(QStringLiteral("/no/such/path/at/all")), 0);
        const QString volumeKey = QString::number(DataStore::GetVolumeSerial(here));
        QCOMPARE(DataStore::ScrambleText(QStringLiteral("secret"), QString()),
                 DataStore::ScrambleText(QStringLiteral("secret"), volumeKey));
    }

    void passwordsRoundTripThroughTheFiles()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        const QString volumeKey =
            QString::number(DataStore::GetVolumeSerial(QCoreApplication::applicationDirPath()));
        // The key itself scrambles to all NUL characters.
        const QStringList passwords{QString(), QStringLiteral("secret"),
                                    QStringLiteral("\U0001F511 p\u00E4ss \U00010348\u20AC"), volumeKey,
                                    QString(40, u'x')};
        RecipientLists source;
        for (const QString& password : passwords) {
            auto list = MakeList(QStringLiteral("pw"), 0);
            list->SetPassword(password);
            source.Add(list);
        }
        SaveInto(folder, source, FromAddresses());

        Recordset raw = RawTable(folder, DataStore::RecipientListsKind);
        int row = 0;
        for (raw.MoveFirst(); !raw.AtEOF(); raw.MoveNext(), ++row) {
            const QString stored = raw.Value(QStringLiteral("Password")).toString();
            QCOMPARE(stored.size(), passwords[row].size());
            if (!passwords[row].isEmpty())
                QVERIFY(stored != passwords[row]);
        }

        Opened s(folder, Collect());
        QVERIFY(s.store.Load());
        QCOMPARE(s.lists.Count(), passwords.size());
        for (int i = 0; i < passwords.size(); ++i)
            QCOMPARE(s.lists.Item(i + 1).Password(), passwords[i]);
    }

    void migrationTakesTheNewestOlderFolder()
    {
        const QString product = NewProductFolder();
        QDir().mkpath(product + QStringLiteral("1.0"));
        QDir().mkpath(product + QStringLiteral("1.2"));
        WriteBytes(product + QStringLiteral("1.0/dsrcptlsts.dat"), "from 1.0");
        WriteBytes(product + QStringLiteral("1.2/dsrcptlsts.dat"), "lists 1.2");
        WriteBytes(product + QStringLiteral("1.2/mlcfg.dat"), "mail 1.2");
        WriteBytes(product + QStringLiteral("1.2/dsfltrs.dat"), "filters 1.2");
        WriteBytes(product + QStringLiteral("1.2/unrelated.txt"), "not a store file");

        const DataStore::FolderPreparation done = DataStore::PrepareFolder(product + QStringLiteral("1.3/"));
        QVERIFY(!done.existed);
        QVERIFY(done.created);
        QCOMPARE(done.migratedFrom, product + QStringLiteral("1.2/"));
        // In the fixed order; the missing sender file is skipped.
        QCOMPARE(done.copiedFiles, (QStringList{"dsfltrs.dat", "dsrcptlsts.dat", "mlcfg.dat"}));
        QCOMPARE(ReadBytes(product + QStringLiteral("1.3/dsrcptlsts.dat")), QByteArray("lists 1.2"));
        QCOMPARE(ReadBytes(product + QStringLiteral("1.3/mlcfg.dat")), QByteArray("mail 1.2"));
        QVERIFY(!QFileInfo::exists(product + QStringLiteral("1.3/dsfrmaddrs.dat")));
        QVERIFY(!QFileInfo::exists(product + QStringLiteral("1.3/unrelated.txt")));
        QVERIFY(OwnerOnly(product + QStringLiteral("1.3/mlcfg.dat")));
        // The source is left as it was.
        QCOMPARE(QDir(product + QStringLiteral("1.2")).entryList(QDir::Files).size(), 4);

        // A later start never copies again, even when the old folder changed
        // or the new one lost a file.
        WriteBytes(product + QStringLiteral("1.2/dsrcptlsts.dat"), "changed");
        QVERIFY(QFile::remove(product + QStringLiteral("1.3/mlcfg.dat")));
        const DataStore::FolderPreparation again = DataStore::PrepareFolder(product + QStringLiteral("1.3/"));
        QVERIFY(again.existed);
        QVERIFY(again.migratedFrom.isEmpty());
        QVERIFY(again.copiedFiles.isEmpty());
        QCOMPARE(ReadBytes(product + QStringLiteral("1.3/dsrcptlsts.dat")), QByteArray("lists 1.2"));
        QVERIFY(!QFileInfo::exists(product + QStringLiteral("1.3/mlcfg.dat")));
    }

    void migrationStopsAtTheFirstFolderFoundEvenEmpty()
    {
        const QString product = NewProductFolder();
        QDir().mkpath(product + QStringLiteral("1.1"));
        QDir().mkpath(product + QStringLiteral("1.0"));
        WriteBytes(product + QStringLiteral("1.0/dsrcptlsts.dat"), "from 1.0");

        const DataStore::FolderPreparation done = DataStore::PrepareFolder(product + QStringLiteral("1.3"));
        QVERIFY(done.created);
        QCOMPARE(done.migratedFrom, product + QStringLiteral("1.1/"));
        QVERIFY(done.copiedFiles.isEmpty());
        QVERIFY(QDir(product + QStringLiteral("1.3")).isEmpty());
    }

    void migrationDependsOnTheVersion()
    {
        QCOMPARE(DataStore::MigrationCandidates(QStringLiteral("1.1")), QStringList{"1.0"});
        QCOMPARE(DataStore::MigrationCandidates(QStringLiteral("1.2")), (QStringList{"1.1", "1.0"}));
        QCOMPARE(DataStore::MigrationCandidates(QStringLiteral("1.3")), (QStringList{"1.2", "1.1", "1.0"}));
        QVERIFY(DataStore::MigrationCandidates(QStringLiteral("1.0")).isEmpty());
        QVERIFY(DataStore::MigrationCandidates(QStringLiteral("2.0")).isEmpty());

        const QString product = NewProductFolder();
        QDir().mkpath(product + QStringLiteral("1.0"));
        QDir().mkpath(product + QStringLiteral("1.2"));
        WriteBytes(product + QStringLiteral("1.0/dsfltrs.dat"), "1.0");
        WriteBytes(product + QStringLiteral("1.2/dsfltrs.dat"), "1.2");

        // Version 1.1 only looks back, never at a newer folder.
        const DataStore::FolderPreparation old = DataStore::PrepareFolder(product + QStringLiteral("1.1/"));
        QCOMPARE(old.migratedFrom, product + QStringLiteral("1.0/"));
        QCOMPARE(ReadBytes(product + QStringLiteral("1.1/dsfltrs.dat")), QByteArray("1.0"));

        // An unknown version carries nothing forward.
        const DataStore::FolderPreparation other = DataStore::PrepareFolder(product + QStringLiteral("2.0/"));
        QVERIFY(other.created);
        QVERIFY(other.migratedFrom.isEmpty());
        QVERIFY(QDir(product + QStringLiteral("2.0")).isEmpty());

        // An existing folder, even empty, is never filled.
        QDir().mkpath(product + QStringLiteral("1.3"));
        const DataStore::FolderPreparation existing = DataStore::PrepareFolder(product + QStringLiteral("1.3/"));
        QVERIFY(existing.existed);
        QVERIFY(QDir(product + QStringLiteral("1.3")).isEmpty());
    }

    void loadCarriesTheOlderStoreForward()
    {
        const QString product = NewProductFolder();
        RecipientLists source;
        source.Add(MakeList(QStringLiteral("kept"), 2));
        FromAddresses book;
        book.Add(QStringLiteral("Me"), QStringLiteral("me@example.com"), QString());
        SaveInto(product + QStringLiteral("1.2/"), source, book);

        Opened s(product + QStringLiteral("1.3/"), Collect());
        QVERIFY(s.store.Load());
        QCOMPARE(s.lists.Count(), 1);
        QVERIFY(s.lists.Item(1) == *MakeList(QStringLiteral("kept"), 2));
        QVERIFY(s.senders == book);
    }

    void damagedFileIsKeptAsideAndTheOthersLoad()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        RecipientLists source;
        source.Add(MakeList(QStringLiteral("one"), 2));
        FromAddresses book;
        book.Add(QStringLiteral("Me"), QStringLiteral("me@example.com"), QString());
        SaveInto(folder, source, book);
        const QByteArray listsBefore = ReadBytes(folder + QStringLiteral("dsrcptlsts.dat"));
        const QByteArray damaged = ReadBytes(folder + QStringLiteral("dsfrmaddrs.dat")).left(20);
        WriteBytes(folder + QStringLiteral("dsfrmaddrs.dat"), damaged);

        {
            Opened s(folder, Collect());
            QVERIFY(!s.store.Load());
            QCOMPARE(m_problems.size(), 1);
            QCOMPARE(m_problems[0].Number(), PropertyBag::InvalidFormat);
            QVERIFY(m_problems[0].Description().contains(QStringLiteral("dsfrmaddrs.dat")));
            QCOMPARE(s.lists.Count(), 1);
            QVERIFY(s.lists.Item(1) == *MakeList(QStringLiteral("one"), 2));
            QCOMPARE(s.senders.Count(), 0);

            const QStringList copies = KeptCopies(folder, QStringLiteral("dsfrmaddrs.dat"));
            QCOMPARE(copies.size(), 1);
            QCOMPARE(ReadBytes(folder + copies[0]), damaged);
            QVERIFY(OwnerOnly(folder + copies[0]));
            s.senders.Add(QString(), QStringLiteral("new@example.com"), QString());
        }
        // The save replaced only what was broken; the copy stays.
        QCOMPARE(ReadBytes(folder + QStringLiteral("dsrcptlsts.dat")), listsBefore);
        QCOMPARE(ReadBytes(folder + KeptCopies(folder, QStringLiteral("dsfrmaddrs.dat"))[0]), damaged);
        QCOMPARE(RawTable(folder, DataStore::FromAddressesKind).RecordCount(), 1);
        QCOMPARE(m_problems.size(), 1);
        QVERIFY(KeptCopies(folder, QStringLiteral("dsrcptlsts.dat")).isEmpty());
        QVERIFY(KeptCopies(folder, QStringLiteral("dsfltrs.dat")).isEmpty());
    }

    void damagedListFileAlsoKeepsItsFilterRows()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        RecipientLists source;
        source.Add(MakeList(QStringLiteral("one"), 2));
        SaveInto(folder, source, FromAddresses());
        const QByteArray filtersBefore = ReadBytes(folder + QStringLiteral("dsfltrs.dat"));
        QByteArray lists = ReadBytes(folder + QStringLiteral("dsrcptlsts.dat"));
        lists[0] = 0x08; // a wrong type code in the envelope
        WriteBytes(folder + QStringLiteral("dsrcptlsts.dat"), lists);

        {
            Opened s(folder, Collect());
            QVERIFY(!s.store.Load());
            QCOMPARE(s.lists.Count(), 0);
            QCOMPARE(m_problems.size(), 2);
        }
        QCOMPARE(KeptCopies(folder, QStringLiteral("dsrcptlsts.dat")).size(), 1);
        const QStringList filterCopies = KeptCopies(folder, QStringLiteral("dsfltrs.dat"));
        QCOMPARE(filterCopies.size(), 1);
        QCOMPARE(ReadBytes(folder + filterCopies[0]), filtersBefore);
        QCOMPARE(RawTable(folder, DataStore::FiltersKind).RecordCount(), 0);
    }

    void foreignContentsCountAsDamagedAnOlderTailDoesNot()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        RecipientLists source;
        source.Add(MakeList(QStringLiteral("one"), 0));
        FromAddresses book;
        book.Add(QStringLiteral("Me"), QStringLiteral("me@example.com"), QString());
        book.Add(QStringLiteral("You"), QStringLiteral("you@example.com"), QString());
        SaveInto(folder, source, book);

        // A sender table where the lists belong: a good bag, wrong fields.
        QVERIFY(QFile::remove(folder + QStringLiteral("dsrcptlsts.dat")));
        QVERIFY(QFile::copy(folder + QStringLiteral("dsfrmaddrs.dat"), folder + QStringLiteral("dsrcptlsts.dat")));
        // Mail settings where the filters belong: a good bag, no table.
        MailSettingsFile::Write(folder + QStringLiteral("dsfltrs.dat"), MailSettingsFile::Values());
        // One sender written over the start of the two, as earlier versions
        // saved without truncating: the record's own length decides.
        Recordset one = DataStore::NewFromAddressesTable();
        one.AppendRow(QVariantList{QStringLiteral("Me"), QStringLiteral("me@example.com"), QString()});
        PropertyBag bag;
        bag.WriteTable(DataStore::PropertyName(DataStore::FromAddressesKind), one.Persist());
        const QByteArray written = StoreFile::Wrap(bag.Contents());
        const QByteArray older = ReadBytes(folder + QStringLiteral("dsfrmaddrs.dat"));
        QVERIFY(written.size() < older.size());
        WriteBytes(folder + QStringLiteral("dsfrmaddrs.dat"), written + older.mid(written.size()));

        Opened s(folder, Collect());
        QVERIFY(!s.store.Load());
        QCOMPARE(m_problems.size(), 2);
        for (const AppError& problem : m_problems)
            QCOMPARE(problem.Number(), PropertyBag::InvalidFormat);
        QCOMPARE(s.lists.Count(), 0);
        QCOMPARE(s.senders.Count(), 1);
        QCOMPARE(s.senders.Item(1).EMailAddress(), QStringLiteral("me@example.com"));
        QCOMPARE(KeptCopies(folder, QStringLiteral("dsrcptlsts.dat")).size(), 1);
        QCOMPARE(KeptCopies(folder, QStringLiteral("dsfltrs.dat")).size(), 1);
        QVERIFY(KeptCopies(folder, QStringLiteral("dsfrmaddrs.dat")).isEmpty());
    }

    void unreadableFileIsNeverOverwritten()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        QDir().mkpath(folder + QStringLiteral("dsfltrs.dat")); // a folder where a file belongs
        Opened s(folder, Collect());
        QVERIFY(!s.store.Load());
        QCOMPARE(m_problems.size(), 1);
        QCOMPARE(m_problems[0].Number(), StoreFile::FileAccessError);

        s.lists.Add(MakeList(QStringLiteral("new"), 1));
        m_problems.clear();
        QVERIFY(!s.store.Save());
        QCOMPARE(m_problems.size(), 1);
        QVERIFY(QFileInfo(folder + QStringLiteral("dsfltrs.dat")).isDir());
        // The other files were still written.
        QCOMPARE(RawTable(folder, DataStore::RecipientListsKind).RecordCount(), 1);
    }

    void saveOnDemandReachesTheDisk()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        Opened s(folder, Collect());

        // Before loading nothing is written, so stored data cannot be lost.
        QVERIFY(!s.store.Save());
        QCOMPARE(m_problems.size(), 1);
        QVERIFY(!QFileInfo::exists(folder));
        m_problems.clear();

        QVERIFY(s.store.Load());
        s.lists.Add(MakeList(QStringLiteral("added"), 2));
        s.senders.Add(QStringLiteral("S"), QStringLiteral("s@example.com"), QString());
        QVERIFY(s.store.Save());
        // Seen at once by another reader, while the store is still alive.
        QCOMPARE(RawTable(folder, DataStore::RecipientListsKind).RecordCount(), 1);
        QCOMPARE(RawTable(folder, DataStore::FiltersKind).RecordCount(), 2);
        QCOMPARE(RawTable(folder, DataStore::FromAddressesKind).RecordCount(), 1);
        for (int kind = 0; kind < 3; ++kind)
            QVERIFY(OwnerOnly(folder + DataStore::FileName(kind)));
        // No temporary files are left behind.
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 3);

        // A second load would list everything twice.
        QVERIFY(!s.store.Load());
        QCOMPARE(s.lists.Count(), 1);
        QCOMPARE(m_problems.size(), 1);
    }

    void failedSaveIsReportedAndChangesNothing()
    {
        const QString product = NewProductFolder();
        const QString folder = product + QStringLiteral("1.3/");
        {
            Opened s(folder, Collect());
            QVERIFY(s.store.Load());
            s.lists.Add(MakeList(QStringLiteral("x"), 0));
            // The folder vanishes and a file takes its place.
            QVERIFY(QDir(folder).removeRecursively());
            WriteBytes(product + QStringLiteral("1.3"), "in the way");
            QVERIFY(!s.store.Save());
            QCOMPARE(m_problems.size(), 3);
            for (const AppError& problem : m_problems)
                QCOMPARE(problem.Number(), StoreFile::FileAccessError);
            m_problems.clear();
        } // the save on leaving fails the same way, quietly for the program
        QCOMPARE(m_problems.size(), 3);
        QCOMPARE(ReadBytes(product + QStringLiteral("1.3")), QByteArray("in the way"));
    }

    void sparseRowsLoadWithTheModelsInitialValues()
    {
        // A row with only an id, a name and an unreadable command type: the
        // rest is Null, which must not stop the load.
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        QDir().mkpath(folder);
        {
            RecipientLists unused;
            FromAddresses none;
            DataStore writer(unused, none, folder);
            Recordset table = DataStore::NewRecipientListsTable();
            table.AddNew();
            table.SetValue(QStringLiteral("RecipientListID"), 1);
            table.SetValue(QStringLiteral("ListName"), QStringLiteral("sparse"));
            table.SetValue(QStringLiteral("CatalogCommandType"), QStringLiteral("not a number"));
            table.Update();
            writer.SaveTable(DataStore::RecipientListsKind, table);
            Recordset filters = DataStore::NewFiltersTable();
            filters.AddNew();
            filters.SetValue(QStringLiteral("FilterID"), 1);
            filters.SetValue(QStringLiteral("RecipientListID"), 1);
            filters.Update();
            writer.SaveTable(DataStore::FiltersKind, filters);
        }
        Opened s(folder, Collect());
        QVERIFY(s.store.Load());
        QCOMPARE(s.lists.Count(), 1);
        RecipientList expected;
        expected.SetListName(QStringLiteral("sparse"));
        Filter emptyRow;
        emptyRow.SetValue(QVariant());
        expected.Filters().Add(emptyRow);
        QVERIFY(s.lists.Item(1) == expected);
        QVERIFY(!s.lists.Item(1).IsListValid());
    }

    void valueTheTableCannotHoldFailsTheWholeSave()
    {
        const QString folder = NewProductFolder() + QStringLiteral("1.3/");
        RecipientLists source;
        source.Add(MakeList(QStringLiteral("kept"), 1));
        SaveInto(folder, source, FromAddresses());
        QByteArray before[3];
        for (int kind = 0; kind < 3; ++kind)
            before[kind] = ReadBytes(folder + DataStore::FileName(kind));

        Opened s(folder, Collect());
        QVERIFY(s.store.Load());
        s.lists.Add(MakeList(QStringLiteral("new"), 0));
        s.lists.Item(1).Filters().Item(1).SetComparisonOperator(70000); // no 16-bit number
        QVERIFY(!s.store.Save());
        QCOMPARE(m_problems.size(), 1);
        for (int kind = 0; kind < 3; ++kind)
            QCOMPARE(ReadBytes(folder + DataStore::FileName(kind)), before[kind]);
        s.lists.Item(1).Filters().Item(1).SetComparisonOperator(1);
    }

    void folderThatCannotBeMadeIsReported()
    {
        const QString product = NewProductFolder();
        WriteBytes(product + QStringLiteral("blocker"), "x");
        Opened s(product + QStringLiteral("blocker/1.3/"), Collect());
        QVERIFY(!s.store.Load());
        QVERIFY(!m_problems.isEmpty());
        QCOMPARE(m_problems[0].Number(), StoreFile::FileAccessError);
        QCOMPARE(s.lists.Count(), 0);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestDataStore)
#include "tst_DataStore.moc"
