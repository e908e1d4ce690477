// Persisted form of a record set. All numbers little-endian:
//
//   "CVRS"                 4 bytes
//   version                u16 = 1, then u16 = 0
//   field count            u32
//   per field              u32 name length in UTF-16 units, the name (UTF-16),
//                          i32 type code, i64 defined size, i32 attributes
//   row count              u32
//   per field, in order    the null bits: (rows + 7) / 8 bytes, row r is bit
//                          r % 8 of byte r / 8; then the values of every row
//                          (a Null row holds 0 or an empty value):
//                            integers, dates   i64 (dates: julian day *
//                                              86,400,000 + msecs of day)
//                            numbers           IEEE double
//                            booleans          u8, 0 or 1
//                            text              u32 length per row (UTF-16
//                                              units), then all the text
//                            binary            u32 length per row, then all
//                                              the bytes
//
// Which of these a field uses follows from its type code. The data ends
// exactly after the last field; anything else is refused.

#include "platform/recordset/Recordset.h"

#include "platform/recordset/RecordsetStorage.h"

#include <QtEndian>

#include <cstring>
#include <limits>

using namespace RecordsetDetail;

namespace {

constexpr char kMagic[4] = {'C', 'V', 'R', 'S'};
constexpr quint16 kVersion = 1;

class Writer
{
public:
    explicit Writer(QByteArray& out) : m_out(out) {}

    template <class T>
    void Put(T value)
    {
        char bytes[sizeof(T)];
        qToLittleEndian(value, bytes);
        m_out.append(bytes, qsizetype(sizeof(T)));
    }
    template <class T>
    void PutArray(const T* values, size_t count)
    {
        if (count == 0)
            return; // an empty vector's data() may be null
        const qsizetype at = m_out.size();
        m_out.resize(at + qsizetype(count * sizeof(T)));
        qToLittleEndian<T>(values, qsizetype(count), m_out.data() + at);
    }
    void PutText(const QString& text)
    {
        Put(quint32(text.size()));
        PutArray(reinterpret_cast<const quint16*>(text.utf16()), size_t(text.size()));
    }

private:
    QByteArray& m_out;
};

class Reader
{
public:
    explicit Reader(const QByteArray& bytes) : m_at(bytes.constData()), m_left(bytes.size()) {}

    [[noreturn]] static void Fail(const QString& why)
    {
        Raise(Recordset::ErrPersisted,
              QStringLiteral("The data does not hold a saved record set: %1.").arg(why));
    }

    qint64 Left() const { return m_left; }

    const char* Take(qint64 count, const char* what)
    {
        if (count < 0 || count > m_left)
            Fail(QStringLiteral("it ends inside %1").arg(QLatin1String(what)));
        const char* at = m_at;
        m_at += count;
        m_left -= count;
        return at;
    }
    template <class T>
    T Get(const char* what)
    {
        return qFromLittleEndian<T>(Take(sizeof(T), what));
    }

private:
    const char* m_at;
    qint64 m_left;
};

} // namespace

QByteArray Recordset::Persist() const
{
    RequireOpen();
    const Table& table = Data();
    size_t estimate = 16;
    for (const Column& column : table.columns)
        estimate += column.Bytes() + size_t(table.rows) / 8 + 1;
    QByteArray out;
    out.reserve(qsizetype(estimate));
    Writer writer(out);
    out.append(kMagic, 4);
    writer.Put(kVersion);
    writer.Put(quint16(0));
    writer.Put(quint32(table.fields.size()));
    for (const Field& field : table.fields) {
        writer.PutText(field.Name);
        writer.Put(qint32(field.Type));
        writer.Put(qint64(field.DefinedSize));
        writer.Put(qint32(field.Attributes));
    }
    const int rows = table.rows;
    writer.Put(quint32(rows));
    for (const Column& column : table.columns) {
        QByteArray bits((rows + 7) / 8, '\0');
        if (column.hasNulls)
            for (int r = 0; r < rows; ++r)
                if (column.IsNull(r))
                    bits[r / 8] = char(bits[r / 8] | (1 << (r % 8)));
        out.append(bits);
        switch (column.family) {
        case Family::Integer:
        case Family::DateTime:
        case Family::Date:
        case Family::Time:
            for (const auto& block : column.integers.Blocks())
                writer.PutArray(block.data(), block.size());
            break;
        case Family::Real:
            for (const auto& block : column.reals.Blocks()) {
                writer.PutArray(reinterpret_cast<const quint64*>(block.data()), block.size());
            }
            break;
        case Family::Boolean:
            for (const auto& block : column.booleans.Blocks())
                out.append(reinterpret_cast<const char*>(block.data()), qsizetype(block.size()));
            break;
        case Family::Text:
            for (const auto& block : column.texts.Blocks()) {
                quint32 previous = 0;
                for (quint32 end : block.ends) {
                    writer.Put(quint32(end - previous));
                    previous = end;
                }
            }
            for (const auto& block : column.texts.Blocks())
                writer.PutArray(reinterpret_cast<const quint16*>(block.chars.data()), block.chars.size());
            break;
        case Family::Binary:
            for (const auto& block : column.binaries.Blocks()) {
                quint32 previous = 0;
                for (quint32 end : block.ends) {
                    writer.Put(quint32(end - previous));
                    previous = end;
                }
            }
            for (const auto& block : column.binaries.Blocks())
                out.append(block.chars.data(), qsizetype(block.chars.size()));
            break;
        }
    }
    return out;
}

Recordset Recordset::FromPersisted(const QByteArray& bytes)
{
    Reader reader(bytes);
    if (std::memcmp(reader.Take(4, "the header"), kMagic, 4) != 0)
        Reader::Fail(QStringLiteral("the header is wrong"));
    if (reader.Get<quint16>("the header") != kVersion)
        Reader::Fail(QStringLiteral("it was written in an unknown layout"));
    reader.Get<quint16>("the header");

    auto table = std::make_shared<Table>();
    const quint32 fieldCount = reader.Get<quint32>("the field list");
    // Every field takes at least 20 bytes, so a garbled count is refused
    // before anything is allocated for it.
    if (qint64(fieldCount) * 20 > reader.Left())
        Reader::Fail(QStringLiteral("the field count is wrong"));
    for (quint32 f = 0; f < fieldCount; ++f) {
        Field field;
        const quint32 nameLength = reader.Get<quint32>("a field name");
        const char* name = reader.Take(qint64(nameLength) * 2, "a field name");
        field.Name.resize(qsizetype(nameLength));
        if (nameLength > 0)
            qFromLittleEndian<quint16>(name, qsizetype(nameLength), field.Name.data());
        field.Type = reader.Get<qint32>("a field");
        field.DefinedSize = reader.Get<qint64>("a field");
        field.Attributes = reader.Get<qint32>("a field");
        if (field.DefinedSize < 0)
            Reader::Fail(QStringLiteral("a field size is negative"));
        table->AddField(field);
    }

    const quint32 rowCount = reader.Get<quint32>("the row count");
    if (rowCount > quint32(std::numeric_limits<int>::max()))
        Reader::Fail(QStringLiteral("the row count is wrong"));
    const int rows = int(rowCount);
    // Every row of every field takes at least one bit.
    if (qint64(fieldCount) * ((qint64(rows) + 7) / 8) > reader.Left())
        Reader::Fail(QStringLiteral("the row count is wrong"));

    std::vector<char16_t> text;
    for (Column& column : table->columns) {
        const char* bits = reader.Take((qint64(rows) + 7) / 8, "the null flags");
        Cell cell;
        auto isNull = [&](int r) { return ((uchar(bits[r / 8]) >> (r % 8)) & 1) != 0; };
        switch (column.family) {
        case Family::Integer:
        case Family::DateTime:
        case Family::Date:
        case Family::Time: {
            const char* values = reader.Take(qint64(rows) * 8, "the values");
            for (int r = 0; r < rows; ++r) {
                cell.null = isNull(r);
                cell.integer = qFromLittleEndian<qint64>(values + qint64(r) * 8);
                const bool fits = IsDate(column.family) ? IsStorableDate(cell.integer)
                                                        : FitsType(column.type, cell.integer);
                if (!fits)
                    Reader::Fail(QStringLiteral("a value is out of range"));
                column.Push(cell, r);
            }
            break;
        }
        case Family::Real: {
            const char* values = reader.Take(qint64(rows) * 8, "the values");
            for (int r = 0; r < rows; ++r) {
                const quint64 raw = qFromLittleEndian<quint64>(values + qint64(r) * 8);
                cell.null = isNull(r);
                std::memcpy(&cell.real, &raw, sizeof raw);
                column.Push(cell, r);
            }
            break;
        }
        case Family::Boolean: {
            const char* values = reader.Take(rows, "the values");
            for (int r = 0; r < rows; ++r) {
                if (uchar(values[r]) > 1)
                    Reader::Fail(QStringLiteral("a yes/no value is neither 0 nor 1"));
                cell.null = isNull(r);
                cell.integer = values[r];
                column.Push(cell, r);
            }
            break;
        }
        case Family::Text:
        case Family::Binary: {
            const bool isText = column.family == Family::Text;
            const char* lengths = reader.Take(qint64(rows) * 4, "the value lengths");
            quint64 total = 0;
            for (int r = 0; r < rows; ++r)
                total += qFromLittleEndian<quint32>(lengths + qint64(r) * 4);
            const quint64 unit = isText ? 2 : 1;
            if (total > quint64(reader.Left()) / unit)
                Reader::Fail(QStringLiteral("it ends inside the values"));
            const char* data = reader.Take(qint64(total * unit), "the values");
            for (int r = 0; r < rows; ++r) {
                const quint32 length = qFromLittleEndian<quint32>(lengths + qint64(r) * 4);
                cell.null = isNull(r);
                if (isText) {
                    text.resize(length);
                    if (length > 0)
                        qFromLittleEndian<quint16>(data, qsizetype(length), text.data());
                    cell.text = QStringView(text.data(), qsizetype(length));
                } else {
                    cell.bytes = QByteArray::fromRawData(data, qsizetype(length));
                }
                if (!column.Push(cell, r))
                    Reader::Fail(QStringLiteral("a value is too large"));
                data += length * unit;
            }
            break;
        }
        }
    }
    if (reader.Left() != 0)
        Reader::Fail(QStringLiteral("there are bytes after the last field"));
    table->rows = rows;

    Recordset recordset;
    recordset.m_table = std::move(table);
    recordset.m_open = true;
    recordset.ResetCursor();
    return recordset;
}
