#pragma once

#include "platform/recordset/Recordset.h"

#include <QString>
#include <QStringList>

// The worksheet source of the Excel page: an .xls or .xlsx workbook, or a
// delimited text file taken as a workbook of one sheet named after the file.
// The format is told by the file's content, not its name, so a workbook
// saved under the other ending still opens; a file that is neither (a web
// page, a PDF, plain text named .xls) is refused with a description that says
// what it is.
//
// Errors are AppError with WorkbookError numbers and source "Workbook".
class Workbook
{
public:
    enum class Format { Xls, Xlsx, Csv };

    static Format Detect(const QString& path);

    // The worksheet names as the workbook holds them.
    static QStringList SheetNames(const QString& path);

    // The worksheets as the worksheet driver lists them as tables: the name
    // and "$", in single quotes when the name is not a plain word ("Sheet1$",
    // "'My Sheet$'"), in workbook order. The catalog keeps what is left after
    // taking off the quotes and the "$".
    static QStringList ListTables(const QString& path);
    static QString TableName(const QString& sheetName);

    // One sheet as a record set. The sheet may be named as the workbook has
    // it or in the table forms above, with or without the brackets of a
    // source text ("Sheet1", "Sheet1$", "[Sheet1$]", "'My Sheet$'"); an exact
    // match wins over one that ignores case. A text file has one sheet, which
    // any name reaches.
    static Recordset ReadSheet(const QString& path, const QString& sheet, bool header);
    // The same for a preview: a text file gives only its first `rows` rows
    // (CsvReader::ReadFirstRows); a workbook is read whole, its sheets being
    // bounded by the format.
    static Recordset ReadSheetPreview(const QString& path, const QString& sheet, bool header, qint64 rows);

    // The name among `names` that `requested` means; empty when none.
    static QString ResolveSheetName(const QString& requested, const QStringList& names);
};
