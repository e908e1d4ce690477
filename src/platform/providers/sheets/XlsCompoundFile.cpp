#include "platform/providers/sheets/XlsCompoundFile.h"

#include <QtEndian>

namespace {
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kLastSector = 0xFFFFFFFA; // anything from here on is a marker, not a sector
constexpr qsizetype kHeaderSize = 512;
constexpr int kHeaderDifatEntries = 109;
} // namespace

bool XlsCompoundFile::HasSignature(const QByteArray& head)
{
    return head.startsWith(QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
}

XlsCompoundFile::XlsCompoundFile(QByteArray bytes) : m_bytes(std::move(bytes))
{
    m_valid = Parse();
    if (!m_valid) {
        m_fat.clear();
        m_miniFat.clear();
        m_miniStream.clear();
        m_entries.clear();
    }
}

quint32 XlsCompoundFile::U32(qsizetype offset) const
{
    if (offset < 0 || offset + 4 > m_bytes.size())
        return kEndOfChain;
    return qFromLittleEndian<quint32>(m_bytes.constData() + offset);
}

bool XlsCompoundFile::SectorOk(quint32 sector) const
{
    return sector < kLastSector && SectorOffset(sector) + (qsizetype(1) << m_shift) <= m_bytes.size();
}

bool XlsCompoundFile::Chain(quint32 start, const std::vector<quint32>& table, size_t limit,
                            std::vector<quint32>& out) const
{
    out.clear();
    for (quint32 sector = start; sector != kEndOfChain;) {
        if (sector >= table.size() || out.size() >= limit)
            return false; // off the table, or a loop
        out.push_back(sector);
        sector = table[sector];
    }
    return true;
}

bool XlsCompoundFile::Parse()
{
    if (m_bytes.size() < kHeaderSize || !HasSignature(m_bytes))
        return false;
    const auto u16 = [this](qsizetype offset) { return qFromLittleEndian<quint16>(m_bytes.constData() + offset); };
    const int major = u16(0x1A);
    m_shift = u16(0x1E);
    m_miniShift = u16(0x20);
    if ((m_shift != 9 && m_shift != 12) || m_miniShift != 6)
        return false;
    m_miniCutoff = U32(0x38);
    const qsizetype sectorSize = qsizetype(1) << m_shift;
    const size_t perSector = size_t(sectorSize / 4);
    const size_t sectorCount = size_t((m_bytes.size() + sectorSize - 1) / sectorSize);

    // The FAT sectors: 109 listed in the header, the rest in a chain of DIFAT sectors.
    std::vector<quint32> fatSectors;
    for (int i = 0; i < kHeaderDifatEntries; ++i) {
        const quint32 sector = U32(0x4C + 4 * i);
        if (sector >= kLastSector)
            break;
        fatSectors.push_back(sector);
    }
    quint32 difat = U32(0x44);
    for (size_t hops = 0; difat < kLastSector; ++hops) {
        if (!SectorOk(difat) || hops > sectorCount)
            return false;
        const qsizetype base = SectorOffset(difat);
        for (size_t i = 0; i + 1 < perSector; ++i) {
            const quint32 sector = U32(base + qsizetype(4 * i));
            if (sector < kLastSector)
                fatSectors.push_back(sector);
        }
        difat = U32(base + sectorSize - 4);
    }
    if (fatSectors.empty() || fatSectors.size() > sectorCount)
        return false;
    m_fat.reserve(fatSectors.size() * perSector);
    for (quint32 sector : fatSectors) {
        if (!SectorOk(sector))
            return false;
        const qsizetype base = SectorOffset(sector);
        for (size_t i = 0; i < perSector; ++i)
            m_fat.push_back(U32(base + qsizetype(4 * i)));
    }

    std::vector<quint32> chain;
    if (!Chain(U32(0x30), m_fat, sectorCount, chain) || chain.empty())
        return false;
    for (quint32 sector : chain) {
        if (!SectorOk(sector))
            return false;
        for (qsizetype at = SectorOffset(sector); at < SectorOffset(sector) + sectorSize; at += 128) {
            const int nameBytes = u16(at + 0x40);
            Entry entry;
            entry.type = quint8(m_bytes.at(at + 0x42)); // at(): the bytes may be shared, never copied
            if (entry.type == 0)
                continue; // an unused slot
            if (nameBytes >= 2 && nameBytes <= 64)
                entry.name = QString::fromUtf16(reinterpret_cast<const char16_t*>(m_bytes.constData() + at),
                                                nameBytes / 2 - 1);
            entry.start = U32(at + 0x74);
            entry.size = U32(at + 0x78);
            if (major >= 4)
                entry.size |= quint64(U32(at + 0x7C)) << 32;
            m_entries.push_back(entry);
        }
    }
    if (m_entries.empty() || m_entries.front().type != 5)
        return false;

    // The mini stream holds the small streams, in 64-byte sectors of its own.
    const Entry& root = m_entries.front();
    if (root.size > 0) {
        if (root.size > quint64(m_bytes.size()) || !Chain(root.start, m_fat, sectorCount, chain))
            return false;
        for (quint32 sector : chain) {
            if (!SectorOk(sector))
                return false;
            m_miniStream.append(m_bytes.constData() + SectorOffset(sector), sectorSize);
        }
        m_miniStream.truncate(qsizetype(root.size));
        const quint32 firstMiniFat = U32(0x3C);
        if (firstMiniFat < kLastSector) {
            if (!Chain(firstMiniFat, m_fat, sectorCount, chain))
                return false;
            for (quint32 sector : chain) {
                if (!SectorOk(sector))
                    return false;
                for (size_t i = 0; i < perSector; ++i)
                    m_miniFat.push_back(U32(SectorOffset(sector) + qsizetype(4 * i)));
            }
        }
    }
    return true;
}

QStringList XlsCompoundFile::StreamNames() const
{
    QStringList names;
    for (const Entry& entry : m_entries)
        if (entry.type == 2)
            names << entry.name;
    return names;
}

const XlsCompoundFile::Entry* XlsCompoundFile::Find(const QString& name) const
{
    for (const Entry& entry : m_entries)
        if (entry.type == 2 && entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return &entry;
    return nullptr;
}

std::optional<XlsCompoundFile::Extent> XlsCompoundFile::StreamExtent(const QString& name) const
{
    const Entry* entry = Find(name);
    if (!entry || entry->size < m_miniCutoff || entry->size > quint64(m_bytes.size()))
        return std::nullopt;
    std::vector<quint32> chain;
    if (!Chain(entry->start, m_fat, size_t(m_bytes.size() >> m_shift) + 1, chain))
        return std::nullopt;
    Extent extent;
    extent.size = entry->size;
    extent.sectorSize = qint64(1) << m_shift;
    if (quint64(chain.size()) * quint64(extent.sectorSize) < entry->size)
        return std::nullopt;
    for (quint32 sector : chain) {
        if (!SectorOk(sector))
            return std::nullopt;
        extent.sectorOffsets.push_back(SectorOffset(sector));
    }
    return extent;
}

std::optional<QByteArray> XlsCompoundFile::Stream(const QString& name) const
{
    for (const Entry& entry : m_entries) {
        if (entry.type != 2 || entry.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (entry.size > quint64(m_bytes.size()))
            return std::nullopt;
        QByteArray data;
        // One allocation: appending sector by sector would copy the stream
        // over and over as it grows.
        data.reserve(qsizetype(entry.size) + (qsizetype(1) << m_shift));
        std::vector<quint32> chain;
        if (entry.size < m_miniCutoff) {
            const size_t miniCount = size_t(m_miniStream.size() >> m_miniShift);
            if (!Chain(entry.start, m_miniFat, miniCount + 1, chain))
                return std::nullopt;
            for (quint32 sector : chain) {
                const qsizetype at = qsizetype(sector) << m_miniShift;
                if (at + (qsizetype(1) << m_miniShift) > m_miniStream.size())
                    return std::nullopt;
                data.append(m_miniStream.constData() + at, qsizetype(1) << m_miniShift);
            }
        } else {
            const size_t sectorCount = size_t(m_bytes.size() >> m_shift) + 1;
            if (!Chain(entry.start, m_fat, sectorCount, chain))
                return std::nullopt;
            for (quint32 sector : chain) {
                if (!SectorOk(sector))
                    return std::nullopt;
                data.append(m_bytes.constData() + SectorOffset(sector), qsizetype(1) << m_shift);
            }
        }
        if (quint64(data.size()) < entry.size)
            return std::nullopt;
        data.truncate(qsizetype(entry.size));
        return data;
    }
    return std::nullopt;
}
