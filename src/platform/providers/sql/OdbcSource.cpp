#include "platform/providers/sql/OdbcSource.h"

#include "base/AppError.h"

#include <QDateTime>

#include <sql.h>
#include <sqlext.h>

#include <vector>

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16 text");

// Texts go to the driver manager NUL-terminated (SQL_NTS), the form every
// driver handles.
const SQLWCHAR* Wide(const QString& text)
{
    return reinterpret_cast<const SQLWCHAR*>(text.utf16());
}

// Every diagnostic record of a handle, in the driver's words.
QString Diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    QStringList messages;
    for (SQLSMALLINT record = 1; record < 20; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[2048] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN r = SQLGetDiagRecW(type, handle, record, state, &native, text,
                                           SQLSMALLINT(std::size(text) - 1), &length);
        if (!SQL_SUCCEEDED(r))
            break;
        const QString message =
            QString::fromUtf16(reinterpret_cast<const char16_t*>(text), qMin<qsizetype>(length, std::size(text) - 1))
                .trimmed();
        if (!message.isEmpty() && !messages.contains(message))
            messages.append(message);
    }
    return messages.join(u' ');
}

int AdoTypeOf(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_CHAR: return AdoType::Char;
    case SQL_VARCHAR: return AdoType::VarChar;
    case SQL_LONGVARCHAR: return AdoType::LongVarChar;
    case SQL_WCHAR: return AdoType::WChar;
    case SQL_WVARCHAR: return AdoType::VarWChar;
    case SQL_WLONGVARCHAR: return AdoType::LongVarWChar;
    case SQL_DECIMAL:
    case SQL_NUMERIC: return AdoType::Numeric;
    case SQL_SMALLINT: return AdoType::SmallInt;
    case SQL_INTEGER: return AdoType::Integer;
    case SQL_REAL: return AdoType::Single;
    case SQL_FLOAT:
    case SQL_DOUBLE: return AdoType::Double;
    case SQL_BIT: return AdoType::Boolean;
    case SQL_TINYINT: return AdoType::UnsignedTinyInt;
    case SQL_BIGINT: return AdoType::BigInt;
    case SQL_BINARY: return AdoType::Binary;
    case SQL_VARBINARY: return AdoType::VarBinary;
    case SQL_LONGVARBINARY: return AdoType::LongVarBinary;
    case SQL_DATE:
    case SQL_TYPE_DATE: return AdoType::DBDate;
    case SQL_TIME:
    case SQL_TYPE_TIME: return AdoType::DBTime;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP: return AdoType::DBTimeStamp;
    case SQL_GUID: return AdoType::Guid;
    default: return AdoType::VarWChar;
    }
}

struct Column
{
    QString name;
    SQLSMALLINT sqlType = 0;
    int adoType = AdoType::VarWChar;
    bool asText = false; // the driver cannot give this column in its own type
};

template <typename Fn>
void WithEnvironment(Fn next)
{
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    next(env);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

} // namespace

struct OdbcSource::Handles
{
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;

    ~Handles()
    {
        if (connected)
            SQLDisconnect(dbc);
        if (dbc != SQL_NULL_HDBC)
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// A statement handle for the life of one read.
class OdbcStatement
{
public:
    explicit OdbcStatement(SQLHDBC dbc)
    {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_stmt)))
            m_stmt = SQL_NULL_HSTMT;
    }
    ~OdbcStatement()
    {
        if (m_stmt != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
    }
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;
    SQLHSTMT get() const { return m_stmt; }

private:
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
};

namespace {

// Text and binary values come in pieces until the driver has no more.
template <typename Unit>
bool ReadPieces(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, std::vector<Unit>& out, bool& isNull)
{
    out.clear();
    isNull = false;
    Unit buffer[4096];
    const SQLLEN terminator = cType == SQL_C_BINARY ? 0 : SQLLEN(sizeof(Unit));
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN r = SQLGetData(stmt, column, cType, buffer, sizeof buffer, &indicator);
        if (r == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(r))
            return false;
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            return true;
        }
        const SQLLEN room = SQLLEN(sizeof buffer) - terminator;
        const SQLLEN bytes = (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
        out.insert(out.end(), buffer, buffer + bytes / SQLLEN(sizeof(Unit)));
        if (r == SQL_SUCCESS)
            return true;
    }
}

} // namespace

OdbcSource::OdbcSource(const QString& connectionString, int loginTimeoutSeconds, const QString& errorSource)
    : m_handles(std::make_unique<Handles>()), m_errorSource(errorSource)
{
    Handles& h = *m_handles;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env)))
        throw AppError(ErrNoDriver, m_errorSource, QStringLiteral("The ODBC driver manager cannot be started."));
    SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc)))
        throw AppError(ErrNoDriver, m_errorSource, Diagnostics(SQL_HANDLE_ENV, h.env));
    if (loginTimeoutSeconds > 0)
        SQLSetConnectAttr(h.dbc, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    const QString text = connectionString;
    // No completed string is asked for: the driver manager reads the one the
    // MDB Tools driver leaves unterminated past its end.
    const SQLRETURN r = SQLDriverConnectW(h.dbc, nullptr, const_cast<SQLWCHAR*>(Wide(text)), SQL_NTS, nullptr, 0,
                                          nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(r)) {
        QString words = Diagnostics(SQL_HANDLE_DBC, h.dbc);
        if (words.isEmpty())
            words = QStringLiteral("The ODBC data source cannot be opened.");
        throw AppError(ErrConnect, m_errorSource, words);
    }
    h.connected = true;
}

OdbcSource::~OdbcSource() = default;

bool OdbcSource::IsTableSource(const QString& source)
{
    const QString text = source.trimmed();
    if (text.size() < 3 || !text.startsWith(u'[') || !text.endsWith(u']'))
        return false;
    // a closing bracket inside must be doubled, as in "[a]]b]"
    const QString inner = text.mid(1, text.size() - 2);
    return !QString(inner).remove(QStringLiteral("]]")).contains(u']');
}

Recordset OdbcSource::Open(const QString& source)
{
    if (IsTableSource(source)) {
        const QString text = source.trimmed();
        return OpenTable(text.mid(1, text.size() - 2).replace(QStringLiteral("]]"), QStringLiteral("]")));
    }
    return Execute(source);
}

QString OdbcSource::QuoteIdentifier(const QString& name) const
{
    char buffer[64] = {};
    SQLSMALLINT length = 0;
    QString quote = QStringLiteral("\"");
    if (SQL_SUCCEEDED(SQLGetInfo(m_handles->dbc, SQL_IDENTIFIER_QUOTE_CHAR, buffer, sizeof buffer - 1, &length)))
        quote = QString::fromUtf8(buffer).trimmed();
    // A blank answer means the driver knows no quoting.
    if (quote.isEmpty())
        return name;
    return quote + QString(name).replace(quote, quote + quote) + quote;
}

Recordset OdbcSource::OpenTable(const QString& table)
{
    return Read(QStringLiteral("SELECT * FROM ") + QuoteIdentifier(table));
}

Recordset OdbcSource::Execute(const QString& commandText)
{
    if (commandText.trimmed().isEmpty())
        throw AppError(ErrCommand, m_errorSource, QStringLiteral("Command text was not set for the command object."));
    return Read(commandText);
}

Recordset OdbcSource::Read(const QString& sql)
{
    OdbcStatement statement(m_handles->dbc);
    SQLHSTMT stmt = statement.get();
    if (stmt == SQL_NULL_HSTMT)
        throw AppError(ErrCommand, m_errorSource, Diagnostics(SQL_HANDLE_DBC, m_handles->dbc));
    const auto fail = [&]() { throw AppError(ErrCommand, m_errorSource, Diagnostics(SQL_HANDLE_STMT, stmt)); };

    const SQLRETURN executed = SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(Wide(sql)), SQL_NTS);
    if (!SQL_SUCCEEDED(executed) && executed != SQL_NO_DATA)
        fail();

    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &count)))
        fail();
    std::vector<Column> columns(size_t(qMax<SQLSMALLINT>(count, 0)));
    Recordset rs;
    for (SQLSMALLINT i = 0; i < count; ++i) {
        SQLWCHAR name[512] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        if (!SQL_SUCCEEDED(SQLDescribeColW(stmt, SQLUSMALLINT(i + 1), name, SQLSMALLINT(std::size(name) - 1),
                                           &nameLength, &type, &size, &digits, &nullable)))
            fail();
        Column& column = columns[size_t(i)];
        column.name = QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                         qMin<qsizetype>(nameLength, std::size(name) - 1));
        column.sqlType = type;
        column.adoType = AdoTypeOf(type);
        rs.AppendField(column.name, column.adoType, qint64(qMin<SQLULEN>(size, SQLULEN(1) << 31)));
    }
    rs.Open();

    std::vector<QVariant> row(columns.size());
    std::vector<char16_t> text;
    std::vector<char> bytes;
    for (;;) {
        const SQLRETURN fetched = SQLFetch(stmt);
        if (fetched == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(fetched))
            fail();
        for (size_t c = 0; c < columns.size(); ++c) {
            const auto number = SQLUSMALLINT(c + 1);
            SQLLEN indicator = 0;
            QVariant& value = row[c];
            value = QVariant();
            Column& column = columns[c];
            // Fixed-size values in their C type; a driver that cannot convert
            // to it (MDB Tools has no 64-bit integers) gives the column as
            // text from then on, which the record set converts.
            const auto fixed = [&](SQLSMALLINT cType, void* target, SQLLEN size) {
                if (column.asText)
                    return false;
                if (SQL_SUCCEEDED(SQLGetData(stmt, number, cType, target, size, &indicator)))
                    return true;
                column.asText = true;
                return false;
            };
            bool done = true;
            switch (column.asText ? -1 : column.adoType) {
            case AdoType::SmallInt:
            case AdoType::Integer:
            case AdoType::UnsignedTinyInt: {
                SQLINTEGER n = 0;
                if ((done = fixed(SQL_C_SLONG, &n, sizeof n)) && indicator != SQL_NULL_DATA)
                    value = int(n);
                break;
            }
            case AdoType::BigInt: {
                SQLBIGINT n = 0;
                if ((done = fixed(SQL_C_SBIGINT, &n, sizeof n)) && indicator != SQL_NULL_DATA)
                    value = qlonglong(n);
                break;
            }
            case AdoType::Boolean: {
                unsigned char b = 0;
                if ((done = fixed(SQL_C_BIT, &b, sizeof b)) && indicator != SQL_NULL_DATA)
                    value = b != 0;
                break;
            }
            case AdoType::Single:
            case AdoType::Double: {
                double d = 0;
                if ((done = fixed(SQL_C_DOUBLE, &d, sizeof d)) && indicator != SQL_NULL_DATA)
                    value = d;
                break;
            }
            case AdoType::DBDate: {
                SQL_DATE_STRUCT d = {};
                if ((done = fixed(SQL_C_TYPE_DATE, &d, sizeof d)) && indicator != SQL_NULL_DATA)
                    value = QDate(d.year, d.month, d.day);
                break;
            }
            case AdoType::DBTime: {
                SQL_TIME_STRUCT t = {};
                if ((done = fixed(SQL_C_TYPE_TIME, &t, sizeof t)) && indicator != SQL_NULL_DATA)
                    value = QTime(t.hour, t.minute, t.second);
                break;
            }
            case AdoType::DBTimeStamp: {
                SQL_TIMESTAMP_STRUCT t = {};
                if ((done = fixed(SQL_C_TYPE_TIMESTAMP, &t, sizeof t)) && indicator != SQL_NULL_DATA)
                    value = QDateTime(QDate(t.year, t.month, t.day),
                                      QTime(t.hour, t.minute, t.second, int(t.fraction / 1000000)));
                break;
            }
            case AdoType::Binary:
            case AdoType::VarBinary:
            case AdoType::LongVarBinary: {
                bool isNull = false;
                if (!ReadPieces(stmt, number, SQL_C_BINARY, bytes, isNull))
                    fail();
                if (!isNull)
                    value = QByteArray(bytes.data(), qsizetype(bytes.size()));
                break;
            }
            default:
                done = false;
                break;
            }
            if (!done) {
                bool isNull = false;
                if (!ReadPieces(stmt, number, SQL_C_WCHAR, text, isNull))
                    fail();
                if (!isNull)
                    value = QString::fromUtf16(text.data(), qsizetype(text.size()));
            }
        }
        rs.AppendRow(std::span<const QVariant>(row));
    }
    return rs;
}

QStringList OdbcSource::Tables(const char* type)
{
    OdbcStatement statement(m_handles->dbc);
    SQLHSTMT stmt = statement.get();
    QStringList names;
    if (stmt == SQL_NULL_HSTMT)
        return names;
    const QString wanted = QString::fromLatin1(type);
    if (!SQL_SUCCEEDED(
            SQLTablesW(stmt, nullptr, 0, nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(Wide(wanted)), SQL_NTS)))
        throw AppError(ErrCommand, m_errorSource, Diagnostics(SQL_HANDLE_STMT, stmt));
    std::vector<char16_t> text;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        bool isNull = false;
        if (!ReadPieces(stmt, 3, SQL_C_WCHAR, text, isNull) || isNull)
            continue;
        const QString name = QString::fromUtf16(text.data(), qsizetype(text.size()));
        // Some drivers (MDB Tools) give Access's own system tables as tables.
        if (!name.startsWith(QLatin1String("MSys")))
            names.append(name);
    }
    return names;
}

QStringList OdbcSource::TableNames()
{
    return Tables("TABLE") + Tables("VIEW");
}

QStringList OdbcSource::Drivers()
{
    QStringList drivers;
    WithEnvironment([&drivers](SQLHENV env) {
        SQLCHAR name[512];
        SQLCHAR attributes[2048];
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                        sizeof attributes, &attributesLength))) {
            drivers.append(QString::fromUtf8(reinterpret_cast<const char*>(name)));
            direction = SQL_FETCH_NEXT;
        }
    });
    return drivers;
}

QList<OdbcSource::DataSource> OdbcSource::DataSources()
{
    QList<DataSource> sources;
    WithEnvironment([&sources](SQLHENV env) {
        SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
        SQLCHAR description[1024];
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT descriptionLength = 0;
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &nameLength, description,
                                            sizeof description, &descriptionLength))) {
            sources.append({QString::fromUtf8(reinterpret_cast<const char*>(name)),
                            QString::fromUtf8(reinterpret_cast<const char*>(description))});
            direction = SQL_FETCH_NEXT;
        }
    });
    return sources;
}
