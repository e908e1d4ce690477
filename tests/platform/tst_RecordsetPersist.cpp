#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/recordset/Recordset.h"
#include "base/AppError.h"

#include <QDateTime>
#include <QtEndian>

#include <optional>

using TestSupport::ErrorOf;

namespace {

// One field of every storage kind, with Nulls, empty values and text outside
// the basic plane.
Recordset EveryType()
{
    Recordset rs;
    const QList<int> types{AdoType::SmallInt, AdoType::Integer, AdoType::BigInt, AdoType::UnsignedTinyInt,
                           AdoType::Double, AdoType::Currency, AdoType::Boolean, AdoType::DBTimeStamp,
                           AdoType::DBDate, AdoType::DBTime, AdoType::VarChar, AdoType::VarWChar,
                           AdoType::VarBinary};
    for (int i = 0; i < types.size(); ++i)
        rs.AppendField(i == 3 ? QString() : QStringLiteral("F%1 \u00e9").arg(i), types[i], 100 + i, i == 0 ? 0 : -1);
    rs.Open();
    const QVariant null;
    rs.AppendRow(QVariantList{-32768, 2147483647, qlonglong(-9000000000000LL), 255, 3.141592653589793, -0.0001,
                              true, QDateTime(QDate(1601, 1, 1), QTime(0, 0, 0, 1)), QDate(9999, 12, 31),
                              QTime(23, 59, 59), QStringLiteral("plain"), QStringLiteral("\U0001F600\u00e9\U00010400"),
                              QByteArray("\0\xff\x01", 3)});
    rs.AppendRow(QVariantList{null, null, null, null, null, null, null, null, null, null, null, null, null});
    rs.AppendRow(QVariantList{0, 0, 0, 0, 0.0, 0.0, false, QDateTime(QDate(1899, 12, 30), QTime(0, 0)),
                              QDate(1, 1, 1), QTime(0, 0), QString(""), QString(""), QByteArray("")});
    return rs;
}

void CompareTables(const Recordset& a, const Recordset& b)
{
    QCOMPARE(b.FieldCount(), a.FieldCount());
    for (int f = 0; f < a.FieldCount(); ++f) {
        QCOMPARE(b.FieldName(f), a.FieldName(f));
        QCOMPARE(b.FieldType(f), a.FieldType(f));
        QCOMPARE(b.FieldDefinedSize(f), a.FieldDefinedSize(f));
        QCOMPARE(b.FieldAt(f).Attributes, a.FieldAt(f).Attributes);
    }
    QCOMPARE(b.RecordCount(), a.RecordCount());
    for (int r = 0; r < a.RecordCount(); ++r)
        for (int f = 0; f < a.FieldCount(); ++f) {
            QCOMPARE(b.IsNullAt(r, f), a.IsNullAt(r, f));
            const QVariant x = a.ValueAt(r, f), y = b.ValueAt(r, f);
            QCOMPARE(y.metaType(), x.metaType());
            QCOMPARE(y, x);
        }
}

} // namespace

class TestRecordsetPersist : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyTypeRoundTrips()
    {
        const Recordset original = EveryType();
        const Recordset loaded = Recordset::FromPersisted(original.Persist());
        QCOMPARE(loaded.CurrentRow(), 0);
        CompareTables(original, loaded); // Nulls, empty values and types included
        // The same table persists to the same bytes.
        QCOMPARE(loaded.Persist(), original.Persist());
    }

    void emptyAndClosedTables()
    {
        Recordset rs;
        rs.AppendField(QStringLiteral("Name"), AdoType::VarChar, 4000);
        rs.AppendField(QStringLiteral("Flag"), AdoType::Boolean, 2);
        QCOMPARE(TestSupport::ErrorOrNone([&] { rs.Persist(); }).Number(), long(Recordset::ErrClosed));
        rs.Open();
        Recordset loaded = Recordset::FromPersisted(rs.Persist());
        QCOMPARE(loaded.FieldCount(), 2);
        QCOMPARE(loaded.RecordCount(), 0);
        QVERIFY(loaded.AtBOF() && loaded.AtEOF());
    }

    // Across storage blocks, and whatever the filter: the whole table goes.
    void largeFilteredTablesRoundTripWhole()
    {
        Recordset rs;
        rs.AppendField(QStringLiteral("Id"), AdoType::Integer, 4);
        rs.AppendField(QStringLiteral("Text"), AdoType::VarWChar, 50);
        rs.AppendField(QStringLiteral("Bytes"), AdoType::VarBinary, 50);
        rs.AppendField(QStringLiteral("Real"), AdoType::Double, 8);
        rs.Open();
        QVariantList row(4);
        const int rows = 270000; // a storage block holds 262,144
        for (int i = 0; i < rows; ++i) {
            row[0] = rows - i;
            row[1] = i % 5 == 0 ? QVariant() : QVariant(QString(i % 13, QChar(u'a' + i % 26)));
            row[2] = QByteArray(i % 3, char(i));
            row[3] = i / 7.0;
            rs.AppendRow(row);
        }
        rs.SetFilter(QStringLiteral("Id = 2"));
        const Recordset loaded = Recordset::FromPersisted(rs.Persist());
        QVERIFY(loaded.Filter().isEmpty());
        rs.SetFilter(QString());
        CompareTables(rs, loaded);
    }

    void malformedBytesAreRefused()
    {
        const QByteArray good = EveryType().Persist();
        auto refused = [](const QByteArray& bytes) {
            const auto error = ErrorOf([&] { Recordset::FromPersisted(bytes); });
            return error && error->Number() == Recordset::ErrPersisted && error->Source() == QStringLiteral("Recordset")
                && !error->Description().isEmpty();
        };
        QVERIFY(refused(QByteArray("not a record set at all")));
        QVERIFY(refused(good + '\0'));
        for (qsizetype length = 0; length < good.size(); ++length)
            QVERIFY2(refused(good.left(length)), qPrintable(QStringLiteral("prefix of %1 bytes").arg(length)));

        // Counts far beyond the data are refused before anything is allocated for them.
        QByteArray manyFields = good;
        qToLittleEndian<quint32>(0xFFFFFFFFu, manyFields.data() + 8);
        QVERIFY(refused(manyFields));
        Recordset one;
        one.AppendField(QStringLiteral("B"), AdoType::Boolean, 2);
        one.Open();
        one.AppendRow(QVariantList{true});
        QByteArray bytes = one.Persist();
        QByteArray manyRows = bytes;
        qToLittleEndian<quint32>(0x7FFFFFFFu, manyRows.data() + bytes.size() - 6);
        QVERIFY(refused(manyRows));
        // A yes/no value other than 0 or 1.
        bytes[bytes.size() - 1] = 2;
        QVERIFY(refused(bytes));
        // An unknown layout version.
        QByteArray version = good;
        version[4] = 9;
        QVERIFY(refused(version));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestRecordsetPersist)
#include "tst_RecordsetPersist.moc"
