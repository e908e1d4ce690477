#pragma once

#include "platform/providers/sheets/SheetValues.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

// The records of an Excel 97-2003 workbook stream (BIFF5 and BIFF8), read for
// what FreeXL does not give: whether the workbook is encrypted, the last
// computed values of formula cells and which boolean-or-error cells hold an
// error; and, for the workbooks FreeXL refuses, every cell. Every record is
// bounds-checked; a stream that does not hold together gives no sheets and no
// cells, never a read past its end.
class XlsBiff
{
public:
    struct Cell
    {
        int row = 0;
        int column = 0;
        SheetValues::Kind kind = SheetValues::Kind::Empty;
        double number = 0; // numbers; 1 or 0 for booleans
        QString text;
        QDateTime date;
    };

    explicit XlsBiff(QByteArray workbookStream);

    // A FILEPASS record in the workbook globals: encrypted or obfuscated.
    bool IsEncrypted() const { return m_encrypted; }

    // Names of the worksheets, in workbook order.
    QStringList SheetNames() const;

    // Formula results and boolean/error cells of the worksheet of that name,
    // or with `all` every cell that holds a value.
    std::vector<Cell> Cells(const QString& sheet, bool all = false) const;

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
    void AddNumber(std::vector<Cell>& cells, int row, int column, int xf, double number) const;

    QByteArray m_stream;
    bool m_encrypted = false;
    bool m_biff8 = true;
    bool m_date1904 = false;
    std::vector<Sheet> m_sheets;
    std::vector<bool> m_dateXf; // by XF index
    QStringList m_strings;      // the shared string table
};
