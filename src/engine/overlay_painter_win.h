#pragma once

// Draws what a frame shows of the input into the frame itself, after the cursor: rings where a
// button went down, a dot at the pointer while one is held, and the keys just pressed in a box
// at the lower edge. The same drawing makes the reference pictures the tests compare with.

#include "engine/input_overlay.h"
#include "framework/handles_win.h"

#include <array>
#include <string>
#include <vector>
#include <windows.h>

class OverlayPainter {
public:
    // The text's size follows the frame's height.
    explicit OverlayPainter(int frameHeight);

    // `origin` is the frame's top left on the screen, `pointer` the mouse's, both in screen
    // coordinates; `frame` the frame's size.
    void Draw(HDC dc, const overlay::Scene& scene, POINT origin, POINT pointer, SIZE frame) const;
    void DrawKeys(HDC dc, const std::vector<std::string>& keys, SIZE frame) const;

private:
    UniqueFont font_;
    UniquePen outline_;
    // By overlay::Button: the ring's pen and the dot's brush.
    std::array<UniquePen, 3> rings_;
    std::array<UniqueBrush, 3> dots_;
    UniqueBrush box_;
};
