#include "sound/capture_clock.h"

#include <algorithm>

namespace {

// The clock wraps every 49.7 days; spans are read across the wrap.
int64_t Span(uint32_t fromMs, uint32_t toMs) noexcept {
    return static_cast<int32_t>(toMs - fromMs);
}

} // namespace

void CaptureClock::Start(uint32_t startedMs) noexcept {
    startedMs_ = startedMs;
    earliestAfterStartMs_ = 0;
    known_ = false;
}

void CaptureClock::Observe(uint32_t atMs, int64_t samples) noexcept {
    if (samples <= 0 || rate_ == 0)
        return;
    const int64_t lasted = samples * 1000 / rate_;
    const int64_t first = std::max<int64_t>(0, Span(startedMs_, atMs) - lasted);
    earliestAfterStartMs_ = known_ ? std::min(earliestAfterStartMs_, first) : first;
    known_ = true;
}

uint32_t CaptureClock::FirstSampleMs() const noexcept {
    return startedMs_ + static_cast<uint32_t>(earliestAfterStartMs_);
}

int64_t SamplesBetween(uint32_t fromMs, uint32_t toMs, uint32_t samplesPerSec) noexcept {
    return std::max<int64_t>(0, Span(fromMs, toMs)) * samplesPerSec / 1000;
}

RunAlignment AlignRun(uint32_t firstSampleMs, uint32_t pictureMs, uint32_t samplesPerSec) noexcept {
    RunAlignment a;
    a.drop = SamplesBetween(firstSampleMs, pictureMs, samplesPerSec);
    a.silence = SamplesBetween(pictureMs, firstSampleMs, samplesPerSec);
    return a;
}
