#include "sound/wave_format.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <utility>

namespace {

TEST(WaveFormat, OnlyTheFourRatesAtEightOrSixteenBitsAreRecorded) {
    for (const int rate : {8000, 11025, 22050, 44100}) {
        for (const int bits : {8, 16}) {
            const auto f = MonoPcmFormat(rate, bits);
            ASSERT_TRUE(f) << rate << "x" << bits;
            EXPECT_EQ(f->formatTag, kWaveFormatPcm);
            EXPECT_EQ(f->channels, 1);
            EXPECT_EQ(f->blockAlign, bits / 8);
            EXPECT_EQ(f->avgBytesPerSec, static_cast<uint32_t>(rate * bits / 8));
            EXPECT_TRUE(IsUsablePcmFormat(*f));
        }
    }
    for (const auto& [rate, bits] : std::array<std::pair<int, int>, 6>{
             {{16000, 8}, {11025, 12}, {0, 8}, {-11025, 8}, {44100, 24}, {48000, 16}}})
        EXPECT_FALSE(MonoPcmFormat(rate, bits)) << rate << "x" << bits;

    PcmFormat stereo = *MonoPcmFormat(22050, 16);
    stereo.channels = 2;
    EXPECT_FALSE(IsUsablePcmFormat(stereo));
    PcmFormat wrongAverage = *MonoPcmFormat(22050, 16);
    wrongAverage.avgBytesPerSec = 22050;
    EXPECT_FALSE(IsUsablePcmFormat(wrongAverage));
}

TEST(WaveFormat, EncodesTheSixteenBytesThePlatformReads) {
    const PcmFormat f = *MonoPcmFormat(22050, 16);
    const auto bytes = EncodePcmFormat(f);
    const std::array<uint8_t, 16> expected = {1,    0,    1, 0, 0x22, 0x56, 0,  0,
                                              0x44, 0xAC, 0, 0, 2,    0,    16, 0};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(DecodePcmFormat(bytes), f);
}

// Every row of the capture buffer table: about 186 ms of sound a buffer (256 ms at 8000).
TEST(WaveFormat, CaptureBufferLengthsFollowTheRateAndDepth) {
    struct Row {
        int rate, bits, bytes, samples;
    };
    const Row rows[] = {
        {8000, 8, 2048, 2048},   {8000, 16, 4096, 2048},   {11025, 8, 2048, 2048},
        {11025, 16, 4096, 2048}, {22050, 8, 4096, 4096},   {22050, 16, 8192, 4096},
        {44100, 8, 8192, 8192},  {44100, 16, 16384, 8192},
    };
    for (const Row& row : rows) {
        const PcmFormat f = *MonoPcmFormat(row.rate, row.bits);
        EXPECT_EQ(CaptureBufferBytes(f), row.bytes) << row.rate << "x" << row.bits;
        EXPECT_EQ(SamplesInBytes(static_cast<uint32_t>(row.bytes), f), row.samples);
    }
}

TEST(WaveFormat, RecordedBytesCountWholeSamples) {
    const PcmFormat sixteen = *MonoPcmFormat(11025, 16);
    EXPECT_EQ(SamplesInBytes(4096, sixteen), 2048);
    EXPECT_EQ(SamplesInBytes(1, sixteen), 0);
    EXPECT_EQ(SamplesInBytes(4097, sixteen), 2048);
    EXPECT_EQ(SamplesInBytes(0xFFFFFFFFu, *MonoPcmFormat(8000, 8)), INT32_MAX);
}

TEST(WaveFormat, OneFrameOfSilenceLastsOneFrameInTheFormatsOwnSamples) {
    const SilenceFrame eight = SilenceForFrame(*MonoPcmFormat(11025, 8), 10.0);
    EXPECT_EQ(eight.samples, 1102);
    EXPECT_EQ(eight.bytes, 1102);
    EXPECT_EQ(eight.fill, 0x80);

    const SilenceFrame slow = SilenceForFrame(*MonoPcmFormat(8000, 8), 3.0);
    EXPECT_EQ(slow.samples, 2666);
    EXPECT_EQ(2 * slow.samples, 5332);

    const SilenceFrame sixteen = SilenceForFrame(*MonoPcmFormat(44100, 16), 15.0);
    EXPECT_EQ(sixteen.samples, 2940);
    EXPECT_EQ(sixteen.bytes, 5880); // two bytes a sample, so the stream's sample size holds
    EXPECT_EQ(sixteen.fill, 0x00);

    // A frame a thousand seconds long still counts, without overflowing.
    const SilenceFrame longest = SilenceForFrame(*MonoPcmFormat(44100, 16), 0.001);
    EXPECT_EQ(longest.samples, 44100000);
    EXPECT_EQ(longest.bytes, 88200000);

    for (const double rate : {0.0, -10.0, std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity()})
        EXPECT_EQ(SilenceForFrame(*MonoPcmFormat(11025, 8), rate).samples, 0) << rate;
}

// The sample a frame plays with, for runs of sound placed after any number of pauses: exact at
// rates in thousandths (29.97 frames a second does not drift by the 0.7 sample a frame that a
// frame's truncated silence loses), and nothing for a rate that is not one.
TEST(WaveFormat, TheSampleAFramePlaysWithIsExactAtAnyRate) {
    struct Case {
        uint32_t samplesPerSec;
        double rate;
        int64_t frame;
        int64_t sample;
    };
    for (const Case& c :
         {Case{11025, 10.0, 7, 7717}, Case{22050, 29.97, 107892, 79380000},
          Case{44100, 4.9, 3, 27000}, Case{8000, 3.0, 1, 2666},
          Case{44100, 60.0, int64_t{1} << 32, (int64_t{1} << 32) * 735},
          Case{44100, 60.0, (int64_t{1} << 32) + 5, (int64_t{1} << 32) * 735},
          Case{11025, 10.0, 0, 0}, Case{11025, 10.0, -3, 0}, Case{11025, 0.0, 5, 0},
          Case{11025, -1.0, 5, 0}, Case{11025, std::numeric_limits<double>::quiet_NaN(), 5, 0}}) {
        EXPECT_EQ(SampleAtFrame(*MonoPcmFormat(c.samplesPerSec, 8), c.rate, c.frame), c.sample)
            << c.samplesPerSec << " at " << c.rate << ", frame " << c.frame;
    }
}

} // namespace
