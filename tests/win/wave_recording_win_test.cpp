// Recordings with sound through the engine, on the real wave input and AVI services, for every
// sample format. The movie is read back from its bytes, so what is checked is what a player gets.

#include "engine/recording_engine_win.h"

#include "engine/cursor_images_win.h"
#include "framework/app_win.h"
#include "framework/custom_window_win.h"
#include "sound/wave_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
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
        else if ((id & 0xFFFF) == ('0' | '0' << 8))
            ++out.videoChunks;
        else if (id == Fourcc("idx1"))
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

// Stands in for the main dialog: stops on hot key 1 and keeps what the user would be told.
class Host : public CustomWindow, public SessionHost {
public:
    explicit Host(Script& script) : script_(script) {}
    bool Create() {
        return CustomWindow::Create(WindowClass{"WaveRecordingTestHost"}, 0, 0, "", RECT{},
                                    HWND_MESSAGE);
    }

    RecordingEngine* engine = nullptr;
    std::vector<std::string> messages;
    std::string status;

    [[nodiscard]] HWND HostWindow() const override { return Handle(); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void OnSessionHotKey(int id, LPARAM) override {
        if (id == 1 && engine->Busy())
            engine->Stop();
    }
    bool PreTranslateSessionMessage(MSG&) override { return false; }
    void OnRecordingStarted() override { script_.Start(); }
    void OnRecordingStopped() override { script_.Clear(); }
    void SetStatusText(const std::string& text) override { status = text; }

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
        ASSERT_TRUE(host_.Create());
        host_.engine = &engine_;
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
        engine_.ReleaseSoundDevice();
        ::DeleteFileA(file_.c_str());
    }

    void Record(int32_t rate, int32_t bits, UINT stopMs,
                int32_t initialState = record_state::Recording) {
        options_.SoundSampRate = rate;
        options_.SoundSampSize = bits;
        host_.messages.clear();
        host_.status.clear();
        script_.At(stopMs, [this] { ::PostMessageA(host_.Handle(), WM_HOTKEY, 1, 1); });
        ASSERT_TRUE(engine_.Run(initialState));
        EXPECT_TRUE(host_.messages.empty()) << host_.messages.front();
    }

    Application app_{::GetModuleHandleA(nullptr)};
    std::string file_;
    RecordingOptions options_;
    CursorImageTable cursors_{"Software\\VidorraTest\\NoCursors"};
    Script script_;
    Host host_{script_};
    RecordingEngine engine_{options_, cursors_, host_};
};

TEST_F(WaveRecordingTest, EveryFormatGoesIntoTheSecondStreamAsLongAsThePicture) {
    for (const int32_t rate : {8000, 11025, 22050, 44100}) {
        for (const int32_t bits : {8, 16}) {
            SCOPED_TRACE(std::to_string(rate) + "x" + std::to_string(bits));
            Record(rate, bits, 1500);
            const RecordingOutcome outcome = engine_.LastOutcome();
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
            // As long as the picture, within two frames.
            const double soundSeconds = static_cast<double>(outcome.soundSamples) / rate;
            const double pictureSeconds = outcome.frameIndex / options_.FrameRate;
            EXPECT_NEAR(soundSeconds, pictureSeconds, 0.2);
        }
    }
}

TEST_F(WaveRecordingTest, SoundStartsWithTheFirstFrame) {
    // One frame every two seconds, the first two seconds after the start: the sound before it
    // belongs to no frame, and the movie begins with that frame and the sound of its moment.
    options_.FrameRate = 0.5;
    options_.PlaybackRate = 0.5;
    Record(22050, 8, 3200);
    const RecordingOutcome outcome = engine_.LastOutcome();
    EXPECT_EQ(outcome.frameIndex, 1);
    const AviContents avi = ReadAvi(file_);
    EXPECT_EQ(avi.videoChunks, 1);
    EXPECT_EQ(avi.Sound().size(), static_cast<std::size_t>(outcome.soundSamples));
    EXPECT_NEAR(outcome.soundSamples / 22050.0, 1.2, 0.3);
}

TEST_F(WaveRecordingTest, SingleFramesWhilePausedAddAFrameOfSilenceEach) {
    options_.PlaybackRate = 10;
    for (int i = 1; i <= 5; ++i)
        script_.At(150 * i, [this] { EXPECT_TRUE(engine_.SingleFrame()); });
    Record(11025, 8, 1000, record_state::Paused);
    const AviContents avi = ReadAvi(file_);
    EXPECT_EQ(engine_.LastOutcome().frameIndex, 5);
    EXPECT_EQ(avi.videoChunks, 5);
    // Never resumed: the device's buffers all came back empty; only the silence is there.
    const std::vector<uint8_t> sound = avi.Sound();
    EXPECT_EQ(sound.size(), 5u * 1102);
    EXPECT_EQ(std::count(sound.begin(), sound.end(), 0x80), static_cast<long>(sound.size()));
    EXPECT_FALSE(engine_.LastOutcome().soundNotStarted) << "nothing failed";
    EXPECT_EQ(host_.status.find("No sound"), std::string::npos) << host_.status;
}

TEST_F(WaveRecordingTest, SilenceIsInTheStreamsFormatWhateverTheOptionsSay) {
    // The stream is made from the wave's format; an unsupported rate in the options leaves the
    // wave at its last good one, and a frame of silence must be in that one too.
    Record(22050, 16, 200, record_state::Paused);
    options_.FrameRate = 5;
    options_.PlaybackRate = 5;
    script_.At(150, [this] { EXPECT_TRUE(engine_.SingleFrame()); });
    script_.At(300, [this] { EXPECT_TRUE(engine_.SingleFrame()); });
    Record(16000, 16, 600, record_state::Paused);
    EXPECT_EQ(engine_.SoundFormat(), *MonoPcmFormat(22050, 16));
    const AviContents avi = ReadAvi(file_);
    ASSERT_EQ(avi.streamFormats.size(), 2u);
    EXPECT_EQ(Read32(avi.streamFormats[1], 4), 22050u);
    // 22050 / 5 samples a frame, two bytes a sample, all zero.
    const std::vector<uint8_t> sound = avi.Sound();
    EXPECT_EQ(sound.size(), 2u * 4410 * 2);
    EXPECT_EQ(std::count(sound.begin(), sound.end(), 0), static_cast<long>(sound.size()));
}

TEST_F(WaveRecordingTest, ResumingARecordingStartedPausedStartsTheSound) {
    script_.At(300, [this] { engine_.Resume(); });
    Record(11025, 8, 1500);
    const RecordingOutcome outcome = engine_.LastOutcome();
    EXPECT_FALSE(outcome.soundNotStarted);
    // About the 1.2 s recorded after the resume; the paused time is absent, as from the picture.
    EXPECT_NEAR(outcome.soundSamples / 11025.0, outcome.frameIndex / 10.0, 0.2);
    EXPECT_GT(outcome.soundSamples, 11025 * 8 / 10);
}

TEST_F(WaveRecordingTest, PausingHaltsTheSoundAndResumingContinuesIt) {
    script_.At(700, [this] { engine_.Pause(); });
    script_.At(1700, [this] { engine_.Resume(); });
    Record(22050, 8, 2400);
    const RecordingOutcome outcome = engine_.LastOutcome();
    // Some 1.4 s of the 2.4: the second paused is in neither.
    EXPECT_NEAR(outcome.soundSamples / 22050.0, outcome.frameIndex / 10.0, 0.25);
    EXPECT_LT(outcome.soundSamples, 22050 * 2);
}

TEST_F(WaveRecordingTest, WithoutSoundTheFileHasOneStreamAndTheDeviceCanBeReleased) {
    Record(11025, 8, 500);
    options_.RecordSound = 0;
    Record(11025, 8, 500);
    EXPECT_EQ(ReadAvi(file_).streamHeaders.size(), 1u);
    EXPECT_TRUE(engine_.ReleaseSoundDevice());
    // A device released is made anew by the next recording with sound.
    options_.RecordSound = 1;
    Record(11025, 8, 800);
    EXPECT_EQ(ReadAvi(file_).streamHeaders.size(), 2u);
    EXPECT_GT(engine_.LastOutcome().soundSamples, 0);
}

} // namespace
