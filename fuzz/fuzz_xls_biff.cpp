// Fuzz target: the workbook stream of an .xls file, its BIFF records: every
// worksheet read with a header row. The fuzzer works on bare streams; a
// whole .xls file (as CTest replays the test files) has its stream taken out
// first.
#include "FuzzInput.h"
#include "base/AppError.h"
#include "platform/providers/sheets/SheetTable.h"
#include "platform/providers/sheets/XlsBiff.h"
#include "platform/providers/sheets/XlsCompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput::EnsureApplication();
    QByteArray stream(reinterpret_cast<const char*>(data), qsizetype(size));
    if (XlsCompoundFile::HasSignature(stream)) {
        const XlsCompoundFile container(stream);
        auto workbook = container.Stream(QStringLiteral("Workbook"));
        if (!workbook)
            workbook = container.Stream(QStringLiteral("Book"));
        if (!workbook)
            return 0;
        stream = std::move(*workbook);
    }
    const XlsBiff records(std::move(stream));
    for (const QString& name : records.SheetNames()) {
        try {
            const Recordset rs = SheetTable::FromTwoPasses(
                true, [&](SheetCellSink& sink) { records.ReadCells(name, sink); });
            FuzzInput::Walk(rs);
        } catch (const AppError&) {
            // A sheet too large to read is a clean failure.
        }
    }
    return 0;
}
