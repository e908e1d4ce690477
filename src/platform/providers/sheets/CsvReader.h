#pragma once

#include "platform/recordset/Recordset.h"

#include <QString>

// A delimited text file (.csv, .tsv, .txt) read as a workbook of one sheet:
// encoding and delimiter as CsvFormat finds them, the first row as column
// names when the file has a header row (F1, F2, ... otherwise), and one type
// per column as for worksheets. A column is only made a number, date or
// boolean column when every value in it converts without loss: "08123",
// "+4930123456", "1e5" and numbers of more than 15 digits stay text, and so
// does every column that holds anything else.
//
// The file streams from disk: the first rows give the column types, then the
// whole file fills the record set while every value is checked against them;
// only a value that does not fit sends it through a full scan and a second
// load. Memory holds the rows and little else. Blank lines are no rows;
// short rows are filled with Nulls.
class CsvReader
{
public:
    // Beyond these the file is refused rather than read without bound.
    static constexpr int kMaxColumns = 16384;
    static constexpr qsizetype kMaxFieldBytes = qsizetype(64) << 20;

    static Recordset Read(const QString& path, bool header);
    // Only the first `rows` rows, typed by those rows alone; the rest of the
    // file is not read. For previews of large files.
    static Recordset ReadFirstRows(const QString& path, bool header, qint64 rows);
};
