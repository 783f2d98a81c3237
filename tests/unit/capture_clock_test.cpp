#include "sound/capture_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Report {
    uint32_t atMs;
    int64_t samples;
};

// Measured under Wine's PulseAudio driver: started at 4993 ms, the device's count first moved at
// 5652 ms; buffers of 4096 samples at 22050 a second came back later than the count.
TEST(CaptureClock, TheEarliestMomentAnyReportAllowsPlacesTheFirstSample) {
    struct Case {
        const char* what;
        uint32_t startedMs;
        std::vector<Report> reports;
        uint32_t firstSampleMs;
    };
    const std::vector<Case> cases{
        {"one buffer back", 4993, {{5808, 4096}}, 5808 - 185},
        {"the count, then buffers", 4993, {{5652, 884}, {5808, 4096}, {6034, 8192}}, 5612},
        {"a later, earlier-placing report wins", 4993, {{5808, 4096}, {6034, 10387}}, 5563},
        {"never before the start", 1000, {{1100, 22050}}, 1000},
        {"nothing captured tells nothing", 1000, {{1100, 0}, {1500, 2205}}, 1400},
        {"across the clock's wrap", 0xFFFFFF00u, {{0x100, 2205}}, 0xFFFFFF00u + 0x200 - 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CaptureClock clock(22050);
        clock.Start(c.startedMs);
        EXPECT_FALSE(clock.Known());
        for (const Report& r : c.reports)
            clock.Observe(r.atMs, r.samples);
        EXPECT_TRUE(clock.Known());
        EXPECT_EQ(clock.FirstSampleMs(), c.firstSampleMs);
    }
    // A new start forgets the last run's reports.
    CaptureClock clock(11025);
    clock.Start(0);
    clock.Observe(100, 1);
    clock.Start(5000);
    EXPECT_FALSE(clock.Known());
}

TEST(CaptureClock, ARunIsCutToItsPictureOrPutAfterSilence) {
    // Sound from before the picture is left out; a device that began after it waits in silence.
    EXPECT_EQ(AlignRun(1000, 1500, 22050).drop, 11025);
    EXPECT_EQ(AlignRun(1000, 1500, 22050).silence, 0);
    EXPECT_EQ(AlignRun(1500, 1000, 8000).drop, 0);
    EXPECT_EQ(AlignRun(1500, 1000, 8000).silence, 4000);
    // Far apart: no cap on either (a slow first frame, a device seconds late).
    EXPECT_EQ(AlignRun(0, 5000, 44100).drop, 220500);
    EXPECT_EQ(AlignRun(7000, 0, 44100).silence, 308700);
    EXPECT_EQ(AlignRun(0xFFFFFFF0u, 0x10, 1000).drop, 32);
    EXPECT_EQ(SamplesBetween(10, 5, 1000), 0);
}

} // namespace
