#include "framework/handles.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Records every close, so a double close or a leak shows up as a wrong list.
std::vector<int> g_closed;

struct FakeTraits {
    using Type = int;
    static Type Empty() noexcept { return 0; }
    static bool IsOwned(Type value) noexcept { return value != 0 && value != -1; }
    static void Close(Type value) noexcept { g_closed.push_back(value); }
};

using FakeHandle = UniqueHandle<FakeTraits>;

class UniqueHandleTest : public ::testing::Test {
protected:
    void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueHandleTest, ClosesExactlyOnceAcrossMovesAndResets) {
    {
        FakeHandle a(7);
        FakeHandle b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(a.get(), 0);
        FakeHandle c;
        c = std::move(b);
        EXPECT_TRUE(c);
        EXPECT_TRUE(g_closed.empty());
        c.reset();
        EXPECT_EQ(g_closed, std::vector<int>{7});
        c.reset();
    }
    EXPECT_EQ(g_closed, std::vector<int>{7});
}

TEST_F(UniqueHandleTest, ReplacingAValueClosesTheOldOne) {
    FakeHandle target(1);
    FakeHandle source(2);
    target = std::move(source);
    EXPECT_EQ(g_closed, std::vector<int>{1});
    target.reset(3);
    EXPECT_EQ(g_closed, (std::vector<int>{1, 2}));
    // Resetting to the value already owned must not close what is kept.
    target.reset(3);
    EXPECT_EQ(g_closed, (std::vector<int>{1, 2}));
    EXPECT_EQ(target.get(), 3);
}

TEST_F(UniqueHandleTest, SelfMoveKeepsTheHandle) {
    FakeHandle handle(4);
    FakeHandle& alias = handle;
    handle = std::move(alias);
    EXPECT_EQ(handle.get(), 4);
    EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueHandleTest, ReleaseHandsOverOwnership) {
    int raw = 0;
    {
        FakeHandle handle(5);
        raw = handle.release();
        EXPECT_FALSE(handle);
    }
    EXPECT_EQ(raw, 5);
    EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueHandleTest, PutClosesTheOldValueBeforeItIsOverwritten) {
    FakeHandle handle(6);
    int* slot = handle.put();
    EXPECT_EQ(g_closed, std::vector<int>{6});
    *slot = 8;
    EXPECT_EQ(handle.get(), 8);
}

TEST_F(UniqueHandleTest, ValuesTheTraitsCallEmptyAreNeverClosed) {
    {
        FakeHandle invalid(-1);
        EXPECT_FALSE(invalid);
        invalid.reset(0);
    }
    EXPECT_TRUE(g_closed.empty());
}

} // namespace
