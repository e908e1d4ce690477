#include "OAuthTestServer.h"

#include "SmtpTestServer.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>

namespace TestSupport {

OAuthTestServer::OAuthTestServer()
{
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

OAuthTestServer::~OAuthTestServer()
{
    Stop();
}

bool OAuthTestServer::Start()
{
    m_port = StartServerProcess(
        m_process, {QStringLiteral(CORVANTA_SOURCE_DIR "/tests/support/oauth_test_server.py")}, m_error);
    if (m_port > 0)
        return true;
    if (!m_error.isEmpty())
        return false;
    m_error = QStringLiteral("the test OAuth server did not come up: ")
              + QString::fromUtf8(m_process.readAllStandardError());
    Stop();
    return false;
}

void OAuthTestServer::Stop()
{
    StopServerProcess(m_process);
}

QString OAuthTestServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port) + path;
}

OAuthProvider OAuthTestServer::Provider(OAuthProvider::Kind kind) const
{
    OAuthProvider provider;
    provider.kind = kind;
    provider.authorizeUrl = Url(QStringLiteral("authorize"));
    provider.tokenUrl = Url(QStringLiteral("token"));
    provider.deviceUrl = Url(QStringLiteral("device"));
    provider.scope = QStringLiteral("mail offline_access");
    provider.clientId = QLatin1String(ClientId);
    return provider;
}

QJsonObject OAuthTestServer::Control(const QString& query) const
{
    return Get(QStringLiteral("control?") + query);
}

bool OAuthTestServer::Active(const QString& accessToken) const
{
    return Get(QStringLiteral("introspect?token=") + QString::fromLatin1(QUrl::toPercentEncoding(accessToken)))
        .value(QLatin1String("active"))
        .toBool();
}

// Blocking, without an event loop, so that nothing of the code under test
// runs while the test talks to the server.
QJsonObject OAuthTestServer::Get(const QString& pathAndQuery) const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
    if (!socket.waitForConnected(10000))
        return {{QStringLiteral("error"), socket.errorString()}};
    socket.write("GET /" + pathAndQuery.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray received;
    while (socket.waitForReadyRead(10000) || socket.bytesAvailable() > 0)
        received += socket.readAll();
    received += socket.readAll();
    const QJsonDocument document = QJsonDocument::fromJson(received.mid(received.indexOf("\r\n\r\n") + 4));
    if (!document.isObject())
        return {{QStringLiteral("error"), QString::fromUtf8(received)}};
    return document.object();
}

} // namespace TestSupport
