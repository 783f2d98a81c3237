#include "engine/frame_format.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

TEST(FrameFormat, RowAndImageSizes) {
    EXPECT_EQ(RowBytes(321, 24), 964);
    EXPECT_EQ(RowBytes(321, 4), 164);
    EXPECT_EQ(RowBytes(320, 32), 1280);
    EXPECT_EQ(RowBytes(1, 1), 4);
    EXPECT_EQ(ImageSize(320, 240, 24), 320 * 3 * 240);
    EXPECT_EQ(ImageSize(321, 2, 24), 964 * 2);
    EXPECT_EQ(ImageSize(1, 1, 8), 4);
}

TEST(FrameFormat, ImageSizeRefusesWhatCannotBeAFrame) {
    EXPECT_FALSE(ImageSize(0, 240, 24));
    EXPECT_FALSE(ImageSize(320, 0, 24));
    EXPECT_FALSE(ImageSize(-320, 240, 24));
    EXPECT_FALSE(ImageSize(320, -240, 24));
    EXPECT_FALSE(ImageSize(320, 240, 0));
    // Would overflow a signed 32-bit size.
    EXPECT_FALSE(ImageSize(32767, 32767, 32));
    EXPECT_FALSE(ImageSize(std::numeric_limits<int32_t>::max(), 1, 32));
    // The largest that fits still does.
    EXPECT_EQ(ImageSize(16384, 32767, 32), 16384 * 4 * 32767);
}

TEST(FrameFormat, ColourTableAndDefaultCompressorFollowTheDepth) {
    EXPECT_EQ(ColorCount(8), 256);
    EXPECT_EQ(ColorCount(4), 16);
    EXPECT_EQ(ColorCount(1), 2);
    EXPECT_EQ(ColorCount(16), 0);
    EXPECT_EQ(ColorCount(32), 0);
    EXPECT_EQ(DefaultHandler(8), fourcc::Mrle);
    EXPECT_EQ(DefaultHandler(16), fourcc::Msvc);
    EXPECT_EQ(DefaultHandler(32), fourcc::Msvc);
    EXPECT_EQ(DefaultHandler(4), fourcc::Dib);
    EXPECT_EQ(FourccText(fourcc::Dib), "DIB ");
    EXPECT_EQ(FourccText(0), "????");
}

TEST(FrameFormat, StreamRateIsThePlaybackRate) {
    auto same = VideoStreamRate(10.0, 10.0);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->rate, 10000u);
    EXPECT_EQ(same->scale, 1000u);
    auto faster = VideoStreamRate(5.0, 15.0);
    ASSERT_TRUE(faster);
    EXPECT_EQ(faster->rate, 5000u);
    EXPECT_EQ(faster->scale, 333u);
    auto fractional = VideoStreamRate(7.5, 7.5);
    ASSERT_TRUE(fractional);
    EXPECT_EQ(fractional->rate, 7500u);
    EXPECT_EQ(fractional->scale, 1000u);
    // A scale that would round to 0 or rates the engine cannot divide by are refused.
    EXPECT_FALSE(VideoStreamRate(0.001, 1000.0));
    EXPECT_FALSE(VideoStreamRate(0.0, 10.0));
    EXPECT_FALSE(VideoStreamRate(10.0, 0.0));
    EXPECT_FALSE(VideoStreamRate(std::nan(""), 10.0));
    EXPECT_FALSE(VideoStreamRate(10.0, std::numeric_limits<double>::infinity()));
}

TEST(FrameFormat, CompressorSettingsStayInTheRangeCompressorsUnderstand) {
    EXPECT_EQ(CompressorQuality(75), 7500u);
    EXPECT_EQ(CompressorQuality(0), 0u);
    EXPECT_EQ(CompressorQuality(100), 10000u);
    // Stored as given (the page takes 250 without a word), handed on as the best quality.
    EXPECT_EQ(CompressorQuality(250), 10000u);
    EXPECT_EQ(CompressorQuality(-1), 0u);
    EXPECT_EQ(CompressorQuality(INT32_MIN), 0u);
    EXPECT_EQ(KeyFrameInterval(20), 20u);
    EXPECT_EQ(KeyFrameInterval(-5), 0u);
}

TEST(FrameFormat, ColourTableMarksStaticAndFreeEntries) {
    std::array<PaletteColor, 16> palette{};
    for (int i = 0; i < 16; ++i)
        palette[i] = PaletteColor{uint8_t(i * 16), uint8_t(i * 8), uint8_t(i * 4)};
    palette[7] = palette[14]; // a free entry that repeats a static colour
    std::array<ColorEntry, 16> table{};
    BuildColorTable(palette.data(), 16, 2, table.data());
    EXPECT_EQ(table[0], (ColorEntry{0, 0, 0, 0}));
    EXPECT_EQ(table[15], (ColorEntry{255, 255, 255, 0}));
    EXPECT_EQ(table[1].reserved, 0);  // static, low end
    EXPECT_EQ(table[14].reserved, 0); // static, high end
    EXPECT_EQ(table[2].reserved, 4);
    EXPECT_EQ(table[7].reserved, 1);
    EXPECT_EQ(table[2].red, 32);
    EXPECT_EQ(table[2].green, 16);
    EXPECT_EQ(table[2].blue, 8);
}

TEST(FrameFormat, AviErrorNumberIsRelativeToTheAviBase) {
    EXPECT_EQ(AviErrorNumber(static_cast<int32_t>(0x80044066u)), 0x66);
    EXPECT_EQ(AviErrorNumber(static_cast<int32_t>(0x80044074u)), 0x74);
}
