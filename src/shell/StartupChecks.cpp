#include "shell/StartupChecks.h"

#include "base/AppInfo.h"

namespace StartupChecks {

Refusal Check(const SystemVersions& v)
{
    // The version record holds the kernel's; only a kernel older than the C
    // library's own minimum cannot run the program.
    if (v.OSMajor < kOldestKernelMajor || (v.OSMajor == kOldestKernelMajor && v.OSMinor < kOldestKernelMinor))
        return Refusal::Windows;
    if (v.IEMajor < 5)
        return Refusal::InternetExplorer;
    if (v.ADOMajor < 2 || (v.ADOMajor == 2 && v.ADOMinor < 5))
        return Refusal::DataProvider;
    return Refusal::None;
}

int MessageId(Refusal refusal)
{
    switch (refusal) {
    case Refusal::Windows:
        return 53;
    case Refusal::InternetExplorer:
        return 51;
    case Refusal::DataProvider:
        return 52;
    case Refusal::None:
        break;
    }
    return 0;
}

QString UpdateAddress(Refusal refusal)
{
    QString component;
    if (refusal == Refusal::InternetExplorer)
        component = QStringLiteral("ie");
    else if (refusal == Refusal::DataProvider)
        component = QStringLiteral("ado");
    else
        return {};
    return AppInfo::HomePage() + QStringLiteral("/updates/?p=") +
           AppInfo::ProductName() + QStringLiteral("&v=%1.%2.%3&u=")
                                        .arg(AppInfo::Major)
                                        .arg(AppInfo::Minor)
                                        .arg(AppInfo::Revision) +
           component;
}

} // namespace StartupChecks
