#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <span>
#include <vector>

// ADO data type codes that the program and its sources use.
namespace AdoType {
enum : int {
    Empty = 0,
    SmallInt = 2,          // int16
    Integer = 3,           // int32
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    BSTR = 8,
    Boolean = 11,
    Decimal = 14,
    TinyInt = 16,
    UnsignedTinyInt = 17,
    UnsignedSmallInt = 18,
    UnsignedInt = 19,
    BigInt = 20,
    UnsignedBigInt = 21,
    Guid = 72,
    Binary = 128,
    Char = 129,
    WChar = 130,
    Numeric = 131,
    DBDate = 133,
    DBTime = 134,
    DBTimeStamp = 135,
    VarNumeric = 139,
    VarChar = 200,
    LongVarChar = 201,
    VarWChar = 202,
    LongVarWChar = 203,
    VarBinary = 204,
    LongVarBinary = 205,
};

// The kind of value a type code holds: the record set stores, converts and
// compares by it, and staged SQL tables declare their columns by it. The
// three date kinds are stored alike but read back (and stage) as a date and
// time, a date alone or a time alone. Codes not listed hold text.
enum class Family : quint8 { Integer, Real, Boolean, DateTime, Date, Time, Text, Binary };
Family FamilyOf(int type);

} // namespace AdoType

namespace RecordsetDetail {
struct Table;
struct Criteria;
} // namespace RecordsetDetail

// The in-memory table that stands in for a disconnected, client-side ADO
// record set.
//
// Null is an invalid QVariant (QVariant()); any QVariant whose isNull() is
// true is taken as Null when written. An empty string is a value, not Null.
//
// Storage is column-wise and shared: Clone() gives a second record set over
// the same rows, with its own cursor and filter; a row added through either is
// part of the table both see. Copying is therefore not offered; use Clone()
// for a shared view and move for ownership (what is left behind is closed,
// with no fields).
//
// Each column keeps its values in the representation of its type family:
//   integers (2, 3, 16-21)                 int64, range-checked per type
//   numbers (4, 5, 6, 14, 131, 139)        double
//   boolean (11)                           one byte
//   dates (7, 133, 134, 135)               naive date and time (no time zone)
//   binary (128, 204, 205)                 bytes
//   text (8, 72, 129, 130, 200-203) and any other code   UTF-16 text
// Values read back come as: int for 2, 3, 16, 17, 18; qlonglong for 19, 20,
// 21; double; bool; QDateTime (local, naive) for 7 and 135, QDate for 133,
// QTime for 134; QByteArray; QString.
//
// Values written in another QVariant type are converted to the column's type:
// numbers from numeric text ("C" locale), booleans from true/false, "True",
// "False", "1", "0", "-1" and numbers (non-zero is true), true written to an
// integer column is -1, dates from QDateTime/QDate/QTime or text in the forms
// the filter accepts (below), text from anything QVariant turns into a string.
// A value that cannot be converted, or an integer out of its type's range,
// raises ErrConvert. Text longer than the field's defined size is kept whole:
// the defined size is reported, not enforced.
//
// Cursor: a 0-based position over the rows that pass the filter. AtBOF() and
// AtEOF() are both true when no row passes. Opening, setting a filter and
// cloning put the cursor on the first row. MoveFirst/MoveLast on an empty set
// do nothing; MoveNext at EOF and MovePrevious at BOF raise ErrNoCurrentRow.
// Reading a value with no current row raises ErrNoCurrentRow.
//
// Filter criteria: clauses joined by AND / OR, no parentheses; AND binds
// tighter than OR, so "a OR b AND c" is "a OR (b AND c)". A clause is
//   [column] op 'value'     op one of = <> < > <= >=
//   [column] LIKE 'value'   value with "*" or "%" at its start and/or end
//   column op number        a bare name and an unquoted number
// Keywords are matched without regard to case, column names too. Inside a
// quoted value a doubled apostrophe stands for one; a lone apostrophe inside a
// value ends it early and the rest of the text is refused (ErrCriteria).
// The quoted value is taken in the column's type:
//   integer and number columns: compared numerically ('10' > '9');
//   date columns: "yyyy-MM-dd", "yyyy-MM-dd HH:mm[:ss]", "yyyy-MM-ddTHH:mm:ss",
//     "M/d/yyyy", "M/d/yyyy h:mm[:ss] AP" or "M/d/yyyy H:mm[:ss]"; a date
//     without a time is midnight, and the full date and time is compared;
//   boolean columns: '1', '-1', 'True' true; '0', 'False' false; only = and <>;
//   text columns: compared without regard to case (Unicode simple case
//     folding, character by character);
//   LIKE works on text columns only: 'ab*' starts with, '*ab' ends with,
//     '*ab*' contains, no star is equality; a star inside the value is refused;
//   binary columns cannot be filtered.
// A Null cell passes no clause, "<>" included. A value that cannot be taken
// in the column's type ('' or 'abc' for a number or date column), an unknown
// column or text that cannot be read raises ErrCriteria (ErrFieldNotFound for
// an unknown column); the record set keeps its previous filter, rows and
// cursor. The filter is evaluated once when set: rows added later through
// this record set join its visible rows, rows added through a clone appear
// when the filter is set again. The empty text (or blanks) removes the filter.
//
// Errors are AppError with source "Recordset" and one of the numbers below.
class Recordset
{
public:
    enum Error : long {
        ErrArgument = 3001,      // bad position or size
        ErrNoCurrentRow = 3021,  // BOF or EOF is true, or row index out of range
        ErrNotAllowed = 3219,    // operation not allowed in this state
        ErrFieldNotFound = 3265, // no field of that name or position
        ErrConvert = 3421,       // value cannot be stored in the column
        ErrClosed = 3704,        // operation not allowed on a closed record set
        ErrCriteria = 3016,      // filter text cannot be read or applied
        ErrPersisted = 3709,     // persisted bytes are not a record set
    };

    // Open or closed, as ADO's State.
    enum : int { StateClosed = 0, StateOpen = 1 };

    struct Field
    {
        QString Name;          // may be empty
        int Type = AdoType::VarWChar;
        qint64 DefinedSize = 0;
        int Attributes = -1;
    };

    Recordset();
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // --- fields (appended only while closed and before the first Open) ---
    void AppendField(const QString& name, int type, qint64 definedSize, int attributes = -1);
    int FieldCount() const;
    Field FieldAt(int position) const;  // ErrFieldNotFound when out of range
    QString FieldName(int position) const;
    int FieldType(int position) const;
    qint64 FieldDefinedSize(int position) const;
    // 0-based position of the first field of that name, matched without
    // regard to case; -1 when there is none.
    int FieldIndex(const QString& name) const;

    // --- state ---
    // A closed set reads as empty: AtBOF() and AtEOF() true, RecordCount() 0.
    // Opens with no source: the appended fields, no rows (or the rows kept
    // by FromPersisted). ErrNotAllowed when already open.
    void Open();
    // Drops this record set's rows, cursor and filter (clones keep theirs);
    // the fields stay, so Open() gives an empty table again. Closing a closed
    // set does nothing.
    void Close();
    int State() const;

    // --- cursor over the rows that pass the filter ---
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    // Puts the cursor on the visible row at that 0-based index.
    void MoveTo(int row);
    bool AtBOF() const;
    bool AtEOF() const;
    // 0-based index of the current visible row; -1 at BOF, EOF or while a
    // new row is being added.
    int CurrentRow() const;
    // Number of rows that pass the filter (all rows when there is none).
    int RecordCount() const;

    // --- values of the current row (or of the row being added) ---
    QVariant Value(int position) const;
    QVariant Value(const QString& name) const;

    // --- values of any visible row, for grids and the merge ---
    QVariant ValueAt(int row, int position) const;
    bool IsNullAt(int row, int position) const;

    // --- adding rows ---
    // Starts a new row, all Null; commits a row already being added first.
    // Moving the cursor also commits it, as does Update().
    void AddNew();
    // Sets a value of the row being added (ErrNotAllowed outside AddNew).
    void SetValue(int position, const QVariant& value);
    void SetValue(const QString& name, const QVariant& value);
    // Commits the row being added at the end of the table and keeps the
    // cursor on it. Without a row being added it does nothing.
    void Update();
    // Drops the row being added; the cursor returns to where it was.
    void CancelUpdate();
    bool IsAdding() const;
    // Appends a whole row at once, for providers: values by field position,
    // missing trailing values are Null. The cursor does not move, except that
    // a set that had no rows gets its cursor on the first row, as if it had
    // been opened with it. Requires the set to be open.
    void AppendRow(std::span<const QVariant> values);
    void AppendRow(const QVariantList& values);

    // --- filter ---
    QString Filter() const;
    void SetFilter(const QString& criteria);

    // A second record set over the same rows: open, unfiltered, cursor on its
    // first row. ErrClosed when this one is closed.
    Recordset Clone() const;

    // Up to maxRows rows (all when negative) from the current row on, as an
    // array of fields, each a list of values by row; the cursor moves past
    // the rows read. At EOF the lists are empty.
    QList<QVariantList> GetRows(int maxRows = -1);

    // --- persistence of the whole table (every row, whatever the filter) ---
    QByteArray Persist() const;
    // An open record set with the persisted fields and rows, cursor on the
    // first row. Bytes that are not a persisted record set raise ErrPersisted.
    static Recordset FromPersisted(const QByteArray& bytes);

    // Bytes the shared table holds (values, offsets, null bits, spare room).
    qint64 StorageBytes() const;

private:
    static constexpr int kBof = -1;
    static constexpr int kEof = -2;

    const RecordsetDetail::Table& Data() const;
    void RequireOpen() const;
    void CheckField(int position) const;
    void CommitPending();
    int AppendValues(std::span<const QVariant> values);
    void ResetCursor();
    int TableRow(int visibleRow) const { return m_filtered ? m_visible[size_t(visibleRow)] : visibleRow; }

    std::shared_ptr<RecordsetDetail::Table> m_table; // shared with clones
    bool m_open = false;
    int m_pos = kEof;                // kBof, kEof or a visible row index
    bool m_filtered = false;
    std::vector<int> m_visible;      // table rows that pass, when filtered
    QString m_filter;
    bool m_adding = false;
    int m_posBeforeAdd = kEof;
    std::vector<QVariant> m_pending; // values of the row being added, already in the column types
};
