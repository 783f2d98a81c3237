#pragma once
// What a step of the recording costs, summed over a take: how often it ran, its mean and its
// worst, in microseconds. Benchmarks read it from the timing log; the recording never waits on it.

#include <atomic>
#include <cstdint>
#include <string>

class CostMeter {
public:
    // Safe from the timer's thread and the window's at once: each figure is its own atomic, and
    // a reader at the stop sees them after both have finished.
    void Add(int64_t microseconds) noexcept {
        count_.fetch_add(1, std::memory_order_relaxed);
        total_.fetch_add(microseconds, std::memory_order_relaxed);
        int64_t worst = worst_.load(std::memory_order_relaxed);
        while (microseconds > worst &&
               !worst_.compare_exchange_weak(worst, microseconds, std::memory_order_relaxed)) {
        }
    }
    [[nodiscard]] int64_t Count() const noexcept { return count_.load(); }
    [[nodiscard]] double MeanMs() const noexcept {
        const int64_t n = count_.load();
        return n == 0 ? 0.0 : static_cast<double>(total_.load()) / 1000.0 / static_cast<double>(n);
    }
    [[nodiscard]] double WorstMs() const noexcept {
        return static_cast<double>(worst_.load()) / 1000.0;
    }
    // "NAME N MEAN_MS WORST_MS"
    [[nodiscard]] std::string Describe(const char* name) const;

private:
    std::atomic<int64_t> count_{0};
    std::atomic<int64_t> total_{0};
    std::atomic<int64_t> worst_{0};
};
