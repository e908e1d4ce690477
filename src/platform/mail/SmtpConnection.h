#pragma once

#include "platform/mail/MessageBuilder.h"
#include "platform/mail/ServerCertificate.h"
#include "platform/mail/SmtpDotStuffer.h"
#include "platform/mail/SmtpReply.h"
#include "platform/mail/SmtpTokenSource.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>

class QSslError;
class QSslSocket;

// One mail as the SMTP client carries it, from hand-over to its end, with
// what became of each recipient.
struct SmtpMail
{
    quint64 id = 0;
    PreparedMessage message;
    bool answerBeforeNext = false;
    QStringList recipients; // not yet sent to
    QStringList delivered;  // the server took the message for these
    struct Miss
    {
        QString address;
        QString reason;
        bool refused = false; // the server's own refusal, not a lost or stopped transfer
    };
    QList<Miss> missed;
    bool sentAgain = false; // once sent again after its connection was lost

    SmtpMail(quint64 id_, PreparedMessage message_, bool answerBeforeNext_);
    // Every recipient not yet sent to misses the mail for this reason.
    void MissRest(const QString& reason, bool refused = false);
    // The description for the send error log; empty when every recipient got it.
    QString Failure() const;
};
using SmtpMailPtr = std::unique_ptr<SmtpMail>;

// Where a connection reaches the server: the settings it needs, worked out
// once per run.
struct SmtpEndpoint
{
    QString host;  // checked and in ASCII form
    quint16 port = 25;
    bool implicitTls = false;
    int timeoutSeconds = 1200;
    bool authenticate = false;
    QString userName;
    QString password;
    // Set: the login is XOAUTH2 or OAUTHBEARER with a token from here
    // instead of the password.
    std::shared_ptr<SmtpTokenSource> tokens;
    QSslConfiguration tls;
    QStringList trustedCertificates; // "host sha256-hex" lines
};

// One connection to the SMTP server, driven by the socket's signals: it
// greets, encrypts, logs in and then carries mails until it is told to
// quit or the server goes away. Replies are matched to commands in order.
// With PIPELINING the envelope goes out as one group and the next mail's
// envelope follows the end of the previous mail's data; otherwise one
// command at a time. At most two mails are on a connection at once.
class SmtpConnection : public QObject
{
    Q_OBJECT

public:
    // What the connection reports to the client that runs it. Every call
    // comes from inside the connection's own handlers and must not delete
    // the connection. TakeMail may let events run (the mails that ended are
    // reported there), so the connection may have closed or stopped when
    // it returns.
    class Owner
    {
    public:
        virtual ~Owner() = default;
        // The next mail for this connection, or none for now.
        virtual SmtpMailPtr TakeMail(SmtpConnection& connection) = 0;
        virtual void ConnectionReady(SmtpConnection& connection) = 0;
        // The end of the mail's data is about to go out.
        virtual void Handing(const SmtpMail& mail) = 0;
        // The mail has ended; its recipients say how.
        virtual void MailDone(SmtpMailPtr mail) = 0;
        // The mail goes back ahead of those not yet taken: its connection
        // was lost before the mail was handed over whole, or closed while
        // the mail was being taken.
        virtual void SendAgain(SmtpMailPtr mail) = 0;
        // The connection failed before it was ready, with the mail it was
        // opened for. `everyMail`: the server refused what every mail needs
        // (the login, its certificate, encryption for the password), so
        // another connection would fare no better.
        virtual void ConnectionFailed(SmtpConnection& connection, SmtpMailPtr mail, const QString& reason,
                                      bool everyMail) = 0;
        // The connection is closed and can go.
        virtual void ConnectionClosed(SmtpConnection& connection) = 0;
    };

    // How long a stopped connection waits for the answers to data it has
    // already sent whole.
    static constexpr int StopGraceMs = 250;

    SmtpConnection(const SmtpEndpoint& endpoint, Owner& owner, QObject* parent = nullptr);
    ~SmtpConnection() override;

    // Connects, greets and logs in, then sends `mail`.
    void Open(SmtpMailPtr mail);
    bool IsReady() const { return m_phase == Phase::Ready; }
    bool IsClosed() const { return m_phase == Phase::Closed; }
    // The certificate that failed verification and was not trusted, if any.
    const std::optional<ServerCertificate>& RefusedCertificate() const { return m_refusedCertificate; }
    // Whether it would take another mail now.
    bool HasRoom() const;
    // Whether it holds no mail.
    bool IsIdle() const { return !m_first && m_transactions.empty(); }
    // Sends a mail; only when HasRoom().
    void Give(SmtpMailPtr mail);
    // Ends at once: a mail not yet sent whole is not sent; one sent whole
    // gets StopGraceMs for its answer, then its delivery is unknown.
    void Stop();
    // Says goodbye and closes; only when idle.
    void Quit();
    // The owner is done with it: it is deleted once none of its handlers is
    // running. Event handlers run from TakeMail may spin a nested event loop,
    // in which a plain deleteLater would delete it under its own feet.
    void Dispose();

private:
    enum class Phase { Connecting, Greeting, Hello, Encrypting, LoggingIn, Ready, Stopping, Closed };
    enum class Loss { Dropped, TimedOut, Broken, Refused, Stopped };
    enum class Kind {
        Greeting, Ehlo, Helo, StartTls, Auth, AuthUser, AuthPassword, AuthToken, AuthTokenCancel,
        Rset, Mail, Rcpt, Data, Dot
    };
    struct Transaction;
    struct Command
    {
        Command(Kind kind_, Transaction* transaction_ = nullptr, int recipient_ = -1, QByteArray line_ = {})
            : kind(kind_), transaction(transaction_), recipient(recipient_), line(std::move(line_))
        {
        }
        Kind kind;
        Transaction* transaction;
        int recipient;
        QByteArray line; // empty once written
    };

    // Runs a handler of the socket or timer, unless disposed of.
    template <class Handler>
    void Enter(Handler handler);

    void OnConnected();
    void OnEncrypted();
    void OnReadyRead();
    void OnWritten();
    void OnSocketError();
    void OnTimeout();
    void OnSslErrors(const QList<QSslError>& errors);

    void OnReply(const SmtpReply& reply);
    void OnHandshakeReply(const Command& command, const SmtpReply& reply);
    void OnMailReply(const Command& command, const SmtpReply& reply);
    void AfterHello();
    void LogIn();
    void FetchToken(const QString& refused);
    void OnToken(const QString& token, const QString& failure);
    void OnTokenRefused(const SmtpReply& reply);
    QString SecretName() const;
    void BecomeReady();

    void Send(Kind kind, const QByteArray& line, Transaction* transaction = nullptr, int recipient = -1);
    void Flush();
    bool CanWrite() const;
    void Rearm();

    void StartTransaction(SmtpMailPtr mail);
    void DropQueued(Transaction* transaction);
    void Settle(Transaction* transaction);
    void EndTransaction(Transaction* transaction);
    void SendData();
    void TakeMore();

    void Close(Loss loss, const QString& reason);
    void Resolve(Transaction& transaction, Loss loss, const QString& reason);
    QString LostAfterData(Loss loss) const;

    const SmtpEndpoint& m_endpoint;
    Owner& m_owner;
    QSslSocket* m_socket;
    QTimer m_timer;
    QTimer m_tokenTimer; // a token asked for and not yet given
    Phase m_phase = Phase::Connecting;
    SmtpReplyParser m_parser;
    SmtpExtensions m_extensions;
    bool m_loopback = false;
    bool m_encrypted = false;
    bool m_triedHelo = false;
    bool m_triedStartTls = false;
    bool m_needReset = false;
    QString m_tlsProblem;
    bool m_bearer = false;       // OAUTHBEARER rather than XOAUTH2
    QString m_token;             // the one last sent
    bool m_tokenRenewed = false; // a refused token was replaced once already
    std::optional<ServerCertificate> m_refusedCertificate;

    SmtpMailPtr m_first; // the mail it was opened for, until it is ready
    std::deque<std::unique_ptr<Transaction>> m_transactions;
    std::deque<std::unique_ptr<Transaction>> m_closed; // those of a closed connection
    std::deque<Command> m_awaiting; // written, reply not yet read
    std::deque<Command> m_unsent;   // waiting for their turn

    Transaction* m_sending = nullptr; // whose data is being written
    int m_running = 0;                // handlers of this connection on the stack
    bool m_disposed = false;
    SmtpDotStuffer m_stuffer;
    QByteArray m_chunk;
};
