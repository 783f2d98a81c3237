#include "select/region_selector_win.h"

#include "framework/app_win.h"
#include "resources/resource_ids.h"

#include <utility>
#include <windowsx.h>

namespace {

const WindowClass kSelectorClass{"VidorraRegionSelector", CS_BYTEALIGNCLIENT};

// The selector whose run is active; the flash timer has no window to find it through.
CRegionSelector* g_active = nullptr;

constexpr UINT kFlashPeriodMs = 500;
constexpr int kFrameWidth = 5;
// A window that does not answer where the pointer is within this time is taken whole.
constexpr UINT kHitTestTimeoutMs = 500;

ScreenPoint PointOf(LPARAM lp) {
    return ScreenPoint{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
}

// Exclusive-or drawing with a pen for one scope; the DC is left as it was found.
class XorPen {
public:
    XorPen(HDC dc, HGDIOBJ pen) noexcept
        : dc_(dc), previousMode_(::SetROP2(dc, R2_XORPEN)), pen_(dc, pen) {}
    XorPen(const XorPen&) = delete;
    XorPen& operator=(const XorPen&) = delete;
    ~XorPen() {
        if (previousMode_ != 0)
            ::SetROP2(dc_, previousMode_);
    }

private:
    HDC dc_;
    int previousMode_;
    SelectionGuard pen_;
};

void Outline(HDC dc, const RECT& r) {
    const POINT points[] = {{r.left, r.top},
                            {r.right, r.top},
                            {r.right, r.bottom},
                            {r.left, r.bottom},
                            {r.left, r.top}};
    ::Polyline(dc, points, 5);
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

CRegionSelector::~CRegionSelector() {
    StopFlashTimer();
    if (g_active == this)
        g_active = nullptr;
    if (!cursorShown_)
        ::ShowCursor(TRUE);
    Destroy();
}

bool CRegionSelector::Create() {
    if (Handle() != nullptr)
        return false;
    crossCursor_ = App().LoadCursor(IDR_CROSSHAIR_NAME);
    // A null cursor would hide the pointer altogether.
    if (crossCursor_ == nullptr)
        crossCursor_ = ::LoadCursorA(nullptr, IDC_CROSS);
    {
        const UniqueWindowDc screen(::GetDesktopWindow());
        if (!screen)
            return false;
        screenWidth_ = ::GetDeviceCaps(screen.get(), HORZRES);
        screenHeight_ = ::GetDeviceCaps(screen.get(), VERTRES);
        // Without the copy the selection still works; only the picture under the marks is lost.
        UniqueMemoryDc copyDc(::CreateCompatibleDC(screen.get()));
        UniqueBitmap copy(::CreateCompatibleBitmap(screen.get(), screenWidth_, screenHeight_));
        if (copyDc && copy) {
            const SelectionGuard selected(copyDc.get(), copy.get());
            if (selected && ::BitBlt(copyDc.get(), 0, 0, screenWidth_, screenHeight_, screen.get(),
                                     0, 0, SRCCOPY) != FALSE)
                screenCopy_ = std::move(copy);
        }
    }
    const RECT area{0, 0, screenWidth_, screenHeight_};
    return CustomWindow::Create(kSelectorClass, 0, WS_POPUP, "", area, ::GetDesktopWindow());
}

void CRegionSelector::SetMode(Mode mode) {
    if (running_)
        return;
    mode_ = mode;
}

int32_t CRegionSelector::Run() {
    selection_.reset();
    if (Handle() == nullptr || running_)
        return 0;
    // Not SWP_NOREDRAW: the popup must paint the screen copy before anything is drawn over it.
    ::SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::SetForegroundWindow(Handle());

    POINT pointer{};
    ::GetCursorPos(&pointer);
    ::ScreenToClient(Handle(), &pointer);
    corner_ = ScreenPoint{pointer.x, pointer.y};
    // The rubber band starts where the crosshair was taken, even if the pointer moved on since.
    anchor_ = mode_ == Mode::RubberBand && accepted_ ? *accepted_ : corner_;
    accepted_.reset();
    result_ = 0;
    clickResult_ = 0;
    clickRelease_ = 0;
    ::UpdateWindow(Handle());

    if (mode_ == Mode::WindowPicking) {
        highlight_.reset();
        picked_.reset();
        highlightShown_ = false;
    } else {
        ::SetCursor(crossCursor_);
    }
    running_ = true;
    g_active = this;
    ShowMarks(true);

    RunLoop();
    if (clickRelease_ != 0 && ::GetCapture() == Handle())
        ::ReleaseCapture();
    clickRelease_ = 0;

    ShowMarks(false);
    StopFlashTimer();
    if (mode_ == Mode::WindowPicking) {
        if (highlightShown_) {
            DrawFrameNow();
            highlightShown_ = false;
        }
        if (picked_)
            selection_ = RegionRect{picked_->left, picked_->top, picked_->right, picked_->bottom};
    } else {
        selection_ = SpannedRegion(anchor_, corner_);
        if (IsAccepted(result_))
            accepted_ = corner_;
    }
    g_active = nullptr;
    running_ = false;
    return result_;
}

void CRegionSelector::RunLoop() {
    while (result_ == 0 && Handle() != nullptr) {
        MSG msg;
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The outer loop must see the quit request too.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            // The program's own filtering: Escape never reaches the selector.
            if (App().PreTranslateMessage(msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
            continue;
        }
        // A message sent from another thread may have ended the run inside PeekMessage.
        if (result_ != 0)
            break;
        // Sleep until there is something to do instead of spinning through idle turns.
        ::MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

LRESULT CRegionSelector::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        // The paint puts the screen copy back; erasing first would only flicker.
        return 1;
    case WM_NCHITTEST:
        if (seeThrough_)
            return HTTRANSPARENT;
        break;
    case WM_MOUSEMOVE:
        // After a click only its release is awaited: the click decided the corner or the window.
        // A movement without the clicked button held means the release was lost on the way.
        if (clickRelease_ != 0) {
            if ((wp & (clickRelease_ == WM_LBUTTONUP ? MK_LBUTTON : MK_RBUTTON)) == 0)
                EndClick();
            return 0;
        }
        OnMouseMove(PointOf(lp));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        OnButtonDown(msg, wp, PointOf(lp));
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        OnButtonUp(msg);
        break;
    case WM_CAPTURECHANGED:
        // Another window took the mouse: its release will not come here.
        if (clickRelease_ != 0 && reinterpret_cast<HWND>(lp) != Handle())
            EndClick();
        break;
    case WM_CLOSE:
        // The selector's owner destroys it; a request to close only ends the run, as cancelled.
        if (running_) {
            result_ = 2;
            ShowMarks(false);
        }
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(static_cast<UINT>(wp));
        break;
    case WM_KILLFOCUS:
        // Window picking goes on while the user visits another program.
        if (mode_ == Mode::WindowPicking)
            return 0;
        if (running_) {
            result_ = 2;
            ShowMarks(false);
        }
        break;
    default:
        break;
    }
    return CustomWindow::HandleMessage(msg, wp, lp);
}

void CRegionSelector::OnPaint() {
    const PaintDc paint(Handle());
    if (!paint)
        return;
    const HDC dc = paint.get();
    if (screenCopy_) {
        const UniqueMemoryDc copyDc(::CreateCompatibleDC(dc));
        const SelectionGuard selected(copyDc.get(), screenCopy_.get());
        if (copyDc && selected) {
            const RECT& r = paint.Area();
            ::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, copyDc.get(), r.left,
                     r.top, SRCCOPY);
        }
    }
    // The copy replaced whatever was shown; put back what is meant to be on top of it. The
    // saved label background stays right: it is the copy with the outline over it.
    if (running_ && marksShown_) {
        DrawMarkLines(dc);
        if (labelBackground_)
            RenderLabel(dc);
    }
    if (highlight_ && highlightShown_)
        DrawFrame(dc);
}

void CRegionSelector::OnMouseMove(ScreenPoint point) {
    if (running_ && mode_ == Mode::WindowPicking) {
        PickWindowAt(point);
        return;
    }
    ::SetCursor(crossCursor_);
    if (running_) {
        ShowMarks(false);
        corner_ = point;
        ShowMarks(true);
    }
}

void CRegionSelector::OnButtonDown(UINT msg, WPARAM keyState, ScreenPoint point) {
    if (!running_ || clickRelease_ != 0)
        return;
    // A left click accepts, a right click cancels. Not left to the key-state flags alone: under
    // Wine the release of a click whose window went away on the press is lost, and the left
    // button then looks held in every later message, right clicks included.
    const WPARAM flags = msg == WM_LBUTTONDOWN ? (keyState | MK_LBUTTON)
                                               : ((keyState & ~WPARAM{MK_LBUTTON}) | MK_RBUTTON);
    ShowMarks(false);
    // The clicked pixel is the corner, even if no movement reported it.
    if (mode_ != Mode::WindowPicking)
        corner_ = point;
    // The run ends when the button comes up, so that its release stays with us instead of
    // reaching whatever window is under the pointer once the selector is gone.
    clickResult_ = static_cast<int32_t>(flags);
    clickRelease_ = msg == WM_LBUTTONDOWN ? WM_LBUTTONUP : WM_RBUTTONUP;
    ::SetCapture(Handle());
    if (::GetCapture() != Handle())
        EndClick();
}

void CRegionSelector::OnButtonUp(UINT msg) {
    if (clickRelease_ != 0 && msg == clickRelease_)
        EndClick();
}

void CRegionSelector::EndClick() {
    if (clickRelease_ == 0)
        return;
    clickRelease_ = 0;
    result_ = clickResult_;
    if (::GetCapture() == Handle())
        ::ReleaseCapture();
}

void CRegionSelector::OnKeyDown(UINT virtualKey) {
    if (!running_ || clickRelease_ != 0)
        return;
    ShowMarks(false);
    const SelectorKey key = ClassifySelectorKey(virtualKey);
    switch (key) {
    case SelectorKey::SwapCorners:
        if (mode_ == Mode::RubberBand)
            std::swap(anchor_, corner_);
        break;
    case SelectorKey::Accept:
        result_ = 1;
        return;
    case SelectorKey::Left:
    case SelectorKey::Up:
    case SelectorKey::Right:
    case SelectorKey::Down: {
        const RECT client = Wnd().ClientRect();
        corner_ = MoveCorner(corner_, key, Width(client), Height(client));
        break;
    }
    case SelectorKey::ToggleCursor:
        cursorShown_ = !cursorShown_;
        ::ShowCursor(cursorShown_ ? TRUE : FALSE);
        break;
    case SelectorKey::ToggleLabel:
        labelOn_ = !labelOn_;
        break;
    case SelectorKey::Other:
        break;
    }
    // The pointer follows the corner; picking a window has none, and the pointer stays put.
    if (mode_ != Mode::WindowPicking) {
        POINT pointer{corner_.x, corner_.y};
        ::ClientToScreen(Handle(), &pointer);
        ::SetCursorPos(pointer.x, pointer.y);
    }
    ShowMarks(true);
}

void CRegionSelector::ShowMarks(bool shown) {
    // Without a window there is nothing to draw on: a null window's DC is the whole screen.
    if (shown == marksShown_ || mode_ == Mode::WindowPicking || Handle() == nullptr)
        return;
    const UniqueWindowDc dc(Handle());
    if (!dc)
        return;
    // Erasing goes in the reverse order of drawing: the label covers the outline.
    if (!shown)
        RestoreLabelBackground(dc.get());
    DrawMarkLines(dc.get());
    if (shown && labelOn_ && mode_ == Mode::RubberBand)
        DrawSizeLabel(dc.get());
    marksShown_ = shown;
}

void CRegionSelector::DrawMarkLines(HDC dc) const {
    const XorPen pen(dc, ::GetStockObject(WHITE_PEN));
    if (mode_ == Mode::Crosshair) {
        const RECT client = Wnd().ClientRect();
        ::MoveToEx(dc, 0, corner_.y, nullptr);
        ::LineTo(dc, client.right, corner_.y);
        ::MoveToEx(dc, corner_.x, 0, nullptr);
        ::LineTo(dc, corner_.x, client.bottom);
    } else if (mode_ == Mode::RubberBand) {
        Outline(dc, RECT{anchor_.x, anchor_.y, corner_.x, corner_.y});
    }
}

void CRegionSelector::DrawSizeLabel(HDC dc) {
    labelText_ = SizeLabelText(anchor_, corner_);
    const UniqueMemoryDc measureDc(::CreateCompatibleDC(dc));
    SIZE size{};
    if (!measureDc || ::GetTextExtentPoint32A(measureDc.get(), labelText_.c_str(),
                                              static_cast<int>(labelText_.size()), &size) == FALSE)
        return;
    const RECT client = Wnd().ClientRect();
    const ScreenPoint at = SizeLabelPosition(SpannedRegion(anchor_, corner_), size.cx, size.cy,
                                             Width(client), Height(client));
    labelBox_ = RECT{at.x, at.y, at.x + size.cx, at.y + size.cy};

    UniqueBitmap background(::CreateCompatibleBitmap(dc, size.cx, size.cy));
    if (!background)
        return;
    {
        const SelectionGuard selected(measureDc.get(), background.get());
        if (!selected ||
            ::BitBlt(measureDc.get(), 0, 0, size.cx, size.cy, dc, at.x, at.y, SRCCOPY) == FALSE)
            return;
    }
    labelBackground_ = std::move(background);
    RenderLabel(dc);
}

void CRegionSelector::RenderLabel(HDC dc) const {
    const int w = Width(labelBox_);
    const int h = Height(labelBox_);
    const UniqueMemoryDc textDc(::CreateCompatibleDC(dc));
    if (!textDc)
        return;
    // Compatible with a fresh memory DC: monochrome, so the label is black and white on any
    // screen and needs no palette.
    const UniqueBitmap text(::CreateCompatibleBitmap(textDc.get(), w, h));
    const SelectionGuard selected(textDc.get(), text.get());
    if (!text || !selected)
        return;
    ::SetTextColor(textDc.get(), RGB(255, 255, 255));
    ::SetBkColor(textDc.get(), RGB(0, 0, 0));
    ::SetBkMode(textDc.get(), OPAQUE);
    ::TextOutA(textDc.get(), 0, 0, labelText_.c_str(), static_cast<int>(labelText_.size()));
    // A monochrome source takes the target's text colour for 0 and background colour for 1.
    const COLORREF oldText = ::SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF oldBack = ::SetBkColor(dc, RGB(255, 255, 255));
    ::BitBlt(dc, labelBox_.left, labelBox_.top, w, h, textDc.get(), 0, 0, SRCCOPY);
    ::SetTextColor(dc, oldText);
    ::SetBkColor(dc, oldBack);
}

void CRegionSelector::RestoreLabelBackground(HDC dc) {
    if (!labelBackground_)
        return;
    {
        const UniqueMemoryDc copyDc(::CreateCompatibleDC(dc));
        const SelectionGuard selected(copyDc.get(), labelBackground_.get());
        if (copyDc && selected)
            ::BitBlt(dc, labelBox_.left, labelBox_.top, Width(labelBox_), Height(labelBox_),
                     copyDc.get(), 0, 0, SRCCOPY);
    }
    // Deleted once it is no longer selected.
    labelBackground_.reset();
}

void CRegionSelector::PickWindowAt(ScreenPoint point) {
    POINT p{point.x, point.y};
    ::ClientToScreen(Handle(), &p);
    seeThrough_ = true;
    const HWND found = ::WindowFromPoint(p);
    seeThrough_ = false;
    if (found == nullptr || found == Handle())
        return;
    DWORD_PTR hit = HTNOWHERE;
    const bool overClient = ::SendMessageTimeoutA(found, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y),
                                                  SMTO_ABORTIFHUNG, kHitTestTimeoutMs, &hit) != 0 &&
                            hit == HTCLIENT;
    RECT rect{};
    if (overClient) {
        ::GetClientRect(found, &rect);
        ::MapWindowPoints(found, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    } else {
        ::GetWindowRect(found, &rect);
        ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
    }
    Highlight(rect);
}

void CRegionSelector::Highlight(const RECT& rect) {
    if (highlight_ && SameRect(*highlight_, rect))
        return;
    StopFlashTimer();
    if (highlightShown_) {
        DrawFrameNow();
        highlightShown_ = false;
    }
    highlight_ = rect;
    DrawFrameNow();
    StartFlashTimer();
    highlightShown_ = true;
    picked_ = highlight_;
}

void CRegionSelector::FlashStep() {
    StopFlashTimer();
    if (!highlight_)
        return;
    DrawFrameNow();
    highlightShown_ = !highlightShown_;
    StartFlashTimer();
    picked_ = highlight_;
}

void CRegionSelector::DrawFrameNow() const {
    // A null window's DC is the whole screen: a selector destroyed meanwhile draws nothing.
    if (Handle() == nullptr)
        return;
    const UniqueWindowDc dc(Handle());
    if (dc)
        DrawFrame(dc.get());
}

void CRegionSelector::DrawFrame(HDC dc) const {
    const UniquePen pen(::CreatePen(PS_SOLID, kFrameWidth, RGB(255, 255, 255)));
    if (!pen || !highlight_)
        return;
    const XorPen xorPen(dc, pen.get());
    Outline(dc, *highlight_);
}

void CRegionSelector::StartFlashTimer() {
    flashTimer_ = ::SetTimer(nullptr, 0, kFlashPeriodMs, &CRegionSelector::OnFlashTimer);
}

void CRegionSelector::StopFlashTimer() {
    if (flashTimer_ != 0)
        ::KillTimer(nullptr, std::exchange(flashTimer_, 0));
}

void CALLBACK CRegionSelector::OnFlashTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    if (g_active != nullptr && g_active->flashTimer_ == id) {
        g_active->FlashStep();
    } else {
        // A tick already queued when its timer was stopped, or from a selector long gone.
        ::KillTimer(nullptr, id);
    }
}
