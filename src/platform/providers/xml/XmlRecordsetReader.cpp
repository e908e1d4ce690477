#include "platform/providers/xml/XmlRecordsetReader.h"

#include "platform/providers/xml/XmlSafety.h"
#include "base/AppError.h"

#include <QBuffer>
#include <QDateTime>
#include <QHash>
#include <QXmlStreamReader>

#include <cctype>
#include <optional>
#include <vector>

namespace {

const QString kNsSchema = QStringLiteral("uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882");
const QString kNsDataType = QStringLiteral("uuid:C2F41010-65B3-11d1-A29F-00AA00C14882");
const QString kNsRowset = QStringLiteral("urn:schemas-microsoft-com:rowset");
const QString kNsRow = QStringLiteral("#RowsetSchema");

// ADO field attribute bits.
enum : int {
    FldUpdatable = 0x4,
    FldUnknownUpdatable = 0x8,
    FldFixed = 0x10,
    FldIsNullable = 0x20,
    FldMayBeNull = 0x40,
    FldLong = 0x80,
    FldKeyColumn = 0x8000,
};

[[noreturn]] void Fail(const QString& description)
{
    throw AppError(XmlRecordsetReader::ErrNotRecordset, XmlRecordsetReader::Source, description);
}

bool Is(QStringView ns, const QString& expected)
{
    return ns.compare(expected, Qt::CaseInsensitive) == 0;
}

bool IsTrue(QStringView text)
{
    return text.compare(u"true", Qt::CaseInsensitive) == 0 || text == u"1" || text == u"-1";
}

enum class ValueKind { Integer, Unsigned, Real, Boolean, DateTime, Date, Time, Hex, Base64, Text };

struct Column
{
    QString attribute; // the name the rows use
    QString name;      // the field name
    int type = AdoType::VarWChar;
    qint64 size = 0;
    int attributes = 0;
    ValueKind kind = ValueKind::Text;
    bool hidden = false;
    int slot = -1; // position in the record set; hidden columns have none
};

ValueKind KindOf(int type, const QString& dtType)
{
    switch (type) {
    case AdoType::SmallInt: case AdoType::Integer: case AdoType::TinyInt: case AdoType::UnsignedTinyInt:
    case AdoType::UnsignedSmallInt: case AdoType::UnsignedInt: case AdoType::BigInt:
        return ValueKind::Integer;
    case AdoType::UnsignedBigInt:
        return ValueKind::Unsigned;
    case AdoType::Single: case AdoType::Double: case AdoType::Currency: case AdoType::Decimal:
    case AdoType::Numeric: case AdoType::VarNumeric:
        return ValueKind::Real;
    case AdoType::Boolean:
        return ValueKind::Boolean;
    case AdoType::Date: case AdoType::DBTimeStamp:
        return ValueKind::DateTime;
    case AdoType::DBDate:
        return ValueKind::Date;
    case AdoType::DBTime:
        return ValueKind::Time;
    case AdoType::Binary: case AdoType::VarBinary: case AdoType::LongVarBinary:
        return dtType.compare(u"bin.base64", Qt::CaseInsensitive) == 0 ? ValueKind::Base64 : ValueKind::Hex;
    default:
        return ValueKind::Text;
    }
}

qint64 NaturalSize(int type)
{
    switch (type) {
    case AdoType::TinyInt: case AdoType::UnsignedTinyInt: return 1;
    case AdoType::SmallInt: case AdoType::UnsignedSmallInt: case AdoType::Boolean: return 2;
    case AdoType::Integer: case AdoType::UnsignedInt: case AdoType::Single: return 4;
    case AdoType::BigInt: case AdoType::UnsignedBigInt: case AdoType::Double: case AdoType::Currency: return 8;
    case AdoType::Decimal: case AdoType::Numeric: case AdoType::VarNumeric: return 19;
    case AdoType::Date: case AdoType::DBTimeStamp: case AdoType::Guid: return 16;
    case AdoType::DBDate: case AdoType::DBTime: return 6;
    default: return 1073741823; // long text or binary of no stated length
    }
}

// Digits at a fixed place; -1 when they are not all digits.
int Digits(QStringView text, qsizetype from, qsizetype count)
{
    if (from + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "HH:mm:ss" with an optional fraction of a second; nothing may follow.
std::optional<QTime> ParseTime(QStringView text)
{
    const int h = Digits(text, 0, 2), m = Digits(text, 3, 2), s = Digits(text, 6, 2);
    if (h < 0 || m < 0 || s < 0 || text[2] != u':' || text[5] != u':')
        return std::nullopt;
    int ms = 0;
    if (text.size() > 8) {
        if (text[8] != u'.' || text.size() == 9)
            return std::nullopt;
        int scale = 100;
        for (qsizetype i = 9; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return std::nullopt;
            ms += (c - u'0') * scale;
            scale /= 10;
        }
    }
    const QTime time(h, m, s, ms);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

std::optional<QDate> ParseDate(QStringView text)
{
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    const QDate date(Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

// The persisted forms: "yyyy-MM-ddTHH:mm:ss[.fff]" or a bare date.
std::optional<QDateTime> ParseDateTime(QStringView text)
{
    const auto date = ParseDate(text.left(10));
    if (!date)
        return std::nullopt;
    if (text.size() == 10)
        return QDateTime(*date, QTime(0, 0), Qt::UTC);
    if (text[10] != u'T' && text[10] != u' ')
        return std::nullopt;
    const auto time = ParseTime(text.mid(11));
    if (!time)
        return std::nullopt;
    // Naive values, marked UTC only so that no daylight-saving gap can move them.
    return QDateTime(*date, *time, Qt::UTC);
}

class Parser
{
public:
    explicit Parser(QIODevice& device) : m_xml(&device) { XmlSafety::Limit(m_xml); }

    Recordset Run()
    {
        ReadRoot();
        bool schemaRead = false;
        while (NextChild()) {
            if (m_xml.name() == u"Schema" && Is(m_xml.namespaceUri(), kNsSchema)) {
                if (schemaRead)
                    Fail(QStringLiteral("The XML record set holds more than one row schema."));
                ReadSchema();
                schemaRead = true;
            } else if (m_xml.name() == u"data" && Is(m_xml.namespaceUri(), kNsRowset)) {
                if (!schemaRead)
                    Fail(QStringLiteral("Not an XML record set: the rows come before any row schema."));
                OpenSet();
                ReadData();
                FinishDocument();
                m_set.MoveFirst();
                return std::move(m_set);
            } else {
                m_xml.skipCurrentElement();
            }
        }
        if (!schemaRead)
            Fail(QStringLiteral("Not an XML record set: the document has no row schema (s:Schema)."));
        Fail(QStringLiteral("Not an XML record set: the document has a row schema but no rows section (rs:data)."));
    }

private:
    // Moves to the next token, refusing DTDs and reporting broken XML.
    QXmlStreamReader::TokenType Next()
    {
        const auto token = m_xml.readNext();
        if (token == QXmlStreamReader::DTD)
            Fail(XmlSafety::DtdRefusal(m_xml));
        if (token == QXmlStreamReader::Invalid)
            XmlFailure();
        return token;
    }

    [[noreturn]] void XmlFailure()
    {
        if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            Fail(QStringLiteral("The XML record set is incomplete: the document ends at line %1 before it is closed.")
                     .arg(m_xml.lineNumber()));
        Fail(QStringLiteral("The XML record set is not well-formed XML: %1 (line %2, column %3).")
                 .arg(m_xml.errorString())
                 .arg(m_xml.lineNumber())
                 .arg(m_xml.columnNumber()));
    }

    // The next child element of the current element; false at its end.
    bool NextChild()
    {
        for (;;) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement)
                return true;
            if (token == QXmlStreamReader::EndElement || token == QXmlStreamReader::EndDocument)
                return false;
        }
    }

    void Skip()
    {
        int depth = 1;
        while (depth > 0) {
            const auto token = Next();
            if (token == QXmlStreamReader::StartElement)
                ++depth;
            else if (token == QXmlStreamReader::EndElement)
                --depth;
            else if (token == QXmlStreamReader::EndDocument)
                XmlFailure();
        }
    }

    void ReadRoot()
    {
        for (;;) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement)
                break;
            if (token == QXmlStreamReader::EndDocument ||
                (token == QXmlStreamReader::Invalid && m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError))
                Fail(QStringLiteral("Not an XML record set: the document is empty."));
            if (token == QXmlStreamReader::DTD)
                Fail(XmlSafety::DtdRefusal(m_xml));
            if (token == QXmlStreamReader::Invalid)
                Fail(QStringLiteral("Not an XML record set: the document is not XML (%1, line %2).")
                         .arg(m_xml.errorString())
                         .arg(m_xml.lineNumber()));
        }
        if (m_xml.name() != u"xml" || !m_xml.namespaceUri().isEmpty())
            Fail(QStringLiteral("Not an XML record set: the root element is <%1>.").arg(m_xml.qualifiedName()));
    }

    void ReadSchema()
    {
        bool found = false;
        while (NextChild()) {
            if (!found && m_xml.name() == u"ElementType" && Is(m_xml.namespaceUri(), kNsSchema)) {
                m_rowName = m_xml.attributes().value(QLatin1String("name")).toString();
                if (m_rowName.isEmpty())
                    m_rowName = QStringLiteral("row");
                ReadElementType();
                found = true;
            } else {
                Skip();
            }
        }
        if (!found)
            Fail(QStringLiteral("Not an XML record set: the row schema declares no row type (s:ElementType)."));
        qsizetype visible = 0;
        for (const Column& column : m_columns)
            visible += column.hidden ? 0 : 1;
        if (visible == 0)
            Fail(QStringLiteral("The XML record set declares no columns."));
    }

    void ReadElementType()
    {
        while (NextChild()) {
            if (m_xml.name() == u"AttributeType" && Is(m_xml.namespaceUri(), kNsSchema))
                ReadColumn();
            else
                Skip(); // s:extends, and the schema of a nested child record set
        }
    }

    // Attribute lookup across the schema and type namespaces.
    struct Declared
    {
        QString dtType, dbType;
        qint64 maxLength = -1;
        std::optional<bool> fixed, isLong, mayBeNull;
    };

    void ReadDeclared(const QXmlStreamAttributes& attributes, Declared& declared)
    {
        for (const QXmlStreamAttribute& attribute : attributes) {
            const QStringView ns = attribute.namespaceUri();
            const QStringView name = attribute.name();
            if (Is(ns, kNsDataType)) {
                if (name == u"type")
                    declared.dtType = attribute.value().toString();
                else if (name == u"maxLength") {
                    bool ok = false;
                    const qint64 length = attribute.value().toLongLong(&ok);
                    if (ok && length >= 0)
                        declared.maxLength = length;
                }
            } else if (Is(ns, kNsRowset)) {
                if (name == u"dbtype")
                    declared.dbType = attribute.value().toString();
                else if (name == u"fixedlength")
                    declared.fixed = IsTrue(attribute.value());
                else if (name == u"long")
                    declared.isLong = IsTrue(attribute.value());
                else if (name == u"maybenull")
                    declared.mayBeNull = IsTrue(attribute.value());
            }
        }
    }

    void ReadColumn()
    {
        Column column;
        Declared declared;
        const QXmlStreamAttributes attributes = m_xml.attributes();
        column.attribute = attributes.value(QLatin1String("name")).toString();
        if (column.attribute.isEmpty())
            Fail(QStringLiteral("The row schema of the XML record set has a column without a name attribute."));
        column.name = column.attribute;
        int flags = 0;
        for (const QXmlStreamAttribute& attribute : attributes) {
            if (!Is(attribute.namespaceUri(), kNsRowset))
                continue;
            const QStringView name = attribute.name();
            const bool on = IsTrue(attribute.value());
            if (name == u"name")
                column.name = attribute.value().toString();
            else if (name == u"nullable" && on)
                flags |= FldIsNullable;
            else if (name == u"write" && on)
                flags |= FldUpdatable;
            else if (name == u"writeunknown" && on)
                flags |= FldUnknownUpdatable;
            else if (name == u"keycolumn" && on)
                flags |= FldKeyColumn;
            else if (name == u"hidden" && on)
                column.hidden = true;
        }
        ReadDeclared(attributes, declared);
        while (NextChild()) {
            if (m_xml.name() == u"datatype" && Is(m_xml.namespaceUri(), kNsSchema))
                ReadDeclared(m_xml.attributes(), declared);
            Skip();
        }
        if (m_columnOf.contains(column.attribute))
            Fail(QStringLiteral("The row schema of the XML record set declares the column \"%1\" twice.")
                     .arg(column.attribute));
        if (m_columns.size() >= size_t(XmlRecordsetReader::kMaxColumns))
            Fail(QStringLiteral("The row schema of the XML record set declares more than %L1 columns, more than can "
                                "be imported.")
                     .arg(XmlRecordsetReader::kMaxColumns));

        const bool fixed = declared.fixed.value_or(false);
        bool isLong = declared.isLong.value_or(false);
        const bool isText = declared.dtType.isEmpty() || declared.dtType.compare(u"string", Qt::CaseInsensitive) == 0;
        if (isText && declared.maxLength < 0)
            isLong = true; // text of no stated length
        column.type = XmlRecordsetReader::AdoTypeOf(declared.dtType, declared.dbType, fixed, isLong);
        column.size = declared.maxLength >= 0 ? declared.maxLength : NaturalSize(column.type);
        column.kind = KindOf(column.type, declared.dtType);
        if (fixed)
            flags |= FldFixed;
        if (isLong)
            flags |= FldLong;
        if (declared.mayBeNull.value_or(true))
            flags |= FldMayBeNull;
        column.attributes = flags;
        m_columnOf.insert(column.attribute, int(m_columns.size()));
        m_columns.push_back(std::move(column));
    }

    void OpenSet()
    {
        int slots = 0;
        for (Column& column : m_columns) {
            if (column.hidden)
                continue;
            column.slot = slots++;
            m_set.AppendField(column.name, column.type, column.size, column.attributes);
        }
        m_set.Open();
        m_values.resize(size_t(slots));
    }

    bool IsRow() const { return m_xml.name() == m_rowName && Is(m_xml.namespaceUri(), kNsRow); }

    void ReadData()
    {
        while (NextChild()) {
            const bool pending = Is(m_xml.namespaceUri(), kNsRowset);
            if (IsRow()) {
                ReadRow(nullptr);
                Append();
            } else if (pending && m_xml.name() == u"insert") {
                while (NextChild()) {
                    if (IsRow()) {
                        ReadRow(nullptr);
                        Append();
                    } else {
                        Skip();
                    }
                }
            } else if (pending && m_xml.name() == u"update") {
                ReadUpdate();
            } else {
                Skip(); // rs:delete: those rows are gone
            }
        }
    }

    // rs:update holds the original values, then a row with only what changed.
    void ReadUpdate()
    {
        std::optional<std::vector<QVariant>> original;
        while (NextChild()) {
            if (Is(m_xml.namespaceUri(), kNsRowset) && m_xml.name() == u"original") {
                if (original) { // an original with no changed row after it stays as it was
                    m_values = *original;
                    Append();
                }
                original.reset();
                while (NextChild()) {
                    if (IsRow() && !original) {
                        ReadRow(nullptr);
                        original = m_values;
                    } else {
                        Skip();
                    }
                }
            } else if (IsRow()) {
                ReadRow(original ? &*original : nullptr);
                Append();
                original.reset();
            } else {
                Skip();
            }
        }
        if (original) {
            m_values = *original;
            Append();
        }
    }

    int ColumnFor(QStringView attribute)
    {
        // Rows list their attributes in schema order, so the next column is the likely one.
        const int next = m_lastColumn + 1;
        const int index = next < int(m_columns.size()) && m_columns[size_t(next)].attribute == attribute
                        ? next
                        : m_columnOf.value(attribute.toString(), -1);
        if (index >= 0)
            m_lastColumn = index;
        return index;
    }

    void ReadRow(const std::vector<QVariant>* base)
    {
        ++m_rowNumber;
        if (base)
            m_values = *base;
        else
            std::fill(m_values.begin(), m_values.end(), QVariant());
        m_lastColumn = -1;
        const QXmlStreamAttributes attributes = m_xml.attributes();
        for (const QXmlStreamAttribute& attribute : attributes) {
            if (!attribute.namespaceUri().isEmpty()) {
                if (Is(attribute.namespaceUri(), kNsRowset) && attribute.name() == u"forcenull")
                    ForceNull(attribute.value());
                continue;
            }
            const int index = ColumnFor(attribute.name());
            if (index < 0 || m_columns[size_t(index)].slot < 0)
                continue; // not declared in the schema (or hidden): not part of the record set
            const Column& column = m_columns[size_t(index)];
            m_values[size_t(column.slot)] = Convert(column, attribute.value());
        }
        Skip(); // rows of a nested child record set
    }

    void ForceNull(QStringView names)
    {
        for (QStringView name : names.split(u' ', Qt::SkipEmptyParts)) {
            const int index = ColumnFor(name);
            if (index >= 0 && m_columns[size_t(index)].slot >= 0)
                m_values[size_t(m_columns[size_t(index)].slot)] = QVariant();
        }
    }

    [[noreturn]] void BadValue(const Column& column, QStringView text, const char* what)
    {
        QString shown = text.left(40).toString();
        if (text.size() > 40)
            shown += u"...";
        Fail(QStringLiteral("Row %1 of the XML record set holds \"%2\" in the column [%3], which is not %4.")
                 .arg(m_rowNumber)
                 .arg(shown, column.name, QString::fromLatin1(what)));
    }

    QVariant Convert(const Column& column, QStringView text)
    {
        bool ok = false;
        switch (column.kind) {
        case ValueKind::Integer: {
            const qlonglong value = text.trimmed().toLongLong(&ok);
            if (!ok)
                BadValue(column, text, "a whole number");
            return value;
        }
        case ValueKind::Unsigned: {
            const qulonglong value = text.trimmed().toULongLong(&ok);
            if (!ok)
                BadValue(column, text, "a whole number");
            return value;
        }
        case ValueKind::Real: {
            const double value = text.trimmed().toDouble(&ok);
            if (!ok)
                BadValue(column, text, "a number");
            return value;
        }
        case ValueKind::Boolean: {
            const QStringView t = text.trimmed();
            if (IsTrue(t))
                return true;
            if (t.compare(u"false", Qt::CaseInsensitive) == 0 || t == u"0")
                return false;
            BadValue(column, text, "a boolean (True or False)");
        }
        case ValueKind::DateTime: {
            const auto value = ParseDateTime(text.trimmed());
            if (!value)
                BadValue(column, text, "a date and time (yyyy-mm-ddThh:mm:ss)");
            return *value;
        }
        case ValueKind::Date: {
            const auto value = ParseDateTime(text.trimmed());
            if (!value)
                BadValue(column, text, "a date (yyyy-mm-dd)");
            return value->date();
        }
        case ValueKind::Time: {
            QStringView t = text.trimmed();
            if (t.size() > 11 && t[10] == u'T')
                t = t.mid(11);
            const auto value = ParseTime(t);
            if (!value)
                BadValue(column, text, "a time (hh:mm:ss)");
            return *value;
        }
        case ValueKind::Hex: {
            const QByteArray latin = text.toLatin1();
            for (char c : latin)
                if (!std::isxdigit(static_cast<unsigned char>(c)))
                    BadValue(column, text, "hexadecimal bytes");
            if (latin.size() % 2)
                BadValue(column, text, "hexadecimal bytes");
            return QByteArray::fromHex(latin);
        }
        case ValueKind::Base64: {
            auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                BadValue(column, text, "base64 bytes");
            return decoded.decoded;
        }
        case ValueKind::Text:
            break;
        }
        return text.toString();
    }

    void Append() { m_set.AppendRow(m_values); }

    void FinishDocument()
    {
        // Whatever follows the rows must still be well-formed to the end, so a
        // document cut short is not taken for a complete one.
        for (;;) {
            const auto token = Next();
            if (token == QXmlStreamReader::EndDocument)
                return;
        }
    }

    QXmlStreamReader m_xml;
    QString m_rowName;
    std::vector<Column> m_columns;
    QHash<QString, int> m_columnOf; // by attribute name
    std::vector<QVariant> m_values;
    int m_lastColumn = -1;
    qint64 m_rowNumber = 0;
    Recordset m_set;
};

} // namespace

int XmlRecordsetReader::AdoTypeOf(const QString& dtType, const QString& dbType, bool fixedLength, bool isLong)
{
    const QString dt = dtType.toLower();
    const QString db = dbType.toLower();
    if (dt.isEmpty() || dt == u"string") {
        if (db == u"str")
            return fixedLength ? AdoType::Char : isLong ? AdoType::LongVarChar : AdoType::VarChar;
        if (db == u"bstr")
            return AdoType::BSTR;
        return fixedLength ? AdoType::WChar : isLong ? AdoType::LongVarWChar : AdoType::VarWChar;
    }
    if (dt == u"int" || dt == u"i4")
        return AdoType::Integer;
    if (dt == u"i2")
        return AdoType::SmallInt;
    if (dt == u"i1")
        return AdoType::TinyInt;
    if (dt == u"ui1")
        return AdoType::UnsignedTinyInt;
    if (dt == u"ui2")
        return AdoType::UnsignedSmallInt;
    if (dt == u"ui4")
        return AdoType::UnsignedInt;
    if (dt == u"i8")
        return AdoType::BigInt;
    if (dt == u"ui8")
        return AdoType::UnsignedBigInt;
    if (dt == u"boolean")
        return AdoType::Boolean;
    if (dt == u"float" || dt == u"r8")
        return AdoType::Double;
    if (dt == u"r4")
        return AdoType::Single;
    if (dt == u"fixed.14.4")
        return AdoType::Currency;
    if (dt == u"number") {
        if (db == u"currency")
            return AdoType::Currency;
        if (db == u"decimal")
            return AdoType::Decimal;
        if (db == u"varnumeric")
            return AdoType::VarNumeric;
        return AdoType::Numeric;
    }
    if (dt == u"datetime" || dt == u"datetime.tz")
        return db == u"variantdate" ? AdoType::Date : AdoType::DBTimeStamp; // file times read as time stamps
    if (dt == u"date")
        return AdoType::DBDate;
    if (dt == u"time" || dt == u"time.tz")
        return AdoType::DBTime;
    if (dt == u"bin.hex" || dt == u"bin.base64")
        return fixedLength ? AdoType::Binary : isLong ? AdoType::LongVarBinary : AdoType::VarBinary;
    if (dt == u"uuid")
        return AdoType::Guid;
    if (dt == u"char")
        return AdoType::WChar;
    return AdoType::VarWChar;
}

Recordset XmlRecordsetReader::Read(QIODevice& device)
{
    return Parser(device).Run();
}

Recordset XmlRecordsetReader::Read(const QByteArray& document)
{
    QByteArray copy = document; // shared, not copied
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return Read(buffer);
}
