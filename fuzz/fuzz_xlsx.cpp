// Fuzz target: an .xlsx workbook, every worksheet read with a header row.
#include "FuzzInput.h"
#include "platform/providers/sheets/XlsxReader.h"
#include "base/AppError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzInput::WriteFile(QStringLiteral("input.xlsx"), data, size);
    try {
        XlsxReader reader(path);
        const QStringList names = reader.SheetNames();
        for (const QString& name : names) {
            try {
                const Recordset rs = reader.ReadSheet(name, true);
                FuzzInput::Walk(rs);
            } catch (const AppError&) {
                // One broken sheet does not stop the others from being read.
            }
        }
    } catch (const AppError&) {
        // A refused workbook is a clean failure.
    }
    return 0;
}
