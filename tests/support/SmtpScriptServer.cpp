#include "SmtpScriptServer.h"

#include "SmtpTestServer.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

namespace TestSupport {

struct SmtpScriptServer::Connection
{
    int number = 0;
    QSslSocket* socket = nullptr;
    QStringList script;
    qsizetype step = 0;
    QByteArray input;
    QStringList received;
    bool busy = false; // a step is under way (TLS, a pause)
};

SmtpScriptServer::SmtpScriptServer(QList<QStringList> scripts, QString tlsName)
    : m_scripts(std::move(scripts)), m_tlsName(std::move(tlsName))
{
}

SmtpScriptServer::~SmtpScriptServer()
{
    for (Connection* connection : std::as_const(m_connections)) {
        connection->socket->disconnect(this);
        delete connection;
    }
}

bool SmtpScriptServer::Start(const QString& address)
{
    const bool tls = std::any_of(m_scripts.cbegin(), m_scripts.cend(),
                                 [](const QStringList& s) { return s.contains(QStringLiteral("TLS")); });
    const QStringList names = m_tlsName == QLatin1String("localhost")
                                  ? QStringList{m_tlsName, QStringLiteral("127.0.0.1")}
                                  : QStringList{m_tlsName};
    if (tls && !MakeCertificate(m_dir.path(), names).isEmpty())
        return false;
    return listen(QHostAddress(address));
}

QList<QStringList> SmtpScriptServer::Received() const
{
    QList<QStringList> all;
    for (const Connection* connection : m_connections)
        all.append(connection->received);
    return all;
}

void SmtpScriptServer::Problem(const Connection& connection, const QString& text)
{
    m_problems.append(QStringLiteral("connection %1: %2").arg(connection.number).arg(text));
}

void SmtpScriptServer::incomingConnection(qintptr descriptor)
{
    auto* connection = new Connection;
    connection->number = int(m_connections.size()) + 1;
    connection->socket = new QSslSocket(this);
    connection->socket->setSocketDescriptor(descriptor);
    m_connections.append(connection);
    if (connection->number > m_scripts.size()) {
        Problem(*connection, QStringLiteral("not in the scripts"));
        connection->socket->abort();
        return;
    }
    connection->script = m_scripts.at(connection->number - 1);
    connect(connection->socket, &QSslSocket::readyRead, this, [this, connection] {
        connection->input += connection->socket->readAll();
        Run(*connection);
    });
    connect(connection->socket, &QSslSocket::encrypted, this, [this, connection] {
        connection->busy = false;
        Run(*connection);
    });
    Run(*connection);
}

void SmtpScriptServer::Run(Connection& c)
{
    while (!c.busy && c.socket->state() == QAbstractSocket::ConnectedState) {
        if (c.step >= c.script.size()) {
            // A client that says goodbye at the end needs no line for it.
            if (c.input.startsWith("QUIT\r\n")) {
                c.received.append(QStringLiteral("QUIT"));
                c.input.remove(0, 6);
            }
            if (!c.input.isEmpty()) {
                Problem(c, QStringLiteral("the script is over but the client sent %1").arg(QString::fromUtf8(c.input)));
                c.input.clear();
            }
            return;
        }
        const QString step = c.script.at(c.step);
        const QString text = step.mid(3);
        if (step.startsWith(QLatin1String("S: "))) {
            c.socket->write(text.toUtf8() + "\r\n");
        } else if (step.startsWith(QLatin1String("C: "))) {
            const qsizetype end = c.input.indexOf("\r\n");
            if (end < 0)
                return;
            const QString line = QString::fromUtf8(c.input.left(end));
            c.input.remove(0, end + 2);
            c.received.append(line);
            const bool matches = text.endsWith(u'*') ? line.startsWith(text.chopped(1)) : line == text;
            if (!matches) {
                Problem(c, QStringLiteral("expected \"%1\", got \"%2\"").arg(text, line));
                c.socket->abort();
                return;
            }
        } else if (step == QLatin1String("MESSAGE")) {
            const qsizetype end = c.input.startsWith(".\r\n") ? 0 : c.input.indexOf("\r\n.\r\n");
            if (end < 0)
                return;
            QByteArray message = end == 0 ? QByteArray() : c.input.left(end + 2);
            c.input.remove(0, end == 0 ? 3 : end + 5);
            message.replace("\r\n..", "\r\n.");
            if (message.startsWith(".."))
                message.remove(0, 1);
            m_messages.append(message);
            c.received.append(QStringLiteral("<message>"));
        } else if (step == QLatin1String("TLS")) {
            c.socket->setLocalCertificate(CertificateFile());
            QFile key(m_dir.filePath(QStringLiteral("key.pem")));
            key.open(QIODevice::ReadOnly);
            c.socket->setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
            c.busy = true;
            ++c.step;
            c.socket->startServerEncryption();
            return;
        } else if (step == QLatin1String("PAUSE")) {
            c.busy = true;
            QTimer::singleShot(100, this, [this, &c] {
                c.busy = false;
                Run(c);
            });
        } else if (step == QLatin1String("CLOSE")) {
            ++c.step;
            c.socket->disconnectFromHost();
            return;
        } else {
            Problem(c, QStringLiteral("unknown step %1").arg(step));
            return;
        }
        ++c.step;
    }
}

} // namespace TestSupport
