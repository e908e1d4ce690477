#include "platform/sysinfo/SystemVersions.h"

#include "platform/sysinfo/VersionProbe.h"

namespace {

SystemVersions& record()
{
    static SystemVersions versions;
    return versions;
}

} // namespace

SystemVersions GetSystemVersions()
{
    return record();
}

void ProbeSystemVersions()
{
    record() = VersionProbe::FromTexts(VersionProbe::ReadThisMachine());
}

void SetSystemVersions(const SystemVersions& versions)
{
    record() = versions;
}
