#include "platform/http/HttpGet.h"

#include "base/AppError.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

QString HttpGet::ReasonPhrase(int status)
{
    switch (status) {
    case 200: return QStringLiteral("OK");
    case 201: return QStringLiteral("Created");
    case 202: return QStringLiteral("Accepted");
    case 204: return QStringLiteral("No Content");
    case 206: return QStringLiteral("Partial Content");
    case 301: return QStringLiteral("Moved Permanently");
    case 302: return QStringLiteral("Found");
    case 303: return QStringLiteral("See Other");
    case 304: return QStringLiteral("Not Modified");
    case 307: return QStringLiteral("Temporary Redirect");
    case 308: return QStringLiteral("Permanent Redirect");
    case 400: return QStringLiteral("Bad Request");
    case 401: return QStringLiteral("Unauthorized");
    case 403: return QStringLiteral("Forbidden");
    case 404: return QStringLiteral("Not Found");
    case 405: return QStringLiteral("Method Not Allowed");
    case 406: return QStringLiteral("Not Acceptable");
    case 407: return QStringLiteral("Proxy Authentication Required");
    case 408: return QStringLiteral("Request Timeout");
    case 409: return QStringLiteral("Conflict");
    case 410: return QStringLiteral("Gone");
    case 413: return QStringLiteral("Payload Too Large");
    case 414: return QStringLiteral("URI Too Long");
    case 429: return QStringLiteral("Too Many Requests");
    case 500: return QStringLiteral("Internal Server Error");
    case 501: return QStringLiteral("Not Implemented");
    case 502: return QStringLiteral("Bad Gateway");
    case 503: return QStringLiteral("Service Unavailable");
    case 504: return QStringLiteral("Gateway Timeout");
    default: return {};
    }
}

namespace {

// The requests waiting now, innermost last.
QList<QNetworkReply*>& Running()
{
    static QList<QNetworkReply*> running;
    return running;
}

const char* const kCancelled = "corvantaCancelled";

} // namespace

void HttpGet::CancelRunning()
{
    for (QNetworkReply* reply : Running()) {
        reply->setProperty(kCancelled, true);
        reply->abort();
    }
}

HttpGet::Response HttpGet::Get(const QUrl& url, const Options& options)
{
    const QString shown = url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(options.TimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);

    bool credentialsGiven = false;
    QObject::connect(&manager, &QNetworkAccessManager::authenticationRequired,
                     [&](QNetworkReply*, QAuthenticator* authenticator) {
                         // Asked again means refused: leave it unanswered and the 401 comes back.
                         if (credentialsGiven || (options.Username.isEmpty() && options.Password.isEmpty()))
                             return;
                         authenticator->setUser(options.Username);
                         authenticator->setPassword(options.Password);
                         credentialsGiven = true;
                     });

    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    bool tooLarge = false;
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, [&](qint64 received, qint64 total) {
        if (!tooLarge && (received > options.MaxBytes || total > options.MaxBytes)) {
            tooLarge = true;
            reply->abort();
        }
    });
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        Running().append(reply.get());
        loop.exec();
        Running().removeOne(reply.get());
    }
    if (reply->property(kCancelled).toBool())
        throw AppError(ErrCancelled, Source, QStringLiteral("Fetching the document at %1 was cancelled.").arg(shown));

    if (tooLarge)
        throw AppError(ErrTooLarge, Source,
                       QStringLiteral("The document at %1 is larger than %2 MB, more than can be imported.")
                           .arg(shown)
                           .arg(options.MaxBytes >> 20));
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() > 0) {
        Response response;
        response.Status = status.toInt();
        response.StatusText = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        if (response.StatusText.isEmpty()) // HTTP/2 sends no reason phrase
            response.StatusText = ReasonPhrase(response.Status);
        if (response.StatusText.isEmpty())
            response.StatusText = QStringLiteral("HTTP status %1").arg(response.Status);
        response.Body = reply->readAll();
        return response;
    }
    const auto error = reply->error();
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        throw AppError(ErrTimeout, Source,
                       QStringLiteral("The server at %1 did not answer within %2 seconds.")
                           .arg(shown)
                           .arg(options.TimeoutMs / 1000));
    throw AppError(ErrNoAnswer, Source,
                   QStringLiteral("The document at %1 could not be fetched: %2").arg(shown, reply->errorString()));
}
