#pragma once

#include "platform/sysinfo/SystemVersions.h"

#include <QString>

// The decisions the start-up routine takes before any window exists.
namespace StartupChecks {

// The oldest kernel glibc runs on; anything older is refused.
inline constexpr int kOldestKernelMajor = 3;
inline constexpr int kOldestKernelMinor = 2;

// Why this machine cannot run the program, in the order the checks run.
enum class Refusal {
    None,
    Windows,          // kernel older than 3.2: message 53, OK only
    InternetExplorer, // network layer too old: message 51, offers the update page
    DataProvider,     // data layer too old: message 52, offers the update page
};

Refusal Check(const SystemVersions& versions);

// The string table id of the message for a refusal.
int MessageId(Refusal refusal);

// The maker's update page for a refusal that offers one: path "/updates/",
// product, full version and the component, inserted as they are.
QString UpdateAddress(Refusal refusal);

} // namespace StartupChecks
