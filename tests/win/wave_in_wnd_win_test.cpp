// Wave capture against the real wave input: under the test session it records the PulseAudio
// null sink's monitor, which delivers silence at the sink's pace whenever nothing plays.

#include "sound/wave_in_wnd_win.h"

#include "sound/wave.h"
#include "sound/wave_memory.h"
#include "sound/wave_notify.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Seen {
    int32_t samples;
    int32_t size;
};

// Takes every block it is given, as the audio writer does, and remembers its size.
class Collector : public CWaveNotify {
public:
    std::vector<Seen> blocks;
    std::function<void(CWave&)> onBlock;

    void OnBlockRecorded(CWave& wave, CWaveBlock& block) override {
        blocks.push_back({block.Samples(), block.Size()});
        const auto taken = wave.Blocks().Take(&block);
        if (onBlock)
            onBlock(wave);
    }
};

// Dispatches this thread's messages until `done` says so or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 4000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > limitMs)
            return false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

class WaveInWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = wave_memory::Live();
        ASSERT_GT(::waveInGetNumDevs(), 0u) << "the session has no sound input";
    }
    void TearDown() override {
        wave_memory::FailNth(0);
        device.Close();
        wave.ClearBlocks();
        EXPECT_EQ(device.QueuedBuffers(), 0);
        EXPECT_EQ(wave_memory::Live(), live_) << "a header, buffer or block leaked";
    }

    [[nodiscard]] bool Start(int32_t rate, int32_t bits, bool start = true) {
        return wave.SetFormat(rate, bits, 0) &&
               wave.Record(device, CaptureBufferBytes(wave.Format()), collector, start);
    }
    [[nodiscard]] int32_t FullSamples() const {
        return SamplesInBytes(static_cast<uint32_t>(CaptureBufferBytes(wave.Format())),
                              wave.Format());
    }

    CWave wave;
    CWaveInWnd device;
    Collector collector;

private:
    int64_t live_ = 0;
};

TEST_F(WaveInWndTest, FilledBuffersBecomeWholeBlocksAndAreReplaced) {
    for (const auto& [rate, bits] : {std::pair{11025, 8}, std::pair{22050, 16}}) {
        SCOPED_TRACE(std::to_string(rate) + "x" + std::to_string(bits));
        collector.blocks.clear();
        ASSERT_TRUE(Start(rate, bits));
        EXPECT_TRUE(device.IsOpen());
        EXPECT_EQ(device.QueuedBuffers(), kCaptureBuffers);
        ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 2; }));
        // A full buffer: every byte recorded, the block as big as the buffer.
        EXPECT_EQ(collector.blocks[0].samples, FullSamples());
        EXPECT_EQ(collector.blocks[0].size, CaptureBufferBytes(wave.Format()));
        EXPECT_EQ(device.QueuedBuffers(), kCaptureBuffers) << "each returned buffer is replaced";
        EXPECT_TRUE(wave.Blocks().IsEmpty());

        // The hidden window the device reports to.
        ASSERT_NE(device.Handle(), nullptr);
        char title[32] = {};
        ::GetWindowTextA(device.Handle(), title, sizeof title);
        EXPECT_EQ(std::string(title), "Wave Wnd");
        EXPECT_FALSE(::IsWindowVisible(device.Handle()));

        wave.Stop();
        EXPECT_EQ(device.QueuedBuffers(), 0);
        EXPECT_TRUE(device.IsOpen()) << "a stop leaves closing to Close";
        device.Close();
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.Handle(), nullptr);
    }
}

TEST_F(WaveInWndTest, BlocksNobodyTakesStayInTheWaveUntilItIsCleared) {
    class Ignorer : public CWaveNotify {
    public:
        int calls = 0;
        void OnBlockRecorded(CWave&, CWaveBlock&) override { ++calls; }
    } ignorer;
    ASSERT_TRUE(wave.Record(device, CaptureBufferBytes(wave.Format()), ignorer, true));
    ASSERT_TRUE(PumpUntil([&] { return ignorer.calls >= 2; }));
    wave.Stop();
    EXPECT_EQ(wave.Blocks().Count(), static_cast<std::size_t>(ignorer.calls));
    // A new format starts afresh.
    ASSERT_TRUE(wave.SetFormat(8000, 8, 0));
    EXPECT_TRUE(wave.Blocks().IsEmpty());
}

TEST_F(WaveInWndTest, PauseReturnsThePartFilledBufferAndKeepsTheRest) {
    ASSERT_TRUE(Start(11025, 16));
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    PumpFor(60); // into the next buffer
    const std::size_t before = collector.blocks.size();
    device.Pause();
    // Handed over by the pause itself, before a resume could make it look like the next run's.
    ASSERT_GT(collector.blocks.size(), before) << "the part-filled buffer did not come back";
    EXPECT_GT(collector.blocks.back().samples, 0);
    EXPECT_LT(collector.blocks.back().samples, FullSamples());
    EXPECT_EQ(device.QueuedBuffers(), kCaptureBuffers) << "the others stay, plus a replacement";

    // Paused: nothing more comes.
    const std::size_t paused = collector.blocks.size();
    PumpFor(500);
    EXPECT_EQ(collector.blocks.size(), paused);

    ASSERT_TRUE(device.Resume());
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() > paused; }));
    EXPECT_EQ(collector.blocks.back().samples, FullSamples());
}

TEST_F(WaveInWndTest, StopHandsOnTheLastPartialBlockAndTakesEveryBufferBack) {
    ASSERT_TRUE(Start(22050, 8));
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    PumpFor(80);
    const std::size_t before = collector.blocks.size();
    wave.Stop();
    EXPECT_EQ(device.QueuedBuffers(), 0);
    ASSERT_GT(collector.blocks.size(), before) << "the part-filled buffer was not written";
    EXPECT_LT(collector.blocks.back().samples, FullSamples());
    // The stop queues nothing new: nothing else arrives.
    const std::size_t stopped = collector.blocks.size();
    PumpFor(400);
    EXPECT_EQ(collector.blocks.size(), stopped);
}

// A window that posts itself a message each time it gets one: the queue is never empty.
class Chatterbox : public CustomWindow {
public:
    static constexpr UINT kChat = WM_APP + 7;
    int heard = 0;
    bool quiet = false;

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == kChat) {
            ++heard;
            if (!quiet)
                ::PostMessageA(Handle(), kChat, 0, 0);
            return 0;
        }
        return CustomWindow::HandleMessage(msg, wp, lp);
    }
};

TEST_F(WaveInWndTest, StopEndsWhenEveryBufferIsBackWhateverElseIsQueued) {
    Chatterbox chatter;
    ASSERT_TRUE(chatter.Create(WindowClass{"WaveTestChatter"}, 0, WS_POPUP, "", RECT{}, nullptr));
    ASSERT_TRUE(Start(11025, 8));
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    ::PostMessageA(chatter.Handle(), Chatterbox::kChat, 0, 0);
    const std::size_t before = collector.blocks.size();
    const DWORD start = ::GetTickCount();
    wave.Stop();
    const DWORD took = ::GetTickCount() - start;
    EXPECT_LT(took, CWaveInWnd::kDrainLimitMs / 2) << "the drain waited for an empty queue";
    EXPECT_EQ(device.QueuedBuffers(), 0);
    EXPECT_GT(collector.blocks.size(), before);
    EXPECT_GT(chatter.heard, 0) << "other messages are dispatched meanwhile";
    chatter.quiet = true;
    PumpFor(50);
}

TEST_F(WaveInWndTest, NothingTheDrainDispatchesCanStopOrCloseTheDeviceUnderIt) {
    ASSERT_TRUE(Start(11025, 8));
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    const std::size_t before = collector.blocks.size();
    int requests = 0;
    collector.onBlock = [&](CWave& w) {
        // What a stop or close command arriving during the drain would do.
        ++requests;
        w.Stop();
        EXPECT_TRUE(device.Close());
        EXPECT_TRUE(device.IsOpen()) << "closed inside the drain";
    };
    wave.Stop();
    collector.onBlock = nullptr;
    EXPECT_GT(requests, 0);
    EXPECT_GT(collector.blocks.size(), before) << "the last block was lost";
    EXPECT_EQ(device.QueuedBuffers(), 0);
    // The close asked for meanwhile happens once the drain is over.
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Handle(), nullptr);
}

TEST_F(WaveInWndTest, NoMemoryWhileStartingLeavesNothingQueuedOrOpen) {
    // Each buffer needs a header and its bytes; any of the sixteen may fail.
    for (int n = 1; n <= 2 * kCaptureBuffers; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        const int64_t live = wave_memory::Live();
        wave_memory::FailNth(n);
        EXPECT_FALSE(Start(11025, 8));
        wave_memory::FailNth(0);
        EXPECT_TRUE(device.RanOutOfMemory());
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.QueuedBuffers(), 0);
        EXPECT_EQ(wave_memory::Live(), live);
        // Not even a resume can start what was left.
        EXPECT_TRUE(device.Resume());
        PumpFor(20);
        EXPECT_TRUE(collector.blocks.empty());
    }
}

TEST_F(WaveInWndTest, NoMemoryWhileCapturingEndsTheCaptureCleanly) {
    // A returned buffer needs a replacement header (1), its bytes (2) and a block (3).
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        collector.blocks.clear();
        ASSERT_TRUE(Start(11025, 8));
        ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
        wave_memory::FailNth(n);
        // Every buffer comes back; none is replaced.
        ASSERT_TRUE(PumpUntil([&] { return device.QueuedBuffers() == 0; }));
        wave_memory::FailNth(0);
        EXPECT_TRUE(device.RanOutOfMemory());
        const std::size_t ended = collector.blocks.size();
        PumpFor(400);
        EXPECT_EQ(collector.blocks.size(), ended) << "capture went on";
        wave.Stop(); // nothing to wait for
        device.Close();
    }
}

TEST_F(WaveInWndTest, TheSameDeviceObjectRecordsAgainInANewFormat) {
    ASSERT_TRUE(Start(11025, 8));
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    wave.Stop();
    device.Close();
    EXPECT_EQ(device.Handle(), nullptr);

    // A refused format leaves the last one in force, and capture uses it.
    collector.blocks.clear();
    ASSERT_TRUE(wave.SetFormat(44100, 16, 0));
    EXPECT_FALSE(wave.SetFormat(16000, 8, 0));
    ASSERT_TRUE(wave.Record(device, CaptureBufferBytes(wave.Format()), collector, true));
    EXPECT_NE(device.Handle(), nullptr) << "the window is made anew";
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    EXPECT_EQ(collector.blocks[0].size, 16384);
    EXPECT_EQ(collector.blocks[0].samples, 8192);
    wave.Stop();
}

TEST_F(WaveInWndTest, AnOpenDeviceIsReopenedForAnotherFormat) {
    const PcmFormat low = *MonoPcmFormat(8000, 8);
    const PcmFormat high = *MonoPcmFormat(44100, 16);
    EXPECT_FALSE(device.QueryFormat(low)) << "nothing open yet";
    ASSERT_TRUE(device.Open(WAVE_MAPPER, low));
    EXPECT_TRUE(device.QueryFormat(high));
    EXPECT_TRUE(device.Open(WAVE_MAPPER, low)); // already open for it
    ASSERT_TRUE(device.Open(WAVE_MAPPER, high));
    ASSERT_TRUE(wave.SetFormat(44100, 16, 0));
    ASSERT_TRUE(wave.Record(device, CaptureBufferBytes(wave.Format()), collector, true));
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    EXPECT_EQ(collector.blocks[0].samples, 8192);
    wave.Stop();
}

TEST_F(WaveInWndTest, ACaptureStartedPausedWaitsForResume) {
    ASSERT_TRUE(Start(11025, 8, false));
    EXPECT_EQ(device.QueuedBuffers(), kCaptureBuffers);
    PumpFor(500);
    EXPECT_TRUE(collector.blocks.empty());
    ASSERT_TRUE(device.Resume());
    ASSERT_TRUE(PumpUntil([&] { return collector.blocks.size() >= 1; }));
    wave.Stop();
}

} // namespace
