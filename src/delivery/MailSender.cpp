#include "delivery/MailSender.h"

#include "delivery/MailConfiguration.h"
#include "delivery/MailSecrets.h"
#include "delivery/SendClock.h"
#include "delivery/SendJournal.h"
#include "merge/Mails.h"
#include "platform/mail/OutgoingMessage.h"
#include "platform/mail/PickupTransport.h"
#include "platform/mail/SmtpTransport.h"
#include "platform/oauth/OAuthSession.h"
#include "base/AppError.h"
#include "base/AppInfo.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>

#include <QTimer>

#include <algorithm>
#include <exception>
#include <numeric>
#include <optional>

namespace {

const QString Source = QStringLiteral("MailSender");

OutgoingMessage MessageOf(const Mail& mail, const QString& mailer)
{
    OutgoingMessage message;
    message.mailer = mailer;
    message.to = mail.To();
    if (const FromAddressRef& from = mail.From()) {
        message.from = from->GetFullEMailAddress();
        message.replyTo = from->ReplyEMailAddress();
    }
    message.subject = mail.Subject();
    message.body = mail.TextBody();
    message.attachments = ExistingAttachments(mail.Attachments());
    return message;
}

} // namespace

MailSender::MailSender(Mails& mails)
    : m_mails(mails), m_pickupProgram(PickupTransport::DefaultProgram()),
      m_pickupArguments(PickupTransport::DefaultArguments())
{
}

void MailSender::SetPickupProgram(const QString& program, const QStringList& arguments)
{
    m_pickupProgram = program;
    m_pickupArguments = arguments;
}

QString MailSender::MailerHeaderValue()
{
    return QStringLiteral("%1 %2.%3.%4 (%5)")
        .arg(AppInfo::ProductName())
        .arg(AppInfo::Major)
        .arg(AppInfo::Minor)
        .arg(AppInfo::Revision)
        .arg(AppInfo::HomePage());
}

QString MailSender::OneLine(QString description)
{
    // A lone CR or LF would break the log's one-line rows just the same.
    description.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    description.replace(u'\r', u' ').replace(u'\n', u' ');
    return description;
}

std::unique_ptr<MailTransport> MailSender::CreateTransport(const MailDeliverySettings& settings,
                                                           const QString& pickupProgram,
                                                           const QStringList& pickupArguments,
                                                           std::shared_ptr<SmtpTokenSource> tokens)
{
    if (settings.sendUsing == MailDeliverySettings::Pickup)
        return std::make_unique<PickupTransport>(pickupProgram, pickupArguments,
                                                 settings.smtpConnectionTimeout);
    if (settings.sendUsing != MailDeliverySettings::Port)
        throw AppError(MailError::InvalidArgument, Source,
                       QStringLiteral("The sending method %1 is not known").arg(settings.sendUsing));
    SmtpSettings smtp;
    smtp.server = settings.smtpServer;
    // The setting is a 16-bit signed number; read as unsigned it reaches
    // every port, where ports above 32767 would otherwise be negative.
    smtp.port = static_cast<quint16>(settings.smtpServerPort);
    smtp.connectionTimeout = settings.smtpConnectionTimeout;
    smtp.authenticate = settings.smtpAuthenticate == 1 || settings.smtpAuthenticate == 2;
    smtp.userName = settings.sendUserName;
    smtp.password = settings.sendPassword;
    if (settings.smtpAuthenticate == 2) {
        // Without its tokens a sign-in cannot log in at all.
        if (!tokens)
            throw AppError(MailError::InvalidArgument, Source, QStringLiteral("not signed in with the provider"));
        smtp.tokens = std::move(tokens);
    }
    smtp.connections = std::clamp<int>(settings.smtpMaxConnections, 1, MaxConnections);
    smtp.implicitTls =
        settings.smtpEncryption == MailConfiguration::TlsFromStart || smtp.port == 465;
    smtp.caFile = settings.smtpCAFile;
    smtp.trustedCertificates = settings.smtpTrustedCertificates.split(u'\n', Qt::SkipEmptyParts);
    return std::make_unique<SmtpTransport>(std::move(smtp));
}

void MailSender::Send()
{
    m_refusedCertificate.reset();
    // Nothing to send: no settings read, no connection, no event.
    if (m_mails.Count() == 0)
        return;
    if (!QCoreApplication::instance())
        throw AppError(MailError::SendFailed, Source, QStringLiteral("Mails are sent within a running program"));
    if (!m_clock) {
        m_ownClock = std::make_unique<SendClock>();
        m_clock = m_ownClock.get();
    }

    std::vector<int> positions = m_positions;
    if (positions.empty()) {
        positions.resize(static_cast<std::size_t>(m_mails.Count()));
        std::iota(positions.begin(), positions.end(), 1);
    }
    m_ended = 0;
    m_handedOver = 0;
    m_dayLimitReached = false;
    m_firstHandOver = QDateTime();
    m_nextAllowance = QDateTime();
    if (m_journal) {
        // The day's allowance counts the mailing's runs of the last day.
        m_handedOver = m_journal->HandedSince(m_clock->Now().addDays(-1), &m_firstHandOver);
        m_journal->StartRun(m_runStart = m_clock->Now());
    }
    m_handedHere = 0;

    // One configuration per run; each round has its own transport, which
    // keeps its connections from mail to mail.
    MailConfiguration configuration(m_senderText, m_configurationFolder);
    const MailDeliverySettings& settings = configuration.CdoConfiguration();
    m_mailer = MailerHeaderValue();
    if (const QString problem = PrepareLogin(configuration); !problem.isEmpty()) {
        FailEveryMail(problem, positions);
        if (m_journal)
            m_journal->Close();
        return;
    }
    QHash<int, QString> outcomes = Round(positions, settings, true);
    for (const qint64 wait : RetryWaitsMs) {
        std::vector<int> again;
        for (const int position : positions)
            if (SendJournal::StateOfFailure(outcomes.value(position)) == SendJournal::State::Temporary &&
                outcomes.contains(position))
                again.push_back(position);
        if (!settings.smtpRetryTemporary || !m_retryTemporary || again.empty() || !m_mails.KeepSending() || m_dayLimitReached)
            break;
        if (!Wait(wait, static_cast<int>(again.size())))
            break;
        positions = again;
        outcomes = Round(positions, settings, false);
        if (m_watcher.retried)
            m_watcher.retried(outcomes);
    }
    KeepSignIn(settings);
    if (m_journal)
        m_journal->Close();
}

QString MailSender::PrepareLogin(MailConfiguration& configuration)
{
    m_tokens.reset();
    const MailDeliverySettings& settings = configuration.CdoConfiguration();
    if (settings.sendUsing != MailDeliverySettings::Port)
        return {};
    if (settings.smtpAuthenticate == 1) {
        // A password the keyring would not give is better told than tried blank.
        const SecretStore::Result read = configuration.FetchPassword();
        if (read.outcome == SecretStore::Outcome::Failed)
            return QStringLiteral("not sent: the password could not be read from the keyring (%1)").arg(read.problem);
        return {};
    }
    if (settings.smtpAuthenticate != 2)
        return {};
    OAuthGrant grant;
    const SecretStore::Result read = MailSecrets::ReadGrant(settings.smtpServer, settings.sendUserName, grant);
    if (read.outcome != SecretStore::Outcome::Done)
        return QStringLiteral("not sent: %1 is not signed in with the provider; sign in in E-mail setup%2")
            .arg(settings.sendUserName,
                 read.outcome == SecretStore::Outcome::Failed ? QStringLiteral(" (%1)").arg(read.problem) : QString());
    m_tokens = std::make_shared<OAuthSession>(settings.smtpOAuth, grant);
    m_grantAtStart = grant;
    return {};
}

void MailSender::KeepSignIn(const MailDeliverySettings& settings)
{
    if (!m_tokens)
        return;
    // Written after the run, not in the middle of one: the keyring lets
    // events run while it answers.
    if (m_tokens->Revoked())
        MailSecrets::ForgetGrant(settings.smtpServer, settings.sendUserName);
    else if (m_tokens->Grant() != m_grantAtStart)
        MailSecrets::StoreGrant(settings.smtpServer, settings.sendUserName, m_tokens->Grant());
    m_tokens.reset();
}

bool MailSender::Wait(qint64 msecs, int count)
{
    const QDateTime until = m_clock->Now().addMSecs(msecs);
    QEventLoop loop;
    QTimer tick;
    const auto show = [&] {
        const qint64 left = std::max<qint64>(0, m_clock->Now().msecsTo(until));
        if (m_watcher.waiting)
            m_watcher.waiting(left, count);
        if (left == 0 || !m_mails.KeepSending())
            loop.quit();
        else
            tick.start(static_cast<int>(std::clamp<qint64>(m_clock->RealMSecs(std::min<qint64>(left, 1000)), 1, 1000)));
    };
    tick.setSingleShot(true);
    QObject::connect(&tick, &QTimer::timeout, &loop, show);
    QObject::connect(&m_mails, &Mails::KeepSendingCleared, &loop, &QEventLoop::quit);
    show();
    if (m_mails.KeepSending() && m_clock->Now() < until)
        loop.exec();
    if (m_watcher.waiting)
        m_watcher.waiting(0, 0);
    return m_mails.KeepSending();
}

QHash<int, QString> MailSender::Round(const std::vector<int>& positions, const MailDeliverySettings& settings,
                                      bool first)
{
    QHash<int, QString> outcomes;
    std::unique_ptr<MailTransport> transport;
    const qint64 spacing = settings.smtpMaxPerMinute > 0 ? 60'000 / settings.smtpMaxPerMinute : 0;
    try {
        // A paced run goes over one connection, each mail answered before
        // the next is taken: nothing else can ask for a mail while one waits
        // for its turn.
        MailDeliverySettings paced = settings;
        if (spacing > 0)
            paced.smtpMaxConnections = 1;
        transport = CreateTransport(paced, m_pickupProgram, m_pickupArguments, m_tokens);
    } catch (const AppError& error) {
        if (first)
            FailEveryMail(error.Description(), positions);
        return outcomes;
    }

    // Over one connection the events come as when mails went one by one,
    // the stop seen at a yield included; that costs a round trip in ten.
    const bool oneByOne = settings.smtpMaxConnections <= 1;
    std::size_t next = 0; // index of the next position to hand out
    quint64 lastId = 0;
    struct InFlight
    {
        int position;
        Mail mail; // a copy, so a handler that edits or removes a mail cannot pull it away
    };
    QHash<quint64, InFlight> inFlight;

    // By position, not by iterator: the event handlers run in between and
    // may change the collection.
    const auto nextMail = [&]() -> std::optional<MailJob> {
        if (!m_mails.KeepSending() || next >= positions.size())
            return std::nullopt;
        if (settings.smtpMaxPerDay > 0 && m_handedOver >= settings.smtpMaxPerDay) {
            m_dayLimitReached = true;
            m_nextAllowance = m_firstHandOver.addDays(1);
            return std::nullopt;
        }
        const int position = positions[next++];
        if (position < 1 || position > m_mails.Count())
            return std::nullopt;
        // The day counts from the run's start, as the journal keeps it.
        if (m_handedOver++ == 0)
            m_firstHandOver = m_journal ? m_runStart : m_clock->Now();
        if (m_handedHere++ == 0)
            m_firstHere = m_clock->Now();
        MailJob job;
        job.id = ++lastId;
        const Mail& mail = inFlight.insert(job.id, {position, m_mails.Item(position)}).value().mail;
        job.message = MessageOf(mail, m_mailer);
        job.answerBeforeNext = (oneByOne && (m_ended + static_cast<int>(inFlight.size())) % 10 == 0) ||
                               spacing > 0;
        return job;
    };
    if (m_journal)
        transport->SetHandingHook([&](quint64 id) {
            const auto it = inFlight.constFind(id);
            if (it != inFlight.cend())
                m_journal->Handing(it->position);
        });
    // Evenly spaced from the run's first mail. A paced run answers each mail
    // before it takes the next, and takes none while a mail's events run:
    // waiting at the end of those events holds the next mail back.
    const auto pace = [&] {
        const qint64 owed = m_handedHere * spacing - m_firstHere.msecsTo(m_clock->Now());
        if (spacing <= 0 || owed <= 0 || !m_mails.KeepSending() || next >= positions.size())
            return;
        QEventLoop loop;
        QTimer::singleShot(m_clock->RealMSecs(owed), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        QObject::connect(&m_mails, &Mails::KeepSendingCleared, &loop, &QEventLoop::quit);
        loop.exec();
    };
    // A handler that throws ends the run, as it did when the run was a
    // plain loop; the exception must not cross the event loop.
    std::exception_ptr handlerFailure;
    QObject::connect(transport.get(), &MailTransport::MailEnded, transport.get(),
                     [&](quint64 id, const QString& failure) {
                         const InFlight ended = inFlight.take(id);
                         outcomes.insert(ended.position, failure);
                         if (m_journal)
                             m_journal->Ended(ended.position, failure);
                         if (handlerFailure)
                             return;
                         m_current = ended.position;
                         try {
                             if (!first) {
                                 if (++m_ended % 10 == 0)
                                     m_mails.Yield();
                                 pace();
                                 return;
                             }
                             ++m_ended;
                             const Mail& mail = ended.mail;
                             if (!failure.isEmpty()) {
                                 Q_EMIT m_mails.SendErr(OneLine(failure), mail.To(), mail.From(), mail.Subject(),
                                                        mail.Attachments(), mail.TextBody());
                                 m_mails.Yield();
                             }
                             Q_EMIT m_mails.MailsSend(m_ended);
                             if (m_ended % 10 == 0)
                                 m_mails.Yield();
                             pace();
                         } catch (...) {
                             handlerFailure = std::current_exception();
                             transport->Stop();
                         }
                     });
    // Queued: the stop may come from inside the run's own events.
    QObject::connect(&m_mails, &Mails::KeepSendingCleared, transport.get(), &MailTransport::Stop,
                     Qt::QueuedConnection);

    QEventLoop loop;
    bool finished = false;
    QObject::connect(transport.get(), &MailTransport::Finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    transport->Start(nextMail);
    if (!finished)
        loop.exec();
    if (transport->RefusedCertificate()) // a retry round must not clear the first round's
        m_refusedCertificate = transport->RefusedCertificate();
    if (handlerFailure)
        std::rethrow_exception(handlerFailure);
    return outcomes;
}

void MailSender::FailEveryMail(const QString& description, const std::vector<int>& positions)
{
    int index = 0;
    for (const int position : positions) {
        if (!m_mails.KeepSending() || position < 1 || position > m_mails.Count())
            break;
        ++index;
        m_current = position;
        const Mail mail = m_mails.Item(position);
        const QString text =
            OneLine(description.isEmpty() ? QStringLiteral("The e-mail could not be sent") : description);
        if (m_journal)
            m_journal->Ended(position, text);
        Q_EMIT m_mails.SendErr(text, mail.To(), mail.From(), mail.Subject(), mail.Attachments(), mail.TextBody());
        m_mails.Yield();
        Q_EMIT m_mails.MailsSend(index);
        if (index % 10 == 0)
            m_mails.Yield();
    }
}

MailSender::~MailSender() = default;
