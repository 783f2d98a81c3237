#include "framework/custom_window_win.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

constexpr UINT kAsk = WM_APP + 1;

const WindowClass kClass{"FrameworkTestWindow"};

RECT Area() {
    return RECT{0, 0, 50, 40};
}

class ProbeWindow : public CustomWindow {
public:
    explicit ProbeWindow(int answer) : answer_(answer) {}
    std::vector<UINT> seen;
    bool failCreate = false;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        seen.push_back(msg);
        switch (msg) {
        case WM_NCCREATE:
            if (failCreate) {
                throw std::runtime_error("cannot create");
            }
            break;
        case kAsk:
            return answer_;
        default:
            break;
        }
        return CustomWindow::HandleMessage(msg, wp, lp);
    }

private:
    int answer_;
};

bool Saw(const ProbeWindow& window, UINT msg) {
    for (UINT m : window.seen) {
        if (m == msg) {
            return true;
        }
    }
    return false;
}

TEST(CustomWindowTest, EachWindowOfTheClassReachesItsOwnObject) {
    ProbeWindow first(1);
    ProbeWindow second(2);
    ASSERT_TRUE(first.Create(kClass, 0, WS_POPUP, "first", Area(), nullptr));
    ASSERT_TRUE(second.Create(kClass, 0, WS_POPUP, "second", Area(), nullptr));
    EXPECT_TRUE(Saw(first, WM_NCCREATE));
    EXPECT_TRUE(Saw(first, WM_CREATE));
    EXPECT_EQ(first.Wnd().Send(kAsk), 1);
    EXPECT_EQ(second.Wnd().Send(kAsk), 2);
    EXPECT_EQ(first.Wnd().Text(), "first");
}

TEST(CustomWindowTest, MessageOnlyWindowsWork) {
    ProbeWindow window(3);
    ASSERT_TRUE(window.Create(kClass, 0, 0, "", Area(), HWND_MESSAGE));
    EXPECT_EQ(window.Wnd().Send(kAsk), 3);
}

TEST(CustomWindowTest, ObjectForgetsItsWindowOnceDestroyed) {
    ProbeWindow window(4);
    ASSERT_TRUE(window.Create(kClass, 0, WS_POPUP, "", Area(), nullptr));
    const HWND hwnd = window.Handle();
    window.Destroy();
    EXPECT_TRUE(Saw(window, WM_DESTROY));
    EXPECT_TRUE(Saw(window, WM_NCDESTROY));
    EXPECT_EQ(window.Handle(), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd));
    // And may create another.
    EXPECT_TRUE(window.Create(kClass, 0, WS_POPUP, "", Area(), nullptr));
}

TEST(CustomWindowTest, DestructorDestroysTheWindow) {
    HWND hwnd = nullptr;
    {
        ProbeWindow window(5);
        ASSERT_TRUE(window.Create(kClass, 0, WS_POPUP, "", Area(), nullptr));
        hwnd = window.Handle();
    }
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(CustomWindowTest, AThrowingCreationFailsWithoutEscaping) {
    ProbeWindow window(6);
    window.failCreate = true;
    EXPECT_FALSE(window.Create(kClass, 0, WS_POPUP, "", Area(), nullptr));
    EXPECT_EQ(window.Handle(), nullptr);
}

TEST(CustomWindowTest, RefusesAClassNameTakenByAnotherProcedure) {
    ProbeWindow window(7);
    EXPECT_FALSE(window.Create(WindowClass{"Button"}, 0, WS_POPUP, "", Area(), nullptr));
    EXPECT_EQ(window.Handle(), nullptr);
}

} // namespace
