#include "platform/mail/MailTransport.h"

#include <QtGlobal>

#include <atomic>

namespace {

std::atomic<int> brokenRuns{0};

} // namespace

MailTransport::MailTransport(QObject* parent) : QObject(parent)
{
    // Connected first, so the ledger sees each end before the run's handlers.
    connect(this, &MailTransport::MailEnded, this, &MailTransport::Ended);
    connect(this, &MailTransport::Finished, this, &MailTransport::CheckRun);
}

void MailTransport::Start(Source source)
{
    m_ledger = Ledger();
    Begin([this, source = std::move(source)]() -> std::optional<MailJob> {
        std::optional<MailJob> job = source();
        if (job) {
            ++m_ledger.taken;
            if (m_ledger.open.contains(job->id))
                Break(QStringLiteral("mail %1 was taken twice").arg(job->id));
            m_ledger.open.insert(job->id);
        }
        return job;
    });
}

int MailTransport::BrokenRuns()
{
    return brokenRuns.load();
}

void MailTransport::Ended(quint64 id, const QString& failure)
{
    if (!m_ledger.open.remove(id)) {
        Break(QStringLiteral("mail %1 ended but was not in flight").arg(id));
        return;
    }
    if (failure.isEmpty())
        ++m_ledger.sent;
    else if (failure.startsWith(QLatin1String("delivery unknown")))
        ++m_ledger.unknown;
    else
        ++m_ledger.failed;
}

void MailTransport::CheckRun()
{
    const Ledger& l = m_ledger;
    if (!l.open.isEmpty() || l.sent + l.failed + l.unknown != l.taken)
        Break(QStringLiteral("%1 sent + %2 failed + %3 unknown of %4 taken, %5 never ended")
                  .arg(l.sent)
                  .arg(l.failed)
                  .arg(l.unknown)
                  .arg(l.taken)
                  .arg(l.open.size()));
}

void MailTransport::Break(const QString& what)
{
    qCritical("Send run lost count of its mails: %s", qPrintable(what));
    if (!m_ledger.broken)
        ++brokenRuns;
    m_ledger.broken = true;
}
