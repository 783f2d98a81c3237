#pragma once

// The recording engine: one recording at a time, from set-up through the session loop to the
// stop, with the frame grabber on the multimedia timer's thread and the writer on the
// user-interface thread. Its owner (the recorder) supplies the few things the engine needs from
// the user interface through SessionHost.

#include "engine/outcome_words.h"
#include "engine/recording_options.h"
#include "framework/handles_win.h"
#include "sound/avi_sound_writer_win.h"
#include "sound/wave.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <windows.h>

class CursorImageTable;
class CWaveInWnd;
struct FrameSlot;

namespace record_state {
inline constexpr int32_t Idle = 0;
inline constexpr int32_t Recording = 1;
inline constexpr int32_t Paused = 2;
} // namespace record_state

// Posted to the host window when the engine asks for its own stop (a failure while recording):
// a message of its own, so no hot key can be taken for it.
inline constexpr UINT WM_ENGINE_STOP_REQUEST = WM_APP + 4;

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

// The engine also owns the sound capture: the wave, its input device window (made at the first
// recording with sound and kept for later ones) and the writer of the audio stream.
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
    // The grabber's WM_TIMER: writes the frames waiting in the ring. The session loop calls it,
    // and so must the host's window procedure, for the timer messages that a nested message
    // loop (a message box, a menu, a window being dragged) dispatches instead.
    void OnFrameTimer();
    // The screen's palette changed; the session loop refreshes the frames' colour table.
    void NotePaletteChange() noexcept { paletteChanged_.store(true); }

    [[nodiscard]] int32_t State() const noexcept { return state_.load(); }
    [[nodiscard]] bool Busy() const noexcept { return State() != record_state::Idle; }
    [[nodiscard]] const RecordingOutcome& LastOutcome() const noexcept { return outcome_; }
    // The AVI compressor actually used by the current or last recording.
    [[nodiscard]] uint32_t HandlerUsed() const noexcept { return handlerUsed_; }
    // The sound format of the current or last recording.
    [[nodiscard]] const PcmFormat& SoundFormat() const noexcept { return wave_.Format(); }
    // Deletes the wave input's device window when the host closes. Refused (false) while a
    // recording or its stop runs: a stop's drain may be what dispatched the close.
    bool ReleaseSoundDevice();

    struct Session; // everything that lives from set-up to stop

private:
    static void CALLBACK OnTimer(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    void Tick(bool singleFrame);
    void PanRegion(POINT cursorPos);
    bool TakeFramePosition(bool singleFrame, int32_t& position);
    void CountDroppedFrame();
    bool FitSlotToFormat(FrameSlot& slot);
    void CaptureRegion(FrameSlot& slot, RECT region, HCURSOR cursor, POINT cursorPos);
    void DrawCursor(HCURSOR cursor, POINT cursorPos, POINT origin);
    HCURSOR CursorUnderMouse(POINT cursorPos);
    void WritePending();
    // Room for `bytes` more while keeping what completing the file needs; unless `finishing`,
    // also the last part-filled sound buffer, which the stop still writes.
    [[nodiscard]] bool RoomFor(uint64_t bytes, bool finishing) const;
    bool SetUp(int32_t initialState);
    bool StartTimer();
    bool PrepareFormat();
    bool ChooseFileName();
    bool CreateFile();
    bool OpenStreams();
    uint32_t ChooseHandler();
    HRESULT OpenCompressor(uint32_t handler);
    // The stream's format at the first frame and after a palette change (the compressor begun
    // anew for it); false when refused, with the recording's abort already stored.
    bool GiveFormat(const FrameSlot& slot);
    // Writes one frame at `position`; false when the recording must end.
    bool WriteFrame(const FrameSlot& slot, int32_t position);
    // About once a second and at every pause: the file on disk plays up to here.
    void Checkpoint(bool now);
    // The movie after its last write: final when frames are in it, else gone.
    void CloseMovie();
    // Stores the abort code and asks for the stop, unless the recording is already aborted.
    // Always false, for the writer's failure paths.
    bool Abort(HRESULT hr, int32_t code);
    bool MakeFrameBitmaps();
    bool FailSetup(const std::string& message);
    bool FailAviStage(const char* stage, HRESULT hr);
    void RunLoop();
    void RefreshPalette();
    void RequestStop() const;
    void ReportOutcome(HRESULT lastError);
    void LogCosts() const;
    // The sound's side of the start, of each run (start, resume), of the session loop's turn
    // (the first frame's moment, the device's progress), of a pause and of the stop.
    void StartSound(int32_t initialState);
    void StartSoundRun();
    void WaitForSoundToBegin();
    void FollowSound();
    // Hands the sound writer the moment, and the sample, the current run's picture began at,
    // once the grabber has noted it.
    void GivePictureMoment();
    void HaltSound();
    void StopSound();

    // SoundStreamOwner: the audio writer's view of the recording.
    [[nodiscard]] bool SoundMayBeWritten() const override;
    [[nodiscard]] bool RoomForSound(uint64_t bytes) const override;
    void OnSoundWriteFailed(HRESULT hr) override;

    RecordingOptions& options_;
    const CursorImageTable& cursors_;
    SessionHost& host_;
    std::atomic<int32_t> state_{record_state::Idle};
    std::atomic<bool> paletteChanged_{false};
    std::unique_ptr<Session> session_;
    RecordingOutcome outcome_;
    uint32_t handlerUsed_ = 0;
    bool stopping_ = false;
    UniquePen flashPen_;
    DWORD attachedThread_ = 0; // timer thread only
    CWave wave_;
    std::unique_ptr<CWaveInWnd> waveIn_;
    CAviSoundWriter soundWriter_;
};
