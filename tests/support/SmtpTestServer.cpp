#include "SmtpTestServer.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QHostAddress>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace TestSupport {

namespace {

QString SupportScript(const char* name)
{
    return QStringLiteral(CORVANTA_SOURCE_DIR "/tests/support/") + QLatin1String(name);
}

// Children die with the test, even when it crashes before any destructor runs.
void DieWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

QString SystemPython()
{
    return QStringLiteral("/usr/bin/python3");
}

QJsonObject InspectMessage(const QString& path)
{
    QProcess process;
    DieWithParent(process);
    process.start(SystemPython(), {SupportScript("mail_inspect.py"), path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {{QStringLiteral("error"),
                 QString::fromUtf8(process.readAllStandardError()) + process.errorString()}};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(process.readAllStandardOutput(), &error);
    if (!document.isObject())
        return {{QStringLiteral("error"), error.errorString()}};
    return document.object();
}

int StartServerProcess(QProcess& process, const QStringList& arguments, QString& error)
{
    process.start(SystemPython(), arguments);
    if (!process.waitForStarted(30000)) {
        error = QStringLiteral("python did not start: ") + process.errorString();
        return 0;
    }
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        if (!process.canReadLine()) {
            process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
            continue;
        }
        const QByteArray line = process.readLine().trimmed();
        if (line.startsWith("PORT "))
            return line.mid(5).toInt();
    }
    return 0;
}

SmtpTestServer::SmtpTestServer() : SmtpTestServer(Options()) {}

SmtpTestServer::SmtpTestServer(Options options) : m_options(std::move(options))
{
    DieWithParent(m_process);
}

SmtpTestServer::~SmtpTestServer()
{
    Stop();
}

QString MakeCertificate(const QString& folder, const QStringList& names, bool signedByAuthority)
{
    QStringList alternatives;
    for (const QString& name : names)
        alternatives << (QHostAddress(name).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + name;
    const auto openssl = [&folder](QStringList arguments) {
        QProcess process;
        DieWithParent(process);
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("openssl"), arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return QStringLiteral("openssl failed: ") + QString::fromUtf8(process.readAll()) + process.errorString();
        return QString();
    };
    const QStringList newKey =
        QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes").split(u' ');
    const QStringList server = newKey + QStringList{QStringLiteral("-subj"), QStringLiteral("/CN=") + names.first(),
                                                    QStringLiteral("-addext"),
                                                    QStringLiteral("subjectAltName=") + alternatives.join(u','),
                                                    QStringLiteral("-keyout"), QStringLiteral("key.pem")};
    if (!signedByAuthority)
        return openssl(QStringList{"req", "-x509", "-days", "2", "-out", "cert.pem"} + server);
    QString problem = openssl(QStringList{"req", "-x509", "-days", "2", "-subj", "/CN=Test Authority", "-addext",
                                          "basicConstraints=critical,CA:TRUE", "-addext",
                                          "keyUsage=critical,keyCertSign", "-keyout", "ca.key", "-out", "ca.pem"} +
                              newKey);
    if (problem.isEmpty())
        problem = openssl(QStringList{"req", "-new", "-out", "cert.csr"} + server);
    if (problem.isEmpty())
        problem = openssl({"x509", "-req", "-in", "cert.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                           "-days", "2", "-copy_extensions", "copy", "-out", "cert.pem"});
    return problem;
}

bool InNetworkNamespace()
{
    const QString marker = QStringLiteral("CORVANTA_TEST_NETNS");
    if (qEnvironmentVariable(qPrintable(marker)) == QLatin1String(OffLoopbackAddress))
        return true;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(marker, QLatin1String(OffLoopbackAddress));
    // A home of its own: a test clears its home when it starts.
    environment.insert(QStringLiteral("CORVANTA_TEST_HOME"), QDir::home().filePath(QStringLiteral("netns")));
    QStringList arguments{QStringLiteral("--net")};
    if (::geteuid() != 0) // then it takes a user namespace as well
        arguments << QStringLiteral("--map-root-user");
    arguments << QStringLiteral("/bin/sh") << QStringLiteral("-c")
              << QStringLiteral("ip link set lo up && ip addr add %1/32 dev lo && exec \"$0\" \"$1\"")
                     .arg(QLatin1String(OffLoopbackAddress))
              << QCoreApplication::applicationFilePath()
              << QString::fromUtf8(QTest::currentTestFunction()) + u':' + QString::fromUtf8(QTest::currentDataTag());
    QProcess process;
    DieWithParent(process);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("unshare"), arguments);
    const bool ended = process.waitForFinished(240000);
    const QString output = QString::fromLocal8Bit(process.readAll());
    const QString shown = output.isEmpty() ? process.errorString() : output;
    if (!output.contains(QLatin1String("Start testing of")) && qEnvironmentVariable("CI") != QLatin1String("true")) {
        QTest::qSkip(qPrintable(QStringLiteral("no network namespace here: ") + shown), __FILE__, __LINE__);
        return false;
    }
    const bool passed = ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
                        && output.contains(QLatin1String(" passed, 0 failed, 0 skipped"));
    QTest::qVerify(passed, "the row in its network namespace", qPrintable(shown), __FILE__, __LINE__);
    return false;
}

bool SmtpTestServer::Start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString messages = m_dir.filePath(QStringLiteral("messages"));
    QDir().mkpath(messages);

    QStringList arguments{SupportScript("smtp_test_server.py"), QStringLiteral("--out"), messages};
    if (m_options.tls != Tls::None) {
        m_error = MakeCertificate(m_dir.path(), {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), m_options.host},
                                  m_options.signedByAuthority);
        if (!m_error.isEmpty())
            return false;
        arguments << QStringLiteral("--tls")
                  << (m_options.tls == Tls::StartTls ? QStringLiteral("starttls") : QStringLiteral("implicit"))
                  << QStringLiteral("--cert") << CertificateFile() << QStringLiteral("--key")
                  << m_dir.filePath(QStringLiteral("key.pem"));
    }
    if (!m_options.user.isEmpty())
        arguments << QStringLiteral("--user") << m_options.user << QStringLiteral("--password") << m_options.password;
    if (!m_options.tokenFile.isEmpty())
        arguments << QStringLiteral("--token-file") << m_options.tokenFile;
    if (!m_options.introspectUrl.isEmpty())
        arguments << QStringLiteral("--introspect") << m_options.introspectUrl;
    arguments << QStringLiteral("--mechanisms") << m_options.mechanisms;
    for (const QString& address : m_options.reject)
        arguments << QStringLiteral("--reject") << address;
    if (m_options.dropAfter > 0)
        arguments << QStringLiteral("--drop-after") << QString::number(m_options.dropAfter)
                  << QStringLiteral("--drop-mode")
                  << (m_options.drop == Drop::AfterReply ? QStringLiteral("reply") : QStringLiteral("next"));
    for (const auto& [on, flag] : {std::pair{m_options.silent, "--silent"}, {m_options.stallData, "--stall-data"},
                                   {m_options.refuseEhlo, "--no-ehlo"}, {m_options.pipelining, "--pipelining"},
                                   {m_options.smtpUtf8, "--smtputf8"}})
        if (on)
            arguments << QLatin1String(flag);
    arguments << QStringLiteral("--host") << m_options.host;

    const QString log = m_dir.filePath(QStringLiteral("server.log"));
    m_process.setStandardErrorFile(log);
    m_port = StartServerProcess(m_process, arguments, m_error);
    if (m_port > 0)
        return true;
    if (m_error.isEmpty())
        m_error = QStringLiteral("the test SMTP server did not come up: ") + QString::fromUtf8(ReadBytes(log));
    Stop();
    return false;
}

void StopServerProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void SmtpTestServer::Stop()
{
    StopServerProcess(m_process);
}

int SmtpTestServer::Counter(const char* name) const
{
    return ReadBytes(m_dir.filePath(QStringLiteral("messages/") + QLatin1String(name))).toInt();
}

int SmtpTestServer::MessageCount() const
{
    return static_cast<int>(QDir(m_dir.filePath(QStringLiteral("messages")))
                                .entryList({QStringLiteral("*.json")}, QDir::Files)
                                .size());
}

QString SmtpTestServer::MessageFile(int number) const
{
    return m_dir.filePath(QStringLiteral("messages/%1.eml").arg(number, 4, 10, QLatin1Char('0')));
}

QJsonObject SmtpTestServer::Envelope(int number) const
{
    const QString path = m_dir.filePath(QStringLiteral("messages/%1.json").arg(number, 4, 10, QLatin1Char('0')));
    return QJsonDocument::fromJson(ReadBytes(path)).object();
}

QSet<QString> SmtpTestServer::FirstRecipients() const
{
    QSet<QString> first;
    for (int i = 1; i <= MessageCount(); ++i)
        first.insert(Envelope(i).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString());
    return first;
}

} // namespace TestSupport
