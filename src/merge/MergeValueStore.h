#pragma once

#include "platform/memory/HugePageMemory.h"

#include <QStringView>

#include <memory>
#include <vector>

// The values the mails of one merge take, one entry per record, packed into
// large blocks: a million mails then cost a few allocations instead of
// several each. An entry is, per value, its length in two 16-bit units and
// its characters. Blocks never move, so an entry stays where it was put for
// as long as the store lives.
class MergeValueStore
{
public:
    // Copies the values into a new entry and returns where it starts.
    const char16_t* Append(const QStringView* values, int count);

    // Points `values` at the `count` values of an entry, in the order given.
    static void Read(const char16_t* entry, int count, QStringView* values);

private:
    // One huge page each: a million mails fill a few hundred MB at once.
    static constexpr std::size_t kBlockUnits = HugePageMemory::kHugePage / sizeof(char16_t);
    struct FreeBlock
    {
        void operator()(char16_t* block) const noexcept
        {
            HugePageMemory::Free(block, kBlockUnits * sizeof(char16_t));
        }
    };

    using Block = std::unique_ptr<char16_t[], FreeBlock>;

    std::vector<Block> m_blocks;
    std::size_t m_used = kBlockUnits; // in the last block
    // Entries above a quarter block, each on its own, so that one long value
    // does not leave most of a block unused.
    std::vector<std::unique_ptr<char16_t[]>> m_oversize;
};
