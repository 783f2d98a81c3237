#include "framework/window_win.h"

#include "framework/handles_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

UniqueHwnd MakeWindow(const char* cls, DWORD style, const RECT& r, HWND parent,
                      const char* text = "") {
    return UniqueHwnd(::CreateWindowExA(0, cls, text, style, r.left, r.top, Width(r), Height(r),
                                        parent, nullptr, ::GetModuleHandleA(nullptr), nullptr));
}

TEST(WindowTest, TextRoundTripsWhateverItsLength) {
    const UniqueHwnd edit = MakeWindow("EDIT", WS_POPUP | ES_AUTOHSCROLL, {0, 0, 100, 20}, nullptr);
    const Window window(edit.get());
    for (const std::string& text : {std::string(), std::string("a"), std::string(5000, 'x')}) {
        window.SetText(text);
        EXPECT_EQ(window.Text(), text) << text.size();
    }
}

TEST(WindowTest, ChildIsCentredInItsParentsClientArea) {
    const UniqueHwnd parent =
        MakeWindow("STATIC", WS_POPUP | WS_CAPTION, {100, 80, 500, 380}, nullptr);
    const UniqueHwnd child = MakeWindow("STATIC", WS_CHILD, {0, 0, 100, 50}, parent.get());
    const Window window(child.get());
    window.CenterIn(window.Parent());
    const RECT client = Window(parent.get()).ClientRect();
    const RECT placed = window.RectInParent();
    EXPECT_EQ(placed.left, (Width(client) - 100) / 2);
    EXPECT_EQ(placed.top, (Height(client) - 50) / 2);
    EXPECT_EQ(Width(placed), 100);
    EXPECT_EQ(Height(placed), 50);
}

TEST(WindowTest, PopupIsCentredInScreenCoordinates) {
    const UniqueHwnd owner = MakeWindow("STATIC", WS_POPUP, {200, 100, 600, 400}, nullptr);
    const UniqueHwnd popup = MakeWindow("STATIC", WS_POPUP, {0, 0, 100, 50}, owner.get());
    Window(popup.get()).CenterIn(Window(owner.get()));
    const RECT placed = Window(popup.get()).WindowRect();
    EXPECT_EQ(placed.left, 200 + (400 - 100) / 2);
    EXPECT_EQ(placed.top, 100 + (300 - 50) / 2);
}

} // namespace
