#pragma once

// Where a run of the wave input lies on the millisecond clock (timeGetTime's), and how its sound
// meets the picture of the same run.
//
// A device does not begin capturing the moment it is started: measured under Wine's PulseAudio
// driver, it begins some 0.2 to 0.7 s later, and what played meanwhile is never captured. So the
// moment of a run's first sample is taken from what the device reports afterwards: by a given
// moment it had captured so many samples, so its first sample came at most that long before.
// Every report only ever comes late, never early, so the earliest moment any report allows is the
// best estimate.

#include <cstdint>

class CaptureClock {
public:
    explicit CaptureClock(uint32_t samplesPerSec = 11025) noexcept : rate_(samplesPerSec) {}

    // The device was started at `startedMs`; forgets every earlier report.
    void Start(uint32_t startedMs) noexcept;
    // By `atMs` the run had captured `samples` (0 and less tell nothing).
    void Observe(uint32_t atMs, int64_t samples) noexcept;
    // Some report has placed the run.
    [[nodiscard]] bool Known() const noexcept { return known_; }
    // The estimated moment of the run's first sample; never before the start.
    [[nodiscard]] uint32_t FirstSampleMs() const noexcept;

private:
    uint32_t rate_;
    uint32_t startedMs_ = 0;
    int64_t earliestAfterStartMs_ = 0; // of the first sample, from the start
    bool known_ = false;
};

// How a run's sound meets its picture, which began at `pictureMs`: the run's first `drop`
// samples were captured before the picture began and are left out, or the device began after it
// and `silence` samples put its sound in place. At most one of the two is above 0.
struct RunAlignment {
    int64_t drop = 0;
    int64_t silence = 0;
};
[[nodiscard]] RunAlignment AlignRun(uint32_t firstSampleMs, uint32_t pictureMs,
                                    uint32_t samplesPerSec) noexcept;
// Samples in the span from `fromMs` to `toMs` (0 when it runs backwards).
[[nodiscard]] int64_t SamplesBetween(uint32_t fromMs, uint32_t toMs,
                                     uint32_t samplesPerSec) noexcept;
