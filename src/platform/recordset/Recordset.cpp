#include "platform/recordset/Recordset.h"

#include "shell/AppError.h"

// Skeleton so that callers can build against the interface; filled in next.
namespace RecordsetDetail {
struct Table {};
struct Criteria {};
} // namespace RecordsetDetail

namespace {
[[noreturn]] void NotYet()
{
    throw AppError(Recordset::ErrNotAllowed, QStringLiteral("Recordset"),
                   QStringLiteral("Not available yet."));
}
} // namespace

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;
void Recordset::AppendField(const QString&, int, qint64, int) { NotYet(); }
int Recordset::FieldCount() const { NotYet(); }
Recordset::Field Recordset::FieldAt(int) const { NotYet(); }
QString Recordset::FieldName(int) const { NotYet(); }
int Recordset::FieldType(int) const { NotYet(); }
qint64 Recordset::FieldDefinedSize(int) const { NotYet(); }
int Recordset::FieldIndex(const QString&) const { NotYet(); }
void Recordset::Open() { NotYet(); }
void Recordset::Close() { NotYet(); }
int Recordset::State() const { return m_open ? StateOpen : StateClosed; }
void Recordset::MoveFirst() { NotYet(); }
void Recordset::MoveLast() { NotYet(); }
void Recordset::MoveNext() { NotYet(); }
void Recordset::MovePrevious() { NotYet(); }
void Recordset::MoveTo(int) { NotYet(); }
bool Recordset::AtBOF() const { NotYet(); }
bool Recordset::AtEOF() const { NotYet(); }
int Recordset::CurrentRow() const { NotYet(); }
int Recordset::RecordCount() const { NotYet(); }
QVariant Recordset::Value(int) const { NotYet(); }
QVariant Recordset::Value(const QString&) const { NotYet(); }
QVariant Recordset::ValueAt(int, int) const { NotYet(); }
bool Recordset::IsNullAt(int, int) const { NotYet(); }
void Recordset::AddNew() { NotYet(); }
void Recordset::SetValue(int, const QVariant&) { NotYet(); }
void Recordset::SetValue(const QString&, const QVariant&) { NotYet(); }
void Recordset::Update() { NotYet(); }
void Recordset::CancelUpdate() { NotYet(); }
bool Recordset::IsAdding() const { return m_adding; }
void Recordset::AppendRow(std::span<const QVariant>) { NotYet(); }
void Recordset::AppendRow(const QVariantList&) { NotYet(); }
QString Recordset::Filter() const { return m_filter; }
void Recordset::SetFilter(const QString&) { NotYet(); }
Recordset Recordset::Clone() const { NotYet(); }
QList<QVariantList> Recordset::GetRows(int) { NotYet(); }
QByteArray Recordset::Persist() const { NotYet(); }
Recordset Recordset::FromPersisted(const QByteArray&) { NotYet(); }
void Recordset::RequireOpen() const {}
void Recordset::CommitPending() {}
int Recordset::VisibleToTableRow(int row) const { return row; }
