#include "hotkeys/hot_keys_win.h"

#include "framework/app_win.h"
#include "resources/resource_ids.h"

namespace {

bool Register(HWND window, int id, const HotKeyBinding& binding) {
    if (binding.Key == 0)
        return true; // an empty binding holds no key and cannot conflict
    return ::RegisterHotKey(window, id, binding.Mod, binding.Key) != FALSE;
}

void ReportTaken(HWND window, const HotKeyBinding& binding, bool quiet) {
    if (quiet) {
        const std::string text = binding.Desc + " " + App().LoadString(IDS_HOTKEY_TAKEN);
        ::SetDlgItemTextA(window, IDC_MAIN_STATUS, text.c_str());
        return;
    }
    const std::string text = binding.Desc + "\n" + App().LoadString(IDS_HOTKEY_TAKEN);
    // In front of everything, so no topmost window (the region selector) can hide it.
    ::MessageBoxA(window, text.c_str(), App().Name().c_str(),
                  MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
}

} // namespace

bool RegisterAllHotKeys(HWND window, const RecordingOptions& options, bool quiet) {
    if (!Register(window, hot_key_id::Start, options.Start)) {
        ReportTaken(window, options.Start, quiet);
        return false;
    }
    if (!Register(window, hot_key_id::Pause, options.Pause)) {
        ReportTaken(window, options.Pause, quiet);
        return false;
    }
    // Tested for conflicts only: it is held while a recording is paused.
    if (!Register(window, hot_key_id::SingleShot, options.SingleShot)) {
        ReportTaken(window, options.SingleShot, quiet);
        return false;
    }
    ::UnregisterHotKey(window, hot_key_id::SingleShot);
    if (!Register(window, hot_key_id::LockPan, options.LockPan)) {
        ReportTaken(window, options.LockPan, quiet);
        return false;
    }
    return true;
}

void UnregisterAllHotKeys(HWND window) {
    for (int id :
         {hot_key_id::Start, hot_key_id::Pause, hot_key_id::SingleShot, hot_key_id::LockPan})
        ::UnregisterHotKey(window, id);
}

bool RegisterSingleShotHotKey(HWND window, const RecordingOptions& options) {
    return options.SingleShot.Key != 0 &&
           ::RegisterHotKey(window, hot_key_id::SingleShot, options.SingleShot.Mod,
                            options.SingleShot.Key) != FALSE;
}
