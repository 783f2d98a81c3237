#include "recorder/recorder_win.h"

#include "codec/zmbv_driver_win.h"
#include "copy_compressor_win.h"
#include "engine/cursor_images_win.h"
#include "engine/frame_format.h"
#include "engine/frame_ring.h"
#include "framework/app_win.h"
#include "framework/custom_window_win.h"
#include "framework/handles_win.h"
#include "framework/text_format.h"
#include "resource_ids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kLeft = 100;
constexpr int32_t kTop = 100;
constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
// Five bits per channel survive a 16-bit screen unchanged.
constexpr COLORREF kSwatchColour = RGB(0x28, 0x90, 0xD8);

int ScreenBitsPerPixel() {
    const UniqueWindowDc screen(nullptr);
    return ::GetDeviceCaps(screen.get(), BITSPIXEL) * ::GetDeviceCaps(screen.get(), PLANES);
}

void WriteFile(const std::string& name, const std::string& text) {
    const UniqueKernelHandle file(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(file && ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()),
                                    &written, nullptr))
        << name;
}

// -1 when there is no such file.
int64_t FileSize(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// A folder of its own per test, emptied and removed afterwards.
class TempFolder {
public:
    TempFolder() {
        static int serial = 0;
        char temp[MAX_PATH];
        const DWORD n = ::GetTempPathA(sizeof temp, temp);
        if (n == 0 || n >= sizeof temp)
            return;
        path_ = std::string(temp, n) + "vidorra_engine_" + std::to_string(::GetCurrentProcessId()) +
                "_" + std::to_string(++serial);
        made_ = ::CreateDirectoryA(path_.c_str(), nullptr) != FALSE;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        if (!made_)
            return;
        for (const std::string& name : Files()) {
            const std::string file = Path(name);
            ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(file.c_str());
        }
        ::RemoveDirectoryA(path_.c_str());
    }

    [[nodiscard]] bool Made() const noexcept { return made_; }
    [[nodiscard]] std::string Path(const std::string& name) const { return path_ + "\\" + name; }

    [[nodiscard]] std::vector<std::string> Files() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found{};
        const UniqueFindHandle find(::FindFirstFileA(Path("*").c_str(), &found));
        if (!find)
            return names;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                names.emplace_back(found.cFileName);
        } while (::FindNextFileA(find.get(), &found));
        return names;
    }

private:
    std::string path_;
    bool made_ = false;
};

// A finished movie, read back through the AVI services.
class Movie {
public:
    explicit Movie(const std::string& path) {
        ::AVIFileInit();
        opened_ = ::AVIFileOpenA(file_.put(), path.c_str(), OF_READ | OF_SHARE_DENY_WRITE,
                                 nullptr) == AVIERR_OK &&
                  ::AVIFileGetStream(file_.get(), video_.put(), streamtypeVIDEO, 0) == AVIERR_OK;
    }
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;
    ~Movie() {
        video_.reset();
        file_.reset();
        ::AVIFileExit();
    }

    [[nodiscard]] bool Opened() const noexcept { return opened_; }

    [[nodiscard]] AVISTREAMINFOA Info() const {
        AVISTREAMINFOA info{};
        EXPECT_EQ(::AVIStreamInfoA(video_.get(), &info, sizeof info), AVIERR_OK);
        return info;
    }

    [[nodiscard]] BITMAPINFOHEADER Format() const {
        LONG size = 0;
        EXPECT_EQ(::AVIStreamReadFormat(video_.get(), 0, nullptr, &size), AVIERR_OK);
        std::vector<uint8_t> bytes(std::max<LONG>(size, sizeof(BITMAPINFOHEADER)));
        EXPECT_EQ(::AVIStreamReadFormat(video_.get(), 0, bytes.data(), &size), AVIERR_OK);
        return *reinterpret_cast<const BITMAPINFOHEADER*>(bytes.data());
    }

    // The bytes stored at a position; empty for a position that holds no frame.
    [[nodiscard]] std::vector<uint8_t> Frame(LONG position) const {
        LONG bytes = 0;
        if (::AVIStreamRead(video_.get(), position, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK)
            return {};
        std::vector<uint8_t> data(bytes);
        if (bytes > 0 && ::AVIStreamRead(video_.get(), position, 1, data.data(), bytes, nullptr,
                                         nullptr) != AVIERR_OK)
            return {};
        return data;
    }

    [[nodiscard]] bool IsKeyFrame(LONG position) const {
        return AVIStreamIsKeyFrame(video_.get(), position) != FALSE;
    }

private:
    UniqueAviFile file_;
    UniqueAviStream video_;
    bool opened_ = false;
};

// The colour of one pixel of a bottom-up RGB frame; empty for depths this test does not read.
std::optional<COLORREF> PixelAt(const std::vector<uint8_t>& frame, const BITMAPINFOHEADER& format,
                                int x, int y) {
    const int bits = format.biBitCount;
    const int64_t row = RowBytes(format.biWidth, bits);
    const int64_t offset = (format.biHeight - 1 - y) * row + x * (bits / 8);
    if (offset + bits / 8 > static_cast<int64_t>(frame.size()))
        return std::nullopt;
    const uint8_t* p = frame.data() + offset;
    if (bits == 24 || bits == 32)
        return RGB(p[2], p[1], p[0]);
    if (bits == 16) {
        const unsigned v = p[0] | p[1] << 8; // 5-5-5
        return RGB(((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3);
    }
    return std::nullopt;
}

// A window of one solid colour on top of everything, so recorded frames have known content.
class Swatch : public CustomWindow {
public:
    bool Show(const RECT& rect) {
        static const WindowClass kClass{"RecordingEngineTestSwatch"};
        if (!Create(kClass, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, WS_POPUP, "", rect,
                    nullptr))
            return false;
        // Never active: handing the activation back when it goes costs Wine two seconds.
        ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(Handle());
        // The display shows the window a moment after it is painted.
        for (int i = 0; i < 20; ++i) {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageA(&msg);
            ::Sleep(10);
        }
        return true;
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_ERASEBKGND) {
            RECT client{};
            ::GetClientRect(Handle(), &client);
            const UniqueBrush brush(::CreateSolidBrush(kSwatchColour));
            ::FillRect(reinterpret_cast<HDC>(wp), &client, brush.get());
            return 1;
        }
        return CustomWindow::HandleMessage(msg, wp, lp);
    }
};

// Things to do at given times after a recording has started, on the user-interface thread: the
// timers belong to a window of their own, because the engine takes every WM_TIMER of the host
// window for a captured frame.
class Script : public CustomWindow {
public:
    bool Create() {
        static const WindowClass kClass{"RecordingEngineTestScript"};
        return CustomWindow::Create(kClass, 0, 0, "", RECT{0, 0, 0, 0}, HWND_MESSAGE);
    }
    void At(UINT ms, std::function<void()> action) { steps_.push_back({ms, std::move(action)}); }
    void Start() {
        for (std::size_t i = 0; i < steps_.size(); ++i)
            ::SetTimer(Handle(), i + 1, steps_[i].ms, nullptr);
    }
    void Clear() {
        for (std::size_t i = 0; i < steps_.size(); ++i)
            ::KillTimer(Handle(), i + 1);
        steps_.clear();
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_TIMER && wp >= 1 && wp <= steps_.size()) {
            ::KillTimer(Handle(), wp);
            steps_[wp - 1].action();
            return 0;
        }
        return CustomWindow::HandleMessage(msg, wp, lp);
    }

private:
    struct Step {
        UINT ms;
        std::function<void()> action;
    };
    std::vector<Step> steps_;
};

// Stands in for the main dialog: keeps what the recorder shows and tells instead of showing it,
// and starts the script when the recording begins.
class Listener : public RecorderEvents {
public:
    explicit Listener(Script& script) : script_(script) {}

    Recorder* recorder = nullptr;
    // Run while the outcome is told (the status line), before the stop has returned; when the
    // set-up names the file; once the recording has started.
    std::function<void()> whileReporting;
    std::function<void()> whileNaming;
    std::function<void()> whenStarted;
    std::vector<std::string> messages;
    std::vector<std::string> statusTexts;
    std::vector<int32_t> looks;
    std::vector<bool> singleFrameKey;
    int started = 0;
    int stopped = 0;
    int fileNameChanges = 0;
    int panLockShown = 0;
    int closes = 0;
    int32_t stateWhenStopped = -1;

    void ShowRecordState(int32_t state) override { looks.push_back(state); }
    void OnRecordingStarted() override {
        ++started;
        script_.Start();
        if (whenStarted)
            whenStarted();
    }
    void OnRecordingStopped(const RecordingOutcome&) override {
        ++stopped;
        stateWhenStopped = recorder != nullptr ? recorder->RecordState() : -1;
        script_.Clear();
    }
    void OnOptionsChanged(OptionGroup group) override {
        if (group == OptionGroup::HotKeys)
            ++panLockShown;
        if (group != OptionGroup::Video)
            return;
        ++fileNameChanges;
        if (whileNaming)
            whileNaming();
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetStatusText(const std::string& text) override {
        statusTexts.push_back(text);
        if (whileReporting)
            whileReporting();
    }
    void HoldSingleFrameKey(bool hold) override { singleFrameKey.push_back(hold); }
    void OnCloseDeferred() override { ++closes; }
    bool PreTranslateSessionMessage(MSG&) override { return false; }

    void Clear() {
        messages.clear();
        statusTexts.clear();
        started = stopped = fileNameChanges = 0;
        stateWhenStopped = -1;
    }

private:
    Script& script_;
};

class RecordingEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app_.LoadResourceLibrary("VidRes.dll"));
        app_.SetName("Vidorra");
        ASSERT_TRUE(folder_.Made());
        ASSERT_TRUE(script_.Create());
        ASSERT_TRUE(recorder_.Create());
        recorder_.Listen(&host_);
        host_.recorder = &recorder_;

        options_.StartX = kLeft;
        options_.StartY = kTop;
        options_.Width = kWidth;
        options_.Height = kHeight;
        options_.FrameRate = 10;
        options_.PlaybackRate = 10;
        options_.FileName = folder_.Path("clip.avi");
        options_.IncrementFileName = 0;
        options_.RecordSound = 0;
        options_.CompFourcc =
            fourcc::Dib; // the frames as captured; compressors have tests of their own
        options_.WndHide = wnd_hide::Stay;
        // Nothing but the region's own pixels in the frames, and nothing drawn on the screen.
        options_.FlashRect = 0;
        options_.DrawCursor = 0;
    }

    void TearDown() override { DrainMessages(); }

    // A recording that the script stops `stopMs` after it started; false when its set-up failed.
    bool Record(UINT stopMs, int32_t initialState = record_state::Recording) {
        host_.Clear();
        StopAt(stopMs);
        const bool ran = Start(initialState);
        DrainMessages();
        return ran;
    }

    // Starts as the record or pause button does, and returns when the recording has ended.
    bool Start(int32_t initialState = record_state::Recording) {
        EXPECT_TRUE(recorder_.Handle(initialState == record_state::Paused
                                         ? ControlInput::PauseButton
                                         : ControlInput::StartStopButton));
        return !Outcome().setupFailed;
    }

    // Stops as the user's start hot key does.
    void StopAt(UINT ms) {
        script_.At(ms, [this] { recorder_.Handle(ControlInput::StartStopKey); });
    }

    // As the hot keys do it: true when a single frame was written.
    bool SingleFrame() {
        return recorder_.Handle(ControlInput::SingleFrameKey) && recorder_.LastSingleFrameWritten();
    }
    void TogglePause() { recorder_.Handle(ControlInput::PauseKey); }

    // A start refused before anything was recorded: one message, the host back to its idle look
    // and no summary.
    void ExpectStartRefused(const std::string& message) {
        host_.Clear();
        EXPECT_FALSE(Start());
        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_EQ(host_.messages[0], message);
        EXPECT_EQ(host_.started, 0);
        EXPECT_EQ(host_.stopped, 1);
        EXPECT_TRUE(host_.statusTexts.empty());
        EXPECT_EQ(recorder_.RecordState(), record_state::Idle);
    }

    // Late ticks of a recording that has ended must not reach the next one.
    static void DrainMessages() {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
    }

    [[nodiscard]] const RecordingOutcome& Outcome() const { return recorder_.LastOutcome(); }

    Application app_{::GetModuleHandleA(nullptr)};
    TempFolder folder_;
    RecordingOptions options_;
    CursorImageTable cursors_{"Software\\VidorraTest\\NoCursors"};
    Script script_;
    Listener host_{script_};
    Recorder recorder_{options_, cursors_};
};

TEST_F(RecordingEngineTest, RecordsTheRegionIntoAStreamThatPlaysAtTheCaptureRate) {
    Swatch swatch;
    ASSERT_TRUE(swatch.Show(RECT{kLeft, kTop, kLeft + kWidth, kTop + kHeight}));
    const int bits = ScreenBitsPerPixel();

    ASSERT_TRUE(Record(1000));

    EXPECT_EQ(host_.started, 1);
    EXPECT_EQ(host_.stopped, 1);
    EXPECT_EQ(host_.stateWhenStopped, record_state::Idle);
    EXPECT_EQ(recorder_.RecordState(), record_state::Idle);
    EXPECT_TRUE(host_.messages.empty());
    const int32_t frames = Outcome().frameIndex;
    EXPECT_GE(frames, 5);
    EXPECT_LE(frames, 20);
    ASSERT_EQ(host_.statusTexts.size(), 1u);
    EXPECT_EQ(host_.statusTexts[0], FormatText(App().LoadString(IDS_RECORDING_SUMMARY),
                                               {std::to_string(Outcome().framesWritten),
                                                std::to_string(Outcome().dropped)}));
    // Wine's Microsoft Video 1 cannot compress 32-bit frames; the recording goes on without it.
    if (bits == 32) {
        EXPECT_EQ(recorder_.HandlerUsed(), fourcc::Dib);
    }

    const Movie movie(options_.FileName);
    ASSERT_TRUE(movie.Opened());
    const AVISTREAMINFOA info = movie.Info();
    EXPECT_EQ(info.fccType, streamtypeVIDEO);
    EXPECT_EQ(info.dwRate, 10000u);
    EXPECT_EQ(info.dwScale, 1000u);
    EXPECT_EQ(info.rcFrame.left, 0);
    EXPECT_EQ(info.rcFrame.top, 0);
    EXPECT_EQ(info.rcFrame.right, kWidth);
    EXPECT_EQ(info.rcFrame.bottom, kHeight);
    EXPECT_STREQ(info.szName, "Vidorra Video");
    EXPECT_EQ(static_cast<int32_t>(info.dwLength), frames);

    const BITMAPINFOHEADER format = movie.Format();
    EXPECT_EQ(format.biWidth, kWidth);
    EXPECT_EQ(format.biHeight, kHeight);
    EXPECT_EQ(format.biBitCount, bits);
    EXPECT_EQ(format.biCompression, static_cast<DWORD>(BI_RGB));

    // Every frame holds the region and nothing around it.
    const int32_t imageSize = *ImageSize(kWidth, kHeight, bits);
    int checked = 0;
    for (LONG position = 0; position < frames; ++position) {
        const std::vector<uint8_t> frame = movie.Frame(position);
        if (frame.empty())
            continue; // a position whose tick came too late holds no frame
        ++checked;
        ASSERT_EQ(static_cast<int32_t>(frame.size()), imageSize) << "frame " << position;
        EXPECT_TRUE(movie.IsKeyFrame(position)) << "frame " << position;
        for (const POINT p : {POINT{0, 0}, POINT{kWidth - 1, 0}, POINT{kWidth / 2, kHeight / 2},
                              POINT{0, kHeight - 1}, POINT{kWidth - 1, kHeight - 1}}) {
            const auto pixel = PixelAt(frame, format, p.x, p.y);
            if (pixel) {
                EXPECT_EQ(*pixel, kSwatchColour)
                    << "frame " << position << " at " << p.x << "," << p.y;
            }
        }
    }
    EXPECT_GE(checked, frames - 2);
    // The summary counts the frames in the file, not the positions.
    EXPECT_EQ(Outcome().framesWritten, checked);
    EXPECT_FALSE(movie.Frame(0).empty());
}

TEST_F(RecordingEngineTest, StreamRateAndScaleGiveThePlaybackRate) {
    struct Case {
        double capture;
        double playback;
        DWORD rate;
        DWORD scale;
    };
    for (const Case c : {Case{5, 15, 5000, 333}, Case{20, 7.5, 20000, 2667}}) {
        SCOPED_TRACE(std::to_string(c.capture) + " fps played at " + std::to_string(c.playback));
        options_.FrameRate = c.capture;
        options_.PlaybackRate = c.playback;
        ASSERT_TRUE(Record(500));
        ASSERT_GT(Outcome().frameIndex, 0);
        const Movie movie(options_.FileName);
        ASSERT_TRUE(movie.Opened());
        const AVISTREAMINFOA info = movie.Info();
        EXPECT_EQ(info.dwRate, c.rate);
        EXPECT_EQ(info.dwScale, c.scale);
        EXPECT_EQ(static_cast<int32_t>(info.dwLength), Outcome().frameIndex);
    }
}

TEST_F(RecordingEngineTest, SettingsThatCannotBeRecordedAreRefusedBeforeAnythingIsMade) {
    const std::string badRate = App().LoadString(IDS_BAD_FRAME_RATE);
    const auto badSize = [](int w, int h) {
        return FormatText(App().LoadString(IDS_BAD_REGION_SIZE),
                          {std::to_string(w), std::to_string(h)});
    };
    struct Case {
        const char* what;
        std::function<void(RecordingOptions&)> change;
        std::string message;
    };
    const Case cases[] = {
        {"no width", [](RecordingOptions& o) { o.Width = 0; }, badSize(0, kHeight)},
        {"no height", [](RecordingOptions& o) { o.Height = -5; }, badSize(kWidth, -5)},
        {"a frame beyond 2 GB",
         [](RecordingOptions& o) {
             o.Width = 40000;
             o.Height = 40000;
         },
         badSize(40000, 40000)},
        {"no capture rate", [](RecordingOptions& o) { o.FrameRate = 0; }, badRate},
        {"capture rate not a number",
         [](RecordingOptions& o) { o.FrameRate = std::numeric_limits<double>::quiet_NaN(); },
         badRate},
        {"timer period below 1 ms", [](RecordingOptions& o) { o.FrameRate = 2000; }, badRate},
        {"no playback rate", [](RecordingOptions& o) { o.PlaybackRate = -1; }, badRate},
        {"stream scale below 1",
         [](RecordingOptions& o) {
             o.FrameRate = 0.001;
             o.PlaybackRate = 1000;
         },
         badRate},
    };
    // An earlier take of the same name: a recording that never starts must not cost it.
    WriteFile(options_.FileName, "take");
    const RecordingOptions defaults = options_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options_ = defaults;
        c.change(options_);

        ExpectStartRefused(c.message);
        EXPECT_TRUE(Outcome().setupFailed);
        EXPECT_EQ(folder_.Files(), std::vector<std::string>{"clip.avi"});
        EXPECT_EQ(FileSize(defaults.FileName), 4);
        DrainMessages();
    }
}

TEST_F(RecordingEngineTest, AviSetUpFailuresNameTheirStageAndLeaveNoFile) {
    const auto stage = [](const char* text) {
        return FormatText(App().LoadString(IDS_AVI_SETUP_FAILED), {text});
    };
    struct Case {
        const char* what;
        std::function<void(RecordingOptions&)> change;
        std::string message;
    };
    const std::string missingFolder = folder_.Path("missing\\clip.avi");
    const Case cases[] = {
        {"a folder that does not exist", [&](RecordingOptions& o) { o.FileName = missingFolder; },
         stage("(Open AVI)")},
        {"a folder that does not exist, numbered",
         [&](RecordingOptions& o) {
             o.FileName = missingFolder;
             o.IncrementFileName = 1;
         },
         stage("(Open AVI)")},
        {"a compressor that is not installed",
         [](RecordingOptions& o) { o.CompFourcc = MakeFourcc('Z', 'Z', 'Z', 'Z'); },
         stage("(Make Compressed Stream)")},
    };
    const RecordingOptions defaults = options_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options_ = defaults;
        c.change(options_);

        ExpectStartRefused(c.message);
        EXPECT_TRUE(folder_.Files().empty());
        DrainMessages();
    }
}

TEST_F(RecordingEngineTest, AReadOnlyTakeIsNeitherRecordedOverNorDeleted) {
    const std::string name = folder_.Path("keep.avi");
    WriteFile(name, "take");
    ASSERT_TRUE(::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
    options_.FileName = name;
    host_.Clear();

    EXPECT_FALSE(Start());

    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0],
              FormatText(App().LoadString(IDS_AVI_SETUP_FAILED), {"(Open AVI)"}));
    EXPECT_EQ(FileSize(name), 4);
}

TEST_F(RecordingEngineTest, NumberedNamesAdvanceWithEachRecordingAndKeepEarlierTakes) {
    options_.IncrementFileName = 1;
    options_.FileName = folder_.Path("t.avi");

    ASSERT_TRUE(Record(300));
    EXPECT_EQ(options_.FileName, folder_.Path("t0001.avi"));
    EXPECT_EQ(host_.fileNameChanges, 1);
    ASSERT_GT(Outcome().frameIndex, 0);

    ASSERT_TRUE(Record(300));
    EXPECT_EQ(options_.FileName, folder_.Path("t0002.avi"));
    EXPECT_EQ(host_.fileNameChanges, 1);
    ASSERT_GT(Outcome().frameIndex, 0);

    const std::vector<std::string> files = folder_.Files();
    EXPECT_EQ(files.size(), 2u);
    for (const char* take : {"t0001.avi", "t0002.avi"}) {
        const Movie movie(folder_.Path(take));
        EXPECT_TRUE(movie.Opened()) << take;
        if (movie.Opened()) {
            EXPECT_GT(movie.Info().dwLength, 0u) << take;
        }
    }
}

// The tick flashes the frame for 15 ms at a 10 ms period, so the timer thread is nearly always
// inside a tick when the stop comes; the stop must wait for it before releasing what it uses.
TEST_F(RecordingEngineTest, StoppingWhileTicksRunIsSafe) {
    options_.FrameRate = 100;
    options_.PlaybackRate = 100;
    options_.FlashRect = 1;
    options_.IncrementFileName = 1;
    for (int take = 1; take <= 5; ++take) {
        SCOPED_TRACE("take " + std::to_string(take));
        ASSERT_TRUE(Record(200));
        EXPECT_TRUE(host_.messages.empty());
        EXPECT_EQ(recorder_.RecordState(), record_state::Idle);
        EXPECT_GT(Outcome().frameIndex, 0);
    }
    const std::vector<std::string> files = folder_.Files();
    ASSERT_EQ(files.size(), 5u);
    for (const std::string& file : files) {
        const Movie movie(folder_.Path(file));
        EXPECT_TRUE(movie.Opened()) << file;
    }
}

TEST_F(RecordingEngineTest, SingleFramesWhilePausedAreTheOnlyFramesWritten) {
    EXPECT_FALSE(SingleFrame()); // nothing to capture into while idle
    std::vector<bool> taken;
    std::vector<int32_t> statesAfter;
    script_.At(300, [&] {
        for (int i = 0; i < 3; ++i) {
            taken.push_back(SingleFrame());
            statesAfter.push_back(recorder_.RecordState());
        }
    });

    ASSERT_TRUE(Record(600, record_state::Paused));

    EXPECT_EQ(taken, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(statesAfter, (std::vector<int32_t>(3, record_state::Paused)));
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_EQ(Outcome().frameIndex, 3);
    const Movie movie(options_.FileName);
    ASSERT_TRUE(movie.Opened());
    EXPECT_EQ(movie.Info().dwLength, 3u);
    for (LONG position = 0; position < 3; ++position)
        EXPECT_FALSE(movie.Frame(position).empty()) << "frame " << position;
}

// Half a second recorded, a second paused, half a second recorded: the stream holds about one
// second of frames, and the pause is no gap in it.
TEST_F(RecordingEngineTest, APauseLeavesNoGapInTheStream) {
    bool singleFrameWhileRecording = true;
    script_.At(300, [&] { singleFrameWhileRecording = SingleFrame(); });
    script_.At(500, [&] { TogglePause(); });
    script_.At(1500, [&] { TogglePause(); });

    ASSERT_TRUE(Record(2000));

    EXPECT_FALSE(singleFrameWhileRecording);
    EXPECT_TRUE(host_.messages.empty());
    const int32_t frames = Outcome().frameIndex;
    EXPECT_GE(frames, 10 - 3);
    EXPECT_LE(frames, 10 + 3);
    const Movie movie(options_.FileName);
    ASSERT_TRUE(movie.Opened());
    EXPECT_EQ(static_cast<int32_t>(movie.Info().dwLength), frames);
}

TEST_F(RecordingEngineTest, ARecordingStoppedBeforeItsFirstFrameLeavesNoFile) {
    options_.FrameRate = 0.5; // the first tick is two seconds away

    ASSERT_TRUE(Record(200));

    EXPECT_EQ(host_.started, 1);
    EXPECT_EQ(host_.stopped, 1);
    EXPECT_EQ(Outcome().frameIndex, 0);
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_TRUE(host_.statusTexts.empty());
    EXPECT_TRUE(folder_.Files().empty());
}

// Our screen codec through the video compression manager: key frames where the compressor marks
// them, at the interval asked for, and at the first frame after a pause, so that a player can
// seek to where the take goes on.
TEST_F(RecordingEngineTest, KeyFramesComeAtTheIntervalAskedForAndAfterEveryPause) {
    const zmbv_driver::Installation codec;
    ASSERT_TRUE(codec.Installed());
    options_.CompFourcc = zmbv_driver::kFourcc;
    struct Case {
        const char* what;
        int32_t keyFrames;
        bool pause;
    };
    for (const Case c : {Case{"none asked for", 0, false}, Case{"every fourth", 4, false},
                         Case{"a pause", 0, true}}) {
        SCOPED_TRACE(c.what);
        options_.KeyFrames = c.keyFrames;
        if (c.pause) {
            script_.At(500, [&] { TogglePause(); });
            script_.At(1000, [&] { TogglePause(); });
        }
        ASSERT_TRUE(Record(1600));
        EXPECT_TRUE(host_.messages.empty());

        const Movie movie(options_.FileName);
        ASSERT_TRUE(movie.Opened());
        EXPECT_EQ(movie.Info().fccHandler, zmbv_driver::kFourcc);
        std::vector<LONG> frames; // positions that hold a frame
        std::vector<LONG> keys;
        for (LONG position = 0; position < static_cast<LONG>(movie.Info().dwLength); ++position) {
            if (movie.Frame(position).empty())
                continue;
            frames.push_back(position);
            if (movie.IsKeyFrame(position))
                keys.push_back(position);
        }
        ASSERT_GE(frames.size(), 8u);
        if (c.keyFrames > 0) {
            std::vector<LONG> expected;
            for (std::size_t i = 0; i < frames.size(); i += c.keyFrames)
                expected.push_back(frames[i]);
            EXPECT_EQ(keys, expected);
        } else if (c.pause) {
            // Half a second in, at 10 frames a second: the fifth frame or so.
            ASSERT_EQ(keys.size(), 2u);
            EXPECT_EQ(keys[0], frames[0]);
            EXPECT_GE(keys[1], 2);
            EXPECT_LE(keys[1], 8);
        } else {
            EXPECT_EQ(keys, std::vector<LONG>{frames[0]});
        }
    }
}

// From a thread of its own, asks a window of the user-interface thread for an answer every few
// milliseconds and keeps the longest wait: while a recording runs, the dialog, the hot keys and
// the messages must not wait on the movie's compressing and writing.
class ReplyWatch {
public:
    explicit ReplyWatch(HWND window)
        : thread_([this, window] {
              while (!stop_) {
                  const auto asked = std::chrono::steady_clock::now();
                  DWORD_PTR reply = 0;
                  ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &reply);
                  const std::chrono::duration<double, std::milli> waited =
                      std::chrono::steady_clock::now() - asked;
                  longestMs_ = std::max(longestMs_.load(), waited.count());
                  ::Sleep(5);
              }
          }) {}
    ReplyWatch(const ReplyWatch&) = delete;
    ReplyWatch& operator=(const ReplyWatch&) = delete;
    ~ReplyWatch() {
        stop_ = true;
        thread_.join();
    }
    [[nodiscard]] double LongestMs() const noexcept { return longestMs_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<double> longestMs_{0};
    std::thread thread_;
};

class RecordingEngineCompressorTest : public RecordingEngineTest {
protected:
    void SetUp() override {
        RecordingEngineTest::SetUp();
        ASSERT_TRUE(compressor_.Installed());
        options_.CompFourcc = copy_compressor::kFourcc;
    }
    static copy_compressor::Behaviour& Codec() { return copy_compressor::Current(); }

    copy_compressor::Installation compressor_;
};

// The user chose a compressor by name and it cannot take the screen's frames. That is a set-up
// failure like any other: told at once, before a frame is captured, and no empty movie is left.
TEST_F(RecordingEngineCompressorTest, AChosenCompressorThatRefusesTheFramesFailsTheSetUp) {
    struct Case {
        const char* what;
        uint32_t fourcc;
        bool testCodecRefuses;
    };
    std::vector<Case> cases{{"the test codec, told to refuse", copy_compressor::kFourcc, true}};
    // Wine's Microsoft Video 1 opens, but refuses frames of 32 bits per pixel.
    if (ScreenBitsPerPixel() == 32)
        cases.push_back({"Microsoft Video 1", fourcc::Msvc, false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options_.CompFourcc = c.fourcc;
        Codec().refuseFrames = c.testCodecRefuses;
        host_.Clear();
        StopAt(1000); // only reached when the set-up let the compressor through

        EXPECT_FALSE(Start());
        DrainMessages();

        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_EQ(host_.messages[0],
                  FormatText(App().LoadString(IDS_AVI_SETUP_FAILED), {"(Make Compressed Stream)"}));
        EXPECT_EQ(host_.started, 0);
        EXPECT_EQ(recorder_.RecordState(), record_state::Idle);
        EXPECT_TRUE(folder_.Files().empty());
        EXPECT_EQ(Codec().framesCompressed.load(), 0);
    }
}

// The codec said yes when asked, so the recording starts; its refusal comes with the first frame.
// The recording ends with the stage named, and a movie without a single frame is not kept.
TEST_F(RecordingEngineCompressorTest, ACompressorFailingAtTheFirstFrameLeavesNoEmptyMovie) {
    Codec().failToBegin = true;

    ASSERT_TRUE(Record(1000));

    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_NE(host_.messages[0].find("(Set Video Stream Format, err "), std::string::npos)
        << host_.messages[0];
    EXPECT_EQ(Outcome().frameIndex, abort_code::FormatRefused);
    EXPECT_TRUE(host_.statusTexts.empty());
    EXPECT_EQ(Codec().framesCompressed.load(), 0);
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(RecordingEngineCompressorTest, TheChosenCompressorWritesEveryFrame) {
    Swatch swatch;
    ASSERT_TRUE(swatch.Show(RECT{kLeft, kTop, kLeft + kWidth, kTop + kHeight}));

    ASSERT_TRUE(Record(800));

    EXPECT_TRUE(host_.messages.empty());
    EXPECT_EQ(recorder_.HandlerUsed(), copy_compressor::kFourcc);
    const int32_t frames = Outcome().frameIndex;
    ASSERT_GE(frames, 3);

    const Movie movie(options_.FileName);
    ASSERT_TRUE(movie.Opened());
    const AVISTREAMINFOA info = movie.Info();
    EXPECT_EQ(info.fccHandler, copy_compressor::kFourcc);
    EXPECT_EQ(static_cast<int32_t>(info.dwLength), frames);
    const BITMAPINFOHEADER format = movie.Format();
    EXPECT_EQ(format.biCompression, copy_compressor::kFourcc);
    EXPECT_EQ(format.biWidth, kWidth);
    EXPECT_EQ(format.biHeight, kHeight);

    // Every frame the codec made is in the file, as the codec made it.
    const int32_t imageSize = *ImageSize(kWidth, kHeight, format.biBitCount);
    int stored = 0;
    for (LONG position = 0; position < frames; ++position) {
        const std::vector<uint8_t> frame = movie.Frame(position);
        if (frame.empty())
            continue;
        ++stored;
        ASSERT_EQ(static_cast<int32_t>(frame.size()), imageSize) << "frame " << position;
        const auto pixel = PixelAt(frame, format, kWidth / 2, kHeight / 2);
        if (pixel) {
            EXPECT_EQ(*pixel, kSwatchColour) << "frame " << position;
        }
    }
    EXPECT_EQ(stored, Codec().framesCompressed.load());
    EXPECT_FALSE(movie.Frame(0).empty());
}

// A compressor that takes 700 ms over its first frame (seven ticks at 10 frames per second)
// holds up the writer while the ring fills; that is a slow start, not a recording that cannot
// keep up.
// The ring holds about two seconds of frames: a stall shorter than that (a key frame, a slow
// flush) drops nothing, and a longer one drops frames without ending the recording. Either way
// the user-interface thread answers at once: the stall is the movie thread's alone.
TEST_F(RecordingEngineCompressorTest, ASlowFirstFrameDoesNotEndTheRecording) {
    for (const UINT delayMs : {700u, 2600u}) {
        SCOPED_TRACE(delayMs);
        Codec().firstFrameDelayMs = delayMs;
        Codec().framesCompressed = 0; // the delay is the first frame's of each recording

        std::optional<ReplyWatch> watch(std::in_place, script_.Handle());
        ASSERT_TRUE(Record(delayMs + 800));
        const double longestMs = watch->LongestMs();
        watch.reset();

        EXPECT_LT(longestMs, 50.0);
        EXPECT_TRUE(host_.messages.empty());
        if (delayMs < 2000) {
            EXPECT_EQ(Outcome().dropped, 0);
        } else {
            EXPECT_GT(Outcome().dropped, 0);
        }
        EXPECT_GT(Outcome().frameIndex, 5);
        EXPECT_EQ(host_.statusTexts.size(), 1u);
        const Movie movie(options_.FileName);
        ASSERT_TRUE(movie.Opened());
        EXPECT_EQ(static_cast<int32_t>(movie.Info().dwLength), Outcome().frameIndex);
    }
}

TEST_F(RecordingEngineCompressorTest, ACompressorThatCannotKeepUpEndsTheRecordingOnce) {
    Codec().frameDelayMs = 300; // six ticks per frame at 20 frames per second
    options_.FrameRate = 20;
    options_.PlaybackRate = 20;

    ASSERT_TRUE(Record(5000)); // the stop only comes from the drop limit if all goes well

    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0], App().LoadString(IDS_TOO_MANY_DROPPED));
    EXPECT_EQ(Outcome().frameIndex, abort_code::TooManyDropped);
    EXPECT_GT(Outcome().dropped, 0);
    EXPECT_TRUE(host_.statusTexts.empty());
    EXPECT_EQ(host_.stopped, 1);
    // The frames written before the stop are kept.
    const Movie movie(options_.FileName);
    ASSERT_TRUE(movie.Opened());
    EXPECT_GT(movie.Info().dwLength, 0u);
}

// The recorder's control on the real engine: every input in every state, re-entry included.
class RecordControlTest : public RecordingEngineTest {
protected:
    // A recording through the control, stopped by the start hot key `stopMs` after it started.
    void RecordThroughControl(UINT stopMs, ControlInput start = ControlInput::StartStopButton) {
        host_.Clear();
        StopAt(stopMs);
        EXPECT_TRUE(recorder_.Handle(start));
        DrainMessages();
    }
};

TEST_F(RecordControlTest, HotKeysWhileIdlePostOneStartAndTheButtonsDecideByState) {
    EXPECT_TRUE(recorder_.Handle(ControlInput::StartStopKey));
    EXPECT_EQ(recorder_.State(), ControlState::StartPosted);
    // A second press before the posted start is taken neither posts again nor stops anything.
    EXPECT_FALSE(recorder_.Handle(ControlInput::StartStopKey));
    EXPECT_FALSE(recorder_.Handle(ControlInput::PauseKey));
    EXPECT_FALSE(recorder_.Handle(ControlInput::SingleFrameKey));
    EXPECT_FALSE(recorder_.Handle(ControlInput::EngineStop));

    // A click gets there first; the posted start, taken from the queue by the recording's loop,
    // must not stop it: the recording runs until the hot key.
    RecordThroughControl(1000);
    EXPECT_EQ(host_.started, 1);
    EXPECT_EQ(host_.stopped, 1);
    EXPECT_GE(Outcome().frameIndex, 5);
    EXPECT_EQ(recorder_.State(), ControlState::Idle);

    // The posted start arrives while idle: it runs the recording until the hot key stops it.
    host_.looks.clear();
    EXPECT_TRUE(recorder_.Handle(ControlInput::StartStopKey));
    host_.Clear();
    StopAt(1000);
    DrainMessages();
    EXPECT_EQ(host_.started, 1);
    EXPECT_EQ(host_.stopped, 1);
    EXPECT_EQ(recorder_.State(), ControlState::Idle);
    EXPECT_TRUE(recorder_.LastRecordingSucceeded());
    EXPECT_EQ(host_.looks, (std::vector<int32_t>{record_state::Recording, record_state::Idle}));
    EXPECT_TRUE(host_.singleFrameKey.empty());

    // The lock-pan key works in any state.
    const int32_t locked = options_.PanLocked;
    EXPECT_TRUE(recorder_.Handle(ControlInput::LockPanKey));
    EXPECT_NE(options_.PanLocked, locked);
    EXPECT_EQ(host_.panLockShown, 1);
}

// While the stop tells its outcome (a message box would run its own loop here), starts, stops
// and closes arrive; none may start a recording, which with numbering off would delete the take.
TEST_F(RecordControlTest, NothingArrivingDuringAStopStartsARecordingOrDeletesTheTake) {
    std::vector<bool> acted;
    std::vector<ControlState> states;
    bool closeNow = true;
    host_.whileReporting = [&] {
        states.push_back(recorder_.State());
        for (ControlInput input :
             {ControlInput::StartStopKey, ControlInput::StartStopButton, ControlInput::PauseButton,
              ControlInput::PauseKey, ControlInput::EngineStop, ControlInput::SingleFrameKey})
            acted.push_back(recorder_.Handle(input));
        closeNow = recorder_.RequestClose();
    };

    RecordThroughControl(1500); // long enough for a frame, and so a summary, on a busy machine

    EXPECT_EQ(states, (std::vector<ControlState>{ControlState::Reporting}));
    EXPECT_EQ(acted, std::vector<bool>(6, false));
    EXPECT_FALSE(closeNow);
    EXPECT_EQ(host_.closes, 1); // the close comes back once the stop is over
    EXPECT_EQ(host_.started, 1);
    EXPECT_EQ(recorder_.State(), ControlState::Idle);
    const Movie movie(options_.FileName);
    ASSERT_TRUE(movie.Opened());
    EXPECT_GT(movie.Info().dwLength, 0u);
}

// The single-frame key is held exactly while paused, and let go by every way out: resume, stop,
// and a paused start whose set-up fails.
TEST_F(RecordControlTest, TheSingleFrameKeyIsHeldOnlyWhilePaused) {
    script_.At(200, [&] { recorder_.Handle(ControlInput::SingleFrameKey); });
    script_.At(300, [&] { recorder_.Handle(ControlInput::PauseKey); }); // resume
    script_.At(400, [&] { recorder_.Handle(ControlInput::PauseButton); });
    host_.looks.clear();
    RecordThroughControl(600, ControlInput::PauseButton);
    EXPECT_EQ(host_.singleFrameKey, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(host_.looks, (std::vector<int32_t>{record_state::Paused, record_state::Recording,
                                                 record_state::Paused, record_state::Idle}));
    EXPECT_GE(Outcome().framesWritten, 1);

    host_.singleFrameKey.clear();
    options_.Width = 0; // refused by the set-up
    host_.Clear();
    EXPECT_TRUE(recorder_.Handle(ControlInput::PauseButton));
    EXPECT_EQ(host_.messages.size(), 1u);
    EXPECT_TRUE(host_.singleFrameKey.empty());
    EXPECT_EQ(recorder_.State(), ControlState::Idle);
    EXPECT_FALSE(recorder_.LastRecordingSucceeded());

    // Disabled hot keys: pausing holds nothing, and the flag changes only while idle.
    options_.Width = kWidth;
    EXPECT_TRUE(recorder_.SetHotKeysDisabled(true));
    bool changedWhileRecording = true;
    script_.At(200, [&] {
        recorder_.Handle(ControlInput::PauseKey);
        changedWhileRecording = recorder_.SetHotKeysDisabled(false);
    });
    RecordThroughControl(400);
    EXPECT_TRUE(host_.singleFrameKey.empty());
    EXPECT_FALSE(changedWhileRecording);
}

// A stop asked for while the session is being set up waits for the set-up, then stops that
// session (and only that one: the next start records until its own stop).
TEST_F(RecordControlTest, AStopDuringTheSetUpStopsTheSessionOnceItRuns) {
    options_.IncrementFileName = 1; // the set-up tells the listener the new name
    host_.Clear();
    bool actedDuringSetUp = false;
    ControlState stateDuringSetUp = ControlState::Idle;
    StopAt(3000); // a safety net
    // The new file name is the listener's one call during the set-up.
    host_.whileNaming = [&] {
        stateDuringSetUp = recorder_.State();
        actedDuringSetUp = recorder_.Handle(ControlInput::StartStopKey);
    };
    EXPECT_TRUE(recorder_.Handle(ControlInput::StartStopButton));
    DrainMessages();
    EXPECT_EQ(stateDuringSetUp, ControlState::Starting);
    EXPECT_TRUE(actedDuringSetUp);
    EXPECT_EQ(host_.started, 1);
    EXPECT_EQ(host_.stopped, 1);
    EXPECT_EQ(recorder_.State(), ControlState::Idle);
    // Stopped by the deferred command, long before the safety net.
    EXPECT_LT(Outcome().frameIndex, 10);

    host_.whileNaming = nullptr;
    RecordThroughControl(1000);
    EXPECT_EQ(host_.started, 1);
    EXPECT_GE(Outcome().frameIndex, 5);
}

// An exception out of the session leaves neither the control nor the engine stuck.
TEST_F(RecordControlTest, AnExceptionDuringTheRecordingStopsItAndLeavesTheControlIdle) {
    host_.whenStarted = [] { throw std::runtime_error("out of memory, say"); };
    host_.Clear();
    host_.looks.clear();
    EXPECT_THROW(recorder_.Handle(ControlInput::StartStopButton), std::runtime_error);
    DrainMessages();
    EXPECT_EQ(recorder_.RecordState(), record_state::Idle);
    EXPECT_EQ(recorder_.State(), ControlState::Idle);
    EXPECT_EQ(host_.looks.back(), record_state::Idle);
    EXPECT_EQ(host_.stopped, 1);
    // And the next recording runs.
    host_.whenStarted = nullptr;
    RecordThroughControl(1500);
    EXPECT_EQ(host_.started, 1);
    EXPECT_TRUE(recorder_.LastRecordingSucceeded());
}

} // namespace
