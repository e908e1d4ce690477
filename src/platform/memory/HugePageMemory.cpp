#include "platform/memory/HugePageMemory.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace {

std::size_t RoundUp(std::size_t value, std::size_t step)
{
    return (value + step - 1) / step * step;
}

std::size_t SmallPage()
{
    static const std::size_t size = std::size_t(sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

namespace HugePageMemory {

void* Allocate(std::size_t bytes)
{
    const std::size_t length = RoundUp(bytes ? bytes : 1, SmallPage());
    if (length > std::size_t(PTRDIFF_MAX) - kHugePage)
        throw std::bad_alloc();
    // Mapped with room to spare, so that the block can start on a boundary;
    // the spare ends are given back at once.
    const std::size_t mapped = length + kHugePage;
    void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t block = RoundUp(start, kHugePage);
    if (block > start)
        munmap(raw, block - start);
    const std::uintptr_t end = start + mapped;
    if (end > block + length)
        munmap(reinterpret_cast<void*>(block + length), end - (block + length));
    // Only whole huge pages: a partly used one would take 2 MiB for its few
    // bytes. The advice is a hint; without it the block is only slower.
    if (const std::size_t whole = length / kHugePage * kHugePage)
        madvise(reinterpret_cast<void*>(block), whole, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(block);
}

void Free(void* memory, std::size_t bytes) noexcept
{
    if (memory)
        munmap(memory, RoundUp(bytes ? bytes : 1, SmallPage()));
}

} // namespace HugePageMemory
