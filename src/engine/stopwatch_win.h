#pragma once
// Microseconds since it was made, on the performance counter: what the timing log measures.

#include <cstdint>
#include <windows.h>

class Stopwatch {
public:
    Stopwatch() noexcept { ::QueryPerformanceCounter(&start_); }
    [[nodiscard]] int64_t Microseconds() const noexcept {
        LARGE_INTEGER now, frequency;
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&frequency);
        return (now.QuadPart - start_.QuadPart) * 1000000 / frequency.QuadPart;
    }

private:
    LARGE_INTEGER start_{};
};
