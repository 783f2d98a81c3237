#include "framework/text_format.h"

#include <algorithm>

namespace {

template <class Args> std::string Format(std::string_view format, const Args& args) {
    std::string out;
    out.reserve(format.size());
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const char kind = format[i + 1];
        if (kind == '%') {
            out += '%';
            ++i;
        } else if (kind == 'd' || kind == 'i' || kind == 'u' || kind == 's') {
            if (next != args.end()) {
                out += *next++;
            }
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
    return Format(format, args);
}

std::string FormatText(std::string_view format, std::span<const std::string> args) {
    return Format(format, args);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    const auto lower = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u - 'A' + 'a') : u;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}
