#pragma once

#include "platform/providers/sql/ConnectionString.h"
#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

// Runs the readers that are not ours (libmdb for Access files, ODBC drivers
// including FreeTDS for SQL Server) in a helper process, corvanta-reader, so
// that a damaged file or a broken driver costs an error message, never the
// program: the helper may run out of memory, loop or crash, and the caller
// still gets an AppError in the usual form.
//
// Entry points, each the same as the reader in this process would give:
//   GuardedReader::Open(connectionString, source)   every row
//   GuardedReader::TableNames(connectionString)     tables and views
//   GuardedReader::TestConnection(connectionString) connect and let go
//   GuardedReader::Databases(connectionString)      a SQL Server's databases
// ProviderDispatch sends the sources for which Guards() is true here.
//
// The helper gets the request on its standard input and sends back the
// record set in its persisted form, or the reader's error (number, source,
// description) exactly as the reader raised it. It runs with the Limits
// below and dies with this program. When it fails, the error names the
// reader's source ("Access", "ODBC", "SQL Server") and says what happened:
// it ran out of memory, took too long, or stopped.
//
// Waiting: each call waits in a local event loop, so the window keeps
// painting and the busy cursor stays; user input is not held back, so that
// a Cancel button can be pressed. Keeping the user from starting anything
// else meanwhile (disabling the main window) is the caller's job. A call
// must come from the main thread (the helper dies with the thread that
// started it).
//
// Cancelling: CancelRunning(), typically from a Cancel button's handler
// while a call waits, ends every running helper at once; each waiting call
// then raises ErrCancelled with its reader's source.
//
// The helper is looked for beside the running program
// (QCoreApplication::applicationDirPath()); tests and benchmarks, which run
// from other folders, name the built one with SetProgram().
namespace GuardedReader {

enum Error : long {
    ErrCancelled = 3712,         // the user cancelled the reading
    ErrNoHelper = -2147467259L,  // the helper program cannot be started
};

struct Limits
{
    qint64 AddressSpaceBytes = 0; // 0: no limit
    int ProcessorSeconds = 600;
    int WallSeconds = 600;
    // Ends a helper that sends nothing (no progress, no reply) for this long;
    // 0: it may work in silence.
    int IdleSeconds = 0;

    // The larger of 2 GB and half the machine's memory; ten minutes of
    // processor time and of waiting.
    static Limits Default();

    // For reading a file of that size: address space and processor time in
    // proportion to the file, within these limits, and kIdleSeconds of
    // silence at most (the Access reader reports progress as it reads).
    static constexpr qint64 kBaseAddressSpace = qint64(768) << 20;
    static constexpr qint64 kAddressSpacePerByte = 32;
    // (more than kIdleSeconds: a reader caught in a silent loop ends as one)
    static constexpr int kBaseProcessorSeconds = 12;
    static constexpr int kProcessorSecondsPerMB = 1;
    static constexpr int kIdleSeconds = 10;
    Limits ForFile(qint64 bytes) const;
};

void SetLimits(const Limits& limits);
Limits CurrentLimits();

void SetProgram(const QString& path);
QString Program();

// True for the sources whose readers run in the helper: Access, ODBC and
// SQL Server.
bool Guards(ConnectionString::Kind kind);

Recordset Open(const QString& connectionString, const QString& source);
QStringList TableNames(const QString& connectionString);
void TestConnection(const QString& connectionString);
QStringList Databases(const QString& connectionString);

// Ends every helper that is running now; see "Cancelling" above.
void CancelRunning();

} // namespace GuardedReader
