#include "select/select_region_win.h"

#include "select/region_selector_win.h"

#include "framework/app_win.h"
#include "framework/custom_window_win.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr char kSelectorClass[] = "VidorraRegionSelector";
constexpr UINT kCall = WM_APP + 7;

// The program's message filter, with a switch to swallow Enter.
class FilteringApp : public Application {
public:
    FilteringApp() : Application(::GetModuleHandleA(nullptr)) {}
    bool swallowEnter = false;
    bool PreTranslateMessage(MSG& msg) override {
        return swallowEnter && msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN;
    }
};

// A window the test points at, or runs code in while a selection runs.
class TestWindow : public CustomWindow {
public:
    bool emptyClient = false;
    std::vector<std::function<void()>> calls;
    int buttonMessages = 0;

    void Open(const RECT& rect) {
        ASSERT_TRUE(Create(WindowClass{"SelectorTestWindow"}, WS_EX_TOPMOST, WS_POPUP | WS_BORDER,
                           "", rect, nullptr));
        ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(Handle());
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
        case WM_NCCALCSIZE:
            // Both forms start with the rectangle that becomes the client area.
            if (emptyClient) {
                RECT& client = *reinterpret_cast<RECT*>(lp);
                client.right = client.left;
                return 0;
            }
            break;
        case WM_NCHITTEST:
            if (emptyClient)
                return HTCLIENT;
            break;
        case kCall:
            calls.at(wp)();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            ++buttonMessages;
            break;
        default:
            break;
        }
        return CustomWindow::HandleMessage(msg, wp, lp);
    }
};

// What the user does, queued to the selector the moment it is created: posted messages come
// before any real input, so the real pointer cannot interfere.
struct Step {
    HWND target; // null: the selector
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    UINT release = 0; // a click: its button's release follows
};

Step Key(UINT vk) {
    return {nullptr, WM_KEYDOWN, vk, 1};
}
Step MoveTo(int x, int y) {
    return {nullptr, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)};
}
Step RightClick() {
    return {nullptr, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5), WM_RBUTTONUP};
}
Step Close() {
    return {nullptr, WM_CLOSE, 0, 0};
}

// Lets this thread's windows handle what is waiting, input from the platform included.
void Pump(DWORD ms) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    } while (::GetTickCount() - start < ms);
}

POINT Pointer() {
    POINT p{};
    ::GetCursorPos(&p);
    return p;
}

class SelectRegionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app_.LoadResourceLibrary("VidRes.dll"));
        options_.StartX = 11;
        options_.StartY = 22;
        options_.Width = 33;
        options_.Height = 44;
        // No keys: a key taken by another program would stop the test with a message box.
        options_.Start = options_.Pause = options_.SingleShot = options_.LockPan = HotKeyBinding{};
        helper_.Open(RECT{10, 700, 40, 730});
        s_current = this;
        hook_.reset(
            ::SetWindowsHookExA(WH_CBT, &SelectRegionTest::OnCbt, nullptr, ::GetCurrentThreadId()));
        ASSERT_TRUE(hook_);
    }
    void TearDown() override {
        hook_.reset();
        s_current = nullptr;
    }

    // A step that runs code on the test's thread in the middle of the selection.
    Step Call(std::function<void()> code) {
        helper_.calls.push_back(std::move(code));
        return {helper_.Handle(), kCall, helper_.calls.size() - 1, 0};
    }

    bool Select(SelectionKind kind, std::vector<Step> script) {
        script_ = std::move(script);
        return SelectScreenRegion(kind, nullptr, options_);
    }
    // For a selector the test creates itself.
    void Queue(std::vector<Step> script) { script_ = std::move(script); }

    void ExpectRegion(int x, int y, int w, int h) const {
        EXPECT_EQ(options_.StartX, x);
        EXPECT_EQ(options_.StartY, y);
        EXPECT_EQ(options_.Width, w);
        EXPECT_EQ(options_.Height, h);
    }

    FilteringApp app_;
    RecordingOptions options_;
    TestWindow helper_;
    int selectorsCreated_ = 0;

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wp, LPARAM lp) {
        if (code == HCBT_CREATEWND && s_current != nullptr) {
            const HWND created = reinterpret_cast<HWND>(wp);
            char name[64] = "";
            ::GetClassNameA(created, name, sizeof name);
            if (std::string(name) == kSelectorClass) {
                ++s_current->selectorsCreated_;
                for (const Step& s : s_current->script_) {
                    ::PostMessageA(s.target ? s.target : created, s.msg, s.wp, s.lp);
                    if (s.release != 0)
                        ::PostMessageA(created, s.release, 0, s.lp);
                }
            }
        }
        return ::CallNextHookEx(nullptr, code, wp, lp);
    }

    static inline SelectRegionTest* s_current = nullptr;
    std::vector<Step> script_;
    UniqueHook hook_;
};

TEST_F(SelectRegionTest, PickedWindowCountsWithItsClientAreaAndIsRefusedWithoutOne) {
    TestWindow target;
    target.Open(RECT{100, 100, 180, 160});
    EXPECT_TRUE(Select(SelectionKind::Window, {MoveTo(120, 120), Key(VK_RETURN)}));
    // Inside the one-pixel border.
    ExpectRegion(101, 101, 78, 58);

    TestWindow empty;
    empty.emptyClient = true;
    empty.Open(RECT{300, 100, 380, 160});
    RECT client{};
    ASSERT_TRUE(::GetClientRect(empty.Handle(), &client));
    ASSERT_TRUE(::IsRectEmpty(&client));
    EXPECT_FALSE(Select(SelectionKind::Window, {MoveTo(320, 120), Key(VK_RETURN)}));
    ExpectRegion(101, 101, 78, 58);
}

TEST_F(SelectRegionTest, AcceptingBeforeAnyWindowIsMarkedPicksNothing) {
    EXPECT_FALSE(Select(SelectionKind::Window, {Key(VK_RETURN)}));
    ExpectRegion(11, 22, 33, 44);
}

TEST_F(SelectRegionTest, ASecondSelectionCannotStartInsideTheFirst) {
    int attempts = 0;
    bool nested = true;
    const auto again = [&] {
        if (attempts++ == 0)
            nested = SelectScreenRegion(SelectionKind::Window, nullptr, options_);
    };
    EXPECT_FALSE(Select(SelectionKind::Region, {Call(again), RightClick()}));
    EXPECT_FALSE(nested);
    EXPECT_EQ(selectorsCreated_, 1);
}

TEST_F(SelectRegionTest, CursorHiddenFromTheKeyboardIsShownAgainWhenTheSelectorGoes) {
    const auto count = [] {
        ::ShowCursor(TRUE);
        return ::ShowCursor(FALSE);
    };
    const int before = count();
    int during = before;
    EXPECT_FALSE(Select(SelectionKind::Region,
                        {Key(VK_ADD), Call([&] { during = count(); }), RightClick()}));
    EXPECT_EQ(during, before - 1);
    EXPECT_EQ(count(), before);
}

TEST_F(SelectRegionTest, EveryMessageGoesThroughTheProgramsFilterFirst) {
    app_.swallowEnter = true;
    // Enter never arrives, so the right click cancels.
    EXPECT_FALSE(Select(SelectionKind::Region, {Key(VK_RETURN), Key(VK_RETURN), RightClick()}));
    ExpectRegion(11, 22, 33, 44);
}

TEST_F(SelectRegionTest, ClosingEndsTheRunAsCancelledAndKeepsTheWindowForItsOwner) {
    TestWindow target;
    target.Open(RECT{100, 100, 180, 160});
    Queue({MoveTo(120, 120), Close()});
    CRegionSelector selector;
    ASSERT_TRUE(selector.Create());
    selector.SetMode(CRegionSelector::Mode::WindowPicking);
    EXPECT_FALSE(IsAccepted(selector.Run()));
    // Destroyed by the close, the selector would finish its run (erasing its flashing frame)
    // on a null window, whose device context is the whole screen.
    EXPECT_NE(selector.Handle(), nullptr);
}

TEST_F(SelectRegionTest, KeysWhilePickingAWindowLeaveThePointerWhereTheUserPutIt) {
    TestWindow target;
    target.Open(RECT{100, 100, 180, 160});
    POINT after{};
    ::SetCursorPos(300, 300);
    EXPECT_TRUE(Select(SelectionKind::Window,
                       {Call([] { ::SetCursorPos(150, 130); }), MoveTo(150, 130), Key('A'),
                        Key(VK_LEFT), Call([&] { after = Pointer(); }), Key(VK_RETURN)}));
    EXPECT_EQ(after.x, 150);
    EXPECT_EQ(after.y, 130);
    ExpectRegion(101, 101, 78, 58);
}

TEST_F(SelectRegionTest, TheEndingClickStaysWithTheSelectorUntilItsButtonComesUp) {
    TestWindow target;
    target.Open(RECT{100, 100, 180, 160});
    // Real input, as the platform delivers it: a press and a release over the target.
    const auto click = [] {
        ::SetCursorPos(140, 130);
        INPUT input[3]{};
        for (INPUT& i : input)
            i.type = INPUT_MOUSE;
        input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        input[0].mi.dwFlags = MOUSEEVENTF_MOVE;
        ::SendInput(3, input, sizeof(INPUT));
    };
    EXPECT_TRUE(Select(SelectionKind::Window, {Call(click)}));
    Pump(300);
    ExpectRegion(101, 101, 78, 58);
    EXPECT_EQ(target.buttonMessages, 0);
}

} // namespace
