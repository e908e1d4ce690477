#include "recipients/RecipientLists.h"

#include "base/AppError.h"

void RecipientLists::Add(std::shared_ptr<RecipientList> list)
{
    if (!list)
        throw AppError(5, QStringLiteral("RecipientLists"), QStringLiteral("No recipient list to add"));
    m_items.push_back(std::move(list));
}

std::size_t RecipientLists::CheckedIndex(int index) const
{
    if (index < 1 || index > Count())
        throw AppError(9, QStringLiteral("RecipientLists"),
                       QStringLiteral("Subscript out of range: recipient list %1 of %2")
                           .arg(index)
                           .arg(Count()));
    return static_cast<std::size_t>(index - 1);
}

RecipientList& RecipientLists::Item(int index) const
{
    return *m_items[CheckedIndex(index)];
}

std::shared_ptr<RecipientList> RecipientLists::ItemPtr(int index) const
{
    return m_items[CheckedIndex(index)];
}

void RecipientLists::Remove(int index)
{
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(index)));
    m_currentIndex = 0;
}
