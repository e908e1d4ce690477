// Fuzz target: an XML record set document, read from memory.
#include "FuzzInput.h"
#include "platform/providers/xml/XmlRecordsetReader.h"
#include "base/AppError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput::EnsureApplication();
    // A copy, as a document read from a file or the network would be.
    const QByteArray document(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const Recordset rs = XmlRecordsetReader::Read(document);
        FuzzInput::Walk(rs);
    } catch (const AppError&) {
        // A refused document is a clean failure.
    }
    return 0;
}
