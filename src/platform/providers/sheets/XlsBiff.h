#pragma once

#include "platform/providers/sheets/SheetTable.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The records of an Excel 97-2003 workbook stream (BIFF5 and BIFF8): whether
// the workbook is encrypted, its worksheets and their cells, formulas by
// their last computed values. Every record is bounds-checked; a stream that
// does not hold together gives no sheets and no cells, never a read past its
// end.
class XlsBiff
{
public:
    explicit XlsBiff(QByteArray workbookStream);

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

    QByteArray m_stream;
    bool m_encrypted = false;
    bool m_biff8 = true;
    bool m_date1904 = false;
    std::vector<Sheet> m_sheets;
    std::vector<bool> m_dateXf; // by XF index
    QStringList m_strings;      // the shared string table
};
