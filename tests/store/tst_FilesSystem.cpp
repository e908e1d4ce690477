#include "TestFiles.h"
#include "TestMain.h"
#include "store/FilesSystem.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

using TestSupport::ReadBytes;
using TestSupport::WriteBytes;

class TestFilesSystem : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    using Reports = QList<QPair<QString, QString>>;
    Reports m_reports;
    FilesSystem fs;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_reports.clear();
        FilesSystem::SetProblemHandler(
            [this](const QString& text, const QString& path) { m_reports.append({text, path}); });
    }

    void cleanup() { FilesSystem::SetProblemHandler({}); }

    void dataFolderExistenceAndNewFolders()
    {
        const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(!dataHome.isEmpty());
        QCOMPARE(fs.GetSpecialFolder(FilesSystem::CSIDL_LOCAL_APPDATA), dataHome);
        QCOMPARE(FilesSystem::VersionDataFolder(),
                 dataHome + QStringLiteral("/Corvanta Software/Corvanta/%1.%2/")
                                .arg(CORVANTA_VERSION_MAJOR)
                                .arg(CORVANTA_VERSION_MINOR));

        // FileExists takes a folder too: the source pages check the ending.
        WriteBytes(Path("a.txt"), "x");
        QVERIFY(fs.FileExists(Path("a.txt")) && !fs.FolderExists(Path("a.txt")));
        QVERIFY(fs.FolderExists(m_dir.path() + u'/') && fs.FileExists(m_dir.path()));
        for (const QString& nothing : {Path("missing"), QString()})
            QVERIFY(!fs.FileExists(nothing) && !fs.FolderExists(nothing));
        const QString deep = Path("one/two/three");
        QVERIFY(fs.CreateFolder(deep) && QFileInfo(deep).isDir());
        QVERIFY(fs.CreateFolder(deep + u'/')); // already there
        QVERIFY(!fs.CreateFolder(Path("a.txt/below")));
        QVERIFY(!fs.CreateFolder(QString()));
    }

    // One byte that is not UTF-8 makes the whole file Windows-1252. A file
    // that cannot be read is reported, never thrown.
    void readTakesUtf8OrElseWindows1252_data()
    {
        QTest::addColumn<QVariant>("bytes"); // invalid: no file; a string: a folder
        QTest::addColumn<QString>("text");
        const QString unicode = QStringLiteral("Grüße \u20AC \U0001F600\r\nline 2\n");
        QTest::newRow("UTF-8") << QVariant(unicode.toUtf8()) << unicode;
        QTest::newRow("byte order mark") << QVariant(QByteArray("\xEF\xBB\xBFhello")) << "hello";
        QTest::newRow("Windows-1252") << QVariant(QByteArray("caf\xE9 \x80 \x93quoted\x94 \x81"))
                                      << QStringLiteral("caf\u00E9 \u20AC \u201Cquoted\u201D \u0081");
        QTest::newRow("UTF-8 cut short") << QVariant(QByteArray("ab\xC3")) << QStringLiteral("ab\u00C3");
        QTest::newRow("empty") << QVariant(QByteArray()) << "";
        QTest::newRow("missing") << QVariant() << "";
        QTest::newRow("a folder") << QVariant(QStringLiteral("folder")) << "";
    }

    void readTakesUtf8OrElseWindows1252()
    {
        QFETCH(QVariant, bytes);
        const QString path = Path(QLatin1String(QTest::currentDataTag()));
        if (bytes.typeId() == QMetaType::QString)
            QVERIFY(QDir().mkpath(path));
        else if (bytes.isValid())
            WriteBytes(path, bytes.toByteArray());
        const bool readable = bytes.typeId() == QMetaType::QByteArray;
        bool ok = !readable;
        QTEST(fs.ReadTextFile(path, &ok), "text");
        QCOMPARE(ok, readable);
        QCOMPARE(m_reports, readable ? Reports() : Reports({{"Error reading file ...", path}}));
    }

    void writeReplacesTheWholeFile()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("write")));
        const QString path = Path("write/out.txt");
        QVERIFY(fs.WriteTextFile(path, QStringLiteral("a much longer first text\n")));
        const QString second = QStringLiteral("short \u00E9\U0001F600");
        QVERIFY(fs.WriteTextFile(path, second));
        // No tail of the longer text survives, and the text is UTF-8.
        QCOMPARE(ReadBytes(path), second.toUtf8());
        QCOMPARE(fs.ReadTextFile(path), second);
        // Nothing temporary is left beside it.
        QCOMPARE(QDir(Path("write")).entryList(QDir::Files), QStringList{QStringLiteral("out.txt")});
        QVERIFY(m_reports.isEmpty());

        QVERIFY(fs.WriteTextFile(path, QString()));
        QCOMPARE(ReadBytes(path), QByteArray());

        // A folder in the way is not replaced. Other failures: tst_StoreFile.
        QVERIFY(!fs.WriteTextFile(Path("write"), QStringLiteral("text")));
        QVERIFY(QFileInfo(Path("write")).isDir());
        QCOMPARE(m_reports, Reports({{"Error writing file ...", Path("write")}}));
    }

    void copyHonoursOverwrite()
    {
        WriteBytes(Path("src"), "new contents");
        WriteBytes(Path("dst"), "old");

        QVERIFY(!fs.CopyOneFile(Path("src"), Path("dst"), false));
        QCOMPARE(ReadBytes(Path("dst")), QByteArray("old"));

        QVERIFY(fs.CopyOneFile(Path("src"), Path("dst"), true));
        QCOMPARE(ReadBytes(Path("dst")), QByteArray("new contents"));

        QVERIFY(fs.CopyOneFile(Path("src"), Path("fresh"), false));
        QCOMPARE(ReadBytes(Path("fresh")), QByteArray("new contents"));

        // A large file is copied whole when replacing.
        QByteArray big(3 * 1024 * 1024 + 17, 'z');
        big[0] = 'a';
        big[big.size() - 1] = 'b';
        WriteBytes(Path("big"), big);
        QVERIFY(fs.CopyOneFile(Path("big"), Path("dst"), true));
        QCOMPARE(ReadBytes(Path("dst")), big);

        // Failures are quiet and leave the target alone.
        QVERIFY(!fs.CopyOneFile(Path("missing"), Path("dst"), true));
        QVERIFY(!fs.CopyOneFile(m_dir.path(), Path("dst"), true));
        QVERIFY(!fs.CopyOneFile(Path("src"), Path("no/such/folder/x"), true));
        QCOMPARE(ReadBytes(Path("dst")), big);
        QVERIFY(m_reports.isEmpty());
    }

    void validSourceAddresses()
    {
        WriteBytes(Path("list.xml"), "<x/>");
        // Web addresses in any case are taken unseen; files must be there.
        const QStringList valid = {"http://example.com/list.xml", "HTTPS://Example.com/",
                                   QUrl::fromLocalFile(Path("list.xml")).toString(),
                                   "FILE://" + Path("list.xml"), Path("list.xml"), m_dir.path()};
        const QStringList invalid = {"ftp://example.com/list.xml", "mailto:someone@example.com",
                                     "httpx://example.com/", QUrl::fromLocalFile(Path("gone.xml")).toString(),
                                     Path("gone.xml"), QString()};
        for (const QString& address : valid)
            QVERIFY2(fs.IsValidSource(address), qPrintable(address));
        for (const QString& address : invalid)
            QVERIFY2(!fs.IsValidSource(address), qPrintable(address));

        for (const char* url : {"http://x", "svn+ssh://x", "file:relative.xml"})
            QVERIFY2(FilesSystem::IsUrl(QString::fromLatin1(url)), url);
        // Too short for a scheme, not starting with a letter, a blank in it.
        for (const char* other : {"/home/user/list.xml", "a:b", "1http://x", "my list:x", "no colon"})
            QVERIFY2(!FilesSystem::IsUrl(QString::fromLatin1(other)), other);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestFilesSystem)
#include "tst_FilesSystem.moc"
