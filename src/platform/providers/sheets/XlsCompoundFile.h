#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The compound file container (OLE2) that holds an Excel 97-2003 workbook and
// an encrypted Excel 2007+ workbook. Only what the workbook readers need: the
// names of the streams and the bytes of one. Every offset and chain is checked
// against the file, so a broken or crafted container yields "not valid", never
// a read outside the data or an endless chain.
class XlsCompoundFile
{
public:
    static bool HasSignature(const QByteArray& head);

    // Parses the container; IsValid() tells whether that worked.
    explicit XlsCompoundFile(QByteArray bytes);

    bool IsValid() const { return m_valid; }
    QStringList StreamNames() const;
    // The stream of that name (matched without regard to case); nullopt when
    // there is none or it cannot be read.
    std::optional<QByteArray> Stream(const QString& name) const;

    // Where the stream of that name lies in the file, for reading it from
    // there piece by piece: its size and the file offset of each of its
    // sectors in order. nullopt for a small stream (kept inside the mini
    // stream), or one that is not there or cannot be read.
    struct Extent
    {
        quint64 size = 0;
        qint64 sectorSize = 0;
        std::vector<qint64> sectorOffsets;
    };
    std::optional<Extent> StreamExtent(const QString& name) const;

private:
    struct Entry
    {
        QString name;
        int type = 0;
        quint32 start = 0;
        quint64 size = 0;
    };

    bool Parse();
    const Entry* Find(const QString& name) const;
    bool Chain(quint32 start, const std::vector<quint32>& table, size_t limit, std::vector<quint32>& out) const;
    quint32 U32(qsizetype offset) const;
    bool SectorOk(quint32 sector) const;
    qsizetype SectorOffset(quint32 sector) const { return qsizetype(sector + 1) << m_shift; }

    QByteArray m_bytes;
    bool m_valid = false;
    int m_shift = 9;
    int m_miniShift = 6;
    quint32 m_miniCutoff = 4096;
    std::vector<quint32> m_fat;
    std::vector<quint32> m_miniFat;
    QByteArray m_miniStream;
    std::vector<Entry> m_entries;
};
