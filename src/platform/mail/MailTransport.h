#pragma once

#include "platform/mail/OutgoingMessage.h"
#include "platform/mail/ServerCertificate.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// One mail handed to a transport, with the number its outcome comes back
// under.
struct MailJob
{
    quint64 id = 0;
    OutgoingMessage message;
    // The events of this mail must run before the next mail is taken on
    // its connection, so it is not followed by another in a pipelined group.
    bool answerBeforeNext = false;
};

// Hands messages to the mail system for a whole send run, driven by the
// event loop: nothing here blocks or waits for the network.
//
// Start takes mails from the source, in order, whenever the transport has
// room for one more, and only after every mail that ended before has been
// reported; the source returns nothing once the run is to take no more,
// and is not asked again. Each mail taken ends exactly once with MailEnded:
// an empty failure when it was handed over, otherwise the description for
// the send error log (the server's or mail program's own words). Finished
// follows once the source gave nothing and every mail taken has ended.
class MailTransport : public QObject
{
    Q_OBJECT

public:
    using Source = std::function<std::optional<MailJob>()>;

    explicit MailTransport(QObject* parent = nullptr);

    void Start(Source source);

    // Takes no more mails and ends those in flight at once: a mail not yet
    // handed over whole is "not sent"; one the mail system already holds
    // whole but has not confirmed may have gone and says so.
    virtual void Stop() = 0;

    // The server certificate that ended the last run as untrusted, if one did.
    virtual std::optional<ServerCertificate> RefusedCertificate() const { return std::nullopt; }

    // Runs in this process that did not end each mail taken exactly once
    // (sent + failed + delivery unknown = taken). Each such run also leaves
    // a critical message; the test programs fail on a non-zero count.
    static int BrokenRuns();

    // Runs right before the mail system can hold the whole of a mail (its
    // data not yet ended): the last moment to note that it may go out. It
    // must not let events run.
    using HandingHook = std::function<void(quint64 id)>;
    void SetHandingHook(HandingHook hook) { m_handing = std::move(hook); }

Q_SIGNALS:
    void MailEnded(quint64 id, const QString& failure);
    void Finished();

protected:
    virtual void Begin(Source source) = 0;
    void Handing(quint64 id)
    {
        if (m_handing)
            m_handing(id);
    }

private:
    // The mails taken and not yet ended, and how the others ended.
    struct Ledger
    {
        QSet<quint64> open;
        int taken = 0;
        int sent = 0;
        int failed = 0;
        int unknown = 0;
        bool broken = false;
    };
    void Ended(quint64 id, const QString& failure);
    void CheckRun();
    void Break(const QString& what);

    Ledger m_ledger;
    HandingHook m_handing;
};
