#pragma once

#include "platform/providers/contacts/ContactsCatalog.h"
#include "platform/providers/sql/OdbcSource.h"
#include "recipients/RecipientList.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a source offers for the wizard to pick from, named the way the
// choices go back into the list.
namespace SourceCatalog {

// The databases of the SQL Server the list names, in the server's order.
// Errors are swallowed: a server that cannot be reached gives an empty list
// and the page's own connection check says why.
QStringList ListDatabases(const RecipientList& list);

// The tables and views of the list's source, in the source's order. For a
// worksheet list only worksheets are listed, without quotes and without their
// trailing "$" (ExcelCatalogName); other types list the names unchanged.
// Raises the provider's error.
QStringList ListTables(const RecipientList& list);

// The worksheet name the catalog keeps for a table name of the worksheet
// driver ("Sheet1$" -> "Sheet1", "'My Sheet$'" -> "My Sheet"); empty for a
// table that is not a worksheet (a named range has no trailing "$").
QString ExcelCatalogName(const QString& tableName);

// The mail profiles: one line per profile, name, tab, "1" for the default
// or "0", lines joined by CR LF.
QString ListProfiles();

// The contact folders or the address books of a mail profile. Raises
// ContactsError::NoProfile when the profile is missing.
QList<ContactsCatalogEntry> ListContactFolders(const QString& profileName);
QList<ContactsCatalogEntry> ListAddressBooks(const QString& profileName);

// What the connection-string builder offers.
QStringList InstalledOdbcDrivers();
QList<OdbcSource::DataSource> OdbcDataSources();

} // namespace SourceCatalog
