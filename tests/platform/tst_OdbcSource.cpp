#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/sql/OdbcSource.h"
#include "base/AppError.h"

#include <QDateTime>
#include <QTemporaryDir>

using TestSupport::ErrorOrNone;

namespace {

// A SQLite database written through Qt's own SQLite driver, so the ODBC
// side reads a file it did not make.
QString MakeDatabase(const QString& folder)
{
    const QString path = folder + QStringLiteral("/club.db");
    TestSupport::ExecuteSql(
        path, {"CREATE TABLE \"Club Members\" (id INTEGER, name VARCHAR(50), height REAL, joined DATE, "
               "seen TIMESTAMP, note TEXT)",
               "INSERT INTO \"Club Members\" VALUES (1, 'Ann', 1.75, '2020-02-29', '2021-03-04 05:06:07', 'first')",
               "INSERT INTO \"Club Members\" VALUES (2, 'Bjørn Ærø', NULL, NULL, NULL, NULL)",
               "INSERT INTO \"Club Members\" VALUES (3, 'Мир', -2.5, '1899-12-30', '1999-12-31 23:59:59', '')",
               "CREATE TABLE towns (town VARCHAR(20))", "INSERT INTO towns VALUES ('Ry')",
               "CREATE VIEW tall AS SELECT name FROM \"Club Members\" WHERE height > 1.5"});
    return path;
}

} // namespace

class TestOdbcSource : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_database;

    QString Sqlite() const { return QStringLiteral("Driver={SQLite3};Database=") + m_database + u';'; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_database = MakeDatabase(m_dir.path());
    }

    void sqliteTablesViewsAndCommands()
    {
        OdbcSource source(Sqlite());
        Recordset rs = source.Open(QStringLiteral("[Club Members]"));
        QCOMPARE(rs.FieldCount(), 6);
        QCOMPARE(rs.FieldType(0), int(AdoType::Integer));
        QCOMPARE(rs.FieldType(2), int(AdoType::Double));
        QCOMPARE(rs.FieldType(3), int(AdoType::DBDate));
        QCOMPARE(rs.FieldType(4), int(AdoType::DBTimeStamp));
        QCOMPARE(rs.RecordCount(), 3);

        QCOMPARE(rs.ValueAt(0, 1).toString(), QStringLiteral("Ann"));
        QCOMPARE(rs.ValueAt(0, 2).toDouble(), 1.75);
        QCOMPARE(rs.ValueAt(0, 3).toDate(), QDate(2020, 2, 29));
        QCOMPARE(rs.ValueAt(0, 4).toDateTime(), QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)));
        QCOMPARE(rs.ValueAt(1, 1).toString(), QStringLiteral("Bjørn Ærø"));
        for (int column = 2; column < 6; ++column)
            QVERIFY(rs.IsNullAt(1, column));
        QCOMPARE(rs.ValueAt(2, 1).toString(), QStringLiteral("Мир"));
        // An empty text is a value, not Null.
        QVERIFY(!rs.IsNullAt(2, 5));
        QCOMPARE(rs.ValueAt(2, 5).toString(), QString());

        rs = source.Open(QStringLiteral("SELECT name, id * 10 AS tens FROM \"Club Members\" WHERE id > 1 "
                                        "ORDER BY id DESC"));
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(rs.FieldName(1), QStringLiteral("tens"));
        QCOMPARE(rs.ValueAt(0, 1).toInt(), 30);

        // The catalog lists tables, then views; a view opens like a table.
        QCOMPARE(source.TableNames(),
                 QStringList({QStringLiteral("Club Members"), QStringLiteral("towns"), QStringLiteral("tall")}));
        QCOMPARE(source.Open(QStringLiteral("[tall]")).RecordCount(), 1);

        AppError error = ErrorOrNone([&] { source.Open(QStringLiteral("SELEKT nothing")); });
        QCOMPARE(error.Number(), long(OdbcSource::ErrCommand));
        QCOMPARE(error.Source(), QStringLiteral("ODBC"));
        QVERIFY2(error.Description().contains(QStringLiteral("syntax error")), qPrintable(error.Description()));
        error = ErrorOrNone([&] { source.Open(QStringLiteral("[no such table]")); });
        QCOMPARE(error.Number(), long(OdbcSource::ErrCommand));
        QVERIFY2(error.Description().contains(QStringLiteral("no such table")), qPrintable(error.Description()));
        QCOMPARE(ErrorOrNone([&] { source.Open(QString()); }).Number(), long(OdbcSource::ErrCommand));
    }

    void tableSourcesAreOneBracketedName()
    {
        QVERIFY(OdbcSource::IsTableSource(QStringLiteral("[Club Members]")));
        QVERIFY(OdbcSource::IsTableSource(QStringLiteral(" [a]]b] ")));
        QVERIFY(!OdbcSource::IsTableSource(QStringLiteral("[a] JOIN [b]")));
        QVERIFY(!OdbcSource::IsTableSource(QStringLiteral("[]")));
        QVERIFY(!OdbcSource::IsTableSource(QStringLiteral("SELECT * FROM [a]")));
    }

    void mdbToolsDriverReadsAccessFiles()
    {
        const auto error = TestSupport::ErrorOf([] {
            OdbcSource source(QStringLiteral("Driver={MDBTools};DBQ=")
                              + TestSupport::TestData(QStringLiteral("mdb/jackcess-testV1997.mdb")) + u';');
            QVERIFY(source.TableNames().contains(QStringLiteral("Table1")));
            Recordset rs = source.Open(QStringLiteral("[Table1]"));
            QCOMPARE(rs.RecordCount(), 2);
            QCOMPARE(rs.FieldCount(), 9);
            // Column kinds as the driver describes them: text, numbers, a date.
            QCOMPARE(rs.FieldType(0), int(AdoType::VarChar));
            QCOMPARE(rs.FieldType(5), int(AdoType::Double));
            QCOMPARE(rs.ValueAt(0, 6).toDateTime().date().year(), 1981);
        });
        QVERIFY2(!error, error ? qPrintable(error->Description()) : "");
    }

    void connectionFailuresGiveTheDriversWords()
    {
        for (const auto& [text, name] : {std::pair{"Driver={No Such Driver};Database=x;", "No Such Driver"},
                                         std::pair{"DSN=corvanta-missing-dsn;UID=a;", "corvanta-missing-dsn"}}) {
            const AppError error = ErrorOrNone([&] { OdbcSource source(QString::fromLatin1(text)); });
            QCOMPARE(error.Number(), long(OdbcSource::ErrConnect));
            QVERIFY2(error.Description().contains(QLatin1String(name))
                         || error.Description().contains(QStringLiteral("not found"), Qt::CaseInsensitive),
                     qPrintable(error.Description()));
        }
        const AppError error = ErrorOrNone([&] {
            OdbcSource source(QStringLiteral("Driver={MDBTools};DBQ=")
                              + TestSupport::TestData(QStringLiteral("mdb/no-such.mdb")) + u';');
        });
        QCOMPARE(error.Number(), long(OdbcSource::ErrConnect));
    }

    // A data source defined in a user's odbc.ini is found by name, whatever
    // order the items are written in.
    void dataSourceByName()
    {
        const QString ini = m_dir.filePath(QStringLiteral("odbc.ini"));
        TestSupport::PutFile(ini, "[corvanta club]\nDriver=SQLite3\nDescription=Club members\nDatabase="
                                      + m_database.toUtf8() + "\n");
        qputenv("ODBCINI", QFile::encodeName(ini));

        const AppError error = ErrorOrNone([] {
            OdbcSource source(QStringLiteral("Timeout=2000;DSN=corvanta club;"));
            QCOMPARE(source.Open(QStringLiteral("[towns]")).ValueAt(0, 0).toString(), QStringLiteral("Ry"));
        });
        QVERIFY2(error.Number() == 0, qPrintable(error.Description()));

        bool listed = false;
        for (const OdbcSource::DataSource& dsn : OdbcSource::DataSources())
            listed = listed || (dsn.Name == QStringLiteral("corvanta club") && dsn.Driver == QStringLiteral("SQLite3"));
        QVERIFY(listed);
        qunsetenv("ODBCINI");
    }

    void installedDrivers()
    {
        const QStringList drivers = OdbcSource::Drivers();
        for (const char* name : {"FreeTDS", "SQLite3", "MDBTools"})
            QVERIFY2(drivers.contains(QLatin1String(name)), qPrintable(drivers.join(u',')));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestOdbcSource)
#include "tst_OdbcSource.moc"
