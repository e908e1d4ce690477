#pragma once

#include "platform/sysinfo/SystemVersions.h"

#include <QString>
#include <functional>
#include <memory>

class QLockFile;
class frmMain;

// The program's entry: start-up checks, splash, then the main window.
namespace modMain {

int Main(int argc, char* argv[]);

// Where the lock that marks a running instance lives.
QString InstanceLockPath();

// Takes the running-instance lock; null when another running instance holds
// it (a lock left by a crashed instance is taken over).
std::unique_ptr<QLockFile> ClaimInstance(const QString& lockPath);

// Tells the user when this machine cannot run the program and offers the
// update page; false when the program must end.
bool AcceptSystem(const SystemVersions& versions);

// Shows the splash, creates the main window while it is up, shows the main
// window and closes the splash. wait(ms) must let events run meanwhile.
std::unique_ptr<frmMain> ShowMainWindow(const std::function<void(int ms)>& wait);

// Lets events run for the given time.
void WaitProcessingEvents(int ms);

} // namespace modMain
