#pragma once

#include "base/AppError.h"

#include <vector>

// An ordered collection addressed from 1, as the program's collections are.
// Derived names itself for errors through SourceName and ItemWord.
template <typename T, typename Derived>
class OneBasedCollection
{
public:
    using const_iterator = typename std::vector<T>::const_iterator;
    using iterator = typename std::vector<T>::iterator;

    // The item at a 1-based position; AppError 9 outside 1..Count. The
    // reference holds until the collection changes.
    const T& Item(int index) const { return m_items[CheckedIndex(index)]; }
    T& Item(int index) { return m_items[CheckedIndex(index)]; }

    int Count() const { return static_cast<int>(m_items.size()); }

    // Removes the item at a 1-based position; later items move up by one.
    // AppError 9 outside 1..Count.
    void Remove(int index)
    {
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(index)));
    }

    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }
    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }

    bool operator==(const OneBasedCollection&) const = default;

protected:
    std::vector<T> m_items;

private:
    std::size_t CheckedIndex(int index) const
    {
        if (index < 1 || index > Count())
            throw AppError(9, QString::fromLatin1(Derived::SourceName),
                           QStringLiteral("Subscript out of range: %1 %2 of %3")
                               .arg(QLatin1String(Derived::ItemWord))
                               .arg(index)
                               .arg(Count()));
        return static_cast<std::size_t>(index - 1);
    }
};
