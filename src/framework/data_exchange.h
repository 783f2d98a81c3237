#pragma once

// Text-to-value conversions for dialog fields. Strict: a field either holds exactly one value
// (blanks around it allowed) or it is refused; nothing is silently cut or read as 0.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Optional sign and decimal digits; refuses anything outside the 32-bit range.
[[nodiscard]] std::optional<int32_t> ParseInt(std::string_view text);

// Decimal notation with an optional fraction and exponent ("7.5", "-.5", "1e3"). Refuses
// "nan", "inf", hexadecimal and values too large for a double; -0 reads as 0.
[[nodiscard]] std::optional<double> ParseDouble(std::string_view text);

// Up to 15 significant digits, so 10.0 shows as "10" and 0.1 as "0.1".
[[nodiscard]] std::string FormatDouble(double value);

template <class T> struct Range {
    T min;
    T max;
    [[nodiscard]] constexpr bool Contains(T value) const noexcept {
        return value >= min && value <= max;
    }
};
