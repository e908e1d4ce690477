#pragma once

#include "platform/mail/SmtpTokenSource.h"
#include "platform/oauth/OAuthProvider.h"

#include <QJsonObject>
#include <QObject>

#include <memory>

// The access tokens of one signed-in account for a send run: hands out the
// one held while it is good for a while yet, and otherwise refreshes it with
// the refresh token, once for all who ask at the same time.
class OAuthSession : public QObject, public SmtpTokenSource
{
    Q_OBJECT

public:
    OAuthSession(OAuthProvider provider, OAuthGrant grant, QObject* parent = nullptr);
    ~OAuthSession() override;

    void Fetch(const QString& refused, Done done) override;

    // The grant as it stands, with a refresh token the provider replaced.
    const OAuthGrant& Grant() const;
    // The provider refused the refresh token: only a new sign-in helps.
    bool Revoked() const;

Q_SIGNALS:
    // After each refresh; the refresh token may have changed.
    void Refreshed(const OAuthGrant& grant);

private:
    void RefreshAnswered(const QJsonObject& answer, OAuthError error);

    struct Private;
    std::unique_ptr<Private> d;
};
