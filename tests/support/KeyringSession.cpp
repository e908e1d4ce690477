#include "KeyringSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

namespace TestSupport {

namespace {

const char* const KindVariable = "CORVANTA_KEYRING_KIND";

struct KindName
{
    KeyringSession::Kind kind;
    const char* name;
};
constexpr KindName Kinds[] = {
    {KeyringSession::Kind::Keyring, "keyring"},
    {KeyringSession::Kind::BusWithoutKeyring, "bus-without-keyring"},
    {KeyringSession::Kind::NoBus, "no-bus"},
};

// A session bus that activates nothing: no service of the system's can
// stand in for the keyring or start one.
const char* const BusConfiguration = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

bool ReadLine(QProcess& process, QByteArray& line)
{
    while (!process.canReadLine())
        if (!process.waitForReadyRead(10000))
            return false;
    line = process.readLine().trimmed();
    return true;
}

// The keyring is ready once its default collection (the unlocked login
// keyring) is there.
bool DefaultCollectionReady(const QString& address, QString& problem)
{
    const QString name = QStringLiteral("keyring probe");
    bool ready = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
            QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
        call << QStringLiteral("default");
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        ready = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path() != QLatin1String("/");
        problem = reply.errorMessage();
    }
    QDBusConnection::disconnectFromBus(name);
    return ready;
}

} // namespace

KeyringSession::~KeyringSession()
{
    for (QProcess* process : {&m_keyring, &m_bus}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

KeyringSession::Kind KeyringSession::Current()
{
    const QByteArray name = qgetenv(KindVariable);
    for (const KindName& k : Kinds)
        if (name == k.name)
            return k.kind;
    return Kind::NoBus;
}

bool KeyringSession::Start(Kind kind)
{
    // The keyring library would pick another desktop's wallet.
    for (const char* variable : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "KDE_SESSION_VERSION", "DISPLAY", "WAYLAND_DISPLAY"})
        qunsetenv(variable);
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (kind == Kind::NoBus)
        return true;
    if (!StartBus())
        return false;
    return kind == Kind::BusWithoutKeyring || StartKeyring();
}

bool KeyringSession::StartBus()
{
    const QString configuration = qEnvironmentVariable("HOME") + QStringLiteral("/session-bus.conf");
    QFile file(configuration);
    if (!file.open(QIODevice::WriteOnly) || file.write(BusConfiguration) < 0) {
        m_error = QStringLiteral("cannot write ") + configuration;
        return false;
    }
    file.close();
    m_bus.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + configuration, QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    QByteArray line;
    if (!ReadLine(m_bus, line) || line.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon gave no address: ") + m_bus.errorString() +
                  QString::fromUtf8(m_bus.readAllStandardError());
        return false;
    }
    m_address = QString::fromUtf8(line);
    qputenv("DBUS_SESSION_BUS_ADDRESS", line);
    return true;
}

bool KeyringSession::StartKeyring()
{
    m_keyring.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // --unlock makes the login keyring with the password on standard input.
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(10000)) {
        m_error = QStringLiteral("gnome-keyring-daemon did not start: ") + m_keyring.errorString();
        return false;
    }
    m_keyring.write("test keyring password");
    m_keyring.closeWriteChannel();
    m_keyring.waitForBytesWritten(5000); // no events run here to send it
    const QDeadlineTimer deadline(10000);
    QString problem;
    while (!DefaultCollectionReady(m_address, problem)) {
        if (deadline.hasExpired() || m_keyring.state() != QProcess::Running) {
            m_error = QStringLiteral("gnome-keyring-daemon offered no unlocked keyring: ") + problem +
                      QString::fromUtf8(m_keyring.readAllStandardError());
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

int RunOncePerKeyringKind(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString home = qEnvironmentVariable("CORVANTA_TEST_HOME");
    int failedKinds = 0;
    for (const KindName& k : Kinds) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(KindVariable), QString::fromLatin1(k.name));
        if (!home.isEmpty())
            environment.insert(QStringLiteral("CORVANTA_TEST_HOME"),
                               home + u'-' + QString::fromLatin1(k.name));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        std::printf("*** Under %s\n", k.name);
        std::fflush(stdout);
        child.start(QString::fromLocal8Bit(argv[0]), arguments);
        const bool passed = child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit &&
                            child.exitCode() == 0;
        failedKinds += passed ? 0 : 1;
    }
    return failedKinds;
}

bool StartKeyringKind(KeyringSession& session)
{
    if (session.Start(KeyringSession::Current()))
        return true;
    std::fprintf(stderr, "%s: %s\n", qgetenv(KindVariable).constData(),
                 qPrintable(session.Error()));
    return false;
}

} // namespace TestSupport
