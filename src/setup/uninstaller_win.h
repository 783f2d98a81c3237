#pragma once

// "-uninstall", run first by the uninstall batch file: confirms with the user, removes the
// Program Manager group, the settings, the uninstall entry, the automation class that points at
// this program and the system's codec where it is ours. The batch file then deletes the files.

#include <string>

// Exit code for the batch file: 1 when the user declined (nothing is removed), 0 otherwise.
[[nodiscard]] int RunUninstall(const std::string& product);

// The settings keys of the product below HKEY_CURRENT_USER, and the maker's key when nothing else
// is left in it.
void RemoveSettingsKeys(const std::string& maker, const std::string& product);

// The uninstall entry, wherever the installer put it.
void RemoveUninstallEntry(const std::string& product);

// The automation class's registration, when its server is the program at `programPath` (another
// copy's registration is left to it).
void RemoveAutomationClass(const std::string& programPath);
