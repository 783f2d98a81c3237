#include "engine/file_naming.h"

#include <utility>

namespace {

bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

char LowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// What "%04d" prints for 0 to 9999.
std::string FourDigits(int n) {
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, n /= 10)
        text[i] = static_cast<char>('0' + n % 10);
    return text;
}

} // namespace

std::string EnsureAviExtension(std::string name) {
    if (name.empty())
        return "capture.avi";
    std::string tail = name.substr(name.size() < 5 ? 0 : name.size() - 5);
    for (char& c : tail)
        c = LowerAscii(c);
    if (tail.find(".avi") == std::string::npos)
        name += ".avi";
    return name;
}

NextFileNameResult NextFreeFileName(std::string_view name,
                                    const std::function<bool(const std::string&)>& exists) {
    // The extension is the part from the last dot, unless a path separator or drive colon comes
    // after that dot. The first character is looked at too: ".avi" alone is all extension, and
    // numbering it must not turn it into ".avi0001", which the AVI services cannot open.
    std::size_t cut = name.size();
    for (std::size_t i = name.size(); i-- > 0;) {
        const char c = name[i];
        if (c == '.') {
            cut = i;
            break;
        }
        if (c == '\\' || c == '/' || c == ':')
            break;
    }
    const std::string_view extension = name.substr(cut);

    std::size_t digits = cut;
    while (digits > 0 && IsDigit(name[digits - 1]))
        --digits;
    // Stops as soon as the number is out of range, so no length of digits can overflow it.
    int counter = 0;
    for (std::size_t i = digits; i < cut; ++i) {
        counter = counter * 10 + (name[i] - '0');
        if (counter > kMaxFileNumber)
            return {{}, NamingError::NumberTooLarge};
    }
    if (counter == 0)
        counter = 1;
    const std::string_view base = name.substr(0, digits);

    // Every number up to kMaxFileNumber prints in four digits, so all candidates are this long.
    if (base.size() + 4 + extension.size() > option_rules::kMaxFileName)
        return {{}, NamingError::TooLong};

    std::string candidate;
    for (; counter <= kMaxFileNumber; ++counter) {
        candidate.assign(base);
        candidate += FourDigits(counter);
        candidate += extension;
        if (!exists(candidate))
            return {std::move(candidate), NamingError::None};
    }
    return {{}, NamingError::NoFreeNumber};
}
