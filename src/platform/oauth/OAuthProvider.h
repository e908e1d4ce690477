#pragma once

#include <QDateTime>
#include <QString>

// Where a sign-in goes: the provider's endpoints, the scope asked for and
// the client the user registered with the provider (the program ships no
// client of its own).
struct OAuthProvider
{
    enum Kind : qint32 {
        Microsoft365 = 0,
        Google = 1,
        Other = 2,
    };

    Kind kind = Microsoft365;
    QString authorizeUrl;
    QString tokenUrl;
    QString deviceUrl; // empty: the provider offers no device authorization
    QString scope;     // blank-separated
    QString clientId;
    QString clientSecret; // only where the provider hands one to desktop clients

    // The endpoints and scope of a preset; `tenant` is Microsoft's
    // organisation (empty: "common"). Other gives empty endpoints.
    static OAuthProvider Preset(Kind kind, const QString& tenant = QString());
    // The provider as entered: for a preset, its endpoints replace the
    // entered ones and its scope stands in for an empty one; Other keeps
    // everything as entered.
    static OAuthProvider Completed(const OAuthProvider& entered, const QString& tenant);

    bool operator==(const OAuthProvider&) const = default;
};

// What a sign-in or a refresh gives.
struct OAuthGrant
{
    QString accessToken;
    QDateTime expiresAt;  // UTC; invalid when the provider did not say
    QString refreshToken; // may be empty after a refresh: the old one stays good
    QString account;      // who signed in, when the provider said (e-mail or login name)

    bool operator==(const OAuthGrant&) const = default;
};

// A refusal of the token endpoint (RFC 6749 5.2), or a failure to reach it.
struct OAuthError
{
    QString code;        // "invalid_grant", ...; empty for a network or format failure
    QString description; // the provider's own words, or what went wrong

    // The refresh token was revoked or has expired: only a new sign-in helps.
    bool Revoked() const { return code == QLatin1String("invalid_grant"); }
    // One line for the user and the log.
    QString Text() const;
};
