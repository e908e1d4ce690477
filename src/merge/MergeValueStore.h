#pragma once

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
    static constexpr std::size_t kBlockUnits = std::size_t(1) << 20; // 2 MB

    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    std::size_t m_used = kBlockUnits; // in the last block
    // Entries above a quarter block, each on its own, so that one long value
    // does not leave most of a block unused.
    std::vector<std::unique_ptr<char16_t[]>> m_oversize;
};
