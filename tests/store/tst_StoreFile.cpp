#include "TestFiles.h"
#include "TestMain.h"
#include "base/AppError.h"
#include "store/PropertyBag.h"
#include "store/StoreFile.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

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

        // Every truncation is refused cleanly.
        for (qsizetype n = 0; n < good.size(); ++n)
            QVERIFY2(Refused(good.left(n)), qPrintable(QStringLiteral("cut at %1").arg(n)));

        QVERIFY(Refused(good + '\0'));
        QByteArray wrongSignature = good;
        wrongSignature[0] = 'X';
        QVERIFY(Refused(wrongSignature));
        QByteArray wrongVersion = good;
        wrongVersion[4] = 2;
        QVERIFY(Refused(wrongVersion));

        // An unknown value type: the first property's type follows its
        // 4-byte name length and 5 code units of "Small".
        QByteArray wrongType = good;
        qToLittleEndian<quint16>(0x4711, wrongType.data() + 10 + 4 + 10);
        QVERIFY(Refused(wrongType));

        // A count that promises more than is there, without allocating it.
        PropertyBag text;
        text.WriteText(QStringLiteral("T"), QStringLiteral("abc"));
        QByteArray huge = text.Contents();
        qToLittleEndian<quint32>(0xFFFFFFFFu, huge.data() + 10 + 4 + 2 + 2);
        QVERIFY(Refused(huge));
        QByteArray manyProperties = PropertyBag().Contents();
        qToLittleEndian<quint32>(0xFFFFFFFFu, manyProperties.data() + 6);
        QVERIFY(Refused(manyProperties));

        PropertyBag flag;
        flag.WriteBoolean(QStringLiteral("F"), true);
        QByteArray badBoolean = flag.Contents();
        badBoolean[badBoolean.size() - 1] = 2;
        QVERIFY(Refused(badBoolean));

        PropertyBag twice;
        twice.WriteInt16(QStringLiteral("A"), 1);
        twice.WriteInt16(QStringLiteral("B"), 2);
        QByteArray duplicate = twice.Contents();
        duplicate.replace(duplicate.indexOf('B'), 1, "a");
        QVERIFY(Refused(duplicate));

        // Random damage never crashes: flip each byte of the header area.
        for (qsizetype i = 0; i < qMin<qsizetype>(good.size(), 64); ++i) {
            QByteArray damaged = good;
            damaged[i] = static_cast<char>(damaged[i] ^ 0xA5);
            try {
                PropertyBag::FromContents(damaged);
            } catch (const AppError&) {
            }
        }
    }

    void envelopeIsTheByteArrayRecord()
    {
        QCOMPARE(StoreFile::Wrap(QByteArray("abc")),
                 QByteArray("\x11\x20\x01\x00\x03\x00\x00\x00\x00\x00\x00\x00" "abc", 15));
    }

    // The record's own length decides what is read.
    void unwrapTakesTheRecordAtTheStart_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QVariant>("bag"); // invalid: refused

        const QByteArray abc = StoreFile::Wrap(QByteArray("abc"));
        const auto with = [&](int at, char byte) {
            QByteArray changed = abc;
            changed[at] = byte;
            return changed;
        };
        QTest::newRow("the record alone") << abc << QVariant(QByteArray("abc"));
        QTest::newRow("an empty record") << StoreFile::Wrap({}) << QVariant(QByteArray());
        QTest::newRow("an older file's tail after it") << abc + "tail" << QVariant(QByteArray("abc"));
        QTest::newRow("cut inside the header") << abc.left(11) << QVariant();
        QTest::newRow("the record ends early") << abc.left(14) << QVariant();
        QTest::newRow("a string, not bytes") << with(0, 0x08) << QVariant();
        QTest::newRow("two dimensions") << with(2, 2) << QVariant();
        QTest::newRow("lower bound 1") << with(8, 1) << QVariant();
    }

    void unwrapTakesTheRecordAtTheStart()
    {
        QFETCH(QByteArray, file);
        QFETCH(QVariant, bag);
        if (bag.isValid())
            QCOMPARE(StoreFile::Unwrap(file), bag.toByteArray());
        else
            QVERIFY_THROWS_EXCEPTION(AppError, StoreFile::Unwrap(file));
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

    void touchMakesAnEmptyOwnerOnlyFile()
    {
        QVERIFY(StoreFile::Touch(Path("touched.dat")));
        QCOMPARE(ReadBytes(Path("touched.dat")), QByteArray());
        QCOMPARE(QFileInfo(Path("touched.dat")).permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(StoreFile::Read(Path("touched.dat")).status, StoreFile::ReadResult::Status::Empty);
    }

    void failedWriteLeavesTheOldFile()
    {
        WriteBytes(Path("blocker"), "x");
        try {
            StoreFile::Write(Path("blocker/t.dat"), SampleBag());
            QFAIL("writing below a file must fail");
        } catch (const AppError& e) {
            QCOMPARE(e.Number(), StoreFile::FileAccessError);
        }
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("dir.dat")));
        QVERIFY_THROWS_EXCEPTION(AppError, StoreFile::Write(Path("dir.dat"), SampleBag()));
        QVERIFY(QFileInfo(Path("dir.dat")).isDir());
    }

    void keptAsideCopiesAreDatedAndDistinct()
    {
        const QString path = Path("dsfltrs.dat");
        WriteBytes(path, "damaged bytes");
        const QString first = StoreFile::KeepAside(path);
        const QString second = StoreFile::KeepAside(path);
        QVERIFY(first != second);
        QVERIFY(QFileInfo(first).fileName().startsWith(QStringLiteral("dsfltrs.dat.20")));
        QVERIFY(first.endsWith(QStringLiteral(".bak")));
        QCOMPARE(ReadBytes(first), QByteArray("damaged bytes"));
        QCOMPARE(ReadBytes(second), QByteArray("damaged bytes"));
        QCOMPARE(ReadBytes(path), QByteArray("damaged bytes"));
        QCOMPARE(QFileInfo(first).permissions() & 0x0077, QFileDevice::Permissions());

        QVERIFY_THROWS_EXCEPTION(AppError, StoreFile::KeepAside(Path("missing.dat")));
    }

    void mailSettingsKeepTheirWidthsAndOrder()
    {
        const QString path = Path(QString::fromLatin1(MailSettingsFile::FileName));
        QCOMPARE(MailSettingsFile::Read(path).Count(), 0);

        MailSettingsFile::Values values;
        values.SendUsingMethod = 1;
        values.SMTPServer = QStringLiteral("smtp.example.com");
        values.SMTPConnectionTimeout = 30;
        values.SMPTAuthenticate = 1;
        values.SMTPUsername = QStringLiteral("user");
        values.SMTPPassword = QStringLiteral("p\u00E4ss \U0001F511");
        values.SMTPServerPort = 587;
        MailSettingsFile::Write(path, values);

        const PropertyBag bag = MailSettingsFile::Read(path);
        QCOMPARE(bag.Names(), (QStringList{"SendUsingMethod", "SMTPServer", "SMTPConnectionTimeout",
                                           "SMPTAuthenticate", "SMTPUsername", "SMTPPassword",
                                           "SMTPServerPort", "SMTPMaxConnections"}));
        using K = PropertyBag::Kind;
        QCOMPARE(bag.KindOf(MailSettingsFile::SendUsingMethod), K::Int32);
        QCOMPARE(bag.KindOf(MailSettingsFile::SMTPConnectionTimeout), K::Int16);
        QCOMPARE(bag.KindOf(MailSettingsFile::SMPTAuthenticate), K::Int32);
        QCOMPARE(bag.KindOf(MailSettingsFile::SMTPServerPort), K::Int16);
        QCOMPARE(bag.KindOf(MailSettingsFile::SMTPMaxConnections), K::Int16);
        QCOMPARE(bag.ReadText(MailSettingsFile::SMTPPassword, {}), values.SMTPPassword);
        QCOMPARE(bag.ReadInt16(MailSettingsFile::SMTPServerPort, 25), qint16(587));
        QCOMPARE(QFileInfo(path).permissions() & 0x0077, QFileDevice::Permissions());

        // Overwriting damaged settings keeps the damaged bytes aside first.
        WriteBytes(path, "garbage");
        QCOMPARE(MailSettingsFile::Read(path).Count(), 0);
        MailSettingsFile::Write(path, values);
        const QStringList copies =
            QDir(m_dir.path()).entryList({QStringLiteral("mlcfg.dat.*.bak")}, QDir::Files);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(ReadBytes(m_dir.filePath(copies.first())), QByteArray("garbage"));
        QCOMPARE(MailSettingsFile::Read(path).ReadInt32(MailSettingsFile::SendUsingMethod, 2), 1);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestStoreFile)
#include "tst_StoreFile.moc"
