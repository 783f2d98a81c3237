#include "engine/frame_ring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

TEST(FrameCounter, FirstAbortWinsAndAdvancesLeaveItAlone) {
    FrameCounter c;
    EXPECT_TRUE(c.AdvanceTo(3));
    EXPECT_FALSE(c.AdvanceTo(2)); // never backwards
    EXPECT_EQ(c.Load(), 3);
    EXPECT_TRUE(c.Abort(abort_code::SoundWriteFailed));
    EXPECT_FALSE(c.Abort(abort_code::TooManyDropped));
    EXPECT_FALSE(c.AdvanceTo(4));
    EXPECT_EQ(c.Load(), abort_code::SoundWriteFailed);
    c.Reset();
    EXPECT_EQ(c.Load(), 0);
}

TEST(FrameCounter, ConcurrentAdvancesAndAbortsKeepTheFirstAbort) {
    for (int round = 0; round < 20; ++round) {
        FrameCounter c;
        std::vector<std::thread> threads;
        std::atomic<int> stored{0};
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 1; i < 2000; ++i) {
                    c.AdvanceTo(i);
                    if (i == 1000 + t &&
                        c.Abort(t % 2 ? abort_code::TooManyDropped : abort_code::SoundWriteFailed))
                        stored.fetch_add(1);
                }
            });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(stored.load(), 1);
        EXPECT_TRUE(c.Load() == abort_code::TooManyDropped ||
                    c.Load() == abort_code::SoundWriteFailed);
    }
}

TEST(FrameRing, FramesComeOutInCaptureOrderAndAFullRingRefuses) {
    FrameRing ring;
    ring.Reset();
    EXPECT_EQ(ring.NextFilled(), -1); // first look: slot 0 only
    for (int32_t pos = 0; pos < FrameRing::kSlots; ++pos) {
        const int slot = ring.FreeSlot();
        ASSERT_EQ(slot, pos);
        ring.Publish(slot, pos * 10);
    }
    EXPECT_EQ(ring.FreeSlot(), -1);
    EXPECT_EQ(ring.Waiting(), 5);
    for (int32_t pos = 0; pos < 3; ++pos) {
        const int slot = ring.NextFilled();
        ASSERT_GE(slot, 0);
        EXPECT_EQ(ring.Position(slot), pos * 10);
        ring.Release(slot);
    }
    // Refill behind the reader and read on: still in order across the wrap.
    for (int32_t pos = 5; pos < 8; ++pos) {
        const int slot = ring.FreeSlot();
        ASSERT_GE(slot, 0);
        ring.Publish(slot, pos * 10);
    }
    for (int32_t pos = 3; pos < 8; ++pos) {
        const int slot = ring.NextFilled();
        ASSERT_GE(slot, 0);
        EXPECT_EQ(ring.Position(slot), pos * 10);
        ring.Release(slot);
    }
    EXPECT_EQ(ring.NextFilled(), -1);
}

TEST(FrameRing, ATickThatDoesNotPublishKeepsTheOrder) {
    // A paused tick captures into the free slot but hands nothing over; the next frame must
    // still come out after the ones before it.
    FrameRing ring;
    ring.Reset();
    ring.Publish(ring.FreeSlot(), 0);
    ring.Publish(ring.FreeSlot(), 1);
    const int unused = ring.FreeSlot();
    EXPECT_EQ(unused, 2);
    EXPECT_EQ(ring.FreeSlot(), 2); // given back: the next tick takes the same slot
    ring.Publish(ring.FreeSlot(), 2);
    for (int32_t pos = 0; pos < 3; ++pos) {
        const int slot = ring.NextFilled();
        ASSERT_GE(slot, 0);
        EXPECT_EQ(ring.Position(slot), pos);
        ring.Release(slot);
    }
}

TEST(FrameRing, ProducerAndConsumerThreadsHandOverEveryFrameOnceInOrder) {
    FrameRing ring;
    ring.Reset();
    constexpr int32_t kFrames = 20000;
    std::thread producer([&] {
        for (int32_t pos = 0; pos < kFrames;) {
            const int slot = ring.FreeSlot();
            if (slot < 0) {
                std::this_thread::yield();
                continue;
            }
            ring.Publish(slot, pos++);
        }
    });
    int32_t expected = 0;
    while (expected < kFrames) {
        const int slot = ring.NextFilled();
        if (slot < 0) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(ring.Position(slot), expected);
        ++expected;
        ring.Release(slot);
    }
    producer.join();
}

namespace {

// Runs a schedule with a tick every `periodMs` for `seconds`, returning the last position.
int32_t RunTicks(FrameSchedule& s, double periodMs, double seconds, uint32_t startMs = 1000) {
    int32_t last = -1;
    for (double t = periodMs; t <= seconds * 1000.0; t += periodMs) {
        int32_t pos = 0;
        if (s.Next(startMs + static_cast<uint32_t>(t), pos) == FrameSchedule::Verdict::Capture) {
            EXPECT_GT(pos, last);
            last = pos;
        }
    }
    return last;
}

} // namespace

TEST(FrameSchedule, PositionsKeepRealTimeWithRoundedTimerPeriods) {
    // (rate, timer period in whole ms): the period rounds one way or the other.
    const std::pair<double, double> cases[] = {{15.0, 67}, {30.0, 33}, {10.0, 100}, {7.0, 143}};
    for (auto [rate, period] : cases) {
        FrameSchedule s;
        s.Start(rate);
        const double seconds = 600;
        const int32_t last = RunTicks(s, period, seconds);
        // The last frame's timestamp in the file against the real time of its tick.
        const double lastTickMs = std::floor(seconds * 1000.0 / period) * period;
        const double fileMs = (last + 1) * 1000.0 / rate;
        EXPECT_NEAR(fileMs, lastTickMs, 1000.0 / rate) << rate;
    }
}

TEST(FrameSchedule, FirstTickIsPositionZeroAndJitterNeitherSkipsNorRepeats) {
    FrameSchedule s;
    s.Start(10.0);
    int32_t pos = -1;
    ASSERT_EQ(s.Next(5000, pos), FrameSchedule::Verdict::Capture);
    EXPECT_EQ(pos, 0);
    // Ticks up to 40 ms early or late still land on consecutive positions.
    const int jitter[] = {30, -40, 10, 0, -20, 40};
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(s.Next(5000 + 100 * (i + 1) + jitter[i], pos), FrameSchedule::Verdict::Capture);
        EXPECT_EQ(pos, i + 1);
    }
    EXPECT_EQ(s.Skipped(), 0);
    // A tick on top of the previous one is not used; a late one skips what fell due.
    EXPECT_EQ(s.Next(5000 + 600 + 45, pos), FrameSchedule::Verdict::TooEarly);
    ASSERT_EQ(s.Next(5000 + 1000, pos), FrameSchedule::Verdict::Capture);
    EXPECT_EQ(pos, 10);
    EXPECT_EQ(s.Skipped(), 3);
}

TEST(FrameSchedule, ResumeAndSingleFramesContinueTheSequence) {
    FrameSchedule s;
    s.Start(10.0);
    EXPECT_EQ(RunTicks(s, 100, 1.0, 0), 9);
    // Paused for a minute: two single frames, then the first tick after resuming.
    EXPECT_EQ(s.NextInSequence(), 10);
    EXPECT_EQ(s.NextInSequence(), 11);
    s.Rebase();
    int32_t pos = 0;
    ASSERT_EQ(s.Next(61000, pos), FrameSchedule::Verdict::Capture);
    EXPECT_EQ(pos, 12);
    ASSERT_EQ(s.Next(61100, pos), FrameSchedule::Verdict::Capture);
    EXPECT_EQ(pos, 13);
    EXPECT_EQ(s.Skipped(), 0);
}

TEST(FrameSchedule, ClockWrapDoesNotJump) {
    FrameSchedule s;
    s.Start(10.0);
    int32_t pos = 0;
    ASSERT_EQ(s.Next(0xFFFFFF00u, pos), FrameSchedule::Verdict::Capture);
    ASSERT_EQ(s.Next(0xFFFFFF00u + 100, pos), FrameSchedule::Verdict::Capture);
    EXPECT_EQ(pos, 1);
    ASSERT_EQ(s.Next(0xFFFFFF00u + 200, pos), FrameSchedule::Verdict::Capture); // wrapped
    EXPECT_EQ(pos, 2);
}

TEST(DropLimit, AStallAtTheStartIsToleratedButASlowWriterAbortsOnce) {
    DropLimit d;
    d.Reset();
    // Six ticks before the first write: five frames wait, the sixth is dropped.
    for (int i = 0; i < 5; ++i)
        d.Captured();
    EXPECT_FALSE(d.Dropped());
    // A writer that takes one frame in three: the limit trips, and only once is reported by the
    // caller through the frame counter's first abort.
    FrameCounter counter;
    int aborts = 0;
    for (int tick = 0; tick < 60; ++tick) {
        const bool over = tick % 3 == 0 ? (d.Captured(), false) : d.Dropped();
        if (over && counter.Abort(abort_code::TooManyDropped))
            ++aborts;
    }
    EXPECT_EQ(aborts, 1);
    EXPECT_GT(d.DroppedFrames(), 30);
}

// The ring holds about two seconds of frames within its memory, never fewer than its minimum
// nor more than its maximum; a ring of any size hands frames over in order across its wrap.
TEST(FrameRing, ItsSizeFollowsTheRateAndTheMemoryAndEverySizeKeepsTheOrder) {
    constexpr int64_t MiB = 1024 * 1024;
    struct Case {
        int64_t frameBytes;
        double rate;
        int slots;
    };
    for (const Case c :
         {Case{3 * MiB, 10, 20}, Case{3 * MiB, 60, 32}, Case{8 * MiB, 30, 20}, Case{8 * MiB, 1, 5},
          Case{40 * MiB, 30, 5}, Case{0, 0, 5}, Case{1, 1000, 32}})
        EXPECT_EQ(RingSlotsFor(c.frameBytes, c.rate, 160 * MiB), c.slots)
            << c.frameBytes << " bytes at " << c.rate;

    for (const int slots : {FrameRing::kSlots, 17, FrameRing::kMaxSlots}) {
        FrameRing ring;
        ring.Reset(slots);
        ASSERT_EQ(ring.Slots(), slots);
        int32_t next = 0;
        int32_t read = 0;
        for (int round = 0; round < 3; ++round) {
            // Fill it whole, then read two thirds of it: every turn ends elsewhere in the ring.
            for (int slot = ring.FreeSlot(); slot >= 0; slot = ring.FreeSlot())
                ring.Publish(slot, next++);
            EXPECT_EQ(ring.Waiting(), slots);
            for (int i = 0; i < slots * 2 / 3; ++i) {
                const int slot = ring.NextFilled();
                ASSERT_GE(slot, 0);
                EXPECT_EQ(ring.Position(slot), read++);
                ring.Release(slot);
            }
        }
    }
    FrameRing clamped;
    clamped.Reset(1000);
    EXPECT_EQ(clamped.Slots(), FrameRing::kMaxSlots);
}
