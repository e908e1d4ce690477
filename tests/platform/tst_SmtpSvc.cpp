#include "SystemdStandin.h"
#include "TestMain.h"
#include "platform/service/SmtpSvc.h"

#include <QDBusConnection>
#include <QProcess>

using TestSupport::SystemdStandin;

// Which local mail service is found, through a stand-in of systemd's
// manager on a private bus. Its states and actions are read through the
// service manager window's test.
class TestSmtpSvc : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsTheMailUnit_data()
    {
        QTest::addColumn<int>("bus"); // 0 none, 1 a bus without systemd, 2 systemd on it
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<QString>("found");
        QTest::newRow("postfix") << 2 << QStringList{"postfix.service=active"} << "postfix.service";
        QTest::newRow("postfix before exim4")
            << 2 << QStringList{"exim4.service=active", "postfix.service=inactive"}
            << "postfix.service";
        QTest::newRow("opensmtpd")
            << 2 << QStringList{"opensmtpd.service=failed"} << "opensmtpd.service";
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
