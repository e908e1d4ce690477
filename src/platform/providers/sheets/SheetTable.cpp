#include "platform/providers/sheets/SheetTable.h"

#include "platform/providers/sheets/WorkbookError.h"

#include <QHash>

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

// The driver shows an empty sheet as one empty column.
Recordset EmptySheet()
{
    Recordset set;
    set.AppendField(SheetValues::GenericColumnName(0), AdoType::VarWChar, SheetValues::kShortTextLength);
    set.Open();
    return set;
}

// Two cells far apart span a table of Nulls between them, and that table is
// what takes the memory: count its cells, not only the stored ones.
void CheckSpan(qint64 height, qint64 width)
{
    if (height * width > SheetTable::kMaxCells)
        WorkbookError::Raise(WorkbookError::TooLarge,
                             QStringLiteral("The worksheet spans %L1 rows and %L2 columns, more than can be imported.")
                                 .arg(height)
                                 .arg(width));
}

// One field per column, typed by what its cells hold; opens the set. Which
// columns are text comes back.
std::vector<bool> OpenFields(Recordset& set, const std::vector<QString>& names,
                             const std::vector<SheetValues::ColumnGuess>& guesses)
{
    std::vector<bool> asText(guesses.size());
    for (size_t i = 0; i < guesses.size(); ++i) {
        asText[i] = guesses[i].IsText();
        set.AppendField(names[i], guesses[i].AdoType(), guesses[i].DefinedSize());
    }
    set.Open();
    return asText;
}

// First pass: where the cells lie, whether they come in order, the header
// row's texts and what kinds each column holds.
class Shape : public SheetCellSink
{
public:
    explicit Shape(bool header) : m_header(header) {}

    void SetNumber(int row, int column, double value) override
    {
        Add(row, column, Kind::Number, 0, [value] { return SheetValues::NumberText(value); });
    }
    void SetText(int row, int column, const QString& value) override
    {
        Add(row, column, Kind::Text, value.size(), [&value] { return value; });
    }
    void SetBoolean(int row, int column, bool value) override
    {
        Add(row, column, Kind::Boolean, 0, [value] { return SheetValues::BooleanText(value); });
    }
    void SetDate(int row, int column, const QDateTime& value) override
    {
        if (!value.isValid())
            return SetError(row, column);
        Add(row, column, Kind::Date, 0, [&value] { return SheetValues::DateText(value); });
    }
    void SetError(int row, int column) override
    {
        Add(row, column, Kind::Error, 0, [] { return QString(); });
    }

    bool Ordered() const { return m_ordered; }
    bool Empty() const { return m_count == 0; }
    int FirstRow() const { return m_firstRow; }
    int LastRow() const { return m_lastRow; }
    int FirstColumn() const { return m_firstColumn; }
    int Width() const { return m_lastColumn - m_firstColumn + 1; }

    std::vector<QString> Names() const
    {
        std::vector<QString> names(static_cast<size_t>(Width()));
        for (int i = 0; i < Width(); ++i)
            names[size_t(i)] = m_header ? m_headerTexts.value(m_firstColumn + i) : SheetValues::GenericColumnName(i);
        return names;
    }
    std::vector<SheetValues::ColumnGuess> Guesses() const
    {
        std::vector<SheetValues::ColumnGuess> guesses(static_cast<size_t>(Width()));
        for (int i = 0; i < Width() && size_t(m_firstColumn + i) < m_guesses.size(); ++i)
            guesses[size_t(i)] = m_guesses[size_t(m_firstColumn + i)];
        return guesses;
    }

private:
    template <class Text>
    void Add(int row, int column, Kind kind, qsizetype textLength, Text text)
    {
        if (m_count > 0 && (row < m_lastRow || (row == m_lastRow && column <= m_lastColumnOfRow)))
            m_ordered = false;
        if (!m_ordered)
            return; // the cells will be collected instead
        if (m_count++ == 0) {
            m_firstRow = row;
            m_firstColumn = m_lastColumn = column;
        }
        m_firstColumn = std::min(m_firstColumn, column);
        m_lastColumn = std::max(m_lastColumn, column);
        m_lastRow = row;
        m_lastColumnOfRow = column;
        if (m_header && row == m_firstRow) {
            m_headerTexts.insert(column, text());
            return;
        }
        if (size_t(column) >= m_guesses.size())
            m_guesses.resize(size_t(column) + 1);
        m_guesses[size_t(column)].Add(kind, textLength);
    }

    bool m_header;
    bool m_ordered = true;
    qint64 m_count = 0;
    int m_firstRow = 0, m_lastRow = 0, m_lastColumnOfRow = 0;
    int m_firstColumn = 0, m_lastColumn = 0;
    QHash<int, QString> m_headerTexts;
    std::vector<SheetValues::ColumnGuess> m_guesses; // by column of the sheet
};

// Second pass: the rows, appended as they complete; empty rows inside the
// table stay, as rows of Nulls, where they stand.
class Fill : public SheetCellSink
{
public:
    Fill(Recordset& set, const Shape& shape, bool header, std::vector<bool> asText)
        : m_set(set)
        , m_firstColumn(shape.FirstColumn())
        , m_skipRow(header ? shape.FirstRow() : -1)
        , m_row(header ? shape.FirstRow() + 1 : shape.FirstRow())
        , m_asText(std::move(asText))
        , m_values(m_asText.size())
    {
    }

    void SetNumber(int row, int column, double value) override
    {
        if (QVariant* cell = At(row, column))
            *cell = Text(column) ? QVariant(SheetValues::NumberText(value)) : QVariant(value);
    }
    void SetText(int row, int column, const QString& value) override
    {
        if (QVariant* cell = At(row, column))
            *cell = value;
    }
    void SetBoolean(int row, int column, bool value) override
    {
        if (QVariant* cell = At(row, column))
            *cell = Text(column) ? QVariant(SheetValues::BooleanText(value)) : QVariant(value);
    }
    void SetDate(int row, int column, const QDateTime& value) override
    {
        if (!value.isValid())
            return;
        if (QVariant* cell = At(row, column))
            *cell = Text(column) ? QVariant(SheetValues::DateText(value)) : QVariant(value);
    }
    void SetError(int, int) override {}

    // Appends the rows up to the last one of the table.
    void Finish(int lastRow)
    {
        while (m_row <= lastRow)
            NextRow();
        if (m_set.RecordCount() > 0)
            m_set.MoveFirst();
    }

private:
    bool Text(int column) const { return m_asText[size_t(column - m_firstColumn)]; }

    QVariant* At(int row, int column)
    {
        if (row == m_skipRow)
            return nullptr;
        while (m_row < row)
            NextRow();
        return &m_values[size_t(column - m_firstColumn)];
    }

    void NextRow()
    {
        m_set.AppendRow(m_values);
        std::fill(m_values.begin(), m_values.end(), QVariant());
        ++m_row;
    }

    Recordset& m_set;
    int m_firstColumn;
    int m_skipRow;
    int m_row;
    std::vector<bool> m_asText;
    std::vector<QVariant> m_values;
};

} // namespace

Recordset SheetTable::FromTwoPasses(bool header, const std::function<void(SheetCellSink&)>& giveCells)
{
    Shape shape(header);
    giveCells(shape);
    if (!shape.Ordered()) {
        SheetTable table;
        giveCells(table);
        return table.TakeRecordset(header);
    }
    if (shape.Empty())
        return EmptySheet();
    CheckSpan(qint64(shape.LastRow()) - shape.FirstRow() + 1, shape.Width());
    Recordset set;
    Fill fill(set, shape, header, OpenFields(set, shape.Names(), shape.Guesses()));
    giveCells(fill);
    fill.Finish(shape.LastRow());
    return set;
}

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

    if (cells.empty())
        return EmptySheet();
    Recordset set;

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
    CheckSpan(height, width);

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
    const std::vector<bool> asText = OpenFields(set, names, guesses);

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
