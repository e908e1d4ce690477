#include "platform/providers/sql/SqlServerConnection.h"

#include "base/AppError.h"

#include <QFileInfo>

#include <unistd.h>

namespace {

const QString kSource = QStringLiteral("SQL Server");

QString OdbcValue(const QString& value)
{
    if (value.contains(u';') || value.contains(u'{') || value.contains(u'}') || value != value.trimmed())
        return u'{' + QString(value).replace(QStringLiteral("}"), QStringLiteral("}}")) + u'}';
    return value;
}

QString KerberosMessage(const QString& driverWords)
{
    QString text = QStringLiteral(
        "Windows security (a trusted connection) needs Kerberos on this computer: the FreeTDS driver signs in "
        "with a Kerberos ticket of a domain account. Set up /etc/krb5.conf for the server's domain and get a "
        "ticket with kinit, or use a SQL Server login instead.");
    if (!driverWords.isEmpty())
        text = driverWords + u' ' + text;
    return text;
}

} // namespace

QString SqlServerConnection::OdbcConnectionString(const ConnectionString& parsed)
{
    QString server = parsed.server.trimmed();
    QString port;
    if (server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        server = server.mid(4);
    const qsizetype comma = server.lastIndexOf(u',');
    if (comma >= 0) {
        port = server.mid(comma + 1).trimmed();
        server = server.left(comma).trimmed();
    }
    // "(local)" and "." name this computer.
    if (server.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0 || server == QLatin1String("."))
        server = QStringLiteral("localhost");
    else if (server.startsWith(QLatin1String("(local)\\"), Qt::CaseInsensitive))
        server = QStringLiteral("localhost") + server.mid(7);
    else if (server.startsWith(QLatin1String(".\\")))
        server = QStringLiteral("localhost") + server.mid(1);

    QString text = QStringLiteral("Driver={FreeTDS};Server=") + OdbcValue(server) + u';';
    if (!port.isEmpty())
        text += QStringLiteral("Port=") + OdbcValue(port) + u';';
    if (!parsed.database.isEmpty())
        text += QStringLiteral("Database=") + OdbcValue(parsed.database) + u';';
    if (parsed.integratedSecurity)
        text += QStringLiteral("Trusted_Connection=Yes;");
    else
        text += QStringLiteral("UID=") + OdbcValue(parsed.user) + QStringLiteral(";PWD=") + OdbcValue(parsed.password)
                + u';';
    text += QStringLiteral("ClientCharset=UTF-8;");
    return text;
}

QString SqlServerConnection::OdbcConnectionString(const QString& oleDbConnectionString)
{
    const ConnectionString parsed = ConnectionString::Parse(oleDbConnectionString);
    if (parsed.kind != ConnectionString::Kind::SqlServer)
        throw AppError(ErrNotSqlServer, kSource, QStringLiteral("This is not a SQL Server connection string."));
    return OdbcConnectionString(parsed);
}

bool SqlServerConnection::HasKerberosTicket()
{
    QString cache = qEnvironmentVariable("KRB5CCNAME");
    if (cache.isEmpty())
        cache = QStringLiteral("/tmp/krb5cc_%1").arg(getuid());
    if (cache.startsWith(QLatin1String("FILE:")))
        cache = cache.mid(5);
    else if (cache.contains(u':') && !cache.startsWith(u'/'))
        return true; // a keyring or a credential service: only the driver can tell
    return QFileInfo(cache).isFile();
}

SqlServerConnection::SqlServerConnection(const QString& oleDbConnectionString, int loginTimeoutSeconds)
{
    const ConnectionString parsed = ConnectionString::Parse(oleDbConnectionString);
    if (parsed.kind != ConnectionString::Kind::SqlServer)
        throw AppError(ErrNotSqlServer, kSource, QStringLiteral("This is not a SQL Server connection string."));
    if (parsed.integratedSecurity && !HasKerberosTicket())
        throw AppError(ErrNoKerberos, kSource, KerberosMessage(QString()));
    try {
        m_source = std::make_unique<OdbcSource>(OdbcConnectionString(parsed), loginTimeoutSeconds, kSource);
    } catch (const AppError& error) {
        if (parsed.integratedSecurity)
            throw AppError(error.Number(), kSource, KerberosMessage(error.Description()));
        throw;
    }
}

SqlServerConnection::~SqlServerConnection() = default;

Recordset SqlServerConnection::Open(const QString& source)
{
    return m_source->Open(source);
}

QStringList SqlServerConnection::Databases()
{
    Recordset rs = m_source->Execute(QStringLiteral("EXEC sp_databases"));
    QStringList names;
    for (int row = 0; row < rs.RecordCount(); ++row)
        names.append(rs.ValueAt(row, 0).toString());
    return names;
}

QStringList SqlServerConnection::TableNames()
{
    return m_source->TableNames();
}
