#pragma once

// Marks an operation as running for the life of the guard, so that a call
// reaching it again from the events it lets run returns at once:
//
//     BusyGuard busy(m_busy);
//     if (!busy.Entered())
//         return;
//
// A guard that did not enter leaves the flag to the one that did.
class BusyGuard
{
public:
    explicit BusyGuard(bool& busy) : m_busy(busy), m_entered(!busy) { m_busy = true; }
    ~BusyGuard()
    {
        if (m_entered)
            m_busy = false;
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

    bool Entered() const { return m_entered; }

private:
    bool& m_busy;
    const bool m_entered;
};
