#pragma once

// The recording engine: one recording at a time, from set-up through the session loop to the
// stop, with the frame grabber on the multimedia timer's thread, the frames written on the
// movie's own thread and the sound on the user-interface thread. Its owner (the recorder) supplies
// the few things the engine needs from the user interface through SessionHost.

#include "engine/frame_grabber_win.h"
#include "engine/movie_output_win.h"
#include "engine/outcome_words.h"
#include "engine/record_state_win.h"
#include "engine/recording_options.h"
#include "engine/sound_capture_win.h"
#include "sound/avi_sound_writer_win.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <windows.h>

class CursorImageTable;

class SessionHost {
public:
    virtual ~SessionHost() = default;
    // Receives the grabber's WM_TIMER and the engine's stop requests (WM_ENGINE_STOP_REQUEST),
    // and must pass them to OnFrameTimer and to a stop whichever loop dispatches them.
    [[nodiscard]] virtual HWND HostWindow() const = 0;
    // A message box owned by the host, titled with the program's name.
    virtual void ShowMessage(const std::string& text) = 0;
    // Keyboard navigation of the host's dialogs; true when the message was consumed.
    virtual bool PreTranslateSessionMessage(MSG& msg) = 0;
    // The recording has started: hide or minimise as the user chose.
    virtual void OnRecordingStarted() = 0;
    // The stop has begun: from here to OnRecordingStopped nothing may start or stop again.
    virtual void OnRecordingStopping() {}
    // Everything is released; the outcome is about to be told.
    virtual void OnReportingOutcome() {}
    // Everything is released, the outcome reported and the state is idle: restore the window.
    virtual void OnRecordingStopped() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // The numbering chose a new output name.
    virtual void OnFileNameChanged() {}
};

// The engine runs one recording from its set-up to its stop: the frame grabber takes the frames,
// the movie output writes them, the sound capture records beside them, and the engine decides
// the order of it all and what the user is told at the end.
class RecordingEngine : private SoundStreamOwner {
public:
    RecordingEngine(RecordingOptions& options, const CursorImageTable& cursors, SessionHost& host);
    ~RecordingEngine() override;
    RecordingEngine(const RecordingEngine&) = delete;
    RecordingEngine& operator=(const RecordingEngine&) = delete;

    // Sets up a recording in the given state (recording or paused) and runs its loop until the
    // state is idle again. False when set-up failed; the failure has been reported and
    // everything released.
    bool Run(int32_t initialState);
    // Ends the running recording: releases everything in order and reports the outcome.
    void Stop();
    void Pause();
    void Resume();
    // While paused: captures and writes exactly one frame.
    bool SingleFrame();
    // The grabber's WM_TIMER, one per frame taken: the sound follows the picture. The host's
    // window procedure calls it, whichever loop dispatches the message (the session's, a message
    // box's, a menu's). The frames themselves are written on the movie's own thread.
    void OnFrameTimer();
    // The screen's palette changed; the session loop refreshes the frames' colour table.
    void NotePaletteChange() noexcept { paletteChanged_.store(true); }

    [[nodiscard]] int32_t State() const noexcept { return state_.load(); }
    [[nodiscard]] bool Busy() const noexcept { return State() != record_state::Idle; }
    [[nodiscard]] const RecordingOutcome& LastOutcome() const noexcept { return outcome_; }
    // The AVI compressor actually used by the current or last recording.
    [[nodiscard]] uint32_t HandlerUsed() const noexcept {
        return movie_ ? movie_->Handler() : handlerUsed_;
    }
    // The sound format of the current or last recording.
    [[nodiscard]] const PcmFormat& SoundFormat() const noexcept { return sound_.Format(); }
    // Deletes the wave input's device window when the host closes. Refused (false) while a
    // recording or its stop runs: a stop's drain may be what dispatched the close.
    bool ReleaseSoundDevice();

private:
    bool SetUp(int32_t initialState);
    bool FailSetup(const std::string& message);
    void RunLoop();
    void ReportOutcome(HRESULT lastError);
    void LogCosts() const;

    // SoundStreamOwner: the audio writer's view of the recording.
    [[nodiscard]] bool SoundMayBeWritten() const override;
    [[nodiscard]] bool RoomForSound(uint64_t bytes) const override;
    void OnSoundWriteFailed(HRESULT hr) override;

    RecordingOptions& options_;
    const CursorImageTable& cursors_;
    SessionHost& host_;
    std::atomic<int32_t> state_{record_state::Idle};
    std::atomic<bool> paletteChanged_{false};
    // From the set-up's start to the stop's end.
    bool inSession_ = false;
    bool stopping_ = false;
    bool priorityRaised_ = false;
    FrameCounter frameIndex_; // positions written, or the abort code
    SoundCapture sound_;
    std::unique_ptr<FrameGrabber> grabber_;
    std::unique_ptr<MovieOutput> movie_;
    UniqueKernelHandle frameReady_; // set by the grabber for each frame it hands to the movie
    RecordingOutcome outcome_;
    uint32_t handlerUsed_ = 0;
};
