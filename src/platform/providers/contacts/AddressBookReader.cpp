#include "platform/providers/contacts/AddressBookReader.h"

#include "platform/providers/contacts/ContactsColumns.h"
#include "platform/providers/contacts/ContactsError.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

namespace {

// Opens one QSQLITE connection under a name of its own and removes it again,
// whatever happens in between.
class SqliteConnection
{
public:
    SqliteConnection(const QString& path, bool immutable)
        : m_name(QStringLiteral("contacts-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        if (immutable) {
            // immutable=1: no locks, no journal, nothing written beside the file.
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
            db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                               QStringLiteral("?mode=ro&immutable=1"));
        } else {
            db.setDatabaseName(path);
        }
        m_open = db.open();
        if (!m_open)
            m_error = db.lastError().text();
    }

    ~SqliteConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }

    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    bool IsOpen() const { return m_open; }
    const QString& Error() const { return m_error; }
    QSqlDatabase Database() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    bool m_open = false;
    QString m_error;
};

[[noreturn]] void RaiseDamaged(const QString& path, const QString& detail)
{
    ContactsError::Raise(ContactsError::Damaged,
                         QStringLiteral("The address book \"%1\" cannot be read: %2")
                             .arg(QFileInfo(path).fileName(), detail));
}

} // namespace

AddressBookReader::AddressBookReader(const QString& path) : m_path(path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        ContactsError::Raise(ContactsError::FileNotFound,
                             QStringLiteral("The address book file \"%1\" could not be found.").arg(path));

    const QFileInfo wal(path + QStringLiteral("-wal"));
    if (!wal.exists() || wal.size() == 0) {
        Load(path, true);
        return;
    }
    // Changes the mail client has not yet written into the main file live in
    // the -wal file; read a private copy of both so the original is untouched.
    QTemporaryDir temp;
    const QString copy = temp.filePath(QStringLiteral("book.sqlite"));
    if (!temp.isValid() || !QFile::copy(path, copy) ||
        !QFile::copy(wal.filePath(), copy + QStringLiteral("-wal"))) {
        Load(path, true);
        return;
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(copy + QStringLiteral("-wal"), QFile::ReadOwner | QFile::WriteOwner);
    Load(copy, false);
}

void AddressBookReader::Load(const QString& openPath, bool immutable)
{
    SqliteConnection connection(openPath, immutable);
    if (!connection.IsOpen())
        RaiseDamaged(m_path, connection.Error());
    QSqlDatabase db = connection.Database();

    {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
            RaiseDamaged(m_path, query.lastError().text());
        m_schemaVersion = query.value(0).toInt();
    }
    if (m_schemaVersion < kOldestSchema || m_schemaVersion > kNewestSchema)
        ContactsError::Raise(ContactsError::UnknownFormat,
                             QStringLiteral("The address book \"%1\" has a layout this program does not "
                                            "know (version %2).")
                                 .arg(QFileInfo(m_path).fileName())
                                 .arg(m_schemaVersion));

    QStringList tables;
    {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
            RaiseDamaged(m_path, query.lastError().text());
        while (query.next())
            tables.append(query.value(0).toString().toLower());
    }
    if (!tables.contains(QStringLiteral("properties")))
        ContactsError::Raise(ContactsError::UnknownFormat,
                             QStringLiteral("The address book \"%1\" has no contacts table.")
                                 .arg(QFileInfo(m_path).fileName()));

    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT card, name, value FROM properties ORDER BY rowid")))
            RaiseDamaged(m_path, query.lastError().text());
        while (query.next()) {
            const QString card = query.value(0).toString();
            auto it = m_cardIndex.constFind(card);
            int index = 0;
            if (it == m_cardIndex.cend()) {
                index = int(m_cards.size());
                m_cardIndex.insert(card, index);
                m_cardIds.append(card);
                m_cards.append(QHash<QString, QString>());
            } else {
                index = it.value();
            }
            m_cards[index].insert(query.value(1).toString(), query.value(2).toString());
        }
        if (query.lastError().isValid())
            RaiseDamaged(m_path, query.lastError().text());
    }

    if (!tables.contains(QStringLiteral("lists")) || !tables.contains(QStringLiteral("list_cards")))
        return;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT uid, name FROM lists ORDER BY rowid")))
            RaiseDamaged(m_path, query.lastError().text());
        while (query.next())
            m_lists.append(MailingList{query.value(0).toString(), query.value(1).toString(), {}});
    }
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT list, card FROM list_cards ORDER BY rowid")))
            RaiseDamaged(m_path, query.lastError().text());
        while (query.next()) {
            const QString list = query.value(0).toString();
            for (MailingList& entry : m_lists)
                if (entry.Id == list)
                    entry.Members.append(query.value(1).toString());
        }
    }
}

Recordset AddressBookReader::ReadAll() const
{
    Recordset recordset = ContactsColumns::MakeRecordset();
    for (const auto& card : m_cards)
        ContactsColumns::AppendRow(recordset, ContactsColumns::FromCardProperties(card));
    return recordset;
}

Recordset AddressBookReader::ReadList(const QString& listId) const
{
    Recordset recordset = ContactsColumns::MakeRecordset();
    for (const MailingList& list : m_lists) {
        if (list.Id != listId)
            continue;
        for (const QString& member : list.Members) {
            const auto it = m_cardIndex.constFind(member);
            if (it != m_cardIndex.cend())
                ContactsColumns::AppendRow(recordset, ContactsColumns::FromCardProperties(m_cards[it.value()]));
        }
    }
    return recordset;
}
