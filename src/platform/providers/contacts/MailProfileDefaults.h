#pragma once

#include <QString>

// The default mail account's outgoing server, as the mail settings take it
// for their defaults: the default SMTP server of the default mail profile
// (ThunderbirdProfiles, ThunderbirdPrefs). Empty when there is no profile,
// no prefs.js or no outgoing server. Never fails.
namespace MailProfileDefaults {

QString SmtpServer();
QString SmtpUsername();

// The same below another home folder.
QString SmtpServer(const QString& home);
QString SmtpUsername(const QString& home);

} // namespace MailProfileDefaults
