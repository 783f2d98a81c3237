#include "recorder/record_control_win.h"

#include <exception>
#include <utility>

// Brings the state back in line with the engine when a step into it returns, by any way: a
// session that has ended leaves the control idle, and one left running by an exception is
// stopped (which completes its file) rather than left behind with nobody to stop it.
class RecordControl::StateGuard {
public:
    explicit StateGuard(RecordControl& control)
        : control_(control), exceptions_(std::uncaught_exceptions()) {}
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;
    ~StateGuard() {
        if (std::uncaught_exceptions() > exceptions_ && control_.engine_.Busy()) {
            try {
                control_.engine_.Stop();
            } catch (...) {
                // The state is settled below whatever the stop managed.
            }
        }
        if (!control_.engine_.Busy())
            control_.Settle();
    }

private:
    RecordControl& control_;
    int exceptions_;
};

RecordControl::RecordControl(RecordingEngine& engine, RecordingOptions& options,
                             RecordControlView& view)
    : engine_(engine), options_(options), view_(view) {}

bool RecordControl::Handle(ControlInput input) {
    using enum ControlInput;
    if (input == LockPanKey) {
        options_.PanLocked = options_.PanLocked ? 0 : 1;
        view_.OnPanLockToggled();
        return true;
    }
    switch (state_) {
    case ControlState::Idle:
    case ControlState::StartPosted:
        if (input == StartStopButton)
            Start(record_state::Recording);
        else if (input == PauseButton)
            Start(record_state::Paused);
        else if (state_ == ControlState::Idle && (input == StartStopKey || input == PauseKey))
            // Started from the queue, once the key's handler has returned; a second press
            // before then is dropped rather than turned into a stop.
            PostStart(input == StartStopKey ? record_state::Recording : record_state::Paused);
        else
            return false;
        return true;
    case ControlState::Starting:
        if (input == StartStopButton || input == StartStopKey || input == EngineStop)
            Defer(Deferred::StartStop);
        else if (input == PauseButton || input == PauseKey)
            Defer(Deferred::Pause);
        else
            return false;
        return true;
    case ControlState::Recording:
    case ControlState::Paused:
        if (input == StartStopButton || input == StartStopKey || input == EngineStop)
            Stop();
        else if (input == PauseButton || input == PauseKey)
            TogglePause();
        else if (input == SingleFrameKey && state_ == ControlState::Paused)
            SingleFrame();
        else
            return false;
        return true;
    case ControlState::Stopping:
    case ControlState::Reporting:
        return false;
    }
    return false;
}

void RecordControl::OnSessionStopped() {
    Settle();
}

bool RecordControl::RequestClose() {
    switch (state_) {
    case ControlState::Idle:
    case ControlState::StartPosted:
        return true;
    case ControlState::Recording:
    case ControlState::Paused:
        Stop();
        return state_ == ControlState::Idle;
    default:
        closeDeferred_ = true;
        return false;
    }
}

void RecordControl::RunDeferred(uint32_t serial) {
    if (serial != session_)
        return;
    const Deferred what = std::exchange(deferred_, Deferred::None);
    if (state_ != ControlState::Recording && state_ != ControlState::Paused)
        return;
    if (what == Deferred::StartStop)
        Stop();
    else if (what == Deferred::Pause)
        TogglePause();
}

void RecordControl::RunPostedStart(int32_t recordState) {
    if (state_ == ControlState::StartPosted)
        Start(recordState == record_state::Paused ? record_state::Paused : record_state::Recording);
}

void RecordControl::OnSessionStarted(int32_t recordState) {
    SetState(recordState == record_state::Paused ? ControlState::Paused : ControlState::Recording);
    // What waited for the set-up acts on this session, from the queue: the set-up has not
    // returned yet.
    if (deferred_ != Deferred::None)
        view_.PostDeferred(session_);
}

void RecordControl::OnSessionStopping() {
    if (state_ != ControlState::Reporting)
        SetState(ControlState::Stopping);
}

void RecordControl::OnSessionReporting() {
    SetState(ControlState::Reporting);
}

int32_t RecordControl::RecordState() const noexcept {
    if (state_ == ControlState::Recording)
        return record_state::Recording;
    if (state_ == ControlState::Paused)
        return record_state::Paused;
    return record_state::Idle;
}

bool RecordControl::SessionRunning() const noexcept {
    return state_ == ControlState::Recording || state_ == ControlState::Paused;
}

bool RecordControl::SetHotKeysDisabled(bool disabled) {
    if (!Idle())
        return false;
    hotKeysDisabled_ = disabled;
    return true;
}

void RecordControl::Start(int32_t initialState) {
    startingAs_ = initialState;
    ++session_;
    deferred_ = Deferred::None;
    StateGuard guard(*this);
    SetState(ControlState::Starting);
    engine_.Run(initialState); // the whole recording, its stop included
}

void RecordControl::Stop() {
    StateGuard guard(*this);
    SetState(ControlState::Stopping);
    engine_.Stop();
}

void RecordControl::TogglePause() {
    StateGuard guard(*this);
    if (state_ == ControlState::Recording) {
        engine_.Pause();
        SetState(ControlState::Paused);
    } else {
        engine_.Resume();
        SetState(ControlState::Recording);
    }
}

void RecordControl::SingleFrame() {
    // A single frame that cannot resume the timer ends the session from inside the engine.
    StateGuard guard(*this);
    singleFrameWritten_ = false;
    singleFrameWritten_ = engine_.SingleFrame();
}

void RecordControl::PostStart(int32_t recordState) {
    state_ = ControlState::StartPosted;
    view_.PostStartCommand(recordState);
}

void RecordControl::Defer(Deferred what) {
    // A stop asked for during the set-up is not undone by a pause asked for after it.
    if (deferred_ != Deferred::StartStop)
        deferred_ = what;
}

void RecordControl::Settle() {
    // Only a session that has ended settles; a posted start is still to come.
    if (Idle())
        return;
    SetState(ControlState::Idle);
    deferred_ = Deferred::None;
    const RecordingOutcome& outcome = engine_.LastOutcome();
    // Ended by a stop, not by a failure; a take stopped before its first frame leaves no file,
    // which is what was asked for.
    lastSucceeded_ = !outcome.setupFailed && outcome.frameIndex >= 0;
    if (std::exchange(closeDeferred_, false))
        view_.PostClose();
}

void RecordControl::SetState(ControlState state) {
    state_ = state;
    int32_t look = shownState_;
    switch (state) {
    case ControlState::Idle:
    case ControlState::StartPosted:
        look = record_state::Idle;
        break;
    case ControlState::Starting:
        look = startingAs_;
        break;
    case ControlState::Recording:
        look = record_state::Recording;
        break;
    case ControlState::Paused:
        look = record_state::Paused;
        break;
    case ControlState::Stopping:
    case ControlState::Reporting:
        break; // the recording's look stays until the stop is over
    }
    if (look != shownState_) {
        shownState_ = look;
        view_.ShowRecordState(look);
    }
    const bool hold = state == ControlState::Paused && !hotKeysDisabled_;
    if (hold != singleFrameKeyHeld_) {
        singleFrameKeyHeld_ = hold;
        view_.HoldSingleFrameKey(hold);
    }
}
