#include "platform/mail/SmtpConnection.h"

#include <QHostAddress>
#include <QPointer>
#include <QSet>
#include <QSslSocket>

#include <algorithm>

namespace {

constexpr qint64 ChunkSize = 64 * 1024;
constexpr qint64 HighWater = 256 * 1024; // unsent bytes kept in the socket

const QString StoppedText = QStringLiteral("not sent: sending was stopped");

QHostAddress Plain(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

// RFC 5321 wants a name or an address literal after EHLO; the address the
// connection leaves from is always at hand.
QByteArray AddressLiteral(const QHostAddress& local)
{
    const QHostAddress address = Plain(local);
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return "[IPv6:" + address.toString().toLatin1() + ']';
    if (address.isNull())
        return "[127.0.0.1]";
    return '[' + address.toString().toLatin1() + ']';
}

bool HasControl(const QString& address)
{
    return std::any_of(address.cbegin(), address.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

// 452 to RCPT means "too many recipients for one mail" unless its enhanced
// code says something else (4.2.2 is a full mailbox).
bool TooManyRecipients(const SmtpReply& reply)
{
    if (reply.code != 452)
        return false;
    const QString status = reply.EnhancedStatus();
    return status.isEmpty() || status == QLatin1String("4.5.3");
}

// A refusal of one mail as the error log keeps it: a 4xx says "try again
// later", which the run may do.
QString Refusal(const SmtpReply& reply)
{
    if (reply.code >= 400 && reply.code < 500)
        return QStringLiteral("temporary: ") + reply.Text();
    return reply.Text();
}

QString LoginRefused(const SmtpReply& reply)
{
    return QStringLiteral("the server refused the login: %1").arg(reply.Text());
}

// The user name as OAUTHBEARER's header carries it (RFC 5801 "saslname").
QByteArray SaslName(const QString& user)
{
    QByteArray name = user.toUtf8();
    name.replace('=', "=3D");
    name.replace(',', "=2C");
    return name;
}

} // namespace

// ------------------------------------------------------------------ SmtpMail

SmtpMail::SmtpMail(quint64 id_, PreparedMessage message_, bool answerBeforeNext_)
    : id(id_), message(std::move(message_)), answerBeforeNext(answerBeforeNext_),
      recipients(message.Recipients())
{
}

void SmtpMail::MissRest(const QString& reason, bool refused)
{
    for (const QString& address : std::as_const(recipients))
        missed.append({address, reason, refused});
    recipients.clear();
}

QString SmtpMail::Failure() const
{
    if (missed.isEmpty())
        return QString();
    QStringList reasons;
    for (const Miss& miss : missed)
        if (!reasons.contains(miss.reason))
            reasons.append(miss.reason);
    if (delivered.isEmpty() && reasons.size() == 1)
        return reasons.first();

    // Each recipient that missed it with why, so nobody sends it again to
    // those who have it.
    QStringList parts;
    for (const Miss& miss : missed) {
        const QString form = !miss.refused       ? QStringLiteral("%1: %2")
                             : parts.isEmpty() ? QStringLiteral("Refused for %1: %2")
                                               : QStringLiteral("refused for %1: %2");
        parts.append(form.arg(miss.address, miss.reason));
    }
    QString text = parts.join(QStringLiteral("; "));
    if (!delivered.isEmpty())
        text += QStringLiteral(". Sent to the other recipients: %1").arg(delivered.join(QStringLiteral(", ")));
    return text;
}

// ------------------------------------------------------------- SmtpConnection

// One try at handing a mail over: MAIL, its RCPTs, DATA and the data.
struct SmtpConnection::Transaction
{
    SmtpMailPtr mail;       // null once stopped: the replies still due are then ignored
    QStringList recipients; // of this try
    int outstanding = 0;    // commands whose replies are still due
    QList<int> accepted;
    QList<std::pair<int, QString>> refused;  // the server said no
    QList<std::pair<int, QString>> deferred; // too many recipients: the next try
    QString mailRefusal;
    QString dataRefusal;
    enum class Stage { Envelope, Data, Sent } stage = Stage::Envelope;
    bool emptyData = false; // DATA was accepted although no recipient was
    bool answered = false;  // the end of data got its reply
};

SmtpConnection::SmtpConnection(const SmtpEndpoint& endpoint, Owner& owner, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_owner(owner), m_socket(new QSslSocket(this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { Enter([this] { OnTimeout(); }); });
    m_tokenTimer.setSingleShot(true);
    connect(&m_tokenTimer, &QTimer::timeout, this, [this] {
        Enter([this] {
            Close(Loss::Refused,
                  QStringLiteral("No access token within %1 seconds").arg(m_endpoint.timeoutSeconds));
        });
    });
    m_socket->setSslConfiguration(endpoint.tls);
    m_socket->setPeerVerifyName(endpoint.host);
    connect(m_socket, &QSslSocket::connected, this, [this] { Enter([this] { OnConnected(); }); });
    connect(m_socket, &QSslSocket::encrypted, this, [this] { Enter([this] { OnEncrypted(); }); });
    connect(m_socket, &QSslSocket::readyRead, this, [this] { Enter([this] { OnReadyRead(); }); });
    connect(m_socket, &QSslSocket::bytesWritten, this, [this] { Enter([this] { OnWritten(); }); });
    connect(m_socket, &QSslSocket::encryptedBytesWritten, this, [this] { Enter([this] { OnWritten(); }); });
    connect(m_socket, &QSslSocket::errorOccurred, this, [this] { Enter([this] { OnSocketError(); }); });
    connect(m_socket, &QSslSocket::disconnected, this, [this] {
        Enter([this] { Close(Loss::Dropped, QStringLiteral("The mail server closed the connection")); });
    });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) { OnSslErrors(errors); });
}

void SmtpConnection::OnSslErrors(const QList<QSslError>& errors)
{
    const ServerCertificate seen = ServerCertificate::Of(m_socket->peerCertificate(), m_endpoint.host);
    // The user trusted exactly this certificate for this name, whatever
    // verification thinks of it.
    if (ServerCertificate::IsTrusted(m_endpoint.trustedCertificates, m_endpoint.host, seen.sha256)) {
        m_socket->ignoreSslErrors(errors);
        return;
    }
    QStringList texts;
    for (const QSslError& error : errors)
        texts.append(error.errorString());
    m_tlsProblem = QStringLiteral("The mail server's certificate was not accepted: %1")
                       .arg(texts.join(QStringLiteral("; ")));
    if (!m_socket->peerCertificate().isNull())
        m_refusedCertificate = seen;
}

SmtpConnection::~SmtpConnection()
{
    // Gone without a word: the socket goes with it.
    m_socket->disconnect(this);
}

template <class Handler>
void SmtpConnection::Enter(Handler handler)
{
    if (m_disposed)
        return;
    ++m_running;
    handler();
    if (--m_running == 0 && m_disposed)
        deleteLater();
}

void SmtpConnection::Dispose()
{
    m_disposed = true;
    if (m_running == 0)
        deleteLater();
}

void SmtpConnection::Open(SmtpMailPtr mail)
{
    m_first = std::move(mail);
    if (m_endpoint.implicitTls)
        m_socket->connectToHostEncrypted(m_endpoint.host, m_endpoint.port);
    else
        m_socket->connectToHost(m_endpoint.host, m_endpoint.port);
    Rearm();
}

bool SmtpConnection::HasRoom() const
{
    if (m_phase != Phase::Ready || m_sending || !m_unsent.empty())
        return false;
    if (m_transactions.empty())
        return true;
    // A second mail only behind one whose data has gone out whole.
    if (!m_extensions.Has("PIPELINING") || m_transactions.size() > 1)
        return false;
    const Transaction& last = *m_transactions.back();
    return last.stage == Transaction::Stage::Sent && last.mail && !last.mail->answerBeforeNext;
}

void SmtpConnection::Give(SmtpMailPtr mail)
{
    StartTransaction(std::move(mail));
    Flush();
    if (m_phase != Phase::Closed)
        m_socket->flush();
    Rearm();
}

// ------------------------------------------------------------ socket events

void SmtpConnection::OnConnected()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_loopback = Plain(m_socket->peerAddress()).isLoopback();
    if (m_endpoint.implicitTls) {
        m_phase = Phase::Encrypting;
        return; // the greeting comes once encrypted
    }
    m_phase = Phase::Greeting;
    m_awaiting.push_back({Kind::Greeting});
    Rearm();
}

void SmtpConnection::OnEncrypted()
{
    m_encrypted = true;
    if (m_endpoint.implicitTls && m_awaiting.empty() && m_phase == Phase::Encrypting) {
        m_phase = Phase::Greeting;
        m_awaiting.push_back({Kind::Greeting});
    } else {
        // After STARTTLS everything learnt before is forgotten (RFC 3207).
        m_extensions = SmtpExtensions();
        m_triedHelo = false;
        m_phase = Phase::Hello;
        Send(Kind::Ehlo, "EHLO " + AddressLiteral(m_socket->localAddress()));
    }
    Rearm();
}

void SmtpConnection::OnReadyRead()
{
    if (m_phase == Phase::Closed)
        return;
    m_parser.Feed(m_socket->readAll());
    while (std::optional<SmtpReply> reply = m_parser.Next()) {
        OnReply(*reply);
        if (m_phase == Phase::Closed)
            return;
    }
    if (!m_parser.Problem().isEmpty()) {
        Close(Loss::Broken, m_parser.Problem());
        return;
    }
    Flush();
    if (m_phase == Phase::Closed)
        return;
    // Out now rather than at the next turn of the event loop: a round trip
    // starts when the last byte leaves.
    m_socket->flush();
    Rearm();
}

void SmtpConnection::OnWritten()
{
    if (m_phase == Phase::Closed)
        return;
    if (m_sending)
        SendData();
    Rearm();
}

void SmtpConnection::OnSocketError()
{
    if (m_phase == Phase::Closed)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (m_phase == Phase::Connecting && m_socket->state() != QAbstractSocket::ConnectedState) {
        Close(Loss::Broken, QStringLiteral("The mail server %1 port %2 could not be reached: %3")
                                .arg(m_endpoint.host)
                                .arg(m_endpoint.port)
                                .arg(m_socket->errorString()));
        return;
    }
    switch (error) {
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        // A certificate refused is refused for every connection alike.
        if (!m_tlsProblem.isEmpty())
            Close(Loss::Refused, m_tlsProblem);
        else
            Close(Loss::Broken, QStringLiteral("The encrypted connection to the mail server failed: %1")
                                    .arg(m_socket->errorString()));
        return;
    case QAbstractSocket::RemoteHostClosedError:
        Close(Loss::Dropped, QStringLiteral("The mail server closed the connection"));
        return;
    default:
        Close(Loss::Dropped, QStringLiteral("The connection to the mail server was lost: %1")
                                 .arg(m_socket->errorString()));
        return;
    }
}

void SmtpConnection::OnTimeout()
{
    if (m_phase == Phase::Stopping) {
        Close(Loss::Stopped, StoppedText);
        return;
    }
    Close(Loss::TimedOut, QStringLiteral("No answer from the mail server within %1 seconds")
                              .arg(m_endpoint.timeoutSeconds));
}

// ------------------------------------------------------------------- replies

void SmtpConnection::OnReply(const SmtpReply& reply)
{
    if (m_awaiting.empty()) {
        // Said unasked: usually a 421 before the server hangs up.
        Close(Loss::Dropped, reply.code == 421 ? Refusal(reply)
                                               : QStringLiteral("The mail server sent a reply to no command: %1")
                                                     .arg(reply.Text()));
        return;
    }
    const Command command = m_awaiting.front();
    m_awaiting.pop_front();

    if (reply.code == 421) {
        // The server is closing. An answer to the end of data is still the
        // mail's answer: it was not taken.
        if (command.kind == Kind::Dot && command.transaction) {
            command.transaction->answered = true;
            command.transaction->dataRefusal = Refusal(reply);
        }
        Close(Loss::Dropped, Refusal(reply));
        return;
    }
    if (command.transaction || command.kind == Kind::Rset)
        OnMailReply(command, reply);
    else
        OnHandshakeReply(command, reply);
}

void SmtpConnection::OnHandshakeReply(const Command& command, const SmtpReply& reply)
{
    switch (command.kind) {
    case Kind::Greeting:
        if (reply.code != 220) {
            Close(Loss::Broken, reply.Text());
            return;
        }
        m_phase = Phase::Hello;
        Send(Kind::Ehlo, "EHLO " + AddressLiteral(m_socket->localAddress()));
        return;
    case Kind::Ehlo:
        if (reply.Positive()) {
            m_extensions = SmtpExtensions(reply);
            AfterHello();
        } else if (!m_triedHelo) {
            // An old server: HELO, and no extensions.
            m_triedHelo = true;
            Send(Kind::Helo, "HELO " + AddressLiteral(m_socket->localAddress()));
        } else {
            Close(Loss::Broken, reply.Text());
        }
        return;
    case Kind::Helo:
        if (!reply.Positive()) {
            Close(Loss::Broken, reply.Text());
            return;
        }
        m_extensions = SmtpExtensions();
        AfterHello();
        return;
    case Kind::StartTls:
        m_triedStartTls = true;
        if (reply.code == 220) {
            // Whatever came after the go-ahead was not encrypted and could
            // have been put there by anyone on the way (RFC 3207 5).
            if (m_parser.Pending() > 0 || m_socket->bytesAvailable() > 0) {
                Close(Loss::Broken, QStringLiteral("The mail server sent more than its answer to STARTTLS"));
                return;
            }
            m_phase = Phase::Encrypting;
            m_socket->startClientEncryption();
            return;
        }
        if (m_endpoint.authenticate && !m_loopback) {
            Close(Loss::Refused, QStringLiteral("the server refused encryption (%1); the %2 was not sent")
                                    .arg(reply.Text(), SecretName()));
            return;
        }
        AfterHello(); // on without encryption, as a server that does not offer it
        return;
    case Kind::Auth:
        if (reply.code == 235) {
            BecomeReady();
        } else {
            Close(Loss::Refused, LoginRefused(reply));
        }
        return;
    case Kind::AuthUser:
    case Kind::AuthPassword:
        if (reply.code != 334) {
            Close(Loss::Refused, LoginRefused(reply));
            return;
        }
        if (command.kind == Kind::AuthUser)
            Send(Kind::AuthPassword, m_endpoint.userName.toUtf8().toBase64());
        else
            Send(Kind::Auth, m_endpoint.password.toUtf8().toBase64());
        return;
    case Kind::AuthToken:
    case Kind::AuthTokenCancel:
        if (reply.code == 235) {
            m_token.clear();
            BecomeReady();
        } else if (reply.code == 334 && command.kind == Kind::AuthToken) {
            // The refusal comes as a challenge holding the error; the
            // answer that ends the exchange brings the server's final word.
            Send(Kind::AuthTokenCancel, m_bearer ? "AQ==" : "");
        } else {
            OnTokenRefused(reply);
        }
        return;
    default:
        return;
    }
}

void SmtpConnection::AfterHello()
{
    if (!m_encrypted && !m_triedStartTls && m_extensions.Has("STARTTLS")) {
        m_phase = Phase::Encrypting;
        Send(Kind::StartTls, "STARTTLS");
        return;
    }
    if (m_endpoint.authenticate) {
        LogIn();
        return;
    }
    BecomeReady();
}

QString SmtpConnection::SecretName() const
{
    return m_endpoint.tokens ? QStringLiteral("access token") : QStringLiteral("password");
}

void SmtpConnection::LogIn()
{
    // A password or token goes out in the clear only to this very machine.
    if (!m_encrypted && !m_loopback) {
        Close(Loss::Refused,
              QStringLiteral("the server offers no encryption; the %1 was not sent").arg(SecretName()));
        return;
    }
    if (!m_extensions.Has("AUTH")) {
        Close(Loss::Refused, QStringLiteral("The mail server does not offer a login"));
        return;
    }
    const QSet<QByteArray>& mechanisms = m_extensions.AuthMechanisms();
    const bool tokens = bool(m_endpoint.tokens);
    m_phase = Phase::LoggingIn;
    // With a token never the password: the account may have none.
    if (tokens && (mechanisms.contains("XOAUTH2") || mechanisms.contains("OAUTHBEARER"))) {
        m_bearer = !mechanisms.contains("XOAUTH2");
        FetchToken(QString());
    } else if (!tokens && mechanisms.contains("PLAIN")) {
        const QByteArray response = '\0' + m_endpoint.userName.toUtf8() + '\0' + m_endpoint.password.toUtf8();
        Send(Kind::Auth, "AUTH PLAIN " + response.toBase64());
    } else if (!tokens && mechanisms.contains("LOGIN")) {
        Send(Kind::AuthUser, "AUTH LOGIN");
    } else {
        QStringList offered;
        for (const QByteArray& mechanism : mechanisms)
            offered.append(QString::fromLatin1(mechanism));
        offered.sort();
        Close(Loss::Refused, QStringLiteral("The mail server offers no login this program can use (only %1)")
                                .arg(offered.join(QStringLiteral(", "))));
    }
}

// The token comes later, from the event loop. Meanwhile no reply is due,
// so only the token's own limit runs; the server may still hang up.
void SmtpConnection::FetchToken(const QString& refused)
{
    m_tokenTimer.start(m_endpoint.timeoutSeconds * 1000);
    QPointer<SmtpConnection> self(this);
    m_endpoint.tokens->Fetch(refused, [self](const QString& token, const QString& failure) {
        if (self)
            self->Enter([&] { self->OnToken(token, failure); });
    });
}

void SmtpConnection::OnToken(const QString& token, const QString& failure)
{
    // Too late: the connection closed, or gave up waiting, meanwhile.
    if (m_phase != Phase::LoggingIn || !m_tokenTimer.isActive())
        return;
    m_tokenTimer.stop();
    if (token.isEmpty()) {
        Close(Loss::Refused, failure.isEmpty() ? QStringLiteral("No access token could be had") : failure);
        return;
    }
    m_token = token;
    // Fields end in ^A; the literals are split where a hex digit follows.
    const QByteArray bearer = "\x01" "auth=Bearer " + token.toUtf8() + "\x01\x01";
    const QByteArray response =
        m_bearer ? "n,a=" + SaslName(m_endpoint.userName) + ",\x01host=" + m_endpoint.host.toUtf8() + "\x01port="
                       + QByteArray::number(m_endpoint.port) + bearer // RFC 7628
                 : "user=" + m_endpoint.userName.toUtf8() + bearer;
    Send(Kind::AuthToken, (m_bearer ? "AUTH OAUTHBEARER " : "AUTH XOAUTH2 ") + response.toBase64());
    if (m_phase != Phase::Closed)
        m_socket->flush();
}

// A token may have run out since it was handed out: a new one, once.
void SmtpConnection::OnTokenRefused(const SmtpReply& reply)
{
    if (m_tokenRenewed) {
        Close(Loss::Refused, LoginRefused(reply));
        return;
    }
    m_tokenRenewed = true;
    FetchToken(std::exchange(m_token, QString()));
}

void SmtpConnection::BecomeReady()
{
    m_phase = Phase::Ready;
    m_owner.ConnectionReady(*this);
    if (m_first)
        StartTransaction(std::move(m_first));
    else
        TakeMore();
}

void SmtpConnection::OnMailReply(const Command& command, const SmtpReply& reply)
{
    Transaction* t = command.transaction;
    if (command.kind == Kind::Rset || !t->mail) {
        if (t && --t->outstanding == 0)
            Settle(t);
        return; // a reset, or an answer for a mail already ended by a stop
    }
    switch (command.kind) {
    case Kind::Mail:
        if (!reply.Positive()) {
            t->mailRefusal = Refusal(reply);
            DropQueued(t);
        }
        break;
    case Kind::Rcpt: {
        if (reply.Positive())
            t->accepted.append(command.recipient);
        else if (TooManyRecipients(reply))
            t->deferred.append({command.recipient, reply.Text()});
        else
            t->refused.append({command.recipient, Refusal(reply)});
        const bool lastRecipient = std::none_of(m_awaiting.begin(), m_awaiting.end(), [t](const Command& c) {
            return c.transaction == t && c.kind == Kind::Rcpt;
        }) && std::none_of(m_unsent.begin(), m_unsent.end(), [t](const Command& c) {
            return c.transaction == t && c.kind == Kind::Rcpt;
        });
        if (lastRecipient && t->accepted.isEmpty())
            DropQueued(t); // nobody to send the data to
        break;
    }
    case Kind::Data:
        if (reply.code == 354) {
            if (!t->mailRefusal.isEmpty() || t->accepted.isEmpty()) {
                // Accepted with no recipient (RFC 2920 3.1): end it at once.
                t->emptyData = true;
                ++t->outstanding;
                m_socket->write(".\r\n");
                m_awaiting.push_back({Kind::Dot, t});
            } else {
                t->stage = Transaction::Stage::Data;
                ++t->outstanding; // the end of data
                m_sending = t;
                t->mail->message.Seek(0);
                SendData();
            }
        } else if (!reply.Positive()) {
            t->dataRefusal = Refusal(reply);
        }
        break;
    case Kind::Dot:
        t->answered = true;
        if (!t->emptyData && !reply.Positive())
            t->dataRefusal = Refusal(reply);
        break;
    default:
        break;
    }
    if (--t->outstanding == 0)
        Settle(t);
}

// ------------------------------------------------------------------ writing

void SmtpConnection::Send(Kind kind, const QByteArray& line, Transaction* transaction, int recipient)
{
    m_unsent.push_back({kind, transaction, recipient, line + "\r\n"});
    Flush();
    Rearm();
}

bool SmtpConnection::CanWrite() const
{
    if (m_sending || m_phase == Phase::Closed)
        return false;
    if (m_awaiting.empty())
        return true;
    if (!m_extensions.Has("PIPELINING"))
        return false;
    // Within a group only these may wait for their replies; anything else
    // ends the group (RFC 2920 3.1).
    return std::all_of(m_awaiting.begin(), m_awaiting.end(), [](const Command& c) {
        return c.kind == Kind::Rset || c.kind == Kind::Mail || c.kind == Kind::Rcpt || c.kind == Kind::Dot;
    });
}

void SmtpConnection::Flush()
{
    QByteArray group;
    while (!m_unsent.empty() && CanWrite()) {
        Command command = std::move(m_unsent.front());
        m_unsent.pop_front();
        group += command.line;
        command.line.clear();
        m_awaiting.push_back(std::move(command));
        if (!m_extensions.Has("PIPELINING"))
            break;
    }
    if (!group.isEmpty())
        m_socket->write(group);
}

void SmtpConnection::Rearm()
{
    if (m_phase == Phase::Closed || m_phase == Phase::Stopping)
        return;
    const bool waiting = m_phase == Phase::Connecting || m_phase == Phase::Encrypting || !m_awaiting.empty()
                         || m_sending || m_socket->bytesToWrite() > 0;
    if (waiting)
        m_timer.start(m_endpoint.timeoutSeconds * 1000);
    else
        m_timer.stop();
}

// -------------------------------------------------------------- transactions

void SmtpConnection::StartTransaction(SmtpMailPtr mail)
{
    const qint64 size = mail->message.Size();
    const qint64 limit = m_extensions.SizeLimit();
    if (limit > 0 && size > limit) {
        mail->MissRest(QStringLiteral("The message is %1 bytes, more than the %2 bytes the mail server accepts")
                           .arg(size)
                           .arg(limit));
        m_owner.MailDone(std::move(mail));
        return;
    }
    const QString& sender = mail->message.Sender();
    bool usable = !HasControl(sender);
    for (const QString& recipient : std::as_const(mail->recipients))
        usable = usable && !HasControl(recipient);
    if (!usable) {
        mail->MissRest(QStringLiteral("An address holds control characters"));
        m_owner.MailDone(std::move(mail));
        return;
    }
    // Without SMTPUTF8 such an address cannot go out as it is, and any
    // other spelling of it would reach somebody else.
    const QString& international = mail->message.InternationalAddress();
    const bool utf8 = !international.isEmpty();
    if (utf8 && !m_extensions.Has("SMTPUTF8")) {
        mail->MissRest(QStringLiteral("The address \"%1\" has characters outside ASCII before the \"@\", and the "
                                      "mail server does not offer SMTPUTF8 for them")
                           .arg(international));
        m_owner.MailDone(std::move(mail));
        return;
    }

    auto transaction = std::make_unique<Transaction>();
    Transaction* t = transaction.get();
    t->recipients = std::exchange(mail->recipients, {});
    t->mail = std::move(mail);
    m_transactions.push_back(std::move(transaction));

    if (m_needReset) {
        m_needReset = false;
        m_unsent.push_back({Kind::Rset, nullptr, -1, "RSET\r\n"});
    }
    QByteArray from = "MAIL FROM:<" + sender.toUtf8() + '>';
    if (m_extensions.Has("SIZE"))
        from += " SIZE=" + QByteArray::number(size);
    if (utf8)
        from += " SMTPUTF8";
    m_unsent.push_back({Kind::Mail, t, -1, from + "\r\n"});
    for (int i = 0; i < t->recipients.size(); ++i)
        m_unsent.push_back({Kind::Rcpt, t, i, "RCPT TO:<" + t->recipients.at(i).toUtf8() + ">\r\n"});
    m_unsent.push_back({Kind::Data, t, -1, "DATA\r\n"});
    t->outstanding = int(t->recipients.size()) + 2;
    Flush();
}

void SmtpConnection::DropQueued(Transaction* t)
{
    const auto mine = [t](const Command& c) { return c.transaction == t; };
    const auto dropped = std::count_if(m_unsent.begin(), m_unsent.end(), mine);
    m_unsent.erase(std::remove_if(m_unsent.begin(), m_unsent.end(), mine), m_unsent.end());
    t->outstanding -= int(dropped);
}

void SmtpConnection::Settle(Transaction* t)
{
    const auto at = std::find_if(m_transactions.begin(), m_transactions.end(),
                                 [t](const std::unique_ptr<Transaction>& p) { return p.get() == t; });
    if (at == m_transactions.end())
        return;
    std::unique_ptr<Transaction> owned = std::move(*at);
    m_transactions.erase(at);
    // Without an answered end of data the server may still hold part of it.
    if (!owned->answered)
        m_needReset = true;
    if (owned->mail)
        EndTransaction(owned.get());
    if (m_phase == Phase::Stopping
        && std::none_of(m_transactions.begin(), m_transactions.end(),
                        [](const std::unique_ptr<Transaction>& p) { return bool(p->mail); })) {
        Close(Loss::Stopped, StoppedText);
        return;
    }
    TakeMore();
}

void SmtpConnection::EndTransaction(Transaction* t)
{
    SmtpMail& mail = *t->mail;
    if (!t->mailRefusal.isEmpty()) {
        for (const QString& address : std::as_const(t->recipients))
            mail.missed.append({address, t->mailRefusal, true});
    } else {
        for (const auto& [index, reason] : std::as_const(t->refused))
            mail.missed.append({t->recipients.at(index), reason, true});
        const bool taken = t->answered && t->dataRefusal.isEmpty() && !t->emptyData;
        for (int index : std::as_const(t->accepted)) {
            if (taken)
                mail.delivered.append(t->recipients.at(index));
            else
                mail.missed.append({t->recipients.at(index), t->dataRefusal, true});
        }
        // Too many recipients for one mail: the rest go in another, once
        // this one got through to somebody.
        for (const auto& [index, reason] : std::as_const(t->deferred)) {
            if (taken)
                mail.recipients.append(t->recipients.at(index));
            else
                mail.missed.append({t->recipients.at(index), reason, true});
        }
    }
    if (!mail.recipients.isEmpty()) {
        if (m_phase == Phase::Ready) {
            StartTransaction(std::move(t->mail));
            return;
        }
        mail.MissRest(StoppedText);
    }
    m_owner.MailDone(std::move(t->mail));
}

void SmtpConnection::SendData()
{
    Transaction* t = m_sending;
    while (t && m_socket->bytesToWrite() < HighWater) {
        m_chunk.resize(ChunkSize);
        const qint64 got = t->mail->message.Read(m_chunk.data(), ChunkSize);
        if (got < 0) {
            m_sending = nullptr;
            Close(Loss::Broken, QStringLiteral("The message could not be read back from its temporary file"));
            return;
        }
        QByteArray out;
        out.reserve(got + got / 64 + 8);
        m_stuffer.Add(m_chunk.constData(), got, out);
        if (got < ChunkSize) {
            m_owner.Handing(*t->mail);
            m_stuffer.Finish(out);
            m_socket->write(out);
            t->stage = Transaction::Stage::Sent;
            m_awaiting.push_back({Kind::Dot, t});
            m_sending = nullptr;
            // The next mail's envelope may follow right behind.
            TakeMore();
            Flush();
            return;
        }
        m_socket->write(out);
    }
}

void SmtpConnection::TakeMore()
{
    while (HasRoom()) {
        SmtpMailPtr mail = m_owner.TakeMail(*this);
        if (!mail)
            return;
        // Events ran while the mail was taken: the server may have hung up
        // or the run stopped meanwhile, and a closed connection would take
        // the mail down with it.
        if (m_phase != Phase::Ready) {
            m_owner.SendAgain(std::move(mail));
            return;
        }
        StartTransaction(std::move(mail));
    }
}

// ------------------------------------------------------------------- ending

void SmtpConnection::Stop()
{
    if (m_phase == Phase::Closed || m_phase == Phase::Stopping)
        return;
    if (m_first) {
        Close(Loss::Stopped, StoppedText);
        return;
    }
    m_phase = Phase::Stopping;
    m_sending = nullptr;
    for (auto& t : m_transactions) {
        if (t->stage == Transaction::Stage::Sent || !t->mail)
            continue;
        DropQueued(t.get());
        t->mail->recipients += t->recipients;
        t->mail->MissRest(StoppedText);
        m_owner.MailDone(std::move(t->mail));
    }
    m_unsent.clear();
    const bool waiting = std::any_of(m_transactions.begin(), m_transactions.end(),
                                     [](const std::unique_ptr<Transaction>& t) { return bool(t->mail); });
    if (!waiting) {
        Close(Loss::Stopped, StoppedText);
        return;
    }
    m_timer.start(StopGraceMs);
}

void SmtpConnection::Quit()
{
    if (m_phase == Phase::Closed)
        return;
    m_phase = Phase::Closed;
    m_timer.stop();
    m_socket->disconnect(this);
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->write("QUIT\r\n");
        m_socket->flush();
        m_socket->disconnectFromHost();
    } else {
        m_socket->abort();
    }
}

QString SmtpConnection::LostAfterData(Loss loss) const
{
    switch (loss) {
    case Loss::TimedOut:
        return QStringLiteral("delivery unknown: no answer from the mail server within %1 seconds after the "
                              "message was sent")
            .arg(m_endpoint.timeoutSeconds);
    case Loss::Stopped:
        return QStringLiteral("delivery unknown: sending was stopped before the server confirmed the message");
    default:
        return QStringLiteral("delivery unknown: the connection was lost after the message was sent");
    }
}

void SmtpConnection::Close(Loss loss, const QString& reason)
{
    if (m_phase == Phase::Closed)
        return;
    m_phase = Phase::Closed;
    m_timer.stop();
    m_sending = nullptr;
    m_socket->disconnect(this);
    m_socket->abort();

    if (m_first) {
        if (loss == Loss::Stopped) {
            m_first->MissRest(StoppedText);
            m_owner.MailDone(std::move(m_first));
        } else {
            m_owner.ConnectionFailed(*this, std::move(m_first), reason, loss == Loss::Refused);
        }
    }
    // Kept until the connection goes: a handler further up the stack (the
    // events run while a mail is taken) may still hold one.
    for (auto& t : m_transactions)
        m_closed.push_back(std::move(t));
    m_transactions.clear();
    m_awaiting.clear();
    m_unsent.clear();
    for (auto& t : m_closed)
        if (t->mail)
            Resolve(*t, loss, reason);
    m_owner.ConnectionClosed(*this);
}

void SmtpConnection::Resolve(Transaction& t, Loss loss, const QString& reason)
{
    SmtpMailPtr mail = std::move(t.mail);
    if (t.stage == Transaction::Stage::Sent) {
        // The server has it whole and may have taken it: never send it again.
        for (const auto& [index, why] : std::as_const(t.refused))
            mail->missed.append({t.recipients.at(index), why, true});
        for (int index : std::as_const(t.accepted)) {
            if (t.answered) // 421 to the end of data: an answer all the same
                mail->missed.append({t.recipients.at(index), t.dataRefusal, true});
            else
                mail->missed.append({t.recipients.at(index), LostAfterData(loss)});
        }
        for (const auto& [index, why] : std::as_const(t.deferred))
            mail->recipients.append(t.recipients.at(index));
        mail->MissRest(loss == Loss::Stopped ? StoppedText : reason);
        m_owner.MailDone(std::move(mail));
        return;
    }
    // Not sent whole: the server drops what it got of it.
    mail->recipients += t.recipients;
    if (loss == Loss::Dropped && !mail->sentAgain) {
        mail->sentAgain = true;
        m_owner.SendAgain(std::move(mail));
        return;
    }
    if (loss == Loss::Stopped)
        mail->MissRest(StoppedText);
    else if (mail->sentAgain && !reason.startsWith(QLatin1String("temporary:")))
        mail->MissRest(QStringLiteral("not sent: the connection was lost twice before the message went out (%1)")
                           .arg(reason));
    else
        mail->MissRest(reason);
    m_owner.MailDone(std::move(mail));
}
