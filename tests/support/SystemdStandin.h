#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace TestSupport {

// A private D-Bus bus (dbus-daemon) with a stand-in of systemd's manager on
// it (systemd_standin.py), for SmtpSvc and its windows. Units are given as
// "name=ActiveState[/FreezerState]". Both processes stop with the object,
// and die with the test.
class SystemdStandin
{
public:
    SystemdStandin() = default;
    ~SystemdStandin();
    SystemdStandin(const SystemdStandin&) = delete;
    SystemdStandin& operator=(const SystemdStandin&) = delete;

    // Starts the bus, and the manager on it unless withManager is false (a
    // bus without systemd). False with Error() when it cannot.
    bool Start(const QStringList& units, bool withManager = true);
    QString Address() const { return m_address; }
    QString Error() const { return m_error; }

    // Puts a unit into a state at once, forgetting any change in progress.
    bool Set(const QString& unit, const QString& activeState,
             const QString& freezerState = QStringLiteral("running"));
    // Every action refused with AccessDenied while on.
    bool Refuse(bool on);

private:
    bool Control(const QString& method, const QVariantList& arguments);

    QProcess m_bus;
    QProcess m_manager;
    QString m_address;
    QString m_error;
};

} // namespace TestSupport
