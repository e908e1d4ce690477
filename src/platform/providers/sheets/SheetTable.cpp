#include "platform/providers/sheets/SheetTable.h"

#include "platform/providers/sheets/WorkbookError.h"

#include <algorithm>
#include <utility>

using SheetValues::Kind;

namespace {

constexpr qint64 kDayMs = 86400000;

qint64 PackDate(const QDateTime& value)
{
    return value.date().toJulianDay() * kDayMs + value.time().msecsSinceStartOfDay();
}

QDateTime UnpackDate(qint64 packed)
{
    return QDateTime(QDate::fromJulianDay(packed / kDayMs), QTime::fromMSecsSinceStartOfDay(int(packed % kDayMs)),
                     Qt::UTC);
}

} // namespace

void SheetTable::Add(Cell cell)
{
    if (qint64(m_cells.size()) >= kMaxCells)
        WorkbookError::Raise(WorkbookError::TooLarge,
                             QStringLiteral("The worksheet holds more than %L1 cells, more than can be imported.")
                                 .arg(kMaxCells));
    m_cells.push_back(cell);
}

void SheetTable::SetNumber(int row, int column, double value)
{
    Add({row, column, Kind::Number, value, 0});
}

void SheetTable::SetText(int row, int column, const QString& value)
{
    m_texts.push_back(value);
    Add({row, column, Kind::Text, 0, qint64(m_texts.size() - 1)});
}

void SheetTable::SetBoolean(int row, int column, bool value)
{
    Add({row, column, Kind::Boolean, value ? 1.0 : 0.0, 0});
}

void SheetTable::SetDate(int row, int column, const QDateTime& value)
{
    if (!value.isValid()) {
        SetError(row, column);
        return;
    }
    Add({row, column, Kind::Date, 0, PackDate(value)});
}

void SheetTable::SetError(int row, int column)
{
    Add({row, column, Kind::Error, 0, 0});
}

QString SheetTable::CellText(const Cell& cell, const std::vector<QString>& texts)
{
    switch (cell.kind) {
    case Kind::Text:
        return texts[size_t(cell.index)];
    case Kind::Number:
        return SheetValues::NumberText(cell.number);
    case Kind::Boolean:
        return SheetValues::BooleanText(cell.number != 0);
    case Kind::Date:
        return SheetValues::DateText(UnpackDate(cell.index));
    default:
        return {};
    }
}

Recordset SheetTable::TakeRecordset(bool header)
{
    // Readers mostly deliver row by row; a stable sort keeps the last of
    // several values given for one cell at the end of its run.
    const auto before = [](const Cell& a, const Cell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(m_cells.begin(), m_cells.end(), before))
        std::stable_sort(m_cells.begin(), m_cells.end(), before);
    // In place: a copy would double the largest block of the read at its peak.
    size_t kept = 0;
    for (size_t i = 0; i < m_cells.size(); ++i) {
        if (i + 1 < m_cells.size() && !before(m_cells[i], m_cells[i + 1]))
            continue; // a later value for the same cell follows
        m_cells[kept++] = m_cells[i];
    }
    m_cells.resize(kept);
    std::vector<Cell> cells = std::move(m_cells);
    m_cells = {};
    std::vector<QString> texts = std::move(m_texts);
    m_texts = {};

    Recordset set;
    if (cells.empty()) {
        // The driver shows an empty sheet as one empty column.
        set.AppendField(SheetValues::GenericColumnName(0), AdoType::VarWChar, SheetValues::kShortTextLength);
        set.Open();
        return set;
    }

    const int firstRow = cells.front().row;
    int firstColumn = cells.front().column;
    int lastColumn = firstColumn;
    for (const Cell& cell : cells) {
        firstColumn = std::min(firstColumn, cell.column);
        lastColumn = std::max(lastColumn, cell.column);
    }
    const int width = lastColumn - firstColumn + 1;
    // Two cells far apart span a table of Nulls between them, and that table
    // is what takes the memory: count its cells, not only the stored ones.
    const qint64 height = qint64(cells.back().row) - firstRow + 1;
    if (height * width > kMaxCells)
        WorkbookError::Raise(WorkbookError::TooLarge,
                             QStringLiteral("The worksheet spans %L1 rows and %L2 columns, more than can be imported.")
                                 .arg(height)
                                 .arg(width));

    std::vector<QString> names(static_cast<size_t>(width));
    size_t dataStart = 0;
    if (header) {
        while (dataStart < cells.size() && cells[dataStart].row == firstRow) {
            const Cell& cell = cells[dataStart];
            names[size_t(cell.column - firstColumn)] = CellText(cell, texts);
            ++dataStart;
        }
    } else {
        for (int i = 0; i < width; ++i)
            names[size_t(i)] = SheetValues::GenericColumnName(i);
    }

    std::vector<SheetValues::ColumnGuess> guesses(static_cast<size_t>(width));
    for (size_t i = dataStart; i < cells.size(); ++i) {
        const Cell& cell = cells[i];
        guesses[size_t(cell.column - firstColumn)].Add(
            cell.kind, cell.kind == Kind::Text ? texts[size_t(cell.index)].size() : 0);
    }
    std::vector<bool> asText(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i) {
        const auto& guess = guesses[size_t(i)];
        asText[size_t(i)] = guess.IsText();
        set.AppendField(names[size_t(i)], guess.AdoType(), guess.DefinedSize());
    }
    set.Open();

    if (dataStart == cells.size())
        return set;
    std::vector<QVariant> values(static_cast<size_t>(width));
    const int lastRow = cells.back().row;
    size_t next = dataStart;
    // Empty rows inside the table stay, as rows of Nulls, where they stand.
    for (int row = header ? firstRow + 1 : firstRow; row <= lastRow; ++row) {
        std::fill(values.begin(), values.end(), QVariant());
        for (; next < cells.size() && cells[next].row == row; ++next) {
            const Cell& cell = cells[next];
            const size_t column = size_t(cell.column - firstColumn);
            if (cell.kind == Kind::Error)
                continue;
            // Each text goes to one cell only; letting go of it here keeps
            // the texts and the record set's copy of them from both being
            // whole in memory.
            if (asText[column] && cell.kind == Kind::Text)
                values[column] = std::exchange(texts[size_t(cell.index)], QString());
            else if (asText[column])
                values[column] = CellText(cell, texts);
            else if (cell.kind == Kind::Number)
                values[column] = cell.number;
            else if (cell.kind == Kind::Boolean)
                values[column] = cell.number != 0;
            else if (cell.kind == Kind::Date)
                values[column] = UnpackDate(cell.index);
        }
        set.AppendRow(values);
    }
    set.MoveFirst();
    return set;
}
