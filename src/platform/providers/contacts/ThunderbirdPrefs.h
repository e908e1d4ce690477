#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

// The settings of a mail profile, read from its prefs.js: lines of
// user_pref("name", value); with a string, number or true/false value.
// Statements that cannot be read (odd quoting, unknown escapes, cut-off
// lines) are skipped, never guessed at; the rest of the file still counts.
class ThunderbirdPrefs
{
public:
    // Reads <profileFolder>/prefs.js; a missing or unreadable file gives no
    // settings.
    static ThunderbirdPrefs Load(const QString& profileFolder);
    static ThunderbirdPrefs Parse(const QByteArray& text);

    // A string value as text, a number in decimal, a boolean as true/false;
    // empty when the setting is not there.
    QString Text(const QString& name) const;
    bool Contains(const QString& name) const { return m_values.contains(name); }
    const QHash<QString, QVariant>& Values() const { return m_values; }

    // The default outgoing server of the profile: mail.smtp.defaultserver
    // (else the first of mail.smtpservers) names the server whose
    // mail.smtpserver.<id>.hostname and .username these return. Empty when
    // there is none.
    QString DefaultSmtpServer() const;
    QString DefaultSmtpUsername() const;

private:
    QString DefaultSmtpId() const;

    QHash<QString, QVariant> m_values; // QString, qlonglong or bool
};
