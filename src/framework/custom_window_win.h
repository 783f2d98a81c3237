#pragma once

// Base for windows of classes we register ourselves (a hidden notification window, the
// full-screen region selector). The class is registered on first use; the static window procedure
// finds the object through GWLP_USERDATA, set at WM_NCCREATE, and forwards every message to
// HandleMessage. Exceptions stop at the procedure. The object owns its window and forgets it
// after WM_NCDESTROY.

#include "framework/window_win.h"

#include <string>
#include <windows.h>

struct WindowClass {
    const char* name = nullptr;
    UINT style = 0;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    HICON icon = nullptr;
};

class CustomWindow {
public:
    CustomWindow() = default;
    // Destroys a window still alive without calling HandleMessage (the derived part is gone).
    virtual ~CustomWindow();
    CustomWindow(const CustomWindow&) = delete;
    CustomWindow& operator=(const CustomWindow&) = delete;

    // parent may be HWND_MESSAGE for a message-only window.
    [[nodiscard]] bool Create(const WindowClass& windowClass, DWORD exStyle, DWORD style,
                              const std::string& title, const RECT& rect, HWND parent);
    // Destroys the window; HandleMessage sees WM_DESTROY and WM_NCDESTROY.
    void Destroy();

    [[nodiscard]] HWND Handle() const noexcept { return hwnd_; }
    [[nodiscard]] Window Wnd() const noexcept { return Window(hwnd_); }

protected:
    // Default: DefWindowProcA.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static bool Register(const WindowClass& windowClass);

    HWND hwnd_ = nullptr;
};
