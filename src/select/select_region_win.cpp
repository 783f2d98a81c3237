#include "select/select_region_win.h"

#include "hotkeys/hot_keys_win.h"
#include "engine/option_rules.h"
#include "select/region_selector_win.h"

#include <optional>

namespace {

// Time for the windows below the minimised main dialog to draw themselves again before the
// selector copies the screen.
constexpr DWORD kRedrawWaitMs = 500;

bool g_selecting = false;

class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;
    ~ScopedFlag() { flag_ = false; }

private:
    bool& flag_;
};

std::optional<RegionRect> Choose(SelectionKind kind, CRegionSelector& selector) {
    if (kind == SelectionKind::Window) {
        selector.SetMode(CRegionSelector::Mode::WindowPicking);
        return IsAccepted(selector.Run()) ? selector.Selection() : std::nullopt;
    }
    selector.SetMode(CRegionSelector::Mode::Crosshair);
    if (!IsAccepted(selector.Run()))
        return std::nullopt;
    selector.SetMode(CRegionSelector::Mode::RubberBand);
    return IsAccepted(selector.Run()) ? selector.Selection() : std::nullopt;
}

// The accepted choice if it can be recorded; the selector and its screen go away either way.
std::optional<RegionRect> ChooseOnScreen(SelectionKind kind) {
    CRegionSelector selector;
    if (!selector.Create())
        return std::nullopt;
    const std::optional<RegionRect> chosen = Choose(kind, selector);
    if (!chosen || !IsRecordableRegion(*chosen, selector.ScreenWidth(), selector.ScreenHeight()) ||
        !option_rules::IsValidPosition(chosen->left) ||
        !option_rules::IsValidPosition(chosen->top) ||
        !option_rules::IsValidSize(chosen->Width()) || !option_rules::IsValidSize(chosen->Height()))
        return std::nullopt;
    return chosen;
}

} // namespace

bool SelectScreenRegion(SelectionKind kind, HWND mainDialog, RecordingOptions& options) {
    // The selector's loop dispatches every message of the thread, a second press of the page's
    // buttons included; one selector on the screen is enough.
    if (g_selecting)
        return false;
    const ScopedFlag selecting(g_selecting);
    UnregisterAllHotKeys(mainDialog);
    const bool minimised = mainDialog != nullptr && ::IsWindowVisible(mainDialog) != FALSE;
    if (minimised) {
        ::ShowWindow(mainDialog, SW_MINIMIZE);
        ::UpdateWindow(mainDialog);
        ::Sleep(kRedrawWaitMs);
    }

    // The full-screen selector is gone before anything else shows, a message about a taken hot
    // key included.
    const std::optional<RegionRect> chosen = ChooseOnScreen(kind);

    // A dialog that was hidden stays hidden.
    if (minimised)
        ::ShowWindow(mainDialog, SW_RESTORE);
    if (kind == SelectionKind::Region)
        ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
    // Closed meanwhile: there is nothing to register the keys to, and no page to show a region.
    if (mainDialog != nullptr && ::IsWindow(mainDialog) == FALSE)
        return false;
    RestoreHotKeys(mainDialog);

    // Stored last: coming back, the dialog hands the focus to a page's edit and takes it away
    // again, and a page stores what an edit shows when it loses the focus. Until the page shows
    // the new region that is the old one, so the old one must still be in the options then.
    if (!chosen)
        return false;
    options.StartX = chosen->left;
    options.StartY = chosen->top;
    options.Width = static_cast<int32_t>(chosen->Width());
    options.Height = static_cast<int32_t>(chosen->Height());
    return true;
}
