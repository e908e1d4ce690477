// Fuzz target: a delimited text file read with a header row.
#include "FuzzInput.h"
#include "platform/providers/sheets/CsvReader.h"
#include "base/AppError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzInput::WriteFile(QStringLiteral("input.csv"), data, size);
    try {
        const Recordset rs = CsvReader::Read(path, true);
        FuzzInput::Walk(rs);
    } catch (const AppError&) {
        // A refused file is a clean failure.
    }
    return 0;
}
