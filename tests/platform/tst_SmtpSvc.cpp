#include "SystemdStandin.h"
#include "TestMain.h"
#include "platform/service/SmtpSvc.h"

#include <QDBusConnection>
#include <QProcess>

using TestSupport::SystemdStandin;

// The local mail service through a stand-in of systemd's manager on a
// private bus: which unit is found, how its states read, and what the four
// actions do, refused or not.
class TestSmtpSvc : public QObject
{
    Q_OBJECT

    SystemdStandin m_standin;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_standin.Start({QStringLiteral("postfix.service=inactive")}),
                 qPrintable(m_standin.Error()));
    }
    void init() { SmtpSvc::UseBus(m_standin.Address()); }
    void cleanup() { QVERIFY(m_standin.Refuse(false)); }

    void findsTheMailUnit_data()
    {
        QTest::addColumn<int>("bus"); // 0 none, 1 a bus without systemd, 2 systemd on it
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<QString>("found");
        QTest::newRow("postfix") << 2 << QStringList{"postfix.service=active"} << "postfix.service";
        QTest::newRow("postfix before exim4")
            << 2 << QStringList{"exim4.service=active", "postfix.service=inactive"}
            << "postfix.service";
        QTest::newRow("opensmtpd") << 2 << QStringList{"opensmtpd.service=failed"}
                                   << "opensmtpd.service";
        QTest::newRow("no mail unit") << 2 << QStringList{"ssh.service=active"} << "";
        QTest::newRow("no systemd") << 1 << QStringList{} << "";
        QTest::newRow("no bus") << 0 << QStringList{} << "";
    }
    void findsTheMailUnit()
    {
        QFETCH(int, bus);
        QFETCH(QStringList, units);
        QFETCH(QString, found);
        SystemdStandin standin;
        if (bus > 0)
            QVERIFY2(standin.Start(units, bus == 2), qPrintable(standin.Error()));
        SmtpSvc::UseBus(bus > 0 ? standin.Address()
                                : QStringLiteral("unix:path=/nonexistent/corvanta-bus"));
        SmtpSvc service;
        QCOMPARE(service.Exists(), !found.isEmpty());
        QCOMPARE(service.UnitName(), found);
        if (found.isEmpty()) {
            // Unavailable, never an error: no state, and actions refused quietly.
            QCOMPARE(service.Status(), qint32(SmtpSvc::Unknown));
            QVERIFY(!service.Start());
            QVERIFY(!service.LastRefusal().isEmpty());
        }
    }

    void statesRead_data()
    {
        QTest::addColumn<QString>("active");
        QTest::addColumn<QString>("freezer");
        QTest::addColumn<int>("state");
        QTest::newRow("inactive") << "inactive" << "running" << 1;
        QTest::newRow("failed") << "failed" << "running" << 1;
        QTest::newRow("activating") << "activating" << "running" << 2;
        QTest::newRow("deactivating") << "deactivating" << "running" << 3;
        QTest::newRow("active") << "active" << "running" << 4;
        QTest::newRow("reloading") << "reloading" << "running" << 4;
        QTest::newRow("thawing") << "active" << "thawing" << 5;
        QTest::newRow("freezing") << "active" << "freezing" << 6;
        QTest::newRow("frozen") << "active" << "frozen" << 7;
        QTest::newRow("maintenance") << "maintenance" << "running" << 0;
    }
    void statesRead()
    {
        QFETCH(QString, active);
        QFETCH(QString, freezer);
        QVERIFY(m_standin.Set(QStringLiteral("postfix.service"), active, freezer));
        QTEST(SmtpSvc().Status(), "state");
    }

    // Each action shows the pending states systemd reports, then the end.
    void actionsGoThroughTheirPendingStates_data()
    {
        QTest::addColumn<QString>("active");
        QTest::addColumn<QString>("freezer");
        QTest::addColumn<int>("action");
        QTest::addColumn<QList<int>>("states");
        QTest::newRow("start") << "inactive" << "running" << 0 << QList<int>{2, 2, 4};
        QTest::newRow("stop") << "active" << "running" << 1 << QList<int>{3, 3, 1};
        QTest::newRow("pause") << "active" << "running" << 2 << QList<int>{6, 6, 7};
        QTest::newRow("continue") << "active" << "frozen" << 3 << QList<int>{5, 5, 4};
    }
    void actionsGoThroughTheirPendingStates()
    {
        QFETCH(QString, active);
        QFETCH(QString, freezer);
        QFETCH(int, action);
        QFETCH(QList<int>, states);
        QVERIFY(m_standin.Set(QStringLiteral("postfix.service"), active, freezer));
        SmtpSvc service;
        bool (SmtpSvc::*const actions[])() = {&SmtpSvc::Start, &SmtpSvc::Stop, &SmtpSvc::Pause,
                                              &SmtpSvc::Continue};
        QVERIFY2((service.*actions[action])(), qPrintable(service.LastRefusal()));
        QList<int> seen;
        for (int i = 0; i < states.size(); ++i)
            seen << service.Status();
        QCOMPARE(seen, states);

        // Refused by the system: false, the reason kept, the state unchanged.
        QVERIFY(m_standin.Refuse(true));
        QVERIFY(!(service.*actions[action])());
        QVERIFY2(service.LastRefusal().contains(QStringLiteral("Access denied")),
                 qPrintable(service.LastRefusal()));
        QCOMPARE(service.Status(), states.last());
    }

    // Read only, and only where this machine runs systemd with a mail unit.
    void realSystemd()
    {
        SmtpSvc::UseBus(QString());
        SmtpSvc service;
        if (!QDBusConnection::systemBus().isConnected() || !service.Exists())
            QSKIP("no systemd with a mail unit here");
        QProcess show;
        show.start(QStringLiteral("systemctl"),
                   {QStringLiteral("show"), QStringLiteral("--property=ActiveState,FreezerState"),
                    QStringLiteral("--value"), service.UnitName()});
        QVERIFY(show.waitForFinished(10000));
        const QStringList values = QString::fromUtf8(show.readAllStandardOutput()).split(u'\n');
        QVERIFY(values.size() >= 2);
        QCOMPARE(service.Status(), SmtpSvc::StateOf(values[0], values[1]));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSmtpSvc)
#include "tst_SmtpSvc.moc"
