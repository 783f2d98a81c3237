#pragma once

// The recording control: one state machine for everything that starts, pauses, stops or closes a
// recording. The buttons, the hot keys, commands posted to the window, the engine's own stop
// requests, closing the window, "-rec" and scripts all come in through Handle or RequestClose,
// and what happens is decided by the state alone. A stop, its report included, is one state:
// whatever arrives while it runs is dropped, so nothing started during a stop can record over
// the take it is still reporting.

#include "engine/recording_engine_win.h"
#include "engine/recording_options.h"

#include <cstdint>

enum class ControlState {
    Idle,
    StartPosted, // a hot key posted the start; it runs when the window next takes its messages
    Starting,    // the session is being set up
    Recording,
    Paused,
    Stopping,  // releasing the session
    Reporting, // telling the user how it ended
};

enum class ControlInput {
    StartStopButton, // the record button's command, also when posted
    PauseButton,     // the pause button's command, also when posted
    StartStopKey,    // hot key 1, "-rec", a script's start or stop
    PauseKey,        // hot key 2, a script's pause
    SingleFrameKey,  // hot key 3, a script's single frame
    LockPanKey,      // hot key 4
    EngineStop,      // the engine asks for a stop after a failure (WM_ENGINE_STOP_REQUEST)
};

// What the control changes in the window around it.
class RecordControlView {
public:
    virtual ~RecordControlView() = default;
    // Puts a start (recordState 1) or a paused start (2) in the window's queue, for
    // RecordControl::RunPostedStart.
    virtual void PostStartCommand(int32_t recordState) = 0;
    // Puts a wake-up for RecordControl::RunDeferred(serial) in the window's queue.
    virtual void PostDeferred(uint32_t serial) = 0;
    virtual void PostClose() = 0;
    // Buttons and pages for record state 0 (idle), 1 (recording) or 2 (paused).
    virtual void ShowRecordState(int32_t recordState) = 0;
    // Holds or lets go the single-frame hot key.
    virtual void HoldSingleFrameKey(bool hold) = 0;
    virtual void OnPanLockToggled() = 0;
};

class RecordControl {
public:
    RecordControl(RecordingEngine& engine, RecordingOptions& options, RecordControlView& view);
    RecordControl(const RecordControl&) = delete;
    RecordControl& operator=(const RecordControl&) = delete;

    // The one entry for commands. True when the input was acted on or queued, false when the
    // state dropped it.
    bool Handle(ControlInput input);
    // The window wants to close. True when it may close now; otherwise a running recording is
    // stopped first, or the close waits for the start or stop under way and is posted again.
    bool RequestClose();
    // A wake-up posted by PostDeferred.
    void RunDeferred(uint32_t serial);
    // A start posted by PostStartCommand. Only the start a hot key posted runs: when a click
    // has started the recording first, the posted one finds no posted state and is dropped
    // instead of stopping what just began.
    void RunPostedStart(int32_t recordState);

    // The engine's session reports its stages (forwarded by the recorder).
    void OnSessionStarted(int32_t recordState);
    void OnSessionStopping();
    void OnSessionReporting();
    void OnSessionStopped();

    [[nodiscard]] ControlState State() const noexcept { return state_; }
    // No recording is being set up, running or stopping (a posted start is still to come).
    [[nodiscard]] bool Idle() const noexcept {
        return state_ == ControlState::Idle || state_ == ControlState::StartPosted;
    }
    // 0 idle, 1 recording, 2 paused, as scripts see it.
    [[nodiscard]] int32_t RecordState() const noexcept;
    // A session runs: the writer has work whenever the grabber posts.
    [[nodiscard]] bool SessionRunning() const noexcept;

    // Pausing holds the single-frame key unless this is set; changed only while idle.
    bool SetHotKeysDisabled(bool disabled);
    [[nodiscard]] bool HotKeysDisabled() const noexcept { return hotKeysDisabled_; }
    // The last single frame asked for was written.
    [[nodiscard]] bool LastSingleFrameWritten() const noexcept { return singleFrameWritten_; }

    // At least one recording ran, and the last one ended by a stop, not by a failure: what a
    // script that started it wants to know.
    [[nodiscard]] bool LastRecordingSucceeded() const noexcept { return lastSucceeded_; }

private:
    enum class Deferred { None, StartStop, Pause, Close };
    class StateGuard;

    void Start(int32_t initialState);
    void Stop();
    void TogglePause();
    void SingleFrame();
    void PostStart(int32_t recordState);
    void Settle();
    void Defer(Deferred what);
    void SetState(ControlState state);

    RecordingEngine& engine_;
    RecordingOptions& options_;
    RecordControlView& view_;
    ControlState state_ = ControlState::Idle;
    int32_t startingAs_ = record_state::Recording;
    int32_t shownState_ = -1;
    bool singleFrameKeyHeld_ = false;
    bool hotKeysDisabled_ = false;
    bool singleFrameWritten_ = false;
    Deferred deferred_ = Deferred::None;
    bool closeDeferred_ = false;
    // Each session has a serial, so a deferred command never reaches a later session.
    uint32_t session_ = 0;
    bool lastSucceeded_ = false;
};
