#include "delivery/MailSecrets.h"

#include <QHash>
#include <QMutex>

#include <optional>

namespace {

using Outcome = SecretStore::Outcome;

QString Key(const char* kind, const QString& server, const QString& user)
{
    return QLatin1String(kind) + u' ' + server.trimmed().toLower() + u' ' + user;
}

QString PasswordKey(const QString& server, const QString& user)
{
    return Key("smtp-password", server, user);
}

QString TokenKey(const QString& server, const QString& user)
{
    return Key("smtp-refresh-token", server, user);
}

// The grants of this run, by their keyring key; send runs may read them
// from other threads.
struct Grants
{
    QMutex mutex;
    QHash<QString, OAuthGrant> byKey;
};

Grants& Memory()
{
    static Grants grants;
    return grants;
}

std::optional<OAuthGrant> Remembered(const QString& key)
{
    Grants& memory = Memory();
    const QMutexLocker lock(&memory.mutex);
    const auto found = memory.byKey.constFind(key);
    if (found == memory.byKey.cend())
        return std::nullopt;
    return *found;
}

} // namespace

SecretStore::Result MailSecrets::ReadPassword(const QString& server, const QString& user)
{
    return SecretStore::Read(PasswordKey(server, user));
}

SecretStore::Result MailSecrets::StorePassword(const QString& server, const QString& user,
                                               const QString& password)
{
    return SecretStore::Write(PasswordKey(server, user), password);
}

SecretStore::Result MailSecrets::ForgetPassword(const QString& server, const QString& user)
{
    return SecretStore::Remove(PasswordKey(server, user));
}

SecretStore::Result MailSecrets::ReadGrant(const QString& server, const QString& user,
                                           OAuthGrant& grant)
{
    const QString key = TokenKey(server, user);
    if (const std::optional<OAuthGrant> remembered = Remembered(key)) {
        grant = *remembered;
        return {Outcome::Done, {}, {}};
    }
    SecretStore::Result stored = SecretStore::Read(key);
    if (stored.outcome == Outcome::Done && !stored.value.isEmpty()) {
        grant = OAuthGrant{};
        grant.refreshToken = stored.value;
    } else if (stored.outcome == Outcome::Done || stored.outcome == Outcome::NoKeyring) {
        // Without a keyring, a grant lives only in memory: none here.
        stored = {Outcome::Missing, {}, {}};
    }
    stored.value.clear(); // the token travels in the grant only
    return stored;
}

SecretStore::Result MailSecrets::StoreGrant(const QString& server, const QString& user,
                                            const OAuthGrant& grant)
{
    const QString key = TokenKey(server, user);
    OAuthGrant kept = grant;
    OAuthGrant old;
    // A refresh may come without a new refresh token: the old one stays good
    // where it is.
    const bool renewed = !grant.refreshToken.isEmpty();
    if (!renewed && ReadGrant(server, user, old).outcome == Outcome::Done)
        kept.refreshToken = old.refreshToken;
    {
        Grants& memory = Memory();
        const QMutexLocker lock(&memory.mutex);
        memory.byKey.insert(key, kept);
    }
    if (!renewed)
        return {Outcome::Done, {}, {}};
    return SecretStore::Write(key, grant.refreshToken);
}

SecretStore::Result MailSecrets::ForgetGrant(const QString& server, const QString& user)
{
    const QString key = TokenKey(server, user);
    {
        Grants& memory = Memory();
        const QMutexLocker lock(&memory.mutex);
        memory.byKey.remove(key);
    }
    return SecretStore::Remove(key);
}
