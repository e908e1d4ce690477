#include "platform/mail/SmtpTransport.h"

#include "base/AppError.h"

#include <QByteArrayList>
#include <QUrl>

#include <curl/curl.h>

#include <cctype>
#include <mutex>

#include <sys/socket.h>

namespace {

const QString Source = QStringLiteral("SmtpTransport");
constexpr int ImplicitTlsPort = 465;
constexpr long DefaultTimeoutSeconds = 1200;

void InitCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct SlistFree
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

QString OneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ').replace(u'\r', u' ');
    return text.trimmed();
}

// The server's replies of one attempt, read from curl's protocol trace:
// curl itself only says "RCPT failed: 550", the server says why.
struct ReplyLog
{
    QByteArray partial;
    QByteArrayList current;
    QByteArrayList lastError; // the refusal that ended the attempt, if any
    int replies = 0;
    int firstCode = 0;

    void Reset()
    {
        partial.clear();
        current.clear();
        lastError.clear();
        replies = 0;
        firstCode = 0;
    }

    void Feed(const char* data, size_t size)
    {
        partial.append(data, static_cast<qsizetype>(size));
        qsizetype end;
        while ((end = partial.indexOf('\n')) >= 0) {
            QByteArray line = partial.left(end);
            partial.remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            Line(line);
        }
    }

    void Line(const QByteArray& line)
    {
        current.append(line);
        const bool coded = line.size() >= 3 && std::isdigit(static_cast<uchar>(line[0]))
                           && std::isdigit(static_cast<uchar>(line[1]))
                           && std::isdigit(static_cast<uchar>(line[2]));
        if (!coded || (line.size() > 3 && line[3] == '-'))
            return; // more lines of this reply follow
        const int code = line.left(3).toInt();
        if (++replies == 1)
            firstCode = code;
        // A refusal curl got over (EHLO answered 502, then HELO) must not
        // be blamed for a later failure; the 221 to curl's closing QUIT
        // must not hide the refusal that made it quit.
        if (code >= 400)
            lastError = current;
        else if (code != 221)
            lastError.clear();
        current.clear();
    }
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* log)
{
    if (type == CURLINFO_HEADER_IN)
        static_cast<ReplyLog*>(log)->Feed(data, size);
    return 0;
}

size_t OnRead(char* buffer, size_t size, size_t count, void* message)
{
    const qint64 got = static_cast<PreparedMessage*>(message)->Read(buffer, static_cast<qint64>(size * count));
    return got < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(got);
}

int OnSeek(void* message, curl_off_t offset, int origin)
{
    if (origin != SEEK_SET)
        return CURL_SEEKFUNC_CANTSEEK;
    return static_cast<PreparedMessage*>(message)->Seek(offset) ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

// Failures that mean a kept connection was already gone when the mail
// started: the server never saw this mail, so it is safe to send it again
// on a new connection.
bool BrokenConnection(CURLcode code)
{
    return code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING
           || code == CURLE_WEIRD_SERVER_REPLY;
}

} // namespace

struct SmtpTransport::Private
{
    SmtpSettings settings;
    MessageBuilder builder;
    CURL* curl = nullptr;
    bool connectionKept = false;
    ReplyLog replies;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    Private(SmtpSettings settings_, qint64 memoryLimit)
        : settings(std::move(settings_)), builder(LineEnding::Crlf, memoryLimit)
    {
    }

    long TimeoutSeconds() const
    {
        return settings.connectionTimeout > 0 ? settings.connectionTimeout : DefaultTimeoutSeconds;
    }

    void Configure()
    {
        const QByteArray url = SmtpTransport::ServerUrl(settings).toUtf8();
        InitCurl();
        curl = curl_easy_init();
        if (!curl)
            throw AppError(MailError::SendFailed, Source, QStringLiteral("libcurl could not be started"));
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, OnDebug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &replies);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, OnRead);
        curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, OnSeek);
        // curl takes twice this per mail to escape lines starting with a dot;
        // at the default size that is freed back to the system after every
        // mail and fetched again, which cost a fifth of the time per mail.
        curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, 16384L);

        // The connection time-out bounds connecting and every wait for a
        // reply; a transfer that stalls that long is given up too, so a
        // server that never answers cannot hold a mail forever.
        const long timeout = TimeoutSeconds();
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeout);
        // Keep the one connection for the whole run, however slow it goes.
        curl_easy_setopt(curl, CURLOPT_MAXAGE_CONN, 24L * 3600L);

        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!settings.caFile.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, settings.caFile.toLocal8Bit().constData());

        if (settings.authenticate) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, settings.userName.toUtf8().constData());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.password.toUtf8().constData());
            // Basic authentication: the two plain mechanisms, whichever is offered.
            curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
        }
    }

    // After a failure the connection may be mid-command (curl keeps one
    // whose reply timed out): never reuse it. Shut down, the socket reads
    // as dead, so curl drops it without waiting for a QUIT reply.
    void DropConnection()
    {
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
    }

    QString Describe(CURLcode code) const
    {
        if (!replies.lastError.isEmpty())
            return OneLine(QString::fromUtf8(replies.lastError.join('\n')));
        QString text = OneLine(QString::fromUtf8(errorBuffer));
        if (text.isEmpty())
            text = QString::fromUtf8(curl_easy_strerror(code));
        if (code == CURLE_OPERATION_TIMEDOUT)
            return QStringLiteral("No answer from the mail server within %1 seconds: %2")
                .arg(TimeoutSeconds())
                .arg(text);
        return text;
    }
};

SmtpTransport::SmtpTransport(SmtpSettings settings, qint64 memoryLimit)
    : d(std::make_unique<Private>(std::move(settings), memoryLimit))
{
}

SmtpTransport::~SmtpTransport()
{
    if (d->curl)
        curl_easy_cleanup(d->curl);
}

QString SmtpTransport::ServerUrl(const SmtpSettings& settings)
{
    const QString host = settings.server.trimmed();
    if (host.isEmpty())
        throw AppError(MailError::InvalidArgument, Source, QStringLiteral("No SMTP server is set"));
    if (settings.port < 1 || settings.port > 65535)
        throw AppError(MailError::InvalidArgument, Source,
                       QStringLiteral("The SMTP server port %1 is not valid").arg(settings.port));
    QUrl url;
    url.setScheme(settings.implicitTls || settings.port == ImplicitTlsPort ? QStringLiteral("smtps")
                                                                           : QStringLiteral("smtp"));
    // Strict, so that a name cannot smuggle in a user, a path or a query.
    url.setHost(host, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        throw AppError(MailError::InvalidArgument, Source,
                       QStringLiteral("The SMTP server name \"%1\" is not valid").arg(host));
    url.setPort(settings.port);
    return url.toString(QUrl::FullyEncoded);
}

void SmtpTransport::Send(const OutgoingMessage& message)
{
    PreparedMessage prepared = d->builder.Build(message);
    Send(prepared);
}

void SmtpTransport::Send(PreparedMessage& message)
{
    if (!d->curl)
        d->Configure();
    CURL* curl = d->curl;

    std::unique_ptr<curl_slist, SlistFree> recipients;
    for (const QString& recipient : message.Recipients()) {
        const QByteArray address = '<' + recipient.toUtf8() + '>';
        curl_slist* head = curl_slist_append(recipients.get(), address.constData());
        if (!head)
            throw AppError(7, Source, QStringLiteral("Out of memory"));
        (void)recipients.release(); // the same list, now one longer
        recipients.reset(head);
    }
    const QByteArray sender = '<' + message.Sender().toUtf8() + '>';
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(curl, CURLOPT_READDATA, &message);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &message);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.Size()));
    // curl keeps the pointers; they must not outlive this mail.
    struct Forget
    {
        CURL* curl;
        ~Forget()
        {
            curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
            curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
            curl_easy_setopt(curl, CURLOPT_SEEKDATA, nullptr);
            curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 0L);
        }
    } forget{curl};

    for (int attempt = 0;; ++attempt) {
        message.Seek(0);
        d->replies.Reset();
        d->errorBuffer[0] = '\0';
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, attempt > 0 ? 1L : 0L);
        const CURLcode code = curl_easy_perform(curl);
        const bool wasKept = d->connectionKept;
        d->connectionKept = code == CURLE_OK;
        if (code == CURLE_OK)
            return;
        d->DropConnection();
        long connects = 0;
        curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
        // A kept connection the server has closed in the meantime (silently,
        // or with a 421 before this mail): send again on a new one.
        const bool untouched = d->replies.replies == 0 || d->replies.firstCode == 421;
        if (attempt == 0 && wasKept && connects == 0 && untouched
            && (BrokenConnection(code) || d->replies.firstCode == 421))
            continue;
        throw AppError(MailError::SendFailed, Source, d->Describe(code));
    }
}
