// Fuzz target: a compound file (the container of an .xls workbook): every
// stream it lists is taken out.
#include "FuzzInput.h"
#include "platform/providers/sheets/XlsCompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput::EnsureApplication();
    const XlsCompoundFile container(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!container.IsValid())
        return 0;
    size_t seen = 0;
    for (const QString& name : container.StreamNames())
        if (const auto stream = container.Stream(name))
            seen += size_t(stream->size());
    return seen == size_t(-1);
}
