#pragma once

// "-install": asks for a destination, copies the program's files there, writes the uninstall
// batch file and the entry in the system's list of removable programs, and makes the Program
// Manager group. Runs before any window of the program exists.

#include <string>

enum class InstallResult {
    Installed,
    // The user closed the destination dialog: nothing was changed.
    Cancelled,
    // A required file could not be copied; the user was told and nothing was registered.
    Failed,
};

// programDirectory: where the running program and the files shipped with it are.
[[nodiscard]] InstallResult Install(const std::string& programDirectory,
                                    const std::string& product);

// The uninstall entry's key below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
[[nodiscard]] std::string UninstallEntryKey(const std::string& product);
