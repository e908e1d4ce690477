#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/providers/xml/XmlRecordsetReader.h"
#include "platform/providers/xml/XmlRecordsetWriter.h"
#include "platform/providers/xml/XmlSource.h"
#include "base/AppError.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

using TestSupport::ErrorOf;
using TestSupport::Names;
using TestSupport::Types;

namespace {

Recordset ReadFile(const QString& relative)
{
    QFile file(TestSupport::TestData(QStringLiteral("adoxml/") + relative));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(relative));
    return XmlRecordsetReader::Read(file);
}

QVariantList Column(const Recordset& set, int position)
{
    QVariantList values;
    for (int row = 0; row < set.RecordCount(); ++row)
        values << set.ValueAt(row, position);
    return values;
}

QDateTime Naive(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

} // namespace

class TestXmlRecordset : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTypesFromTheSchemaDatesIncluded()
    {
        const Recordset set = ReadFile(QStringLiteral("tablegram-types_basic.xml"));
        QCOMPARE(Names(set), QStringList({"ID", "FLAG", "AMOUNT", "RATIO", "WHEN_AT"}));
        QCOMPARE(Types(set), QList<int>({AdoType::Integer, AdoType::Boolean, AdoType::Currency, AdoType::Double,
                                         AdoType::Date}));
        QCOMPARE(set.RecordCount(), 2); // both rows sit in a pending insert section
        QCOMPARE(Column(set, 0), QVariantList({1, -2}));
        QCOMPARE(Column(set, 1), QVariantList({true, false}));
        QCOMPARE(set.ValueAt(1, 2).toDouble(), -7.89);
        QCOMPARE(set.ValueAt(1, 4).toDateTime(), Naive(1999, 12, 31, 23, 59, 58));

        const Recordset dates = ReadFile(QStringLiteral("tablegram-temporal_extremes.xml"));
        QCOMPARE(Types(dates), QList<int>({AdoType::Integer, AdoType::Date, AdoType::DBDate, AdoType::DBTime,
                                           AdoType::DBTimeStamp, AdoType::DBTimeStamp}));
        QCOMPARE(dates.ValueAt(0, 1).toDateTime(), Naive(100, 1, 1));
        QCOMPARE(dates.ValueAt(1, 1).toDateTime(), Naive(9999, 12, 31, 23, 59, 59));
        QCOMPARE(dates.ValueAt(1, 2).toDate(), QDate(9999, 12, 31));
        QCOMPARE(dates.ValueAt(1, 3).toTime(), QTime(23, 59, 59));
        QCOMPARE(dates.ValueAt(0, 5).toDateTime(), Naive(1601, 1, 1));
        // An omitted attribute is Null too, and a row with none at all is all Null.
        QCOMPARE(dates.RecordCount(), 3);
        for (int i = 1; i < dates.FieldCount(); ++i)
            QVERIFY(dates.IsNullAt(2, i));
    }

    void pendingChangesCountAsDone()
    {
        // Updated row 1 with its new values, plain row 3, inserted row 4; row 2 deleted.
        const Recordset set = ReadFile(QStringLiteral("tablegram-name_mapping.xml"));
        QCOMPARE(Names(set), QStringList({"ID", "Field Space Text", "1LeadingInteger", "Name-With-Dash",
                                          QStringLiteral("한글 필드")}));
        QCOMPARE(Column(set, 0), QVariantList({1, 3, 4}));
        QCOMPARE(Column(set, 1), QVariantList({"alpha-updated", "gamma", "delta"}));
        QCOMPARE(set.ValueAt(0, 4).toString(), QStringLiteral("한글_4_값"));

        // An update's changed row lists only what changed; UTF-16 reads alike in both byte orders.
        const Recordset utf16 = ReadFile(QStringLiteral("tablegram-utf16_xml_stream.xml"));
        QCOMPARE(Column(utf16, 0), QVariantList({1, 3}));
        QCOMPARE(utf16.ValueAt(0, 1).toString(), QStringLiteral("€ updated"));
        QVERIFY(utf16.ValueAt(0, 2).toString().startsWith(QStringLiteral("updated|한글|")));
        QCOMPARE(utf16.ValueAt(1, 2).toString(), QStringLiteral("한글 inserted"));
        QCOMPARE(ReadFile(QStringLiteral("tablegram-utf16be_xml_stream.xml")).Persist(), utf16.Persist());
    }

    void namesKeepTheirCharacters()
    {
        const Recordset special = ReadFile(QStringLiteral("tablegram-special_field_names.xml"));
        QCOMPARE(Names(special), QStringList({"ID", "Amp & Field", "Quote \" Field", "Apostrophe ' Field",
                                              "Less < Field", "Greater > Field"}));
        QCOMPARE(special.ValueAt(2, 3).toString(), QStringLiteral("apostrophe|row=4|phase=2|한글"));

        // A blank name stays blank, so the unnamed-column label applies to it;
        // tabs and line breaks in attribute values read as blanks, as in any XML.
        const Recordset blanks = ReadFile(QStringLiteral("tablegram-whitespace_field_names.xml"));
        QCOMPARE(blanks.FieldName(1), QStringLiteral(" "));
        QCOMPARE(blanks.FieldName(2), QStringLiteral("  Edge Name  "));
        QCOMPARE(blanks.FieldName(4), QStringLiteral("Lf Field"));
        QCOMPARE(blanks.FieldIndex(QStringLiteral("  edge name  ")), 2);
    }

    // Null is apart from the empty text.
    void textValuesKeepNullsEscapesBlanksAndLineBreaks()
    {
        const Recordset nulls = ReadFile(QStringLiteral("tablegram-nulls.xml"));
        QCOMPARE(nulls.RecordCount(), 2);
        QVERIFY(nulls.IsNullAt(0, 1) && nulls.IsNullAt(0, 2));
        QVERIFY(!nulls.IsNullAt(1, 1));
        QCOMPARE(nulls.ValueAt(1, 1).toString(), QString());
        QCOMPARE(nulls.ValueAt(1, 2), QVariant(0));

        const Recordset set = ReadFile(QStringLiteral("tablegram-text_escapes.xml"));
        // Character references come back as the characters; a literal tab or
        // line break inside an attribute reads as a blank, as XML has it (the
        // writer uses references so that its own line breaks survive).
        QCOMPARE(set.ValueAt(0, 1).toString(), QStringLiteral("row=1|phase=1|\"dq\"|'sq'|<&>|tab cr lf end"));
        QVERIFY(set.ValueAt(0, 2).toString().endsWith(QStringLiteral("|wide=한글_값_€")));
        QVERIFY(set.ValueAt(0, 3).toString().size() > 300);

        const Recordset empty = ReadFile(QStringLiteral("tablegram-text_empty_strings.xml"));
        QCOMPARE(Column(empty, 0), QVariantList({1, 3, 4}));
        QCOMPARE(empty.ValueAt(0, 1).toString(), QStringLiteral("    "));
        QVERIFY(!empty.IsNullAt(0, 3));
        QVERIFY(empty.IsNullAt(1, 3));
    }

    void minimalSchemasAndUndeclaredAttributes()
    {
        const Recordset set = ReadFile(QStringLiteral("tablegram-doc_minimal_schema.xml"));
        QCOMPARE(Names(set), QStringList({"ID", "Friendly Name", "Direct Int", "Direct Binary"}));
        QCOMPARE(Types(set), QList<int>({AdoType::Integer, AdoType::LongVarWChar, AdoType::Integer,
                                         AdoType::VarBinary}));
        QCOMPARE(set.RecordCount(), 2);
        QCOMPARE(set.ValueAt(0, 2), QVariant(42));
        QCOMPARE(set.ValueAt(0, 3).toByteArray(), QByteArray::fromHex("000102"));
        QCOMPARE(set.ValueAt(1, 1).toString(), QString());
        QVERIFY(set.IsNullAt(1, 2));

        const Recordset shippers = ReadFile(QStringLiteral("msdocs-northwind-shippers.xml"));
        QCOMPARE(Names(shippers), QStringList({"ShipperID", "CompanyName", "Phone"}));
        QCOMPARE(Column(shippers, 1), QVariantList({"Speedy Express", "United Package", "Federal Shipping"}));

        const Recordset empty = ReadFile(QStringLiteral("tablegram-empty.xml"));
        QCOMPARE(Names(empty), QStringList({"ID", "NAME"}));
        QCOMPARE(empty.RecordCount(), 0);

        // The columns of a nested child record set are left out.
        const Recordset nested = ReadFile(QStringLiteral("tablegram-regions_customers_boolean_shape.xml"));
        QCOMPARE(Names(nested), QStringList({"IsDomestic", "Bucket"}));
        QCOMPARE(Column(nested, 0), QVariantList({true, false}));
        QCOMPARE(Column(nested, 1), QVariantList({"Domestic", "International"}));
    }

    void writerRoundTripsEveryType()
    {
        Recordset set;
        set.AppendField(QStringLiteral("Id"), AdoType::Integer, 4);
        set.AppendField(QStringLiteral("E-Mail Address"), AdoType::VarWChar, 255);
        set.AppendField(QString(), AdoType::LongVarWChar, 64000);
        set.AppendField(QStringLiteral("Id"), AdoType::Double, 8); // a duplicate name
        set.AppendField(QStringLiteral("Born"), AdoType::Date, 8);
        set.AppendField(QStringLiteral("Day"), AdoType::DBDate, 6);
        set.AppendField(QStringLiteral("At"), AdoType::DBTime, 6);
        set.AppendField(QStringLiteral("Ok"), AdoType::Boolean, 2);
        set.AppendField(QStringLiteral("Big"), AdoType::BigInt, 8);
        set.AppendField(QStringLiteral("Bytes"), AdoType::VarBinary, 16);
        set.AppendField(QStringLiteral("Price"), AdoType::Currency, 8);
        set.AppendField(QStringLiteral("xmlish"), AdoType::VarChar, 10);
        set.Open();
        set.AppendRow(QVariantList{1, QStringLiteral("a\"b'c<d>&e\tf\ng\rh"), QStringLiteral("한글 €"), 0.1,
                                   Naive(1899, 12, 30, 8, 30, 15), QDate(2024, 2, 29), QTime(23, 59, 58), true,
                                   qlonglong(9007199254740993LL), QByteArray("\x00\xff", 2), 1234.5678,
                                   QStringLiteral("x")});
        set.AppendRow(QVariantList{2, QString(), QVariant(), -1e300});
        const QByteArray xml = XmlRecordsetWriter::Write(set);
        const Recordset back = XmlRecordsetReader::Read(xml);

        QCOMPARE(Names(back), Names(set));
        QCOMPARE(Types(back), Types(set));
        QCOMPARE(back.RecordCount(), 2);
        for (int row = 0; row < 2; ++row)
            for (int i = 0; i < set.FieldCount(); ++i) {
                QCOMPARE(back.IsNullAt(row, i), set.IsNullAt(row, i));
                QCOMPARE(back.ValueAt(row, i), set.ValueAt(row, i));
            }
        // An empty text is a value, not a Null, on both sides.
        QVERIFY(!back.IsNullAt(1, 1));
    }

    void writerWritesOnlyTheFilteredRowsAndRefusesWhatXmlCannotCarry()
    {
        Recordset set;
        set.AppendField(QStringLiteral("Id"), AdoType::Integer, 4);
        set.AppendField(QStringLiteral("Note"), AdoType::VarWChar, 50);
        set.Open();
        for (int i = 1; i <= 5; ++i)
            set.AppendRow(QVariantList{i, QStringLiteral("n%1").arg(i)});
        set.SetFilter(QStringLiteral("Id > 3"));
        const Recordset back = XmlRecordsetReader::Read(XmlRecordsetWriter::Write(set));
        QCOMPARE(Column(back, 0), QVariantList({4, 5}));

        Recordset bad;
        bad.AppendField(QStringLiteral("Note"), AdoType::VarWChar, 50);
        bad.Open();
        bad.AppendRow(QVariantList{QStringLiteral("bell\x07")});
        const auto error = ErrorOf([&] { XmlRecordsetWriter::Write(bad); });
        QVERIFY(error);
        QCOMPARE(error->Number(), XmlRecordsetWriter::ErrUnwritable);
        QVERIFY2(error->Description().contains(QStringLiteral("U+0007")), qPrintable(error->Description()));
    }

    void pathsAreReadDirectlyAndWebAddressesStamped()
    {
        const QString path = TestSupport::TestData(QStringLiteral("adoxml/msdocs-northwind-shippers.xml"));
        QCOMPARE(XmlSource::Open(path, {}, {}).RecordCount(), 3);
        QCOMPARE(XmlSource::Open(QUrl::fromLocalFile(path).toString(), {}, {}).RecordCount(), 3);

        QTemporaryDir dir;
        const auto folder = ErrorOf([&] { XmlSource::Open(dir.path(), {}, {}); });
        QVERIFY(folder && folder->Description().contains(QStringLiteral("is a folder")));

        const auto scheme = ErrorOf([&] { XmlSource::Open(QStringLiteral("ftp://example.invalid/x.xml"), {}, {}); });
        QVERIFY(scheme && scheme->Description().contains(QStringLiteral("use an http or https address")));

        // Web addresses get the time stamp that keeps caches out of the way.
        const QDateTime at(QDate(2024, 3, 5), QTime(7, 8, 9));
        QCOMPARE(XmlSource::RequestAddress(QStringLiteral("http://h/list.xml"), at),
                 QStringLiteral("http://h/list.xml?timestamptoavoidcache=20240305070809"));
        QCOMPARE(XmlSource::RequestAddress(QStringLiteral("http://h/list.asp?id=4"), at),
                 QStringLiteral("http://h/list.asp?id=4&timestamptoavoidcache=20240305070809"));
        QCOMPARE(XmlSource::RequestAddress(QStringLiteral("http://h/?"), QDateTime(QDate(999, 12, 31), QTime(23, 0))),
                 QStringLiteral("http://h/?&timestamptoavoidcache=09991231230000"));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestXmlRecordset)
#include "tst_XmlRecordset.moc"
