#include "TestFiles.h"
#include "TestMain.h"
#include "base/AppError.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"
#include "store/PropertyBag.h"
#include "store/StoreFile.h"

#include <QDirIterator>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <csignal>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TestSupport::ReadBytes;
using TestSupport::WriteBytes;

PropertyBag SampleBag()
{
    PropertyBag bag;
    bag.WriteInt16(QStringLiteral("Small"), -12345);
    bag.WriteInt32(QStringLiteral("Large"), -2147483647 - 1);
    bag.WriteText(QStringLiteral("Text"), QString::fromUtf16(u"a\0b \U0001F600 \u00E9", 8));
    bag.WriteText(QStringLiteral("Empty"), QString());
    bag.WriteBoolean(QStringLiteral("Flag"), true);
    bag.WriteBytes(QStringLiteral("Raw"), QByteArray("\x00\xFF\x10", 3));
    bag.WriteTable(QStringLiteral("Table"), QByteArray("persisted"));
    bag.WriteText(QStringLiteral("Lone"), QString(QChar(0xD800)) + u'x'); // an unpaired surrogate
    return bag;
}

// Expects contents to be refused with the format error, never a crash.
bool Refused(const QByteArray& contents)
{
    try {
        PropertyBag::FromContents(contents);
    } catch (const AppError& e) {
        return e.Number() == PropertyBag::InvalidFormat && !e.Description().isEmpty();
    }
    return false;
}

// Every file below the folder with its bytes.
QMap<QString, QByteArray> Contents(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        files[path] = ReadBytes(path);
    }
    return files;
}

// The writers of the data folder, and what stops their second, larger write.
enum Writer { StoreSave, MailSettingsSave, TextSave };
enum Fault { FileSizeLimit, FullDisk, FolderInTheWay, UnstorableValue };

} // namespace

Q_DECLARE_METATYPE(StoreFile::ReadResult::Status)

class TestStoreFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // In a child process: writes the file small, makes the disk refuse
    // more, writes it large. Returns what went wrong, empty when nothing.
    QString WriteAgainstFault(const QString& folder, Writer writer, Fault fault)
    {
        if (fault == FullDisk && (::unshare(CLONE_NEWNS) != 0 ||
                                  ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                                  ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                                          "size=200k") != 0))
            return QStringLiteral("skip: no file system can be mounted here: ") + qt_error_string(errno);
        QList<AppError> problems;
        FilesSystem::SetProblemHandler([&](const QString& text, const QString&) {
            problems << AppError(StoreFile::FileAccessError, QString(), text);
        });
        RecipientLists lists;
        FromAddresses senders;
        DataStore store(lists, senders, folder, [&](const AppError& e) { problems << e; });
        const auto write = [&](const QString& text) {
            if (writer == TextSave)
                return FilesSystem().WriteTextFile(folder + QStringLiteral("message.txt"), text);
            if (writer == MailSettingsSave) {
                MailSettingsFile::Values values;
                values.SMTPServer = text;
                try {
                    MailSettingsFile::Write(folder + QLatin1String(MailSettingsFile::FileName), values);
                } catch (const AppError& e) {
                    problems << e;
                }
                return problems.isEmpty();
            }
            auto list = std::make_shared<RecipientList>();
            list->SetListName(text);
            list->Filters().Add(Filter());
            if (fault == UnstorableValue && text.size() > 3)
                list->Filters().Item(1).SetComparisonOperator(70000);
            lists.Add(list);
            return store.Save();
        };
        if (!store.Load() || !write(QStringLiteral("old")))
            return QStringLiteral("the first write failed");
        if (fault == FullDisk) {
            QFile filler(folder + QStringLiteral("filler"));
            const qint64 room = QStorageInfo(folder).bytesAvailable() - 4096; // less than any new file
            if (!filler.open(QIODevice::WriteOnly) || filler.write(QByteArray(room, 'f')) != room)
                return QStringLiteral("the disk could not be filled");
        }
        if (fault == FolderInTheWay &&
            (!QDir(folder).removeRecursively() || !QFile(folder.chopped(1)).open(QIODevice::WriteOnly)))
            return QStringLiteral("the folder could not be replaced");
        const rlimit limit{1024, 1024};
        if (fault == FileSizeLimit &&
            (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0))
            return QStringLiteral("no file size limit");
        const QMap<QString, QByteArray> before = Contents(m_dir.path());
        if (write(QString(4000, u'\u00E9')))
            return QStringLiteral("the refused write was taken for done");
        if (problems.size() != 1 ||
            (fault != UnstorableValue && problems[0].Number() != StoreFile::FileAccessError))
            return QStringLiteral("the refused write was not reported once, as such");
        if (Contents(m_dir.path()) != before)
            return QStringLiteral("the files changed: ") + Contents(folder).keys().join(u' ');
        return {};
    }

private Q_SLOTS:
    void bagKeepsEveryKindExactly()
    {
        PropertyBag bag = PropertyBag::FromContents(SampleBag().Contents());
        QCOMPARE(bag.Names(),
                 (QStringList{"Small", "Large", "Text", "Empty", "Flag", "Raw", "Table", "Lone"}));
        QCOMPARE(bag.ReadInt16(QStringLiteral("Small"), 0), qint16(-12345));
        QCOMPARE(bag.ReadInt32(QStringLiteral("Large"), 0), qint32(-2147483647 - 1));
        QCOMPARE(bag.ReadText(QStringLiteral("Text"), {}), QString::fromUtf16(u"a\0b \U0001F600 \u00E9", 8));
        QCOMPARE(bag.ReadText(QStringLiteral("Empty"), QStringLiteral("default")), QString());
        QCOMPARE(bag.ReadBoolean(QStringLiteral("Flag"), false), true);
        QCOMPARE(bag.ReadBytes(QStringLiteral("Raw")), std::optional<QByteArray>(QByteArray("\x00\xFF\x10", 3)));
        QCOMPARE(bag.ReadTable(QStringLiteral("Table")), std::optional<QByteArray>("persisted"));
        // Text is kept as code units, so a lone surrogate survives too.
        QCOMPARE(bag.ReadText(QStringLiteral("Lone"), {}), QString(QChar(0xD800)) + u'x');

        // Names ignore case; a written name keeps its place and spelling.
        QCOMPARE(bag.ReadInt16(QStringLiteral("SMALL"), 0), qint16(-12345));
        bag.WriteText(QStringLiteral("text"), QStringLiteral("replaced"));
        QCOMPARE(bag.Count(), 8);
        QCOMPARE(bag.Names().at(2), QStringLiteral("Text"));
        QCOMPARE(bag.ReadText(QStringLiteral("Text"), {}), QStringLiteral("replaced"));

        // Wrong kinds and missing names give the default.
        QCOMPARE(bag.ReadText(QStringLiteral("Small"), QStringLiteral("d")), QStringLiteral("d"));
        QCOMPARE(bag.ReadInt32(QStringLiteral("Missing"), 7), 7);
        QVERIFY(!bag.ReadTable(QStringLiteral("Raw")).has_value());
        QVERIFY(!bag.ReadBytes(QStringLiteral("Table")).has_value());
        QCOMPARE(bag.ReadBoolean(QStringLiteral("Small"), false), false);
        // Integer widths convert when the value fits.
        QCOMPARE(bag.ReadInt32(QStringLiteral("Small"), 0), -12345);
        QCOMPARE(bag.ReadInt16(QStringLiteral("Large"), 99), qint16(99));
        bag.WriteInt32(QStringLiteral("Fits"), 25);
        QCOMPARE(bag.ReadInt16(QStringLiteral("Fits"), 0), qint16(25));

        QVERIFY_THROWS_EXCEPTION(AppError, bag.WriteInt16(QString(), 1));
        QVERIFY_THROWS_EXCEPTION(AppError, bag.WriteInt16(QString(256, u'n'), 1));
    }

    void bagRefusesMalformedContents()
    {
        const QByteArray good = SampleBag().Contents();
        QVERIFY(!Refused(good));
        for (qsizetype n = 0; n < good.size(); ++n)
            QVERIFY2(Refused(good.left(n)), qPrintable(QStringLiteral("cut at %1").arg(n)));

        const auto patched = [](QByteArray bytes, qsizetype at, const QByteArray& with) {
            return bytes.replace(at, with.size(), with);
        };
        PropertyBag text, flag, twice;
        text.WriteText(QStringLiteral("T"), QStringLiteral("abc"));
        flag.WriteBoolean(QStringLiteral("F"), true);
        twice.WriteInt16(QStringLiteral("A"), 1);
        twice.WriteInt16(QStringLiteral("B"), 2);
        const QByteArray ff(4, '\xFF');
        const QByteArray refused[] = {
            good + '\0', patched(good, 0, "X"), patched(good, 4, "\x02"),
            // An unknown value type: the first property's type follows its
            // 4-byte name length and 5 code units of "Small".
            patched(good, 10 + 4 + 10, "\x11\x47"),
            // Counts that promise more than is there, without allocating it.
            patched(text.Contents(), 10 + 4 + 2 + 2, ff), patched(PropertyBag().Contents(), 6, ff),
            patched(flag.Contents(), flag.Contents().size() - 1, "\x02"), // a boolean of 2
            patched(twice.Contents(), twice.Contents().indexOf('B'), "a"), // one name twice
        };
        for (const QByteArray& contents : refused)
            QVERIFY2(Refused(contents), contents.toHex().constData());
    }

    // The record's own length decides what is read; bytes after it are ignored.
    void envelopeIsTheByteArrayRecord_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QVariant>("bag"); // invalid: refused
        const QByteArray abc("\x11\x20\x01\x00\x03\x00\x00\x00\x00\x00\x00\x00" "abc", 15);
        const auto with = [&](int at, char byte) {
            QByteArray changed = abc;
            changed[at] = byte;
            return changed;
        };
        QTest::newRow("the record alone") << abc << QVariant(QByteArray("abc"));
        QTest::newRow("an empty record") << abc.left(4) + QByteArray(8, 0) << QVariant(QByteArray());
        QTest::newRow("cut inside the header") << abc.left(11) << QVariant();
        QTest::newRow("the record ends early") << abc.left(14) << QVariant();
        QTest::newRow("a string, not bytes") << with(0, 0x08) << QVariant();
        QTest::newRow("two dimensions") << with(2, 2) << QVariant();
        QTest::newRow("lower bound 1") << with(8, 1) << QVariant();
    }

    void envelopeIsTheByteArrayRecord()
    {
        QFETCH(QByteArray, file);
        QFETCH(QVariant, bag);
        if (!bag.isValid()) {
            QVERIFY_THROWS_EXCEPTION(AppError, StoreFile::Unwrap(file));
            return;
        }
        QCOMPARE(StoreFile::Unwrap(file), bag.toByteArray());
        QCOMPARE(StoreFile::Wrap(bag.toByteArray()), file);
    }

    void readTellsMissingEmptyDamagedAndUnreadable_data()
    {
        QTest::addColumn<QVariant>("contents"); // invalid: no file; a string: a folder of that name
        QTest::addColumn<StoreFile::ReadResult::Status>("status");
        QTest::addColumn<QStringList>("names");

        using Status = StoreFile::ReadResult::Status;
        PropertyBag shorter;
        shorter.WriteText(QStringLiteral("Text"), QStringLiteral("new"));
        const QByteArray written = StoreFile::Wrap(shorter.Contents());
        const QByteArray older = StoreFile::Wrap(SampleBag().Contents());
        QVERIFY(written.size() < older.size());

        QTest::newRow("missing") << QVariant() << Status::Missing << QStringList();
        QTest::newRow("empty") << QVariant(QByteArray()) << Status::Empty << QStringList();
        QTest::newRow("junk") << QVariant(QByteArray("this is not a store file")) << Status::Damaged
                              << QStringList();
        QTest::newRow("good envelope, bad bag") << QVariant(StoreFile::Wrap("CVPB")) << Status::Damaged
                                                << QStringList();
        // As earlier versions saved: the new record over the start of the old file.
        QTest::newRow("shorter record over a longer one")
            << QVariant(written + older.mid(written.size())) << Status::Read << QStringList{"Text"};
        QTest::newRow("a folder") << QVariant(QStringLiteral("folder")) << Status::Unreadable
                                  << QStringList();
    }

    void readTellsMissingEmptyDamagedAndUnreadable()
    {
        using Status = StoreFile::ReadResult::Status;
        QFETCH(QVariant, contents);
        QFETCH(Status, status);
        QFETCH(QStringList, names);

        const QString path = Path(QLatin1String(QTest::currentDataTag()) + QStringLiteral(".dat"));
        if (contents.typeId() == QMetaType::QString)
            QVERIFY(QDir().mkpath(path));
        else if (contents.isValid())
            WriteBytes(path, contents.toByteArray());
        const StoreFile::ReadResult read = StoreFile::Read(path);
        QCOMPARE(read.status, status);
        QCOMPARE(read.bag.Names(), names);
        QCOMPARE(read.problem.isEmpty(), status != Status::Damaged && status != Status::Unreadable);
    }

    // Each writer of the data folder, refused the bytes of its second write,
    // says so and leaves every file as it was.
    void refusedWriteKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("writer");
        QTest::addColumn<int>("fault");
        const char* writers[] = {"store", "mail settings", "text"};
        const char* faults[] = {"file size limit", "full disk", "folder gone"};
        for (int writer : {StoreSave, MailSettingsSave, TextSave})
            for (int fault : {FileSizeLimit, FullDisk, FolderInTheWay})
                QTest::addRow("%s, %s", writers[writer], faults[fault]) << writer << fault;
        QTest::newRow("store, a value no table holds") << int(StoreSave) << int(UnstorableValue);
    }

    void refusedWriteKeepsTheOldFile()
    {
        QFETCH(int, writer);
        QFETCH(int, fault);
        const QString folder = Path(QLatin1String(QTest::currentDataTag())) + u'/';
        QVERIFY(QDir().mkpath(folder));
        // In a child process, so that limits and mounts stay there.
        const pid_t child = ::fork();
        if (child == 0) {
            const QString failure = WriteAgainstFault(folder, Writer(writer), Fault(fault));
            std::fputs(qPrintable(failure.isEmpty() ? failure : failure + u'\n'), stderr);
            ::_exit(failure.isEmpty() ? 0 : failure.startsWith(u"skip") ? 77 : 1);
        }
        int status = -1;
        QVERIFY(child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status));
        if (WEXITSTATUS(status) == 77)
            QSKIP("Mounting a file system is not permitted here.");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // Two copies in the same second do not overwrite each other.
    void keptAsideCopiesAreDistinct()
    {
        const QString path = Path("dsfltrs.dat");
        WriteBytes(path, "damaged bytes");
        const QString first = StoreFile::KeepAside(path);
        const QString second = StoreFile::KeepAside(path);
        QVERIFY(first != second);
        for (const QString& file : {first, second, path})
            QCOMPARE(ReadBytes(file), QByteArray("damaged bytes"));
        QVERIFY_THROWS_EXCEPTION(AppError, StoreFile::KeepAside(Path("missing.dat")));
    }

    // The names, order and widths the earlier versions read.
    void mailSettingsKeepTheirWidthsAndOrder()
    {
        const QString path = Path(QString::fromLatin1(MailSettingsFile::FileName));
        QCOMPARE(MailSettingsFile::Read(path).Count(), 0);
        MailSettingsFile::Write(path, MailSettingsFile::Values());
        const PropertyBag bag = MailSettingsFile::Read(path);
        QCOMPARE(bag.Names(), (QStringList{"SendUsingMethod", "SMTPServer", "SMTPConnectionTimeout",
                                           "SMPTAuthenticate", "SMTPUsername", "SMTPPassword",
                                           "SMTPServerPort", "SMTPMaxConnections", "SMTPEncryption",
                                           "SMTPCAFile", "SMTPTrustedCertificates",
                                           "SMTPRetryTemporary", "SMTPMaxPerMinute",
                                           "SMTPMaxPerDay", "SMTPOAuthProvider", "SMTPOAuthTenant",
                                           "SMTPOAuthClientID", "SMTPOAuthClientSecret",
                                           "SMTPOAuthAuthorizeURL", "SMTPOAuthTokenURL",
                                           "SMTPOAuthDeviceURL", "SMTPOAuthScope"}));
        using K = PropertyBag::Kind;
        QList<K> kinds;
        for (const QString& name : bag.Names())
            kinds << bag.KindOf(name).value_or(K(0));
        QCOMPARE(kinds, QList<K>({K::Int32, K::Text, K::Int16, K::Int32, K::Text, K::Text, K::Int16,
                                  K::Int16, K::Int32, K::Text, K::Text, K::Int16, K::Int32,
                                  K::Int32, K::Int32, K::Text, K::Text, K::Text, K::Text, K::Text,
                                  K::Text, K::Text}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestStoreFile)
#include "tst_StoreFile.moc"
