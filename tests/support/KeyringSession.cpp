#include "KeyringSession.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <sys/prctl.h>

namespace TestSupport {

namespace {

const char* const KindVariable = "CORVANTA_KEYRING_KIND";
// By Kind.
const char* const KindNames[] = {"keyring", "bus-without-keyring", "no-bus"};

// A session bus that activates nothing: no service of the system's can
// stand in for the keyring or start one.
const char* const BusConfiguration = R"(<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

void DieWithTheTest(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

bool Fail(const QString& why)
{
    std::fprintf(stderr, "%s: %s\n", qgetenv(KindVariable).constData(), qPrintable(why));
    return false;
}

// The keyring is ready once its default collection (the login keyring) is.
bool DefaultCollectionReady(const QString& address)
{
    const QString name = QStringLiteral("keyring probe");
    QDBusMessage reply;
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
            QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
        call << QStringLiteral("default");
        reply = QDBusConnection::connectToBus(address, name).call(call, QDBus::Block, 2000);
    }
    QDBusConnection::disconnectFromBus(name);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path() != QLatin1String("/");
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
    for (int kind = 0; kind < int(std::size(KindNames)); ++kind)
        if (name == KindNames[kind])
            return Kind(kind);
    return Kind::NoBus;
}

bool KeyringSession::LockKeyring()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    call << QVariant::fromValue(QList<QDBusObjectPath>{
        QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/collection/login"))});
    return QDBusConnection::sessionBus().call(call).type() == QDBusMessage::ReplyMessage;
}

bool KeyringSession::Start()
{
    // The keyring library would pick another desktop's wallet, or start a
    // bus for a display.
    for (const char* variable : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "KDE_SESSION_VERSION", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        qunsetenv(variable);
    const Kind kind = Current();
    return kind == Kind::NoBus ||
           (StartBus() && (kind == Kind::BusWithoutKeyring || StartKeyring()));
}

bool KeyringSession::StartBus()
{
    const QString configuration =
        qEnvironmentVariable("HOME") + QStringLiteral("/session-bus.conf");
    QFile file(configuration);
    if (!file.open(QIODevice::WriteOnly) || file.write(BusConfiguration) < 0)
        return Fail(QStringLiteral("cannot write ") + configuration);
    file.close();
    DieWithTheTest(m_bus);
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + configuration, QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    while (!m_bus.canReadLine())
        if (!m_bus.waitForReadyRead(10000))
            return Fail(QStringLiteral("dbus-daemon gave no address: ") + m_bus.errorString());
    m_address = QString::fromUtf8(m_bus.readLine().trimmed());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    return true;
}

bool KeyringSession::StartKeyring()
{
    DieWithTheTest(m_keyring);
    // --unlock makes the login keyring with the password on standard input.
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(10000))
        return Fail(QStringLiteral("gnome-keyring-daemon did not start: ") +
                    m_keyring.errorString());
    m_keyring.write("test keyring password");
    m_keyring.closeWriteChannel();
    m_keyring.waitForBytesWritten(5000); // no events run here to send it
    const QDeadlineTimer deadline(10000);
    while (!DefaultCollectionReady(m_address)) {
        if (deadline.hasExpired() || m_keyring.state() != QProcess::Running)
            return Fail(QStringLiteral("gnome-keyring-daemon offered no keyring: ") +
                        QString::fromUtf8(m_keyring.readAllStandardError()));
        QThread::msleep(50);
    }
    return true;
}

int RunOncePerKeyringKind(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString home = qEnvironmentVariable("CORVANTA_TEST_HOME");
    int failedKinds = 0;
    for (const char* kind : KindNames) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(KindVariable), QString::fromLatin1(kind));
        if (!home.isEmpty())
            environment.insert(QStringLiteral("CORVANTA_TEST_HOME"),
                               home + u'-' + QLatin1String(kind));
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        DieWithTheTest(child);
        std::printf("*** Under %s\n", kind);
        std::fflush(stdout);
        child.start(QCoreApplication::applicationFilePath(), app.arguments().mid(1));
        const bool passed = child.waitForFinished(-1) &&
                            child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
        failedKinds += passed ? 0 : 1;
    }
    return failedKinds;
}

} // namespace TestSupport
