#pragma once

#include "delivery/ReportResult.h"

#include <QList>
#include <QStringList>

class Recordset;

// The send error log as delimited text: every value between two
// qualifiers, the delimiter between values, an optional header line of the
// field names, lines separated by CR LF and none after the last. A
// qualifier inside a value is doubled, so values holding the delimiter,
// the qualifier or line breaks read back whole; without a qualifier values
// are written bare.
namespace TextReport {

struct Format
{
    QString Delimiter;
    QString Qualifier;
    bool FirstRowIsColumns = false;
};

// The text of the names and rows, as the format dialog's preview shows it.
QString Text(const QStringList& names, const QList<QStringList>& rows, const Format& format);

// The whole log written as UTF-8 with a byte-order mark (so that
// spreadsheets know the encoding); the file is replaced in one step.
ReportResult Write(const Recordset& log, const QString& path, const Format& format);

} // namespace TextReport
