#include "platform/oauth/OAuthTokenRequest.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

bool IsError(const OAuthError& error)
{
    return !error.code.isEmpty() || !error.description.isEmpty();
}

// Who signed in, from the id_token's claims. Its signature is not checked:
// it came straight from the token endpoint over TLS, so it is as good as
// the access token beside it.
QString AccountOf(const QString& idToken)
{
    const QList<QStringView> parts = QStringView(idToken).split(u'.');
    if (parts.size() < 2)
        return {};
    const QByteArray payload = QByteArray::fromBase64(parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding);
    const QJsonObject claims = QJsonDocument::fromJson(payload).object();
    const QString email = claims.value(QLatin1String("email")).toString();
    return email.isEmpty() ? claims.value(QLatin1String("preferred_username")).toString() : email;
}

} // namespace

void OAuthTokenRequest::Release::operator()(OAuthTokenRequest* request) const
{
    request->m_done = nullptr;
    request->deleteLater();
}

OAuthTokenRequest::Handle OAuthTokenRequest::Post(const QUrl& endpoint, const Form& form, Done done)
{
    return Handle(new OAuthTokenRequest(endpoint, form, std::move(done)));
}

OAuthTokenRequest::OAuthTokenRequest(const QUrl& endpoint, const Form& form, Done done) : m_done(std::move(done))
{
    QNetworkRequest request(endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(TimeLimitMs);
    QNetworkReply* reply = m_network.post(request, Encode(form));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { Finish(reply); });
}

QByteArray OAuthTokenRequest::Encode(const Form& form)
{
    QByteArray encoded;
    for (const auto& [name, value] : form) {
        if (!encoded.isEmpty())
            encoded += '&';
        encoded += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return encoded;
}

void OAuthTokenRequest::Finish(QNetworkReply* reply)
{
    reply->deleteLater();
    if (!m_done)
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QByteArray body = reply->readAll();
    QJsonObject answer;
    OAuthError error;
    if (!status.isValid()) {
        // The time limit ends a request as cancelled.
        if (reply->error() == QNetworkReply::OperationCanceledError)
            error.description = QStringLiteral("the provider did not answer within %1 seconds").arg(TimeLimitMs / 1000);
        else
            error.description = QStringLiteral("the provider could not be reached: ") + reply->errorString();
    } else {
        QJsonParseError parse;
        const QJsonDocument document = QJsonDocument::fromJson(body, &parse);
        answer = document.object();
        if (answer.contains(QLatin1String("error"))) {
            error.code = answer.value(QLatin1String("error")).toString();
            error.description = answer.value(QLatin1String("error_description")).toString();
            if (!IsError(error))
                error.description = QStringLiteral("the provider refused with HTTP %1").arg(status.toInt());
        } else if (!document.isObject()) {
            error.description = QStringLiteral("the provider's answer (HTTP %1) could not be read").arg(status.toInt());
        } else if (status.toInt() < 200 || status.toInt() > 299) {
            error.description = QStringLiteral("the provider refused with HTTP %1").arg(status.toInt());
        }
    }
    // `done` may let go of this request; nothing here runs after it.
    const Done done = std::exchange(m_done, nullptr);
    done(answer, error);
}

bool OAuthTokenRequest::ReadGrant(const QJsonObject& answer, const QDateTime& now, OAuthGrant& grant,
                                  OAuthError& error)
{
    grant = OAuthGrant();
    grant.accessToken = answer.value(QLatin1String("access_token")).toString();
    if (grant.accessToken.isEmpty()) {
        error = {QString(), QStringLiteral("the provider's answer holds no access token")};
        return false;
    }
    // Some providers send expires_in as a string.
    const QJsonValue expires = answer.value(QLatin1String("expires_in"));
    const qint64 seconds = expires.isString() ? expires.toString().toLongLong() : expires.toInteger(-1);
    if (seconds > 0)
        grant.expiresAt = now.toUTC().addSecs(seconds);
    grant.refreshToken = answer.value(QLatin1String("refresh_token")).toString();
    grant.account = AccountOf(answer.value(QLatin1String("id_token")).toString());
    return true;
}
