#pragma once

// The values the settings keep for the recording options: their names, how each field is encoded,
// and what a stored value must be before it may replace a field. Stored values are input like any
// other (another program, a hand edit or an older build may have written them), so each one goes
// through the same refusals as the setters; a refused value leaves its field as it was.

#include "engine/recording_options.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Type tags, numbered as the platform's registry types so the registry layer passes them through.
namespace stored_type {
inline constexpr uint32_t Text = 1;  // zero-terminated single-byte text
inline constexpr uint32_t Dword = 4; // 32 bits, little-endian
} // namespace stored_type

// The two groups the values live in: recording state, and hot keys with panning.
enum class OptionSection { State, Keys };

// The name of a section's key below the settings key: "State" or "Keys".
[[nodiscard]] const char* SectionKeyName(OptionSection section) noexcept;

// One value as a store holds it: its type tag and its bytes, as many as were read.
struct StoredValue {
    uint32_t type = 0;
    std::vector<unsigned char> bytes;
    bool operator==(const StoredValue&) const = default;
};

// One entry of a section's table. Exactly one pair of hooks is set, by type; callers go through
// ApplyStoredValue and EncodeStoredValue, which check the bytes before a hook sees them.
struct StoredOption {
    const char* name;
    uint32_t type;
    // The most bytes a read may take. A text's terminator counts, so it holds one character less.
    std::size_t capacity;
    bool (*loadNumber)(RecordingOptions&, uint32_t);
    uint32_t (*saveNumber)(const RecordingOptions&);
    bool (*loadText)(RecordingOptions&, std::string_view);
    const std::string& (*saveText)(const RecordingOptions&);
};

// A section's values in the order they are written: a new options file lists them this way.
[[nodiscard]] std::span<const StoredOption> StoredOptions(OptionSection section) noexcept;

// The entry of that exact name in either section, or null.
[[nodiscard]] const StoredOption* FindStoredOption(std::string_view name) noexcept;

enum class ApplyResult {
    Applied,
    // Wrong type, wrong size, or a value the field's rules refuse: the field is unchanged.
    Refused,
    // No value of ours has that name.
    UnknownName,
};

// Decides whether a stored value may replace its field, and replaces it. A number must be a
// Dword of exactly four bytes; a text must be of type Text, fit the capacity, and is taken up
// to its first zero byte or its end, whichever comes first.
ApplyResult ApplyStoredValue(const StoredOption& option, RecordingOptions& options,
                             const StoredValue& value);
ApplyResult ApplyStoredValue(std::string_view name, RecordingOptions& options,
                             const StoredValue& value);

// The field's value as it is stored: four bytes for a number, the text and one zero byte.
[[nodiscard]] StoredValue EncodeStoredValue(const StoredOption& option,
                                            const RecordingOptions& options);
