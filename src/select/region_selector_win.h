#pragma once

// The full-screen selector: a topmost popup over the whole primary screen on which the user
// clicks two corners (crosshair, then rubber band with a size label) or points at a window (a
// flashing frame marks it). It runs its own message loop until a click, Enter, a right click,
// losing the focus or a request to close ends the run. A click ends it when its button comes up:
// the mouse is captured from the press on, so the release never reaches the window underneath.
//
// The popup shows a copy of the screen taken when it was created and draws its marks over that
// copy with exclusive-or, so every drawing is undone by drawing it again. A window that paints
// nothing does not show what lies below it everywhere (composited desktops, Wine): it shows black.
//
// Messages: the marks are drawn and erased only while a run is active; painting puts the copy
// back and the marks shown at that moment over it.

#include "framework/custom_window_win.h"
#include "framework/handles_win.h"
#include "select/selection_geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <windows.h>

class CRegionSelector : public CustomWindow {
public:
    enum class Mode { RubberBand = 1, Crosshair = 2, WindowPicking = 3 };

    CRegionSelector() = default;
    // Shows the cursor again if the keyboard hid it, and destroys the window.
    ~CRegionSelector() override;

    // Copies the screen and creates the popup, hidden. False when either failed.
    [[nodiscard]] bool Create();

    void SetMode(Mode mode);
    [[nodiscard]] Mode CurrentMode() const noexcept { return mode_; }

    // One selection: shows the popup on top of everything, runs until it ends and returns how it
    // ended (IsAccepted tells). A quit request ends it with 0 and is posted again.
    int32_t Run();

    // The last run's rectangle: the spanned corners, or the picked window's rectangle. Empty when
    // window picking ended before any window was marked.
    [[nodiscard]] std::optional<RegionRect> Selection() const { return selection_; }

    // The screen the popup covers, from (0, 0).
    [[nodiscard]] int32_t ScreenWidth() const noexcept { return screenWidth_; }
    [[nodiscard]] int32_t ScreenHeight() const noexcept { return screenHeight_; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void OnPaint();
    void OnMouseMove(ScreenPoint point);
    void OnButtonDown(UINT msg, WPARAM keyState, ScreenPoint point);
    void OnButtonUp(UINT msg);
    void EndClick();
    void OnKeyDown(UINT virtualKey);

    void RunLoop();
    // Draws or erases the crosshair or the rubber band and its label; asking for the state
    // already on the screen does nothing, so an erase can never draw.
    void ShowMarks(bool shown);
    void DrawMarkLines(HDC dc) const;
    void DrawSizeLabel(HDC dc);
    void RestoreLabelBackground(HDC dc);
    void RenderLabel(HDC dc) const;

    void PickWindowAt(ScreenPoint point);
    void Highlight(const RECT& rect);
    void FlashStep();
    void DrawFrame(HDC dc) const;
    void DrawFrameNow() const;
    void StartFlashTimer();
    void StopFlashTimer();
    static void CALLBACK OnFlashTimer(HWND, UINT, UINT_PTR, DWORD) noexcept;

    Mode mode_ = Mode::Crosshair;
    int32_t result_ = 0;
    bool running_ = false;
    // The result of a click whose button is still down, and that button's release message.
    int32_t clickResult_ = 0;
    UINT clickRelease_ = 0;
    ScreenPoint anchor_;
    ScreenPoint corner_;
    // Where the last accepted run ended: the first corner of the rubber band that follows.
    std::optional<ScreenPoint> accepted_;
    bool labelOn_ = true;
    bool cursorShown_ = true;
    bool marksShown_ = false;

    // The size label as last drawn, and the screen it covers.
    UniqueBitmap labelBackground_;
    std::string labelText_;
    RECT labelBox_{};

    // Window picking.
    std::optional<RECT> highlight_;
    std::optional<RECT> picked_;
    bool highlightShown_ = false;
    UINT_PTR flashTimer_ = 0;
    // WindowFromPoint must see through the popup: a disabled popup is still found under Wine,
    // and disabling it would take the keyboard focus away for good.
    bool seeThrough_ = false;

    std::optional<RegionRect> selection_;

    int32_t screenWidth_ = 0;
    int32_t screenHeight_ = 0;
    UniqueBitmap screenCopy_;
    HCURSOR crossCursor_ = nullptr;
};
