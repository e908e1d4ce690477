#pragma once

#include <QString>
#include <QStringList>

// The local mail transfer agent as a systemd unit, controlled over D-Bus
// (org.freedesktop.systemd1 on the system bus). Nothing here raises an error:
// without a bus, without systemd or without a mail unit the service simply
// does not exist.
//
// The unit is the first of CandidateUnits() that systemd knows; each call
// looks again, so a mail system installed while the program runs is found.
class SmtpSvc
{
public:
    // The service states the windows show, with their values.
    enum State : qint32
    {
        Unknown = 0,
        Stopped = 1,
        StartPending = 2,
        StopPending = 3,
        Running = 4,
        ContinuePending = 5,
        PausePending = 6,
        Paused = 7,
    };
    enum Action : qint32
    {
        ActionStart = 0,
        ActionStop = 1,
        ActionPause = 2,
        ActionContinue = 3
    };

    // The units of the mail systems that provide sendmail, in the order
    // they are looked for.
    static const QStringList& CandidateUnits();

    // The bus every later instance talks to: empty for the system bus, else
    // a D-Bus address (tests give a private bus).
    static void UseBus(const QString& address);

    SmtpSvc();

    bool Exists();
    // The unit's state, Unknown when it cannot be read.
    qint32 Status();
    // Each returns whether systemd accepted the request; when it did not,
    // LastRefusal() says why, in the service manager's words.
    bool Start();
    bool Stop();
    bool Pause();
    bool Continue();

    // The unit found by the last call, empty when none.
    const QString& UnitName() const { return m_unit; }
    const QString& LastRefusal() const { return m_refusal; }

    // ActiveState and FreezerState of a unit as one of the states above.
    static qint32 StateOf(const QString& activeState, const QString& freezerState);

private:
    bool ControlServiceByName(Action action);
    // The object path of the mail unit, empty when there is none.
    QString FindUnit();

    QString m_unit;
    QString m_refusal;
};
