#include "MainWindowSetup.h"
#include "TestFiles.h"
#include "platform/providers/Dispatch.h"
#include "recipients/frmDataLink.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

using namespace TestSupport;

namespace {

void Click(QWidget* dialog, const char* name)
{
    QTest::mouseClick(Find<QPushButton>(dialog, name), Qt::LeftButton);
}

void ChooseDriver(QWidget* dialog, const QString& driver)
{
    auto* drivers = Find<QComboBox>(dialog, "cboDriver");
    const int index = drivers->findText(driver);
    QVERIFY2(index >= 0, qPrintable(driver + QStringLiteral(" is not installed")));
    Find<QRadioButton>(dialog, "optDriver")->click();
    drivers->setCurrentIndex(index);
}

void MakeDatabase(const QString& path)
{
    QFile::remove(path);
    ExecuteSql(path, {QStringLiteral("CREATE TABLE Members (Name TEXT, EMail TEXT)"),
                      QStringLiteral("INSERT INTO Members VALUES ('Bo', 'bo@example.org')")});
}

} // namespace

class TestDataLink : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    // Before the driver manager reads its lists: a user data source of its
    // own, in the test's private home.
    void initTestCase()
    {
        const QString ini = QDir::homePath() + QStringLiteral("/.odbc.ini");
        PutFile(ini,
                "[club]\nDriver=SQLite3\nDatabase=" + m_dir.filePath("dsn.db").toUtf8() + '\n');
        // The driver manager looks for the user's file by the password entry, not HOME.
        qputenv("ODBCINI", ini.toLocal8Bit());
    }
    void cleanup() { VerifyAllAnswersTaken(); }

    // A string the dialog wrote comes back unchanged through its fields;
    // fields the driver does not take are left out.
    void givenStringFillsTheFields_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("result");
        const auto fill = [](const char* name, const char* given, const char* field,
                             const char* shown, const char* result) {
            QTest::newRow(name) << QString::fromUtf8(given) << QString::fromLatin1(field)
                                << QString::fromUtf8(shown) << QString::fromUtf8(result);
        };
        fill("file driver, path with a blank", "Driver={SQLite3};Database=/data/club list.db;",
             "txtDatabase", "/data/club list.db", "Driver={SQLite3};Database=/data/club list.db;");
        fill("server driver, braced password, free option",
             "Driver={FreeTDS};Server=db.example;Database=club;UID=sa;PWD={p;w}}d};Port=1433;",
             "txtPassword", "p;w}d",
             "Driver={FreeTDS};Server=db.example;Database=club;UID=sa;PWD={p;w}}d};Port=1433;");
        fill("access driver names the file DBQ", "driver={MDBTools};dbq=/x.mdb;", "txtDatabase",
             "/x.mdb", "Driver={MDBTools};DBQ=/x.mdb;");
        fill("a server is no field of a file driver", "Driver={SQLite3};Server=old;Database=/d.db;",
             "txtServer", "old", "Driver={SQLite3};Database=/d.db;");
        fill("data source, not installed here, is kept", "DSN=club;UID=bo;", "txtUser", "bo",
             "DSN=club;UID=bo;");
        fill("a string of another kind fills nothing",
             "Provider=SQLOLEDB.1;Data Source=db;Initial Catalog=club", "txtDatabase", "",
             "Driver={SQLite3};Database=/e.db;");
    }
    void givenStringFillsTheFields()
    {
        QFETCH(QString, given);
        QFETCH(QString, field);
        QFETCH(QString, shown);
        QFETCH(QString, result);
        QString seen;
        WhenModal([&](QWidget* dialog) {
            seen = Find<QLineEdit>(dialog, qPrintable(field))->text();
            // The string on show keeps the password hidden.
            QVERIFY(!Find<QLineEdit>(dialog, "txtConnectionString")->text().contains("p;w"));
            if (given.startsWith(QLatin1String("Provider"))) {
                ChooseDriver(dialog, QStringLiteral("SQLite3"));
                Find<QLineEdit>(dialog, "txtDatabase")->setText(QStringLiteral("/e.db"));
            }
            Click(dialog, "cmdOK");
        });
        QString connectionString = given;
        QVERIFY(frmDataLink::Edit(nullptr, connectionString));
        QCOMPARE(seen, shown);
        QCOMPARE(connectionString, result);
    }

    // Test opens the connection the fields make; OK hands over a string that
    // reads the database.
    void testThenTakeTheConnection_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("dataSource");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("result");
        const int fine = int(Dialogs::Icon::Information);
        QTest::newRow("database made here")
            << "club.db"
            << "" << fine << "Driver={SQLite3};Database=" + m_dir.filePath("club.db") + ';';
        QTest::newRow("folder that does not exist")
            << "none/club.db"
            << "" << int(Dialogs::Icon::Critical)
            << "Driver={SQLite3};Database=" + m_dir.filePath("none/club.db") + ';';
        // A user data source of the driver manager, in the test's own home.
        QTest::newRow("data source") << "dsn.db"
                                     << "club" << fine << "DSN=club;";
    }
    void testThenTakeTheConnection()
    {
        QFETCH(QString, database);
        QFETCH(QString, dataSource);
        QFETCH(int, icon);
        const QString path = m_dir.filePath(database);
        if (!database.contains(u'/'))
            MakeDatabase(path);
        Dialogs::QueueAnswer(QMessageBox::Ok);
        WhenModal([&](QWidget* dialog) {
            if (dataSource.isEmpty()) {
                ChooseDriver(dialog, QStringLiteral("SQLite3"));
                Find<QLineEdit>(dialog, "txtDatabase")->setText(path);
            } else {
                Find<QRadioButton>(dialog, "optDataSource")->click();
                auto* sources = Find<QComboBox>(dialog, "cboDataSource");
                sources->setCurrentIndex(sources->findText(dataSource));
            }
            Click(dialog, "cmdTest");
            Click(dialog, "cmdOK");
        });
        QString connectionString;
        QVERIFY(frmDataLink::Edit(nullptr, connectionString));
        const QList<Dialogs::Asked> asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(int(asked.first().icon) == icon, qPrintable(asked.first().text));
        QTEST(connectionString, "result");
        if (icon == int(Dialogs::Icon::Information))
            QCOMPARE(
                ProviderDispatch::Open(connectionString, QStringLiteral("[Members]")).RecordCount(),
                1);
    }

    // OK is refused, with the balloon at the field to fill, until the
    // string can name a source; Cancel leaves the caller's string alone.
    void refusalsAndCancel()
    {
        QString balloon;
        WhenModal([&](QWidget* dialog) {
            ChooseDriver(dialog, QStringLiteral("SQLite3"));
            Click(dialog, "cmdOK");
            balloon = BalloonShown();
            Click(dialog, "cmdCancel");
        });
        QString connectionString = QStringLiteral("DSN=kept;");
        QVERIFY(!frmDataLink::Edit(nullptr, connectionString));
        QCOMPARE(balloon, LoadResString(4115) + QStringLiteral("@txtDatabase"));
        QCOMPARE(connectionString, QStringLiteral("DSN=kept;"));
    }

    // A server that never answers: the window stays live and Cancel ends
    // the attempt, with no message about it.
    void cancelEndsATestThatWaits()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        WhenModal([&](QWidget* dialog) {
            ChooseDriver(dialog, QStringLiteral("FreeTDS"));
            Find<QLineEdit>(dialog, "txtServer")->setText(QStringLiteral("127.0.0.1"));
            Find<QLineEdit>(dialog, "txtOptions")
                ->setText(QStringLiteral("Port=%1").arg(silent.serverPort()));
            QTimer::singleShot(500, dialog, [dialog] {
                QVERIFY(!Find<QPushButton>(dialog, "cmdOK")->isEnabled());
                Click(dialog, "cmdCancel");
            });
            Click(dialog, "cmdTest");
        });
        QString connectionString;
        QVERIFY(!frmDataLink::Edit(nullptr, connectionString));
        QVERIFY(Dialogs::TakeAsked().isEmpty());
    }
};

CORVANTA_TEST_MAIN(TestDataLink)
#include "tst_DataLink.moc"
