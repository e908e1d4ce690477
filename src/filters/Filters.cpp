#include "filters/Filters.h"

#include "shell/AppError.h"

void Filters::Add(const Filter& filter)
{
    m_items.push_back(filter);
}

std::size_t Filters::CheckedIndex(int index) const
{
    if (index < 1 || index > Count())
        throw AppError(9, QStringLiteral("Filters"),
                       QStringLiteral("Subscript out of range: filter row %1 of %2")
                           .arg(index)
                           .arg(Count()));
    return static_cast<std::size_t>(index - 1);
}

const Filter& Filters::Item(int index) const
{
    return m_items[CheckedIndex(index)];
}

Filter& Filters::Item(int index)
{
    return m_items[CheckedIndex(index)];
}

void Filters::Remove(int index)
{
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(index)));
}
