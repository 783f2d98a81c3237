#pragma once
// How the main window comes and goes around recordings: hidden or minimised as the user chose
// (WndHide), left alone while a script has hidden it, and back at the stop, without taking the
// focus when a script started the recording.

#include "framework/window_win.h"

#include <cstdint>

class WindowPolicy {
public:
    // A script's start: the window comes back at the stop without taking the focus.
    void SetStartedByAutomation(bool on) noexcept { startedByAutomation_ = on; }
    // A script hid the window (or the system started the program for a client): recordings
    // neither hide nor show it.
    void SetHiddenByAutomation(bool on) noexcept { hiddenByAutomation_ = on; }

    void OnRecordingStarted(Window window, int32_t wndHide) const;
    void OnRecordingStopped(Window window) const;

private:
    bool startedByAutomation_ = false;
    bool hiddenByAutomation_ = false;
};
