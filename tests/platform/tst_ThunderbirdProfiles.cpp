#include "RecordsetProbe.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/contacts/ContactsError.h"
#include "platform/providers/contacts/MailProfileDefaults.h"
#include "platform/providers/contacts/ThunderbirdPrefs.h"
#include "platform/providers/contacts/ThunderbirdProfiles.h"

using TestSupport::ErrorOrNone;

namespace {

QString Home()
{
    return QDir::homePath();
}

void Ini(const QByteArray& text, const QString& folder = QStringLiteral("/.thunderbird"))
{
    TestSupport::PutFile(Home() + folder + QStringLiteral("/profiles.ini"), text);
}

} // namespace

class TestThunderbirdProfiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        for (const QString& root : ThunderbirdProfiles::RootFolders(Home()))
            QDir(root).removeRecursively();
        QDir(Home() + QStringLiteral("/elsewhere")).removeRecursively();
    }

    // An installation's default wins over the profile marked default.
    void whichProfileIsTheDefault()
    {
        Ini("[Install4F96D1932A9F858E]\r\nDefault=Profiles/b2.default-release\r\nLocked=1\r\n\r\n"
            "[Profile1]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/a1.default\r\nDefault=1\r\n\r\n"
            "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/b2.default-release\r\n\r\n"
            "[General]\r\nStartWithLastProfile=1\r\nVersion=2\r\n");
        QCOMPARE(ThunderbirdProfiles::List()[1].Folder, Home() + QStringLiteral("/.thunderbird/Profiles/b2.default-release"));
        QCOMPARE(ThunderbirdProfiles::ListText(), QStringLiteral("default\t0\r\ndefault-release\t1"));

        const QString absolute = Home() + QStringLiteral("/elsewhere/work");
        Ini("[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=home\nIsRelative=1\nPath=x.home\n\n"
            "[Profile1]\nName=work\nIsRelative=0\nPath=" + absolute.toUtf8() + "\nDefault=1\n");
        QCOMPARE(ThunderbirdProfiles::List()[1].Folder, absolute);
        QCOMPARE(ThunderbirdProfiles::FindDefault(Home()).Name, QStringLiteral("work"));

        // A lone profile is the default even unmarked; two unmarked ones have none.
        QVERIFY(ThunderbirdProfiles::ParseIni("[Profile0]\nName=only\nPath=p\n", Home()).first().IsDefault);
        const auto two = ThunderbirdProfiles::ParseIni("[Profile0]\nName=a\nPath=a\n[Profile1]\nName=b\nPath=b\n", Home());
        QVERIFY(!two[0].IsDefault && !two[1].IsDefault);

        // Other installations add their profiles; only the first installation's default is flagged.
        Ini("[Profile0]\nName=main\nPath=m\nIsRelative=1\nDefault=1\n");
        Ini("[Profile0]\nName=main\nPath=old\nIsRelative=1\nDefault=1\n", QStringLiteral("/.mozilla-thunderbird"));
        Ini("[Install1]\nDefault=s\n[Profile0]\nName=snap\nPath=s\nIsRelative=1\n",
            QStringLiteral("/snap/thunderbird/common/.thunderbird"));
        Ini("[Profile0]\nName=flat\nPath=f\nIsRelative=1\n",
            QStringLiteral("/.var/app/org.mozilla.Thunderbird/.thunderbird"));
        QCOMPARE(ThunderbirdProfiles::List()[0].Folder, Home() + QStringLiteral("/.thunderbird/m"));
        QCOMPARE(ThunderbirdProfiles::ListText(), QStringLiteral("main\t1\r\nsnap\t0\r\nflat\t0"));
    }

    void characterTableAppliesToNames()
    {
        QCOMPARE(ThunderbirdProfiles::ApplyCharacterTable(QStringLiteral("J[v\x7Frg [t|sa [x}[|\x7F")),
                 QStringLiteral("Jörg Äsa Øü"));
        QCOMPARE(ThunderbirdProfiles::ApplyCharacterTable(QStringLiteral("[u|[v|[{|[v}[|}[t~[u~[v~[x\x7F")),
                 QStringLiteral("ÅÆËÖÜäåæø"));
        // Near misses stay as they are.
        QCOMPARE(ThunderbirdProfiles::ApplyCharacterTable(QStringLiteral("[t] t| [T|")), QStringLiteral("[t] t| [T|"));

        Ini("[Profile0]\nName=J[v\x7Frg\nIsRelative=1\nPath=j\nDefault=1\n"
            "[Profile1]\nName=Zoë\nIsRelative=1\nPath=z\n");
        QCOMPARE(ThunderbirdProfiles::ListText(), QStringLiteral("Jörg\t1\r\nZoë\t0"));
        QCOMPARE(ThunderbirdProfiles::Find(Home(), QStringLiteral("Jörg")).Folder,
                 Home() + QStringLiteral("/.thunderbird/j"));
        QVERIFY(ThunderbirdProfiles::Find(Home(), QStringLiteral("J[v\x7Frg")).Folder.isEmpty());
    }

    void missingFilesAndFolders()
    {
        QVERIFY(ThunderbirdProfiles::List().isEmpty());
        QCOMPARE(ThunderbirdProfiles::ListText(), QString());
        QVERIFY(ThunderbirdProfiles::FindDefault(Home()).Folder.isEmpty());
        const AppError none = ErrorOrNone([] { ThunderbirdProfiles::Require(Home(), QStringLiteral("default")); });
        QCOMPARE(none.Number(), long(ContactsError::NoProfile));

        Ini("garbage line\n[Profile0]\nName=gone\nPath=nothing-here\n[Profile1]\nPath=nameless\n"
            "[Profile2]\nName=pathless\n[Profile3]\nName=here\nPath=here\n");
        QDir().mkpath(Home() + QStringLiteral("/.thunderbird/here"));
        QCOMPARE(ThunderbirdProfiles::List().size(), 2);
        QCOMPARE(ThunderbirdProfiles::Require(Home(), QStringLiteral("here")).Name, QStringLiteral("here"));
        // A profile without its folder is refused, naming the folder.
        const AppError gone = ErrorOrNone([] { ThunderbirdProfiles::Require(Home(), QStringLiteral("gone")); });
        QCOMPARE(gone.Number(), long(ContactsError::NoProfile));
        QVERIFY(gone.Description().contains(QStringLiteral("nothing-here")));
    }

    void prefsSurviveOddQuotingAndEscapes()
    {
        const QByteArray text =
            "// Mozilla User Preferences\n"
            "/* a block\n comment */\n"
            "user_pref(\"plain\", \"value\");\n"
            "user_pref('single', 'it''s');\n"
            "user_pref(\"quoted\", \"say \\\"hi\\\" \\\\ back\\\\slash\");\n"
            "user_pref(\"unicode\", \"J\\u00f6rg \\xe4 \xc3\xa9\");\n"
            "user_pref(\"bad.escape\", \"a\\qb\"); user_pref(\"after.bad\", 7);\n"
            "user_pref(\"unterminated\", \"no end);\n"
            "user_pref(\"number\", -42);\n"
            "user_pref(\"flag\", true);\n"
            "user_pref(\"semicolon\", \"a;b\");\n"
            "user_pref(\"missing.paren\", \"x\";\n"
            "pref(\"plain\", \"later wins\");\n"
            "# hash comment\n"
            "user_pref(\"last\", false)\n"
            "user_pref(\"open.comment\", /* never closed\n"
            "user_pref(\"in.comment\", 1);\n";
        const ThunderbirdPrefs prefs = ThunderbirdPrefs::Parse(text);
        // Null: dropped. 'it''s' is no string the format knows, "last" has no
        // closing ";", and a comment that never closes holds the rest.
        const std::pair<const char*, const char*> expected[] = {
            {"plain", "later wins"}, {"single", nullptr}, {"quoted", "say \"hi\" \\ back\\slash"},
            {"unicode", "Jörg ä é"}, {"bad.escape", nullptr}, {"after.bad", "7"}, {"unterminated", nullptr},
            {"number", "-42"}, {"flag", "true"}, {"semicolon", "a;b"}, {"missing.paren", nullptr},
            {"last", nullptr}, {"open.comment", nullptr}, {"in.comment", nullptr}};
        for (const auto& [key, value] : expected) {
            const QString name = QString::fromLatin1(key);
            QCOMPARE(prefs.Contains(name) ? name + u'=' + prefs.Text(name) : name,
                     value ? name + u'=' + QString::fromUtf8(value) : name);
        }

        QVERIFY(ThunderbirdPrefs::Parse(QByteArray("\0\xff\xfe user_pref(", 14)).Values().isEmpty());
        QVERIFY(ThunderbirdPrefs::Load(Home() + QStringLiteral("/no-such-profile")).Values().isEmpty());
    }

    void defaultSmtpServerOfTheDefaultProfile()
    {
        QCOMPARE(MailProfileDefaults::SmtpServer(), QString());
        QCOMPARE(MailProfileDefaults::SmtpUsername(), QString());

        Ini("[Profile0]\nName=other\nPath=o\n[Profile1]\nName=main\nPath=m\nDefault=1\n");
        // No prefs.js yet.
        QCOMPARE(MailProfileDefaults::SmtpServer(), QString());

        TestSupport::PutFile(Home() + QStringLiteral("/.thunderbird/o/prefs.js"),
                  "user_pref(\"mail.smtp.defaultserver\", \"smtp1\");\n"
                  "user_pref(\"mail.smtpserver.smtp1.hostname\", \"other.example\");\n");
        TestSupport::PutFile(Home() + QStringLiteral("/.thunderbird/m/prefs.js"),
                  "user_pref(\"mail.smtp.defaultserver\", \"smtp2\");\n"
                  "user_pref(\"mail.smtpserver.smtp1.hostname\", \"first.example\");\n"
                  "user_pref(\"mail.smtpserver.smtp1.username\", \"first\");\n"
                  "user_pref(\"mail.smtpserver.smtp2.hostname\", \"mail.example.org\");\n"
                  "user_pref(\"mail.smtpserver.smtp2.username\", \"jörg@example.org\");\n"
                  "user_pref(\"mail.smtpservers\", \"smtp1,smtp2\");\n");
        QCOMPARE(MailProfileDefaults::SmtpServer(), QStringLiteral("mail.example.org"));
        QCOMPARE(MailProfileDefaults::SmtpUsername(), QStringLiteral("jörg@example.org"));

        // Without the default server setting the first listed server serves.
        const ThunderbirdPrefs listed = ThunderbirdPrefs::Parse(
            "user_pref(\"mail.smtpservers\", \"smtp3, smtp1\");\n"
            "user_pref(\"mail.smtpserver.smtp3.hostname\", \"three.example\");\n");
        QCOMPARE(listed.DefaultSmtpServer(), QStringLiteral("three.example"));
        QCOMPARE(listed.DefaultSmtpUsername(), QString());

        // A default that names a server without a host gives nothing at all.
        const ThunderbirdPrefs dangling = ThunderbirdPrefs::Parse(
            "user_pref(\"mail.smtp.defaultserver\", \"smtp9\");\n"
            "user_pref(\"mail.smtpserver.smtp9.username\", \"who\");\n");
        QCOMPARE(dangling.DefaultSmtpServer(), QString());
        QCOMPARE(dangling.DefaultSmtpUsername(), QString());
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestThunderbirdProfiles)
#include "tst_ThunderbirdProfiles.moc"
