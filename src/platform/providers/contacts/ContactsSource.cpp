#include "platform/providers/contacts/ContactsSource.h"

#include "platform/providers/contacts/AddressBookReader.h"
#include "platform/providers/contacts/ContactsError.h"
#include "platform/providers/contacts/ThunderbirdProfiles.h"

#include <QDir>

namespace {

const QString kPrefix = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=");

[[noreturn]] void RaiseBadConnection()
{
    ContactsError::Raise(ContactsError::BadConnection,
                         QStringLiteral("The connection string does not name a mail profile's contacts."));
}

} // namespace

bool ContactsSource::IsContactsConnectionString(const QString& connectionString)
{
    return connectionString.startsWith(kPrefix, Qt::CaseInsensitive);
}

ContactsSource::Connection ContactsSource::ParseConnectionString(const QString& text)
{
    // Values stand in the string unquoted, so a name may hold ";": the items
    // are found by the fixed order the string is built in, the tail from the
    // end.
    if (!IsContactsConnectionString(text))
        RaiseBadConnection();
    const qsizetype levelStart = kPrefix.size();
    const qsizetype typeAt = text.indexOf(QLatin1String(";TABLETYPE="), levelStart, Qt::CaseInsensitive);
    if (typeAt < 0)
        RaiseBadConnection();
    const qsizetype typeStart = typeAt + 11;
    const qsizetype profileAt = text.indexOf(QLatin1String(";PROFILE="), typeStart, Qt::CaseInsensitive);
    if (profileAt < 0)
        RaiseBadConnection();
    const qsizetype profileStart = profileAt + 9;
    const qsizetype databaseAt = text.lastIndexOf(QLatin1String(";DATABASE="), -1, Qt::CaseInsensitive);
    if (databaseAt < profileStart)
        RaiseBadConnection();
    qsizetype profileEnd = text.indexOf(QLatin1String(";PWD="), profileStart, Qt::CaseInsensitive);
    if (profileEnd < 0 || profileEnd > databaseAt)
        profileEnd = databaseAt;

    bool ok = false;
    Connection connection;
    connection.Level = text.mid(levelStart, typeAt - levelStart);
    connection.Type = text.mid(typeStart, profileAt - typeStart).toInt(&ok);
    connection.Profile = text.mid(profileStart, profileEnd - profileStart);
    if (!ok)
        RaiseBadConnection();
    return connection;
}

QList<ContactsSource::Table> ContactsSource::Tables(const QString& home, const QString& profileName, int tableType)
{
    const ThunderbirdProfiles::Profile profile = ThunderbirdProfiles::Require(home, profileName);
    QList<Table> tables;
    const QList<AddressBooks::Book> books = AddressBooks::OfProfileFolder(profile.Folder);
    if (tableType == AddressBookTables) {
        for (const AddressBooks::Book& book : books)
            tables.append(Table{ContactsCatalog::TableEntry(QString(), AddressBookTables, book.Name), book.FilePath, {}});
        return tables;
    }
    if (tableType != ContactFolderTables)
        return tables;
    const QString root = QStringLiteral("\\\\Top of ") + ContactFolders::StoreName;
    for (const AddressBooks::Book& book : books) {
        tables.append(Table{ContactsCatalog::FolderEntry(root, book.Name), book.FilePath, {}});
        QList<AddressBookReader::MailingList> lists;
        try {
            lists = AddressBookReader(book.FilePath).Lists();
        } catch (const AppError&) {
            // A book we cannot open still shows; reading it reports why.
        }
        const QString parent = root + u'\\' + book.Name;
        for (const AddressBookReader::MailingList& list : lists)
            tables.append(Table{ContactsCatalog::FolderEntry(parent, list.Name), book.FilePath, list.Id});
    }
    return tables;
}

Recordset ContactsSource::GetRecordset(const QString& home, const QString& connectionString, const QString& source)
{
    return GetRecordset(home, ParseConnectionString(connectionString), source);
}

Recordset ContactsSource::GetRecordset(const QString& home, const Connection& connection, const QString& source)
{
    if (connection.Type != ContactFolderTables && connection.Type != AddressBookTables)
        RaiseBadConnection();
    if (source.size() < 2 || !source.startsWith(u'[') || !source.endsWith(u']'))
        ContactsError::Raise(ContactsError::BadConnection,
                             QStringLiteral("No contact folder or address book was chosen."));
    const QString name = source.mid(1, source.size() - 2);
    for (const Table& table : Tables(home, connection.Profile, connection.Type)) {
        if (table.Entry.Path != connection.Level || table.Entry.Name != name)
            continue;
        const AddressBookReader reader(table.BookPath);
        return table.ListId.isEmpty() ? reader.ReadAll() : reader.ReadList(table.ListId);
    }
    ContactsError::Raise(ContactsError::FolderNotFound,
                         QStringLiteral("The mail profile \"%1\" has no %2 \"%3%4\".")
                             .arg(connection.Profile,
                                  connection.Type == AddressBookTables ? QStringLiteral("address book")
                                                                       : QStringLiteral("contact folder"),
                                  connection.Level, name));
}

Recordset ContactsSource::GetRecordset(const QString& connectionString, const QString& source)
{
    return GetRecordset(QDir::homePath(), connectionString, source);
}

void ContactsSource::TestConnection(const QString& home, const QString& connectionString)
{
    const Connection connection = ParseConnectionString(connectionString);
    ThunderbirdProfiles::Require(home, connection.Profile);
}

void ContactsSource::TestConnection(const QString& connectionString)
{
    TestConnection(QDir::homePath(), connectionString);
}
