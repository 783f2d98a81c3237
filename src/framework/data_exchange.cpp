#include "framework/data_exchange.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

size_t SkipDigits(std::string_view text, size_t pos) {
    while (pos < text.size() && IsDigit(text[pos])) {
        ++pos;
    }
    return pos;
}

// [sign] (digits [. digits] | . digits) [(e|E) [sign] digits], and nothing else.
bool IsDecimalNumber(std::string_view text) {
    size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        ++pos;
    }
    const size_t intStart = pos;
    pos = SkipDigits(text, pos);
    size_t digits = pos - intStart;
    if (pos < text.size() && text[pos] == '.') {
        const size_t fracStart = ++pos;
        pos = SkipDigits(text, pos);
        digits += pos - fracStart;
    }
    if (digits == 0) {
        return false;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            ++pos;
        }
        const size_t expStart = pos;
        pos = SkipDigits(text, pos);
        if (pos == expStart) {
            return false;
        }
    }
    return pos == text.size();
}

} // namespace

std::optional<int32_t> ParseInt(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1; // the magnitude of INT32_MIN
    int64_t magnitude = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kLimit) {
            return std::nullopt;
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::optional<double> ParseDouble(std::string_view text) {
    text = Trim(text);
    // The grammar check keeps strtod's extras (nan, inf, hex) out.
    if (!IsDecimalNumber(text)) {
        return std::nullopt;
    }
    const std::string copy(text); // strtod needs a terminated string
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(copy.c_str(), &end);
    // Not all consumed: a C library whose decimal point is not '.'; refuse rather than misread.
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    if (value == 0.0) {
        value = 0.0; // "-0" would otherwise show as "-0"
    }
    return value;
}

std::string FormatDouble(double value) {
    if (value == 0.0) {
        value = 0.0;
    }
    // Room for a sign, 15 digits, a point and a three-digit exponent, with plenty to spare.
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%.15g", value);
    if (length <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<size_t>(length) < sizeof buffer
                                   ? static_cast<size_t>(length)
                                   : sizeof buffer - 1);
}
