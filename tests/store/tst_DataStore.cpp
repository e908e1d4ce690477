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

// How a damaged-file case spoils its file.
enum Damage { CutShort, WrongTypeCode, SendersInstead, MailSettingsInstead, FolderInstead, Emptied, OtherSave };

// The persisted table in a store file's bytes, without what else it holds.
QByteArray TableBytes(const QByteArray& file, int kind)
{
    return PropertyBag::FromContents(StoreFile::Unwrap(file)).ReadTable(DataStore::PropertyName(kind)).value_or("none");
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

    // A product folder of its own for each test, below the private home.
    QString NewProductFolder()
    {
        const QString folder = qEnvironmentVariable("XDG_DATA_HOME") +
                               QStringLiteral("/Corvanta Software/case%1/").arg(++m_case);
        QDir().mkpath(folder);
        return folder;
    }
    QString NewFolder() { return NewProductFolder() + QStringLiteral("1.3/"); }

    // The raw table of one file, read without loading the store.
    static Recordset RawTable(const QString& folder, int kind)
    {
        return Opened(folder, {}).store.LoadTable(kind);
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

    // Saved by the previous version, every field comes back in this one.
    // Passwords are stored scrambled with the volume's key, which itself
    // scrambles to NULs. After a delete, filter rows follow their list.
    void everyFieldComesBackInTheNextVersion()
    {
        const QString product = NewProductFolder();
        const QString here = QCoreApplication::applicationDirPath();
        const QString volumeKey = QString::number(DataStore::GetVolumeSerial(here));
        const QStringList passwords{QString(), QStringLiteral("\U0001F511 p\u00E4ss \U00010348\u20AC"),
                                    volumeKey, QString(40, u'x')};
        RecipientLists source;
        source.Add(FullList());
        source.Add(std::make_shared<RecipientList>()); // all initial values
        for (const QString& password : passwords) {
            source.Add(MakeList(QStringLiteral("pw"), 0));
            source.Item(source.Count()).SetPassword(password);
        }
        source.Add(MakeList(QStringLiteral("last"), 3));
        FromAddresses book;
        book.Add(QStringLiteral("Ann \"A\" Smith"), QStringLiteral("ann@example.com"), QString());
        book.Add(QString(), QStringLiteral("noname@example.com"), QStringLiteral("reply@example.com"));
        SaveInto(product + QStringLiteral("1.2/"), source, book);

        const QString folder = product + QStringLiteral("1.3/");
        auto opened = std::make_unique<Opened>(folder, Collect());
        Opened& s = *opened;
        QVERIFY(s.store.Load());
        QCOMPARE(s.lists.Count(), source.Count());
        // The validity flag is never stored, and filter values come back as
        // text (null stays null).
        RecipientList expected = *FullList();
        expected.SetIsListValid(false);
        expected.Filters().Item(2).SetValue(QStringLiteral("1"));
        QVERIFY(s.lists.Item(1) == expected);
        QCOMPARE(s.lists.Item(1).Filters().Item(2).Value().typeId(), QMetaType::QString);
        QVERIFY(!s.lists.Item(1).Filters().Item(3).Value().isValid());
        for (int i = 2; i <= source.Count(); ++i)
            QVERIFY(s.lists.Item(i) == source.Item(i));
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
        for (const QString& password : passwords) {
            raw.MoveNext();
            const QString stored = raw.Value(QStringLiteral("Password")).toString();
            QCOMPARE(stored, DataStore::ScrambleText(password, volumeKey));
            QVERIFY(stored != password || password.isEmpty());
        }

        // The key restarts after its last character, as earlier versions
        // wrote it; the volume's key is the same for any path on it.
        QCOMPARE(DataStore::ScrambleText(QStringLiteral("AAA"), QStringLiteral("12")),
                 QString(QChar(u'A' ^ u'1')) + QChar(u'A' ^ u'2') + QChar(u'A' ^ u'1'));
        QCOMPARE(DataStore::GetVolumeSerial(here), DataStore::GetVolumeSerial(here + QStringLiteral("/..")));
        QCOMPARE(DataStore::GetVolumeSerial(QStringLiteral("/no/such/path/at/all")), 0);

        s.lists.Remove(2);
        opened.reset(); // saved on leaving
        Opened again(folder, Collect());
        QVERIFY(again.store.Load());
        QCOMPARE(again.lists.Count(), source.Count() - 1);
        QVERIFY(again.lists.Item(again.lists.Count()) == *MakeList(QStringLiteral("last"), 3));
        QVERIFY(m_problems.isEmpty());
    }

    // The first start of a version takes the files of the newest older one.
    void migration_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("present"); // files, or folders ending in "/"
        QTest::addColumn<QString>("from");
        QTest::addColumn<QStringList>("copied");
        QTest::newRow("newest older folder")
            << "1.3" << QStringList{"1.0/dsrcptlsts.dat", "1.2/dsrcptlsts.dat", "1.2/mlcfg.dat",
                                    "1.2/dsfltrs.dat", "1.2/unrelated.txt"}
            << "1.2" << QStringList{"dsfltrs.dat", "dsrcptlsts.dat", "mlcfg.dat"};
        QTest::newRow("the first folder found, even empty")
            << "1.3" << QStringList{"1.1/", "1.0/dsrcptlsts.dat"} << "1.1" << QStringList();
        QTest::newRow("never a newer folder") << "1.1" << QStringList{"1.0/dsfltrs.dat", "1.2/dsfltrs.dat"}
                                              << "1.0" << QStringList{"dsfltrs.dat"};
        QTest::newRow("nothing before the first version") << "1.0" << QStringList{"1.2/dsfltrs.dat"} << "" << QStringList();
        QTest::newRow("an unknown version") << "2.0" << QStringList{"1.2/dsfltrs.dat"} << "" << QStringList();
    }

    void migration()
    {
        QFETCH(QString, version);
        QFETCH(QStringList, present);
        QFETCH(QString, from);
        QFETCH(QStringList, copied);
        const QString product = NewProductFolder();
        for (const QString& entry : present) {
            QDir().mkpath(product + entry.section(u'/', 0, 0));
            if (!entry.endsWith(u'/'))
                WriteBytes(product + entry, entry.toUtf8());
        }
        const QString folder = product + version + u'/';
        const DataStore::FolderPreparation done = DataStore::PrepareFolder(folder);
        QVERIFY(done.created && !done.existed);
        QCOMPARE(done.migratedFrom, from.isEmpty() ? QString() : product + from + u'/');
        QCOMPARE(done.copiedFiles, copied);
        QCOMPARE(QDir(folder).entryList(QDir::Files), copied);
        for (const QString& name : copied) {
            QCOMPARE(ReadBytes(folder + name), (from + u'/' + name).toUtf8());
            QVERIFY(OwnerOnly(folder + name));
        }
        for (const QString& entry : present) // the older folders stay as they were
            if (!entry.endsWith(u'/'))
                QCOMPARE(ReadBytes(product + entry), entry.toUtf8());

        // Later starts leave the folder alone, even when it lost a file.
        for (const QString& name : copied)
            QVERIFY(QFile::remove(folder + name));
        const DataStore::FolderPreparation again = DataStore::PrepareFolder(folder);
        QVERIFY(again.existed && !again.created && again.migratedFrom.isEmpty() && again.copiedFiles.isEmpty());
        QVERIFY(QDir(folder).isEmpty());
    }

    // A damaged file is reported and kept aside (lists take their filters
    // along); the save replaces only those. An unreadable one is never written.
    void damagedFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("damage");
        QTest::newRow("senders cut short") << "dsfrmaddrs.dat" << int(CutShort);
        QTest::newRow("lists of the wrong type") << "dsrcptlsts.dat" << int(WrongTypeCode);
        QTest::newRow("senders where the lists belong") << "dsrcptlsts.dat" << int(SendersInstead);
        QTest::newRow("mail settings where the filters belong") << "dsfltrs.dat" << int(MailSettingsInstead);
        QTest::newRow("a folder where the filters belong") << "dsfltrs.dat" << int(FolderInstead);
        QTest::newRow("lists of no bytes") << "dsrcptlsts.dat" << int(Emptied);
        QTest::newRow("filters of another save") << "dsfltrs.dat" << int(OtherSave);
    }

    void damagedFiles()
    {
        QFETCH(QString, file);
        QFETCH(int, damage);
        const long number = damage == FolderInstead ? StoreFile::FileAccessError : PropertyBag::InvalidFormat;
        QStringList kept{file};
        if (file == DataStore::FileName(DataStore::RecipientListsKind))
            kept << DataStore::FileName(DataStore::FiltersKind);
        if (damage == FolderInstead)
            kept.clear();
        const QString folder = NewFolder();
        RecipientLists source;
        source.Add(MakeList(QStringLiteral("one"), 2));
        FromAddresses book;
        book.Add(QStringLiteral("Me"), QStringLiteral("me@example.com"), QString());
        book.Add(QStringLiteral("You"), QStringLiteral("you@example.com"), QString());
        SaveInto(folder, source, book);
        QHash<QString, QByteArray> before;
        for (int kind = 0; kind < 3; ++kind)
            before[DataStore::FileName(kind)] = ReadBytes(folder + DataStore::FileName(kind));

        const QString path = folder + file;
        QByteArray bytes = before[file];
        if (damage == CutShort)
            WriteBytes(path, bytes.left(20));
        if (damage == WrongTypeCode)
            WriteBytes(path, bytes.replace(0, 1, "\x08"));
        if (damage == SendersInstead)
            WriteBytes(path, before[QStringLiteral("dsfrmaddrs.dat")]);
        if (damage == MailSettingsInstead)
            MailSettingsFile::Write(path, MailSettingsFile::Values());
        if (damage == FolderInstead)
            QVERIFY(QFile::remove(path) && QDir().mkpath(path));
        if (damage == Emptied)
            WriteBytes(path, {});
        if (damage == OtherSave) { // as a crash between the renames of a save leaves it
            SaveInto(folder, RecipientLists(), FromAddresses());
            WriteBytes(path, bytes);
        }
        const QByteArray damaged = ReadBytes(path);
        {
            Opened s(folder, Collect());
            QVERIFY(!s.store.Load());
            QCOMPARE(m_problems.size(), kept.size() > 1 ? 2 : 1);
            for (const AppError& problem : m_problems)
                QCOMPARE(problem.Number(), number);
            QVERIFY(m_problems[0].Description().contains(file));
            QCOMPARE(s.lists.Count(), file == DataStore::FileName(DataStore::RecipientListsKind) ? 0 : 1);
            QCOMPARE(s.senders.Count(), file == DataStore::FileName(DataStore::FromAddressesKind) ? 0 : 2);
            m_problems.clear();
            QCOMPARE(s.store.Save(), damage != FolderInstead);
        }
        for (int kind = 0; kind < 3; ++kind) {
            const QString name = DataStore::FileName(kind);
            const QStringList copies = QDir(folder).entryList({name + QStringLiteral(".*.bak")}, QDir::Files);
            QCOMPARE(copies.size(), kept.contains(name) ? 1 : 0);
            if (!copies.isEmpty()) {
                QCOMPARE(ReadBytes(folder + copies[0]), name == file ? damaged : before[name]);
                QVERIFY(OwnerOnly(folder + copies[0]));
                QCOMPARE(StoreFile::Read(folder + name).status, StoreFile::ReadResult::Status::Read);
            } else if (name != file) {
                QCOMPARE(TableBytes(ReadBytes(folder + name), kind), TableBytes(before[name], kind));
            }
        }
        if (damage == FolderInstead)
            QVERIFY(QFileInfo(path).isDir());
    }

    void firstRunAndSaveOnDemand()
    {
        const QString folder = FilesSystem::VersionDataFolder();
        Opened s(folder, Collect());
        // Before loading nothing is written, so stored data cannot be lost.
        QVERIFY(!s.store.Save());
        QCOMPARE(m_problems.size(), 1);
        QVERIFY(!QFileInfo::exists(folder));
        m_problems.clear();

        QVERIFY(s.store.Load());
        for (int kind = 0; kind < 3; ++kind) {
            const QString path = folder + DataStore::FileName(kind);
            QCOMPARE(StoreFile::Read(path).status, StoreFile::ReadResult::Status::Read);
            QVERIFY(OwnerOnly(path) && QFile::setPermissions(path, QFileDevice::Permissions(0x6644)));
        }
        s.lists.Add(MakeList(QStringLiteral("added"), 2));
        s.senders.Add(QStringLiteral("S"), QStringLiteral("s@example.com"), QString());
        QVERIFY(s.store.Save());
        // Seen at once by another reader, while the store is still alive;
        // owner-only again, as they hold passwords.
        for (int kind = 0; kind < 3; ++kind) {
            QCOMPARE(RawTable(folder, kind).RecordCount(), kind == DataStore::FiltersKind ? 2 : 1);
            QVERIFY(OwnerOnly(folder + DataStore::FileName(kind)));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 3); // nothing temporary left

        // A second load would list everything twice.
        QVERIFY(!s.store.Load());
        QCOMPARE(s.lists.Count(), 1);
        QCOMPARE(m_problems.size(), 1);

        // A folder that cannot be made fails the load.
        Opened blocked(folder + QStringLiteral("dsfltrs.dat/1.3/"), Collect());
        QVERIFY(!blocked.store.Load());
        QCOMPARE(m_problems.at(1).Number(), StoreFile::FileAccessError);
    }

    // Null fields and an unreadable command type must not stop the load.
    void sparseRowsLoadWithTheModelsInitialValues()
    {
        const QString folder = NewFolder();
        QDir().mkpath(folder);
        Opened s(folder, Collect());
        Recordset lists = DataStore::NewRecipientListsTable(), filters = DataStore::NewFiltersTable();
        for (Recordset* table : {&lists, &filters}) {
            table->AddNew();
            table->SetValue(QStringLiteral("RecipientListID"), 1);
        }
        lists.SetValue(QStringLiteral("ListName"), QStringLiteral("sparse"));
        lists.SetValue(QStringLiteral("CatalogCommandType"), QStringLiteral("not a number"));
        lists.Update();
        filters.Update();
        s.store.SaveTable(DataStore::RecipientListsKind, lists);
        s.store.SaveTable(DataStore::FiltersKind, filters);
        QVERIFY(s.store.Load());
        RecipientList expected;
        expected.SetListName(QStringLiteral("sparse"));
        expected.Filters().Add(MakeFilter(QString(), 0, Filter::And, QVariant()));
        QCOMPARE(s.lists.Count(), 1);
        QVERIFY(s.lists.Item(1) == expected);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestDataStore)
#include "tst_DataStore.moc"
