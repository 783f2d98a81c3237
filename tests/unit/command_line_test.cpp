#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

RecordingOptions Apply(const Args& args, const WindowRectLookup& lookup = {}) {
    RecordingOptions o;
    ApplyRecordingSwitches(args, o, lookup);
    return o;
}

} // namespace

TEST(CommandLine, MaintenanceSwitchesOnlyAsTheWholeFirstArgument) {
    EXPECT_EQ(FindMaintenanceSwitch({"-install"}), MaintenanceSwitch::Install);
    EXPECT_EQ(FindMaintenanceSwitch({"-installcodec"}), MaintenanceSwitch::InstallCodec);
    EXPECT_EQ(FindMaintenanceSwitch({"-uninstall", "x"}), MaintenanceSwitch::Uninstall);
    EXPECT_EQ(FindMaintenanceSwitch({"-dumpopts"}), MaintenanceSwitch::DumpOptions);
    EXPECT_EQ(FindMaintenanceSwitch({"-readopts"}), MaintenanceSwitch::ReadOptions);
    EXPECT_EQ(FindMaintenanceSwitch({"-repair", "take.avi"}), MaintenanceSwitch::Repair);
    EXPECT_EQ(FindMaintenanceSwitch({"-rec", "-install"}), MaintenanceSwitch::None);
    EXPECT_EQ(FindMaintenanceSwitch({"-Install"}), MaintenanceSwitch::None);
    EXPECT_EQ(FindMaintenanceSwitch({"-installx"}), MaintenanceSwitch::None);
    EXPECT_EQ(FindMaintenanceSwitch({}), MaintenanceSwitch::None);
    // Not a recording switch either.
    const auto o = Apply({"-rec", "-install"});
    EXPECT_EQ(o.RecordAtStart, 1);
}

TEST(CommandLine, AutomationSwitchesAnywhereInAnyCase) {
    EXPECT_TRUE(IsAutomationStart({"-Automation"}));
    EXPECT_TRUE(IsAutomationStart({"x", "/EMBEDDING"}));
    EXPECT_TRUE(IsAutomationStart({"-embedding"}));
    EXPECT_FALSE(IsAutomationStart({"Automation"}));
    EXPECT_FALSE(IsAutomationStart({"-Automations"}));
    EXPECT_FALSE(IsAutomationStart({"-", "/"}));
}

TEST(CommandLine, LongerSwitchesWinOverTheirPrefixes) {
    auto o = Apply({"-recx"});
    EXPECT_EQ(o.RecordAtStart, 1);
    EXPECT_EQ(o.ExitAfterRecording, 1);
    o = Apply({"-recording"});
    EXPECT_EQ(o.RecordAtStart, 1);
    EXPECT_EQ(o.ExitAfterRecording, 0);
    o = Apply({"-nox"});
    EXPECT_EQ(o.NoFrameCross, 1);
    EXPECT_EQ(o.DrawCursor, 1);
    o = Apply({"-nocursor"});
    EXPECT_EQ(o.DrawCursor, 0);
    EXPECT_EQ(o.NoFrameCross, 0);
    // "-hc" and "-sk" are neither a height nor sound.
    o = Apply({"-hc+", "-sk+"});
    EXPECT_EQ(o.HighlightClicks, 1);
    EXPECT_EQ(o.ShowKeys, 1);
    EXPECT_EQ(o.Height, 240);
    EXPECT_EQ(o.RecordSound, 0);
    o = Apply({"-hc+", "-hc-", "-sk+", "-sk-"});
    EXPECT_EQ(o.HighlightClicks, 0);
    EXPECT_EQ(o.ShowKeys, 0);
    // "-hw" is never a height, even with no window behind it.
    o = Apply({"-hw77"}, [](uint64_t, ScreenRect&) { return false; });
    EXPECT_EQ(o.Height, 240);
}

TEST(CommandLine, RegionRateAndFlags) {
    auto o = Apply({"-x-20", "-y 15", "-w640", "-h480", "-f7.5", "-k5", "-i-", "-s+"});
    EXPECT_EQ(o.StartX, -20);
    EXPECT_EQ(o.StartY, 15);
    EXPECT_EQ(o.Width, 640);
    EXPECT_EQ(o.Height, 480);
    EXPECT_EQ(o.FrameRate, 7.5);
    EXPECT_EQ(o.PlaybackRate, 7.5);
    EXPECT_EQ(o.KeyFrames, 5);
    EXPECT_EQ(o.IncrementFileName, 0);
    EXPECT_EQ(o.RecordSound, 1);
    o = Apply({"-i-", "-i+", "-s+", "-s-"});
    EXPECT_EQ(o.IncrementFileName, 1);
    EXPECT_EQ(o.RecordSound, 0);
    o = Apply({"-x99999999999"});
    EXPECT_EQ(o.StartX, 0); // saturated, not wrapped into range, and so refused
}

TEST(CommandLine, NumberSwitchesTakeASeparateNumberArgument) {
    auto o = Apply({"-recx", "-x", "100", "-y", "80", "-w", "320", "-h", "240", "-f", "15", "-a",
                    "C:\\out\\take.avi", "-i-"});
    EXPECT_EQ(o.StartX, 100);
    EXPECT_EQ(o.StartY, 80);
    EXPECT_EQ(o.Width, 320);
    EXPECT_EQ(o.Height, 240);
    EXPECT_EQ(o.FrameRate, 15.0);
    EXPECT_EQ(o.FileName, "C:\\out\\take.avi");
    EXPECT_EQ(o.IncrementFileName, 0);
    o = Apply({"-x", "-20", "-k", "7", "-f", ".5"});
    EXPECT_EQ(o.StartX, -20);
    EXPECT_EQ(o.KeyFrames, 7);
    EXPECT_EQ(o.FrameRate, 0.5);
    // A following switch is not a value.
    o = Apply({"-w", "-rec"});
    EXPECT_EQ(o.Width, 320);
    EXPECT_EQ(o.RecordAtStart, 1);
}

// Refused switches by name and value, in command-line order.
std::vector<std::string> Refused(const Args& args) {
    RecordingOptions o;
    std::vector<std::string> named;
    for (const RefusedSwitch& r : ApplyRecordingSwitches(args, o, {}))
        named.push_back(r.name + " " + r.value);
    return named;
}

TEST(CommandLine, ValuesTheEngineCannotUseKeepTheLoadedOnesAndAreReported) {
    const Args unusable = {"-f0", "-f-5", "-fnan", "-finf", "-w0", "-h-1", "-hx12", "-wabc"};
    EXPECT_EQ(Refused(unusable), (std::vector<std::string>{"-f 0", "-f -5", "-f nan", "-f inf",
                                                           "-w 0", "-h -1", "-h x12", "-w abc"}));
    EXPECT_EQ(Refused({"-a", std::string(300, 'n'), "-w100", "-a"}),
              (std::vector<std::string>{"-a " + std::string(300, 'n'), "-a "}));
    EXPECT_EQ(Refused({"-a", "take\x01.avi"}), (std::vector<std::string>{"-a take\x01.avi"}));
    EXPECT_TRUE(Refused({"-rec", "-f", "12.5", "-w", "100", "-a", "C:\\take.avi"}).empty());

    EXPECT_EQ(
        Refused({"-k-3", "-k101", "-x-2000000000", "-y", "32768", "-hw", "99"}),
        (std::vector<std::string>{"-k -3", "-k 101", "-x -2000000000", "-y 32768", "-hw 99"}));

    auto all = unusable;
    all.insert(all.end(), {"-k-3", "-k101", "-x-2000000000", "-y", "32768"});
    const auto o = Apply(all);
    EXPECT_EQ(o.StartX, 0);
    EXPECT_EQ(o.StartY, 0);
    EXPECT_EQ(o.FrameRate, 10.0);
    EXPECT_EQ(o.PlaybackRate, 10.0);
    EXPECT_EQ(o.Width, 320);
    EXPECT_EQ(o.Height, 240);
    EXPECT_EQ(o.KeyFrames, 20);
    const auto named = Apply({"-a", std::string(300, 'n')});
    EXPECT_EQ(named.FileName, "clip.avi");
}

TEST(CommandLine, FileNameIsTheNextArgumentWhichIsStillExamined) {
    auto o = Apply({"-a", "-rec"});
    EXPECT_EQ(o.FileName, "-rec");
    EXPECT_EQ(o.RecordAtStart, 1);
    o = Apply({"-a", "C:\\out\\take.avi", "-w100"});
    EXPECT_EQ(o.FileName, "C:\\out\\take.avi");
    EXPECT_EQ(o.Width, 100);
    o = Apply({"-w100", "-a"}); // last: ignored
    EXPECT_EQ(o.FileName, "clip.avi");
}

TEST(CommandLine, WindowHandleTakesTheWindowsOuterRectangle) {
    const WindowRectLookup lookup = [](uint64_t handle, ScreenRect& r) {
        if (handle != 4242)
            return false;
        r = {10, 20, 410, 320};
        return true;
    };
    auto o = Apply({"-hw4242"}, lookup);
    EXPECT_EQ(o.StartX, 10);
    EXPECT_EQ(o.StartY, 20);
    EXPECT_EQ(o.Width, 400);
    EXPECT_EQ(o.Height, 300);
    o = Apply({"-hw0"}, lookup);
    EXPECT_EQ(o.Width, 320);
    o = Apply({"-hw99"}, lookup);
    EXPECT_EQ(o.Width, 320);
    o = Apply({"-hwx"}, lookup);
    EXPECT_EQ(o.Width, 320);
    // A window whose edge lies where no region may start leaves the region alone.
    const WindowRectLookup far = [](uint64_t, ScreenRect& r) {
        r = {-40000, 0, 100, 100};
        return true;
    };
    o = Apply({"-hw1"}, far);
    EXPECT_EQ(o.StartX, 0);
    EXPECT_EQ(o.Width, 320);
}

TEST(CommandLine, LeadingIntegerReadsLikeTheCLibrary) {
    EXPECT_EQ(LeadingInteger("  -42abc"), -42);
    EXPECT_EQ(LeadingInteger("+7"), 7);
    EXPECT_EQ(LeadingInteger(""), 0);
    EXPECT_EQ(LeadingInteger("x1"), 0);
    EXPECT_EQ(LeadingInteger("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(LeadingInteger("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(LeadingInteger("2147483647"), 2147483647);
}
