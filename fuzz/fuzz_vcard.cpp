// Fuzz target: vCards as an address book holds them, each card made into a
// contact row.
#include "FuzzInput.h"
#include "platform/providers/contacts/ContactsColumns.h"
#include "platform/providers/contacts/VCard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput::EnsureApplication();
    const QByteArray document(reinterpret_cast<const char*>(data), qsizetype(size));
    bool truncated = false;
    Recordset rs = ContactsColumns::MakeRecordset();
    for (const VCard& card : VCard::ParseAll(document, &truncated))
        ContactsColumns::AppendRow(rs, ContactsColumns::FromVCard(card));
    FuzzInput::Walk(rs);
    return 0;
}
