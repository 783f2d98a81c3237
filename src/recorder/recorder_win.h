#pragma once

// The one owner of recording: the engine, the control that decides what each command does, and
// a message-only session window that takes the grabber's frame messages, the engine's own stop
// requests and the commands the control puts in the queue. Windows only listen to it
// (RecorderEvents) and send it commands; none of them owns a part of a recording.

#include "engine/outcome_words.h"
#include "engine/recording_engine_win.h"
#include "engine/recording_options.h"
#include "framework/custom_window_win.h"
#include "recorder/record_control_win.h"

#include <cstdint>
#include <string>
#include <windows.h>

class CursorImageTable;

// What the recorder tells the window that shows it. Every call comes on the thread that made the
// recorder.
class RecorderEvents {
public:
    virtual ~RecorderEvents() = default;
    // Buttons and pages for record state 0 (idle), 1 (recording) or 2 (paused).
    virtual void ShowRecordState(int32_t recordState) = 0;
    // The frames run: hide or minimise as the user chose.
    virtual void OnRecordingStarted() = 0;
    // Everything is released, the outcome told, and the state is idle again (also after a
    // set-up that failed).
    virtual void OnRecordingStopped(const RecordingOutcome& outcome) = 0;
    // Options changed under the pages: the numbering's new name, the pan lock, panning.
    virtual void OnOptionsChanged(OptionGroup group) = 0;
    // A message box owned by the listener, titled with the program's name.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Holds or lets go the single-frame hot key (held only while paused).
    virtual void HoldSingleFrameKey(bool hold) = 0;
    // A close that waited for a start or stop under way may be tried again.
    virtual void OnCloseDeferred() = 0;
    // Keyboard navigation of the listener's windows while a recording's loop runs; true when
    // the message was consumed.
    virtual bool PreTranslateSessionMessage(MSG& msg) = 0;
};

class Recorder final : private SessionHost, private RecordControlView {
public:
    Recorder(RecordingOptions& options, const CursorImageTable& cursors);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Makes the session window; false when it could not be made (nothing can record then).
    [[nodiscard]] bool Create();
    // Who hears what happens; nullptr while nobody shows the recorder.
    void Listen(RecorderEvents* events) noexcept { events_ = events; }

    // Every command that starts, pauses or stops a recording: true when it was acted on or
    // queued, false when the state dropped it.
    bool Handle(ControlInput input) { return control_.Handle(input); }
    // True when the program may close now; otherwise a running recording is stopped first, or
    // the close waits for the start or stop under way (OnCloseDeferred tells when to retry).
    bool RequestClose() { return control_.RequestClose(); }
    // Whoever changed options behind the pages says which.
    void OptionsChanged(OptionGroup group);
    // The screen's palette changed (a broadcast reaches only top-level windows).
    void NotePaletteChange();
    // Lets the sound input go when the program closes; refused while a recording or its stop
    // runs.
    bool ReleaseSoundDevice() { return engine_.ReleaseSoundDevice(); }

    [[nodiscard]] ControlState State() const noexcept { return control_.State(); }
    // No recording is being set up, running or stopping: options may change.
    [[nodiscard]] bool Idle() const noexcept { return control_.Idle(); }
    // 0 idle, 1 recording, 2 paused, as scripts see it.
    [[nodiscard]] int32_t RecordState() const noexcept { return control_.RecordState(); }
    [[nodiscard]] const RecordingOutcome& LastOutcome() const noexcept {
        return engine_.LastOutcome();
    }
    [[nodiscard]] bool LastRecordingSucceeded() const noexcept {
        return control_.LastRecordingSucceeded();
    }
    [[nodiscard]] bool LastSingleFrameWritten() const noexcept {
        return control_.LastSingleFrameWritten();
    }
    bool SetHotKeysDisabled(bool disabled) { return control_.SetHotKeysDisabled(disabled); }
    [[nodiscard]] bool HotKeysDisabled() const noexcept { return control_.HotKeysDisabled(); }
    // The AVI compressor and the sound format of the current or last recording.
    [[nodiscard]] uint32_t HandlerUsed() const noexcept { return engine_.HandlerUsed(); }
    [[nodiscard]] const PcmFormat& SoundFormat() const noexcept { return engine_.SoundFormat(); }

private:
    class SessionWindow final : public CustomWindow {
    public:
        explicit SessionWindow(Recorder& owner) : owner_(owner) {}

    protected:
        LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

    private:
        Recorder& owner_;
    };

    // SessionHost
    [[nodiscard]] HWND HostWindow() const override { return window_.Handle(); }
    void ShowMessage(const std::string& text) override;
    bool PreTranslateSessionMessage(MSG& msg) override;
    void OnRecordingStarted() override;
    void OnRecordingStopping() override { control_.OnSessionStopping(); }
    void OnReportingOutcome() override { control_.OnSessionReporting(); }
    void OnRecordingStopped() override;
    void SetStatusText(const std::string& text) override;
    void OnFileNameChanged() override { OptionsChanged(OptionGroup::Video); }

    // RecordControlView
    void PostStartCommand(int32_t recordState) override;
    void PostDeferred(uint32_t serial) override;
    void PostClose() override;
    void ShowRecordState(int32_t recordState) override;
    void HoldSingleFrameKey(bool hold) override;
    void OnPanLockToggled() override { OptionsChanged(OptionGroup::HotKeys); }

    RecorderEvents* events_ = nullptr;
    SessionWindow window_{*this};
    RecordingEngine engine_;
    RecordControl control_;
};
