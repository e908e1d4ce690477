#pragma once

#include "platform/providers/contacts/ContactsCatalog.h"
#include "platform/recordset/Recordset.h"

#include <QList>
#include <QString>

// Desktop contacts as a recipient source: the entry points the import and
// the connection test call for a contacts list (data type 5).
//
// They take the connection string exactly as the list builds it,
//   Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=<path>;
//   TABLETYPE=<0|1>;PROFILE=<profile>;PWD=<password>;DATABASE=c:\temp;Mode=Read
// (the folder browser's form, ending in ";Database=c:\temp;", is read too),
// and the source "[<name>]". PROFILE names a mail profile (ThunderbirdProfiles);
// MAPILEVEL and the name pick a contact folder (TABLETYPE=0, ContactFolders)
// or an address book (TABLETYPE=1, AddressBooks) by the path and name its
// listing gives. The password is not used: mail profiles have none.
//
// Rows come in the contact columns of ContactsColumns, in a disconnected
// record set. Errors are AppError with source "Contacts" (ContactsError).
class ContactsSource
{
public:
    enum TableType : int { ContactFolderTables = 0, AddressBookTables = 1 };

    struct Connection
    {
        QString Level;     // MAPILEVEL
        int Type = -1;     // TABLETYPE
        QString Profile;   // PROFILE
    };

    // One folder or book as listed, with what it reads.
    struct Table
    {
        ContactsCatalogEntry Entry;
        QString BookPath;  // the address book file
        QString ListId;    // the mailing list; empty for the whole book
    };

    // True for the contacts connection strings (their "Outlook 9.0" item).
    static bool IsContactsConnectionString(const QString& connectionString);

    // ContactsError::BadConnection when the text is not such a string.
    static Connection ParseConnectionString(const QString& connectionString);

    // Every contact folder (type 0) or address book (type 1) of the profile.
    static QList<Table> Tables(const QString& home, const QString& profileName, int tableType);

    // Reads the folder or book the connection string and source name.
    static Recordset GetRecordset(const QString& connectionString, const QString& source);
    static Recordset GetRecordset(const QString& home, const QString& connectionString, const QString& source);
    // The same for a string already read back (level, table type, profile).
    static Recordset GetRecordset(const QString& home, const Connection& connection, const QString& source);

    // Succeeds when the profile the string names exists with its folder.
    static void TestConnection(const QString& connectionString);
    static void TestConnection(const QString& home, const QString& connectionString);
};
