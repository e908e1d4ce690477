#pragma once

#include <QString>

// What writing an error report came to. A report that was not written
// leaves any earlier file of that name as it was.
struct ReportResult
{
    bool ok = false;
    QString error;    // why not, when not
    int cutCells = 0; // workbook values cut to the cell's limit
};
