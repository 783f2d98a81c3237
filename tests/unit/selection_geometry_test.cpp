#include "select/selection_geometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int32_t kScreenW = 1024;
constexpr int32_t kScreenH = 768;

} // namespace

TEST(SelectionGeometry, TwoCornersSpanTheSameRegionInAnyOrderWithBothPixelsInside) {
    const RegionRect expected{100, 80, 420, 320};
    const ScreenPoint a{100, 80};
    const ScreenPoint b{419, 319};
    EXPECT_EQ(SpannedRegion(a, b), expected);
    EXPECT_EQ(SpannedRegion(b, a), expected);
    // The other diagonal.
    EXPECT_EQ(SpannedRegion({419, 80}, {100, 319}), expected);
    EXPECT_EQ(SpannedRegion({100, 319}, {419, 80}), expected);
    EXPECT_EQ(SizeLabelText(a, b), "320x240");
    EXPECT_EQ(SizeLabelText(b, a), "320x240");
}

TEST(SelectionGeometry, OnePixelIsAOneByOneRegion) {
    EXPECT_EQ(SpannedRegion({5, 7}, {5, 7}), (RegionRect{5, 7, 6, 8}));
    EXPECT_EQ(SizeLabelText({5, 7}, {5, 7}), "1x1");
    EXPECT_EQ(SizeLabelText({0, 0}, {kScreenW - 1, kScreenH - 1}), "1024x768");
    // Nonsense points stay defined instead of overflowing.
    constexpr auto max = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(SpannedRegion({max, max}, {max, max}).right, max);
}

TEST(SelectionGeometry, LabelIsCentredOnlyWhenItFitsWithRoomBothWays) {
    // 320x240 region, 40x16 label: centred, divisions truncated.
    EXPECT_EQ(SizeLabelPosition({100, 80, 420, 320}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{240, 192}));
    EXPECT_EQ(SizeLabelPosition({100, 80, 421, 321}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{240, 192}));
    // Exactly 24 spare pixels is not enough: outside the top-left corner.
    EXPECT_EQ(SizeLabelPosition({100, 80, 164, 320}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{60, 64}));
    // Wide but flat: a centred label would hide the top and bottom edges.
    EXPECT_EQ(SizeLabelPosition({100, 80, 600, 90}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{60, 64}));
}

TEST(SelectionGeometry, LabelOutsideGoesBeyondTheFarEdgeWhereThereIsNoRoomAndStaysOnScreen) {
    // No room left of or above the region: beyond its right and bottom edges, not over them.
    EXPECT_EQ(SizeLabelPosition({10, 5, 30, 20}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{30, 20}));
    // Room to the left only.
    EXPECT_EQ(SizeLabelPosition({50, 5, 60, 10}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{10, 10}));
    // In the bottom-right corner of the screen: pushed back onto it.
    EXPECT_EQ(SizeLabelPosition({0, 0, kScreenW, 10}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{kScreenW - 40, 10}));
    EXPECT_EQ(SizeLabelPosition({0, 760, 5, kScreenH}, 40, 16, kScreenW, kScreenH),
              (ScreenPoint{5, 744}));
    // A label larger than the screen starts at its edge.
    EXPECT_EQ(SizeLabelPosition({0, 0, 10, 10}, 2000, 1000, kScreenW, kScreenH),
              (ScreenPoint{0, 0}));
}

TEST(SelectionGeometry, ArrowKeysMoveTheCornerOnePixelAndStopAtTheScreenEdges) {
    const auto move = [](ScreenPoint p, SelectorKey k) {
        return MoveCorner(p, k, kScreenW, kScreenH);
    };
    EXPECT_EQ(move({10, 20}, SelectorKey::Left), (ScreenPoint{9, 20}));
    EXPECT_EQ(move({10, 20}, SelectorKey::Right), (ScreenPoint{11, 20}));
    EXPECT_EQ(move({10, 20}, SelectorKey::Up), (ScreenPoint{10, 19}));
    EXPECT_EQ(move({10, 20}, SelectorKey::Down), (ScreenPoint{10, 21}));
    EXPECT_EQ(move({0, 0}, SelectorKey::Left), (ScreenPoint{0, 0}));
    EXPECT_EQ(move({0, 0}, SelectorKey::Up), (ScreenPoint{0, 0}));
    EXPECT_EQ(move({kScreenW - 1, kScreenH - 1}, SelectorKey::Right),
              (ScreenPoint{kScreenW - 1, kScreenH - 1}));
    EXPECT_EQ(move({kScreenW - 1, kScreenH - 1}, SelectorKey::Down),
              (ScreenPoint{kScreenW - 1, kScreenH - 1}));
    EXPECT_EQ(move({kScreenW - 2, 3}, SelectorKey::Right), (ScreenPoint{kScreenW - 1, 3}));
    EXPECT_EQ(move({10, 20}, SelectorKey::Accept), (ScreenPoint{10, 20}));
}

TEST(SelectionGeometry, OnlyRegionsWithPixelsOnTheScreenCanBeRecorded) {
    EXPECT_TRUE(IsRecordableRegion({5, 7, 6, 8}, kScreenW, kScreenH));
    EXPECT_TRUE(IsRecordableRegion({0, 0, kScreenW, kScreenH}, kScreenW, kScreenH));
    // A maximised window sticks out of the screen and still counts.
    EXPECT_TRUE(IsRecordableRegion({-4, -4, kScreenW + 4, kScreenH + 4}, kScreenW, kScreenH));
    EXPECT_TRUE(IsRecordableRegion({-100, 50, 1, 60}, kScreenW, kScreenH));
    // Empty: a window without a client area.
    EXPECT_FALSE(IsRecordableRegion({100, 100, 100, 140}, kScreenW, kScreenH));
    EXPECT_FALSE(IsRecordableRegion({100, 100, 140, 100}, kScreenW, kScreenH));
    EXPECT_FALSE(IsRecordableRegion({100, 100, 90, 140}, kScreenW, kScreenH));
    // Wholly off the screen on any side.
    EXPECT_FALSE(IsRecordableRegion({-100, 50, 0, 60}, kScreenW, kScreenH));
    EXPECT_FALSE(IsRecordableRegion({50, -100, 60, 0}, kScreenW, kScreenH));
    EXPECT_FALSE(IsRecordableRegion({kScreenW, 50, kScreenW + 10, 60}, kScreenW, kScreenH));
    EXPECT_FALSE(IsRecordableRegion({50, kScreenH, 60, kScreenH + 10}, kScreenW, kScreenH));
}
