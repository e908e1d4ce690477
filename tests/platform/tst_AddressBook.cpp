#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/contacts/AddressBookReader.h"
#include "platform/providers/contacts/ContactsColumns.h"
#include "platform/providers/contacts/ContactsError.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

namespace {

QString Book(const QString& name)
{
    return TestSupport::TestData(QStringLiteral("abook/") + name);
}

// A writable copy of a test file, for changes the test makes itself.
QString CopyInto(const QTemporaryDir& dir, const QString& name)
{
    return TestSupport::CopyWritable(Book(name), dir.filePath(name));
}

QByteArray Digest(const QString& path)
{
    return QCryptographicHash::hash(TestSupport::ReadBytes(path), QCryptographicHash::Sha256);
}

int RowOf(Recordset& rs, const QString& displayName)
{
    for (int row = 0; row < rs.RecordCount(); ++row)
        if (rs.ValueAt(row, ContactsColumns::DisplayName).toString() == displayName)
            return row;
    return -1;
}

// Compares the named columns of a row, naming the first that differs.
void Expect(const Recordset& rs, int row, std::initializer_list<std::pair<int, QString>> expected)
{
    QVERIFY(row >= 0);
    for (const auto& [column, text] : expected)
        QVERIFY2(rs.ValueAt(row, column).toString() == text,
                 qPrintable(rs.FieldName(column) + QStringLiteral(": ") + rs.ValueAt(row, column).toString()));
}

} // namespace

class TestAddressBook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Both layouts give every card, in the fixed columns, alike.
    void everyCardInTheFixedColumns()
    {
        const AddressBookReader reader(Book(QStringLiteral("abook.sqlite")));
        const AddressBookReader current(Book(QStringLiteral("abook-v4-schema.sqlite")));
        QCOMPARE(reader.SchemaVersion(), 1);
        QCOMPARE(current.SchemaVersion(), 4);
        Recordset rs = reader.ReadAll();
        QCOMPARE(current.ReadAll().Persist(), rs.Persist());
        QCOMPARE(rs.FieldCount(), int(ContactsColumns::Count));
        // The card that lives only in the properties rows counts too.
        QCOMPARE(rs.RecordCount(), 5);

        using namespace ContactsColumns;
        const int full = RowOf(rs, QStringLiteral("DisplayName1"));
        Expect(rs, full, {{First, "FirstName1"}, {Last, "LastName1"}, {Nickname, "NickName1"},
                          {EMail, "PrimaryEmail1@test.invalid"}, {EMail2, "SecondEmail1Ð@test.invalid"},
                          {BusinessPhone, "WorkPhone1"}, {MobilePhone, "CellularNumber1"}, {Pager, "PagerNumber1"},
                          {Company, "Organization1"}, {BusinessStreet, "WorkAddress1\nWorkAddress21"},
                          {HomeStreet, "HomeAddress11\nHomeAddress21"}, {HomePostalCode, "HomeZipCode1"},
                          {WebPage, "http://WebPage21"}, {Custom4, "Custom41"}});
        QVERIFY(rs.IsNullAt(full, Birthday));

        // A card without an address gives Null, not an empty text.
        const int empty = RowOf(rs, QStringLiteral("Empty Email"));
        QVERIFY(rs.IsNullAt(empty, EMail));
        Expect(rs, empty, {{First, "Empty"}});

        // The vCard card: its first two addresses, the preferred one first.
        Expect(rs, RowOf(rs, QStringLiteral("A vCard!")),
               {{EMail, "first@something.invalid"}, {EMail2, "second@something.invalid"}});

        // Another book: a card with one address, and one with two.
        Recordset remote = AddressBookReader(Book(QStringLiteral("abook-1.sqlite"))).ReadAll();
        QCOMPARE(remote.RecordCount(), 3);
        QStringList addresses;
        for (int row = 0; row < 3; ++row)
            addresses << remote.ValueAt(row, EMail).toString() + u'/' + remote.ValueAt(row, EMail2).toString();
        QVERIFY(addresses.contains(QStringLiteral("no@test.invalid/")));
        QVERIFY(addresses.contains(QStringLiteral("yes@test.invalid/yes2@test.invalid")));
    }

    void readingLeavesTheFileAsItWas()
    {
        // A writable folder, so that anything written beside the file would show.
        QTemporaryDir dir;
        const QString path = CopyInto(dir, QStringLiteral("abook.sqlite"));
        const QByteArray before = Digest(path);
        const QDateTime modified = QFileInfo(path).lastModified();
        {
            const AddressBookReader reader(path);
            QCOMPARE(reader.ReadAll().RecordCount(), 5);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("abook.sqlite")});
        QCOMPARE(Digest(path), before);
        QCOMPARE(QFileInfo(path).lastModified(), modified);
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());

        // A failed open releases its connection too.
        QCOMPARE(TestSupport::ErrorOrNone([] { AddressBookReader reader(Book(QStringLiteral("abook-truncated.sqlite"))); })
                     .Number(),
                 long(ContactsError::Damaged));
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());
    }

    void mailingListsAndTheirMembers()
    {
        QTemporaryDir dir;
        const QString path = CopyInto(dir, QStringLiteral("abook.sqlite"));
        TestSupport::ExecuteSql(path, {
            QStringLiteral("INSERT INTO lists (uid, localId, name, nickName, description) "
                           "VALUES ('l-1', 1, 'Fréunde', '', ''), ('l-2', 2, 'Empty', '', '')"),
            QStringLiteral("INSERT INTO list_cards (list, card) VALUES "
                           "('l-1', 'b73bffd5-850d-4a59-8c72-12272d2616a6'), ('l-1', 'gone'), "
                           "('l-1', '61c3b8fe-69d0-4a11-a970-ff381ae82d95')"),
        });
        const AddressBookReader reader(path);
        QCOMPARE(reader.Lists().size(), 2);
        QCOMPARE(reader.Lists()[0].Name, QStringLiteral("Fréunde"));
        Recordset members = reader.ReadList(QStringLiteral("l-1"));
        QCOMPARE(members.RecordCount(), 2);
        QCOMPARE(members.ValueAt(0, ContactsColumns::EMail).toString(), QStringLiteral("jane.doe@mailinator.invalid"));
        QCOMPARE(members.ValueAt(1, ContactsColumns::EMail).toString(), QStringLiteral("john.doe@mailinator.invalid"));
        QCOMPARE(reader.ReadList(QStringLiteral("l-2")).RecordCount(), 0);
        QCOMPARE(reader.ReadList(QStringLiteral("no-such-list")).RecordCount(), 0);
        QCOMPARE(reader.ReadList(QStringLiteral("no-such-list")).FieldCount(), int(ContactsColumns::Count));
    }

    void changesStillInTheWriteAheadLogAreSeen()
    {
        QTemporaryDir dir;
        const QString path = CopyInto(dir, QStringLiteral("abook-v4-schema.sqlite"));
        // The mail client keeps its connection open, and its last change in the -wal file.
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("PRAGMA journal_mode = WAL")));
            QVERIFY(query.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0")));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO properties (card, name, value) VALUES "
                                              "('new', 'PrimaryEmail', 'zoë@example.org')")));
            QVERIFY(QFileInfo(path + QStringLiteral("-wal")).size() > 0);
            const QByteArray walBefore = Digest(path + QStringLiteral("-wal"));
            const QByteArray mainBefore = Digest(path);

            Recordset rs = AddressBookReader(path).ReadAll();
            QCOMPARE(rs.RecordCount(), 6);
            QCOMPARE(rs.ValueAt(5, ContactsColumns::EMail).toString(), QStringLiteral("zoë@example.org"));
            QCOMPARE(Digest(path + QStringLiteral("-wal")), walBefore);
            QCOMPARE(Digest(path), mainBefore);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestAddressBook)
#include "tst_AddressBook.moc"
