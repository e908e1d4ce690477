#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace TestSupport {

// Debian's own interpreter, the one that has aiosmtpd; a python found
// first on PATH may lack it.
QString SystemPython();

// What Python's email package (default policy) reads from a message file;
// the keys are listed in mail_inspect.py. {"error": ...} when it fails.
QJsonObject InspectMessage(const QString& path);

// Makes a certificate and key (cert.pem, key.pem) in `folder` for the host
// names and addresses given (at least one): self-signed, or signed by an
// authority made beside it (ca.pem). Empty when it worked, otherwise what
// went wrong.
QString MakeCertificate(const QString& folder, const QStringList& names, bool signedByAuthority = false);

// Starts a Python test server (arguments: its script and options) and waits
// for the "PORT n" line it prints. 0 when it does not come up; `error` then
// says why when python itself would not start.
int StartServerProcess(QProcess& process, const QStringList& arguments, QString& error);
// Ends it: politely, then by force.
void StopServerProcess(QProcess& process);

// A documentation address that the program does not take for loopback.
inline constexpr char OffLoopbackAddress[] = "192.0.2.1";

// For rows with a server off the loopback that send nothing off this
// machine: true in a child of the test inside a new network namespace whose
// lo also carries OffLoopbackAddress. Elsewhere it runs the row in such a
// child, reports the outcome and returns false; with no namespace to be
// had it skips the row, unless CI=true.
bool InNetworkNamespace();

// A real SMTP server (aiosmtpd, smtp_test_server.py) on 127.0.0.1 (or
// another address of this machine) and a free port, with a private folder
// for what it receives. The process is stopped by the destructor and killed
// with the test process if that dies.
class SmtpTestServer
{
public:
    enum class Tls { None, StartTls, Implicit };
    enum class Drop { AfterReply, AtNextCommand };

    struct Options
    {
        Tls tls = Tls::None;
        QString user;                      // AUTH required when set
        QString password;
        QString mechanisms = QStringLiteral("PLAIN,LOGIN"); // also XOAUTH2, OAUTHBEARER
        // AUTH required when either is set: the tokens taken, as "user token"
        // lines read at each login, or an OAuth introspection address asked
        // "?token=..." for {"active": ..., "username": ...}.
        QString tokenFile;
        QString introspectUrl;
        QStringList reject;                // recipients refused with a two-line 550
        int dropAfter = 0;                 // close a connection after this many messages
        Drop drop = Drop::AfterReply;      // right after the reply, or silently at the next MAIL
        bool silent = false;               // accept connections and never say a word
        bool stallData = false;            // never answer the end of a message
        bool refuseEhlo = false;           // answer EHLO with 502, so clients fall back to HELO
        bool pipelining = false;           // offer PIPELINING (aiosmtpd reads commands in order anyway)
        bool smtpUtf8 = false;             // offer SMTPUTF8
        QString host = QStringLiteral("127.0.0.1"); // the address to listen on
        bool signedByAuthority = false;    // the certificate is signed by AuthorityFile()
    };

    SmtpTestServer();
    explicit SmtpTestServer(Options options);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    // Makes the certificate when TLS is wanted, starts the server and waits
    // for its port. False with Error() when it cannot.
    bool Start();
    void Stop();
    QString Error() const { return m_error; }

    int Port() const { return m_port; }
    // The certificate for 127.0.0.1, localhost and the listening address
    // (self-signed unless signedByAuthority), and its authority.
    QString CertificateFile() const { return m_dir.filePath(QStringLiteral("cert.pem")); }
    QString AuthorityFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    // A scratch folder that goes with the server.
    QString WorkFolder() const { return m_dir.path(); }

    int ConnectionCount() const { return Counter("connections"); }
    int LoginCount() const { return Counter("logins"); } // AUTH attempts
    // Messages received whole and never answered (stallData).
    int StalledCount() const { return Counter("stalled"); }
    int MessageCount() const;
    QString MessageFile(int number) const; // 1-based, in order of arrival
    QJsonObject Envelope(int number) const;
    // The first recipient of every message received, in any order.
    QSet<QString> FirstRecipients() const;
    QJsonObject Inspect(int number) const { return InspectMessage(MessageFile(number)); }

private:
    int Counter(const char* name) const; // a number the server writes down
    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace TestSupport
