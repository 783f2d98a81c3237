#include "framework/custom_window_win.h"

#include "framework/app_win.h"

CustomWindow::~CustomWindow() {
    if (hwnd_ != nullptr) {
        const HWND hwnd = hwnd_;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        ::DestroyWindow(hwnd);
    }
}

bool CustomWindow::Register(const WindowClass& windowClass) {
    const HINSTANCE instance = App().Instance();
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExA(instance, windowClass.name, &existing) != FALSE) {
        // Registered by an earlier window of ours; a foreign class of that name is refused.
        return existing.lpfnWndProc == &CustomWindow::Procedure;
    }
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = windowClass.style;
    wc.lpfnWndProc = &CustomWindow::Procedure;
    wc.hInstance = instance;
    wc.hIcon = windowClass.icon;
    wc.hCursor = windowClass.cursor;
    wc.hbrBackground = windowClass.background;
    wc.lpszClassName = windowClass.name;
    return ::RegisterClassExA(&wc) != 0;
}

bool CustomWindow::Create(const WindowClass& windowClass, DWORD exStyle, DWORD style,
                          const std::string& title, const RECT& rect, HWND parent) {
    if (hwnd_ != nullptr || windowClass.name == nullptr || !Register(windowClass)) {
        return false;
    }
    // WM_NCCREATE stores hwnd_; a failed creation leaves it null again via WM_NCDESTROY.
    const HWND hwnd =
        ::CreateWindowExA(exStyle, windowClass.name, title.c_str(), style, rect.left, rect.top,
                          Width(rect), Height(rect), parent, nullptr, App().Instance(), this);
    return hwnd != nullptr && hwnd_ == hwnd;
}

void CustomWindow::Destroy() {
    if (hwnd_ != nullptr) {
        ::DestroyWindow(hwnd_);
    }
}

LRESULT CustomWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return ::DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK CustomWindow::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    CustomWindow* self = nullptr;
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lp);
        self = static_cast<CustomWindow*>(create->lpCreateParams);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<CustomWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and after detaching get the default.
    if (self == nullptr) {
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    try {
        result = self->HandleMessage(msg, wp, lp);
    } catch (...) {
        // A failing WM_NCCREATE must refuse the creation; anything else just reports 0.
        result = 0;
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}
