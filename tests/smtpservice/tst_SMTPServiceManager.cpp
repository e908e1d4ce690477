#include "MainWindowSetup.h"
#include "SystemdStandin.h"
#include "platform/service/SmtpSvc.h"
#include "smtpservice/frmSMTPServiceManager.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

using namespace TestSupport;

namespace {

QStringList Enabled(QWidget* window)
{
    QStringList enabled;
    for (const char* name : {"cmdStart", "cmdStop", "cmdPause", "cmdContinue"})
        if (Find(window, name)->isEnabled())
            enabled << QLatin1String(name);
    return enabled;
}

} // namespace

// The service manager window against a stand-in of systemd on a private bus.
class TestSMTPServiceManager : public QObject
{
    Q_OBJECT

    SystemdStandin m_standin;

    bool Set(const QString& state)
    {
        return m_standin.Set(QStringLiteral("postfix.service"), state.section(u' ', 0, 0),
                             state.section(u' ', 1));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_standin.Start({QStringLiteral("postfix.service=inactive")}),
                 qPrintable(m_standin.Error()));
    }
    void init() { SmtpSvc::UseBus(m_standin.Address()); }
    void cleanup()
    {
        ctlBalloonTip::CloseBalloon();
        QVERIFY(m_standin.Refuse(false));
        VerifyAllAnswersTaken();
    }

    // Each state's text and actions; polling goes on only while a change
    // is pending or the state is unknown.
    void showsTheStateAndItsActions_data()
    {
        QTest::addColumn<QString>("state"); // "active freezer" as reported; empty: no service
        QTest::addColumn<int>("text");
        QTest::addColumn<QStringList>("enabled");
        QTest::addColumn<bool>("polling");
        QTest::newRow("stopped") << "inactive running" << 806 << QStringList{"cmdStart"} << false;
        QTest::newRow("failed") << "failed running" << 806 << QStringList{"cmdStart"} << false;
        QTest::newRow("starting") << "activating running" << 807 << QStringList{} << true;
        QTest::newRow("stopping") << "deactivating running" << 808 << QStringList{} << true;
        QTest::newRow("running") << "active running" << 809 << QStringList{"cmdStop", "cmdPause"}
                                 << false;
        QTest::newRow("reloading") << "reloading running" << 809
                                   << QStringList{"cmdStop", "cmdPause"} << false;
        QTest::newRow("continuing") << "active thawing" << 810 << QStringList{} << true;
        QTest::newRow("pausing") << "active freezing" << 811 << QStringList{} << true;
        QTest::newRow("paused") << "active frozen" << 812 << QStringList{"cmdContinue"} << false;
        QTest::newRow("unknown") << "maintenance running" << 813 << QStringList{} << true;
        QTest::newRow("no service") << "" << 814 << QStringList{} << false;
    }
    void showsTheStateAndItsActions()
    {
        QFETCH(QString, state);
        QFETCH(int, text);
        QFETCH(QStringList, enabled);
        QFETCH(bool, polling);
        if (state.isEmpty())
            SmtpSvc::UseBus(QStringLiteral("unix:path=/nonexistent/corvanta-bus"));
        else
            QVERIFY(Set(state));
        WhenModal([&](QWidget* window) {
            QCOMPARE(Find<QLabel>(window, "lblStatus")->text(), LoadResString(text));
            QCOMPARE(Enabled(window), enabled);
            QTest::qWait(500); // the first look after opening, and more if polling
            QCOMPARE(window->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive(), polling);
            QCOMPARE(Find<QLabel>(window, "lblStatus")->text(), LoadResString(text));
            Find<QPushButton>(window, "cmdFinish")->click();
        });
        frmSMTPServiceManager::Manage(nullptr);
    }

    // An action shows each pending state the service reports, then the end
    // without the user's doing, and polling stops. A refused one says why at
    // its button and leaves the state as it was.
    void actionsShowEachStateOnTheirWay_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QList<int>>("texts");
        QTest::newRow("start") << "inactive running" << "cmdStart" << false << QList<int>{807, 809};
        QTest::newRow("stop") << "active running" << "cmdStop" << false << QList<int>{808, 806};
        QTest::newRow("pause") << "active running" << "cmdPause" << false << QList<int>{811, 812};
        QTest::newRow("continue") << "active frozen" << "cmdContinue" << false
                                  << QList<int>{810, 809};
        QTest::newRow("start refused") << "inactive running" << "cmdStart" << true << QList<int>{806};
        QTest::newRow("pause refused") << "active running" << "cmdPause" << true << QList<int>{809};
    }
    void actionsShowEachStateOnTheirWay()
    {
        QFETCH(QString, state);
        QFETCH(QString, button);
        QFETCH(bool, refused);
        QFETCH(QList<int>, texts);
        QVERIFY(Set(state));
        QVERIFY(m_standin.Refuse(refused));
        QStringList seen;
        QString balloon;
        WhenModal([&](QWidget* window) {
            auto* status = Find<QLabel>(window, "lblStatus");
            auto* timer = window->findChild<QTimer*>(QStringLiteral("Timer1"));
            QTRY_VERIFY(!timer->isActive());
            const auto look = [&] {
                if (seen.isEmpty() || seen.last() != status->text())
                    seen << status->text();
            };
            connect(timer, &QTimer::timeout, window, look);
            Find<QPushButton>(window, qPrintable(button))->click();
            balloon = BalloonShown();
            look();
            QTRY_VERIFY(!timer->isActive());
            Find<QPushButton>(window, "cmdFinish")->click();
        });
        frmSMTPServiceManager::Manage(nullptr);
        QStringList expected;
        for (int id : texts)
            expected << LoadResString(id);
        QCOMPARE(seen, expected);
        if (refused)
            QVERIFY2(balloon.startsWith(LoadResString(4240) + QStringLiteral("|Access denied")) &&
                         balloon.endsWith(u'@' + button),
                     qPrintable(balloon));
        else
            QCOMPARE(balloon, QString());
    }

    void theToolsMenuOpensIt()
    {
        auto window = OpenMainWindow();
        QString opened;
        WhenModal([&](QWidget* manager) {
            opened = manager->objectName();
            manager->close();
        });
        window->findChild<QAction*>(QStringLiteral("mnuToolsSMTPServiceManager"))->trigger();
        QCOMPARE(opened, QStringLiteral("frmSMTPServiceManager"));
    }
};

CORVANTA_TEST_MAIN(TestSMTPServiceManager)
#include "tst_SMTPServiceManager.moc"
