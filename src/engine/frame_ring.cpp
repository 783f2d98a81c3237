#include "engine/frame_ring.h"

#include <algorithm>
#include <cmath>

bool FrameCounter::AdvanceTo(int32_t next) noexcept {
    int32_t current = value_.load();
    while (current >= 0 && current < next) {
        if (value_.compare_exchange_weak(current, next))
            return true;
    }
    return false;
}

bool FrameCounter::Abort(int32_t code) noexcept {
    int32_t current = value_.load();
    while (current >= 0) {
        if (value_.compare_exchange_weak(current, code))
            return true;
    }
    return false;
}

void FrameRing::Reset(int slots) noexcept {
    slots_ = std::clamp(slots, kSlots, kMaxSlots);
    for (auto& f : filled_)
        f.store(0);
    position_.fill(0);
    writeSlot_ = -1;
    readSlot_ = -1;
}

int FrameRing::FreeSlot() const noexcept {
    const int slot = (writeSlot_ + 1) % slots_;
    return filled_[slot].load(std::memory_order_acquire) ? -1 : slot;
}

void FrameRing::Publish(int slot, int32_t position) noexcept {
    position_[slot] = position;
    writeSlot_ = slot;
    filled_[slot].store(1, std::memory_order_release);
}

int FrameRing::NextFilled() noexcept {
    // The grabber fills strictly in ring order and never passes a slot, so the oldest frame is
    // always in the slot after the last one read. Scanning further could meet a younger frame
    // that was published while an older one was still being finished.
    const int slot = (readSlot_ + 1) % slots_;
    if (!filled_[slot].load(std::memory_order_acquire))
        return -1;
    readSlot_ = slot;
    return slot;
}

void FrameRing::Release(int slot) noexcept {
    filled_[slot].store(0, std::memory_order_release);
}

int FrameRing::Waiting() const noexcept {
    int n = 0;
    for (const auto& f : filled_)
        n += f.load(std::memory_order_acquire) ? 1 : 0;
    return n;
}

int RingSlotsFor(int64_t frameBytes, double frameRate, int64_t budgetBytes) noexcept {
    const double seconds = frameRate > 0 ? 2 * frameRate : 0;
    const int64_t byTime = static_cast<int64_t>(std::min<double>(seconds, FrameRing::kMaxSlots));
    const int64_t byMemory = frameBytes > 0 ? budgetBytes / frameBytes : FrameRing::kMaxSlots;
    return static_cast<int>(
        std::clamp<int64_t>(std::min(byTime, byMemory), FrameRing::kSlots, FrameRing::kMaxSlots));
}

void FrameSchedule::Start(double frameRate) noexcept {
    frameRate_ = frameRate > 0 ? frameRate : 1.0;
    baseMs_ = 0;
    rebase_.store(true);
    last_.store(-1);
    skipped_.store(0);
}

FrameSchedule::Verdict FrameSchedule::Next(uint32_t nowMs, int32_t& position) noexcept {
    const int32_t last = last_.load();
    if (rebase_.exchange(false)) {
        // Place the clock so that this tick is due at the position after the last one.
        const double offset = (last + 2) * 1000.0 / frameRate_;
        baseMs_ = nowMs - static_cast<uint32_t>(std::llround(offset));
        position = last + 1;
        last_.store(position);
        return Verdict::Capture;
    }
    const uint32_t elapsed = nowMs - baseMs_; // wraps with the clock
    const auto due = static_cast<int64_t>(std::llround(elapsed * frameRate_ / 1000.0)) - 1;
    if (due <= last)
        return Verdict::TooEarly;
    const int32_t next = due > INT32_MAX ? INT32_MAX : static_cast<int32_t>(due);
    skipped_.fetch_add(next - last - 1);
    position = next;
    last_.store(position);
    return Verdict::Capture;
}

int32_t FrameSchedule::NextInSequence() noexcept {
    const int32_t position = last_.load() + 1;
    last_.store(position);
    rebase_.store(true);
    return position;
}

void DropLimit::Reset() noexcept {
    ticks_.store(0);
    dropped_.store(0);
}

bool DropLimit::Dropped() noexcept {
    const int32_t ticks = ticks_.fetch_add(1) + 1;
    const int32_t dropped = dropped_.fetch_add(1) + 1;
    return 2 * static_cast<int64_t>(dropped) > ticks;
}
