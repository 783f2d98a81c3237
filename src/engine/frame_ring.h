#pragma once
// The hand-over between the grabber (timer thread) and the writer (user-interface thread), and the
// frame clock. Nothing here locks: each slot's filled flag passes the slot from one side to the
// other, and the frame counter only moves by atomic read-modify-writes.

#include <array>
#include <atomic>
#include <cstdint>

namespace abort_code {
inline constexpr int32_t TooManyDropped = -10;
inline constexpr int32_t SoundWriteFailed = -100;
inline constexpr int32_t VideoWriteFailed = -1000;
inline constexpr int32_t FormatRefused = -2000;
// The movie's counts or indexes are full: it is complete, and the recording ends there.
inline constexpr int32_t MovieFull = -3000;
} // namespace abort_code

// Stream positions used so far, or the abort code that ended the recording. Once an abort code
// is stored it stays: advances leave it alone and a later abort does not replace it.
class FrameCounter {
public:
    [[nodiscard]] int32_t Load() const noexcept { return value_.load(); }
    [[nodiscard]] bool Aborted() const noexcept { return Load() < 0; }
    // Moves the counter up to `next` unless it is already there or aborted.
    bool AdvanceTo(int32_t next) noexcept;
    // Stores the code unless an abort is already stored; true when this call stored it, so that
    // exactly one caller asks for the stop.
    bool Abort(int32_t code) noexcept;
    void Reset() noexcept { value_.store(0); }

private:
    std::atomic<int32_t> value_{0};
};

class FrameRing {
public:
    // A ring holds at least this many frames, and at most kMaxSlots.
    static constexpr int kSlots = 5;
    static constexpr int kMaxSlots = 32;

    // Empty, with `slots` places (brought within kSlots to kMaxSlots).
    void Reset(int slots = kSlots) noexcept;
    [[nodiscard]] int Slots() const noexcept { return slots_; }

    // Grabber side. The slot after the last one filled, or -1 when it still waits for the writer.
    [[nodiscard]] int FreeSlot() const noexcept;
    // Hands a captured frame to the writer; `slot` must come from FreeSlot.
    void Publish(int slot, int32_t position) noexcept;

    // Writer side. The oldest filled slot, or -1 when none is waiting.
    [[nodiscard]] int NextFilled() noexcept;
    [[nodiscard]] int32_t Position(int slot) const noexcept { return position_[slot]; }
    // Gives a slot back to the grabber once its frame has been written or thrown away.
    void Release(int slot) noexcept;

    [[nodiscard]] int Waiting() const noexcept;

private:
    int slots_ = kSlots;
    std::array<std::atomic<int32_t>, kMaxSlots> filled_{};
    std::array<int32_t, kMaxSlots> position_{};
    int writeSlot_ = -1; // grabber only
    int readSlot_ = -1;  // writer only
};

// How many frames the ring between grabber and writer holds: enough for about two seconds at the
// rate (a key frame, a slow flush or a stalled disk is absorbed rather than dropped), within
// `budgetBytes` of frame memory, and never fewer than the ring's minimum.
[[nodiscard]] int RingSlotsFor(int64_t frameBytes, double frameRate, int64_t budgetBytes) noexcept;

// Gives each captured frame its stream position from the clock, so the movie keeps real time
// although the timer period is whole milliseconds (15 frames per second tick every 67 ms, not
// 66.67). A position that fell due without a tick is skipped; a tick that comes before its
// position is due is not used. Owned by whichever thread captures: the timer thread while
// recording, the user-interface thread for single frames while the timer does not record.
class FrameSchedule {
public:
    enum class Verdict { Capture, TooEarly };

    void Start(double frameRate) noexcept;
    // The next tick continues right after the last position (after a pause).
    void Rebase() noexcept { rebase_.store(true); }

    // For a tick at `nowMs` (a wrapping millisecond clock): the position of its frame.
    Verdict Next(uint32_t nowMs, int32_t& position) noexcept;
    // A frame taken on demand takes the next position whatever the clock says.
    int32_t NextInSequence() noexcept;

    [[nodiscard]] int32_t Skipped() const noexcept { return skipped_.load(); }
    [[nodiscard]] int32_t Last() const noexcept { return last_.load(); }

private:
    double frameRate_ = 1.0;
    uint32_t baseMs_ = 0;
    std::atomic<bool> rebase_{true};
    std::atomic<int32_t> last_{-1};
    std::atomic<int32_t> skipped_{0};
};

// Counts dropped frames and decides when the writer has fallen hopelessly behind: more than half
// of the positions ticked so far dropped. Frames still waiting in the ring count as positions,
// so a slow start of the compressor does not end a recording.
class DropLimit {
public:
    void Reset() noexcept;
    // A tick whose frame was handed over.
    void Captured() noexcept { ticks_.fetch_add(1); }
    // A tick that found the ring full; true when the limit is now exceeded.
    bool Dropped() noexcept;
    [[nodiscard]] int32_t DroppedFrames() const noexcept { return dropped_.load(); }

private:
    std::atomic<int32_t> ticks_{0};
    std::atomic<int32_t> dropped_{0};
};
