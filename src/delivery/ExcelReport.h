#pragma once

#include "delivery/ReportResult.h"

class Recordset;

// The send error log as a workbook (libxlsxwriter) with one sheet "Report":
// the field names in a bold heading row on grey, one row per failure in
// log order, the AutoFilter on the headings and every column as wide as its
// longest line. The file is replaced in one step.
class ExcelReport
{
public:
    // A sheet holds 1,048,576 rows; the first is the heading.
    static constexpr int MaxRows = 1048575;
    // A cell holds at most this many characters; longer values are cut
    // there and counted.
    static constexpr int MaxCellChars = 32767;

    static ReportResult Write(const Recordset& log, const QString& path);
};
