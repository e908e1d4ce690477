#pragma once

#include "platform/recordset/Recordset.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// Reads Access database files (.mdb of Access 97 to 2003, .accdb of 2007 and
// later) with libmdb, read-only.
//
// Entry points:
//   AccessReader reader(path);         opens the file or raises
//   reader.TableNames();               what the catalog page lists
//   reader.OpenTable("[Asset Items]"); every row, as a disconnected record set
//
// Errors are AppError with source "Access" and the numbers below (those the
// Jet engine used for the same failures).
//
// What libmdb can and cannot do, and how it shows here:
// - Tables are read in full. Saved select queries are listed as views, but
//   libmdb cannot run them: opening one raises ErrNotSupported.
// - Files protected with a database password cannot be read (libmdb does
//   not decode them and shows no user tables); they raise ErrPassword.
// - Workgroup security is not applied by libmdb: a user name and password
//   given for the file are not needed and not checked.
// - libmdb reports an empty text and a Null text alike; both read as Null.
//   Text and memo values are decoded here from their stored bytes (libmdb's
//   own conversion loses characters outside the Basic Multilingual Plane).
// - OLE object columns read as Null. The "Date/Time Extended" type of
//   Access 2019, which libmdb cannot convert, is read from its stored text.
// - The complex columns of Access 2007 (attachments,
//   multi-valued fields) read as the number that links to their hidden table.
// - Access 97 files keep text in the writer's code page, which the file does
//   not record; it is read as Windows-1252.
class AccessReader
{
public:
    enum Error : long {
        ErrNotFound = 3024,      // no such file
        ErrPassword = 3031,      // protected with a database password
        ErrNoObject = 3078,      // no table or query of that name
        ErrNotSupported = 3251,  // a saved query: libmdb cannot run it
        ErrDamaged = 3343,       // not an Access file, or cut short
    };

    struct CatalogEntry
    {
        QString Name;
        QString Type; // "TABLE" or "VIEW", as the catalog names them
    };

    // Opens the file read-only and reads its catalog.
    explicit AccessReader(const QString& fileName);
    ~AccessReader();
    AccessReader(const AccessReader&) = delete;
    AccessReader& operator=(const AccessReader&) = delete;

    // User tables and saved select queries, in the file's catalog order;
    // system tables (MSys*, the hidden tables behind complex columns) and
    // hidden or action queries are left out.
    QList<CatalogEntry> Catalog() const;
    // The names of Catalog(), as the catalog page lists them.
    QStringList TableNames() const;

    // Every row of a table; `source` is the table name, bare or in brackets
    // ("[Asset Items]") as a recipient list gives it. Names are matched
    // without regard to case, as Access does.
    Recordset OpenTable(const QString& source) const;

    // Called now and then while a file opens and a table is read (every few
    // dozen rows), from the reading thread; the reader helper makes it a sign
    // of life, so that libmdb caught in a loop can be told from a long read.
    // One for the process; none at first.
    static void SetProgress(void (*progress)());

    // True when the file's header carries a database password.
    static bool HasDatabasePassword(const QString& fileName);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    QString m_fileName;
};
