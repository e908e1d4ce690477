#include "platform/oauth/OAuthSignIn.h"

#include "platform/oauth/OAuthTokenRequest.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QOAuthHttpServerReplyHandler>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace {

OAuthSignIn::Browser& TheBrowser()
{
    static OAuthSignIn::Browser browser = [](const QUrl& address) {
        return QProcess::startDetached(QStringLiteral("xdg-open"), {address.toString(QUrl::FullyEncoded)});
    };
    return browser;
}

// `bytes` from the system's CSPRNG, base64url without padding.
QString RandomText(int bytes)
{
    QList<quint32> words((bytes + 3) / 4);
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray raw(reinterpret_cast<const char*>(words.constData()), bytes);
    return QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

// The page the browser shows at the end; the handler wraps it in <body>.
QString Page(const QString& outcome)
{
    return QStringLiteral("<p>Corvanta: %1</p><p>You may close this tab.</p>").arg(outcome.toHtmlEscaped());
}

// The handler writes its page after callbackReceived returns, and the
// browser must still get it: close the listener now, delete it a little later.
struct CloseListener
{
    void operator()(QOAuthHttpServerReplyHandler* listener) const
    {
        listener->disconnect();
        listener->close();
        QTimer::singleShot(5000, listener, &QObject::deleteLater);
    }
};

} // namespace

struct OAuthSignIn::Private
{
    OAuthProvider provider;
    std::unique_ptr<QOAuthHttpServerReplyHandler, CloseListener> listener;
    OAuthTokenRequest::Handle request;
    QString verifier;
    QString state;
    QString redirectUri;
    // Device grant
    QTimer poll;
    QString deviceCode;
    int intervalSeconds = 5;
    QDeadlineTimer expiry;
    bool running = false;
    int generation = 0; // tells a late failure of an earlier start apart

    void Stop()
    {
        running = false;
        ++generation;
        poll.stop();
        listener.reset();
        request.reset();
    }
};

void OAuthSignIn::SetBrowser(Browser browser)
{
    TheBrowser() = std::move(browser);
}

OAuthSignIn::OAuthSignIn(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->poll.setSingleShot(true);
    connect(&d->poll, &QTimer::timeout, this, [this] { PollDevice(); });
}

OAuthSignIn::~OAuthSignIn() = default;

bool OAuthSignIn::IsRunning() const
{
    return d->running;
}

void OAuthSignIn::Cancel()
{
    d->Stop();
}

void OAuthSignIn::Finish(const OAuthGrant& grant)
{
    d->Stop();
    Q_EMIT Granted(grant); // may delete this
}

void OAuthSignIn::Fail(const QString& reason)
{
    d->Stop();
    Q_EMIT Failed(reason); // may delete this
}

// Ends the start of a sign-in with Failed, from the event loop as any other end.
void OAuthSignIn::FailSoon(const QString& reason)
{
    QTimer::singleShot(0, this, [this, reason, generation = d->generation] {
        if (d->running && d->generation == generation)
            Fail(reason);
    });
}

void OAuthSignIn::Start(const OAuthProvider& provider)
{
    d->Stop();
    d->provider = provider;
    d->running = true;
    const QUrl authorize(provider.authorizeUrl);
    if (!authorize.isValid() || authorize.scheme().isEmpty() || QUrl(provider.tokenUrl).scheme().isEmpty())
        return FailSoon(QStringLiteral("the provider's sign-in addresses are missing or not valid"));
    if (provider.clientId.isEmpty())
        return FailSoon(QStringLiteral("no client ID is set for the provider"));

    d->listener.reset(new QOAuthHttpServerReplyHandler(QHostAddress::LocalHost, 0));
    if (!d->listener->isListening())
        return FailSoon(QStringLiteral("no port on this computer could be opened for the provider's answer"));
    connect(d->listener.get(), &QAbstractOAuthReplyHandler::callbackReceived, this,
            [this](const QVariantMap& values) { Answered(values); });
    d->redirectUri = d->listener->callback();
    d->verifier = RandomText(48); // 64 characters
    d->state = RandomText(16);
    const QString challenge = QString::fromLatin1(
        QCryptographicHash::hash(d->verifier.toLatin1(), QCryptographicHash::Sha256)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));

    OAuthTokenRequest::Form query{{QStringLiteral("response_type"), QStringLiteral("code")},
                                  {QStringLiteral("client_id"), provider.clientId},
                                  {QStringLiteral("redirect_uri"), d->redirectUri},
                                  {QStringLiteral("scope"), provider.scope},
                                  {QStringLiteral("state"), d->state},
                                  {QStringLiteral("code_challenge"), challenge},
                                  {QStringLiteral("code_challenge_method"), QStringLiteral("S256")}};
    // Without these Google hands out no refresh token.
    if (provider.kind == OAuthProvider::Google)
        query << qMakePair(QStringLiteral("access_type"), QStringLiteral("offline"))
              << qMakePair(QStringLiteral("prompt"), QStringLiteral("consent"));
    QUrl address = authorize;
    const QByteArray own = OAuthTokenRequest::Encode(query);
    address.setQuery(authorize.hasQuery() ? authorize.query(QUrl::FullyEncoded) + u'&' + QString::fromLatin1(own)
                                          : QString::fromLatin1(own),
                     QUrl::StrictMode);
    // Without a browser the user may still open the address by hand, on
    // this machine: the loopback waits.
    const bool opened = TheBrowser()(address);
    Q_EMIT AddressOpened(address, opened);
}

void OAuthSignIn::Answered(const QVariantMap& values)
{
    // The handler passes the query's values partly encoded.
    const auto value = [&values](const char* name) {
        QString text = values.value(QLatin1String(name)).toString();
        return QUrl::fromPercentEncoding(text.replace(u'+', u' ').toUtf8());
    };
    if (!values.contains(QStringLiteral("state")) && !values.contains(QStringLiteral("code"))
        && !values.contains(QStringLiteral("error")))
        return; // not the provider's answer (a browser asking for an icon)
    d->listener->setCallbackText(Page(QStringLiteral("the sign-in did not succeed.")));
    if (value("state") != d->state)
        return Fail(QStringLiteral("the provider's answer did not belong to this sign-in"));
    if (!value("error").isEmpty()) {
        const OAuthError error{value("error"), value("error_description")};
        return Fail(QStringLiteral("the provider refused the sign-in: ") + error.Text());
    }
    const QString code = value("code");
    if (code.isEmpty())
        return Fail(QStringLiteral("the provider's answer held no authorization code"));
    d->listener->setCallbackText(Page(QStringLiteral("you are signed in.")));
    d->listener.reset(); // one answer only

    OAuthTokenRequest::Form form{{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                 {QStringLiteral("code"), code},
                                 {QStringLiteral("redirect_uri"), d->redirectUri},
                                 {QStringLiteral("client_id"), d->provider.clientId},
                                 {QStringLiteral("code_verifier"), d->verifier}};
    if (!d->provider.clientSecret.isEmpty())
        form << qMakePair(QStringLiteral("client_secret"), d->provider.clientSecret);
    d->request = OAuthTokenRequest::Post(QUrl(d->provider.tokenUrl), form,
                                         [this](const QJsonObject& answer, const OAuthError& error) {
                                             Exchanged(answer, error);
                                         });
}

void OAuthSignIn::Exchanged(const QJsonObject& answer, OAuthError error)
{
    OAuthGrant grant;
    if (error.code.isEmpty() && error.description.isEmpty()
        && OAuthTokenRequest::ReadGrant(answer, QDateTime::currentDateTimeUtc(), grant, error))
        return Finish(grant);
    Fail(QStringLiteral("the provider did not hand out a token: ") + error.Text());
}

void OAuthSignIn::StartDevice(const OAuthProvider& provider)
{
    d->Stop();
    d->provider = provider;
    d->running = true;
    if (QUrl(provider.deviceUrl).scheme().isEmpty() || QUrl(provider.tokenUrl).scheme().isEmpty())
        return FailSoon(QStringLiteral("the provider offers no sign-in with a code on another device"));
    if (provider.clientId.isEmpty())
        return FailSoon(QStringLiteral("no client ID is set for the provider"));
    const OAuthTokenRequest::Form form{{QStringLiteral("client_id"), provider.clientId},
                                       {QStringLiteral("scope"), provider.scope}};
    d->request = OAuthTokenRequest::Post(QUrl(provider.deviceUrl), form,
                                         [this](const QJsonObject& answer, const OAuthError& error) {
                                             DeviceAnswered(answer, error);
                                         });
}

void OAuthSignIn::DeviceAnswered(const QJsonObject& answer, const OAuthError& error)
{
    d->request.reset();
    if (!error.code.isEmpty() || !error.description.isEmpty())
        return Fail(QStringLiteral("the provider gave no sign-in code: ") + error.Text());
    const auto number = [&answer](const char* name, qint64 fallback) {
        const QJsonValue value = answer.value(QLatin1String(name));
        const qint64 given = value.isString() ? value.toString().toLongLong() : value.toInteger(0);
        return given > 0 ? given : fallback;
    };
    d->deviceCode = answer.value(QLatin1String("device_code")).toString();
    const QString userCode = answer.value(QLatin1String("user_code")).toString();
    // Microsoft says verification_url.
    QString where = answer.value(QLatin1String("verification_uri")).toString();
    if (where.isEmpty())
        where = answer.value(QLatin1String("verification_url")).toString();
    if (d->deviceCode.isEmpty() || userCode.isEmpty() || where.isEmpty())
        return Fail(QStringLiteral("the provider's answer held no sign-in code"));
    d->intervalSeconds = int(std::clamp<qint64>(number("interval", 5), 1, 300));
    d->expiry = QDeadlineTimer(number("expires_in", 900) * 1000);
    d->poll.start(d->intervalSeconds * 1000);
    Q_EMIT DeviceCode(userCode, QUrl(where));
}

void OAuthSignIn::PollDevice()
{
    if (d->expiry.hasExpired())
        return Fail(QStringLiteral("the code expired before the sign-in was completed; start again"));
    OAuthTokenRequest::Form form{
        {QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
        {QStringLiteral("device_code"), d->deviceCode},
        {QStringLiteral("client_id"), d->provider.clientId}};
    if (!d->provider.clientSecret.isEmpty())
        form << qMakePair(QStringLiteral("client_secret"), d->provider.clientSecret);
    d->request = OAuthTokenRequest::Post(QUrl(d->provider.tokenUrl), form,
                                         [this](const QJsonObject& answer, const OAuthError& error) {
                                             Polled(answer, error);
                                         });
}

void OAuthSignIn::Polled(const QJsonObject& answer, const OAuthError& error)
{
    d->request.reset();
    if (error.code == QLatin1String("authorization_pending") || error.code == QLatin1String("slow_down")) {
        if (error.code == QLatin1String("slow_down"))
            d->intervalSeconds += 5;
        d->poll.start(d->intervalSeconds * 1000);
        return;
    }
    if (error.code == QLatin1String("access_denied"))
        return Fail(QStringLiteral("the sign-in was declined at the provider"));
    if (error.code == QLatin1String("expired_token"))
        return Fail(QStringLiteral("the code expired before the sign-in was completed; start again"));
    Exchanged(answer, error);
}
