#pragma once

// Memory for sound: capture buffers, their device headers, blocks and the block list's nodes.
// Running out shows as a null pointer, never as an exception, and what is live is counted, so
// the capture can end cleanly when memory runs out and tests can prove that nothing leaks.

#include <cstddef>
#include <cstdint>
#include <new>

namespace wave_memory {

// Zeroed memory, or null. Zero bytes still gives a distinct block.
[[nodiscard]] void* Allocate(std::size_t bytes) noexcept;
// Null is ignored.
void Free(void* memory) noexcept;
// Allocations not yet freed.
[[nodiscard]] int64_t Live() noexcept;

// For tests: the n-th allocation from now on fails (1: the very next one); 0 lets all succeed.
void FailNth(int64_t n) noexcept;

// A standard allocator over the functions above, for containers of sound data.
template <class T> struct Allocator {
    using value_type = T;
    Allocator() noexcept = default;
    template <class U> Allocator(const Allocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        void* memory = Allocate(n * sizeof(T));
        if (memory == nullptr)
            throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t) noexcept { Free(memory); }
    template <class U> bool operator==(const Allocator<U>&) const noexcept { return true; }
};

} // namespace wave_memory
