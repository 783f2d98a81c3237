#include "framework/window_win.h"

#include <vector>

Window Window::Item(int id) const {
    return Window(hwnd_ != nullptr ? ::GetDlgItem(hwnd_, id) : nullptr);
}

int Window::Id() const {
    return hwnd_ != nullptr ? ::GetDlgCtrlID(hwnd_) : 0;
}

Window Window::Parent() const {
    return Window(hwnd_ != nullptr ? ::GetParent(hwnd_) : nullptr);
}

Window Window::Root() const {
    return Window(hwnd_ != nullptr ? ::GetAncestor(hwnd_, GA_ROOT) : nullptr);
}

std::string Window::Text() const {
    if (hwnd_ == nullptr) {
        return {};
    }
    // The length may be larger than the text (it is allowed to overestimate), never smaller.
    const int length = ::GetWindowTextLengthA(hwnd_);
    if (length <= 0) {
        return {};
    }
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int copied = ::GetWindowTextA(hwnd_, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void Window::SetText(std::string_view text) const {
    if (hwnd_ != nullptr) {
        const std::string terminated(text);
        ::SetWindowTextA(hwnd_, terminated.c_str());
    }
}

void Window::Enable(bool enable) const {
    if (hwnd_ != nullptr) {
        ::EnableWindow(hwnd_, enable ? TRUE : FALSE);
    }
}

bool Window::IsEnabled() const {
    return hwnd_ != nullptr && ::IsWindowEnabled(hwnd_) != FALSE;
}

void Window::Show(int command) const {
    if (hwnd_ != nullptr) {
        ::ShowWindow(hwnd_, command);
    }
}

bool Window::IsVisible() const {
    return hwnd_ != nullptr && ::IsWindowVisible(hwnd_) != FALSE;
}

void Window::Focus() const {
    if (hwnd_ != nullptr) {
        ::SetFocus(hwnd_);
    }
}

bool Window::HasFocus() const {
    return hwnd_ != nullptr && ::GetFocus() == hwnd_;
}

int Window::CheckState() const {
    return hwnd_ != nullptr ? static_cast<int>(::SendMessageA(hwnd_, BM_GETCHECK, 0, 0))
                            : BST_UNCHECKED;
}

void Window::SetCheckState(int state) const {
    if (hwnd_ != nullptr) {
        ::SendMessageA(hwnd_, BM_SETCHECK, static_cast<WPARAM>(state), 0);
    }
}

LRESULT Window::Send(UINT msg, WPARAM wp, LPARAM lp) const {
    return hwnd_ != nullptr ? ::SendMessageA(hwnd_, msg, wp, lp) : 0;
}

bool Window::Post(UINT msg, WPARAM wp, LPARAM lp) const {
    return hwnd_ != nullptr && ::PostMessageA(hwnd_, msg, wp, lp) != FALSE;
}

RECT Window::WindowRect() const {
    RECT rect{};
    if (hwnd_ != nullptr) {
        ::GetWindowRect(hwnd_, &rect);
    }
    return rect;
}

RECT Window::ClientRect() const {
    RECT rect{};
    if (hwnd_ != nullptr) {
        ::GetClientRect(hwnd_, &rect);
    }
    return rect;
}

RECT Window::RectInParent() const {
    RECT rect = WindowRect();
    const HWND parent = hwnd_ != nullptr ? ::GetAncestor(hwnd_, GA_PARENT) : nullptr;
    if (parent != nullptr && parent != ::GetDesktopWindow()) {
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    }
    return rect;
}

bool Window::Move(const RECT& rect, bool repaint) const {
    return hwnd_ != nullptr && ::MoveWindow(hwnd_, rect.left, rect.top, Width(rect), Height(rect),
                                            repaint ? TRUE : FALSE) != FALSE;
}

void Window::CenterIn(Window other) const {
    if (hwnd_ == nullptr || !other) {
        return;
    }
    // Work in screen coordinates, then convert to whatever Move expects for this window.
    RECT area = other.ClientRect();
    ::MapWindowPoints(other.hwnd_, HWND_DESKTOP, reinterpret_cast<POINT*>(&area), 2);
    const RECT own = WindowRect();
    RECT target;
    target.left = area.left + (Width(area) - Width(own)) / 2;
    target.top = area.top + (Height(area) - Height(own)) / 2;
    target.right = target.left + Width(own);
    target.bottom = target.top + Height(own);
    const HWND parent = ::GetAncestor(hwnd_, GA_PARENT);
    if ((::GetWindowLongA(hwnd_, GWL_STYLE) & WS_CHILD) != 0 && parent != nullptr) {
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&target), 2);
    }
    Move(target);
}
