#include "platform/mail/SmtpTransport.h"

#include "platform/mail/SmtpConnection.h"
#include "base/AppError.h"

#include <QSslCertificate>
#include <QSslSocket>
#include <QUrl>

#include <algorithm>
#include <deque>
#include <vector>

namespace {

const QString ErrorSource = QStringLiteral("SmtpTransport");
constexpr int ImplicitTlsPort = 465;
constexpr int DefaultTimeoutSeconds = 1200;
// Connections that fail one after the other, once mail has gone out,
// before the server counts as gone for the rest of the run.
constexpr int FailuresThatEndTheRun = 3;

// The reason as the run's own words for every mail it did not send.
QString NotSent(QString reason)
{
    if (reason.size() > 1 && reason.at(0).isUpper() && reason.at(1).isLower())
        reason[0] = reason.at(0).toLower();
    return QStringLiteral("not sent: ") + reason;
}

// Read once: the system's 300 or so take half a second to load.
const QList<QSslCertificate>& SystemAuthorities()
{
    static const QList<QSslCertificate> authorities = QSslConfiguration::systemCaCertificates();
    return authorities;
}

} // namespace

// The run's connections and the mails between them. Everything that
// changes more than one connection happens in Pump, at the top of the event
// loop, never inside a connection's own handlers.
struct SmtpTransport::Private final : SmtpConnection::Owner
{
    SmtpTransport& q;
    SmtpSettings settings;
    MessageBuilder builder;
    SmtpEndpoint endpoint;
    QString settingsProblem; // every mail fails with it
    QString runFailure;      // the run is over: every mail not yet handed over fails with it
    std::optional<ServerCertificate> refusedCertificate; // what ended the run, if a certificate did
    bool anySent = false;    // the server took a mail in this run
    int failuresInRow = 0;   // connections failed since one was last ready

    Source source;
    bool sourceDone = true;
    bool stopped = false;
    bool finished = true;
    int limit = 1;
    std::vector<SmtpConnection*> connections;
    std::deque<SmtpMailPtr> again;                   // to send again, by id
    std::deque<std::pair<quint64, QString>> ended;   // not yet reported
    bool reporting = false;
    bool pumping = false;
    bool pumpAgain = false;
    bool scheduled = false;

    Private(SmtpTransport& q_, SmtpSettings settings_, qint64 memoryLimit)
        : q(q_), settings(std::move(settings_)), builder(LineEnding::Crlf, memoryLimit)
    {
        try {
            endpoint.host = SmtpTransport::HostName(settings);
        } catch (const AppError& error) {
            settingsProblem = error.Description();
        }
        endpoint.port = quint16(settings.port);
        endpoint.implicitTls = settings.implicitTls || settings.port == ImplicitTlsPort;
        endpoint.timeoutSeconds = settings.connectionTimeout > 0 ? settings.connectionTimeout : DefaultTimeoutSeconds;
        endpoint.authenticate = settings.authenticate;
        endpoint.userName = settings.userName;
        endpoint.password = settings.password;
        endpoint.tokens = settings.tokens;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        // Setting the authorities ends loading the system's on demand, so
        // they are given in full.
        if (!settings.caFile.isEmpty()) {
            const QList<QSslCertificate> authorities = QSslCertificate::fromPath(settings.caFile);
            // Left out without a word, it would surface as a refused certificate.
            if (authorities.isEmpty() && settingsProblem.isEmpty())
                settingsProblem = QStringLiteral("The file of trusted authorities \"%1\" cannot be read or "
                                                 "holds no PEM certificate")
                                      .arg(settings.caFile);
            tls.setCaCertificates(SystemAuthorities() + authorities);
        }
        endpoint.tls = tls;
        endpoint.trustedCertificates = settings.trustedCertificates;
    }

    void Schedule()
    {
        if (scheduled)
            return;
        scheduled = true;
        QMetaObject::invokeMethod(
            &q,
            [this] {
                scheduled = false;
                Pump();
            },
            Qt::QueuedConnection);
    }

    // A mail may be taken only once every mail that ended before is
    // reported: the run reads its stop flag after those events.
    bool MayTake() const { return !stopped && !reporting && ended.empty(); }

    SmtpMailPtr Next()
    {
        const QString& over = !settingsProblem.isEmpty() ? settingsProblem : runFailure;
        if (!again.empty()) {
            SmtpMailPtr mail = std::move(again.front());
            again.pop_front();
            if (over.isEmpty())
                return mail;
            mail->MissRest(over);
            MailDone(std::move(mail));
            return nullptr;
        }
        if (sourceDone)
            return nullptr;
        std::optional<MailJob> job = source();
        if (!job) {
            sourceDone = true;
            source = nullptr;
            Schedule();
            return nullptr;
        }
        if (!over.isEmpty()) {
            Fail(job->id, over);
            return nullptr;
        }
        try {
            return std::make_unique<SmtpMail>(job->id, builder.Build(job->message), job->answerBeforeNext);
        } catch (const AppError& error) {
            Fail(job->id, error.Description());
        } catch (const std::exception& error) {
            Fail(job->id, QString::fromLocal8Bit(error.what()));
        }
        return nullptr;
    }

    void Fail(quint64 id, QString failure)
    {
        if (failure.isEmpty())
            failure = QStringLiteral("The e-mail could not be sent");
        ended.emplace_back(id, failure);
        Schedule();
    }

    bool AnyReady() const
    {
        return std::any_of(connections.begin(), connections.end(),
                           [](const SmtpConnection* c) { return c->IsReady(); });
    }

    void Report()
    {
        if (reporting)
            return;
        reporting = true;
        while (!ended.empty()) {
            const auto [id, failure] = ended.front();
            ended.pop_front();
            Q_EMIT q.MailEnded(id, failure);
        }
        reporting = false;
    }

    void Pump()
    {
        if (pumping) {
            pumpAgain = true;
            return;
        }
        pumping = true;
        do {
            pumpAgain = false;
            Report();
            if (!MayTake())
                continue;
            if (!runFailure.isEmpty()) {
                // One at a time, each reported before the next is taken.
                Next();
                continue;
            }
            // Mails to the connections with room, in order. A copy: a
            // connection whose socket fails as it is written to leaves the list.
            const std::vector<SmtpConnection*> open = connections;
            for (SmtpConnection* connection : open) {
                if (std::find(connections.begin(), connections.end(), connection) == connections.end())
                    continue;
                while (MayTake() && connection->HasRoom()) {
                    SmtpMailPtr mail = Next();
                    if (!mail)
                        break;
                    connection->Give(std::move(mail));
                }
            }
            // More connections while mails are waiting: the first alone until
            // it is ready, then up to the limit.
            while (MayTake() && int(connections.size()) < limit && (connections.empty() || AnyReady())) {
                SmtpMailPtr mail = Next();
                if (!mail)
                    break;
                auto* connection = new SmtpConnection(endpoint, *this, &q);
                connections.push_back(connection);
                connection->Open(std::move(mail));
            }
        } while (pumpAgain || (!reporting && !ended.empty()));
        pumping = false;
        Finish();
    }

    void Finish()
    {
        if (finished || reporting || !ended.empty() || !again.empty() || !(sourceDone || stopped))
            return;
        if (!std::all_of(connections.begin(), connections.end(), [](const SmtpConnection* c) { return c->IsIdle(); }))
            return;
        for (SmtpConnection* connection : connections) {
            connection->Quit();
            connection->Dispose();
        }
        connections.clear();
        finished = true;
        Q_EMIT q.Finished();
    }

    void Remove(SmtpConnection& connection)
    {
        connections.erase(std::remove(connections.begin(), connections.end(), &connection), connections.end());
        connection.Dispose();
    }

    void Requeue(SmtpMailPtr mail)
    {
        const auto at = std::find_if(again.begin(), again.end(),
                                     [&mail](const SmtpMailPtr& m) { return m->id > mail->id; });
        again.insert(at, std::move(mail));
    }

    // SmtpConnection::Owner

    SmtpMailPtr TakeMail(SmtpConnection&) override
    {
        // Report what ended first, right here: the next envelope can then
        // go out with the data just written, in the same packet. The
        // connections bear being called back while the events run.
        if (!stopped && !reporting && !ended.empty()) {
            Report();
            Schedule(); // for the connections turned away while the events ran
        }
        if (!MayTake() || !runFailure.isEmpty()) {
            Schedule();
            return nullptr;
        }
        return Next();
    }

    void ConnectionReady(SmtpConnection&) override
    {
        failuresInRow = 0;
        Schedule();
    }

    void MailDone(SmtpMailPtr mail) override
    {
        anySent = anySent || !mail->delivered.isEmpty();
        const QString failure = mail->Failure();
        ended.emplace_back(mail->id, failure);
        Schedule();
    }

    void Handing(const SmtpMail& mail) override { q.Handing(mail.id); }

    void SendAgain(SmtpMailPtr mail) override
    {
        if (stopped) {
            mail->MissRest(QStringLiteral("not sent: sending was stopped"));
            MailDone(std::move(mail));
            return;
        }
        Requeue(std::move(mail));
        Schedule();
    }

    void ConnectionFailed(SmtpConnection& connection, SmtpMailPtr mail, const QString& reason,
                          bool everyMail) override
    {
        const auto others = std::count_if(connections.begin(), connections.end(), [&connection](SmtpConnection* c) {
            return c != &connection && !c->IsClosed();
        });
        if (stopped) {
            mail->MissRest(reason);
            MailDone(std::move(mail));
        } else if (!everyMail && runFailure.isEmpty() && AnyReady()) {
            // The server takes no more connections: fewer for the rest of
            // the run, and the mail goes with the others.
            limit = std::max(1, int(others));
            Requeue(std::move(mail));
        } else if (!everyMail && runFailure.isEmpty() && anySent && ++failuresInRow < FailuresThatEndTheRun) {
            Requeue(std::move(mail)); // on a new connection
        } else {
            // The server cannot be reached or will not have us: another
            // connection per mail would only repeat the refusal (and lock
            // the account with failed logins).
            if (runFailure.isEmpty()) {
                runFailure = NotSent(reason);
                refusedCertificate = connection.RefusedCertificate();
            }
            mail->MissRest(runFailure);
            MailDone(std::move(mail));
        }
        Schedule();
    }

    void ConnectionClosed(SmtpConnection& connection) override
    {
        Remove(connection);
        Schedule();
    }
};

SmtpTransport::SmtpTransport(SmtpSettings settings, qint64 memoryLimit, QObject* parent)
    : MailTransport(parent), d(std::make_unique<Private>(*this, std::move(settings), memoryLimit))
{
}

SmtpTransport::~SmtpTransport()
{
    // The connections go with this object; none may call back meanwhile.
    for (SmtpConnection* connection : d->connections)
        delete connection;
    d->connections.clear();
}

void SmtpTransport::Begin(Source source)
{
    d->source = std::move(source);
    d->sourceDone = false;
    d->stopped = false;
    d->finished = false;
    d->runFailure.clear();
    d->refusedCertificate.reset();
    d->anySent = false;
    d->failuresInRow = 0;
    d->limit = std::max(1, d->settings.connections);
    d->Schedule();
}

void SmtpTransport::Stop()
{
    if (d->stopped)
        return;
    d->stopped = true;
    d->source = nullptr;
    d->sourceDone = true;
    while (!d->again.empty()) {
        SmtpMailPtr mail = std::move(d->again.front());
        d->again.pop_front();
        mail->MissRest(QStringLiteral("not sent: sending was stopped"));
        d->MailDone(std::move(mail));
    }
    // A copy: a connection that closes at once leaves the list.
    const std::vector<SmtpConnection*> connections = d->connections;
    for (SmtpConnection* connection : connections)
        connection->Stop();
    d->Schedule();
}

std::optional<ServerCertificate> SmtpTransport::RefusedCertificate() const
{
    return d->refusedCertificate;
}

int SmtpTransport::ConnectionLimit() const
{
    return d->limit;
}

QString SmtpTransport::HostName(const SmtpSettings& settings)
{
    const QString host = settings.server.trimmed();
    if (host.isEmpty())
        throw AppError(MailError::InvalidArgument, ErrorSource, QStringLiteral("No SMTP server is set"));
    if (settings.port < 1 || settings.port > 65535)
        throw AppError(MailError::InvalidArgument, ErrorSource,
                       QStringLiteral("The SMTP server port %1 is not valid").arg(settings.port));
    // Strict, so that a name cannot smuggle in a user, a path or a query.
    QUrl url;
    url.setHost(host, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        throw AppError(MailError::InvalidArgument, ErrorSource,
                       QStringLiteral("The SMTP server name \"%1\" is not valid").arg(host));
    return url.host(QUrl::EncodeUnicode);
}
