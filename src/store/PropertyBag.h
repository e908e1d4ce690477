#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Named values kept in a store file: a saved table, or the plain settings of
// the mail configuration. Names are matched without regard to case; writing
// a name that is already there replaces its value in place.
//
// Contents() layout. All integers little-endian; text is UTF-16LE code units
// (so any QString, including ones with NUL or unpaired surrogates, comes back
// exactly):
//
//   offset  size  field
//   0       4     signature "CVPB"
//   4       2     layout version, unsigned, 1
//   6       4     property count, unsigned
//   then, per property, in the order written:
//           4     name length in code units, unsigned, 1..255
//           2n    name, UTF-16LE
//           2     value type, unsigned:
//                   2      16-bit integer  -> 2 bytes, signed
//                   3      32-bit integer  -> 4 bytes, signed
//                   8      text            -> 4 bytes count of code units,
//                                             then 2 bytes per unit
//                   11     boolean         -> 1 byte, 0 or 1
//                   13     table           -> 4 bytes byte count, then the
//                                             record set as it persists itself
//                   0x2011 bytes           -> 4 bytes byte count, then bytes
//   nothing may follow the last property.
//
// FromContents refuses anything else (wrong signature or version, unknown
// value type, a count that runs past the end, a repeated name, a boolean byte
// other than 0 or 1, trailing bytes) with AppError 321, never reading outside
// the input.
class PropertyBag
{
public:
    enum class Kind : quint16 {
        Int16 = 2,
        Int32 = 3,
        Text = 8,
        Boolean = 11,
        Table = 13,
        Bytes = 0x2011,
    };

    // Names are 1 to 255 code units; longer or empty names get AppError 5.
    void WriteInt16(const QString& name, qint16 value);
    void WriteInt32(const QString& name, qint32 value);
    void WriteText(const QString& name, const QString& value);
    void WriteBoolean(const QString& name, bool value);
    void WriteBytes(const QString& name, const QByteArray& value);
    // A persisted record set, kept apart from plain bytes so that a table is
    // never mistaken for anything else.
    void WriteTable(const QString& name, const QByteArray& persisted);

    bool Contains(const QString& name) const;
    std::optional<Kind> KindOf(const QString& name) const;
    QStringList Names() const;
    int Count() const { return static_cast<int>(m_properties.size()); }

    // Readers give the default when the name is missing or holds a value of
    // another kind. The integer readers accept either integer width when the
    // value fits.
    qint16 ReadInt16(const QString& name, qint16 defaultValue) const;
    qint32 ReadInt32(const QString& name, qint32 defaultValue) const;
    QString ReadText(const QString& name, const QString& defaultValue) const;
    bool ReadBoolean(const QString& name, bool defaultValue) const;
    std::optional<QByteArray> ReadBytes(const QString& name) const;
    std::optional<QByteArray> ReadTable(const QString& name) const;

    QByteArray Contents() const;
    static PropertyBag FromContents(const QByteArray& contents);

    // The AppError number for contents that are not a bag.
    static constexpr long InvalidFormat = 321;

private:
    struct Property
    {
        QString name;
        Kind kind;
        qint64 number = 0;  // Int16, Int32, Boolean
        QString text;       // Text
        QByteArray bytes;   // Table, Bytes
    };

    const Property* Find(const QString& name) const;
    Property& Slot(const QString& name, Kind kind);

    std::vector<Property> m_properties;
};
