#pragma once

#include "platform/providers/sheets/SheetValues.h"
#include "platform/recordset/Recordset.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

// Where a reader puts the cells it finds. Rows and columns are 0-based.
class SheetCellSink
{
public:
    virtual ~SheetCellSink() = default;
    virtual void SetNumber(int row, int column, double value) = 0;
    virtual void SetText(int row, int column, const QString& value) = 0;
    virtual void SetBoolean(int row, int column, bool value) = 0;
    // An invalid date is an error value.
    virtual void SetDate(int row, int column, const QDateTime& value) = 0;
    // An error value (#N/A, #DIV/0!, ...): part of the table, read as Null.
    virtual void SetError(int row, int column) = 0;
};

// The cells of one worksheet as a reader finds them, turned into a record set
// the way the worksheet driver presents a sheet: the table spans the rows and
// columns that hold anything, the first of those rows names the columns when
// the sheet has a header row, and each column gets one type.
class SheetTable : public SheetCellSink
{
public:
    // A hostile file can declare a huge sheet cheaply; past this many cells,
    // stored or spanned by the table, the read stops with an error instead of
    // taking all memory.
    static constexpr qint64 kMaxCells = 20'000'000;

    // Cells may come in any order; a later value for the same cell replaces
    // an earlier one.
    void SetNumber(int row, int column, double value) override;
    void SetText(int row, int column, const QString& value) override;
    void SetBoolean(int row, int column, bool value) override;
    void SetDate(int row, int column, const QDateTime& value) override;
    void SetError(int row, int column) override;

    qint64 CellCount() const { return qint64(m_cells.size()); }

    // Named columns from the first used row (header) or F1, F2, ... (no
    // header). A header cell that is empty gives a column without a name.
    // Leaves the cells behind; call once.
    Recordset TakeRecordset(bool header);

    // The same record set from a reader that can give its cells twice: once
    // to learn the table's extent, names and column types, once to fill the
    // rows, so the cells are never all held at once. Cells that do not come
    // row by row and left to right are collected and sorted instead.
    static Recordset FromTwoPasses(bool header, const std::function<void(SheetCellSink&)>& giveCells);

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
