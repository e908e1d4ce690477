#include "platform/memory/HugePageMemory.h"

#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace HugePageMemory {

void* Allocate(std::size_t bytes)
{
    // From the C library's heap, so that memory freed there is used again
    // (untouched by nobody, it costs nothing to touch); fresh memory gets
    // the advice below.
    void* block = std::aligned_alloc(kHugePage, bytes ? bytes : 1);
    if (!block)
        throw std::bad_alloc();
    // Only whole huge pages inside the block: the advice is about address
    // ranges, and a neighbour's memory is not ours to advise. It is a hint;
    // without it the block is only slower to touch.
    if (const std::size_t whole = bytes / kHugePage * kHugePage)
        madvise(block, whole, MADV_HUGEPAGE);
    return block;
}

void Free(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

} // namespace HugePageMemory
