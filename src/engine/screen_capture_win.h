#pragma once

// Where a frame's pixels come from. The grabber asks for a region of the screen copied into a
// slot's bitmap and draws the cursor over the copy itself, so a faster source (the desktop
// duplication of newer systems, say) can take the place of the GDI copy without touching the
// grabber, the ring or the writer.

#include "framework/handles_win.h"

#include <windows.h>

class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    // The screen's device context, for its depth, palette and compatible surfaces.
    [[nodiscard]] virtual HDC ScreenDc() const noexcept = 0;
    // Copies `region` of the screen into `target`, a DIB section of the region's size, selected
    // in `targetDc` (a memory DC of the caller's). False when nothing was copied.
    virtual bool Copy(HDC targetDc, RECT region) = 0;
};

// One BitBlt from the screen's DC: every version of the platform has it.
class GdiScreenCapture final : public ScreenCapture {
public:
    GdiScreenCapture() : screen_(nullptr) {}
    [[nodiscard]] bool Opened() const noexcept { return static_cast<bool>(screen_); }
    [[nodiscard]] HDC ScreenDc() const noexcept override { return screen_.get(); }
    bool Copy(HDC targetDc, RECT region) override {
        return ::BitBlt(targetDc, 0, 0, region.right - region.left, region.bottom - region.top,
                        screen_.get(), region.left, region.top, SRCCOPY) != FALSE;
    }

private:
    UniqueWindowDc screen_;
};
