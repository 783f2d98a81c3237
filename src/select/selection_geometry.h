#pragma once
// The arithmetic of choosing a region on the screen: which pixels two corners span, where the
// size label goes, how the keyboard moves the corner, and which results can be recorded. All in
// screen pixels.

#include <cstdint>
#include <string>

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const ScreenPoint&) const = default;
};

// Right and bottom are exclusive, as in a RECT.
struct RegionRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    [[nodiscard]] int64_t Width() const noexcept { return int64_t{right} - left; }
    [[nodiscard]] int64_t Height() const noexcept { return int64_t{bottom} - top; }
    bool operator==(const RegionRect&) const = default;
};

// The rectangle that holds the pixels under both points, whichever way round they are given.
RegionRect SpannedRegion(ScreenPoint anchor, ScreenPoint corner) noexcept;

// "WxH" of the spanned region: what the user will record.
std::string SizeLabelText(ScreenPoint anchor, ScreenPoint corner);

// Top-left corner of a label of labelWidth x labelHeight for the spanned region on a screen of
// screenWidth x screenHeight. Centred when it fits inside with room to spare both ways, so it
// never hides an edge being placed; otherwise just outside the top-left corner, or beyond the
// right or bottom edge where there is no room; always kept on the screen.
ScreenPoint SizeLabelPosition(const RegionRect& spanned, int32_t labelWidth, int32_t labelHeight,
                              int32_t screenWidth, int32_t screenHeight) noexcept;

// What a key does while a selection runs.
enum class SelectorKey {
    SwapCorners, // Tab, Home
    Accept,      // Enter
    Left,        // arrow keys: move the corner one pixel
    Up,
    Right,
    Down,
    ToggleCursor, // plus keys
    ToggleLabel,  // minus keys
    Other,
};
SelectorKey ClassifySelectorKey(uint32_t virtualKey) noexcept;

// One pixel in the arrow's direction, never off the screen.
ScreenPoint MoveCorner(ScreenPoint corner, SelectorKey key, int32_t screenWidth,
                       int32_t screenHeight) noexcept;

// A result can be recorded when it has at least one pixel each way and shows some of the screen.
// A window may stick out of the screen (a maximised one does); one wholly off it cannot be taken.
bool IsRecordableRegion(const RegionRect& region, int32_t screenWidth,
                        int32_t screenHeight) noexcept;

// How a run ended: 0 cancelled by a quit request, otherwise the mouse's key-state flags of the
// click (a right click never carries the left button's), 1 for Enter or 2 for losing the focus.
// Bit 0 (a left click, or Enter) accepts.
[[nodiscard]] constexpr bool IsAccepted(int32_t result) noexcept {
    return (result & 1) != 0;
}
