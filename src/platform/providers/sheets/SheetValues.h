#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// Cell values as the worksheet readers see them, and the column types the
// record set gets from them.
namespace SheetValues {

enum class Kind : quint8 { Empty, Number, Text, Boolean, Date, Error };

// Collects the kinds of the non-empty cells of one column and picks the column
// type: a column of numbers only is a double, of dates only a date, of
// booleans only a boolean; anything else, an empty column included, is text.
// Mixed columns become text with every value written out, so no cell is lost.
class ColumnGuess
{
public:
    void Add(Kind kind, qsizetype textLength = 0)
    {
        if (kind == Kind::Empty || kind == Kind::Error)
            return;
        m_seen |= 1u << unsigned(kind);
        if (textLength > m_longest)
            m_longest = textLength;
    }
    // Text length matters only for text cells; others count as short.
    bool IsText() const;
    int AdoType() const;
    qint64 DefinedSize() const;

private:
    unsigned m_seen = 0;
    qsizetype m_longest = 0;
};

// Longest text that still fits a short text column.
inline constexpr qsizetype kShortTextLength = 255;
// Defined size reported for long text columns.
inline constexpr qint64 kLongTextSize = 536870910;

// A spreadsheet serial day number as a date and time (1900 or 1904 system).
// Times without a date fall on 1899-12-30. Dates and times here are naive
// (no time zone); they are marked UTC only so that no daylight-saving
// gap can shift them.
QDateTime SerialToDateTime(double serial, bool date1904);

// How a value is written into a text column.
QString NumberText(double value);
QString DateText(const QDateTime& value);
inline QString BooleanText(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

// Whether a number format shows a date or a time: the built-in formats 14-22,
// 27-36, 45-47 and 50-58, or a format code with day, month, year, hour or
// second parts outside quoted text and colour or locale brackets.
bool IsBuiltInDateFormat(int id);
bool IsDateFormatCode(const QString& code);

// Bytes in the Windows-1252 code page as text.
QString DecodeWindows1252(const char* bytes, qsizetype length);

// Names given to columns when the first row holds data, not names.
inline QString GenericColumnName(int position)
{
    return QStringLiteral("F%1").arg(position + 1);
}

} // namespace SheetValues
