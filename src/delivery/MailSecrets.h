#pragma once

#include "platform/keyring/SecretStore.h"
#include "platform/oauth/OAuthProvider.h"

#include <QString>

// The secrets of the mail settings, kept in the keyring under the server
// and user they belong to: the password of a login and the refresh token
// of a sign-in. Where no keyring answers, a refresh token is kept only
// while the program runs, never written in clear. The last grant (its
// access token too) is also kept in memory, so runs close together need
// no refresh.
class MailSecrets
{
public:
    static SecretStore::Result ReadPassword(const QString& server, const QString& user);
    static SecretStore::Result StorePassword(const QString& server, const QString& user,
                                             const QString& password);
    static SecretStore::Result ForgetPassword(const QString& server, const QString& user);

    // The grant of the sign-in for this server and user: the one kept in
    // memory, else one holding only the keyring's refresh token. Missing
    // when there is none (not signed in, or signed out).
    static SecretStore::Result ReadGrant(const QString& server, const QString& user, OAuthGrant& grant);
    // Keeps the grant in memory and its refresh token in the keyring;
    // NoKeyring when it is kept in memory only.
    static SecretStore::Result StoreGrant(const QString& server, const QString& user, const OAuthGrant& grant);
    static SecretStore::Result ForgetGrant(const QString& server, const QString& user);
};
