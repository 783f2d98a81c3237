#pragma once

// Window borrows a window it does not own: a control, a dialog, another program's window.
// Every helper is a no-op or returns an empty value on a null or dead window.

#include <string>
#include <string_view>
#include <windows.h>

[[nodiscard]] inline int Width(const RECT& rect) noexcept {
    return rect.right - rect.left;
}
[[nodiscard]] inline int Height(const RECT& rect) noexcept {
    return rect.bottom - rect.top;
}

class Window {
public:
    constexpr Window() noexcept = default;
    constexpr explicit Window(HWND hwnd) noexcept : hwnd_(hwnd) {}

    [[nodiscard]] HWND Handle() const noexcept { return hwnd_; }
    explicit operator bool() const noexcept { return hwnd_ != nullptr; }
    [[nodiscard]] bool Exists() const { return hwnd_ != nullptr && ::IsWindow(hwnd_) != FALSE; }

    // Child control by id; empty when there is none.
    [[nodiscard]] Window Item(int id) const;
    [[nodiscard]] int Id() const;
    [[nodiscard]] Window Parent() const;
    // The top-level window this one lives in (itself for a top-level window).
    [[nodiscard]] Window Root() const;

    [[nodiscard]] std::string Text() const;
    void SetText(std::string_view text) const;

    void Enable(bool enable) const;
    [[nodiscard]] bool IsEnabled() const;
    void Show(int command) const;
    [[nodiscard]] bool IsVisible() const;
    void Focus() const;
    [[nodiscard]] bool HasFocus() const;

    // Button check state: BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
    [[nodiscard]] int CheckState() const;
    [[nodiscard]] bool IsChecked() const { return CheckState() == BST_CHECKED; }
    void SetCheckState(int state) const;
    void SetChecked(bool checked) const { SetCheckState(checked ? BST_CHECKED : BST_UNCHECKED); }

    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const;
    bool Post(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const;

    // Screen coordinates.
    [[nodiscard]] RECT WindowRect() const;
    // Origin at (0, 0).
    [[nodiscard]] RECT ClientRect() const;
    // The window's outer rectangle in its parent's client coordinates (screen for top-level).
    [[nodiscard]] RECT RectInParent() const;
    // Rect in parent client coordinates for a child, screen coordinates for a top-level window.
    bool Move(const RECT& rect, bool repaint = true) const;
    // Centres this window over the client area of another (its parent, typically).
    void CenterIn(Window other) const;

private:
    HWND hwnd_ = nullptr;
};
