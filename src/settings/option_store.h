#pragma once

// Where the settings are kept, seen as a store of named, typed values, and the loading and saving
// of one section through it. The registry is one store; anything else that keeps values by name
// (a text file read into memory) can stand in without the routines changing.

#include "engine/recording_options.h"
#include "settings/stored_options.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

enum class ReadResult {
    Found,
    Missing,
    // The value needs more than the capacity; nothing was read.
    TooLarge,
    Failed,
};

class OptionStore {
public:
    virtual ~OptionStore() = default;
    // Reads the named value, at most `capacity` bytes of it. Only Found sets `value`.
    virtual ReadResult Read(std::string_view name, std::size_t capacity, StoredValue& value) = 0;
    // True when the value was stored.
    [[nodiscard]] virtual bool Write(std::string_view name, const StoredValue& value) = 0;
};

// Reads every value of the section; each one found and accepted replaces its field, and any other
// leaves its field alone. Returns the names of values that were there but not used (too large,
// unreadable, wrong type or size, refused by the field's rules); missing values are not listed.
std::vector<std::string> LoadOptions(OptionStore& store, OptionSection section,
                                     RecordingOptions& options);

// Writes every value of the section, going on past a failure. Returns the names of the values that
// could not be written; empty when all were.
[[nodiscard]] std::vector<std::string> SaveOptions(OptionStore& store, OptionSection section,
                                                   const RecordingOptions& options);

// Every value name of the section, for reporting a section that could not be written at all.
[[nodiscard]] std::vector<std::string> OptionNames(OptionSection section);
