#pragma once

#include "base/OneBasedCollection.h"
#include "senders/FromAddress.h"

// The sender address book: an ordered collection addressed from 1. The
// position is an entry's only identity (the sender box lists them in order).
// Edit dialogs change an entry in place through Item's reference.
class FromAddresses : public OneBasedCollection<FromAddress, FromAddresses>
{
public:
    static constexpr const char* SourceName = "FromAddresses";
    static constexpr const char* ItemWord = "sender";

    // Creates an entry with the three values and appends it.
    void Add(const QString& name, const QString& eMailAddress, const QString& replyEMailAddress)
    {
        m_items.emplace_back(name, eMailAddress, replyEMailAddress);
    }

    bool operator==(const FromAddresses&) const = default;
};

// The program's one sender book, loaded and saved by the store.
FromAddresses& FromAddressBook();
