#pragma once
// The one record of everything a recording is made from. Plain data: readers and writers use the
// fields directly. The few fields the frame grabber's timer thread touches are relaxed atomics.

#include <atomic>
#include <cstdint>
#include <string>

// A 32-bit value shared with the timer thread: read and written whole, no ordering needed.
// Copyable so the record stays a value type.
template <class T> class Shared {
public:
    constexpr Shared(T v = T{}) noexcept : value_(v) {}
    Shared(const Shared& o) noexcept : value_(o.load()) {}
    Shared& operator=(const Shared& o) noexcept {
        store(o.load());
        return *this;
    }
    Shared& operator=(T v) noexcept {
        store(v);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(T v) noexcept { value_.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

struct HotKeyBinding {
    uint32_t Key = 0; // virtual-key code; 0 means no key
    uint32_t Mod = 0; // MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4
    std::string Desc;
    bool operator==(const HotKeyBinding&) const = default;
};

namespace modifier {
inline constexpr uint32_t Alt = 1;
inline constexpr uint32_t Control = 2;
inline constexpr uint32_t Shift = 4;
inline constexpr uint32_t Win = 8; // never in a hot key of ours; a key combination may have it
} // namespace modifier

// Radio button ids that WndHide stores.
namespace wnd_hide {
inline constexpr int32_t Stay = 1047;
inline constexpr int32_t Minimize = 1048;
inline constexpr int32_t Hide = 1049;
inline constexpr int32_t HideToo = 1050;
} // namespace wnd_hide

// Which options a change touched, so the page that shows them (and only it) refreshes.
enum class OptionGroup {
    Region,  // the region, its flash and panning
    HotKeys, // the bindings and the pan lock
    Video,   // file name, rates, compressor
    Sound,
    All,
};

struct RecordingOptions {
    Shared<int32_t> StartX = 0;
    Shared<int32_t> StartY = 0;
    Shared<int32_t> Width = 320;
    Shared<int32_t> Height = 240;
    HotKeyBinding Start{0x71, 0, "F2"};
    HotKeyBinding Pause{0x72, 0, "F3"};
    HotKeyBinding SingleShot{0x73, 0, "F4"};
    HotKeyBinding LockPan{0x72, modifier::Shift, ""}; // Desc is set at start-up from the resources
    Shared<int32_t> PanModifiers = modifier::Control | modifier::Shift;
    std::string FileName = "clip.avi";
    double FrameRate = 10.0;
    double PlaybackRate = 10.0;
    int32_t IncrementFileName = 1;
    int32_t RecordSound = 0;
    int32_t SoundSampSize = 8;
    int32_t SoundSampRate = 11025;
    Shared<int32_t> PanLocked = 0;
    int32_t KeyFrames = 20;
    int32_t CompQuality = 75;
    int32_t WinX = -1000; // below -499: no stored position
    int32_t WinY = -1000;
    int32_t WndHide = wnd_hide::Minimize;
    uint32_t CompFourcc = 0; // 0: choose by display depth
    int32_t RecordAtStart = 0;
    int32_t ExitAfterRecording = 0;
    Shared<int32_t> FlashRect = 1;
    Shared<int32_t> DrawCursor = 1;
    Shared<int32_t> NoFrameCross = 0;
    // Drawn into the frames only: mouse presses as rings, key combinations in a box (ShowKeys 2
    // also plain letters and digits).
    Shared<int32_t> HighlightClicks = 0;
    Shared<int32_t> ShowKeys = 0;

    // Back to the defaults, keeping what only the command line sets and the LockPan text.
    void ResetToDefaults();
};
