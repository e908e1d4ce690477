#include "merge/MergeValueStore.h"

#include <cstring>

const char16_t* MergeValueStore::Append(const QStringView* values, int count)
{
    std::size_t units = 0;
    for (int i = 0; i < count; ++i)
        units += 2 + std::size_t(values[i].size());

    if (units == 0) {
        static const char16_t none = 0; // a record that takes no values
        return &none;
    }
    char16_t* entry;
    if (units > kBlockUnits / 4) {
        m_oversize.push_back(std::make_unique_for_overwrite<char16_t[]>(units));
        entry = m_oversize.back().get();
    } else {
        if (kBlockUnits - m_used < units) {
            void* memory = HugePageMemory::Allocate(kBlockUnits * sizeof(char16_t));
            Block block(static_cast<char16_t*>(memory));
            m_blocks.push_back(std::move(block));
            m_used = 0;
        }
        entry = m_blocks.back().get() + m_used;
        m_used += units;
    }

    char16_t* out = entry;
    for (int i = 0; i < count; ++i) {
        const auto size = std::uint32_t(values[i].size());
        *out++ = char16_t(size & 0xFFFF);
        *out++ = char16_t(size >> 16);
        if (size)
            std::memcpy(out, values[i].utf16(), size * sizeof(char16_t));
        out += size;
    }
    return entry;
}

void MergeValueStore::Read(const char16_t* entry, int count, QStringView* values)
{
    for (int i = 0; i < count; ++i) {
        const std::uint32_t size = std::uint32_t(entry[0]) | (std::uint32_t(entry[1]) << 16);
        values[i] = QStringView(entry + 2, qsizetype(size));
        entry += 2 + size;
    }
}
