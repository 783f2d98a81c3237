#include "framework/handles_win.h"

#include <gtest/gtest.h>

namespace {

TEST(HandlesWinTest, KernelHandleIsClosedWhenItsOwnerEnds) {
    HANDLE raw = nullptr;
    {
        UniqueKernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        raw = event.get();
        DWORD flags = 0;
        EXPECT_TRUE(::GetHandleInformation(raw, &flags));
    }
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));
}

TEST(HandlesWinTest, FailureValuesCountAsEmpty) {
    // CreateFile fails with INVALID_HANDLE_VALUE, FindFirstFile too; neither may be closed.
    UniqueKernelHandle file(
        ::CreateFileA("Z:\\no\\such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file);
    WIN32_FIND_DATAA data;
    UniqueFindHandle find(::FindFirstFileA("Z:\\no\\such\\dir\\*", &data));
    EXPECT_FALSE(find);
    EXPECT_EQ(UniqueFindHandle().get(), INVALID_HANDLE_VALUE);
}

TEST(HandlesWinTest, SelectionGuardPutsThePreviousObjectBack) {
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = ::GetCurrentObject(dc.get(), OBJ_PEN);
    UniquePen pen(::CreatePen(PS_SOLID, 3, RGB(255, 0, 0)));
    {
        const SelectionGuard guard(dc.get(), pen.get());
        EXPECT_TRUE(guard);
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_PEN), pen.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_PEN), original);
    // No longer selected, so it can really be deleted.
    EXPECT_TRUE(::DeleteObject(pen.release()));
}

TEST(HandlesWinTest, OwnedWindowIsDestroyed) {
    HWND raw = nullptr;
    {
        UniqueHwnd window(::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                            nullptr, nullptr, nullptr));
        raw = window.get();
        ASSERT_TRUE(::IsWindow(raw));
    }
    EXPECT_FALSE(::IsWindow(raw));
}

} // namespace
