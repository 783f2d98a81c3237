#pragma once
// The program's command line: the maintenance switches (first argument only), the recording
// switches (every argument, left to right) and the automation switches of an automation start.

#include "engine/recording_options.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class MaintenanceSwitch {
    None,
    Install,
    InstallCodec,
    Uninstall,
    DumpOptions,
    ReadOptions,
    Repair
};

MaintenanceSwitch FindMaintenanceSwitch(const std::vector<std::string>& args);

// "-Automation", "/Embedding" and the like, anywhere, letter case ignored.
bool IsAutomationStart(const std::vector<std::string>& args);

// The integer reading of the C library: blanks, a sign, digits up to the first non-digit; no
// digits give 0. Saturates instead of overflowing.
int32_t LeadingInteger(const std::string& text);

struct ScreenRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
// Resolves a window handle given with "-hw" to its outer rectangle; false when there is no such
// window.
using WindowRectLookup = std::function<bool(uint64_t handle, ScreenRect& rect)>;

// A recording switch whose value the program cannot record with.
struct RefusedSwitch {
    std::string name;  // "-a", "-f", ...
    std::string value; // as given
};

// Applies every recording switch to the options. Values the program cannot record with (a rate
// that is not a positive finite number, a width or height below 1, a left or top edge beyond 16
// bits, a key-frame interval the video page would refuse, a window that is not there, an
// unusable or missing file name) leave the loaded value as it was and are returned, in
// command-line order: a recording asked for on the same command line must not go ahead with
// other settings.
std::vector<RefusedSwitch> ApplyRecordingSwitches(const std::vector<std::string>& args,
                                                  RecordingOptions& options,
                                                  const WindowRectLookup& windowRect);
