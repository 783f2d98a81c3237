#include "engine/recording_engine_win.h"

#include "codec/zmbv_driver_win.h"
#include "engine/cursor_images_win.h"
#include "engine/file_naming.h"
#include "engine/frame_format.h"
#include "engine/option_rules.h"
#include "engine/session_state_win.h"
#include "framework/app_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"
#include "sound/wave_in_wnd_win.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mmsystem.h>
#include <new>
#include <optional>
#include <set>
#include <utility>

namespace {

constexpr UINT kTimerResolutionMs = 5;
constexpr DWORD kTickWaitLimitMs = 2000;
// A sound input under Wine's PulseAudio driver was measured taking 0.2 to 1.9 s from its start
// to its first sample; the picture waits that long so the take's first moments have their sound.
constexpr DWORD kSoundBeginWaitMs = 3000;
// A stream's name is kept in 64 characters, its ending zero included.
constexpr size_t kStreamNameChars = 64;

std::string Resource(UINT id) {
    return App().LoadString(id);
}

// The folder a file is in, as GetDiskFreeSpaceEx wants it: full path, trailing backslash.
std::string DirectoryOf(const std::string& fileName) {
    char full[MAX_PATH];
    char* namePart = nullptr;
    const DWORD n = ::GetFullPathNameA(fileName.c_str(), MAX_PATH, full, &namePart);
    if (n == 0 || n >= MAX_PATH || namePart == nullptr)
        return {};
    return std::string(full, namePart);
}

bool FileOrDirectoryExists(const std::string& name) {
    return ::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

RecordingEngine::RecordingEngine(RecordingOptions& options, const CursorImageTable& cursors,
                                 SessionHost& host)
    : options_(options), cursors_(cursors), host_(host),
      flashPen_(::CreatePen(PS_SOLID, 3, RGB(255, 255, 255))) {}

RecordingEngine::~RecordingEngine() {
    if (session_)
        Stop();
}

bool RecordingEngine::Run(int32_t initialState) {
    if (session_ || stopping_)
        return false;
    if (!SetUp(initialState))
        return false;
    RunLoop();
    return true;
}

bool RecordingEngine::FailSetup(const std::string& message) {
    outcome_.setupFailed = true;
    host_.ShowMessage(message);
    Stop();
    return false;
}

bool RecordingEngine::FailAviStage(const char* stage, HRESULT hr) {
    session_->lastAviError = hr;
    return FailSetup(FormatText(Resource(IDS_AVI_SETUP_FAILED), {stage}));
}

bool RecordingEngine::SetUp(int32_t initialState) {
    outcome_ = RecordingOutcome{};
    paletteChanged_.store(false); // a change seen while idle does not concern this recording
    session_ = std::make_unique<Session>();
    Session& s = *session_;
    attachedThread_ = 0;

    // An unsupported rate or depth is refused and the last good format stays.
    wave_.ClearBlocks();
    (void)wave_.SetFormat(options_.SoundSampRate, options_.SoundSampSize, 0);
    s.soundStart.Reset(option_rules::MovieHasSound(options_), CaptureBufferBytes(wave_.Format()));

    // Values no path should have let through, refused before anything is made.
    const auto rate = VideoStreamRate(options_.FrameRate, options_.PlaybackRate);
    s.timerPeriod = option_rules::TimerPeriodMs(options_.FrameRate);
    if (!option_rules::IsValidRate(options_.FrameRate) ||
        !option_rules::IsValidRate(options_.PlaybackRate) || !rate || s.timerPeriod < 1)
        return FailSetup(Resource(IDS_BAD_FRAME_RATE));
    if (!ImageSize(options_.Width, options_.Height, 32))
        return FailSetup(
            FormatText(Resource(IDS_BAD_REGION_SIZE), {std::to_string(options_.Width.load()),
                                                       std::to_string(options_.Height.load())}));

    // The device takes its time to open and then to begin capturing: it starts now, and what it
    // captures before the first frame is left out when that frame is taken.
    StartSound(initialState);

    RECT desktop{};
    ::GetClientRect(::GetDesktopWindow(), &desktop);
    s.screenWidth = desktop.right;
    s.screenHeight = desktop.bottom;
    s.frameIndex.Reset();
    s.drops.Reset();
    s.ring.Reset();

    if (!PrepareFormat())
        return FailSetup(FormatText(Resource(IDS_AVI_SETUP_FAILED), {"(Screen)"}));
    if (!ChooseFileName())
        return false;
    if (!OpenStreams())
        return false;
    if (session_->audio)
        soundWriter_.SetStream(*session_->movie);
    if (!MakeFrameBitmaps())
        return FailSetup(FormatText(Resource(IDS_AVI_SETUP_FAILED), {"(Frame Bitmaps)"}));

    WaitForSoundToBegin();
    state_.store(initialState);
    host_.OnRecordingStarted();
    ::GetCursorPos(&s.previousCursorPos);
    s.schedule.Start(options_.FrameRate);

    ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    s.priorityRaised = true;
    ::Beep(1000, 200);

    if (!StartTimer())
        return FailSetup(FormatText(Resource(IDS_AVI_SETUP_FAILED), {"(Start Timer)"}));
    return true;
}

bool RecordingEngine::PrepareFormat() {
    Session& s = *session_;
    s.screenDc = UniqueWindowDc(nullptr);
    if (!s.screenDc)
        return false;
    HDC dc = s.screenDc.get();
    s.bitsPerPixel = ::GetDeviceCaps(dc, BITSPIXEL) * ::GetDeviceCaps(dc, PLANES);
    s.colorCount = ColorCount(s.bitsPerPixel);
    const auto imageSize = ImageSize(options_.Width, options_.Height, s.bitsPerPixel);
    if (!imageSize)
        return false;
    s.imageSize = *imageSize;

    auto block = std::make_unique<FrameFormatBlock>();
    block->bytes.assign(sizeof(BITMAPINFOHEADER) + 4 * static_cast<size_t>(s.colorCount), 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block->bytes.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = options_.Width;
    header->biHeight = options_.Height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(s.bitsPerPixel);
    header->biCompression = BI_RGB;
    header->biClrUsed = static_cast<DWORD>(s.colorCount);
    if (s.colorCount > 0) {
        std::vector<PALETTEENTRY> system(s.colorCount);
        ::GetSystemPaletteEntries(dc, 0, s.colorCount, system.data());
        std::vector<PaletteColor> palette(s.colorCount);
        for (int32_t i = 0; i < s.colorCount; ++i)
            palette[i] = {system[i].peRed, system[i].peGreen, system[i].peBlue};
        const int32_t staticHalf =
            ::GetSystemPaletteUse(dc) == SYSPAL_NOSTATIC ? 1 : ::GetDeviceCaps(dc, NUMRESERVED) / 2;
        BuildColorTable(
            palette.data(), s.colorCount, staticHalf,
            reinterpret_cast<ColorEntry*>(block->bytes.data() + sizeof(BITMAPINFOHEADER)));
    }
    s.formats.push_back(std::move(block));
    s.currentFormat.store(s.formats.back().get());
    return true;
}

bool RecordingEngine::ChooseFileName() {
    Session& s = *session_;
    const std::string wanted = EnsureAviExtension(options_.FileName);
    std::string name = wanted;
    DWORD error = 0;
    if (!options_.IncrementFileName) {
        if (name.size() > option_rules::kMaxFileName)
            return FailSetup(FormatText(Resource(IDS_BAD_FILE_NAME), {name}));
        // The user marked it to keep: never record over it, whoever runs the program.
        const DWORD attributes = ::GetFileAttributesA(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return FailAviStage("(Open AVI)", AVIERR_READONLY);
        ::DeleteFileA(name.c_str());
        s.file = avi::WinFile::Create(name, error);
    } else {
        // Another copy of the program may pick the same free number at the same moment: the
        // file is made only where none is, and the next number is tried where one appeared.
        std::set<std::string> taken;
        for (;;) {
            const auto next = NextFreeFileName(wanted, [&taken](const std::string& candidate) {
                return taken.count(candidate) > 0 || FileOrDirectoryExists(candidate);
            });
            switch (next.error) {
            case NamingError::None:
                break;
            case NamingError::NoFreeNumber:
                return FailSetup(FormatText(Resource(IDS_NO_FREE_FILE_NAME), {wanted}));
            case NamingError::TooLong:
            case NamingError::NumberTooLarge:
                return FailSetup(FormatText(Resource(IDS_BAD_FILE_NAME), {wanted}));
            }
            if (next.name.size() > option_rules::kMaxFileName)
                return FailSetup(FormatText(Resource(IDS_BAD_FILE_NAME), {next.name}));
            name = next.name;
            s.file = avi::WinFile::CreateNew(name, error);
            if (s.file || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS))
                break;
            taken.insert(name);
        }
    }
    if (!s.file)
        return FailAviStage("(Open AVI)", AVIERR_FILEOPEN);
    s.fileCreated = true;
    s.fileName = name;
    s.directory = DirectoryOf(name);
    if (name != options_.FileName) {
        options_.FileName = name;
        host_.OnFileNameChanged();
    }
    return true;
}

bool RecordingEngine::OpenStreams() {
    Session& s = *session_;
    const uint32_t handler = ChooseHandler();
    s.uncompressed = handler == fourcc::Dib;
    handlerUsed_ = handler;
    if (!s.uncompressed) {
        const HRESULT hr = OpenCompressor(handler);
        if (hr != AVIERR_OK)
            return FailAviStage("(Make Compressed Stream)", hr);
    }
    // Always the file's second stream.
    std::optional<avi::AudioStreamInfo> audio;
    if (s.soundStart.Wanted()) {
        audio = SoundStreamInfo(wave_.Format());
        if (!audio)
            return FailAviStage("(Prepare Wave Stream)", AVIERR_BADFORMAT);
        s.audio = true;
    }

    const auto rate = VideoStreamRate(options_.FrameRate, options_.PlaybackRate);
    avi::VideoStreamInfo video;
    video.handler = handler;
    video.rate = rate->rate;
    video.scale = rate->scale;
    video.suggestedBufferSize = static_cast<uint32_t>(s.imageSize);
    video.width = options_.Width;
    video.height = options_.Height;
    // As long as a stream name may be, ending in its zero.
    video.name = (App().Name() + " Video").substr(0, kStreamNameChars - 1);
    video.compressed = !s.uncompressed;
    // Room for the frames' own format (a palette change keeps its size) or the compressor's.
    const size_t formatBytes = std::max(s.formats.front()->bytes.size(),
                                        s.compressor ? s.compressor->OutputFormatSize() : 0);
    video.formatCapacity = static_cast<uint32_t>(std::max<size_t>(2048, formatBytes + 64));
    const avi::WriterLimits limits = avi::LimitsForRate(video.rate, video.scale);
    s.movie = std::make_unique<avi::Writer>(*s.file, std::move(video), audio, limits);
    switch (s.movie->Open()) {
    case avi::WriteStatus::Ok:
        break;
    case avi::WriteStatus::WriteFailed:
        return FailAviStage("(Open AVI)", AVIERR_FILEWRITE);
    default:
        return FailAviStage("(Create Video Stream)", AVIERR_BADPARAM);
    }
    s.lastCheckpointMs = ::timeGetTime();
    return true;
}

uint32_t RecordingEngine::ChooseHandler() {
    Session& s = *session_;
    uint32_t handler = options_.CompFourcc;
    s.handlerChosenByDepth = handler == 0;
    if (handler != 0)
        return handler;
    // The choice by depth is only a guess: ask it first, and when it cannot take these frames
    // use our lossless screen codec, or uncompressed frames where even that cannot, rather than
    // fail.
    handler = DefaultHandler(s.bitsPerPixel);
    if (handler != fourcc::Dib) {
        UniqueCompressor ic(::ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS));
        if (!ic || ICCompressQuery(ic.get(), s.formats.front()->Info(), nullptr) != ICERR_OK)
            handler = zmbv_driver::FallbackHandler(s.formats.front()->Info());
    }
    return handler;
}

HRESULT RecordingEngine::OpenCompressor(uint32_t handler) {
    Session& s = *session_;
    const FrameFormatBlock& format = *s.formats.front();
    const auto rate = VideoStreamRate(options_.FrameRate, options_.PlaybackRate);
    VideoCompressor::Settings settings;
    settings.quality = CompressorQuality(options_.CompQuality);
    settings.keyFrameEvery = KeyFrameInterval(options_.KeyFrames);
    settings.rate = rate->rate;
    settings.scale = rate->scale;
    // The user's own choice is asked too: a refusal is reported now, not at the first frame with
    // an empty movie left behind.
    return VideoCompressor::Open(handler, format.Info(), format.bytes.size(), settings,
                                 s.compressor);
}

bool RecordingEngine::MakeFrameBitmaps() {
    Session& s = *session_;
    s.memoryDc.reset(::CreateCompatibleDC(s.screenDc.get()));
    if (!s.memoryDc)
        return false;
    const FrameFormatBlock* format = s.currentFormat.load();
    for (FrameSlot& slot : s.slots) {
        slot.bitmap.reset(::CreateDIBSection(s.screenDc.get(), format->Info(), DIB_RGB_COLORS,
                                             &slot.bits, nullptr, 0));
        if (!slot.bitmap || !slot.bits)
            return false;
        slot.generation = 0;
        slot.format = format;
    }
    s.cursorBitmap.reset(::CreateCompatibleBitmap(s.screenDc.get(), 32, 32));
    s.cursorDc.reset(::CreateCompatibleDC(s.screenDc.get()));
    if (!s.cursorBitmap || !s.cursorDc)
        return false;
    s.cursorSelection.emplace(s.cursorDc.get(), s.cursorBitmap.get());
    return true;
}

void RecordingEngine::RunLoop() {
    bool quit = false;
    int quitCode = 0;
    while (State() != record_state::Idle) {
        if (paletteChanged_.exchange(false))
            RefreshPalette();
        MSG msg;
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            continue;
        }
        if (got < 0)
            continue;
        // The frames first, without the host's translation; everything else, the stop request
        // included, goes to its window's procedure.
        if (msg.message == WM_TIMER && msg.hwnd == host_.HostWindow()) {
            OnFrameTimer();
            continue;
        }
        if (!host_.PreTranslateSessionMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    if (quit)
        ::PostQuitMessage(quitCode);
}

void RecordingEngine::OnFrameTimer() {
    if (!session_ || stopping_)
        return;
    WritePending();
    FollowSound();
}

void RecordingEngine::RefreshPalette() {
    Session& s = *session_;
    const FrameFormatBlock* current = s.currentFormat.load();
    auto block = std::make_unique<FrameFormatBlock>(*current);
    block->generation = current->generation + 1;
    if (s.colorCount > 0) {
        std::vector<PALETTEENTRY> system(s.colorCount);
        ::GetSystemPaletteEntries(s.screenDc.get(), 0, s.colorCount, system.data());
        auto* table = reinterpret_cast<RGBQUAD*>(block->bytes.data() + sizeof(BITMAPINFOHEADER));
        for (int32_t i = 0; i < s.colorCount; ++i)
            table[i] = RGBQUAD{system[i].peBlue, system[i].peGreen, system[i].peRed, 0};
    }
    // Owned first, published last: the grabber makes new bitmaps from it at its next tick, and
    // a list that cannot grow must not leave it pointing at a freed block.
    s.formats.push_back(std::move(block));
    s.currentFormat.store(s.formats.back().get());
}

void RecordingEngine::RequestStop() const {
    ::PostMessageA(host_.HostWindow(), WM_ENGINE_STOP_REQUEST, 0, 0);
}

void RecordingEngine::Pause() {
    if (State() != record_state::Recording || !session_)
        return;
    // The part-filled buffer comes back at once and is written as a short block.
    HaltSound();
    state_.store(record_state::Paused);
    // A pause may be long, or the last thing before a crash: the file plays up to here.
    Checkpoint(true);
}

void RecordingEngine::Resume() {
    if (State() != record_state::Paused || !session_)
        return;
    // Also the first start of a recording that began paused.
    StartSoundRun();
    session_->schedule.Rebase();
    // A player seeking to where the take goes on finds a whole picture there.
    session_->keyFrameDue = true;
    state_.store(record_state::Recording);
}

bool RecordingEngine::SingleFrame() {
    if (State() != record_state::Paused || !session_ || stopping_)
        return false;
    Session& s = *session_;
    // The tick uses the grabber's drawing surfaces, so the timer must not run beside it.
    if (s.timerId != 0)
        ::timeKillEvent(s.timerId);
    s.timerId = 0;
    for (DWORD waited = 0; s.ticksRunning.load() > 0 && waited < kTickWaitLimitMs; ++waited)
        ::Sleep(1);
    Tick(true);
    WritePending();
    // The frame's length of silence keeps the sound in step; in the stream's own format,
    // whatever the options say now.
    if (s.soundStart.Wanted() && s.audio && !s.frameIndex.Aborted())
        soundWriter_.WriteSilence(options_.PlaybackRate);
    if (!StartTimer())
        // No more frames could be taken: the take so far is kept, and the user told why it
        // ended, as for a timer that would not start at all.
        return FailSetup(FormatText(Resource(IDS_AVI_SETUP_FAILED), {"(Start Timer)"}));
    return true;
}

bool RecordingEngine::StartTimer() {
    Session& s = *session_;
    s.timerId = ::timeSetEvent(static_cast<UINT>(s.timerPeriod), kTimerResolutionMs, OnTimer,
                               reinterpret_cast<DWORD_PTR>(this),
                               TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    return s.timerId != 0;
}

void RecordingEngine::Stop() {
    if (!session_ || stopping_)
        return;
    stopping_ = true;
    host_.OnRecordingStopping();
    Session& s = *session_;

    // No tick may still be using the screen, the bitmaps or the ring when they go.
    s.stopping.store(true);
    if (s.timerId != 0)
        ::timeKillEvent(s.timerId);
    s.timerId = 0;
    for (DWORD waited = 0; s.ticksRunning.load() > 0 && waited < kTickWaitLimitMs; ++waited)
        ::Sleep(1);

    if (s.priorityRaised) {
        ::SetPriorityClass(::GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    }
    s.screenDc.reset();

    // The sound still out is written before any stream goes.
    StopSound();

    CloseMovie();
    ::Beep(1000, 200);
    state_.store(record_state::Idle);

    for (FrameSlot& slot : s.slots) {
        slot.bitmap.reset();
        slot.bits = nullptr;
    }
    s.memoryDc.reset();
    s.cursorSelection.reset();
    s.cursorDc.reset();
    s.cursorBitmap.reset();

    outcome_.frameIndex = s.frameIndex.Load();
    outcome_.framesWritten = s.framesWritten;
    outcome_.dropped = s.drops.DroppedFrames();
    outcome_.skipped = s.schedule.Skipped();
    outcome_.soundNotStarted = s.soundStart.NeverStarted();
    outcome_.soundCut = s.soundStart.Cut();
    LogCosts();
    const HRESULT lastError = s.lastAviError;
    const std::string fileName = s.fileName;
    const bool fileCreated = s.fileCreated;
    const bool frameWritten = s.framesWritten > 0;
    session_.reset();
    stopping_ = false;

    // A file without a single frame is not a recording; never delete one this run did not make.
    if (fileCreated && !frameWritten)
        ::DeleteFileA(fileName.c_str());
    host_.OnReportingOutcome();
    if (!outcome_.setupFailed)
        ReportOutcome(lastError);
    host_.OnRecordingStopped();
}

// For benchmarks: with VIDORRA_TIMING_LOG naming a file, each take adds one line of what its
// ticks and writes cost ("ticks N MEAN WORST capture ... writes ... compress ..., in ms").
void RecordingEngine::LogCosts() const {
    char path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("VIDORRA_TIMING_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const Session& s = *session_;
    const std::string line =
        s.tickCost.Describe("ticks") + " " + s.captureCost.Describe("capture") + " " +
        s.writeCost.Describe("writes") + " " + s.compressCost.Describe("compress") + " frames " +
        std::to_string(s.framesWritten) + " dropped " + std::to_string(s.drops.DroppedFrames()) +
        "\n";
    std::ofstream(path, std::ios::app) << line;
}

void RecordingEngine::ReportOutcome(HRESULT lastError) {
    const OutcomeWords words = DescribeOutcome(outcome_, options_.ExitAfterRecording, lastError);
    if (words.where == OutcomeWords::Where::Nowhere)
        return;
    const std::string text = FormatText(Resource(words.textId), words.args);
    if (words.where == OutcomeWords::Where::Message)
        host_.ShowMessage(text);
    else
        host_.SetStatusText(text);
}

// Sound

// A frame shows the screen as it was when the frame was taken, and the movie shows it at the
// frame's position; so each run's sound begins at the moment its first frame was taken. The
// device runs before that moment (from set-up on, or from the resume) and the writer leaves out
// what it captured earlier; a device that began later has silence put first.
void RecordingEngine::StartSound(int32_t initialState) {
    Session& s = *session_;
    if (!s.soundStart.Wanted())
        return;
    // Whatever goes wrong here, the recording goes on without sound and the stop says so.
    if (!waveIn_) {
        waveIn_.reset(new (std::nothrow) CWaveInWnd);
        if (!waveIn_) {
            s.soundStart.DeviceFailed();
            return;
        }
    }
    soundWriter_.Begin(*this, wave_.Format());
    if (!wave_.Record(*waveIn_, s.soundStart.BufferBytes(), soundWriter_, false)) {
        s.soundStart.DeviceFailed();
        return;
    }
    if (initialState == record_state::Recording)
        StartSoundRun();
}

// A device begins capturing a while after it is started (measured under Wine's PulseAudio
// driver: 0.2 to 0.7 s), and the sound of that while is never had. The first frame waits for it,
// within reason, so that the movie's sound begins with its first frame.
void RecordingEngine::WaitForSoundToBegin() {
    Session& s = *session_;
    if (!s.soundStart.Wanted() || !s.soundStart.Ran() || !waveIn_)
        return;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kSoundBeginWaitMs) {
        const auto captured = waveIn_->CapturedSamples();
        if (!captured || *captured > s.soundStart.PositionBase())
            return;
        ::Sleep(5);
    }
}

void RecordingEngine::StartSoundRun() {
    Session& s = *session_;
    if (!s.soundStart.Wanted() || !waveIn_ || !waveIn_->IsOpen())
        return;
    s.soundStart.SetPositionBase(waveIn_->CapturedSamples().value_or(0));
    const uint32_t now = ::timeGetTime();
    if (!waveIn_->Resume()) {
        if (!s.soundStart.Ran()) {
            // Never started at all: no sound, as when the device cannot be opened.
            s.soundStart.DeviceFailed();
            waveIn_->Close();
            return;
        }
        // The recording goes on; the run's time becomes silence, so later sound keeps its place.
        s.soundStart.SoundCut();
    } else {
        s.soundStart.DeviceRan();
    }
    soundWriter_.DeviceStarted(now);
    s.soundStart.WantMoment();
}

void RecordingEngine::GivePictureMoment() {
    if (const auto moment = session_->soundStart.TakeMoment())
        soundWriter_.PictureBegan(
            moment->ms, SampleAtFrame(wave_.Format(), options_.PlaybackRate, moment->position));
}

void RecordingEngine::FollowSound() {
    Session& s = *session_;
    if (!s.soundStart.Wanted() || !waveIn_)
        return;
    GivePictureMoment();
    if (State() != record_state::Recording)
        return;
    // The device's own count places its run on the clock better than the buffers, which come
    // back some time after they are full.
    if (const auto captured = waveIn_->CapturedSamples())
        soundWriter_.DeviceProgress(::timeGetTime(), *captured - s.soundStart.PositionBase());
}

void RecordingEngine::HaltSound() {
    Session& s = *session_;
    // A frame taken before the halt still begins the run's picture; one not yet taken never will.
    s.soundStart.CancelMoment();
    if (!s.soundStart.Wanted() || !waveIn_ || !waveIn_->IsOpen())
        return;
    FollowSound();
    waveIn_->Pause();
    soundWriter_.DeviceHalted(::timeGetTime());
}

void RecordingEngine::StopSound() {
    Session& s = *session_;
    if (!s.soundStart.Wanted())
        return;
    // Drains: the part-filled buffer reaches the writer. Messages dispatched meanwhile cannot
    // reach another start or stop (stopping_), nor delete the device (ReleaseSoundDevice).
    s.soundStart.CancelMoment();
    GivePictureMoment();
    soundWriter_.DeviceHalted(::timeGetTime());
    wave_.Stop();
    if (waveIn_) {
        if (waveIn_->RanOutOfMemory())
            s.soundStart.SoundCut();
        waveIn_->Close();
    }
    soundWriter_.Finish();
    if (soundWriter_.GaveUp())
        s.soundStart.SoundCut();
    outcome_.soundSamples = soundWriter_.Position();
    soundWriter_.End();
}

bool RecordingEngine::ReleaseSoundDevice() {
    if (session_ || stopping_ || (waveIn_ && waveIn_->Draining()))
        return false;
    wave_.ForgetInputDevice();
    waveIn_.reset();
    return true;
}

bool RecordingEngine::SoundMayBeWritten() const {
    return session_ && session_->formatGeneration >= 0;
}

bool RecordingEngine::RoomForSound(uint64_t bytes) const {
    // The stop's last block may use the room kept for it.
    return RoomFor(bytes, stopping_);
}

void RecordingEngine::OnSoundWriteFailed(HRESULT hr) {
    // Only the first abort asks for the stop, so one failure never stops twice (and a stop
    // request while idle starts nothing).
    (void)Abort(hr, abort_code::SoundWriteFailed);
}
