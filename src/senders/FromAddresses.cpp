#include "senders/FromAddresses.h"

#include "shell/AppError.h"

void FromAddresses::Add(const QString& name, const QString& eMailAddress,
                        const QString& replyEMailAddress)
{
    m_items.emplace_back(name, eMailAddress, replyEMailAddress);
}

std::size_t FromAddresses::CheckedIndex(int index) const
{
    if (index < 1 || index > Count())
        throw AppError(9, QStringLiteral("FromAddresses"),
                       QStringLiteral("Subscript out of range: sender %1 of %2")
                           .arg(index)
                           .arg(Count()));
    return static_cast<std::size_t>(index - 1);
}

const FromAddress& FromAddresses::Item(int index) const
{
    return m_items[CheckedIndex(index)];
}

FromAddress& FromAddresses::Item(int index)
{
    return m_items[CheckedIndex(index)];
}

void FromAddresses::Remove(int index)
{
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(index)));
}
