#include "TestMain.h"
#include "platform/providers/ContactsColumns.h"
#include "platform/providers/VCard.h"

#include <QFile>

using namespace ContactsColumns;

namespace {

QByteArray ReadVcf(const QString& name)
{
    QFile file(TestSupport::TestData(QStringLiteral("vcf/") + name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

QList<Row> Rows(const QString& name, bool* truncated = nullptr)
{
    QList<Row> rows;
    for (const VCard& card : VCard::ParseAll(ReadVcf(name), truncated))
        rows.append(FromVCard(card));
    return rows;
}

} // namespace

class TestVCard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outlookCardFillsTheColumns()
    {
        const QList<Row> rows = Rows(QStringLiteral("ezvcard-outlook-2003.vcf"));
        QCOMPARE(rows.size(), 1);
        const Row& r = rows[0];
        QCOMPARE(r[First], QStringLiteral("John"));
        QCOMPARE(r[Last], QStringLiteral("Doe"));
        QCOMPARE(r[DisplayName], QStringLiteral("John Doe III"));
        QCOMPARE(r[Nickname], QStringLiteral("Joey"));
        QCOMPARE(r[EMail], QStringLiteral("jdoe@hotmail.com"));
        QCOMPARE(r[EMail2], QString());
        QCOMPARE(r[BusinessPhone], QStringLiteral("BusinessPhone"));
        QCOMPARE(r[HomePhone], QStringLiteral("HomePhone"));
        QCOMPARE(r[MobilePhone], QStringLiteral("MobilePhone"));
        QCOMPARE(r[Fax], QStringLiteral("BusinessFaxPhone"));
        // The escaped comma inside the company stays, the ";" parts it.
        QCOMPARE(r[Company], QStringLiteral("Company, The"));
        QCOMPARE(r[Department], QStringLiteral("TheDepartment"));
        QCOMPARE(r[Title], QStringLiteral("The Job Title"));
        QCOMPARE(r[BusinessStreet], QStringLiteral("123 Main St\nTheOffice"));
        QCOMPARE(r[BusinessCity], QStringLiteral("Austin"));
        QCOMPARE(r[BusinessState], QStringLiteral("TX"));
        QCOMPARE(r[BusinessPostalCode], QStringLiteral("12345"));
        QCOMPARE(r[BusinessCountry], QStringLiteral("United States of America"));
        QCOMPARE(r[Birthday], QStringLiteral("1980-03-21"));
        // Quoted-printable with a soft line break inside "=0D=0A".
        QCOMPARE(r[Notes], QStringLiteral("This is the note field!!\r\nSecond line\r\n\r\nThird line is empty\r\n"));
    }

    void quotedPrintableUtf8AcrossSoftBreaks()
    {
        bool truncated = true;
        const QList<Row> rows = Rows(QStringLiteral("ezvcard-John_Doe_ANDROID.vcf"), &truncated);
        QVERIFY(!truncated);
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows[0][EMail], QStringLiteral("john.doe@company.com"));
        QCOMPARE(rows[2][Last], QStringLiteral("Ñ Ñ Ñ Ñ "));
        QCOMPARE(rows[2][MobilePhone], QStringLiteral("123456789"));
        QCOMPARE(rows[3][DisplayName], QStringLiteral("Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ"));
        // The preferred of two mobile numbers wins, then the first home one.
        QCOMPARE(rows[3][MobilePhone], QStringLiteral("123456"));
        QCOMPARE(rows[3][HomePhone], QStringLiteral("234567"));
    }

    void cutOffCardIsDroppedAndReported()
    {
        bool truncated = false;
        const QList<Row> rows = Rows(QStringLiteral("ezvcard-John_Doe_ANDROID-truncated.vcf"), &truncated);
        QVERIFY(truncated);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1][EMail], QStringLiteral("jane.doe@company.com"));

        QVERIFY(VCard::ParseAll(QByteArray()).isEmpty());
        QVERIFY(VCard::ParseAll("END:VCARD\nFN:stray\nBEGIN:VCARD").isEmpty());
        QVERIFY(VCard::ParseAll(QByteArray("\0\0\xff:", 4)).isEmpty());
    }

    void thunderbirdExportEscapesAndPreference()
    {
        const QList<Row> rows = Rows(QStringLiteral("thunderbird-export.vcf"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][EMail], QStringLiteral("contact1@invalid"));
        QCOMPARE(rows[0][First], QStringLiteral("contact"));
        QCOMPARE(rows[0][Last], QStringLiteral("one"));
        const Row& two = rows[1];
        QCOMPARE(two[Notes], QStringLiteral("here's some unicode text…"));
        QCOMPARE(two[Title], QStringLiteral("\"worker\""));
        QCOMPARE(two[Custom1], QStringLiteral("custom, 1"));
        QCOMPARE(two[Custom2], QStringLiteral("custom\t2"));
        QCOMPARE(two[Custom3], QStringLiteral("custom\r3"));
        QCOMPARE(two[Custom4], QStringLiteral("custom\n4"));
    }

    void lineEndsCaseAndFolding()
    {
        // CR CR LF line ends.
        const QList<Row> dos = Rows(QStringLiteral("thunderbird-dos_vcard_addressbook.vcf"));
        QCOMPARE(dos.size(), 1);
        QCOMPARE(dos[0][DisplayName], QStringLiteral("Name Surname"));
        QCOMPARE(dos[0][EMail], QStringLiteral("example@gmail.com"));

        // All lower case, version last.
        const QList<Row> old = Rows(QStringLiteral("kcontacts-vcard3.vcf"));
        QCOMPARE(old.size(), 1);
        QCOMPARE(old[0][First], QStringLiteral("ian"));
        QCOMPARE(old[0][EMail], QStringLiteral("geiseri@yahoo.com"));
        QCOMPARE(old[0][Company], QStringLiteral("Source eXtreme"));

        // A name line without a colon is skipped, the rest is read.
        const QList<Row> odd = Rows(QStringLiteral("kcontacts-vcard4.vcf"));
        QCOMPARE(odd.size(), 1);
        QCOMPARE(odd[0][DisplayName], QString());
        QCOMPARE(odd[0][EMail], QStringLiteral("hello@ximian.com"));
        QCOMPARE(odd[0][Fax], QStringLiteral("(617) 236-8630"));

        // Two cards, folded addresses, TYPE lists with PREF.
        const QList<Row> rfc = Rows(QStringLiteral("ezvcard-rfc2426-example.vcf"));
        QCOMPARE(rfc.size(), 2);
        QCOMPARE(rfc[0][EMail], QStringLiteral("Frank_Dawson@Lotus.com"));
        QCOMPARE(rfc[0][EMail2], QStringLiteral("fdawson@earthlink.net"));
        QCOMPARE(rfc[0][BusinessStreet], QStringLiteral("6544 Battleford Drive"));
        QCOMPARE(rfc[0][BusinessCity], QStringLiteral("Raleigh"));
        QCOMPARE(rfc[0][BusinessPhone], QStringLiteral("+1-919-676-9515"));
        QCOMPARE(rfc[0][Fax], QStringLiteral("+1-919-676-9564"));
        QCOMPARE(rfc[1][BusinessState], QStringLiteral("CA"));
    }

    void groupedPropertiesAndBinaryValues()
    {
        const QList<VCard> cards = VCard::ParseAll(ReadVcf(QStringLiteral("ezvcard-John_Doe_IPHONE.vcf")));
        QCOMPARE(cards.size(), 1);
        for (const VCardProperty& property : cards[0].Properties)
            QVERIFY2(property.Name != u"PHOTO", "pictures are not kept");
        const Row r = FromVCard(cards[0]);
        QCOMPARE(r[EMail], QStringLiteral("john.doe@ibm.com"));
        QCOMPARE(r[First], QStringLiteral("John"));
        QCOMPARE(r[Company], QStringLiteral("IBM"));
        QCOMPARE(r[Department], QStringLiteral("Accounting"));
        QCOMPARE(r[MobilePhone], QStringLiteral("905-555-1234"));
        QCOMPARE(r[HomePhone], QStringLiteral("905-666-1234"));
        QCOMPARE(r[BusinessPhone], QStringLiteral("905-777-1234"));
        QCOMPARE(r[Fax], QStringLiteral("905-888-1234"));
        QCOMPARE(r[Pager], QStringLiteral("905-111-1234"));
        QCOMPARE(r[Birthday], QStringLiteral("2012-06-06"));
    }

    void escapesAndComponents()
    {
        QCOMPARE(VCard::Components(QStringLiteral("a\\;b;c\\,d;;e\\\\")),
                 (QStringList{QStringLiteral("a;b"), QStringLiteral("c,d"), QString(), QStringLiteral("e\\")}));
        QCOMPARE(VCard::Unescape(QStringLiteral("l1\\nl2\\Nl3\\")), QStringLiteral("l1\nl2\nl3\\"));

        const QList<VCard> cards = VCard::ParseAll(
            "BEGIN:VCARD\nVERSION:4.0\nEMAIL:b@x\nEMAIL;PREF=2:c@x\nEMAIL;PREF=1:a@x\n"
            "TEL;VALUE=uri;TYPE=\"work,voice\":tel:+1-555\nBDAY:--0412\n"
            "BEGIN:VCARD\nFN:agent inside\nEND:VCARD\nFN:outer\nEND:VCARD\n");
        QCOMPARE(cards.size(), 1);
        const Row r = FromVCard(cards[0]);
        QCOMPARE(r[EMail], QStringLiteral("a@x"));
        QCOMPARE(r[EMail2], QStringLiteral("c@x"));
        QCOMPARE(r[BusinessPhone], QStringLiteral("+1-555"));
        QCOMPARE(r[Birthday], QStringLiteral("--04-12"));
        QCOMPARE(r[DisplayName], QStringLiteral("outer"));
    }

    void latinBytesWithoutCharset()
    {
        const QList<VCard> cards = VCard::ParseAll("BEGIN:VCARD\r\nN:M\xfcller;J\xf6rg\r\nEND:VCARD\r\n");
        QCOMPARE(cards.size(), 1);
        QCOMPARE(FromVCard(cards[0])[Last], QStringLiteral("Müller"));
        const QList<VCard> named =
            VCard::ParseAll("BEGIN:VCARD\nFN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Ren=E9\nEND:VCARD\n");
        QCOMPARE(FromVCard(named[0])[DisplayName], QStringLiteral("René"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestVCard)
#include "tst_VCard.moc"
