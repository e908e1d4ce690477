#pragma once

#include <QString>

// The program's own name and version, as shown in titles and messages.
namespace AppInfo {

inline QString ProductName() { return QStringLiteral("Corvanta"); }
inline QString CompanyName() { return QStringLiteral("Corvanta Software"); }
// The maker's web site: update pages live below it, and mails name it.
inline QString HomePage() { return QStringLiteral("https://www.corvanta.example"); }
// The maker's address for questions, and what the about box says of the
// program.
inline QString InfoMail() { return QStringLiteral("info@corvanta.example"); }
inline QString Description()
{
    return QStringLiteral("Personalised e-mail to a list of recipients, in four steps");
}
inline QString Copyright() { return QStringLiteral("Copyright \u00a9 2026 Corvanta Software"); }
constexpr int Major = CORVANTA_VERSION_MAJOR;
constexpr int Minor = CORVANTA_VERSION_MINOR;
constexpr int Revision = CORVANTA_VERSION_REVISION;

// The title that message boxes without a caption of their own carry.
inline QString Title() { return ProductName(); }

} // namespace AppInfo
