#pragma once

#include "filters/Filter.h"
#include "base/OneBasedCollection.h"

// The ordered filter rows of one recipient list, addressed from 1. Rows are
// never edited in place by the program: a confirmed filter replaces the
// whole collection.
class Filters : public OneBasedCollection<Filter, Filters>
{
public:
    static constexpr const char* SourceName = "Filters";
    static constexpr const char* ItemWord = "filter row";

    // Appends at the end.
    void Add(const Filter& filter) { m_items.push_back(filter); }

    bool operator==(const Filters&) const = default;
};
