#pragma once

#include <QString>
#include <QStringView>

// How a record set column is named inside the To, Subject and body texts,
// and how the column lists show it.
//
//   named column      «name»            the name exactly as the record set
//                                       reports it, nothing escaped
//   unnamed column    ««[Column n]»»    n its 1-based position
//
// "Column" is string 7 of the table. Markers are matched exactly: case
// counts and blanks are kept.
namespace MergeFields {

inline constexpr QChar MarkerOpen = QChar(0x00AB);  // «
inline constexpr QChar MarkerClose = QChar(0x00BB); // »

// The label of an unnamed column: "[Column n]".
QString UnnamedLabel(int position);

// The marker of the column with this name at this 1-based position. Only an
// empty name counts as unnamed here; a name of blanks is a name.
QString Marker(const QString& fieldName, int position);

// What the column lists show: the name, or the unnamed label when the name
// is empty or only blanks.
QString ColumnLabel(const QString& fieldName, int position);

// Whether a list entry has the form of an unnamed label: "[", the word
// "Column", one blank, any text, "]".
bool IsUnnamedLabel(const QString& entry);

// First occurrence of the marker in the text from `from` on, or -1.
qsizetype Find(QStringView text, QStringView marker, qsizetype from = 0);

// A list entry turned back into a marker: ««entry»» for an unnamed label,
// «entry» for anything else.
QString MarkerForEntry(const QString& entry);

} // namespace MergeFields
