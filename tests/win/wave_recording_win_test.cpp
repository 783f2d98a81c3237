// Recordings with sound through the engine, on the real wave input and AVI services, for every
// sample format. The movie is read back from its bytes, so what is checked is what a player gets.

#include "recorder/recorder_win.h"

#include "copy_compressor_win.h"
#include "engine/cursor_images_win.h"
#include "framework/app_win.h"
#include "framework/custom_window_win.h"
#include "framework/handles_win.h"
#include "sound/wave_format.h"
#include "sound/wave_memory.h"

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

uint32_t Fourcc(const char (&code)[5]) {
    return static_cast<uint32_t>(code[0]) | static_cast<uint32_t>(code[1]) << 8 |
           static_cast<uint32_t>(code[2]) << 16 | static_cast<uint32_t>(code[3]) << 24;
}

uint32_t Read32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The parts of an AVI file these tests look at, read from its RIFF chunks.
struct AviContents {
    std::vector<std::vector<uint8_t>> streamHeaders; // 'strh' bodies, in stream order
    std::vector<std::vector<uint8_t>> streamFormats; // 'strf' bodies
    int videoChunks = 0;
    std::vector<std::vector<uint8_t>>
        videoFrames; // one per position; empty where a frame was skipped
    std::vector<std::vector<uint8_t>> soundChunks; // '01wb' bodies, in file order
    bool complete = false;                         // the index was written

    [[nodiscard]] std::vector<uint8_t> Sound() const {
        std::vector<uint8_t> all;
        for (const auto& chunk : soundChunks)
            all.insert(all.end(), chunk.begin(), chunk.end());
        return all;
    }
};

void Walk(const std::vector<uint8_t>& b, std::size_t at, std::size_t end, AviContents& out) {
    while (at + 8 <= end) {
        const uint32_t id = Read32(b, at);
        const uint32_t size = Read32(b, at + 4);
        const std::size_t body = at + 8;
        if (body + size > end)
            return;
        if (id == Fourcc("RIFF") || id == Fourcc("LIST"))
            Walk(b, body + 4, body + size, out);
        else if (id == Fourcc("strh"))
            out.streamHeaders.emplace_back(b.begin() + body, b.begin() + body + size);
        else if (id == Fourcc("strf"))
            out.streamFormats.emplace_back(b.begin() + body, b.begin() + body + size);
        else if (id == Fourcc("01wb"))
            out.soundChunks.emplace_back(b.begin() + body, b.begin() + body + size);
        else if ((id & 0xFFFF) == ('0' | '0' << 8)) {
            ++out.videoChunks;
            out.videoFrames.emplace_back(b.begin() + body, b.begin() + body + size);
        } else if (id == Fourcc("idx1"))
            out.complete = true;
        at = body + size + (size & 1);
    }
}

AviContents ReadAvi(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    AviContents contents;
    Walk(bytes, 0, bytes.size(), contents);
    return contents;
}

// The test scene of the system tests (built beside this program), flashing the whole screen
// white with a 100 ms tone of its own every two seconds, while it lives.
class FlashingScene {
public:
    FlashingScene() {
        char path[MAX_PATH];
        const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string command(path, n);
        command = "\"" + command.substr(0, command.find_last_of('\\') + 1) +
                  "testscene.exe\" --no-strip --beep-every 2";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info))
            return;
        process_.reset(info.hProcess);
        ::CloseHandle(info.hThread);
        ::WaitForInputIdle(process_.get(), 10000);
        ::Sleep(1500); // painted, and its wave output open
    }
    FlashingScene(const FlashingScene&) = delete;
    FlashingScene& operator=(const FlashingScene&) = delete;
    ~FlashingScene() {
        if (process_) {
            ::TerminateProcess(process_.get(), 0);
            ::WaitForSingleObject(process_.get(), 5000);
        }
    }
    [[nodiscard]] bool Running() const noexcept { return static_cast<bool>(process_); }

private:
    UniqueKernelHandle process_;
};

// Moments (seconds into the movie) at which a flash begins: a frame of near white after one that
// is not. An empty chunk repeats the frame before it.
std::vector<double> FlashOnsets(const AviContents& avi, double fps) {
    std::vector<double> onsets;
    bool before = true; // a flash under way at the start does not count
    for (std::size_t i = 0; i < avi.videoFrames.size(); ++i) {
        const auto& frame = avi.videoFrames[i];
        if (frame.empty())
            continue;
        // Near white in every colour byte; a 32-bit frame's fourth byte of each pixel stays 0.
        const auto bright =
            std::count_if(frame.begin(), frame.end(), [](uint8_t b) { return b >= 0xF0; });
        const bool white = static_cast<std::size_t>(bright) * 3 >= frame.size() * 2;
        if (white && !before)
            onsets.push_back(static_cast<double>(i) / fps);
        before = white;
    }
    return onsets;
}

// Moments at which a tone begins in 16-bit sound: a loud sample after a third of a second
// without one.
std::vector<double> ToneOnsets(const std::vector<uint8_t>& sound, int32_t rate) {
    std::vector<double> onsets;
    std::optional<std::size_t> lastLoud;
    for (std::size_t i = 0; i + 1 < sound.size(); i += 2) {
        const auto sample = static_cast<int16_t>(sound[i] | sound[i + 1] << 8);
        if (sample < 3000 && sample > -3000)
            continue;
        const std::size_t at = i / 2;
        if (!lastLoud || at - *lastLoud > static_cast<std::size_t>(rate / 3))
            onsets.push_back(static_cast<double>(at) / rate);
        lastLoud = at;
    }
    return onsets;
}

// Runs actions at given times after a recording has started, on the recording's own thread.
class Script {
public:
    void At(UINT ms, std::function<void()> action) { steps_.push_back({ms, std::move(action)}); }
    void Start() {
        start_ = ::GetTickCount();
        instance_ = this;
        timer_ = ::SetTimer(nullptr, 0, 20, &Script::OnTimer);
    }
    void Clear() {
        if (timer_ != 0)
            ::KillTimer(nullptr, timer_);
        timer_ = 0;
        steps_.clear();
    }

private:
    struct Step {
        UINT ms;
        std::function<void()> action;
    };
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
        Script& self = *instance_;
        const DWORD elapsed = ::GetTickCount() - self.start_;
        while (!self.steps_.empty() && self.steps_.front().ms <= elapsed) {
            const auto action = std::move(self.steps_.front().action);
            self.steps_.erase(self.steps_.begin());
            action();
        }
    }

    static inline Script* instance_ = nullptr;
    std::vector<Step> steps_;
    DWORD start_ = 0;
    UINT_PTR timer_ = 0;
};

// Stands in for the main dialog: keeps what the user would be told, and when the recording ran.
class Listener : public RecorderEvents {
public:
    explicit Listener(Script& script) : script_(script) {}

    std::vector<std::string> messages;
    std::string status;
    // When the recording began running and when its stop was asked for, by the clock the sound
    // has.
    DWORD startedMs = 0;
    DWORD stoppingMs = 0;

    void ShowRecordState(int32_t) override {}
    void OnRecordingStarted() override {
        startedMs = ::timeGetTime();
        script_.Start();
    }
    void OnRecordingStopped(const RecordingOutcome&) override { script_.Clear(); }
    void OnOptionsChanged(OptionGroup) override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetStatusText(const std::string& text) override { status = text; }
    void HoldSingleFrameKey(bool) override {}
    void OnCloseDeferred() override {}
    bool PreTranslateSessionMessage(MSG&) override { return false; }

private:
    Script& script_;
};

class WaveRecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app_.LoadResourceLibrary("VidRes.dll"));
        char temp[MAX_PATH];
        ASSERT_GT(::GetTempPathA(sizeof temp, temp), 0u);
        file_ =
            std::string(temp) + "vidorra_wave_" + std::to_string(::GetCurrentProcessId()) + ".avi";
        ASSERT_TRUE(recorder_.Create());
        recorder_.Listen(&host_);
        options_.StartX = 0;
        options_.StartY = 0;
        options_.Width = 32;
        options_.Height = 32;
        options_.FrameRate = 10;
        options_.PlaybackRate = 10;
        options_.FileName = file_;
        options_.IncrementFileName = 0;
        options_.RecordSound = 1;
        options_.WndHide = wnd_hide::Stay;
        options_.FlashRect = 0;
        options_.DrawCursor = 0;
    }
    void TearDown() override {
        recorder_.ReleaseSoundDevice();
        ::DeleteFileA(file_.c_str());
    }

    void Record(int32_t rate, int32_t bits, UINT stopMs,
                int32_t initialState = record_state::Recording) {
        options_.SoundSampRate = rate;
        options_.SoundSampSize = bits;
        host_.messages.clear();
        host_.status.clear();
        script_.At(stopMs, [this] {
            host_.stoppingMs = ::timeGetTime();
            recorder_.Handle(ControlInput::StartStopKey);
        });
        ASSERT_TRUE(recorder_.Handle(initialState == record_state::Paused
                                         ? ControlInput::PauseButton
                                         : ControlInput::StartStopButton));
        ASSERT_FALSE(recorder_.LastOutcome().setupFailed);
        EXPECT_TRUE(host_.messages.empty()) << host_.messages.front();
    }

    Application app_{::GetModuleHandleA(nullptr)};
    std::string file_;
    RecordingOptions options_;
    CursorImageTable cursors_{"Software\\VidorraTest\\NoCursors"};
    Script script_;
    Listener host_{script_};
    Recorder recorder_{options_, cursors_};

    bool SingleFrame() {
        return recorder_.Handle(ControlInput::SingleFrameKey) && recorder_.LastSingleFrameWritten();
    }
    void TogglePause() { recorder_.Handle(ControlInput::PauseKey); }
};

TEST_F(WaveRecordingTest, EveryFormatGoesIntoTheSecondStreamAsLongAsThePicture) {
    // Each rate once, each sample size at two of them.
    for (const auto& [rate, bits] :
         {std::pair{8000, 16}, std::pair{11025, 8}, std::pair{22050, 8}, std::pair{44100, 16}}) {
        {
            SCOPED_TRACE(std::to_string(rate) + "x" + std::to_string(bits));
            Record(rate, bits, 1500);
            const RecordingOutcome outcome = recorder_.LastOutcome();
            EXPECT_FALSE(outcome.soundNotStarted);
            const AviContents avi = ReadAvi(file_);
            ASSERT_TRUE(avi.complete);
            ASSERT_EQ(avi.streamHeaders.size(), 2u);
            ASSERT_EQ(avi.streamFormats.size(), 2u);

            // Stream header: one sample per time unit, a sample a block.
            const auto& strh = avi.streamHeaders[1];
            ASSERT_GE(strh.size(), 48u);
            EXPECT_EQ(Read32(strh, 0), Fourcc("auds"));
            EXPECT_EQ(Read32(strh, 4), 0u);  // no handler
            EXPECT_EQ(Read32(strh, 16), 2u); // initial frames
            EXPECT_EQ(Read32(strh, 20), 1u); // scale
            EXPECT_EQ(Read32(strh, 24), static_cast<uint32_t>(rate));
            EXPECT_EQ(Read32(strh, 44), static_cast<uint32_t>(bits / 8)); // sample size

            // The 18-byte format, mono PCM.
            const auto& strf = avi.streamFormats[1];
            ASSERT_EQ(strf.size(), 18u);
            const PcmFormat expected = *MonoPcmFormat(rate, bits);
            const auto encoded = EncodePcmFormat(expected);
            EXPECT_EQ(std::memcmp(strf.data(), encoded.data(), encoded.size()), 0);
            EXPECT_EQ(strf[16] | strf[17] << 8, 0); // cbSize

            // Every captured sample once: the stream holds what the writer counted.
            EXPECT_EQ(avi.Sound().size(),
                      static_cast<std::size_t>(outcome.soundSamples) * (bits / 8));
            // The sound runs from the first frame, which comes within a frame period of the
            // start, to the stop: it covers the picture, and on a busy machine, whose last ticks
            // came late, it goes on past the last frame to the stop, as the user heard it.
            const double soundSeconds = static_cast<double>(outcome.soundSamples) / rate;
            const double pictureSeconds = outcome.frameIndex / options_.FrameRate;
            const double ranSeconds = (host_.stoppingMs - host_.startedMs) / 1000.0;
            EXPECT_GE(soundSeconds, pictureSeconds - 0.2);
            EXPECT_GE(soundSeconds, ranSeconds - 1 / options_.FrameRate - 0.2);
            EXPECT_LE(soundSeconds, ranSeconds + 0.2);
        }
    }
}

TEST_F(WaveRecordingTest, SoundStartsWithTheFirstFrame) {
    // One frame every two seconds, the first two seconds after the start: the sound before it
    // belongs to no frame, and the movie begins with that frame and the sound of its moment.
    options_.FrameRate = 0.5;
    options_.PlaybackRate = 0.5;
    Record(22050, 8, 3200);
    const RecordingOutcome outcome = recorder_.LastOutcome();
    EXPECT_EQ(outcome.frameIndex, 1);
    const AviContents avi = ReadAvi(file_);
    EXPECT_EQ(avi.videoChunks, 1);
    EXPECT_EQ(avi.Sound().size(), static_cast<std::size_t>(outcome.soundSamples));
    EXPECT_NEAR(outcome.soundSamples / 22050.0, 1.2, 0.3);
}

TEST_F(WaveRecordingTest, SingleFramesWhilePausedAddAFrameOfSilenceEach) {
    options_.PlaybackRate = 10;
    for (int i = 1; i <= 5; ++i)
        script_.At(150 * i, [this] { EXPECT_TRUE(SingleFrame()); });
    Record(11025, 8, 1000, record_state::Paused);
    const AviContents avi = ReadAvi(file_);
    EXPECT_EQ(recorder_.LastOutcome().frameIndex, 5);
    EXPECT_EQ(avi.videoChunks, 5);
    // Never resumed: the device's buffers all came back empty; only the silence is there.
    const std::vector<uint8_t> sound = avi.Sound();
    EXPECT_EQ(sound.size(), 5u * 1102);
    EXPECT_EQ(std::count(sound.begin(), sound.end(), 0x80), static_cast<long>(sound.size()));
    EXPECT_FALSE(recorder_.LastOutcome().soundNotStarted) << "nothing failed";
    EXPECT_EQ(host_.status.find("No sound"), std::string::npos) << host_.status;
}

TEST_F(WaveRecordingTest, SilenceIsInTheStreamsFormatWhateverTheOptionsSay) {
    // The stream is made from the wave's format; an unsupported rate in the options leaves the
    // wave at its last good one, and a frame of silence must be in that one too.
    Record(22050, 16, 200, record_state::Paused);
    options_.FrameRate = 5;
    options_.PlaybackRate = 5;
    script_.At(150, [this] { EXPECT_TRUE(SingleFrame()); });
    script_.At(300, [this] { EXPECT_TRUE(SingleFrame()); });
    Record(16000, 16, 600, record_state::Paused);
    EXPECT_EQ(recorder_.SoundFormat(), *MonoPcmFormat(22050, 16));
    const AviContents avi = ReadAvi(file_);
    ASSERT_EQ(avi.streamFormats.size(), 2u);
    EXPECT_EQ(Read32(avi.streamFormats[1], 4), 22050u);
    // 22050 / 5 samples a frame, two bytes a sample, all zero.
    const std::vector<uint8_t> sound = avi.Sound();
    EXPECT_EQ(sound.size(), 2u * 4410 * 2);
    EXPECT_EQ(std::count(sound.begin(), sound.end(), 0), static_cast<long>(sound.size()));
}

TEST_F(WaveRecordingTest, ResumingARecordingStartedPausedStartsTheSound) {
    script_.At(300, [this] { TogglePause(); });
    Record(11025, 8, 1500, record_state::Paused);
    const RecordingOutcome outcome = recorder_.LastOutcome();
    EXPECT_FALSE(outcome.soundNotStarted);
    // About the 1.2 s recorded after the resume; the paused time is absent, as from the picture.
    EXPECT_NEAR(outcome.soundSamples / 11025.0, outcome.frameIndex / 10.0, 0.2);
    EXPECT_GT(outcome.soundSamples, 11025 * 8 / 10);
}

TEST_F(WaveRecordingTest, PausingHaltsTheSoundAndResumingContinuesIt) {
    script_.At(700, [this] { TogglePause(); });
    script_.At(1700, [this] { TogglePause(); });
    Record(22050, 8, 2400);
    const RecordingOutcome outcome = recorder_.LastOutcome();
    // Some 1.4 s of the 2.4: the second paused is in neither.
    EXPECT_NEAR(outcome.soundSamples / 22050.0, outcome.frameIndex / 10.0, 0.25);
    EXPECT_LT(outcome.soundSamples, 22050 * 2);
}

TEST_F(WaveRecordingTest, WithoutSoundTheFileHasOneStreamAndTheDeviceCanBeReleased) {
    Record(11025, 8, 500);
    options_.RecordSound = 0;
    Record(11025, 8, 500);
    EXPECT_EQ(ReadAvi(file_).streamHeaders.size(), 1u);
    EXPECT_TRUE(recorder_.ReleaseSoundDevice());
    // A device released is made anew by the next recording with sound.
    options_.RecordSound = 1;
    Record(11025, 8, 800);
    EXPECT_EQ(ReadAvi(file_).streamHeaders.size(), 2u);
    EXPECT_GT(recorder_.LastOutcome().soundSamples, 0);
}

// The compressor takes 1.5 s over the first frame (beyond the second of catch-up this once had),
// so the first frames are written well after they were taken, and the device has run all the
// while. The sound still begins at the moment
// of the first frame: each of the scene's tones sits at its flash, within a frame period.
TEST_F(WaveRecordingTest, ASlowFirstFrameKeepsFlashesAndTonesInStep) {
    copy_compressor::Installation codec;
    ASSERT_TRUE(codec.Installed());
    copy_compressor::Current().firstFrameDelayMs = 1500;
    options_.CompFourcc = copy_compressor::kFourcc;
    // Slow enough that the ring of frames outlasts the delay without hitting the drop limit.
    options_.FrameRate = 5;
    options_.PlaybackRate = 5;
    options_.StartX = 100;
    options_.StartY = 80;
    const FlashingScene scene;
    ASSERT_TRUE(scene.Running());
    Record(22050, 16, 9000);

    const AviContents avi = ReadAvi(file_);
    ASSERT_TRUE(avi.complete);
    const std::vector<double> flashes = FlashOnsets(avi, options_.FrameRate);
    const std::vector<double> tones = ToneOnsets(avi.Sound(), 22050);
    ASSERT_GE(flashes.size(), 3u);
    ASSERT_FALSE(tones.empty());
    for (const double flash : flashes) {
        const double tone = *std::min_element(tones.begin(), tones.end(), [&](double a, double b) {
            return std::abs(a - flash) < std::abs(b - flash);
        });
        std::printf("flash at %.3f s, its tone %+.3f s\n", flash, tone - flash);
        // The flash shows in the first frame taken after it, up to a frame period late, and a
        // busy machine may paint it a little later still; a first frame's delay would be 1.5 s.
        EXPECT_NEAR(tone - flash, 0.0, 1.0 / options_.FrameRate + 0.1) << "flash at " << flash;
    }
}

// Memory for sound runs out part-way (here the next capture buffer): the recording goes on to its
// stop with the sound it has, and the status line says part of the sound is missing.
TEST_F(WaveRecordingTest, MemoryRunningOutEndsTheSoundNotTheRecording) {
    script_.At(600, [] { wave_memory::FailNth(1); });
    Record(11025, 8, 1500);
    wave_memory::FailNth(0);
    const RecordingOutcome outcome = recorder_.LastOutcome();
    EXPECT_GT(outcome.frameIndex, 10);
    EXPECT_TRUE(outcome.soundCut);
    EXPECT_NE(host_.status.find("Part of the sound is missing"), std::string::npos) << host_.status;
    EXPECT_LT(outcome.soundSamples, 11025 * outcome.frameIndex / 10);
}

} // namespace
