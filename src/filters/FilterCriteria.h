#pragma once

#include "base/AppError.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

class Filters;
class Recordset;

// Turning filter rows into the criteria text of the imported recipients and
// applying it. Everything here works on plain row values; the filter dialog
// only reads its controls into FilterRow and shows the outcome.
namespace FilterCriteria {

// How a column's value is entered and which operators it offers. Kind 2 is
// given to no column.
enum ValueKind : qint32 {
    NoValueKind = -1,
    TextKind = 0,
    YesNoKind = 1,
    DateTimeKind = 3,
    NumberKind = 4,
};

// What a criteria piece compares with; the dialog keeps these as the item
// data of its operator box.
enum OperatorCode : qint32 {
    EqualTo = 0,
    GreaterThan = 1,
    LessThan = 2,
    GreaterThanOrEqual = 3,
    LessThanOrEqual = 4,
    NotEqualTo = 5,
    StartsWith = 6,
    Contains = 7,
};

// The value kind of a record set column by its ADO type; NoValueKind for the
// types a filter does not offer.
ValueKind ValueKindOfType(int adoType);

// One entry of an operator box: its code and the string-table id of its text.
struct OperatorChoice
{
    OperatorCode Code;
    int TextId;
    bool operator==(const OperatorChoice&) const = default;
};

// The operators a value kind offers, in the order the box lists them; empty
// for a kind that has none. The text kind's list is also the full list of
// eight that fills a box before a column is chosen.
QList<OperatorChoice> OperatorList(qint32 valueKind);

// The text of an entry, from the string table.
QString OperatorText(const OperatorChoice& choice);

// One row of the filter dialog as read from its controls.
struct FilterRow
{
    // Position in the AND/OR box: 0 AND, 1 OR, -1 nothing chosen.
    qint32 LogicalOperator = -1;
    // The chosen column's name; empty for "(none)" or no choice.
    QString Data;
    // The chosen column's value kind.
    qint32 Kind = NoValueKind;
    // Position in the operator box (not the code).
    qint32 ComparisonOperator = -1;
    // Text for text and number columns, a 16-bit 0 or 1 for yes/no, the
    // date/time text or null for dates; an empty string without a column.
    QVariant Value = QString();
};

// A value as it goes between the apostrophes: null gives nothing, a yes/no
// value 1 or 0, anything else its plain text.
QString ValueText(const QVariant& value);

// The criteria piece of one operator code with its value, e.g. "= 'abc' ".
// The value goes in unchanged: apostrophes are not doubled.
QString CriteriaPiece(OperatorCode code, const QString& value);

// The criteria text of the rows, up to the first row without a column:
// "[Country] = 'Denmark' AND [Name] LIKE 'Jo*' ". Every piece ends with a
// blank; no parentheses are added. The empty text means no filter. Raises
// AppError 5 when a used row's operator position is not in its kind's list.
QString BuildCriteria(const QList<FilterRow>& rows);

// The rows to keep on the list: one Filter per row up to the first row
// without a column.
Filters SavedFilters(const QList<FilterRow>& rows);

struct ApplyResult
{
    enum Outcome {
        NotOpen,   // nothing was open to filter; nothing changed
        Applied,   // at least one record passes; the list holds the new rows
        NoRecords, // no record passes: the record set and the list keep what they had
        Rejected,  // the text could not be built or applied; nothing changed
    };
    Outcome Result = NotOpen;
    QString Criteria;
    int RecordCount = 0;
    // Why it was rejected, with the record set's own number and description.
    std::optional<AppError> Error;
};

// Applies the rows to the imported recipients and, when at least one record
// passes, replaces the list's filter rows with them. When no record passes,
// the record set gets its earlier filter back and the list keeps its rows. A
// criteria text the record set refuses (for example a value holding an
// apostrophe) leaves both the record set and the list exactly as they were.
ApplyResult ApplyFilterRows(Recordset& recipients, Filters& listFilters, const QList<FilterRow>& rows);

} // namespace FilterCriteria
