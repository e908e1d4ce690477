#pragma once

// Column storage behind Recordset. Internal to the record set.

#include "platform/memory/HugePageMemory.h"
#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace RecordsetDetail {

// Rows live in blocks of 262,144 per column, so a large table grows without
// copying everything it already holds, and small tables stay small. A block
// of 64-bit values is then one huge page, and a block of text a few: filling
// a large table is mostly the first touch of fresh memory, which huge pages
// make several times cheaper.
inline constexpr int kBlockBits = 18;
inline constexpr int kBlockRows = 1 << kBlockBits;
inline constexpr int kBlockMask = kBlockRows - 1;

template <class T>
using BlockVector = std::vector<T, HugePageAllocator<T>>;

using AdoType::Family;
using AdoType::FamilyOf;

// The date kinds share one stored form (PackDate below).
constexpr bool IsDate(Family family)
{
    return family == Family::DateTime || family == Family::Date || family == Family::Time;
}

// Fixed-width values by row.
template <class T>
class BlockArray
{
public:
    void PushBack(T value)
    {
        if (m_blocks.empty() || m_blocks.back().size() == size_t(kBlockRows)) {
            m_blocks.emplace_back();
            // Later blocks are going to fill up, so take the whole block at once.
            if (m_blocks.size() > 1)
                m_blocks.back().reserve(kBlockRows);
        }
        BlockVector<T>& block = m_blocks.back();
        if (block.size() == block.capacity())
            block.reserve(std::min<size_t>(std::max<size_t>(16, block.capacity() * 2), kBlockRows));
        block.push_back(value);
    }
    T At(int row) const { return m_blocks[size_t(row) >> kBlockBits][size_t(row) & kBlockMask]; }
    const std::vector<BlockVector<T>>& Blocks() const { return m_blocks; }
    void PopBack()
    {
        m_blocks.back().pop_back();
        if (m_blocks.back().empty())
            m_blocks.pop_back();
    }
    size_t Bytes() const
    {
        size_t bytes = 0;
        for (const auto& block : m_blocks)
            bytes += block.capacity() * sizeof(T);
        return bytes;
    }

private:
    std::vector<BlockVector<T>> m_blocks;
};

// Variable-length values by row: each block keeps its values back to back in
// one arena and the end offset of every row.
template <class Char>
class ArenaArray
{
public:
    struct Block
    {
        BlockVector<Char> chars;
        BlockVector<quint32> ends;
        const Char* Data(int index, quint32& length) const
        {
            const quint32 begin = index == 0 ? 0 : ends[size_t(index) - 1];
            length = ends[size_t(index)] - begin;
            return chars.data() + begin;
        }
    };

    // False when the value does not fit the 32-bit offsets of its block.
    bool PushBack(const Char* data, size_t length)
    {
        if (m_blocks.empty() || m_blocks.back().ends.size() == size_t(kBlockRows)) {
            size_t expected = 0;
            if (!m_blocks.empty()) {
                BlockVector<Char>& full = m_blocks.back().chars;
                // A full block never grows again; give back real slack only,
                // since shrinking copies the block.
                if (full.capacity() - full.size() > full.size() / 8)
                    full.shrink_to_fit();
                // The next block will likely hold about as much.
                expected = full.size() + full.size() / 16;
            }
            m_blocks.emplace_back();
            if (m_blocks.size() > 1) {
                m_blocks.back().ends.reserve(kBlockRows);
                m_blocks.back().chars.reserve(expected);
            }
        }
        Block& block = m_blocks.back();
        if (length > size_t(UINT32_MAX) - block.chars.size())
            return false;
        if (block.ends.size() == block.ends.capacity())
            block.ends.reserve(
                std::min<size_t>(std::max<size_t>(16, block.ends.capacity() * 2), kBlockRows));
        block.chars.insert(block.chars.end(), data, data + length);
        block.ends.push_back(quint32(block.chars.size()));
        return true;
    }
    const Char* At(int row, quint32& length) const
    {
        return m_blocks[size_t(row) >> kBlockBits].Data(row & kBlockMask, length);
    }
    const std::vector<Block>& Blocks() const { return m_blocks; }
    void PopBack()
    {
        Block& block = m_blocks.back();
        block.ends.pop_back();
        block.chars.resize(block.ends.empty() ? 0 : block.ends.back());
        if (block.ends.empty())
            m_blocks.pop_back();
    }
    size_t Bytes() const
    {
        size_t bytes = 0;
        for (const auto& block : m_blocks)
            bytes += block.chars.capacity() * sizeof(Char) + block.ends.capacity() * 4;
        return bytes;
    }
    size_t PayloadBytes() const
    {
        size_t bytes = 0;
        for (const auto& block : m_blocks)
            bytes += block.chars.size() * sizeof(Char);
        return bytes;
    }

private:
    std::vector<Block> m_blocks;
};

// One value converted to its column's type, ready to be stored.
struct Cell
{
    bool null = true;
    qint64 integer = 0; // integers, booleans (0/1) and packed dates
    double real = 0;
    QStringView text;   // points into ownedText or into the caller's string; not copyable safely
    QString ownedText;
    QByteArray bytes;
};

// Dates are kept as julian day * 86,400,000 + milliseconds of the day.
qint64 PackDate(const QDate& date, const QTime& time);
QDate UnpackDate(qint64 packed);
QTime UnpackTime(qint64 packed);

// Date texts accepted for date columns and in filter values.
std::optional<qint64> ParseDateText(QStringView text);

struct Column
{
    Family family = Family::Text;
    int type = AdoType::VarWChar;
    BlockArray<qint64> integers; // Integer and the date kinds
    BlockArray<double> reals;
    BlockArray<quint8> booleans;
    ArenaArray<char16_t> texts;
    ArenaArray<char> binaries;
    std::vector<quint64> nulls; // one bit per row
    bool hasNulls = false;

    bool IsNull(int row) const { return hasNulls && ((nulls[size_t(row) >> 6] >> (row & 63)) & 1); }
    // Stores a converted cell as row number `row`; false when text is too long for its block.
    bool Push(const Cell& cell, int row);
    void Pop(int row);
    QVariant Get(int row) const;
    size_t Bytes() const;
    size_t PayloadBytes() const { return texts.PayloadBytes() + binaries.PayloadBytes(); }
};

struct Table
{
    std::vector<Recordset::Field> fields;
    std::vector<Column> columns;
    int rows = 0;
    std::vector<Cell> scratch; // reused by AppendRow

    void AddField(const Recordset::Field& field);
    // Appends one row of converted cells (one per field); all or nothing.
    void Append(const std::vector<Cell>& cells);
};

// Converts a value for a field; throws AppError (ErrConvert) when it cannot.
// The cell may point into `value`, which must outlive it.
void ConvertInto(const QVariant& value, const Recordset::Field& field, Cell& cell);
// The value a cell reads back as, for a field of that type.
QVariant CellToVariant(const Cell& cell, int adoType);
QVariant MakeValue(Family family, int adoType, qint64 integer, double real, QStringView text,
                   const QByteArray& bytes);

// Whether an integer lies in the range of the ADO integer type.
bool FitsType(int adoType, qint64 value);
// Whether a packed date is one that a date column can hold.
bool IsStorableDate(qint64 packed);

// Kind of value a type family holds, for messages.
QString FamilyName(Family family);

[[noreturn]] void Raise(long number, const QString& description);

} // namespace RecordsetDetail
