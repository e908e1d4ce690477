#include "platform/oauth/OAuthSession.h"

#include "platform/oauth/OAuthTokenRequest.h"

#include <QTimer>

#include <algorithm>

namespace {

const QString kWithdrawn =
    QStringLiteral("the sign-in with the provider was withdrawn or has expired; sign in again in E-mail setup");

} // namespace

struct OAuthSession::Private
{
    OAuthProvider provider;
    OAuthGrant grant;
    qint64 lifeMs = 0; // as the provider gave it; 0 when unknown
    bool revoked = false;
    QString revokedText;
    OAuthTokenRequest::Handle refresh;
    QList<Done> waiting;

    // A token with less than this left is renewed first: a minute, but no
    // more than a quarter of its life, so short-lived tokens still serve.
    qint64 MarginMs() const { return lifeMs > 0 ? std::min<qint64>(60000, lifeMs / 4) : 60000; }

    bool Good(const QString& refused) const
    {
        if (grant.accessToken.isEmpty() || grant.accessToken == refused)
            return false;
        if (!grant.expiresAt.isValid())
            return true;
        return QDateTime::currentDateTimeUtc().msecsTo(grant.expiresAt) > MarginMs();
    }
};

OAuthSession::OAuthSession(OAuthProvider provider, OAuthGrant grant, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->provider = std::move(provider);
    d->grant = std::move(grant);
    // Its life as given is not known any more; what is left of it will do.
    if (d->grant.expiresAt.isValid())
        d->lifeMs = std::max<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(d->grant.expiresAt));
}

OAuthSession::~OAuthSession() = default;

const OAuthGrant& OAuthSession::Grant() const
{
    return d->grant;
}

bool OAuthSession::Revoked() const
{
    return d->revoked;
}

void OAuthSession::Fetch(const QString& refused, Done done)
{
    const auto later = [this, &done](const QString& token, const QString& failure) {
        QTimer::singleShot(0, this, [done = std::move(done), token, failure] { done(token, failure); });
    };
    if (d->revoked)
        return later(QString(), d->revokedText);
    if (!d->refresh && d->Good(refused))
        return later(d->grant.accessToken, QString());
    if (d->grant.refreshToken.isEmpty())
        return later(QString(), QStringLiteral("the access token has run out and there is no refresh token; ")
                                    + QStringLiteral("sign in again in E-mail setup"));
    d->waiting << std::move(done);
    if (d->refresh)
        return;
    OAuthTokenRequest::Form form{{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                 {QStringLiteral("refresh_token"), d->grant.refreshToken},
                                 {QStringLiteral("client_id"), d->provider.clientId}};
    if (!d->provider.clientSecret.isEmpty())
        form << qMakePair(QStringLiteral("client_secret"), d->provider.clientSecret);
    d->refresh = OAuthTokenRequest::Post(
        QUrl(d->provider.tokenUrl), form,
        [this](const QJsonObject& answer, const OAuthError& error) { RefreshAnswered(answer, error); });
}

void OAuthSession::RefreshAnswered(const QJsonObject& answer, OAuthError error)
{
    d->refresh.reset();
    const QList<Done> waiting = std::exchange(d->waiting, {});
    OAuthGrant fresh;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (error.code.isEmpty() && error.description.isEmpty()
        && OAuthTokenRequest::ReadGrant(answer, now, fresh, error)) {
        // The refresh token and the account stay unless the provider replaced them.
        if (fresh.refreshToken.isEmpty())
            fresh.refreshToken = d->grant.refreshToken;
        if (fresh.account.isEmpty())
            fresh.account = d->grant.account;
        d->grant = fresh;
        d->lifeMs = fresh.expiresAt.isValid() ? now.msecsTo(fresh.expiresAt) : 0;
        const QString token = fresh.accessToken;
        Q_EMIT Refreshed(fresh); // may delete this: only locals from here on
        for (const Done& done : waiting)
            done(token, QString());
        return;
    }
    QString failure;
    if (error.Revoked()) {
        d->revoked = true;
        d->revokedText = kWithdrawn;
        if (!error.description.isEmpty())
            d->revokedText += QStringLiteral(": ") + error.description;
        failure = d->revokedText;
    } else {
        failure = QStringLiteral("the access token could not be renewed: ") + error.Text();
    }
    for (const Done& done : waiting)
        done(QString(), failure);
}
