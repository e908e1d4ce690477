#pragma once

#include "senders/FromAddress.h"

#include <vector>

// The sender address book: an ordered collection addressed from 1. The
// position is an entry's only identity (the sender box lists them in order).
class FromAddresses
{
public:
    using const_iterator = std::vector<FromAddress>::const_iterator;
    using iterator = std::vector<FromAddress>::iterator;

    // Creates an entry with the three values and appends it.
    void Add(const QString& name, const QString& eMailAddress, const QString& replyEMailAddress);

    // The entry at a 1-based position; AppError 9 outside 1..Count. Edit
    // dialogs change the entry in place through the reference, which holds
    // until the collection changes.
    const FromAddress& Item(int index) const;
    FromAddress& Item(int index);

    int Count() const { return static_cast<int>(m_items.size()); }

    // Removes the entry at a 1-based position; AppError 9 outside 1..Count.
    void Remove(int index);

    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }
    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }

    bool operator==(const FromAddresses&) const = default;

private:
    std::size_t CheckedIndex(int index) const;

    std::vector<FromAddress> m_items;
};
