#pragma once

#include "filters/Filter.h"

#include <vector>

// The ordered filter rows of one recipient list, addressed from 1. Rows are
// never edited in place by the program: a confirmed filter replaces the
// whole collection.
class Filters
{
public:
    using const_iterator = std::vector<Filter>::const_iterator;
    using iterator = std::vector<Filter>::iterator;

    // Appends at the end.
    void Add(const Filter& filter);

    // The row at a 1-based position; AppError 9 outside 1..Count. The
    // reference holds until the collection changes.
    const Filter& Item(int index) const;
    Filter& Item(int index);

    int Count() const { return static_cast<int>(m_items.size()); }

    // Removes the row at a 1-based position; later rows move up by one.
    // AppError 9 outside 1..Count.
    void Remove(int index);

    // Rows in order, for a range-for loop.
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }
    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }

    bool operator==(const Filters&) const = default;

private:
    std::size_t CheckedIndex(int index) const;

    std::vector<Filter> m_items;
};
