#include "engine/panning.h"

#include "engine/option_rules.h"

bool PanningActive(bool locked, int32_t panModifiers, int32_t heldModifiers) noexcept {
    if (panModifiers != 0 && heldModifiers == panModifiers)
        return !locked;
    return locked;
}

int32_t PanAxis(int32_t start, int32_t mouseDelta, int32_t size, int32_t screen) noexcept {
    // 64-bit sums: a far-off region or a wild delta must not overflow.
    int64_t s = static_cast<int64_t>(start) + mouseDelta;
    // The region stops one pixel short of the far edge.
    if (s + size >= screen)
        s = static_cast<int64_t>(screen) - size - 1;
    if (s < 0)
        s = 0;
    return option_rules::ClampPosition(s);
}
