#pragma once
// How the region follows the mouse while panning.

#include <cstdint>

// Holding exactly the pan modifiers inverts the lock; no modifiers configured, no inversion.
bool PanningActive(bool locked, int32_t panModifiers, int32_t heldModifiers) noexcept;

// One axis: move by the mouse's movement, then keep the region on the screen. The far edge is
// clamped first and the near edge last, so a region as large as the screen settles at 0 instead
// of jumping between the edges.
int32_t PanAxis(int32_t start, int32_t mouseDelta, int32_t size, int32_t screen) noexcept;
