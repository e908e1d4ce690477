#include "platform/oauth/OAuthProvider.h"

#include <QUrl>

OAuthProvider OAuthProvider::Preset(Kind kind, const QString& tenant)
{
    OAuthProvider provider;
    provider.kind = kind;
    switch (kind) {
    case Microsoft365: {
        const QString organisation = tenant.trimmed().isEmpty()
                                         ? QStringLiteral("common")
                                         : QString::fromLatin1(QUrl::toPercentEncoding(tenant.trimmed()));
        const QString base = QStringLiteral("https://login.microsoftonline.com/") + organisation
                             + QStringLiteral("/oauth2/v2.0/");
        provider.authorizeUrl = base + QStringLiteral("authorize");
        provider.tokenUrl = base + QStringLiteral("token");
        provider.deviceUrl = base + QStringLiteral("devicecode");
        provider.scope = QStringLiteral("https://outlook.office.com/SMTP.Send offline_access");
        break;
    }
    case Google:
        // Google's device grant does not allow the mail scope.
        provider.authorizeUrl = QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth");
        provider.tokenUrl = QStringLiteral("https://oauth2.googleapis.com/token");
        provider.scope = QStringLiteral("https://mail.google.com/");
        break;
    case Other:
        break;
    }
    return provider;
}

OAuthProvider OAuthProvider::Completed(const OAuthProvider& entered, const QString& tenant)
{
    if (entered.kind != Microsoft365 && entered.kind != Google) {
        OAuthProvider other = entered;
        other.kind = Other;
        return other;
    }
    OAuthProvider provider = Preset(entered.kind, tenant);
    provider.clientId = entered.clientId;
    provider.clientSecret = entered.clientSecret;
    if (!entered.scope.isEmpty())
        provider.scope = entered.scope;
    return provider;
}

QString OAuthError::Text() const
{
    if (code.isEmpty())
        return description;
    if (description.isEmpty())
        return code;
    return description + QStringLiteral(" (") + code + u')';
}
