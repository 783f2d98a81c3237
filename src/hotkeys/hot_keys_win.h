#pragma once
// The four global hot keys, registered to the main dialog's window. Ids: 1 start/stop, 2 pause,
// 3 single frame (held only while paused), 4 pan lock.

#include "engine/recording_options.h"

#include <string>
#include <windows.h>

namespace hot_key_id {
inline constexpr int Start = 1;
inline constexpr int Pause = 2;
inline constexpr int SingleShot = 3;
inline constexpr int LockPan = 4;
} // namespace hot_key_id

// Registers Start, Pause, (tests SingleShot), LockPan in that order; the first one taken by
// another program stops the run and is reported, naming the binding. A binding without a key
// is left out. True when all were registered.
// A copy started for an automation client has nobody to click a box away: it reports on the
// window's status line instead (quiet).
bool RegisterAllHotKeys(HWND window, const RecordingOptions& options, bool quiet = false);
void UnregisterAllHotKeys(HWND window);
// The single-frame key, held only while a recording is paused.
bool RegisterSingleShotHotKey(HWND window, const RecordingOptions& options);

// Sent to the main window by whoever let the keys go for a while (the region selector, the
// key-capture dialog): the window decides whether they come back, since a script may have
// switched them off meanwhile.
inline constexpr UINT WM_RESTORE_HOT_KEYS = WM_APP + 3;
inline void RestoreHotKeys(HWND mainWindow) {
    ::SendMessageA(mainWindow, WM_RESTORE_HOT_KEYS, 0, 0);
}
