#pragma once

// Output file names: making sure a name ends in ".avi", and picking the next free numbered name
// (base + four-digit number + extension) so that a recording never overwrites an earlier one.

#include "engine/option_rules.h"

#include <functional>
#include <string>
#include <string_view>

// Numbers are printed in four digits; 9999 is the last one.
inline constexpr int kMaxFileNumber = 9999;

// An empty name becomes "capture.avi"; a name whose last five characters do not hold ".avi" (in
// any case) gets ".avi" appended.
[[nodiscard]] std::string EnsureAviExtension(std::string name);

enum class NamingError {
    None,
    // The numbered name would not fit in option_rules::kMaxFileName characters.
    TooLong,
    // The name already carries a number above kMaxFileNumber.
    NumberTooLarge,
    // Every number from the name's own up to kMaxFileNumber is taken.
    NoFreeNumber,
};

struct NextFileNameResult {
    // The free name; empty unless error is None, so a refusal can never be mistaken for a name.
    std::string name;
    NamingError error = NamingError::None;
};

// The first free name of the form base + "%04d" + extension, counting from the name's own
// trailing number (1 when it has none or it is 0). The extension starts at the last "." after
// the last "\\", "/" or ":", so a dot in a directory name is never taken for one. `exists` says
// whether a name is taken; anything on disk of that name, directories included, should count.
[[nodiscard]] NextFileNameResult
NextFreeFileName(std::string_view name, const std::function<bool(const std::string&)>& exists);
