#pragma once

// The options text file beside the program, and the two maintenance procedures that copy the
// settings between it and the registry. Both run before any window exists and say how they
// ended only through the exit code, since scripts run them.

#include "engine/recording_options.h"
#include "settings/options_file.h"

#include <string>
#include <string_view>

// The program's directory (no trailing backslash) and the product name + ".ini".
[[nodiscard]] std::string OptionsFilePath(const std::string& programDirectory,
                                          std::string_view productName);

enum class FileReadResult {
    Read,
    // No such file (or folder): a first dump, or nothing to import.
    Missing,
    // It is there but could not be read.
    Failed,
};

// Replaces the list with the file's values.
[[nodiscard]] FileReadResult ReadOptionsFile(const std::string& path, OptionList& list);

// Writes the list as the file's new content: into a temporary file in the same folder, every write
// checked, then put in the old one's place. On any failure the old file is left as it was and the
// temporary one removed.
[[nodiscard]] bool WriteOptionsFile(const std::string& path, const OptionList& list);

// "-dumpopts": the registry's values into the file, keeping the file's other quoted lines in
// place. 0 when the file holds every value, 1 otherwise (then an old file is unchanged, or holds
// all values but those too long for a line).
[[nodiscard]] int DumpOptionsToFile(const std::string& path, const std::string& settingsKey,
                                    RecordingOptions& options);

enum class ImportResult { Imported, NoFile, Failed };

// The file's values into the registry. The registry is not read first: a value the file does not
// name, or one the settings' rules refuse, is written as the field's current (default) value.
// Failed when the file cannot be read or a value could not be written to the registry.
[[nodiscard]] ImportResult ImportOptionsFile(const std::string& path,
                                             const std::string& settingsKey,
                                             RecordingOptions& options);

// "-readopts": 0 only when every value reached the registry.
[[nodiscard]] int ReadOptionsFromFile(const std::string& path, const std::string& settingsKey,
                                      RecordingOptions& options);
