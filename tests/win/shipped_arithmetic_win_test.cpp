// The portable core's rate arithmetic as the shipped compiler builds it. The native unit tests
// check the rules; this checks them on the program's own floating point, which in the 32-bit
// build keeps more digits than a double (1000 * 29.97 is a hair under 29970 there).

#include "engine/frame_format.h"
#include "engine/option_rules.h"
#include "sound/wave_format.h"

#include <gtest/gtest.h>

namespace {

TEST(ShippedArithmetic, RatesThatAreWholeInThousandthsComeOutWhole) {
    struct StreamCase {
        double capture, playback;
        uint32_t rate, scale;
    };
    for (const StreamCase c :
         {StreamCase{29.97, 29.97, 29970, 1000}, StreamCase{23.976, 23.976, 23976, 1000},
          StreamCase{59.94, 29.97, 59940, 2000}, StreamCase{5, 15, 5000, 333},
          StreamCase{20, 7.5, 20000, 2667}}) {
        const auto r = VideoStreamRate(c.capture, c.playback);
        ASSERT_TRUE(r) << c.capture;
        EXPECT_EQ(r->rate, c.rate) << c.capture;
        EXPECT_EQ(r->scale, c.scale) << c.capture << " at " << c.playback;
    }

    struct PeriodCase {
        double rate;
        int32_t ms;
    };
    for (const PeriodCase c : {PeriodCase{3.2, 313}, PeriodCase{0.64, 1563},
                               PeriodCase{0.128, 7813}, PeriodCase{15, 67}})
        EXPECT_EQ(option_rules::TimerPeriodMs(c.rate), c.ms) << c.rate;

    struct SilenceCase {
        int32_t samplesPerSec;
        double playback;
        int32_t samples;
    };
    for (const SilenceCase c : {SilenceCase{22050, 4.9, 4500}, SilenceCase{8000, 0.1, 80000},
                                SilenceCase{11025, 10, 1102}}) {
        const auto format = MonoPcmFormat(c.samplesPerSec, 8);
        ASSERT_TRUE(format);
        EXPECT_EQ(SilenceForFrame(*format, c.playback).samples, c.samples)
            << c.samplesPerSec << " at " << c.playback;
    }
}

} // namespace
