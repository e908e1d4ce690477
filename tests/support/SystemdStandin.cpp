#include "SystemdStandin.h"

#include "SmtpTestServer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <csignal>
#include <sys/prctl.h>

namespace TestSupport {

namespace {

bool ReadLine(QProcess& process, QByteArray& line)
{
    while (!process.canReadLine())
        if (!process.waitForReadyRead(10000))
            return false;
    line = process.readLine().trimmed();
    return true;
}

} // namespace

SystemdStandin::~SystemdStandin()
{
    for (QProcess* process : {&m_manager, &m_bus}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

bool SystemdStandin::Start(const QStringList& units, bool withManager)
{
    for (QProcess* process : {&m_bus, &m_manager})
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_bus.setProcessChannelMode(QProcess::SeparateChannels);
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    QByteArray line;
    if (!ReadLine(m_bus, line) || line.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon gave no address: ") + m_bus.errorString();
        return false;
    }
    m_address = QString::fromUtf8(line);
    if (!withManager)
        return true;
    m_manager.start(SystemPython(), QStringList{QStringLiteral(CORVANTA_SOURCE_DIR
                                                               "/tests/support/systemd_standin.py"),
                                                m_address} +
                                        units);
    if (!ReadLine(m_manager, line) || line != "ready") {
        m_error = QStringLiteral("the stand-in did not start: ") +
                  QString::fromUtf8(m_manager.readAllStandardError());
        return false;
    }
    return true;
}

bool SystemdStandin::Control(const QString& method, const QVariantList& arguments)
{
    QDBusConnection bus =
        QDBusConnection::connectToBus(m_address, QStringLiteral("standin ") + m_address);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
        QStringLiteral("org.corvanta.Standin"), method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        m_error = reply.errorMessage();
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool SystemdStandin::Set(const QString& unit, const QString& activeState,
                         const QString& freezerState)
{
    return Control(QStringLiteral("Set"), {unit, activeState, freezerState});
}

bool SystemdStandin::Refuse(bool on)
{
    return Control(QStringLiteral("Refuse"), {on});
}

} // namespace TestSupport
