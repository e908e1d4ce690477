#pragma once

#include <QString>

#include <functional>

// Gives SMTP connections the access token they sign in with (XOAUTH2 or
// OAUTHBEARER) instead of a password, and a new one when the token runs
// out or the server refuses it. Used on the thread of the connections.
class SmtpTokenSource
{
public:
    virtual ~SmtpTokenSource() = default;

    // `token` empty: none could be had, and `failure` says why, in words
    // for the send error log (the run ends with it, as for a refused login).
    using Done = std::function<void(const QString& token, const QString& failure)>;

    // Asks for a token good for a login now. `refused`: the token the
    // server just refused, if any; a new one is wanted unless the one held
    // is already another. `done` runs exactly once, from the event loop,
    // never inside Fetch; the caller guards against having gone meanwhile.
    virtual void Fetch(const QString& refused, Done done) = 0;
};
