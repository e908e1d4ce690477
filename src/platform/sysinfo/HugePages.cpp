#include "platform/sysinfo/HugePages.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

constexpr const char* kTunables = "GLIBC_TUNABLES";
constexpr const char* kHugeHeap = "glibc.malloc.hugetlb=1";

// "always [madvise] never": huge pages only where memory is advised.
bool OfferedOnRequest()
{
    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    return std::getline(mode, line) && line.find("[madvise]") != std::string::npos;
}

} // namespace

namespace HugePages {

void RestartWithHugePageHeap(char** argv)
{
    const char* current = std::getenv(kTunables);
    // Any hugetlb setting, ours or the user's, means there is nothing to do;
    // it also ends the loop after the restart.
    if (current && std::strstr(current, "glibc.malloc.hugetlb"))
        return;
    if (!OfferedOnRequest())
        return;
    std::string tunables = current && *current ? std::string(current) + ':' + kHugeHeap : kHugeHeap;
    if (setenv(kTunables, tunables.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Not restarted: carry on with the heap as it is.
}

} // namespace HugePages
