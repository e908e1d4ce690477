#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/contacts/ContactsCatalog.h"
#include "platform/providers/contacts/ContactsColumns.h"
#include "platform/providers/contacts/ContactsError.h"
#include "platform/providers/contacts/ContactsSource.h"
#include "recipients/RecipientList.h"

#include <functional>

namespace {

QString Home()
{
    return QDir::homePath();
}

QString ProfileFolder()
{
    return Home() + QStringLiteral("/.thunderbird/Profiles/x1.default-release");
}

ContactsCatalogEntry Entry(const QString& path, const QString& name)
{
    return ContactsCatalogEntry{QStringLiteral("    ") + name, path, name};
}

// The connection data a contacts list yields for the chosen entry.
ConnectionData ListFor(const QString& profile, qint32 kind, const ContactsCatalogEntry& entry)
{
    RecipientList list;
    list.SetDataType(RecipientList::Outlook);
    list.SetUsername(profile);
    list.SetPassword(QStringLiteral("not;used"));
    list.SetOutlookCatalogType(kind);
    list.SetOutlookPath(entry.Path);
    list.SetOutlookCatalog(entry.Name);
    return list.GetConnectionData();
}

long ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AppError& e) {
        return e.Source() == ContactsError::Source && !e.Description().isEmpty() ? e.Number() : -1;
    }
    return 0;
}

QStringList Addresses(Recordset rs)
{
    QStringList addresses;
    for (int row = 0; row < rs.RecordCount(); ++row)
        addresses << rs.ValueAt(row, ContactsColumns::EMail).toString();
    return addresses;
}

} // namespace

class TestContacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A profile as the mail client leaves it: the built-in books named only
    // by their files, one more book in prefs.js, and entries to ignore.
    void initTestCase()
    {
        TestSupport::PutFile(Home() + QStringLiteral("/.thunderbird/profiles.ini"),
                  "[Install1]\nDefault=Profiles/x1.default-release\n\n"
                  "[Profile0]\nName=default-release\nIsRelative=1\nPath=Profiles/x1.default-release\n\n"
                  "[Profile1]\nName=J[v\x7Frg\nIsRelative=1\nPath=Profiles/gone\n");
        QDir().mkpath(ProfileFolder());
        for (const auto& [from, to] : {std::pair{"abook", "abook"}, {"history", "history"}, {"abook-1", "abook-1"},
                                       {"abook-v4-schema", "abook-2"}, {"abook-truncated", "abook-3"}})
            TestSupport::CopyWritable(TestSupport::TestData(QStringLiteral("abook/%1.sqlite").arg(from)),
                                      ProfileFolder() + QStringLiteral("/%1.sqlite").arg(to));
        TestSupport::ExecuteSql(ProfileFolder() + QStringLiteral("/abook.sqlite"),
                {QStringLiteral("INSERT INTO lists (uid, localId, name, nickName, description) "
                                "VALUES ('l-1', 1, 'Friends', '', '')"),
                 QStringLiteral("INSERT INTO list_cards (list, card) VALUES "
                                "('l-1', 'b73bffd5-850d-4a59-8c72-12272d2616a6')")});
        TestSupport::PutFile(ProfileFolder() + QStringLiteral("/prefs.js"),
                  "// Mozilla User Preferences\n"
                  "user_pref(\"ldap_2.servers.history.description\", \"chrome://messenger/locale/addressbook/addressBook.properties\");\n"
                  "user_pref(\"ldap_2.servers.Club.description\", \"Club \\\"Ørsted\\\"\");\n"
                  "user_pref(\"ldap_2.servers.Club.dirType\", 101);\n"
                  "user_pref(\"ldap_2.servers.Club.filename\", \"abook-1.sqlite\");\n"
                  "user_pref(\"ldap_2.servers.Work.description\", \"Work\\\\Team\");\n"
                  "user_pref(\"ldap_2.servers.Work.filename\", \"abook-2.sqlite\");\n"
                  "user_pref(\"ldap_2.servers.Broken.description\", \"Broken\");\n"
                  "user_pref(\"ldap_2.servers.Broken.filename\", \"abook-3.sqlite\");\n"
                  "user_pref(\"ldap_2.servers.Escape.description\", \"Escape\");\n"
                  "user_pref(\"ldap_2.servers.Escape.filename\", \"../x1.default-release/abook.sqlite\");\n"
                  "user_pref(\"ldap_2.servers.Ldap.description\", \"Directory\");\n"
                  "user_pref(\"ldap_2.servers.Ldap.dirType\", 0);\n"
                  "user_pref(\"ldap_2.servers.Ldap.filename\", \"ldap.sqlite\");\n"
                  "user_pref(\"ldap_2.servers.Missing.description\", \"Missing\");\n"
                  "user_pref(\"ldap_2.servers.Missing.filename\", \"abook-9.sqlite\");\n");
        TestSupport::PutFile(ProfileFolder() + QStringLiteral("/ldap.sqlite"), "not looked at");
    }

    void namingRules()
    {
        // Folder walk: the store's "Top of " goes, the first level is set off by "|".
        QCOMPARE(ContactsCatalog::FolderEntry(QStringLiteral("\\\\Top of Personal Folders"), QStringLiteral("Contacts")),
                 Entry(QStringLiteral("Personal Folders|"), QStringLiteral("Contacts")));
        QCOMPARE(ContactsCatalog::FolderEntry(QStringLiteral("\\\\Mailbox - Jo\\Contacts"), QStringLiteral("Team")),
                 Entry(QStringLiteral("Mailbox - Jo|Contacts\\"), QStringLiteral("Team")));
        // Catalog tables: address books have no path; a level keeps its "|".
        QCOMPARE(ContactsCatalog::TableEntry(QString(), 1, QStringLiteral("Contacts")),
                 Entry(QString(), QStringLiteral("Contacts")));
        QCOMPARE(ContactsCatalog::TableEntry(QString(), 0, QStringLiteral("Contacts")),
                 Entry(QStringLiteral("|"), QStringLiteral("Contacts")));
        QCOMPARE(ContactsCatalog::TableEntry(QStringLiteral("Personal Folders|Contacts"), 0, QStringLiteral("Friends")),
                 Entry(QStringLiteral("Personal Folders|Contacts\\"), QStringLiteral("Friends")));
    }

    // Both table types list the same books; a "\" in a name splits it, as the
    // naming rule says. Only the folder walk shows the mailing list.
    void listings()
    {
        QCOMPARE(AddressBooks::List(QStringLiteral("default-release")),
                 (QList<ContactsCatalogEntry>{
                     Entry(QString(), QStringLiteral("Personal Address Book")),
                     Entry(QString(), QStringLiteral("Broken")), Entry(QString(), QStringLiteral("Club \"Ørsted\"")),
                     Entry(QStringLiteral("Work\\"), QStringLiteral("Team")),
                     Entry(QString(), QStringLiteral("Collected Addresses"))}));
        const QString store = QStringLiteral("Address Books|");
        QCOMPARE(ContactFolders::List(Home(), QStringLiteral("default-release")),
                 (QList<ContactsCatalogEntry>{
                     Entry(store, QStringLiteral("Personal Address Book")),
                     Entry(store + QStringLiteral("Personal Address Book\\"), QStringLiteral("Friends")),
                     Entry(store, QStringLiteral("Broken")), Entry(store, QStringLiteral("Club \"Ørsted\"")),
                     Entry(store + QStringLiteral("Work\\"), QStringLiteral("Team")),
                     Entry(store, QStringLiteral("Collected Addresses"))}));
    }

    void readsWhatTheListingOffers()
    {
        const QString profile = QStringLiteral("default-release");
        for (const ContactsCatalogEntry& entry : ContactFolders::List(profile)) {
            if (entry.Name == u"Broken")
                continue;
            const ConnectionData data = ListFor(profile, RecipientList::ContactFolders, entry);
            QVERIFY(ContactsSource::IsContactsConnectionString(data.ConnectionString()));
            Recordset rs = ContactsSource::GetRecordset(data.ConnectionString(), data.Source());
            QCOMPARE(rs.FieldCount(), int(ContactsColumns::Count));
            if (entry.Name == u"Friends")
                QCOMPARE(Addresses(std::move(rs)), QStringList{QStringLiteral("jane.doe@mailinator.invalid")});
            else if (entry.Name == u"Personal Address Book" || entry.Name == u"Team")
                QCOMPARE(rs.RecordCount(), 5);
            else if (entry.Name.startsWith(u"Club"))
                QCOMPARE(rs.RecordCount(), 3);
            else
                QCOMPARE(Addresses(std::move(rs)), QStringList{QStringLiteral("other@book.invalid")});
        }

        const ConnectionData book = ListFor(profile, RecipientList::AddressBooks,
                                            Entry(QStringLiteral("Work\\"), QStringLiteral("Team")));
        QCOMPARE(ContactsSource::GetRecordset(book.ConnectionString(), book.Source()).RecordCount(), 5);

        // The same book is not found under the other table type's naming.
        const ConnectionData wrongKind = ListFor(profile, RecipientList::AddressBooks,
                                                 Entry(QStringLiteral("Address Books|"), QStringLiteral("Broken")));
        QCOMPARE(ErrorOf([&] { ContactsSource::GetRecordset(wrongKind.ConnectionString(), wrongKind.Source()); }),
                 long(ContactsError::FolderNotFound));
    }

    void connectionStrings()
    {
        const auto parsed = ContactsSource::ParseConnectionString(
            OutlookBrowseConnectionString(QStringLiteral("A;b|"), 0, QStringLiteral("Pro;file")));
        QCOMPARE(parsed.Level, QStringLiteral("A;b|"));
        QCOMPARE(parsed.Type, 0);
        QCOMPARE(parsed.Profile, QStringLiteral("Pro;file"));

        const ConnectionData data = ListFor(QStringLiteral("x;PWD=y"), RecipientList::AddressBooks,
                                            Entry(QString(), QStringLiteral("Book")));
        const auto full = ContactsSource::ParseConnectionString(data.ConnectionString());
        QCOMPARE(full.Level, QString());
        QCOMPARE(full.Type, 1);
        QCOMPARE(full.Profile, QStringLiteral("x"));

        for (const char* text : {"", "Provider=SQLOLEDB.1;Data Source=x;",
                                 "Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=",
                                 "Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=;TABLETYPE=x;PROFILE=p;PWD=;DATABASE=c:\\temp;Mode=Read",
                                 "Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=;TABLETYPE=1;PROFILE=p"}) {
            QCOMPARE(ErrorOf([&] { ContactsSource::ParseConnectionString(QString::fromLatin1(text)); }),
                     long(ContactsError::BadConnection));
        }
        QVERIFY(!ContactsSource::IsContactsConnectionString(QStringLiteral("Provider=SQLOLEDB.1;")));
    }

    void failuresAreReportedNotGuessed()
    {
        const QString profile = QStringLiteral("default-release");
        const ConnectionData good = ListFor(profile, RecipientList::AddressBooks,
                                            Entry(QString(), QStringLiteral("Personal Address Book")));
        ContactsSource::TestConnection(good.ConnectionString());

        // The profile whose folder is gone; one that does not exist.
        const ConnectionData gone = ListFor(QStringLiteral("Jörg"), RecipientList::AddressBooks,
                                            Entry(QString(), QStringLiteral("Personal Address Book")));
        QCOMPARE(ErrorOf([&] { ContactsSource::TestConnection(gone.ConnectionString()); }), long(ContactsError::NoProfile));
        QCOMPARE(ErrorOf([&] { ContactFolders::List(QStringLiteral("nobody")); }), long(ContactsError::NoProfile));

        // Unknown folder, no folder chosen, a table type we do not have.
        const ConnectionData unknown = ListFor(profile, RecipientList::AddressBooks,
                                               Entry(QString(), QStringLiteral("Escape")));
        QCOMPARE(ErrorOf([&] { ContactsSource::GetRecordset(unknown.ConnectionString(), unknown.Source()); }),
                 long(ContactsError::FolderNotFound));
        QCOMPARE(ErrorOf([&] { ContactsSource::GetRecordset(good.ConnectionString(), QString()); }),
                 long(ContactsError::BadConnection));
        QCOMPARE(ErrorOf([&] {
                     ContactsSource::GetRecordset(OutlookBrowseConnectionString(QString(), 7, profile),
                                                  QStringLiteral("[Personal Address Book]"));
                 }),
                 long(ContactsError::BadConnection));

        // Nothing was written into the profile while reading it.
        QCOMPARE(QDir(ProfileFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"abook-1.sqlite", "abook-2.sqlite", "abook-3.sqlite", "abook.sqlite", "history.sqlite",
                              "ldap.sqlite", "prefs.js"}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestContacts)
#include "tst_Contacts.moc"
