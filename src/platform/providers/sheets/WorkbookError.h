#pragma once

#include "base/AppError.h"

// Errors of the worksheet and text file readers. The numbers are those the
// worksheet driver used for the same failures, so callers that switch on them
// keep working.
namespace WorkbookError {

enum : long {
    SheetNotFound = 3011,  // no worksheet of that name
    FileNotFound = 3024,   // no such file, or it cannot be opened
    Encrypted = 3031,      // protected by a password
    TooLarge = 3035,       // beyond what the reader accepts
    NotWorkbook = 3274,    // not in a format the reader knows
    Damaged = 3343,        // the right format, but broken or cut short
};

inline const QString Source = QStringLiteral("Workbook");

[[noreturn]] inline void Raise(long number, const QString& description)
{
    throw AppError(number, Source, description);
}

} // namespace WorkbookError
