#pragma once

#include <cstddef>
#include <memory>
#include <new>

// Memory for the large blocks that a big list or merge fills at once. Fresh
// memory costs most when it is first touched, page by page; where the system
// gives huge pages only to memory that asks for them (transparent huge pages
// in "madvise" mode), a block that starts on a 2 MiB boundary and asks is
// touched several times faster, and the rest of the program is left alone.
namespace HugePageMemory {

inline constexpr std::size_t kHugePage = std::size_t(2) << 20;

// `bytes` of memory starting on a 2 MiB boundary, each whole 2 MiB page of
// it asked for as a huge page (a system that does not offer them gives
// ordinary pages). Throws std::bad_alloc when there is no memory.
void* Allocate(std::size_t bytes);
// Gives back memory from Allocate, with the size that was asked for.
void Free(void* memory, std::size_t bytes) noexcept;

} // namespace HugePageMemory

// For containers that may grow large: requests of a huge page or more come
// from HugePageMemory, smaller ones from the heap as usual.
template <class T>
class HugePageAllocator
{
public:
    using value_type = T;

    HugePageAllocator() noexcept = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t count)
    {
        if (count > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        if (count * sizeof(T) < HugePageMemory::kHugePage)
            return std::allocator<T>().allocate(count);
        return static_cast<T*>(HugePageMemory::Allocate(count * sizeof(T)));
    }

    void deallocate(T* memory, std::size_t count) noexcept
    {
        if (count * sizeof(T) < HugePageMemory::kHugePage)
            std::allocator<T>().deallocate(memory, count);
        else
            HugePageMemory::Free(memory, count * sizeof(T));
    }

    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept
    {
        return true;
    }
};
