#pragma once

#include "platform/providers/sheets/SheetValues.h"
#include "platform/recordset/Recordset.h"

#include <QDateTime>
#include <QString>

#include <vector>

// The cells of one worksheet as a reader finds them, turned into a record set
// the way the worksheet driver presents a sheet: the table spans the rows and
// columns that hold anything, the first of those rows names the columns when
// the sheet has a header row, and each column gets one type.
class SheetTable
{
public:
    // A hostile file can declare a huge sheet cheaply; past this many cells,
    // stored or spanned by the table, the read stops with an error instead of
    // taking all memory.
    static constexpr qint64 kMaxCells = 20'000'000;

    // Rows and columns are 0-based. Cells may come in any order; a later value
    // for the same cell replaces an earlier one.
    void SetNumber(int row, int column, double value);
    void SetText(int row, int column, const QString& value);
    void SetBoolean(int row, int column, bool value);
    void SetDate(int row, int column, const QDateTime& value);
    // An error value (#N/A, #DIV/0!, ...): part of the table, read as Null.
    void SetError(int row, int column);

    qint64 CellCount() const { return qint64(m_cells.size()); }

    // Named columns from the first used row (header) or F1, F2, ... (no
    // header). A header cell that is empty gives a column without a name.
    // Leaves the cells behind; call once.
    Recordset TakeRecordset(bool header);

private:
    struct Cell
    {
        qint32 row;
        qint32 column;
        SheetValues::Kind kind;
        double number;      // numbers and booleans
        qint64 index;       // text index into m_texts, or packed date
    };

    void Add(Cell cell);
    static QString CellText(const Cell& cell, const std::vector<QString>& texts);

    std::vector<Cell> m_cells;
    std::vector<QString> m_texts;
};
