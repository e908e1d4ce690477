#include "platform/providers/contacts/ContactsCatalog.h"

#include "platform/providers/contacts/AddressBookReader.h"
#include "platform/providers/contacts/ContactsError.h"
#include "platform/providers/contacts/ContactsSource.h"
#include "platform/providers/contacts/ThunderbirdPrefs.h"
#include "platform/providers/contacts/ThunderbirdProfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace ContactsCatalog {

namespace {

ContactsCatalogEntry SplitEntry(const QString& full)
{
    qsizetype at = full.lastIndexOf(u'\\');
    if (at < 0)
        at = full.lastIndexOf(u'|');
    ContactsCatalogEntry entry;
    entry.Path = full.left(at + 1);
    entry.Name = full.mid(at + 1);
    entry.Text = QStringLiteral("    ") + entry.Name;
    return entry;
}

} // namespace

ContactsCatalogEntry FolderEntry(const QString& parentPath, const QString& folderName)
{
    static const QString topOf = QStringLiteral("\\\\Top of ");
    QString parent = parentPath;
    if (parent.startsWith(topOf))
        parent.remove(2, topOf.size() - 2);
    QString full = parent + u'\\' + folderName;
    if (full.size() > 2) {
        full = full.mid(2);
        full.remove(QStringLiteral("\\\\"));
        if (const qsizetype first = full.indexOf(u'\\'); first >= 0)
            full[first] = u'|';
    }
    return SplitEntry(full);
}

ContactsCatalogEntry TableEntry(const QString& level, int tableType, const QString& tableName)
{
    QString full = level + u'\\' + tableName;
    if (!full.startsWith(u'\\')) {
        full.replace(QStringLiteral("|\\"), QStringLiteral("|"));
    } else {
        full.remove(0, 1);
        if (tableType == 0)
            full.prepend(u'|');
    }
    return SplitEntry(full);
}

} // namespace ContactsCatalog

namespace {

const QString kPersonal = QStringLiteral("pab");
const QString kCollected = QStringLiteral("history");

// Directory types of local SQLite books (plain and synchronised ones).
bool IsLocalBookType(const QString& dirType)
{
    return dirType.isEmpty() || dirType == u"101" || dirType == u"102";
}

bool IsPlainSqliteFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && name != u"." &&
           name != u".." && name.endsWith(QLatin1String(".sqlite"), Qt::CaseInsensitive);
}

} // namespace

QList<AddressBooks::Book> AddressBooks::OfProfileFolder(const QString& profileFolder)
{
    const ThunderbirdPrefs prefs = ThunderbirdPrefs::Load(profileFolder);
    static const QRegularExpression serverKey(QStringLiteral("^ldap_2\\.servers\\.([^.]+)\\.filename$"));

    QHash<QString, QString> fileNames = {{kPersonal, QStringLiteral("abook.sqlite")},
                                         {kCollected, QStringLiteral("history.sqlite")}};
    for (auto it = prefs.Values().cbegin(); it != prefs.Values().cend(); ++it)
        if (const auto match = serverKey.match(it.key()); match.hasMatch())
            fileNames.insert(match.captured(1), prefs.Text(it.key()));

    const QDir folder(profileFolder);
    QList<Book> books;
    for (auto it = fileNames.cbegin(); it != fileNames.cend(); ++it) {
        const QString& id = it.key();
        const QString prefix = QStringLiteral("ldap_2.servers.") + id;
        if (!IsLocalBookType(prefs.Text(prefix + QStringLiteral(".dirType"))) || !IsPlainSqliteFileName(it.value()))
            continue;
        const QString path = folder.absoluteFilePath(it.value());
        if (!QFileInfo(path).isFile())
            continue;
        QString name = prefs.Text(prefix + QStringLiteral(".description"));
        // The two built-in books carry a reference to a translated name.
        if (name.isEmpty() || name.startsWith(QLatin1String("chrome://"))) {
            if (id == kPersonal)
                name = QStringLiteral("Personal Address Book");
            else if (id == kCollected)
                name = QStringLiteral("Collected Addresses");
            else if (name.isEmpty())
                name = id;
        }
        books.append(Book{id, name, path});
    }
    auto rank = [](const Book& book) { return book.Id == kPersonal ? 0 : book.Id == kCollected ? 2 : 1; };
    std::sort(books.begin(), books.end(), [&](const Book& a, const Book& b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        const int byName = a.Name.compare(b.Name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.Id < b.Id;
    });
    return books;
}

QList<ContactsCatalogEntry> AddressBooks::List(const QString& home, const QString& profileName)
{
    QList<ContactsCatalogEntry> entries;
    for (const ContactsSource::Table& table : ContactsSource::Tables(home, profileName, ContactsSource::AddressBookTables))
        entries.append(table.Entry);
    return entries;
}

QList<ContactsCatalogEntry> AddressBooks::List(const QString& profileName)
{
    return List(QDir::homePath(), profileName);
}

QList<ContactsCatalogEntry> ContactFolders::List(const QString& home, const QString& profileName)
{
    QList<ContactsCatalogEntry> entries;
    for (const ContactsSource::Table& table : ContactsSource::Tables(home, profileName, ContactsSource::ContactFolderTables))
        entries.append(table.Entry);
    return entries;
}

QList<ContactsCatalogEntry> ContactFolders::List(const QString& profileName)
{
    return List(QDir::homePath(), profileName);
}
