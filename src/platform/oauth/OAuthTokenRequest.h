#pragma once

#include "platform/oauth/OAuthProvider.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPair>
#include <QUrl>

#include <functional>
#include <memory>

// One POST of a form to a provider's token or device authorization
// endpoint, and its JSON answer. A refusal (RFC 6749 5.2: "error" and
// "error_description", whatever the status), an answer that is no JSON
// object and a failure to get one at all all end as an OAuthError.
class OAuthTokenRequest : public QObject
{
    Q_OBJECT

public:
    using Form = QList<QPair<QString, QString>>;
    // `error.code` and `error.description` both empty: `answer` holds the reply.
    using Done = std::function<void(const QJsonObject& answer, const OAuthError& error)>;

    // Disposal that never deletes a request inside its own reply's signal,
    // and keeps `done` from running once the owner let go.
    struct Release
    {
        void operator()(OAuthTokenRequest* request) const;
    };
    using Handle = std::unique_ptr<OAuthTokenRequest, Release>;

    static constexpr int TimeLimitMs = 60000;

    // Sends at once; `done` runs once, from the event loop.
    static Handle Post(const QUrl& endpoint, const Form& form, Done done);

    // The form as application/x-www-form-urlencoded; also makes query strings.
    static QByteArray Encode(const Form& form);
    // A token endpoint's answer read as a grant; `now` is when it came.
    // Fails when it carries no access token.
    static bool ReadGrant(const QJsonObject& answer, const QDateTime& now, OAuthGrant& grant, OAuthError& error);

private:
    OAuthTokenRequest(const QUrl& endpoint, const Form& form, Done done);
    void Finish(QNetworkReply* reply);

    QNetworkAccessManager m_network;
    Done m_done;
};
