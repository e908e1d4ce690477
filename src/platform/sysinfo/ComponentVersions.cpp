#include "platform/sysinfo/ComponentVersions.h"

#include "base/Texts.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>
#include <dlfcn.h>
#include <gmime/gmime.h>
#include <sql.h>
#include <sqlext.h>
#include <xlsxwriter.h>

namespace ComponentVersions {

namespace {

QString NotFound()
{
    return LoadResString(4505);
}

// The driver manager answers for itself on a connection that is not open.
QString DriverManagerVersion()
{
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    QString version;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) &&
        SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                    reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        SQLCHAR text[64] = {};
        SQLSMALLINT length = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DM_VER, text, sizeof text, &length)))
            version = QString::fromLatin1(reinterpret_cast<const char*>(text));
    }
    if (dbc != SQL_NULL_HDBC)
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV)
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    // "03.52.0002.0003": the ODBC level, then the manager's own major and
    // minor version.
    const QStringList parts = version.split(u'.');
    if (parts.size() == 4)
        return QStringLiteral("%1.%2 (ODBC %3.%4)")
            .arg(parts[2].toInt())
            .arg(parts[3].toInt())
            .arg(parts[0].toInt())
            .arg(parts[1]);
    return version.isEmpty() ? NotFound() : version;
}

// A driver named without a folder lies in the driver manager's folder of
// drivers, beside the manager's own library.
QString DriverFile(const QString& library)
{
    if (library.startsWith(u'/'))
        return library;
    Dl_info manager = {};
    if (!dladdr(reinterpret_cast<void*>(&SQLAllocHandle), &manager) || !manager.dli_fname)
        return library;
    return QFileInfo(QString::fromLocal8Bit(manager.dli_fname)).absolutePath() +
           QStringLiteral("/odbc/") + library;
}

// The library file of each installed driver: the driver manager lists a
// driver's settings as "key=value" texts, one of them "Driver=<library>".
QStringList DriverLibraries()
{
    QStringList libraries;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return libraries;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR name[256];
    SQLCHAR attributes[4096];
    SQLSMALLINT nameLength = 0, attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                    sizeof attributes, &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        // The pairs are separated by NUL characters and end with two.
        for (const char* pair = reinterpret_cast<const char*>(attributes); *pair;
             pair += qstrlen(pair) + 1) {
            if (qstrncmp(pair, "Driver=", 7) == 0)
                libraries << DriverFile(QString::fromLocal8Bit(pair + 7));
        }
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return libraries;
}

// FreeTDS is loaded only by the reader helper, never here: its version is
// the one its installed driver library states.
QString FreeTdsVersion()
{
    static const QRegularExpression stated(QStringLiteral("freetds v(\\d+\\.\\d+(\\.\\d+)?)"));
    for (const QString& library : DriverLibraries()) {
        if (!library.contains(QLatin1String("libtdsodbc")))
            continue;
        QFile file(library);
        if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024 * 1024)
            continue;
        const QRegularExpressionMatch match = stated.match(QString::fromLatin1(file.readAll()));
        if (match.hasMatch())
            return match.captured(1);
    }
    return NotFound();
}

// The SQL drivers Qt offers, and the SQLite library its driver carries.
QString SqlDrivers()
{
    QString drivers = QSqlDatabase::drivers().join(QStringLiteral(", "));
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QStringLiteral(":memory:"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("select sqlite_version()")) && query.next())
                drivers += QStringLiteral(" (SQLite %1)").arg(query.value(0).toString());
        }
    }
    QSqlDatabase::removeDatabase(name);
    return drivers.isEmpty() ? NotFound() : drivers;
}

} // namespace

QList<Component> ThisMachine()
{
    return {
        {LoadResString(4502), QSysInfo::kernelType() + u' ' + QSysInfo::kernelVersion()},
        {LoadResString(4503), QSysInfo::prettyProductName()},
        {QStringLiteral("Qt"), QString::fromLatin1(qVersion())},
        {LoadResString(4504), SqlDrivers()},
        {QStringLiteral("GMime"), QStringLiteral("%1.%2.%3")
                                      .arg(gmime_major_version)
                                      .arg(gmime_minor_version)
                                      .arg(gmime_micro_version)},
        {QStringLiteral("libxlsxwriter"), QString::fromLatin1(lxw_version())},
        {QStringLiteral("unixODBC"), DriverManagerVersion()},
        {QStringLiteral("FreeTDS"), FreeTdsVersion()},
    };
}

QString AsText(const QList<Component>& components)
{
    QString text;
    for (const Component& component : components)
        text += component.name + QStringLiteral(": ") + component.version + u'\n';
    return text;
}

} // namespace ComponentVersions
