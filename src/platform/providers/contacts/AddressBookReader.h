#pragma once

#include "platform/recordset/Recordset.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One address book file of a mail profile (an SQLite database), read whole
// into memory when the object is made; the file is closed again at once.
//
// Both layouts are read: the older one with a cards table beside the
// properties rows (schema 1 to 3) and the current one with properties only
// (schema 4). A card is every distinct card id of the properties rows, in the
// order of its first row; a card whose properties hold a "_vCard" takes its
// values from that vCard first.
//
// The file is opened read-only and immutable, so nothing is written next to
// it (no journal, no -wal, no -shm). When a -wal file already stands beside
// it (the mail client is running), both are copied to a private temporary
// folder and read there, so that changes not yet checkpointed are seen.
//
// Errors (ContactsError): FileNotFound, Damaged (not a database, or broken),
// UnknownFormat (a schema version outside 1 to 4, or no properties table).
class AddressBookReader
{
public:
    static constexpr int kOldestSchema = 1;
    static constexpr int kNewestSchema = 4;

    struct MailingList
    {
        QString Id;
        QString Name;
        QStringList Members; // card ids, in the order they were added
    };

    explicit AddressBookReader(const QString& path);

    int SchemaVersion() const { return m_schemaVersion; }
    const QList<MailingList>& Lists() const { return m_lists; }
    int CardCount() const { return int(m_cardIds.size()); }

    // Every card as a row of the contact columns (ContactsColumns).
    Recordset ReadAll() const;
    // The members of the mailing list with that id; cards the list names
    // but the book no longer has are left out.
    Recordset ReadList(const QString& listId) const;

private:
    void Load(const QString& openPath, bool immutable);

    QString m_path;
    int m_schemaVersion = 0;
    QStringList m_cardIds;
    QList<QHash<QString, QString>> m_cards;
    QHash<QString, int> m_cardIndex;
    QList<MailingList> m_lists;
};
