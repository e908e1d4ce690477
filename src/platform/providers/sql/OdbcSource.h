#pragma once

#include "platform/recordset/Recordset.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// A data source reached through the ODBC driver manager (unixODBC), by an
// ODBC connection string ("Driver={SQLite3};Database=/x.db;" or
// "DSN=club;UID=...;"). Used for the advanced source type and, through
// SqlServerConnection, for SQL Server.
//
// Entry points:
//   OdbcSource source(connectionString);   connects or raises
//   source.Open("[Members]");              a table, read whole
//   source.Open("SELECT ...");             a command run on the source itself
//   source.TableNames();                   tables, then views
//   OdbcSource::Drivers(), DataSources()   for the connection-string builder
//
// Errors are AppError with source "ODBC" (or the one given) and the
// driver's own description.
//
// The driver manager is called directly rather than through Qt's ODBC
// driver: that one sets statement attributes through calls the MDB Tools
// driver does not have, and overruns with it while asking for the quote
// character.
class OdbcSource
{
public:
    enum Error : long {
        ErrConnect = -2147467259L, // the source cannot be reached or refuses the login
        ErrCommand = -2147217900L, // the command or table is not understood
        ErrNoDriver = -2147221164L, // the ODBC layer itself is missing
    };

    // How long a login waits unless told otherwise.
    static constexpr int DefaultLoginSeconds = 15;

    // Connects now. The login waits at most loginTimeoutSeconds (0: the
    // driver's default).
    explicit OdbcSource(const QString& connectionString, int loginTimeoutSeconds = DefaultLoginSeconds,
                        const QString& errorSource = QStringLiteral("ODBC"));
    ~OdbcSource();
    OdbcSource(const OdbcSource&) = delete;
    OdbcSource& operator=(const OdbcSource&) = delete;

    // A source that is one bracketed name ("[My Table]") is read as that
    // table; anything else is run as a command text, unchanged. The rows come
    // back in a disconnected record set, with ADO type codes from the
    // driver's column types.
    Recordset Open(const QString& source);
    Recordset OpenTable(const QString& table);
    Recordset Execute(const QString& commandText);

    // Tables, then views, each in the driver's order; system tables left out.
    QStringList TableNames();

    // True for a source text that names one table: "[name]".
    static bool IsTableSource(const QString& source);

    // The installed drivers and the data sources (user and system), as the
    // driver manager lists them.
    struct DataSource
    {
        QString Name;
        QString Driver; // the driver's description
    };
    static QStringList Drivers();
    static QList<DataSource> DataSources();

private:
    struct Handles;
    Recordset Read(const QString& sql);
    QString QuoteIdentifier(const QString& name) const;
    QStringList Tables(const char* type);

    std::unique_ptr<Handles> m_handles;
    QString m_errorSource;
};
