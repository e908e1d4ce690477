#include "shell/modMain.h"

#include "controls/Dialogs.h"
#include "controls/FrameKeepingStyle.h"
#include "shell/StartupChecks.h"
#include "base/Texts.h"
#include "shell/frmMain.h"
#include "shell/frmSplash.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace modMain {

namespace {

// The texts of the start-up messages carry the program's name and version.
QString startupText(int id, int lineBreaks = 0)
{
    const QString text = Texts::ReplaceAppTokens(LoadResString(id));
    return lineBreaks > 0 ? Texts::MessageBoxText(text, lineBreaks) : text;
}

} // namespace

QString InstanceLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/corvanta.lock");
}

std::unique_ptr<QLockFile> ClaimInstance(const QString& lockPath)
{
    auto lock = std::make_unique<QLockFile>(lockPath);
    // A lock is stale only when its process is gone; a live instance never
    // loses it however long it runs.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

bool AcceptSystem(const SystemVersions& versions)
{
    using StartupChecks::Refusal;
    const Refusal refusal = StartupChecks::Check(versions);
    switch (refusal) {
    case Refusal::None:
        return true;
    case Refusal::Windows:
        Dialogs::Message(nullptr, startupText(53), QMessageBox::Ok, Dialogs::Icon::Critical);
        return false;
    case Refusal::InternetExplorer:
    case Refusal::DataProvider: {
        const int id = StartupChecks::MessageId(refusal);
        const QString text = id == 52 ? startupText(id, 2) : startupText(id);
        const auto answer = Dialogs::Message(nullptr, text, QMessageBox::Yes | QMessageBox::No,
                                             Dialogs::Icon::Information);
        if (answer == QMessageBox::Yes)
            QDesktopServices::openUrl(QUrl(StartupChecks::UpdateAddress(refusal), QUrl::TolerantMode));
        return false;
    }
    }
    return false;
}

void WaitProcessingEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::unique_ptr<frmMain> ShowMainWindow(const std::function<void(int ms)>& wait)
{
    frmSplash splash;
    splash.ShowSplash();
    // The main window and its stored data are prepared while the splash is up.
    auto main = std::make_unique<frmMain>();
    splash.ShowSplash(main.get());
    QCoreApplication::processEvents();
    wait(1200);
    main->show();
    QCoreApplication::processEvents();
    wait(700);
    splash.close();
    main->ShowStartHints();
    return main;
}

int Main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvanta"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvanta"));
    FrameKeepingStyle::Install();

    const auto instance = ClaimInstance(InstanceLockPath());
    if (!instance) {
        Dialogs::Message(nullptr, startupText(50), QMessageBox::Ok, Dialogs::Icon::Information);
        return 0;
    }
    ProbeSystemVersions();
    if (!AcceptSystem(GetSystemVersions()))
        return 0;

    const auto main = ShowMainWindow(WaitProcessingEvents);
    return app.exec();
}

} // namespace modMain
