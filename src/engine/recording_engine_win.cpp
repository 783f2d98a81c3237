#include "engine/recording_engine_win.h"

#include "engine/frame_format.h"
#include "engine/option_rules.h"
#include "framework/app_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"
#include "sound/wave_format.h"

#include <fstream>

namespace {

std::string Resource(UINT id) {
    return App().LoadString(id);
}

} // namespace

RecordingEngine::RecordingEngine(RecordingOptions& options, const CursorImageTable& cursors,
                                 SessionHost& host)
    : options_(options), cursors_(cursors), host_(host), sound_(options),
      frameReady_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

RecordingEngine::~RecordingEngine() {
    if (inSession_)
        Stop();
}

bool RecordingEngine::Run(int32_t initialState) {
    if (inSession_ || stopping_)
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

bool RecordingEngine::SetUp(int32_t initialState) {
    outcome_ = RecordingOutcome{};
    paletteChanged_.store(false); // a change seen while idle does not concern this recording
    inSession_ = true;
    frameIndex_.Reset();
    sound_.Prepare(option_rules::MovieHasSound(options_));

    // Values no path should have let through, refused before anything is made.
    const auto rate = VideoStreamRate(options_.FrameRate, options_.PlaybackRate);
    if (!option_rules::IsValidRate(options_.FrameRate) ||
        !option_rules::IsValidRate(options_.PlaybackRate) || !rate ||
        option_rules::TimerPeriodMs(options_.FrameRate) < 1)
        return FailSetup(Resource(IDS_BAD_FRAME_RATE));
    if (!ImageSize(options_.Width, options_.Height, 32))
        return FailSetup(
            FormatText(Resource(IDS_BAD_REGION_SIZE), {std::to_string(options_.Width.load()),
                                                       std::to_string(options_.Height.load())}));

    // The device takes its time to open and then to begin capturing: it starts now, and what it
    // captures before the first frame is left out when that frame is taken.
    sound_.Start(*this, initialState == record_state::Recording);

    const HWND notify = host_.HostWindow();
    grabber_ = std::make_unique<FrameGrabber>(
        options_, cursors_,
        GrabberLinks{state_, frameIndex_, sound_.Runs(), notify, frameReady_.get()});
    movie_ = std::make_unique<MovieOutput>(options_, frameIndex_, notify);
    if (!grabber_->PrepareFormat())
        return FailSetup(SetupStageFailed("(Screen)"));
    bool renamed = false;
    if (const auto failure = movie_->CreateFile(renamed))
        return FailSetup(*failure);
    if (renamed)
        host_.OnFileNameChanged();
    // Always the file's second stream.
    std::optional<avi::AudioStreamInfo> audio;
    if (sound_.Wanted()) {
        audio = SoundStreamInfo(sound_.Format());
        if (!audio)
            return FailSetup(SetupStageFailed("(Prepare Wave Stream)"));
    }
    if (const auto failure = movie_->Open(*grabber_, audio))
        return FailSetup(*failure);
    if (audio) {
        sound_.Writer().SetStream(*movie_->Stream());
        movie_->ShareDiskWith(sound_);
    }
    if (!grabber_->MakeBitmaps())
        return FailSetup(SetupStageFailed("(Frame Bitmaps)"));
    if (!frameReady_)
        return FailSetup(SetupStageFailed("(Start Timer)"));
    movie_->StartWriting(*grabber_, state_, frameReady_.get());

    sound_.WaitToBegin();
    state_.store(initialState);
    host_.OnRecordingStarted();
    grabber_->StartClock();

    ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    priorityRaised_ = true;
    ::Beep(1000, 200);

    if (!grabber_->Start())
        return FailSetup(SetupStageFailed("(Start Timer)"));
    return true;
}

void RecordingEngine::RunLoop() {
    bool quit = false;
    int quitCode = 0;
    while (State() != record_state::Idle) {
        if (paletteChanged_.exchange(false) && grabber_)
            grabber_->RefreshPalette();
        MSG msg;
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            continue;
        }
        if (got < 0)
            continue;
        // The frames' WM_TIMER and the stop request go to the host window's procedure, as they
        // do from any other loop.
        if (!host_.PreTranslateSessionMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    if (quit)
        ::PostQuitMessage(quitCode);
}

void RecordingEngine::OnFrameTimer() {
    if (!grabber_ || !movie_ || stopping_)
        return;
    sound_.Follow(State() == record_state::Recording);
}

void RecordingEngine::Pause() {
    if (State() != record_state::Recording || !movie_)
        return;
    sound_.Halt();
    state_.store(record_state::Paused);
    // A pause may be long, or the last thing before a crash: the file plays up to here.
    movie_->Settle(true);
}

void RecordingEngine::Resume() {
    if (State() != record_state::Paused || !grabber_)
        return;
    // Also the first start of a recording that began paused.
    sound_.StartRun();
    grabber_->Rebase();
    movie_->KeyFrameDue();
    state_.store(record_state::Recording);
}

bool RecordingEngine::SingleFrame() {
    if (State() != record_state::Paused || !grabber_ || stopping_)
        return false;
    // The tick uses the grabber's drawing surfaces, so the timer must not run beside it.
    grabber_->Halt();
    grabber_->TakeSingleFrame();
    movie_->Settle(false);
    // The frame's length of silence keeps the sound in step; in the stream's own format,
    // whatever the options say now.
    if (sound_.Wanted() && movie_->HasAudio() && !frameIndex_.Aborted())
        sound_.WriteSilence();
    if (!grabber_->Start())
        // No more frames could be taken: the take so far is kept, and the user told why it
        // ended, as for a timer that would not start at all.
        return FailSetup(SetupStageFailed("(Start Timer)"));
    return true;
}

void RecordingEngine::Stop() {
    if (!inSession_ || stopping_)
        return;
    stopping_ = true;
    host_.OnRecordingStopping();

    // No tick may still be using the screen, the bitmaps or the ring when they go.
    if (grabber_)
        grabber_->Halt();
    if (priorityRaised_) {
        ::SetPriorityClass(::GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
        priorityRaised_ = false;
    }

    // The sound still out is written before any stream goes.
    sound_.Stop();
    HRESULT lastError = S_OK;
    if (movie_) {
        movie_->StopWriting();
        movie_->Close();
        lastError = movie_->LastError();
    }
    ::Beep(1000, 200);
    state_.store(record_state::Idle);

    outcome_.frameIndex = frameIndex_.Load();
    outcome_.framesWritten = movie_ ? movie_->FramesWritten() : 0;
    outcome_.dropped = grabber_ ? grabber_->Dropped() : 0;
    outcome_.skipped = grabber_ ? grabber_->Skipped() : 0;
    outcome_.soundNotStarted = sound_.Runs().NeverStarted();
    outcome_.soundCut = sound_.Runs().Cut();
    outcome_.soundSamples = sound_.Samples();
    LogCosts();
    if (movie_)
        handlerUsed_ = movie_->Handler();
    movie_.reset();
    grabber_.reset();
    inSession_ = false;
    stopping_ = false;

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
    if (length == 0 || length >= MAX_PATH || !grabber_ || !movie_)
        return;
    const std::string line = grabber_->DescribeCosts() + " " + movie_->DescribeCosts() +
                             " frames " + std::to_string(movie_->FramesWritten()) + " dropped " +
                             std::to_string(grabber_->Dropped()) + "\n";
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

bool RecordingEngine::ReleaseSoundDevice() {
    // A stop's drain may be what dispatched the close.
    if (inSession_ || stopping_)
        return false;
    return sound_.Release();
}

bool RecordingEngine::SoundMayBeWritten() const {
    return movie_ && movie_->HasFormat();
}

bool RecordingEngine::RoomForSound(uint64_t bytes) const {
    // The stop's last block may use the room kept for it.
    return movie_ && movie_->RoomFor(bytes, stopping_);
}

void RecordingEngine::OnSoundWriteFailed(HRESULT hr) {
    // Only the first abort asks for the stop, so one failure never stops twice (and a stop
    // request while idle starts nothing).
    if (movie_)
        (void)movie_->Abort(hr, abort_code::SoundWriteFailed);
}
