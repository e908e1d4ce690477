// Fuzz target: a store file as the program loads it at start: the envelope,
// the property bag and the table in it, taken into the saved lists, their
// filter rows and the sender book, which are saved again on leaving.
#include "FuzzInput.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // All three table files hold the input, so that whichever table it is
    // reaches its own loader.
    const QString folder = FuzzInput::PrivateFolder() + QStringLiteral("/1.3/");
    QDir().mkpath(folder);
    for (int kind = 0; kind < 3; ++kind)
        FuzzInput::WriteFile(QStringLiteral("1.3/") + DataStore::FileName(kind), data, size);
    {
        RecipientLists lists;
        FromAddresses senders;
        DataStore store(lists, senders, folder, [](const AppError&) {});
        store.Load();
    }
    // Every damaged file is copied aside; the next input starts without them.
    QDir dir(folder);
    for (const QString& copy : dir.entryList({QStringLiteral("*.bak")}, QDir::Files))
        dir.remove(copy);
    return 0;
}
