#pragma once

#include "platform/recordset/Recordset.h"
#include "recipients/ConnectionData.h"
#include "recipients/RecipientList.h"
#include "recipients/RecipientLists.h"
#include "base/AppError.h"

#include <QString>
#include <QStringList>

#include <optional>

// Reading a recipient list's rows, and the import steps that need no window.
namespace RecipientImport {

// Every row of the list's source as a disconnected record set: an XML
// document (ConnectionType 1) through XmlSource, anything else through the
// reader its connection string names (ProviderDispatch). Raises AppError with
// the provider's number, source and description.
Recordset GetRecordset(const ConnectionData& data);
Recordset GetRecordset(const RecipientList& list);

// The first rows of the list's source, for a preview: only those are read
// from a text file (ProviderDispatch::OpenPreview); other sources are read
// whole.
Recordset GetPreview(const RecipientList& list, int rows);

// Opens and closes a connection for the list's connection string; raises
// what the provider raises. An empty connection string (an XML list, or no
// type chosen) fails as the provider would.
void TestConnection(const ConnectionData& data);
void TestConnection(const RecipientList& list);

// What the grid headers and the address box show for each column, in order:
// its name, or "[Column n]" (n its 1-based position) for a name that is
// empty or blank.
QStringList ColumnLabels(const Recordset& recordset);

// The imported recipients record set of the program.
Recordset& ImportedRecipients();

struct Outcome
{
    std::optional<AppError> Error;  // set when the import failed
    QStringList Labels;             // column labels of the imported rows
    bool HasSavedFilters = false;   // the list has filter rows (message 404)

    bool Succeeded() const { return !Error.has_value(); }
};

// Imports the list at a 1-based position of the lists into `imported`: the
// previous rows are dropped first, CurrentIndex names the list while it is
// read and stays on it after success. On failure CurrentIndex is 0 and
// `imported` is a new, empty, closed record set, never a part of the old or
// the new rows.
Outcome Import(RecipientLists& lists, int position, Recordset& imported);

} // namespace RecipientImport
