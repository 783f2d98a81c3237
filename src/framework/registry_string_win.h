#pragma once

// String values of open registry keys, read and written one way everywhere.

#include <optional>
#include <string>
#include <windows.h>

// The REG_SZ value `name` (null: the key's default value), or REG_EXPAND_SZ too when
// `expandable`, up to its first terminator; nothing when it is missing, of another type or
// larger than 64 KiB.
[[nodiscard]] std::optional<std::string> ReadRegistryString(HKEY key, const char* name,
                                                            bool expandable = false);
// Writes `value` as REG_SZ; the platform's error code.
LONG WriteRegistryString(HKEY key, const char* name, const std::string& value);
