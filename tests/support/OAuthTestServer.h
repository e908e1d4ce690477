#pragma once

#include "platform/oauth/OAuthProvider.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>

namespace TestSupport {

// A real OAuth2 authorization server (oauth_test_server.py, stdlib only) on
// 127.0.0.1 and a free port: the code flow with PKCE, refresh, the device
// grant, token introspection for SMTP test servers, and a control page for
// the test. Stopped by the destructor and killed with the test process.
class OAuthTestServer
{
public:
    static constexpr char ClientId[] = "corvanta-test-client";
    static constexpr char Account[] = "signed.in@example.test";

    OAuthTestServer();
    ~OAuthTestServer();
    OAuthTestServer(const OAuthTestServer&) = delete;
    OAuthTestServer& operator=(const OAuthTestServer&) = delete;

    // False with Error() when it does not come up.
    bool Start();
    void Stop();
    QString Error() const { return m_error; }
    int Port() const { return m_port; }

    // http://127.0.0.1:<port>/<path>
    QString Url(const QString& path) const;
    // This server's endpoints and client, as a provider of `kind`.
    OAuthProvider Provider(OAuthProvider::Kind kind = OAuthProvider::Other) const;

    // One GET of /control with `query` (e.g. "approve=ABCD", "life=2&rotate=1",
    // "reset=1", "issue=1"); the counters it answers ("exchanges",
    // "refreshes", "polls", "too_fast"), and "grant" when issue=1.
    // {"error": ...} when the server did not answer.
    QJsonObject Control(const QString& query) const;
    // The token is one the server issued, not yet expired nor revoked.
    bool Active(const QString& accessToken) const;

private:
    QJsonObject Get(const QString& pathAndQuery) const;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace TestSupport
