#include "WidgetTestMain.h"
#include "shell/StartupChecks.h"
#include "shell/frmMain.h"
#include "shell/modMain.h"

#include <QDesktopServices>
#include <QLockFile>
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

    static SystemVersions versions(int os, int ie, int adoMajor, int adoMinor, int osMinor = 0)
    {
        SystemVersions v;
        v.OSMajor = os;
        v.OSMinor = osMinor;
        v.IEMajor = ie;
        v.ADOMajor = adoMajor;
        v.ADOMinor = adoMinor;
        return v;
    }

    UrlCatcher catcher;

private Q_SLOTS:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    void init()
    {
        catcher.opened.clear();
        Dialogs::TakeAsked();
    }

    void thresholds_data()
    {
        QTest::addColumn<int>("os");
        QTest::addColumn<int>("osMinor");
        QTest::addColumn<int>("ie");
        QTest::addColumn<int>("adoMajor");
        QTest::addColumn<int>("adoMinor");
        QTest::addColumn<int>("refusal");
        // The OS fields hold the running kernel's version.
        QTest::newRow("kernel 3.2") << 3 << 2 << 6 << 2 << 5 << int(Refusal::None);
        QTest::newRow("kernel 4.19") << 4 << 19 << 6 << 2 << 5 << int(Refusal::None);
        QTest::newRow("kernel 6.1, data layer 3.0") << 6 << 1 << 6 << 3 << 0 << int(Refusal::None);
        QTest::newRow("kernel 3.1") << 3 << 1 << 6 << 2 << 8 << int(Refusal::Windows);
        QTest::newRow("kernel 2.6") << 2 << 6 << 6 << 2 << 8 << int(Refusal::Windows);
        QTest::newRow("no kernel version") << 0 << 0 << 6 << 2 << 8 << int(Refusal::Windows);
        QTest::newRow("old kernel wins over old browser")
            << 2 << 6 << 0 << 0 << 0 << int(Refusal::Windows);
        QTest::newRow("no browser version")
            << 5 << 0 << 0 << 2 << 8 << int(Refusal::InternetExplorer);
        QTest::newRow("browser 4") << 5 << 0 << 4 << 2 << 8 << int(Refusal::InternetExplorer);
        QTest::newRow("data layer 2.1") << 5 << 0 << 6 << 2 << 1 << int(Refusal::DataProvider);
        QTest::newRow("no data layer") << 5 << 0 << 6 << 0 << 0 << int(Refusal::DataProvider);
        QTest::newRow("data layer 1.9") << 5 << 0 << 6 << 1 << 9 << int(Refusal::DataProvider);
    }
    void thresholds()
    {
        QFETCH(int, os);
        QFETCH(int, osMinor);
        QFETCH(int, ie);
        QFETCH(int, adoMajor);
        QFETCH(int, adoMinor);
        QFETCH(int, refusal);
        QCOMPARE(int(StartupChecks::Check(versions(os, ie, adoMajor, adoMinor, osMinor))), refusal);
    }

    void updateAddress()
    {
        // The data layer's address is checked as opened in the test below.
        QCOMPARE(StartupChecks::UpdateAddress(Refusal::InternetExplorer),
                 QStringLiteral("https://www.corvanta.example/updates/?p=Corvanta&v=1.3.479&u=ie"));
        QVERIFY(StartupChecks::UpdateAddress(Refusal::Windows).isEmpty());
    }

    void oldSystemIsRefusedWithoutUpdate()
    {
        Dialogs::QueueAnswer(QMessageBox::Ok);
        QVERIFY(!modMain::AcceptSystem(versions(3, 6, 2, 8, 1)));
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text,
                 QStringLiteral("Corvanta 1.3 is designed for Windows 2000 / XP and do "
                                "not support previous versions of Windows"));
        QCOMPARE(asked[0].icon, Dialogs::Icon::Critical);
        QCOMPARE(asked[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(asked[0].title, QStringLiteral("Corvanta"));
        QVERIFY(catcher.opened.isEmpty());
    }

    void oldDataLayerOffersUpdateOnYes()
    {
        Dialogs::QueueAnswer(QMessageBox::Yes);
        QVERIFY(!modMain::AcceptSystem(versions(5, 6, 2, 1)));
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text,
                 QStringLiteral("Your dataproviders is older than required for "
                                "Corvanta 1.3\n\nWould you like to download an update?"));
        QCOMPARE(asked[0].icon, Dialogs::Icon::Information);
        QCOMPARE(asked[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(catcher.opened.size(), 1);
        // The query is passed on as written, not re-encoded.
        QCOMPARE(
            catcher.opened[0].toString(),
            QStringLiteral("https://www.corvanta.example/updates/?p=Corvanta&v=1.3.479&u=ado"));
    }

    void oldBrowserAnsweredNoEndsWithoutOpening()
    {
        Dialogs::QueueAnswer(QMessageBox::No);
        QVERIFY(!modMain::AcceptSystem(versions(5, 0, 2, 8)));
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].text.startsWith(QStringLiteral("Corvanta 1.3 is designed for")));
        QVERIFY(catcher.opened.isEmpty());
    }

    void goodSystemAsksNothing()
    {
        QVERIFY(modMain::AcceptSystem(versions(6, 6, 6, 4)));
        QVERIFY(Dialogs::TakeAsked().isEmpty());
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
        struct Seen
        {
            int ms;
            bool splashVisible;
            bool mainVisible;
        };
        QList<Seen> waits;
        auto wait = [&](int ms) {
            bool splashVisible = false;
            bool mainVisible = false;
            for (QWidget* w : QApplication::allWidgets()) {
                if (w->objectName() == QLatin1String("frmSplash"))
                    splashVisible = w->isVisible();
                if (w->objectName() == QLatin1String("frmMain"))
                    mainVisible = w->isVisible();
            }
            waits << Seen{ms, splashVisible, mainVisible};
        };
        const auto main = modMain::ShowMainWindow(wait);
        QVERIFY(main);
        QCOMPARE(waits.size(), 2);
        QCOMPARE(waits[0].ms, 1200);
        QVERIFY(waits[0].splashVisible);
        QVERIFY(!waits[0].mainVisible);
        QCOMPARE(waits[1].ms, 700);
        QVERIFY(waits[1].splashVisible);
        QVERIFY(waits[1].mainVisible);
        QVERIFY(main->isVisible());
        for (QWidget* w : QApplication::allWidgets())
            QVERIFY(w->objectName() != QLatin1String("frmSplash") || !w->isVisible());
    }
};

CORVANTA_TEST_MAIN(TestStartup)
#include "tst_Startup.moc"
