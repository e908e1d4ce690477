#pragma once

#include <QDateTime>
#include <QElapsedTimer>

// The time a send run keeps to for its waits and its pacing. A clock that
// runs faster than the wall lets a test live through minutes in
// milliseconds; the run never reads the time any other way.
class SendClock
{
public:
    // `speed` clock milliseconds pass per real one; the clock starts at `start`.
    explicit SendClock(double speed = 1.0, QDateTime start = QDateTime::currentDateTime())
        : m_speed(speed > 0 ? speed : 1.0), m_start(std::move(start))
    {
        m_elapsed.start();
    }

    QDateTime Now() const { return m_start.addMSecs(static_cast<qint64>(m_elapsed.nsecsElapsed() / 1e6 * m_speed)); }
    // The real milliseconds that `msecs` of this clock take.
    qint64 RealMSecs(qint64 msecs) const { return static_cast<qint64>(msecs / m_speed); }
    // Moves the clock on at once (a test's night between two days).
    void Skip(qint64 msecs) { m_start = m_start.addMSecs(msecs); }

private:
    double m_speed;
    QDateTime m_start;
    QElapsedTimer m_elapsed;
};
