#pragma once

// Our screen codec for every program of the machine, so that Windows' own players (and anything
// built on the platform's AVI reader or DirectShow) play our movies: its library in the system
// folder and the value "vidc.zmbv" naming it in the machine's list of drivers, for 32- and, on
// 64-bit Windows, 64-bit programs each. Both need administrator rights.

#include "setup/install_text.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Where the players of one architecture look.
struct CodecTarget {
    std::string library;      // shipped beside the program: VidZmbv32.dll or VidZmbv64.dll
    std::string systemFolder; // the library goes there as VidZmbv.dll
    REGSAM view;              // the registry view of those players (0 on 32-bit Windows)
    std::string driversKey;   // below HKEY_LOCAL_MACHINE
    std::string descriptionsKey;
};

// This machine's: one target on 32-bit Windows, two on 64-bit Windows.
[[nodiscard]] std::vector<CodecTarget> SystemCodecTargets();

// Installs the library from `programDirectory` for each target. Another program's "vidc.zmbv"
// (which decodes the same format) is left as it is.
[[nodiscard]] setup::CodecOutcome InstallCodec(const std::string& programDirectory,
                                               const std::vector<CodecTarget>& targets);

// Removes the value and the library only where the value names our library.
void UninstallCodec(const std::vector<CodecTarget>& targets);

// "-installcodec": installs the codec, through the shell's "runas" when this process lacks the
// rights (unless it is the elevated copy already), and tells the user how it went. Exit code 0
// when the machine has a ZMBV codec afterwards, 1 otherwise.
[[nodiscard]] int RunInstallCodec(const std::string& programDirectory, const std::string& product,
                                  bool elevatedCopy);
