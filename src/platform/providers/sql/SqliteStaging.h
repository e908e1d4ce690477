#pragma once

#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// Runs a command text against a file source that does not speak SQL itself
// (an Access file, a workbook, a text file, an address book): the tables the
// command names are read from the source and copied into a private in-memory
// SQLite database, and the command runs there. SQLite takes [bracketed] names
// as the worksheet and Access drivers do, so "SELECT * FROM [Sheet1$] WHERE
// ..." reads as it would there.
//
// Only the tables the command needs are read: the command is prepared, and
// each table SQLite reports missing is asked of the loader and staged, until
// the command compiles. Text compares without regard to case (ASCII), as the
// drivers do. Only reading commands are accepted: the source is opened
// read-only, and a statement such as ATTACH or VACUUM INTO could write files.
//
// Result columns that come straight from a staged column keep its ADO type
// and size; computed ones are typed by their values (integer, double, text).
//
// Errors are AppError with source Source and the SQLite engine's own words.
class SqliteStaging
{
public:
    static inline const QString Source = QStringLiteral("SQL");

    enum Error : long {
        ErrCommand = -2147217900L,   // the command is not understood, or names no such table
        ErrNotQuery = -2147217887L,  // the command would change data or settings
    };

    // Reads one table by the name the command gives it (without brackets);
    // raises when the source has no such table.
    using Loader = std::function<Recordset(const QString& name)>;

    SqliteStaging();
    ~SqliteStaging();
    SqliteStaging(const SqliteStaging&) = delete;
    SqliteStaging& operator=(const SqliteStaging&) = delete;

    // Copies a record set into a table of that name.
    void Stage(const QString& name, const Recordset& rows);

    // Runs a command, staging what it names through the loader.
    Recordset Execute(const QString& commandText, const Loader& loader);

    // Names staged so far.
    QStringList StagedTables() const;

    // Whether the command text starts (after blanks, comments and opening
    // parentheses) with SELECT, WITH or VALUES.
    static bool IsQuery(const QString& commandText);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
