#include "TestFiles.h"
#include "TestMain.h"
#include "platform/providers/contacts/ContactsColumns.h"
#include "platform/providers/contacts/VCard.h"


using namespace ContactsColumns;

namespace {

QByteArray ReadVcf(const QString& name)
{
    return TestSupport::ReadBytes(TestSupport::TestData(QStringLiteral("vcf/") + name));
}

QList<Row> Rows(const QString& name, bool* truncated = nullptr)
{
    QList<Row> rows;
    for (const VCard& card : VCard::ParseAll(ReadVcf(name), truncated))
        rows.append(FromVCard(card));
    return rows;
}

using Expected = QList<std::pair<Column, QString>>;

// Compares the named columns of a row, naming the first that differs.
void Expect(const Row& row, const Expected& expected)
{
    for (const auto& [column, text] : expected)
        QVERIFY2(row[column] == text, qPrintable(QStringLiteral("%1: \"%2\"").arg(Names()[column], row[column])));
}

} // namespace

Q_DECLARE_METATYPE(Expected)

class TestVCard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One card of a file; a negative count means the file is cut off after
    // that many whole cards, and that is reported.
    void fileCardsFillTheColumns_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cards");
        QTest::addColumn<int>("card");
        QTest::addColumn<Expected>("expected");
        const auto row = [](const char* name, const char* file, int cards, int card, const Expected& expected) {
            QTest::newRow(name) << QString::fromLatin1(file) << cards << card << expected;
        };
        row("outlook", "ezvcard-outlook-2003.vcf", 1, 0,
            {{First, "John"}, {Last, "Doe"}, {DisplayName, "John Doe III"}, {Nickname, "Joey"},
             {EMail, "jdoe@hotmail.com"}, {EMail2, ""}, {BusinessPhone, "BusinessPhone"}, {HomePhone, "HomePhone"},
             {MobilePhone, "MobilePhone"}, {Fax, "BusinessFaxPhone"},
             // The escaped comma inside the company stays, the ";" parts it.
             {Company, "Company, The"}, {Department, "TheDepartment"}, {Title, "The Job Title"},
             {BusinessStreet, "123 Main St\nTheOffice"}, {BusinessCity, "Austin"}, {BusinessState, "TX"},
             {BusinessPostalCode, "12345"}, {BusinessCountry, "United States of America"}, {Birthday, "1980-03-21"},
             // Quoted-printable with a soft line break inside "=0D=0A".
             {Notes, "This is the note field!!\r\nSecond line\r\n\r\nThird line is empty\r\n"}});
        const char* android = "ezvcard-John_Doe_ANDROID.vcf";
        row("android", android, 6, 0, {{EMail, "john.doe@company.com"}});
        row("quoted-printable UTF-8 across soft breaks", android, 6, 2, {{Last, "Ñ Ñ Ñ Ñ "}, {MobilePhone, "123456789"}});
        // The preferred of two mobile numbers wins, then the first home one.
        row("preferred numbers", android, 6, 3,
            {{DisplayName, "Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ"}, {MobilePhone, "123456"}, {HomePhone, "234567"}});
        row("cut-off card dropped", "ezvcard-John_Doe_ANDROID-truncated.vcf", -2, 1, {{EMail, "jane.doe@company.com"}});
        row("thunderbird export", "thunderbird-export.vcf", 2, 0,
            {{EMail, "contact1@invalid"}, {First, "contact"}, {Last, "one"}});
        row("thunderbird export escapes", "thunderbird-export.vcf", 2, 1,
            {{Notes, "here's some unicode text…"}, {Title, "\"worker\""}, {Custom1, "custom, 1"},
             {Custom2, "custom\t2"}, {Custom3, "custom\r3"}, {Custom4, "custom\n4"}});
        row("CR CR LF line ends", "thunderbird-dos_vcard_addressbook.vcf", 1, 0,
            {{DisplayName, "Name Surname"}, {EMail, "example@gmail.com"}});
        row("all lower case, version last", "kcontacts-vcard3.vcf", 1, 0,
            {{First, "ian"}, {EMail, "geiseri@yahoo.com"}, {Company, "Source eXtreme"}});
        row("name line without a colon skipped", "kcontacts-vcard4.vcf", 1, 0,
            {{DisplayName, ""}, {EMail, "hello@ximian.com"}, {Fax, "(617) 236-8630"}});
        // Folded addresses, TYPE lists with PREF.
        row("rfc example", "ezvcard-rfc2426-example.vcf", 2, 0,
            {{EMail, "Frank_Dawson@Lotus.com"}, {EMail2, "fdawson@earthlink.net"},
             {BusinessStreet, "6544 Battleford Drive"}, {BusinessCity, "Raleigh"}, {BusinessPhone, "+1-919-676-9515"},
             {Fax, "+1-919-676-9564"}});
        row("rfc example, second card", "ezvcard-rfc2426-example.vcf", 2, 1, {{BusinessState, "CA"}});
        row("grouped properties", "ezvcard-John_Doe_IPHONE.vcf", 1, 0,
            {{EMail, "john.doe@ibm.com"}, {First, "John"}, {Company, "IBM"}, {Department, "Accounting"},
             {MobilePhone, "905-555-1234"}, {HomePhone, "905-666-1234"}, {BusinessPhone, "905-777-1234"},
             {Fax, "905-888-1234"}, {Pager, "905-111-1234"}, {Birthday, "2012-06-06"}});
    }

    void fileCardsFillTheColumns()
    {
        QFETCH(QString, file);
        QFETCH(int, cards);
        QFETCH(int, card);
        QFETCH(Expected, expected);
        bool truncated = cards > 0;
        const QList<Row> rows = Rows(file, &truncated);
        QCOMPARE(truncated, cards < 0);
        QCOMPARE(rows.size(), qAbs(cards));
        Expect(rows[card], expected);
    }

    void escapesComponentsAndCharsets()
    {
        QCOMPARE(VCard::Components(QStringLiteral("a\\;b;c\\,d;;e\\\\")),
                 (QStringList{QStringLiteral("a;b"), QStringLiteral("c,d"), QString(), QStringLiteral("e\\")}));
        QCOMPARE(VCard::Unescape(QStringLiteral("l1\\nl2\\Nl3\\")), QStringLiteral("l1\nl2\nl3\\"));
        QVERIFY(VCard::ParseAll(QByteArray()).isEmpty());
        QVERIFY(VCard::ParseAll("END:VCARD\nFN:stray\nBEGIN:VCARD").isEmpty());
        QVERIFY(VCard::ParseAll(QByteArray("\0\0\xff:", 4)).isEmpty());
        // A line without a colon does not take the next one in, whatever it ends with.
        const QList<VCard> stray = VCard::ParseAll("BEGIN:VCARD\nQUOTED-PRINTABLE=\nFN:Ann\nEND:VCARD\n");
        QCOMPARE(stray.size(), 1);
        QCOMPARE(stray[0].Text(QStringLiteral("FN")), QStringLiteral("Ann"));
        const QList<VCard> iphone = VCard::ParseAll(ReadVcf(QStringLiteral("ezvcard-John_Doe_IPHONE.vcf")));
        for (const VCardProperty& property : iphone.first().Properties)
            QVERIFY2(property.Name != u"PHOTO", "pictures are not kept");

        const QList<VCard> cards = VCard::ParseAll(
            "BEGIN:VCARD\nVERSION:4.0\nEMAIL:b@x\nEMAIL;PREF=2:c@x\nEMAIL;PREF=1:a@x\n"
            "TEL;VALUE=uri;TYPE=\"work,voice\":tel:+1-555\nBDAY:--0412\n"
            "BEGIN:VCARD\nFN:agent inside\nEND:VCARD\nFN:outer\nEND:VCARD\n");
        QCOMPARE(cards.size(), 1);
        Expect(FromVCard(cards[0]), {{EMail, "a@x"}, {EMail2, "c@x"}, {BusinessPhone, "+1-555"},
                                     {Birthday, "--04-12"}, {DisplayName, "outer"}});

        // Latin bytes without a charset, and with one named.
        const QList<VCard> latin = VCard::ParseAll("BEGIN:VCARD\r\nN:M\xfcller;J\xf6rg\r\nEND:VCARD\r\n");
        QCOMPARE(latin.size(), 1);
        QCOMPARE(FromVCard(latin[0])[Last], QStringLiteral("Müller"));
        const QList<VCard> named =
            VCard::ParseAll("BEGIN:VCARD\nFN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Ren=E9\nEND:VCARD\n");
        QCOMPARE(FromVCard(named[0])[DisplayName], QStringLiteral("René"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestVCard)
#include "tst_VCard.moc"
