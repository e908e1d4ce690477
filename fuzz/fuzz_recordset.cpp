// Fuzz target: a record set in its binary persistence form, as the store
// files hold it. Whatever is read must be written and read back the same.
#include "FuzzInput.h"
#include "base/AppError.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    Recordset rs;
    try {
        rs = Recordset::FromPersisted(bytes);
    } catch (const AppError&) {
        return 0; // refused: a clean failure
    }
    FuzzInput::Walk(rs);
    // An error from here on is the writer and the reader disagreeing, which
    // must end the run.
    const QByteArray written = rs.Persist();
    if (Recordset::FromPersisted(written).Persist() != written)
        abort();
    return 0;
}
