#pragma once

// What a recording knows about its sound's start: whether it records sound at all, how its
// device fared, and the moment each run's first frame was taken, which the grabber notes on the
// timer thread and the session loop hands to the sound writer. One per recording.

#include <atomic>
#include <cstdint>
#include <optional>

class SoundStart {
public:
    // Sound as RecordSound was when the recording started, in buffers of `bufferBytes`.
    void Reset(bool wanted, int32_t bufferBytes) noexcept {
        wanted_ = wanted;
        bufferBytes_ = bufferBytes;
        started_ = failed_ = cut_ = false;
        momentWanted_.store(false);
        momentNoted_.store(false);
        positionBase_ = 0;
    }

    [[nodiscard]] bool Wanted() const noexcept { return wanted_; }
    [[nodiscard]] int32_t BufferBytes() const noexcept { return bufferBytes_; }

    // The device ran at some time; it could not be opened or started at the recording's start;
    // it stopped giving sound part-way (a restart refused, memory run out).
    void DeviceRan() noexcept { started_ = true; }
    void DeviceFailed() noexcept { failed_ = true; }
    void SoundCut() noexcept { cut_ = true; }
    [[nodiscard]] bool Ran() const noexcept { return started_; }
    // The movie has no sound although sound was asked for.
    [[nodiscard]] bool NeverStarted() const noexcept { return wanted_ && failed_ && !started_; }
    // The movie's sound stops short of its picture, or has a run of silence for a device that
    // would not go on.
    [[nodiscard]] bool Cut() const noexcept { return wanted_ && started_ && cut_; }

    // Where the device's own count of captured samples stood when the current run started.
    void SetPositionBase(int64_t samples) noexcept { positionBase_ = samples; }
    [[nodiscard]] int64_t PositionBase() const noexcept { return positionBase_; }

    // The next frame taken begins a run's picture; or no longer (a pause came first).
    void WantMoment() noexcept {
        momentNoted_.store(false);
        momentWanted_.store(true);
    }
    void CancelMoment() noexcept { momentWanted_.store(false); }
    // Timer thread: a frame taken at `ms` is going into the movie at `position`.
    void NoteFrameTaken(uint32_t ms, int32_t position) noexcept {
        if (momentWanted_.exchange(false)) {
            momentMs_.store(ms);
            momentPosition_.store(position);
            momentNoted_.store(true);
        }
    }
    struct Moment {
        uint32_t ms = 0;
        int32_t position = 0;
    };
    // The moment noted since the last call, once.
    [[nodiscard]] std::optional<Moment> TakeMoment() noexcept {
        if (!momentNoted_.exchange(false))
            return std::nullopt;
        return Moment{momentMs_.load(), momentPosition_.load()};
    }

private:
    bool wanted_ = false;
    int32_t bufferBytes_ = 0;
    bool started_ = false;
    bool failed_ = false;
    bool cut_ = false;
    int64_t positionBase_ = 0;
    std::atomic<bool> momentWanted_{false};
    std::atomic<bool> momentNoted_{false};
    std::atomic<uint32_t> momentMs_{0};
    std::atomic<int32_t> momentPosition_{0};
};
