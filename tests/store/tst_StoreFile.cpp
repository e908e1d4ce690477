#include "TestFiles.h"
#include "TestMain.h"
#include "base/AppError.h"
#include "store/PropertyBag.h"
#include "store/StoreFile.h"

#include <QFileInfo>
#include <QTemporaryDir>

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

} // namespace

Q_DECLARE_METATYPE(StoreFile::ReadResult::Status)

class TestStoreFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void bagKeepsEveryKindExactly()
    {
        const PropertyBag bag = PropertyBag::FromContents(SampleBag().Contents());
        QCOMPARE(bag.Names(), (QStringList{"Small", "Large", "Text", "Empty", "Flag", "Raw", "Table"}));
        QCOMPARE(bag.ReadInt16(QStringLiteral("Small"), 0), qint16(-12345));
        QCOMPARE(bag.ReadInt32(QStringLiteral("Large"), 0), qint32(-2147483647 - 1));
        QCOMPARE(bag.ReadText(QStringLiteral("Text"), {}), QString::fromUtf16(u"a\0b \U0001F600 \u00E9", 8));
        QCOMPARE(bag.ReadText(QStringLiteral("Empty"), QStringLiteral("default")), QString());
        QCOMPARE(bag.ReadBoolean(QStringLiteral("Flag"), false), true);
        QCOMPARE(bag.ReadBytes(QStringLiteral("Raw")), std::optional<QByteArray>(QByteArray("\x00\xFF\x10", 3)));
        QCOMPARE(bag.ReadTable(QStringLiteral("Table")), std::optional<QByteArray>("persisted"));

        // An unpaired surrogate survives too: text is kept as code units.
        PropertyBag odd;
        const QString lone = QString(QChar(0xD800)) + u'x';
        odd.WriteText(QStringLiteral("Odd"), lone);
        QCOMPARE(PropertyBag::FromContents(odd.Contents()).ReadText(QStringLiteral("Odd"), {}), lone);
    }

    void bagNamesIgnoreCaseAndKindsAreChecked()
    {
        PropertyBag bag = SampleBag();
        QCOMPARE(bag.ReadInt16(QStringLiteral("SMALL"), 0), qint16(-12345));
        bag.WriteText(QStringLiteral("text"), QStringLiteral("replaced"));
        QCOMPARE(bag.Count(), 7);
        QCOMPARE(bag.Names().at(2), QStringLiteral("Text")); // keeps its place and spelling
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

    void writeIsOwnerOnlyAndReadsBack()
    {
        const QString path = Path("table.dat");
        WriteBytes(path, QByteArray(500, 'o')); // an older, longer file
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ReadGroup | QFileDevice::ReadOther);
        StoreFile::Write(path, SampleBag());

        const QFileDevice::Permissions mode = QFileInfo(path).permissions();
        QVERIFY(mode.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(mode & 0x0077, QFileDevice::Permissions()); // nothing for group or others
        QCOMPARE(ReadBytes(path), StoreFile::Wrap(SampleBag().Contents()));
        const StoreFile::ReadResult read = StoreFile::Read(path);
        QCOMPARE(read.status, StoreFile::ReadResult::Status::Read);
        QCOMPARE(read.bag.Contents(), SampleBag().Contents());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("table.dat")});
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

    // Two copies in the same second do not overwrite each other.
    void keptAsideCopiesAreDistinct()
    {
        const QString path = Path("dsfltrs.dat");
        WriteBytes(path, "damaged bytes");
        const QString first = StoreFile::KeepAside(path);
        const QString second = StoreFile::KeepAside(path);
        QVERIFY(first != second);
        QCOMPARE(ReadBytes(first), QByteArray("damaged bytes"));
        QCOMPARE(ReadBytes(second), QByteArray("damaged bytes"));
        QCOMPARE(ReadBytes(path), QByteArray("damaged bytes"));
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
                                           "SMTPServerPort", "SMTPMaxConnections"}));
        using K = PropertyBag::Kind;
        QList<K> kinds;
        for (const QString& name : bag.Names())
            kinds << bag.KindOf(name).value_or(K(0));
        QCOMPARE(kinds, QList<K>({K::Int32, K::Text, K::Int16, K::Int32, K::Text, K::Text, K::Int16,
                                  K::Int16}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestStoreFile)
#include "tst_StoreFile.moc"
