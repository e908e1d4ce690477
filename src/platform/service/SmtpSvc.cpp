#include "platform/service/SmtpSvc.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

const QString Service = QStringLiteral("org.freedesktop.systemd1");
const QString ManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString ManagerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString UnitInterface = QStringLiteral("org.freedesktop.systemd1.Unit");
const QString NoSuchUnit = QStringLiteral("org.freedesktop.systemd1.NoSuchUnit");

// Reading a state is quick or the manager is stuck; an action may wait for
// the user to prove their rights to the system.
constexpr int ReadTimeoutMs = 5000;
constexpr int ActionTimeoutMs = 120000;

QString& BusAddress()
{
    static QString address;
    return address;
}

QDBusConnection Bus()
{
    const QString& address = BusAddress();
    if (address.isEmpty())
        return QDBusConnection::systemBus();
    // One named connection per address: a connection cannot change its bus.
    return QDBusConnection::connectToBus(address, QStringLiteral("corvanta-smtpsvc ") + address);
}

QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments)
{
    QDBusConnection bus = Bus();
    if (!bus.isConnected())
        return QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.NoServer"),
                                         bus.lastError().message());
    QDBusMessage call = QDBusMessage::createMethodCall(Service, path, interface, method);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, ReadTimeoutMs);
}

QString UnitProperty(const QString& path, const QString& name)
{
    const QDBusMessage reply = Call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {UnitInterface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QString();
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString();
}

QString PathOf(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QString();
    return qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
}

} // namespace

const QStringList& SmtpSvc::CandidateUnits()
{
    static const QStringList units{
        QStringLiteral("postfix.service"), QStringLiteral("exim4.service"),
        QStringLiteral("opensmtpd.service"), QStringLiteral("sendmail.service"),
        QStringLiteral("nullmailer.service")};
    return units;
}

void SmtpSvc::UseBus(const QString& address)
{
    BusAddress() = address;
}

SmtpSvc::SmtpSvc() = default;

QString SmtpSvc::FindUnit()
{
    m_unit.clear();
    for (const QString& name : CandidateUnits()) {
        // A unit nothing has loaded yet is unknown to GetUnit; LoadUnit
        // loads it, or gives a stand-in whose LoadState says "not-found".
        QDBusMessage reply = Call(ManagerPath, ManagerInterface, QStringLiteral("GetUnit"), {name});
        if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == NoSuchUnit)
            reply = Call(ManagerPath, ManagerInterface, QStringLiteral("LoadUnit"), {name});
        if (reply.type() != QDBusMessage::ReplyMessage) {
            if (reply.errorName() == NoSuchUnit)
                continue;
            return QString(); // no bus or no systemd: no other name will do better
        }
        const QString path = PathOf(reply);
        if (!path.isEmpty() && UnitProperty(path, QStringLiteral("LoadState")) == u"loaded") {
            m_unit = name;
            return path;
        }
    }
    return QString();
}

bool SmtpSvc::Exists()
{
    return !FindUnit().isEmpty();
}

qint32 SmtpSvc::StateOf(const QString& activeState, const QString& freezerState)
{
    // A frozen unit keeps its ActiveState; the freezer tells pausing apart.
    if (freezerState == u"frozen")
        return Paused;
    if (freezerState == u"freezing")
        return PausePending;
    if (freezerState == u"thawing")
        return ContinuePending;
    if (activeState == u"active" || activeState == u"reloading")
        return Running;
    if (activeState == u"inactive" || activeState == u"failed")
        return Stopped;
    if (activeState == u"activating")
        return StartPending;
    if (activeState == u"deactivating")
        return StopPending;
    return Unknown;
}

qint32 SmtpSvc::Status()
{
    const QString path = FindUnit();
    if (path.isEmpty())
        return Unknown;
    return StateOf(UnitProperty(path, QStringLiteral("ActiveState")),
                   UnitProperty(path, QStringLiteral("FreezerState")));
}

bool SmtpSvc::Start()
{
    return ControlServiceByName(ActionStart);
}

bool SmtpSvc::Stop()
{
    return ControlServiceByName(ActionStop);
}

bool SmtpSvc::Pause()
{
    return ControlServiceByName(ActionPause);
}

bool SmtpSvc::Continue()
{
    return ControlServiceByName(ActionContinue);
}

bool SmtpSvc::ControlServiceByName(Action action)
{
    m_refusal.clear();
    if (FindUnit().isEmpty()) {
        m_refusal = QStringLiteral("No mail service was found.");
        return false;
    }
    static const char* const methods[] = {"StartUnit", "StopUnit", "FreezeUnit", "ThawUnit"};
    QVariantList arguments{m_unit};
    if (action == ActionStart || action == ActionStop)
        arguments << QStringLiteral("replace");
    QDBusMessage call = QDBusMessage::createMethodCall(Service, ManagerPath, ManagerInterface,
                                                       QLatin1String(methods[action]));
    call.setArguments(arguments);
    // Lets the system ask the user for a password where rights are missing;
    // the program's windows keep painting meanwhile.
    call.setInteractiveAuthorizationAllowed(true);
    const QDBusMessage reply = Bus().call(call, QDBus::BlockWithGui, ActionTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    m_refusal = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return false;
}
