#include "engine/panning.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Panning, ModifiersInvertTheLock) {
    constexpr int32_t ctrlShift = 2 | 4;
    EXPECT_FALSE(PanningActive(false, ctrlShift, 0));
    EXPECT_TRUE(PanningActive(false, ctrlShift, ctrlShift));
    EXPECT_FALSE(PanningActive(false, ctrlShift, 2)); // Ctrl alone
    EXPECT_FALSE(PanningActive(false, ctrlShift, 7)); // exactly, not at least
    EXPECT_TRUE(PanningActive(true, ctrlShift, 0));
    EXPECT_FALSE(PanningActive(true, ctrlShift, ctrlShift));
    EXPECT_FALSE(PanningActive(false, 0, 0)); // no modifier panning configured
    EXPECT_TRUE(PanningActive(true, 0, 0));
}

TEST(Panning, AxisFollowsTheMouseAndStaysOnScreen) {
    EXPECT_EQ(PanAxis(100, 10, 320, 1024), 110);
    EXPECT_EQ(PanAxis(100, -150, 320, 1024), 0);
    // Stops one pixel short of the far edge, also when the mouse did not move.
    EXPECT_EQ(PanAxis(700, 50, 320, 1024), 703);
    EXPECT_EQ(PanAxis(800, 0, 320, 1024), 703);
    EXPECT_EQ(PanAxis(703, 0, 320, 1024), 703);
}

TEST(Panning, RegionAsLargeAsTheScreenSettlesInsteadOfJumping) {
    // Clamping the near edge last keeps a screen-wide region at 0 tick after tick.
    int32_t x = 0;
    for (int tick = 0; tick < 4; ++tick) {
        x = PanAxis(x, tick % 2 ? 5 : -5, 1024, 1024);
        EXPECT_EQ(x, 0) << tick;
    }
    EXPECT_EQ(PanAxis(0, 3, 2000, 1024), 0);
}

TEST(Panning, ExtremeValuesDoNotOverflow) {
    constexpr auto max = std::numeric_limits<int32_t>::max();
    constexpr auto min = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(PanAxis(max, max, 320, 1024), 703);
    EXPECT_EQ(PanAxis(min, min, 320, 1024), 0);
}
