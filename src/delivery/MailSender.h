#pragma once

#include "platform/mail/ServerCertificate.h"
#include "platform/oauth/OAuthProvider.h"

#include <QDateTime>
#include <QHash>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>
#include <optional>

class Mails;
class MailConfiguration;
class MailTransport;
class OAuthSession;
class SmtpTokenSource;
class SendClock;
class SendJournal;
struct MailDeliverySettings;

// The send run of a Mails collection: every mail, in order, handed to the
// mail system with the settings of one MailConfiguration made for the run.
//
// Send waits for its mails with the events running (a local event loop), so
// a window on top paints and can stop the run at any moment, while callers
// still make one call that returns when the run is over.
//
// Order of the run. Mails are handed out in collection order to up to
// SMTPMaxConnections connections at once (the pickup hands them over one by
// one). KeepSending is read before each mail is handed out, and only after
// every mail that ended before has raised its events. As each mail ends, in
// the order the mails end:
//   1. when it failed: SendErr (the description on one line), then the
//      yield hook;
//   2. MailsSend(n), n being the number of mails ended so far in this run,
//      so the last n is always the number handled;
//   3. when n is a multiple of 10: the yield hook.
// Over one connection mails end in collection order and n is the mail's
// position, as when mails went one at a time; and the tenth mail of each ten
// is answered before the next one goes out behind it, so a stop seen at its
// yield starts no new mail. Over several, a stop seen at a yield may find
// mails already under way, which end as a stop ends them (below).
//
// Stop. Clearing KeepSending (Mails::KeepSendingCleared) ends the run at
// once however silent the server is: no new mail is handed out; a mail not
// yet handed over whole ends as "not sent: sending was stopped"; one whose
// data the server already holds whole gets SmtpConnection::StopGraceMs for
// its answer and otherwise ends as "delivery unknown: ...". Each raises
// SendErr and MailsSend like any failed mail: no mail is left out without a
// word, and none is ever sent twice.
//
// A failure of one mail never ends the run, whether the server refused the
// mail (a mail refused for some of its recipients went to the others, and
// its row says which) or the message could not even be built (an
// attachment that exists but cannot be read). A failure that concerns every
// mail does (a refused login or certificate, an unreachable server; see
// SmtpTransport): every mail not yet handed over then fails at once with
// that one reason, each raising SendErr and MailsSend as above. Attachment
// paths that do not exist are left out without a word. Send never sets
// KeepSending itself; the caller sets it true right before the run.
//
// Temporary refusals ("temporary: 451 ..."): unless the settings say no,
// the mails refused for now are sent again after the others, in up to three
// more rounds after waits of RetryWaitsMs. Their first failure raised
// SendErr and MailsSend as any; a later round raises neither and reports
// its outcomes through Watcher::retried. Cancel ends a wait at once.
//
// Limits: with SMTPMaxPerMinute the mails go out no faster than that,
// evenly; with SMTPMaxPerDay the run hands over no more than that many and
// ends, the rest untouched (DayLimitReached, NextAllowance); the journal's
// runs of the last day count too. Both keep to the run's SendClock.
//
// A journal, when given, hears of every hand-over and every end.
class MailSender
{
public:
    static constexpr qint64 RetryWaitsMs[] = {60'000, 300'000, 900'000};

    struct Watcher
    {
        // While the run waits to retry `count` mails, about once a second.
        std::function<void(qint64 msecsLeft, int count)> waiting;
        // After each retry round: position -> the new failure (empty: sent).
        std::function<void(const QHash<int, QString>& outcomes)> retried;
    };

    explicit MailSender(Mails& mails);
    ~MailSender();

    // The sender box's text at the start of the run, for the run's
    // configuration.
    void SetSenderText(const QString& text) { m_senderText = text; }
    // The folder that holds the mail settings; empty: the version data folder.
    void SetConfigurationFolder(const QString& folder) { m_configurationFolder = folder; }
    // The sendmail-compatible program that pickup mode hands messages to;
    // by default /usr/sbin/sendmail -t -i.
    void SetPickupProgram(const QString& program, const QStringList& arguments);

    // Only these 1-based positions, in this order; none set: every mail.
    void SetPositions(std::vector<int> positions) { m_positions = std::move(positions); }
    void SetJournal(SendJournal* journal) { m_journal = journal; }
    void SetClock(const SendClock* clock) { m_clock = clock; }
    void SetWatcher(Watcher watcher) { m_watcher = std::move(watcher); }
    // False: no retry rounds whatever the settings say (a test mail's
    // verdict is wanted at once).
    void SetRetryTemporary(bool retry) { m_retryTemporary = retry; }

    void Send();

    // The position of the mail whose SendErr or MailsSend runs now.
    int CurrentPosition() const { return m_current; }
    bool DayLimitReached() const { return m_dayLimitReached; }
    // When the day's allowance starts again: a day after the run's first
    // hand-over.
    QDateTime NextAllowance() const { return m_nextAllowance; }
    // The server certificate that ended the last run as untrusted, if any.
    const std::optional<ServerCertificate>& RefusedCertificate() const { return m_refusedCertificate; }

    // "Corvanta 1.3.479 (home page)": product, version and home page.
    static QString MailerHeaderValue();

    // The description as the log keeps it: line breaks become blanks.
    static QString OneLine(QString description);

    // The transport the settings ask for. Throws AppError for a sending
    // method that is neither pickup nor network.
    static constexpr int MaxConnections = 32;
    // A sign-in with a provider needs the run's `tokens`.
    static std::unique_ptr<MailTransport> CreateTransport(const MailDeliverySettings& settings,
                                                          const QString& pickupProgram,
                                                          const QStringList& pickupArguments,
                                                          std::shared_ptr<SmtpTokenSource> tokens = {});

private:
    // The password from the keyring, or the tokens of a sign-in; the reason
    // every mail fails when the run cannot log in at all.
    QString PrepareLogin(MailConfiguration& configuration);
    // Keeps a refresh token the provider replaced, or forgets a withdrawn
    // sign-in so the next send asks for a new one.
    void KeepSignIn(const MailDeliverySettings& settings);
    // Every mail fails with the same description, as without a transport.
    void FailEveryMail(const QString& description, const std::vector<int>& positions);
    // Sends the mails at these positions; returns how each ended.
    QHash<int, QString> Round(const std::vector<int>& positions, const MailDeliverySettings& settings,
                              bool first);
    // Waits on the run's clock with events running; false when stopped.
    bool Wait(qint64 msecs, int count);

    Mails& m_mails;
    QString m_senderText;
    QString m_configurationFolder;
    QString m_pickupProgram;
    QStringList m_pickupArguments;
    std::vector<int> m_positions;
    SendJournal* m_journal = nullptr;
    const SendClock* m_clock = nullptr;
    std::unique_ptr<SendClock> m_ownClock;
    Watcher m_watcher;
    bool m_retryTemporary = true;
    QString m_mailer;
    int m_current = 0;
    int m_ended = 0;
    int m_handedOver = 0; // within the day's allowance, earlier runs included
    QDateTime m_firstHandOver;
    QDateTime m_runStart;
    int m_handedHere = 0; // in this run, for the pace
    QDateTime m_firstHere;
    bool m_dayLimitReached = false;
    QDateTime m_nextAllowance;
    std::optional<ServerCertificate> m_refusedCertificate;
    std::shared_ptr<OAuthSession> m_tokens; // a sign-in's, for the run
    OAuthGrant m_grantAtStart;
};
