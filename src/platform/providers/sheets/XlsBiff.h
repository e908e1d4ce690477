#pragma once

#include "platform/providers/sheets/SheetTable.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

// The records of an Excel 97-2003 workbook stream (BIFF5 and BIFF8): whether
// the workbook is encrypted, its worksheets and their cells, formulas by
// their last computed values. Every record is bounds-checked; a stream that
// does not hold together gives no sheets and no cells, never a read past its
// end.
// The bytes of a workbook stream, read a piece at a time: the records of a
// sheet are gone through twice, and need not all be in memory for that.
class XlsStream
{
public:
    virtual ~XlsStream() = default;
    // Up to `length` bytes from `at`: fewer at the end of the stream, none
    // when it cannot be read.
    virtual QByteArray Read(qint64 at, qint64 length) const = 0;
    // How much to read at once when going through the records.
    virtual qint64 PieceSize() const { return qint64(1) << 20; }
};

class XlsMemoryStream : public XlsStream
{
public:
    explicit XlsMemoryStream(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    QByteArray Read(qint64 at, qint64 length) const override;

private:
    QByteArray m_bytes;
};

class XlsBiff
{
public:
    explicit XlsBiff(QByteArray workbookStream);
    explicit XlsBiff(std::shared_ptr<const XlsStream> stream);

    // A FILEPASS record in the workbook globals: encrypted or obfuscated.
    bool IsEncrypted() const { return m_encrypted; }

    // Names of the worksheets, in workbook order.
    QStringList SheetNames() const;

    // Every cell of the worksheet of that name that holds a value, in the
    // order of its records (row by row in the files Excel and others write).
    void ReadCells(const QString& sheet, SheetCellSink& sink) const;

private:
    struct Sheet
    {
        QString name;
        quint32 offset = 0;
        int type = 0;
    };

    void ReadGlobals();
    void ReadStrings(qsizetype at);
    QString ShortString(const QByteArray& data, qsizetype at) const;
    void AddNumber(SheetCellSink& sink, int row, int column, int xf, double number) const;

    std::shared_ptr<const XlsStream> m_stream;
    QByteArray m_globals; // while the globals are read
    bool m_encrypted = false;
    bool m_biff8 = true;
    bool m_date1904 = false;
    std::vector<Sheet> m_sheets;
    std::vector<bool> m_dateXf; // by XF index
    // The shared string table, back to back in one block: tens of thousands
    // of strings each in an allocation of its own cost twice the memory.
    class Strings
    {
    public:
        void Append(QStringView text)
        {
            m_chars.append(text);
            m_ends.push_back(m_chars.size());
        }
        // Gives back the room left over from growing.
        void Squeeze()
        {
            m_chars.squeeze();
            m_ends.shrink_to_fit();
        }
        quint32 Count() const { return quint32(m_ends.size()); }
        QStringView At(quint32 index) const
        {
            const qsizetype begin = index == 0 ? 0 : m_ends[index - 1];
            return QStringView(m_chars).sliced(begin, m_ends[index] - begin);
        }

    private:
        QString m_chars;
        std::vector<qsizetype> m_ends;
    };
    Strings m_strings;
};
