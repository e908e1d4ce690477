#include "platform/memory/HugePageMemory.h"

#include <cstdlib>

#include <sys/mman.h>

namespace HugePageMemory {

void* Allocate(std::size_t bytes)
{
    // From the C library's heap, so that memory freed there is used again
    // (it costs nothing more to touch); fresh memory gets the advice below.
    // aligned_alloc would want a size that is a multiple of 2 MiB.
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, bytes ? bytes : 1) != 0)
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
