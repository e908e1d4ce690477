// Fuzz target: a mail profile's prefs.js, read for the profile's outgoing
// server and the address books it names.
#include "FuzzInput.h"
#include "platform/providers/contacts/ContactsCatalog.h"
#include "platform/providers/contacts/ThunderbirdPrefs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput::WriteFile(QStringLiteral("prefs.js"), data, size);
    const QString profile = FuzzInput::PrivateFolder();
    const ThunderbirdPrefs prefs = ThunderbirdPrefs::Load(profile);
    prefs.DefaultSmtpServer();
    prefs.DefaultSmtpUsername();
    for (auto it = prefs.Values().cbegin(); it != prefs.Values().cend(); ++it)
        prefs.Text(it.key());
    AddressBooks::OfProfileFolder(profile);
    return 0;
}
