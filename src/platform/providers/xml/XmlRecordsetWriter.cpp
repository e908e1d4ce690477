#include "platform/providers/xml/XmlRecordsetWriter.h"

#include "platform/providers/xml/XmlRecordsetReader.h"
#include "base/AppError.h"

#include <QBuffer>
#include <QDateTime>
#include <QSet>

#include <cmath>

namespace {

struct TypeNames
{
    const char* dtType;
    const char* dbType; // nullptr when the type says it all
};

TypeNames NamesOf(int type)
{
    switch (type) {
    case AdoType::SmallInt: return {"i2", nullptr};
    case AdoType::Integer: return {"int", nullptr};
    case AdoType::TinyInt: return {"i1", nullptr};
    case AdoType::UnsignedTinyInt: return {"ui1", nullptr};
    case AdoType::UnsignedSmallInt: return {"ui2", nullptr};
    case AdoType::UnsignedInt: return {"ui4", nullptr};
    case AdoType::BigInt: return {"i8", nullptr};
    case AdoType::UnsignedBigInt: return {"ui8", nullptr};
    case AdoType::Boolean: return {"boolean", nullptr};
    case AdoType::Single: return {"r4", nullptr};
    case AdoType::Double: return {"float", nullptr};
    case AdoType::Currency: return {"number", "currency"};
    case AdoType::Decimal: return {"number", "decimal"};
    case AdoType::Numeric: return {"number", "numeric"};
    case AdoType::VarNumeric: return {"number", "varnumeric"};
    case AdoType::Date: return {"dateTime", "variantdate"};
    case AdoType::DBTimeStamp: return {"dateTime", "timestamp"};
    case AdoType::DBDate: return {"date", nullptr};
    case AdoType::DBTime: return {"time", nullptr};
    case AdoType::Binary: case AdoType::VarBinary: case AdoType::LongVarBinary: return {"bin.hex", nullptr};
    case AdoType::Guid: return {"uuid", nullptr};
    case AdoType::Char: case AdoType::VarChar: case AdoType::LongVarChar: return {"string", "str"};
    case AdoType::BSTR: return {"string", "bstr"};
    default: return {"string", nullptr};
    }
}

bool IsFixed(int type)
{
    switch (type) {
    case AdoType::Char: case AdoType::WChar: case AdoType::Binary:
        return true;
    case AdoType::VarChar: case AdoType::LongVarChar: case AdoType::VarWChar: case AdoType::LongVarWChar:
    case AdoType::BSTR: case AdoType::VarBinary: case AdoType::LongVarBinary:
        return false;
    default:
        return qstrcmp(NamesOf(type).dtType, "string") != 0; // numbers, dates, booleans
    }
}

bool IsLong(int type)
{
    return type == AdoType::LongVarChar || type == AdoType::LongVarWChar || type == AdoType::LongVarBinary;
}

// An attribute name the rows can use as it is: ASCII letters, digits, "_",
// "-" and ".", starting with a letter or "_", and not a reserved "xml" name.
bool IsPlainName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(u"xml", Qt::CaseInsensitive))
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
        const bool other = (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
        if (!letter && (i == 0 || !other))
            return false;
    }
    return true;
}

class Writer
{
public:
    Writer(const Recordset& set, QIODevice& device) : m_set(set), m_device(device) {}

    void Run()
    {
        Put("<xml xmlns:s=\"uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882\"\n"
            "\txmlns:dt=\"uuid:C2F41010-65B3-11d1-A29F-00AA00C14882\"\n"
            "\txmlns:rs=\"urn:schemas-microsoft-com:rowset\"\n"
            "\txmlns:z=\"#RowsetSchema\">\n"
            "<s:Schema id=\"RowsetSchema\">\n"
            "\t<s:ElementType name=\"row\" content=\"eltOnly\">\n");
        ChooseAttributeNames();
        for (int i = 0; i < m_set.FieldCount(); ++i)
            WriteField(i);
        Put("\t\t<s:extends type=\"rs:rowbase\"/>\n\t</s:ElementType>\n</s:Schema>\n<rs:data>\n");
        const int rows = m_set.RecordCount();
        for (int row = 0; row < rows; ++row)
            WriteRow(row);
        Put("</rs:data>\n</xml>\n");
        Flush();
    }

private:
    void ChooseAttributeNames()
    {
        QSet<QString> taken;
        const int count = m_set.FieldCount();
        m_attributes.resize(count);
        for (int i = 0; i < count; ++i) {
            const QString name = m_set.FieldName(i);
            if (IsPlainName(name) && !taken.contains(name)) {
                m_attributes[i] = name;
                taken.insert(name);
            }
        }
        for (int i = 0; i < count; ++i) {
            if (!m_attributes[i].isEmpty())
                continue;
            QString name = QStringLiteral("c%1").arg(i + 1);
            while (taken.contains(name))
                name += u'_';
            m_attributes[i] = name;
            taken.insert(name);
        }
    }

    void WriteField(int position)
    {
        const Recordset::Field field = m_set.FieldAt(position);
        const TypeNames names = NamesOf(field.Type);
        // Tables built by the program itself say -1: anything may be Null there.
        const bool nullable = field.Attributes == -1 || (field.Attributes & 0x60) != 0;
        Put("\t\t<s:AttributeType name=\"");
        PutEscaped(m_attributes[position], position, -1);
        Put("\"");
        if (m_attributes[position] != field.Name) {
            Put(" rs:name=\"");
            PutEscaped(field.Name, position, -1);
            Put("\"");
        }
        Put(" rs:number=\"");
        Put(QByteArray::number(position + 1));
        Put(nullable ? "\" rs:nullable=\"true\"" : "\"");
        Put(" rs:write=\"true\">\n\t\t\t<s:datatype dt:type=\"");
        Put(names.dtType);
        Put("\"");
        if (names.dbType) {
            Put(" rs:dbtype=\"");
            Put(names.dbType);
            Put("\"");
        }
        Put(" dt:maxLength=\"");
        Put(QByteArray::number(field.DefinedSize));
        Put("\"");
        if (IsFixed(field.Type))
            Put(" rs:fixedlength=\"true\"");
        if (IsLong(field.Type))
            Put(" rs:long=\"true\"");
        Put(nullable ? " rs:maybenull=\"true\"/>\n" : " rs:maybenull=\"false\"/>\n");
        Put("\t\t</s:AttributeType>\n");
    }

    void WriteRow(int row)
    {
        Put("\t<z:row");
        for (int i = 0; i < m_set.FieldCount(); ++i) {
            if (m_set.IsNullAt(row, i))
                continue;
            Put(" ");
            Put(m_attributes[i].toUtf8());
            Put("=\"");
            PutEscaped(ValueText(m_set.FieldType(i), m_set.ValueAt(row, i)), i, row);
            Put("\"");
        }
        Put("/>\n");
    }

    static QString ValueText(int type, const QVariant& value)
    {
        switch (type) {
        case AdoType::Boolean:
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case AdoType::Single: case AdoType::Double: case AdoType::Currency: case AdoType::Decimal:
        case AdoType::Numeric: case AdoType::VarNumeric: {
            const double number = value.toDouble();
            if (std::isnan(number))
                return QStringLiteral("NaN");
            if (std::isinf(number))
                return number > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
            return QString::number(number, 'g', QLocale::FloatingPointShortest);
        }
        case AdoType::Date: case AdoType::DBTimeStamp: {
            const QDateTime dt = value.toDateTime();
            return dt.toString(dt.time().msec() ? u"yyyy-MM-ddTHH:mm:ss.zzz" : u"yyyy-MM-ddTHH:mm:ss");
        }
        case AdoType::DBDate:
            return value.toDate().toString(u"yyyy-MM-dd");
        case AdoType::DBTime: {
            const QTime t = value.toTime();
            return t.toString(t.msec() ? u"HH:mm:ss.zzz" : u"HH:mm:ss");
        }
        case AdoType::Binary: case AdoType::VarBinary: case AdoType::LongVarBinary:
            return QString::fromLatin1(value.toByteArray().toHex());
        default:
            return value.toString();
        }
    }

    void PutEscaped(const QString& text, int field, int row)
    {
        QString out;
        out.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            switch (c.unicode()) {
            case u'&': out += u"&amp;"; continue;
            case u'<': out += u"&lt;"; continue;
            case u'>': out += u"&gt;"; continue;
            case u'"': out += u"&quot;"; continue;
            case u'\t': out += u"&#x9;"; continue;
            case u'\n': out += u"&#xA;"; continue;
            case u'\r': out += u"&#xD;"; continue;
            default: break;
            }
            bool valid = c.unicode() >= 0x20 && c.unicode() != 0xFFFE && c.unicode() != 0xFFFF;
            if (c.isHighSurrogate())
                valid = i + 1 < text.size() && text[i + 1].isLowSurrogate();
            else if (c.isLowSurrogate())
                valid = i > 0 && text[i - 1].isHighSurrogate();
            if (!valid)
                Unwritable(field, row, c.unicode());
            out += c;
        }
        Put(out.toUtf8());
    }

    [[noreturn]] void Unwritable(int field, int row, char16_t c)
    {
        const QString where = row < 0 ? QStringLiteral("The name of field %1").arg(field + 1)
                                      : QStringLiteral("The value of [%1] in row %2").arg(m_set.FieldName(field)).arg(row + 1);
        throw AppError(XmlRecordsetWriter::ErrUnwritable, XmlRecordsetReader::Source,
                       QStringLiteral("%1 holds the character U+%2, which an XML document cannot carry.")
                           .arg(where)
                           .arg(uint(c), 4, 16, QLatin1Char('0')));
    }

    void Put(const char* text) { m_buffer.append(text); MaybeFlush(); }
    void Put(const QByteArray& bytes) { m_buffer.append(bytes); MaybeFlush(); }
    void MaybeFlush()
    {
        if (m_buffer.size() >= 1 << 16)
            Flush();
    }
    void Flush()
    {
        if (m_buffer.isEmpty())
            return;
        if (m_device.write(m_buffer) != m_buffer.size())
            throw AppError(XmlRecordsetWriter::ErrUnwritable, XmlRecordsetReader::Source,
                           QStringLiteral("The XML record set could not be written: %1").arg(m_device.errorString()));
        m_buffer.clear();
    }

    const Recordset& m_set;
    QIODevice& m_device;
    QByteArray m_buffer;
    QList<QString> m_attributes;
};

} // namespace

void XmlRecordsetWriter::Write(const Recordset& set, QIODevice& device)
{
    Writer(set, device).Run();
}

QByteArray XmlRecordsetWriter::Write(const Recordset& set)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    Write(set, buffer);
    return bytes;
}
