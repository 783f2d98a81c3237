#pragma once

// The region page's two screen commands: choose the region to record by clicking two corners, or
// by pointing at a window.

#include "engine/recording_options.h"

#include <windows.h>

enum class SelectionKind { Region, Window };

// Releases the hot keys, minimises the main dialog and lets the user choose on the screen. An
// accepted choice that can be recorded is stored in StartX, StartY, Width and Height. Then the
// screen is given back, the main dialog restored and the hot keys registered again (a key taken
// meanwhile is reported only now, over the restored dialog). True when a choice was stored; the
// page then shows it.
bool SelectScreenRegion(SelectionKind kind, HWND mainDialog, RecordingOptions& options);
