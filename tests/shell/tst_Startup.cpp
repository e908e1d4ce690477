#include "WidgetTestMain.h"
#include "shell/StartupChecks.h"
#include "shell/frmMain.h"
#include "shell/modMain.h"

#include <QDesktopServices>
#include <QLockFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

using StartupChecks::Refusal;

// Catches the addresses the program asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

class TestStartup : public QObject
{
    Q_OBJECT

    // "kernel browser data-layer" as the probes record them, e.g. "3.2 6 2.5".
    static SystemVersions Probed(const QString& text)
    {
        const QStringList n = text.split(QRegularExpression(QStringLiteral("[ .]")));
        return {.OSMajor = n[0].toInt(), .OSMinor = n[1].toInt(), .ADOMajor = n[3].toInt(),
                .ADOMinor = n[4].toInt(), .IEMajor = n[2].toInt()};
    }

    UrlCatcher catcher;

private Q_SLOTS:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    void init() { catcher.opened.clear(); }
    void cleanup() { TestSupport::VerifyAllAnswersTaken(); }

    // An old kernel is refused with OK only; an old browser or data layer is
    // offered its update page, opened on Yes only and exactly as written.
    void systemIsCheckedAndRefused_data()
    {
        QTest::addColumn<QString>("versions");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<int>("answer"); // to the refusal's question
        const int ok = QMessageBox::Ok, yes = QMessageBox::Yes, no = QMessageBox::No;
        QTest::newRow("kernel 3.2") << "3.2 6 2.5" << int(Refusal::None) << 0;
        QTest::newRow("kernel 6.1, data layer 3.0") << "6.1 6 3.0" << int(Refusal::None) << 0;
        QTest::newRow("kernel 3.1") << "3.1 6 2.8" << int(Refusal::Windows) << ok;
        QTest::newRow("no kernel version") << "0.0 6 2.8" << int(Refusal::Windows) << ok;
        QTest::newRow("old kernel wins over old browser") << "2.6 0 0.0" << int(Refusal::Windows) << ok;
        QTest::newRow("browser 4, yes") << "5.0 4 2.8" << int(Refusal::InternetExplorer) << yes;
        QTest::newRow("no browser, no") << "5.0 0 2.8" << int(Refusal::InternetExplorer) << no;
        QTest::newRow("data layer 2.1, yes") << "5.0 6 2.1" << int(Refusal::DataProvider) << yes;
        QTest::newRow("no data layer, no") << "5.0 6 0.0" << int(Refusal::DataProvider) << no;
    }
    void systemIsCheckedAndRefused()
    {
        QFETCH(QString, versions);
        QFETCH(int, refusal);
        QFETCH(int, answer);
        QCOMPARE(int(StartupChecks::Check(Probed(versions))), refusal);
        if (answer)
            Dialogs::QueueAnswer(answer);
        QCOMPARE(modMain::AcceptSystem(Probed(versions)), refusal == int(Refusal::None));
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), answer ? 1 : 0);
        if (answer) {
            const bool kernel = refusal == int(Refusal::Windows);
            QCOMPARE(int(asked[0].icon), int(kernel ? Dialogs::Icon::Critical : Dialogs::Icon::Information));
            QCOMPARE(asked[0].buttons, kernel ? QMessageBox::StandardButtons(QMessageBox::Ok)
                                              : QMessageBox::Yes | QMessageBox::No);
        }
        QCOMPARE(catcher.opened.size(), answer == QMessageBox::Yes ? 1 : 0);
        if (!catcher.opened.isEmpty()) // the query is passed on as written, not re-encoded
            QCOMPARE(catcher.opened[0].toString(), StartupChecks::UpdateAddress(Refusal(refusal)));
    }

    void secondInstanceIsRefusedUnlessTheFirstIsGone()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("corvanta.lock"));
        auto first = modMain::ClaimInstance(path);
        QVERIFY(first);
        QVERIFY(!modMain::ClaimInstance(path));
        first.reset();
        QVERIFY(modMain::ClaimInstance(path));

        // A lock left by a process that cannot be running is taken over.
        const QString stalePath = dir.filePath(QStringLiteral("stale.lock"));
        QFile stale(stalePath);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("2147483646\ncorvanta\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
        QVERIFY(modMain::ClaimInstance(stalePath));
    }

    void splashThenMainWindow()
    {
        auto visible = [](const char* name) {
            for (QWidget* w : QApplication::allWidgets())
                if (w->objectName() == QLatin1String(name) && w->isVisible())
                    return true;
            return false;
        };
        QList<QPair<bool, bool>> seen; // splash and main window shown at each wait
        const auto main = modMain::ShowMainWindow(
            [&](int) { seen << qMakePair(visible("frmSplash"), visible("frmMain")); });
        QCOMPARE(seen, (QList<QPair<bool, bool>>{{true, false}, {true, true}}));
        QVERIFY(main->isVisible());
        QVERIFY(!visible("frmSplash"));
    }
};

CORVANTA_TEST_MAIN(TestStartup)
#include "tst_Startup.moc"
