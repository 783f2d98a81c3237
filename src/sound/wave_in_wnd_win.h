#pragma once

// The hidden "Wave Wnd" window that owns the wave input device. The device is opened with window
// notification, so every buffer it fills comes back as MM_WIM_DATA to this window and is handled
// on the user-interface thread, inside whatever loop runs; there are no driver-thread callbacks.
//
// Every buffer given to the device is counted until it comes back. A stop therefore waits for
// exactly those buffers (with a time limit for a device that never returns them) and frees every
// one, whatever else the message queue holds.

#include "framework/custom_window_win.h"
#include "framework/handles_win.h"
#include "sound/wave_format.h"

#include <array>
#include <cstdint>
#include <optional>

class CWave;

class CWaveInWnd : public CustomWindow {
public:
    static constexpr int32_t kDefaultBufferLength = 4096;
    // How long a stop waits for the device to return its buffers.
    static constexpr DWORD kDrainLimitMs = 3000;

    CWaveInWnd() = default;
    // Closes the device first. Must not run while a drain of this device runs.
    ~CWaveInWnd() override;

    // The hidden window, WS_POPUP, no parent; Open makes it when needed.
    [[nodiscard]] bool Create();
    // Opens `deviceId` for `format` with notification to this window. With a device already
    // open for that very format, asks the mapper whether it can take the format.
    [[nodiscard]] bool Open(UINT deviceId, const PcmFormat& format);
    // False when no device is open or the mapper refuses the format.
    [[nodiscard]] bool QueryFormat(const PcmFormat& format) const;

    // Opens the device if needed, queues kCaptureBuffers buffers of `bufferLength` bytes for
    // `wave` and, with start true, starts it. On any failure nothing is left queued or open.
    [[nodiscard]] bool BeginCapture(CWave& wave, int32_t bufferLength, bool start);
    // Stops the device and takes back every buffer it holds; those with sound reach their wave
    // as blocks, the one being filled last. Pumps the thread's messages meanwhile. The device
    // stays open.
    void StopAndDrain();
    // The device keeps its buffers; the one being filled reaches its wave with what it holds
    // before this returns.
    void Pause();
    // False when the device is open but will not start.
    [[nodiscard]] bool Resume();
    // The device's own count of the samples it has captured since it was opened; empty when it
    // cannot tell.
    [[nodiscard]] std::optional<int64_t> CapturedSamples() const;
    // Resets and closes the device, frees any buffer still out and destroys the window; Open
    // makes a new one. Asked during a drain, it happens once the drain has ended.
    bool Close();

    [[nodiscard]] bool IsOpen() const noexcept { return static_cast<bool>(device_); }
    [[nodiscard]] bool Draining() const noexcept { return draining_; }
    // Buffers given to the device that have not come back.
    [[nodiscard]] int QueuedBuffers() const noexcept { return queued_; }
    // 0 while stopping: returned buffers are not replaced.
    [[nodiscard]] int32_t BufferLength() const noexcept { return bufferLength_; }
    // Capture ended early because memory for a buffer or block could not be had.
    [[nodiscard]] bool RanOutOfMemory() const noexcept { return outOfMemory_; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // Replacements join before the returned buffer leaves, so one more than the queue.
    static constexpr int kMaxOut = 2 * kCaptureBuffers;

    LRESULT OnWimData(LPARAM lp);
    // One returned buffer: replaced while capturing, its sound handed on, then freed.
    void OnData(CWave& wave, WAVEHDR* header);
    [[nodiscard]] bool QueueBuffer(CWave& wave, int32_t length);
    // Memory ran out: no more replacements, and the device gives back what it has.
    void EndCapture();
    // Every returned buffer that has not been handled yet (its message lost), oldest first.
    void TakeReturnedBuffers();
    // After the device was reset: frees every buffer still counted, without handing sound on.
    void FreeAllBuffers();
    bool Track(WAVEHDR* header) noexcept;
    bool Untrack(WAVEHDR* header) noexcept;
    static void FreeBuffer(WAVEHDR* header) noexcept;

    UniqueWaveIn device_;
    PcmFormat openFormat_;
    int32_t bufferLength_ = kDefaultBufferLength;
    std::array<WAVEHDR*, kMaxOut> out_{}; // oldest first
    int queued_ = 0;
    bool draining_ = false;
    bool closeAfterDrain_ = false;
    bool outOfMemory_ = false;
};
