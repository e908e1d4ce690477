#pragma once

#include "platform/providers/sql/ConnectionString.h"
#include "platform/providers/sql/OdbcSource.h"
#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

#include <memory>

// A SQL Server reached through unixODBC and the FreeTDS driver, from the
// "Provider=SQLOLEDB.1;..." string a SQL Server recipient list builds.
//
// Entry points:
//   SqlServerConnection::OdbcConnectionString(text)   the translation alone
//   SqlServerConnection server(text);                  connects or raises
//   server.Open("[Members]") / server.Open("SELECT ...")
//   server.Databases()                                 sp_databases, first column
//   server.TableNames()                                tables, then views
//
// Windows (integrated) security becomes a trusted connection, which FreeTDS
// can only make with Kerberos: without a Kerberos ticket on this machine the
// connection is refused at once with ErrNoKerberos, saying so.
//
// Errors are AppError with source "SQL Server" and the driver's own words.
class SqlServerConnection
{
public:
    enum Error : long {
        ErrNotSqlServer = -2147024809L, // the text is not a SQL Server connection string
        ErrNoKerberos = -2147217843L,   // integrated security without a Kerberos ticket
    };

    // The ODBC connection string for the FreeTDS driver: server (a
    // "host,port" Data Source becomes Server and Port), database when one is
    // given, the login or a trusted connection, and UTF-8 text. Values that
    // need it are put in braces.
    static QString OdbcConnectionString(const ConnectionString& parsed);
    static QString OdbcConnectionString(const QString& oleDbConnectionString);

    // Whether a Kerberos ticket cache is there for a trusted connection.
    static bool HasKerberosTicket();

    // Connects; the login waits at most loginTimeoutSeconds.
    explicit SqlServerConnection(const QString& oleDbConnectionString, int loginTimeoutSeconds = OdbcSource::DefaultLoginSeconds);
    ~SqlServerConnection();

    Recordset Open(const QString& source);
    QStringList Databases();
    QStringList TableNames();

private:
    std::unique_ptr<OdbcSource> m_source;
};
