#include "app/window_policy_win.h"

#include "engine/recording_options.h"

void WindowPolicy::OnRecordingStarted(Window window, int32_t wndHide) const {
    if (hiddenByAutomation_)
        return;
    switch (wndHide) {
    case wnd_hide::Minimize:
        window.Show(SW_MINIMIZE);
        break;
    case wnd_hide::Hide:
    case wnd_hide::HideToo:
        window.Show(SW_MINIMIZE);
        window.Show(SW_HIDE);
        break;
    default:
        break;
    }
}

void WindowPolicy::OnRecordingStopped(Window window) const {
    if (hiddenByAutomation_)
        return; // the script that hid the window shows it
    if (startedByAutomation_) {
        window.Show(SW_SHOWNOACTIVATE);
        return;
    }
    window.Show(SW_RESTORE);
    ::SetForegroundWindow(window.Handle());
}
