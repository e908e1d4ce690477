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
        SystemVersions v;
        v.OSMajor = n[0].toInt();
        v.OSMinor = n[1].toInt();
        v.IEMajor = n[2].toInt();
        v.ADOMajor = n[3].toInt();
        v.ADOMinor = n[4].toInt();
        return v;
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

    void thresholds_data()
    {
        QTest::addColumn<QString>("versions");
        QTest::addColumn<int>("refusal");
        QTest::newRow("kernel 3.2") << "3.2 6 2.5" << int(Refusal::None);
        QTest::newRow("kernel 6.1, data layer 3.0") << "6.1 6 3.0" << int(Refusal::None);
        QTest::newRow("kernel 3.1") << "3.1 6 2.8" << int(Refusal::Windows);
        QTest::newRow("no kernel version") << "0.0 6 2.8" << int(Refusal::Windows);
        QTest::newRow("old kernel wins over old browser") << "2.6 0 0.0" << int(Refusal::Windows);
        QTest::newRow("browser 4") << "5.0 4 2.8" << int(Refusal::InternetExplorer);
        QTest::newRow("data layer 2.1") << "5.0 6 2.1" << int(Refusal::DataProvider);
        QTest::newRow("no data layer") << "5.0 6 0.0" << int(Refusal::DataProvider);
    }
    void thresholds()
    {
        QFETCH(QString, versions);
        QTEST(int(StartupChecks::Check(Probed(versions))), "refusal");
    }

    // An old kernel is refused with OK only; an old layer is offered the
    // update page, opened on Yes only and exactly as written.
    void refusalsAndTheUpdatePage_data()
    {
        QTest::addColumn<QString>("versions");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QString>("opened");
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        const QString ado = StartupChecks::UpdateAddress(Refusal::DataProvider);
        QTest::newRow("good system") << "6.1 6 2.8" << 0 << true << 0 << 0 << "";
        QTest::newRow("old kernel") << "3.1 6 2.8" << int(QMessageBox::Ok) << false
                                    << int(Dialogs::Icon::Critical) << int(QMessageBox::Ok) << "";
        QTest::newRow("old data layer, yes") << "5.0 6 2.1" << int(QMessageBox::Yes) << false
                                             << int(Dialogs::Icon::Information) << yesNo << ado;
        QTest::newRow("old browser, no") << "5.0 0 2.8" << int(QMessageBox::No) << false
                                         << int(Dialogs::Icon::Information) << yesNo << "";
    }
    void refusalsAndTheUpdatePage()
    {
        QFETCH(QString, versions);
        QFETCH(int, answer);
        QFETCH(QString, opened);
        if (answer)
            Dialogs::QueueAnswer(answer);
        QTEST(modMain::AcceptSystem(Probed(versions)), "accepted");
        const auto asked = Dialogs::TakeAsked(); // one question per answer queued
        if (!asked.isEmpty()) {
            QTEST(int(asked[0].icon), "icon");
            QTEST(int(asked[0].buttons), "buttons");
        }
        QCOMPARE(catcher.opened.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty()) // the query is passed on as written, not re-encoded
            QCOMPARE(catcher.opened[0].toString(), opened);
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
