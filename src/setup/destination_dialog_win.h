#pragma once

// The installer's destination dialog: the platform's older-style save dialog laid out by the
// resource library's template, where only a directory is chosen. OK is handled here: the typed
// name is made an absolute long path, refused when it is a drive's root or a Windows folder,
// created on request and checked for writing; the dialog stays open until that succeeds.

#include <optional>
#include <string>
#include <windows.h>

struct DestinationRequest {
    std::string product;          // the dialog's and the messages' caption follow it
    std::string initialDirectory; // shown at first; need not exist
    std::string windowsFolder;    // refused as destinations, as is any drive's root
    std::string systemFolder;
};

// The confirmed destination (absolute, long names, no trailing backslash); empty when the user
// cancelled.
[[nodiscard]] std::optional<std::string> ChooseDestination(HWND owner,
                                                           const DestinationRequest& request);

// The absolute form of a name (relative ones against the current directory) with long names
// where the folders exist, without a trailing backslash; empty when the name is unusable.
[[nodiscard]] std::string FullLongPath(const std::string& name);
