#include "platform/providers/contacts/MailProfileDefaults.h"

#include "platform/providers/contacts/ThunderbirdPrefs.h"
#include "platform/providers/contacts/ThunderbirdProfiles.h"

#include <QDir>

namespace MailProfileDefaults {

namespace {

ThunderbirdPrefs DefaultProfilePrefs(const QString& home)
{
    const ThunderbirdProfiles::Profile profile = ThunderbirdProfiles::FindDefault(home);
    return profile.Folder.isEmpty() ? ThunderbirdPrefs() : ThunderbirdPrefs::Load(profile.Folder);
}

} // namespace

QString SmtpServer(const QString& home)
{
    return DefaultProfilePrefs(home).DefaultSmtpServer();
}

QString SmtpUsername(const QString& home)
{
    return DefaultProfilePrefs(home).DefaultSmtpUsername();
}

QString SmtpServer()
{
    return SmtpServer(QDir::homePath());
}

QString SmtpUsername()
{
    return SmtpUsername(QDir::homePath());
}

} // namespace MailProfileDefaults
