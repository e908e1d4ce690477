#include "recipients/SourceCatalog.h"

#include "platform/providers/Dispatch.h"
#include "platform/providers/guarded/GuardedReader.h"
#include "platform/providers/contacts/ThunderbirdProfiles.h"
#include "base/AppError.h"

namespace SourceCatalog {

QStringList ListDatabases(const RecipientList& list)
{
    try {
        return GuardedReader::Databases(list.GetConnectionData().ConnectionString());
    } catch (const AppError&) {
        return {};
    }
}

QString ExcelCatalogName(const QString& tableName)
{
    QString name = tableName;
    if (name.size() >= 2 && name.startsWith(u'\'') && name.endsWith(u'\''))
        name = name.mid(1, name.size() - 2);
    if (name.size() > 1 && name.endsWith(u'$'))
        return name.chopped(1);
    return {};
}

QStringList ListTables(const RecipientList& list)
{
    const QStringList tables = ProviderDispatch::TableNames(list.GetConnectionData().ConnectionString());
    if (list.DataType() != RecipientList::Excel)
        return tables;
    QStringList sheets;
    for (const QString& table : tables) {
        const QString name = ExcelCatalogName(table);
        if (!name.isEmpty())
            sheets << name;
    }
    return sheets;
}

QString ListProfiles()
{
    return ThunderbirdProfiles::ListText();
}

QList<ContactsCatalogEntry> ListContactFolders(const QString& profileName)
{
    return ContactFolders::List(profileName);
}

QList<ContactsCatalogEntry> ListAddressBooks(const QString& profileName)
{
    return AddressBooks::List(profileName);
}

QStringList InstalledOdbcDrivers()
{
    return OdbcSource::Drivers();
}

QList<OdbcSource::DataSource> OdbcDataSources()
{
    return OdbcSource::DataSources();
}

} // namespace SourceCatalog
