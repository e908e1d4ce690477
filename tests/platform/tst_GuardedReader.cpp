#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/guarded/GuardedReader.h"
#include "platform/providers/sql/AccessReader.h"
#include "base/AppError.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include <signal.h>
#include <unistd.h>

using ProviderDispatch::Where;

namespace {

QString Access(const char* file)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Read;Persist Security Info=False")
        .arg(TestSupport::TestData(QStringLiteral("mdb/") + QLatin1String(file)));
}

// What a call gave, as bytes (a record set in its persisted form: every
// field with its type, size and attributes and every value), or its error.
QByteArray Outcome(const std::function<QByteArray()>& call)
{
    try {
        return call();
    } catch (const AppError& error) {
        return QStringLiteral("error %1 (%2): %3").arg(error.Number()).arg(error.Source(), error.Description()).toUtf8();
    }
}

// The processes this one has started and not yet reaped.
QList<int> Children(int pid)
{
    QList<int> children;
    for (const QString& task : QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(QStringLiteral("/proc/%1/task/%2/children").arg(pid).arg(task));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& child : file.readAll().split(' '))
                if (!child.trimmed().isEmpty())
                    children << child.trimmed().toInt();
    }
    return children;
}

// Gone, or dead and waiting to be reaped by whoever inherited it.
bool IsDead(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

bool WaitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 400 && !condition(); ++i)
        QTest::qWait(25);
    return condition();
}

} // namespace

class tst_GuardedReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_sqlite;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QFileInfo(GuardedReader::Program()).isExecutable());
        m_sqlite = QStringLiteral("Driver={SQLite3};Database=%1;").arg(m_dir.filePath(QStringLiteral("club.db")));
        TestSupport::ExecuteSql(
            m_dir.filePath(QStringLiteral("club.db")),
            {"CREATE TABLE \"Club Members\" (id INTEGER, name VARCHAR(50), height REAL, joined DATE, "
             "seen TIMESTAMP, photo BLOB, note TEXT)",
             "INSERT INTO \"Club Members\" VALUES (1, 'Ann', 1.75, '2020-02-29', '2021-03-04 05:06:07.250', "
             "x'00ff10', 'first')",
             "INSERT INTO \"Club Members\" VALUES (2, 'Мир', NULL, NULL, NULL, NULL, '')",
             "CREATE VIEW tall AS SELECT name FROM \"Club Members\" WHERE height > 1.5"});
    }

    // Whatever is asked, the helper gives exactly what this process gives.
    void sameAsInProcess_data()
    {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("source");
        for (const char* file :
             {"mdbtestdata-ASampleDatabase.accdb", "mdbtestdata-DateTestDatabase.mdb", "jackcess-testV1997.mdb",
              "jackcess-testUnicodeCompV2003.mdb", "jackcess-calcFieldTestV2010.accdb",
              "jackcess-fixedTextTestV2000.mdb", "jackcess-testEmoticonsV2010.accdb",
              "jackcess-complexDataTestV2007.accdb", "jackcess-extDateTestV2019.accdb", "ucanaccess-charsetGBK.mdb",
              "ucanaccess-weirdObjectNames.mdb"}) {
            const QStringList tables = ProviderDispatch::TableNames(Access(file), Where::ThisProcess);
            for (const QString& table : tables)
                QTest::addRow("%s %s", file, qPrintable(table)) << Access(file) << u'[' + table + u']';
        }
        QTest::newRow("access command") << Access("mdbtestdata-ASampleDatabase.accdb")
                                        << QStringLiteral("SELECT [Asset No], Cost FROM [Asset Items] WHERE Cost > 1000");
        QTest::newRow("access no table") << Access("jackcess-testV1997.mdb") << QStringLiteral("[Nope]");
        for (const char* bad : {"ucanaccess-password.mdb", "jackcess-testV1997-truncated.mdb",
                                "mdbtestdata-ASampleDatabase-truncated.accdb", "no-such-file.mdb"})
            QTest::addRow("access %s", bad) << Access(bad) << QStringLiteral("[Table1]");

        for (const char* source : {"[Club Members]", "[tall]", "SELECT name, id * 10 AS tens FROM \"Club Members\"",
                                   "SELEKT nothing", "[no such table]"})
            QTest::addRow("sqlite %s", source) << m_sqlite << QString::fromUtf8(source);
        QTest::newRow("mdbtools driver") << QStringLiteral("Driver={MDBTools};DBQ=%1;")
                                                .arg(TestSupport::TestData(QStringLiteral("mdb/jackcess-testV1997.mdb")))
                                         << QStringLiteral("[Table1]");
        QTest::newRow("no such driver") << QStringLiteral("Driver={No Such Driver};Database=x;")
                                        << QStringLiteral("[x]");
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const int closedPort = probe.serverPort();
        probe.close();
        QTest::newRow("sql server refused")
            << QStringLiteral("Provider=SQLOLEDB.1;User ID=sa;Password=pw;Initial Catalog=Club;Data Source=127.0.0.1,%1")
                   .arg(closedPort)
            << QStringLiteral("[Members]");
    }

    void sameAsInProcess()
    {
        QFETCH(QString, connection);
        QFETCH(QString, source);
        // The record set, the table list and the connection test, each or its error.
        const auto outcomes = [&](Where where) {
            return QByteArrayList{
                Outcome([&] { return ProviderDispatch::Open(connection, source, where).Persist(); }),
                Outcome([&] { return ProviderDispatch::TableNames(connection, where).join(u'|').toUtf8(); }),
                Outcome([&] {
                    ProviderDispatch::TestConnection(connection, where);
                    return QByteArray("connected");
                })};
        };
        QCOMPARE(outcomes(Where::HelperProcess), outcomes(Where::ThisProcess));
    }

    // Files that make libmdb loop for ever or allocate without bound end in the reader's error within the
    // limits the program sets for their size (memory runs out first unless the machine is busy or sanitized).
    void damagedFilesEndInAnError_data()
    {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<QString>("reason");
        QTest::newRow("runaway") << Access("jackcess-testEmoticonsV2010-mutated-runaway.accdb")
                                 << QStringLiteral("ran out of memory|made no progress for 10 seconds");
        QTest::newRow("endless") << Access("jackcess-testUnicodeCompV2003-mutated-endless.mdb")
                                 << QStringLiteral("made no progress for 10 seconds");
    }

    void damagedFilesEndInAnError()
    {
        QFETCH(QString, connection);
        QFETCH(QString, reason);
        const AppError error = TestSupport::ErrorOrNone([&] { ProviderDispatch::TableNames(connection); });
        QCOMPARE(error.Number(), long(AccessReader::ErrDamaged));
        QCOMPARE(error.Source(), QStringLiteral("Access"));
        QVERIFY2(error.Description().startsWith(QStringLiteral("The Access file could not be read: the reader "))
                     && error.Description().contains(QRegularExpression(reason))
                     && error.Description().endsWith(QStringLiteral("Repair it in Access and try again.")),
                 qPrintable(error.Description()));
    }

    // A helper that is killed, or cancelled, while it reads gives its error
    // at once and leaves nothing behind.
    void endedWhileReading_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("killed from outside") << false << long(AccessReader::ErrDamaged)
                                             << QStringLiteral("The Access file could not be read: the reader stopped "
                                                               "unexpectedly (Killed); the file may be damaged. Repair "
                                                               "it in Access and try again.");
        QTest::newRow("cancelled") << true << long(GuardedReader::ErrCancelled)
                                   << QStringLiteral("Reading the Access file was cancelled.");
    }

    void endedWhileReading()
    {
        QFETCH(bool, cancel);
        QFETCH(long, number);
        QFETCH(QString, description);
        int helper = 0;
        QTimer timer;
        timer.start(50);
        connect(&timer, &QTimer::timeout, this, [&] {
            const QList<int> children = Children(getpid());
            if (children.isEmpty())
                return;
            timer.stop();
            helper = children.first();
            if (cancel)
                GuardedReader::CancelRunning();
            else
                ::kill(helper, SIGKILL);
        });
        const AppError error = TestSupport::ErrorOrNone(
            [] { ProviderDispatch::TableNames(Access("jackcess-testUnicodeCompV2003-mutated-endless.mdb")); });
        QCOMPARE(error.Number(), number);
        QCOMPARE(error.Source(), QStringLiteral("Access"));
        QCOMPARE(error.Description(), description);
        QVERIFY(helper > 0);
        QVERIFY(IsDead(helper));
    }

    // The helper does not outlive the program that started it.
    void helperDiesWithItsParent()
    {
        QProcess import;
        import.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../src/corvanta-import"),
                     {TestSupport::TestData(QStringLiteral("mdb/jackcess-testUnicodeCompV2003-mutated-endless.mdb"))});
        QVERIFY(import.waitForStarted());
        const int parent = int(import.processId());
        QVERIFY(WaitFor([&] { return !Children(parent).isEmpty(); }));
        const int helper = Children(parent).first();
        ::kill(parent, SIGKILL);
        QVERIFY(import.waitForFinished());
        QVERIFY(WaitFor([&] { return IsDead(helper); }));
    }

    void cleanup()
    {
        QVERIFY(Children(getpid()).isEmpty());
    }
};

CORVANTA_TEST_GUILESS_MAIN(tst_GuardedReader)
#include "tst_GuardedReader.moc"
