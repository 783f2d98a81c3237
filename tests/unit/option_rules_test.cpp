#include "engine/option_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace option_rules;

namespace {
constexpr bool kIdle = false;
constexpr bool kBusy = true;
} // namespace

TEST(RecordingOptions, DefaultsAndResetKeepCommandLineFlagsAndLockPanText) {
    RecordingOptions o;
    EXPECT_EQ(o.FileName, "clip.avi");
    EXPECT_EQ(o.Width, 320);
    EXPECT_EQ(o.Height, 240);
    EXPECT_EQ(o.PanModifiers, 6);
    EXPECT_EQ(o.WndHide, 1048);
    EXPECT_EQ(o.Start, (HotKeyBinding{0x71, 0, "F2"}));
    EXPECT_EQ(o.LockPan.Key, 0x72u);
    EXPECT_EQ(o.LockPan.Mod, 4u);

    o.LockPan.Desc = "Shift+F3";
    o.FileName = "other.avi";
    o.FrameRate = o.PlaybackRate = 3.0;
    o.CompQuality = 5;
    o.KeyFrames = 1;
    o.StartX = 77;
    o.Start = {0x41, 2, "Ctrl+A"};
    o.DrawCursor = 0;
    o.FlashRect = 0;
    o.RecordAtStart = 1;
    o.ExitAfterRecording = 1;
    o.NoFrameCross = 1;
    o.ResetToDefaults();

    EXPECT_EQ(o.FileName, "clip.avi");
    EXPECT_EQ(o.FrameRate, 10.0);
    EXPECT_EQ(o.PlaybackRate, 10.0);
    EXPECT_EQ(o.CompQuality, 75);
    EXPECT_EQ(o.KeyFrames, 20);
    EXPECT_EQ(o.StartX, 0);
    EXPECT_EQ(o.Start, (HotKeyBinding{0x71, 0, "F2"}));
    EXPECT_EQ(o.DrawCursor, 1);
    EXPECT_EQ(o.FlashRect, 1);
    // Only the command line sets these, and the LockPan text comes from the resources.
    EXPECT_EQ(o.RecordAtStart, 1);
    EXPECT_EQ(o.ExitAfterRecording, 1);
    EXPECT_EQ(o.NoFrameCross, 1);
    EXPECT_EQ(o.LockPan.Desc, "Shift+F3");
}

TEST(RecordingOptions, CopiesCarrySharedFields) {
    RecordingOptions a;
    a.StartX = -20;
    a.PanLocked = 1;
    RecordingOptions b = a;
    EXPECT_EQ(b.StartX, -20);
    EXPECT_EQ(b.PanLocked, 1);
}

TEST(RateEncoding, ThousandthsRoundTripAndTimerPeriod) {
    EXPECT_EQ(RateFromThousandths(15000), 15.0);
    EXPECT_EQ(TimerPeriodMs(15.0), 67);
    EXPECT_EQ(TimerPeriodMs(10.0), 100);
    EXPECT_EQ(TimerPeriodMs(1000.0), 1);
    EXPECT_EQ(RateToThousandths(0.5), 500u);
    EXPECT_EQ(RateToThousandths(10.0), 10000u);
    EXPECT_EQ(RateToThousandths(29.97), 29970u);
    EXPECT_EQ(RateToThousandths(7.4996), 7500u); // rounded, not truncated
    for (double r : {0.001, 0.5, 7.5, 15.0, 29.97, 1000.0}) {
        double back = 0;
        ASSERT_TRUE(LoadRate(RateToThousandths(r), back)) << r;
        EXPECT_NEAR(back, r, 0.0005);
    }
}

TEST(RateEncoding, UnusableStoredRatesKeepTheField) {
    double field = 10.0;
    EXPECT_FALSE(LoadRate(0, field));
    EXPECT_EQ(field, 10.0);
    EXPECT_FALSE(LoadRate(0xFFFFFFFFu, field));
    EXPECT_EQ(field, 10.0);
    EXPECT_TRUE(LoadRate(1, field));
    EXPECT_EQ(field, 0.001);
    // Never a zero or negative period for the timer.
    EXPECT_EQ(TimerPeriodMs(0.0), 0);
    EXPECT_EQ(TimerPeriodMs(std::nan("")), 0);
}

TEST(AutomationSetters, SampleFormatSnapsToSupportedValues) {
    RecordingOptions o;
    const std::pair<int32_t, int32_t> rates[] = {
        {9000, 11025},  {22051, 44100}, {0, 8000},     {-5, 8000},     {8000, 8000},
        {11025, 11025}, {22050, 22050}, {8001, 11025}, {44100, 44100}, {1 << 30, 44100}};
    for (auto [in, want] : rates) {
        ASSERT_TRUE(SetSoundSampRate(o, in, kIdle));
        EXPECT_EQ(o.SoundSampRate, want) << in;
    }
    ASSERT_TRUE(SetSoundSampSize(o, 15, kIdle));
    EXPECT_EQ(o.SoundSampSize, 8);
    ASSERT_TRUE(SetSoundSampSize(o, 16, kIdle));
    EXPECT_EQ(o.SoundSampSize, 16);
    ASSERT_TRUE(SetSoundSampSize(o, 32, kIdle));
    EXPECT_EQ(o.SoundSampSize, 16);
    ASSERT_TRUE(SetSoundSampSize(o, -1, kIdle));
    EXPECT_EQ(o.SoundSampSize, 8);
}

TEST(AutomationSetters, IgnoredWhileRecordingExceptTheRegionOrigin) {
    RecordingOptions o;
    const RecordingOptions before = o;
    EXPECT_FALSE(SetWidth(o, 100, kBusy));
    EXPECT_FALSE(SetHeight(o, 100, kBusy));
    EXPECT_FALSE(SetFrameRate(o, 5.0, kBusy));
    EXPECT_FALSE(SetPlaybackRate(o, 5.0, kBusy));
    EXPECT_FALSE(SetFileName(o, "x.avi", kBusy));
    EXPECT_FALSE(SetIncrementFileName(o, false, kBusy));
    EXPECT_FALSE(SetRecordSound(o, true, kBusy));
    EXPECT_FALSE(SetKeyFrames(o, 3, kBusy));
    EXPECT_FALSE(SetCompQuality(o, 3, kBusy));
    EXPECT_FALSE(SetSoundSampSize(o, 16, kBusy));
    EXPECT_FALSE(SetSoundSampRate(o, 44100, kBusy));
    EXPECT_FALSE(SetFlashRect(o, false, kBusy));
    EXPECT_FALSE(SetHighlightClicks(o, true, kBusy));
    EXPECT_FALSE(SetShowKeys(o, 1, kBusy));
    EXPECT_EQ(o.Width, before.Width);
    EXPECT_EQ(o.FrameRate, before.FrameRate);
    EXPECT_EQ(o.FileName, before.FileName);
    EXPECT_EQ(o.IncrementFileName, before.IncrementFileName);
    EXPECT_EQ(o.SoundSampRate, before.SoundSampRate);
    EXPECT_EQ(o.FlashRect, before.FlashRect);
    EXPECT_EQ(o.HighlightClicks, 0);
    EXPECT_EQ(o.ShowKeys, 0);

    // The grabber picks the origin up from the next frame, so it may move at any time.
    EXPECT_TRUE(SetStartX(o, -32768));
    EXPECT_TRUE(SetStartY(o, 1200));
    EXPECT_EQ(o.StartX, -32768);
    EXPECT_EQ(o.StartY, 1200);
}

TEST(AutomationSetters, FrameRateAlsoSetsPlaybackButNotTheOtherWay) {
    RecordingOptions o;
    ASSERT_TRUE(SetFrameRate(o, 15.0, kIdle));
    EXPECT_EQ(o.FrameRate, 15.0);
    EXPECT_EQ(o.PlaybackRate, 15.0);
    ASSERT_TRUE(SetPlaybackRate(o, 25.0, kIdle));
    EXPECT_EQ(o.FrameRate, 15.0);
    EXPECT_EQ(o.PlaybackRate, 25.0);
}

TEST(AutomationSetters, RefuseValuesTheEngineCannotUse) {
    RecordingOptions o;
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {0.0, -5.0, std::nan(""), inf, -inf, 0.0004, 1000.5}) {
        EXPECT_FALSE(SetFrameRate(o, bad, kIdle)) << bad;
        EXPECT_FALSE(SetPlaybackRate(o, bad, kIdle)) << bad;
    }
    EXPECT_EQ(o.FrameRate, 10.0);
    EXPECT_EQ(o.PlaybackRate, 10.0);

    for (int16_t bad : {int16_t{0}, int16_t{-1}, int16_t{-32768}}) {
        EXPECT_FALSE(SetWidth(o, bad, kIdle));
        EXPECT_FALSE(SetHeight(o, bad, kIdle));
    }
    EXPECT_EQ(o.Width, 320);
    EXPECT_EQ(o.Height, 240);
    EXPECT_TRUE(SetWidth(o, 1, kIdle));
    EXPECT_EQ(o.Width, 1);

    EXPECT_TRUE(SetFileName(o, std::string(259, 'a'), kIdle));
    EXPECT_FALSE(SetFileName(o, std::string(260, 'b'), kIdle));
    EXPECT_FALSE(SetFileName(o, "", kIdle));
    EXPECT_FALSE(SetFileName(o, "a\nb.avi", kIdle));
    EXPECT_FALSE(SetFileName(o, std::string("a\0b", 3), kIdle));
    EXPECT_EQ(o.FileName, std::string(259, 'a'));
}

TEST(OptionRules, AutomationAndPanningKeepTheBoundsTheOtherPathsKeep) {
    // The video page's key-frame range.
    RecordingOptions o;
    for (int16_t bad : {int16_t{-1}, int16_t{101}, int16_t{-32768}})
        EXPECT_FALSE(SetKeyFrames(o, bad, kIdle)) << bad;
    EXPECT_EQ(o.KeyFrames, 20);
    EXPECT_TRUE(SetKeyFrames(o, 100, kIdle));
    EXPECT_TRUE(SetKeyFrames(o, 0, kIdle));
    EXPECT_EQ(o.KeyFrames, 0);
    // A position the program computes lands on the nearest one a user could have given.
    EXPECT_EQ(ClampPosition(1LL << 40), 32767);
    EXPECT_EQ(ClampPosition(-(1LL << 40)), -32768);
}
