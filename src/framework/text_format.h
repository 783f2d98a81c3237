#pragma once

// Fills a resource text's placeholders with ready-made argument texts. The formats come from the
// resource library and are printf-like; only %d, %i, %u and %s (each takes the next argument) and
// %% are understood, so a wrong format can never read past the arguments. A placeholder without
// an argument becomes empty; any other % sequence is kept as it is.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

[[nodiscard]] std::string FormatText(std::string_view format,
                                     std::initializer_list<std::string_view> args);
[[nodiscard]] std::string FormatText(std::string_view format, std::span<const std::string> args);

// Equal but for the case of ASCII letters, whatever the locale: switches, option names, file
// and class names.
[[nodiscard]] bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept;
