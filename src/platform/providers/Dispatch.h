#pragma once

#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

// Opens what a connection string and a source ask for, with the reader that
// stands in for the provider the string names:
//   "Provider=SQLOLEDB..."            SQL Server through ODBC and FreeTDS
//   Jet (or ACE) with a Data Source   an Access file, through libmdb
//   Jet with "Excel 8.0"              a workbook: .xls, .xlsx, or a text file
//   Jet with "Outlook 9.0"            the desktop contacts of a mail profile
//   anything else                     an ODBC connection string
//
// A source that is one bracketed name ("[Members]", "[Sheet1$]") is read as
// that table. Anything else is a command text: SQL Server and ODBC sources run
// it themselves; for the file sources it runs on their tables staged into
// SQLite (SqliteStaging).
//
// Errors are AppError carrying the reader's own number, source and words;
// Source below for what is wrong before any reader is reached.
//
// The readers that are not ours (Access, ODBC, SQL Server) run in the reader
// helper process (GuardedReader) unless ThisProcess is asked for, as the
// helper itself does.
namespace ProviderDispatch {

enum class Where { HelperProcess, ThisProcess };

inline const QString Source = QStringLiteral("Provider");

enum Error : long {
    ErrNoConnection = -2147467259L, // the connection string is empty
    ErrNoSource = -2147217908L,     // no table, view or command text was chosen
};

// Every row of the source, disconnected.
Recordset Open(const QString& connectionString, const QString& source, Where where = Where::HelperProcess);

// The rows a preview shows: for a worksheet table of a text file only the
// first `rows` rows are read; every other source is opened whole.
Recordset OpenPreview(const QString& connectionString, const QString& source, qint64 rows);

// Connects (or opens the file) and lets go again; raises what the provider
// raises.
void TestConnection(const QString& connectionString, Where where = Where::HelperProcess);

// The tables and views the source offers, in the reader's own naming and
// order: worksheets as the worksheet driver names them ("Sheet1$",
// "'My Sheet$'"), contact folders and address books by name.
QStringList TableNames(const QString& connectionString, Where where = Where::HelperProcess);

// Whether a source text names one table ("[name]") rather than a command.
bool IsTableSource(const QString& source);

} // namespace ProviderDispatch
