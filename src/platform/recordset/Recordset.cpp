#include "platform/recordset/Recordset.h"

#include "platform/recordset/RecordsetCriteria.h"
#include "platform/recordset/RecordsetStorage.h"

#include <algorithm>
#include <utility>

using namespace RecordsetDetail;

namespace {

const Table& EmptyTable()
{
    static const Table empty;
    return empty;
}

[[noreturn]] void NoCurrentRow()
{
    Raise(Recordset::ErrNoCurrentRow,
          QStringLiteral("There is no current row: the record set is at its beginning or its end."));
}

} // namespace

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
// A moved-from record set is closed and empty, never half of the other.
Recordset::Recordset(Recordset&& other) noexcept
    : m_table(std::move(other.m_table)),
      m_open(std::exchange(other.m_open, false)),
      m_pos(std::exchange(other.m_pos, kEof)),
      m_filtered(std::exchange(other.m_filtered, false)),
      m_visible(std::move(other.m_visible)),
      m_filter(std::move(other.m_filter)),
      m_adding(std::exchange(other.m_adding, false)),
      m_posBeforeAdd(std::exchange(other.m_posBeforeAdd, kEof)),
      m_pending(std::move(other.m_pending))
{
    other.m_visible.clear();
    other.m_filter.clear();
    other.m_pending.clear();
}

Recordset& Recordset::operator=(Recordset&& other) noexcept
{
    if (this != &other) {
        Recordset moved(std::move(other));
        std::swap(m_table, moved.m_table);
        std::swap(m_open, moved.m_open);
        std::swap(m_pos, moved.m_pos);
        std::swap(m_filtered, moved.m_filtered);
        std::swap(m_visible, moved.m_visible);
        std::swap(m_filter, moved.m_filter);
        std::swap(m_adding, moved.m_adding);
        std::swap(m_posBeforeAdd, moved.m_posBeforeAdd);
        std::swap(m_pending, moved.m_pending);
    }
    return *this;
}

const Table& Recordset::Data() const
{
    return m_table ? *m_table : EmptyTable();
}

void Recordset::RequireOpen() const
{
    if (!m_open)
        Raise(ErrClosed, QStringLiteral("The operation is not allowed while the record set is closed."));
}

void Recordset::CheckField(int position) const
{
    if (position < 0 || position >= FieldCount())
        Raise(ErrFieldNotFound, QStringLiteral("There is no field at position %1; the record set has %2 fields.")
                                    .arg(position)
                                    .arg(FieldCount()));
}

// --- fields ---

void Recordset::AppendField(const QString& name, int type, qint64 definedSize, int attributes)
{
    if (m_open)
        Raise(ErrNotAllowed, QStringLiteral("Fields can only be appended while the record set is closed."));
    if (definedSize < 0)
        Raise(ErrArgument, QStringLiteral("The defined size of the field [%1] cannot be negative.").arg(name));
    if (!m_table)
        m_table = std::make_shared<Table>();
    m_table->AddField(Field{name, type, definedSize, attributes});
}

int Recordset::FieldCount() const
{
    return int(Data().fields.size());
}

Recordset::Field Recordset::FieldAt(int position) const
{
    CheckField(position);
    return Data().fields[size_t(position)];
}

QString Recordset::FieldName(int position) const
{
    CheckField(position);
    return Data().fields[size_t(position)].Name;
}

int Recordset::FieldType(int position) const
{
    CheckField(position);
    return Data().fields[size_t(position)].Type;
}

qint64 Recordset::FieldDefinedSize(int position) const
{
    CheckField(position);
    return Data().fields[size_t(position)].DefinedSize;
}

int Recordset::FieldIndex(const QString& name) const
{
    const auto& fields = Data().fields;
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

// --- state ---

void Recordset::Open()
{
    if (m_open)
        Raise(ErrNotAllowed, QStringLiteral("The record set is already open."));
    if (!m_table)
        m_table = std::make_shared<Table>();
    m_open = true;
    ResetCursor();
}

void Recordset::Close()
{
    if (!m_open)
        return;
    // Clones keep the old rows; this one starts over with the same fields.
    auto fresh = std::make_shared<Table>();
    for (const Field& field : Data().fields)
        fresh->AddField(field);
    m_table = std::move(fresh);
    m_open = false;
    m_filtered = false;
    m_visible = {};
    m_filter.clear();
    m_adding = false;
    m_pending.clear();
    m_pos = kEof;
}

int Recordset::State() const
{
    return m_open ? StateOpen : StateClosed;
}

// --- cursor ---

void Recordset::ResetCursor()
{
    m_pos = RecordCount() > 0 ? 0 : kEof;
}

int Recordset::RecordCount() const
{
    if (!m_open)
        return 0;
    return m_filtered ? int(m_visible.size()) : Data().rows;
}

void Recordset::MoveFirst()
{
    RequireOpen();
    CommitPending();
    if (RecordCount() > 0)
        m_pos = 0;
}

void Recordset::MoveLast()
{
    RequireOpen();
    CommitPending();
    if (RecordCount() > 0)
        m_pos = RecordCount() - 1;
}

void Recordset::MoveNext()
{
    RequireOpen();
    CommitPending();
    const int count = RecordCount();
    if (count == 0 || m_pos == kEof)
        NoCurrentRow();
    if (m_pos == kBof)
        m_pos = 0;
    else
        m_pos = m_pos + 1 < count ? m_pos + 1 : kEof;
}

void Recordset::MovePrevious()
{
    RequireOpen();
    CommitPending();
    const int count = RecordCount();
    if (count == 0 || m_pos == kBof)
        NoCurrentRow();
    if (m_pos == kEof)
        m_pos = count - 1;
    else
        m_pos = m_pos > 0 ? m_pos - 1 : kBof;
}

void Recordset::MoveTo(int row)
{
    RequireOpen();
    CommitPending();
    if (row < 0 || row >= RecordCount())
        Raise(ErrNoCurrentRow, QStringLiteral("There is no row %1; the record set shows %2 rows.")
                                   .arg(row)
                                   .arg(RecordCount()));
    m_pos = row;
}

bool Recordset::AtBOF() const
{
    if (m_adding)
        return false;
    return RecordCount() == 0 || m_pos == kBof;
}

bool Recordset::AtEOF() const
{
    if (m_adding)
        return false;
    return RecordCount() == 0 || m_pos == kEof;
}

int Recordset::CurrentRow() const
{
    return !m_adding && m_pos >= 0 && m_pos < RecordCount() ? m_pos : -1;
}

// --- values ---

QVariant Recordset::Value(int position) const
{
    RequireOpen();
    CheckField(position);
    if (m_adding)
        return m_pending[size_t(position)];
    if (m_pos < 0 || m_pos >= RecordCount())
        NoCurrentRow();
    return Data().columns[size_t(position)].Get(TableRow(m_pos));
}

QVariant Recordset::Value(const QString& name) const
{
    const int position = FieldIndex(name);
    if (position < 0)
        Raise(ErrFieldNotFound, QStringLiteral("There is no field named \"%1\".").arg(name));
    return Value(position);
}

QVariant Recordset::ValueAt(int row, int position) const
{
    return IsNullAt(row, position) ? QVariant() : Data().columns[size_t(position)].Get(TableRow(row));
}

bool Recordset::IsNullAt(int row, int position) const
{
    RequireOpen();
    CheckField(position);
    if (row < 0 || row >= RecordCount())
        Raise(ErrNoCurrentRow, QStringLiteral("There is no row %1; the record set shows %2 rows.")
                                   .arg(row)
                                   .arg(RecordCount()));
    return Data().columns[size_t(position)].IsNull(TableRow(row));
}

// --- adding rows ---

int Recordset::AppendValues(std::span<const QVariant> values)
{
    Table& table = *m_table;
    std::vector<Cell>& cells = table.scratch;
    cells.resize(table.fields.size());
    static const QVariant null;
    for (size_t i = 0; i < cells.size(); ++i)
        ConvertInto(i < values.size() ? values[i] : null, table.fields[i], cells[i]);
    table.Append(cells);
    const int row = table.rows - 1;
    if (m_filtered)
        m_visible.push_back(row);
    return row;
}

void Recordset::AddNew()
{
    RequireOpen();
    CommitPending();
    m_posBeforeAdd = m_pos;
    m_pending.assign(size_t(FieldCount()), QVariant());
    m_adding = true;
}

void Recordset::SetValue(int position, const QVariant& value)
{
    RequireOpen();
    CheckField(position);
    if (!m_adding)
        Raise(ErrNotAllowed, QStringLiteral("Values can only be set on a new row; call AddNew first."));
    const Field& field = Data().fields[size_t(position)];
    Cell cell;
    ConvertInto(value, field, cell);
    m_pending[size_t(position)] = CellToVariant(cell, field.Type);
}

void Recordset::SetValue(const QString& name, const QVariant& value)
{
    const int position = FieldIndex(name);
    if (position < 0)
        Raise(ErrFieldNotFound, QStringLiteral("There is no field named \"%1\".").arg(name));
    SetValue(position, value);
}

void Recordset::CommitPending()
{
    if (!m_adding)
        return;
    AppendValues(m_pending);
    m_adding = false;
    m_pending.clear();
    m_pos = RecordCount() - 1;
}

void Recordset::Update()
{
    RequireOpen();
    CommitPending();
}

void Recordset::CancelUpdate()
{
    if (!m_adding)
        return;
    m_adding = false;
    m_pending.clear();
    m_pos = m_posBeforeAdd;
}

bool Recordset::IsAdding() const
{
    return m_adding;
}

void Recordset::AppendRow(std::span<const QVariant> values)
{
    RequireOpen();
    if (values.size() > size_t(FieldCount()))
        Raise(ErrArgument, QStringLiteral("The row has %1 values, but the record set has %2 fields.")
                               .arg(values.size())
                               .arg(FieldCount()));
    const bool wasEmpty = RecordCount() == 0;
    AppendValues(values);
    if (wasEmpty && !m_adding)
        m_pos = 0;
}

void Recordset::AppendRow(const QVariantList& values)
{
    AppendRow(std::span<const QVariant>(values.constData(), size_t(values.size())));
}

// --- filter ---

QString Recordset::Filter() const
{
    return m_filter;
}

void Recordset::SetFilter(const QString& criteria)
{
    RequireOpen();
    CommitPending();
    if (criteria.trimmed().isEmpty()) {
        m_filtered = false;
        m_visible = {};
        m_filter.clear();
        ResetCursor();
        return;
    }
    // Parse and evaluate before touching anything, so a refused text leaves
    // the previous filter and cursor in place.
    std::vector<int> visible = Evaluate(ParseCriteria(criteria, *m_table), *m_table);
    m_visible = std::move(visible);
    m_filtered = true;
    m_filter = criteria;
    ResetCursor();
}

Recordset Recordset::Clone() const
{
    RequireOpen();
    Recordset clone;
    clone.m_table = m_table;
    clone.m_open = true;
    clone.ResetCursor();
    return clone;
}

QList<QVariantList> Recordset::GetRows(int maxRows)
{
    RequireOpen();
    CommitPending();
    QList<QVariantList> fields(FieldCount());
    const int count = RecordCount();
    if (count == 0 || m_pos == kEof)
        return fields;
    const int start = m_pos == kBof ? 0 : m_pos;
    const int take = maxRows < 0 ? count - start : std::min(maxRows, count - start);
    const Table& table = Data();
    for (int f = 0; f < FieldCount(); ++f) {
        QVariantList& values = fields[f];
        values.reserve(take);
        for (int r = start; r < start + take; ++r)
            values.append(table.columns[size_t(f)].Get(TableRow(r)));
    }
    m_pos = start + take < count ? start + take : kEof;
    return fields;
}

qint64 Recordset::StorageBytes() const
{
    const Table& table = Data();
    qint64 bytes = 0;
    for (const Column& column : table.columns)
        bytes += qint64(column.Bytes());
    return bytes + qint64(m_visible.capacity() * sizeof(int));
}
