#pragma once

#include <QByteArrayList>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

class QSslSocket;

namespace TestSupport {

// An SMTP server that plays a transcript, for what real servers will not
// do on request. It runs in the test's own event loop; the
// n-th connection plays the n-th script, one step after the other:
//
//   "S: text"   sends the line (CRLF added)
//   "C: text"   waits for the client's next line and requires it to be this
//               one; a text ending in "*" is a prefix
//   "MESSAGE"   waits for message data up to the lone "." and keeps it
//   "TLS"       starts TLS as the server (a certificate for `tlsName`)
//   "PAUSE"     waits 100 ms
//   "CLOSE"     hangs up
//
// Because each "S:" waits for the "C:" lines before it, a script that
// takes several commands before answering passes only when the client
// sends them without waiting (pipelining). A connection beyond the scripts,
// a line the script did not expect, or a script that ends while the client
// still talks is written down in Problems().
class SmtpScriptServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit SmtpScriptServer(QList<QStringList> scripts, QString tlsName = QStringLiteral("localhost"));
    ~SmtpScriptServer() override;

    // On 127.0.0.1, or another address of this machine.
    bool Start(const QString& address = QStringLiteral("127.0.0.1"));
    int Port() const { return serverPort(); }
    // The certificate of TLS steps, to trust in the client.
    QString CertificateFile() const { return m_dir.filePath(QStringLiteral("cert.pem")); }

    int Connections() const { return int(m_connections.size()); }
    const QByteArrayList& Messages() const { return m_messages; }
    // Every line each connection received, in order.
    QList<QStringList> Received() const;
    const QStringList& Problems() const { return m_problems; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection;
    void Run(Connection& connection);
    void Problem(const Connection& connection, const QString& text);

    QList<QStringList> m_scripts;
    QString m_tlsName;
    QTemporaryDir m_dir;
    QList<Connection*> m_connections;
    QByteArrayList m_messages;
    QStringList m_problems;
};

} // namespace TestSupport
