#include "recorder/recorder_win.h"

namespace {

// Wakes the control for a command that waited for a start's set-up (wParam: the session it was
// meant for).
constexpr UINT WM_RUN_DEFERRED = WM_APP + 1;
// A start a hot key (or "-rec", or a script) asked for (wParam: the record state to start in).
constexpr UINT WM_POSTED_START = WM_APP + 2;
// The close that waited for a start or stop, told from the queue once that is over.
constexpr UINT WM_CLOSE_DEFERRED = WM_APP + 5;

} // namespace

Recorder::Recorder(RecordingOptions& options, const CursorImageTable& cursors)
    : engine_(options, cursors, *this), control_(engine_, options, *this) {}

Recorder::~Recorder() {
    // Stopped while everything it reports to is still here; the file is completed.
    if (engine_.Busy())
        engine_.Stop();
}

bool Recorder::Create() {
    static const WindowClass kClass{"VidorraSession"};
    return window_.Create(kClass, 0, 0, "", RECT{}, HWND_MESSAGE);
}

void Recorder::OptionsChanged(OptionGroup group) {
    if (events_)
        events_->OnOptionsChanged(group);
}

void Recorder::NotePaletteChange() {
    // The session loop picks it up; while idle the next set-up reads the palette anyway.
    if (control_.SessionRunning())
        engine_.NotePaletteChange();
}

LRESULT Recorder::SessionWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    Recorder& r = owner_;
    switch (msg) {
    case WM_TIMER:
        // The grabber's frames, from the session's loop or any other (a message box, a menu, a
        // window being moved): the sound follows the picture whichever loop runs.
        if (r.control_.SessionRunning())
            r.engine_.OnFrameTimer();
        return 0;
    case WM_ENGINE_STOP_REQUEST:
        r.control_.Handle(ControlInput::EngineStop);
        return 0;
    case WM_RUN_DEFERRED:
        r.control_.RunDeferred(static_cast<uint32_t>(wp));
        return 0;
    case WM_POSTED_START:
        r.control_.RunPostedStart(static_cast<int32_t>(wp));
        return 0;
    case WM_CLOSE_DEFERRED:
        if (r.events_)
            r.events_->OnCloseDeferred();
        return 0;
    default:
        return CustomWindow::HandleMessage(msg, wp, lp);
    }
}

void Recorder::ShowMessage(const std::string& text) {
    if (events_)
        events_->ShowMessage(text);
}

bool Recorder::PreTranslateSessionMessage(MSG& msg) {
    return events_ && events_->PreTranslateSessionMessage(msg);
}

void Recorder::OnRecordingStarted() {
    control_.OnSessionStarted(engine_.State());
    if (events_)
        events_->OnRecordingStarted();
}

void Recorder::OnRecordingStopped() {
    control_.OnSessionStopped();
    // Panning may have moved the region.
    OptionsChanged(OptionGroup::Region);
    if (events_)
        events_->OnRecordingStopped(engine_.LastOutcome());
}

void Recorder::SetStatusText(const std::string& text) {
    if (events_)
        events_->SetStatusText(text);
}

void Recorder::PostStartCommand(int32_t recordState) {
    window_.Wnd().Post(WM_POSTED_START, static_cast<WPARAM>(recordState));
}

void Recorder::PostDeferred(uint32_t serial) {
    window_.Wnd().Post(WM_RUN_DEFERRED, serial);
}

void Recorder::PostClose() {
    window_.Wnd().Post(WM_CLOSE_DEFERRED);
}

void Recorder::ShowRecordState(int32_t recordState) {
    if (events_)
        events_->ShowRecordState(recordState);
}

void Recorder::HoldSingleFrameKey(bool hold) {
    if (events_)
        events_->HoldSingleFrameKey(hold);
}
