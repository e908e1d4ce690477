#pragma once

#include "recipients/RecipientList.h"

#include <memory>
#include <vector>

// All saved recipient-list definitions, addressed from 1. Elements are
// shared so that the wizard can edit the very element of the collection
// (and a new, unattached list before it is added).
class RecipientLists
{
public:
    using const_iterator = std::vector<std::shared_ptr<RecipientList>>::const_iterator;

    // Appends at the end; AppError 5 for a null list.
    void Add(std::shared_ptr<RecipientList> list);

    // The element at a 1-based position; AppError 9 outside 1..Count.
    RecipientList& Item(int index) const;
    // The same element as a shared handle, for keeping it under edit.
    std::shared_ptr<RecipientList> ItemPtr(int index) const;

    int Count() const { return static_cast<int>(m_items.size()); }

    // Removes the element at a 1-based position (later ones move up) and
    // resets CurrentIndex to 0; AppError 9 outside 1..Count, with nothing
    // changed.
    void Remove(int index);

    // Elements in order, as shared handles.
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }

    // Position of the list being imported, edited or filtered; 0 is none.
    // Kept as set: a stale position is caught when it is used with Item.
    qint32 CurrentIndex() const { return m_currentIndex; }
    void SetCurrentIndex(qint32 index) { m_currentIndex = index; }

private:
    std::size_t CheckedIndex(int index) const;

    std::vector<std::shared_ptr<RecipientList>> m_items;
    qint32 m_currentIndex = 0;
};
