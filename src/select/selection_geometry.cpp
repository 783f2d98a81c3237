#include "select/selection_geometry.h"

#include <algorithm>
#include <limits>

namespace {

// Room the label leaves around itself before it may sit inside the rectangle.
constexpr int64_t kLabelMargin = 24;

// Virtual-key codes; the portable core has no windows.h.
constexpr uint32_t kVkTab = 0x09;
constexpr uint32_t kVkReturn = 0x0D;
constexpr uint32_t kVkHome = 0x24;
constexpr uint32_t kVkLeft = 0x25;
constexpr uint32_t kVkUp = 0x26;
constexpr uint32_t kVkRight = 0x27;
constexpr uint32_t kVkDown = 0x28;
constexpr uint32_t kVkAdd = 0x6B;      // numeric keypad
constexpr uint32_t kVkSubtract = 0x6D; // numeric keypad
constexpr uint32_t kVkOemPlus = 0xBB;  // the plus/equals key
constexpr uint32_t kVkOemMinus = 0xBD;

// Keeps a label of the given size on a screen of the given size; a label larger than the
// screen starts at its edge.
int32_t OntoScreen(int64_t position, int64_t size, int64_t screen) noexcept {
    if (position < 0)
        return 0;
    if (position + size > screen)
        return static_cast<int32_t>(std::max<int64_t>(screen - size, 0));
    return static_cast<int32_t>(position);
}

} // namespace

RegionRect SpannedRegion(ScreenPoint anchor, ScreenPoint corner) noexcept {
    const auto [left, right] = std::minmax(anchor.x, corner.x);
    const auto [top, bottom] = std::minmax(anchor.y, corner.y);
    // The far pixel is part of the region. The largest value cannot be a screen pixel; it only
    // has to stay defined.
    const auto past = [](int32_t last) {
        return last < std::numeric_limits<int32_t>::max() ? last + 1 : last;
    };
    return RegionRect{left, top, past(right), past(bottom)};
}

std::string SizeLabelText(ScreenPoint anchor, ScreenPoint corner) {
    const RegionRect r = SpannedRegion(anchor, corner);
    return std::to_string(r.Width()) + "x" + std::to_string(r.Height());
}

ScreenPoint SizeLabelPosition(const RegionRect& spanned, int32_t labelWidth, int32_t labelHeight,
                              int32_t screenWidth, int32_t screenHeight) noexcept {
    const int64_t w = labelWidth;
    const int64_t h = labelHeight;
    int64_t x = 0;
    int64_t y = 0;
    if (w < spanned.Width() - kLabelMargin && h < spanned.Height() - kLabelMargin) {
        x = (int64_t{spanned.left} + spanned.right - w) / 2;
        y = (int64_t{spanned.top} + spanned.bottom - h) / 2;
    } else {
        x = spanned.left - w;
        if (x < 0)
            x = spanned.right;
        y = spanned.top - h;
        if (y < 0)
            y = spanned.bottom;
    }
    return ScreenPoint{OntoScreen(x, w, screenWidth), OntoScreen(y, h, screenHeight)};
}

SelectorKey ClassifySelectorKey(uint32_t virtualKey) noexcept {
    switch (virtualKey) {
    case kVkTab:
    case kVkHome:
        return SelectorKey::SwapCorners;
    case kVkReturn:
        return SelectorKey::Accept;
    case kVkLeft:
        return SelectorKey::Left;
    case kVkUp:
        return SelectorKey::Up;
    case kVkRight:
        return SelectorKey::Right;
    case kVkDown:
        return SelectorKey::Down;
    case kVkAdd:
    case kVkOemPlus:
        return SelectorKey::ToggleCursor;
    case kVkSubtract:
    case kVkOemMinus:
        return SelectorKey::ToggleLabel;
    default:
        return SelectorKey::Other;
    }
}

ScreenPoint MoveCorner(ScreenPoint corner, SelectorKey key, int32_t screenWidth,
                       int32_t screenHeight) noexcept {
    switch (key) {
    case SelectorKey::Left:
        if (corner.x > 0)
            --corner.x;
        break;
    case SelectorKey::Up:
        if (corner.y > 0)
            --corner.y;
        break;
    case SelectorKey::Right:
        if (int64_t{corner.x} < int64_t{screenWidth} - 1)
            ++corner.x;
        break;
    case SelectorKey::Down:
        if (int64_t{corner.y} < int64_t{screenHeight} - 1)
            ++corner.y;
        break;
    default:
        break;
    }
    return corner;
}

bool IsRecordableRegion(const RegionRect& region, int32_t screenWidth,
                        int32_t screenHeight) noexcept {
    if (region.Width() < 1 || region.Height() < 1)
        return false;
    return region.right > 0 && region.bottom > 0 && region.left < screenWidth &&
           region.top < screenHeight;
}
