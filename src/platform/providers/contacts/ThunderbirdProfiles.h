#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The mail profiles of the current user: the profiles.ini files of the mail
// client (~/.thunderbird, ~/.mozilla-thunderbird and the snap and flatpak
// homes, in that order). A name found in an earlier folder hides the same
// name in a later one.
//
// The default profile is the one the [Install...] section's Default= names,
// else the one marked Default=1, else the only profile there is.
//
// Names are shown with the character table of the profile listing applied
// ("[t|" becomes "Ä" and so on), and are looked up by that shown form.
class ThunderbirdProfiles
{
public:
    struct Profile
    {
        QString Name;   // as shown and as it goes into PROFILE=
        QString Folder; // absolute path; may not exist
        bool IsDefault = false;
    };

    // Profiles of every profiles.ini below home, in file order. Never fails:
    // a missing or unreadable profiles.ini adds nothing.
    static QList<Profile> List(const QString& home);
    static QList<Profile> List(); // below the user's home

    // The profile listing text: one line per profile, name, tab and "1" for
    // the default or "0", lines joined by CR LF.
    static QString ListText(const QString& home);
    static QString ListText();

    // The profile of that shown name (exact comparison); the default one for
    // FindDefault. Folder is empty when there is none.
    static Profile Find(const QString& home, const QString& name);
    static Profile FindDefault(const QString& home);

    // The profile of that name whose folder exists; ContactsError::NoProfile
    // otherwise.
    static Profile Require(const QString& home, const QString& name);

    // Replaces the three-character sequences of the table by their letters.
    static QString ApplyCharacterTable(QString text);

    // Profiles of one profiles.ini, whose folder is root.
    static QList<Profile> ParseIni(const QByteArray& ini, const QString& root);

    // The folders searched below home, in order.
    static QStringList RootFolders(const QString& home);
};
