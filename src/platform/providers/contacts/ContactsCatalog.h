#pragma once

#include <QList>
#include <QString>

// One entry of the contact folder or address book listing: the list view
// shows Text, then Path in its second column, and keeps Name as its tag. A
// chosen entry goes back into the list as OutlookPath (Path) and
// OutlookCatalog (Name).
struct ContactsCatalogEntry
{
    QString Text; // four spaces and the name
    QString Path;
    QString Name;

    bool operator==(const ContactsCatalogEntry&) const = default;
};

// The naming rules of the listings, kept apart so they can be checked alone.
namespace ContactsCatalog {

// A contact folder met while walking a folder tree under parentPath, which
// starts with two backslashes and the store's root folder name (e.g.
// "\\Top of Personal Folders\Contacts").
ContactsCatalogEntry FolderEntry(const QString& parentPath, const QString& folderName);

// A table of the catalog at that level (empty for address books) and table
// type (0 contact folders, 1 address books).
ContactsCatalogEntry TableEntry(const QString& level, int tableType, const QString& tableName);

} // namespace ContactsCatalog

// The address books of a mail profile: abook.sqlite ("Personal Address
// Book"), history.sqlite ("Collected Addresses") and every other local book
// its prefs.js names (ldap_2.servers.<id>.filename and .description). Only
// SQLite books whose file exists in the profile folder are listed; directory
// servers and file names that point outside the folder are not. The personal
// book comes first, the collected addresses last, the others by name between.
class AddressBooks
{
public:
    struct Book
    {
        QString Id;       // the <id> of ldap_2.servers.<id>
        QString Name;
        QString FilePath; // absolute
    };

    static QList<Book> OfProfileFolder(const QString& profileFolder);

    // The address book listing of the profile of that name: empty path and
    // the book's name. ContactsError::NoProfile when the profile or its
    // folder is missing.
    static QList<ContactsCatalogEntry> List(const QString& profileName);
    static QList<ContactsCatalogEntry> List(const QString& home, const QString& profileName);
};

// The contact folder tree of a mail profile: one store, "Address Books",
// holding one folder per address book, each with its mailing lists as
// sub-folders. So the personal book is path "Address Books|", name
// "Personal Address Book", and its list Friends is path
// "Address Books|Personal Address Book\", name "Friends".
//
// A book that cannot be opened is still listed, without sub-folders.
// ContactsError::NoProfile when the profile or its folder is missing.
class ContactFolders
{
public:
    static inline const QString StoreName = QStringLiteral("Address Books");

    static QList<ContactsCatalogEntry> List(const QString& profileName);
    static QList<ContactsCatalogEntry> List(const QString& home, const QString& profileName);
};
