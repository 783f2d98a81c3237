#include "sound/wave_memory.h"

#include <atomic>
#include <cstdlib>

namespace wave_memory {
namespace {

std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_failCountdown{0};

// True when this allocation is the one a test asked to fail.
bool FailThisOne() noexcept {
    int64_t left = g_failCountdown.load();
    while (left > 0) {
        if (g_failCountdown.compare_exchange_weak(left, left - 1))
            return left == 1;
    }
    return false;
}

} // namespace

void* Allocate(std::size_t bytes) noexcept {
    if (FailThisOne())
        return nullptr;
    void* memory = std::calloc(bytes > 0 ? bytes : 1, 1);
    if (memory != nullptr)
        g_live.fetch_add(1);
    return memory;
}

void Free(void* memory) noexcept {
    if (memory == nullptr)
        return;
    std::free(memory);
    g_live.fetch_sub(1);
}

int64_t Live() noexcept {
    return g_live.load();
}

void FailNth(int64_t n) noexcept {
    g_failCountdown.store(n > 0 ? n : 0);
}

} // namespace wave_memory
