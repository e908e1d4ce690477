#include "platform/providers/Dispatch.h"

#include "platform/providers/SourceFile.h"
#include "platform/providers/guarded/GuardedReader.h"
#include "platform/providers/sql/AccessReader.h"
#include "platform/providers/sql/ConnectionString.h"
#include "platform/providers/contacts/ContactsSource.h"
#include "platform/providers/sql/OdbcSource.h"
#include "platform/providers/sql/SqlServerConnection.h"
#include "platform/providers/sql/SqliteStaging.h"
#include "platform/providers/sheets/Workbook.h"
#include "base/AppError.h"

#include <QDir>

namespace ProviderDispatch {

namespace {

// The connection string, and for the file sources the file checked before
// any reader opens it.
ConnectionString ParseOrRaise(const QString& connectionString)
{
    ConnectionString parsed = ConnectionString::Parse(connectionString);
    if (parsed.kind == ConnectionString::Kind::Empty)
        throw AppError(ErrNoConnection, Source, QStringLiteral("No data source was given: the connection string is empty."));
    if (parsed.kind == ConnectionString::Kind::Access || parsed.kind == ConnectionString::Kind::Excel)
        SourceFile::RequireRegularFile(parsed.file);
    return parsed;
}

Recordset RunStaged(const QString& command, const SqliteStaging::Loader& loader)
{
    SqliteStaging staging;
    return staging.Execute(command, loader);
}

} // namespace

bool IsTableSource(const QString& source)
{
    return OdbcSource::IsTableSource(source);
}

Recordset Open(const QString& connectionString, const QString& source, Where where)
{
    const ConnectionString parsed = ParseOrRaise(connectionString);
    if (source.trimmed().isEmpty())
        throw AppError(ErrNoSource, Source, QStringLiteral("No table, view or command text was chosen for this source."));
    if (where == Where::HelperProcess && GuardedReader::Guards(parsed.kind))
        return GuardedReader::Open(connectionString, source);
    const bool table = IsTableSource(source);

    switch (parsed.kind) {
    case ConnectionString::Kind::SqlServer:
        return SqlServerConnection(connectionString).Open(source);
    case ConnectionString::Kind::Odbc:
        return OdbcSource(connectionString).Open(source);
    case ConnectionString::Kind::Access: {
        const AccessReader reader(parsed.file);
        if (table)
            return reader.OpenTable(source);
        return RunStaged(source, [&reader](const QString& name) { return reader.OpenTable(name); });
    }
    case ConnectionString::Kind::Excel: {
        const QString file = parsed.file;
        const bool header = parsed.firstRowHasNames;
        if (table)
            return Workbook::ReadSheet(file, source, header);
        Workbook::Detect(file); // a missing or foreign file says so before the command is looked at
        return RunStaged(source, [&](const QString& name) { return Workbook::ReadSheet(file, name, header); });
    }
    case ConnectionString::Kind::Outlook:
        if (table)
            return ContactsSource::GetRecordset(connectionString, source);
        ContactsSource::TestConnection(connectionString);
        return RunStaged(source, [&connectionString](const QString& name) {
            return ContactsSource::GetRecordset(connectionString, u'[' + name + u']');
        });
    case ConnectionString::Kind::Empty:
        break;
    }
    throw AppError(ErrNoConnection, Source, QStringLiteral("No data source was given: the connection string is empty."));
}

Recordset OpenPreview(const QString& connectionString, const QString& source, qint64 rows)
{
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    if (parsed.kind == ConnectionString::Kind::Excel && IsTableSource(source)) {
        SourceFile::RequireRegularFile(parsed.file);
        return Workbook::ReadSheetPreview(parsed.file, source, parsed.firstRowHasNames, rows);
    }
    return Open(connectionString, source);
}

void TestConnection(const QString& connectionString, Where where)
{
    const ConnectionString parsed = ParseOrRaise(connectionString);
    if (where == Where::HelperProcess && GuardedReader::Guards(parsed.kind))
        return GuardedReader::TestConnection(connectionString);
    switch (parsed.kind) {
    case ConnectionString::Kind::SqlServer: {
        const SqlServerConnection server(connectionString);
        return;
    }
    case ConnectionString::Kind::Odbc: {
        const OdbcSource odbc(connectionString);
        return;
    }
    case ConnectionString::Kind::Access: {
        const AccessReader access(parsed.file);
        return;
    }
    case ConnectionString::Kind::Excel:
        // Reading the sheet list proves the file is a workbook we can read.
        Workbook::SheetNames(parsed.file);
        return;
    case ConnectionString::Kind::Outlook:
        ContactsSource::TestConnection(connectionString);
        return;
    case ConnectionString::Kind::Empty:
        break;
    }
}

QStringList TableNames(const QString& connectionString, Where where)
{
    const ConnectionString parsed = ParseOrRaise(connectionString);
    if (where == Where::HelperProcess && GuardedReader::Guards(parsed.kind))
        return GuardedReader::TableNames(connectionString);
    switch (parsed.kind) {
    case ConnectionString::Kind::SqlServer:
        return SqlServerConnection(connectionString).TableNames();
    case ConnectionString::Kind::Odbc:
        return OdbcSource(connectionString).TableNames();
    case ConnectionString::Kind::Access:
        return AccessReader(parsed.file).TableNames();
    case ConnectionString::Kind::Excel:
        return Workbook::ListTables(parsed.file);
    case ConnectionString::Kind::Outlook: {
        const ContactsSource::Connection connection = ContactsSource::ParseConnectionString(connectionString);
        QStringList names;
        for (const ContactsSource::Table& t : ContactsSource::Tables(QDir::homePath(), connection.Profile, connection.Type))
            if (t.Entry.Path == connection.Level)
                names << t.Entry.Name;
        return names;
    }
    case ConnectionString::Kind::Empty:
        break;
    }
    return {};
}

} // namespace ProviderDispatch
