#include "TestMain.h"

#include "platform/providers/guarded/GuardedReader.h"

#include <QFileDevice>

namespace TestSupport {

QString PrepareHome()
{
    QString home = qEnvironmentVariable("CORVANTA_TEST_HOME");
    if (home.isEmpty())
        home = QDir::tempPath() + QStringLiteral("/corvanta-test-home-") +
               QString::number(QCoreApplication::applicationPid());
    QDir(home).removeRecursively();
    const QString runtime = home + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    // Never the user's session bus, nor the keyring on it: keyring tests
    // start their own (KeyringSession).
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            (QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return home;
}

void UseBuiltReaderHelper()
{
    GuardedReader::SetProgram(QStringLiteral(CORVANTA_READER_PROGRAM));
}

} // namespace TestSupport
