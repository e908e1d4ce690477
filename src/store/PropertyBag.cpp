#include "store/PropertyBag.h"

#include "base/AppError.h"

#include <QtEndian>

#include <limits>

namespace {

constexpr char signature[4] = {'C', 'V', 'P', 'B'};
constexpr quint16 layoutVersion = 1;
constexpr qsizetype maxNameLength = 255;

const QString source = QStringLiteral("PropertyBag");

[[noreturn]] void Invalid(const QString& why)
{
    throw AppError(PropertyBag::InvalidFormat, source,
                   QStringLiteral("Invalid file format: %1").arg(why));
}

void CheckName(const QString& name)
{
    if (name.isEmpty() || name.size() > maxNameLength)
        throw AppError(5, source,
                       QStringLiteral("Invalid procedure call or argument: a property name must "
                                      "have 1 to %1 characters")
                           .arg(maxNameLength));
}

template <typename T>
void Put(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

void PutText(QByteArray& out, const QString& text)
{
    Put<quint32>(out, static_cast<quint32>(text.size()));
    for (const QChar c : text)
        Put<quint16>(out, c.unicode());
}

// Reads from a byte view, refusing to step past its end.
class Reader
{
public:
    explicit Reader(const QByteArray& data) : m_data(data) {}

    qsizetype Remaining() const { return m_data.size() - m_pos; }

    template <typename T>
    T Take(const char* what)
    {
        Need(static_cast<qint64>(sizeof(T)), what);
        const T value = qFromLittleEndian<T>(m_data.constData() + m_pos);
        m_pos += sizeof(T);
        return value;
    }

    QByteArray TakeBytes(qint64 count, const char* what)
    {
        Need(count, what);
        QByteArray bytes = m_data.mid(m_pos, count);
        m_pos += count;
        return bytes;
    }

    QString TakeText(quint32 units, const char* what)
    {
        Need(static_cast<qint64>(units) * 2, what);
        QString text(static_cast<qsizetype>(units), Qt::Uninitialized);
        const char* p = m_data.constData() + m_pos;
        for (quint32 i = 0; i < units; ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(p + 2 * i));
        m_pos += static_cast<qsizetype>(units) * 2;
        return text;
    }

private:
    void Need(qint64 count, const char* what) const
    {
        if (count > Remaining())
            Invalid(QStringLiteral("the data ends inside %1").arg(QLatin1String(what)));
    }

    const QByteArray& m_data;
    qsizetype m_pos = 0;
};

} // namespace

const PropertyBag::Property* PropertyBag::Find(const QString& name) const
{
    for (const Property& p : m_properties)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

PropertyBag::Property& PropertyBag::Slot(const QString& name, Kind kind)
{
    CheckName(name);
    Property* slot = const_cast<Property*>(Find(name));
    if (!slot) {
        m_properties.push_back(Property{name, kind, 0, {}, {}});
        slot = &m_properties.back();
    }
    *slot = Property{slot->name, kind, 0, {}, {}};
    return *slot;
}

void PropertyBag::WriteInt16(const QString& name, qint16 value)
{
    Slot(name, Kind::Int16).number = value;
}

void PropertyBag::WriteInt32(const QString& name, qint32 value)
{
    Slot(name, Kind::Int32).number = value;
}

void PropertyBag::WriteText(const QString& name, const QString& value)
{
    Slot(name, Kind::Text).text = value;
}

void PropertyBag::WriteBoolean(const QString& name, bool value)
{
    Slot(name, Kind::Boolean).number = value ? 1 : 0;
}

void PropertyBag::WriteBytes(const QString& name, const QByteArray& value)
{
    Slot(name, Kind::Bytes).bytes = value;
}

void PropertyBag::WriteTable(const QString& name, const QByteArray& persisted)
{
    Slot(name, Kind::Table).bytes = persisted;
}

bool PropertyBag::Contains(const QString& name) const
{
    return Find(name) != nullptr;
}

std::optional<PropertyBag::Kind> PropertyBag::KindOf(const QString& name) const
{
    if (const Property* p = Find(name))
        return p->kind;
    return std::nullopt;
}

QStringList PropertyBag::Names() const
{
    QStringList names;
    for (const Property& p : m_properties)
        names.append(p.name);
    return names;
}

qint16 PropertyBag::ReadInt16(const QString& name, qint16 defaultValue) const
{
    const Property* p = Find(name);
    if (!p || (p->kind != Kind::Int16 && p->kind != Kind::Int32) ||
        p->number < std::numeric_limits<qint16>::min() ||
        p->number > std::numeric_limits<qint16>::max())
        return defaultValue;
    return static_cast<qint16>(p->number);
}

qint32 PropertyBag::ReadInt32(const QString& name, qint32 defaultValue) const
{
    const Property* p = Find(name);
    if (!p || (p->kind != Kind::Int16 && p->kind != Kind::Int32))
        return defaultValue;
    return static_cast<qint32>(p->number);
}

QString PropertyBag::ReadText(const QString& name, const QString& defaultValue) const
{
    const Property* p = Find(name);
    return p && p->kind == Kind::Text ? p->text : defaultValue;
}

bool PropertyBag::ReadBoolean(const QString& name, bool defaultValue) const
{
    const Property* p = Find(name);
    return p && p->kind == Kind::Boolean ? p->number != 0 : defaultValue;
}

std::optional<QByteArray> PropertyBag::ReadBytes(const QString& name) const
{
    const Property* p = Find(name);
    if (p && p->kind == Kind::Bytes)
        return p->bytes;
    return std::nullopt;
}

std::optional<QByteArray> PropertyBag::ReadTable(const QString& name) const
{
    const Property* p = Find(name);
    if (p && p->kind == Kind::Table)
        return p->bytes;
    return std::nullopt;
}

QByteArray PropertyBag::Contents() const
{
    QByteArray out;
    out.append(signature, sizeof signature);
    Put<quint16>(out, layoutVersion);
    Put<quint32>(out, static_cast<quint32>(m_properties.size()));
    for (const Property& p : m_properties) {
        PutText(out, p.name);
        Put<quint16>(out, static_cast<quint16>(p.kind));
        switch (p.kind) {
        case Kind::Int16:
            Put<qint16>(out, static_cast<qint16>(p.number));
            break;
        case Kind::Int32:
            Put<qint32>(out, static_cast<qint32>(p.number));
            break;
        case Kind::Boolean:
            out.append(p.number ? '\1' : '\0');
            break;
        case Kind::Text:
            PutText(out, p.text);
            break;
        case Kind::Table:
        case Kind::Bytes:
            if (p.bytes.size() > std::numeric_limits<quint32>::max())
                throw AppError(7, source, QStringLiteral("Out of memory: property %1 is too large")
                                              .arg(p.name));
            Put<quint32>(out, static_cast<quint32>(p.bytes.size()));
            out.append(p.bytes);
            break;
        }
    }
    return out;
}

PropertyBag PropertyBag::FromContents(const QByteArray& contents)
{
    Reader in(contents);
    const QByteArray head = in.TakeBytes(sizeof signature, "the signature");
    if (head != QByteArray(signature, sizeof signature))
        Invalid(QStringLiteral("the data is not a property bag"));
    const quint16 version = in.Take<quint16>("the layout version");
    if (version != layoutVersion)
        Invalid(QStringLiteral("unknown property bag layout %1").arg(version));
    const quint32 count = in.Take<quint32>("the property count");

    PropertyBag bag;
    for (quint32 i = 0; i < count; ++i) {
        const quint32 nameLength = in.Take<quint32>("a property name");
        if (nameLength == 0 || nameLength > maxNameLength)
            Invalid(QStringLiteral("property %1 has a name of %2 characters").arg(i + 1).arg(nameLength));
        const QString name = in.TakeText(nameLength, "a property name");
        if (bag.Contains(name))
            Invalid(QStringLiteral("property %1 appears twice").arg(name));
        const quint16 type = in.Take<quint16>("a value type");
        Property p{name, static_cast<Kind>(type), 0, {}, {}};
        switch (static_cast<Kind>(type)) {
        case Kind::Int16:
            p.number = in.Take<qint16>("a 16-bit value");
            break;
        case Kind::Int32:
            p.number = in.Take<qint32>("a 32-bit value");
            break;
        case Kind::Boolean: {
            const quint8 b = in.Take<quint8>("a boolean value");
            if (b > 1)
                Invalid(QStringLiteral("property %1 holds boolean byte %2").arg(name).arg(b));
            p.number = b;
            break;
        }
        case Kind::Text:
            p.text = in.TakeText(in.Take<quint32>("a text value"), "a text value");
            break;
        case Kind::Table:
        case Kind::Bytes:
            p.bytes = in.TakeBytes(in.Take<quint32>("a byte value"), "a byte value");
            break;
        default:
            Invalid(QStringLiteral("property %1 has unknown value type 0x%2")
                        .arg(name)
                        .arg(type, 4, 16, QLatin1Char('0')));
        }
        bag.m_properties.push_back(std::move(p));
    }
    if (in.Remaining() != 0)
        Invalid(QStringLiteral("%1 bytes follow the last property").arg(in.Remaining()));
    return bag;
}
