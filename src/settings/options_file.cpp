#include "settings/options_file.h"

#include "framework/text_format.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace {

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

bool IsLineEnd(char c) noexcept {
    return c == '\r' || c == '\n';
}

// The C library's white space, which its integer reading skips.
bool IsSpace(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One line's entry, or none for a line that is not a value. A line is used up to its first zero
// byte, as a C string would be. Lines the format leaves open are not values either: one with no
// closing quote (the name has no end) and one with an empty name (nothing can ask for it); a
// dump drops them like comments.
std::optional<OptionEntry> ParseLine(std::string_view line) {
    line = line.substr(0, line.find('\0'));
    if (line.empty() || line.front() != '"')
        return std::nullopt;
    const std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos || close == 1)
        return std::nullopt;
    std::string_view value = line.substr(close + 1);
    while (!value.empty() && IsBlank(value.front()))
        value.remove_prefix(1);
    // Only the line end goes: blanks before it stay part of the value.
    while (!value.empty() && IsLineEnd(value.back()))
        value.remove_suffix(1);
    return OptionEntry{std::string(line.substr(1, close - 1)), std::string(value)};
}

// The text of a quoted value: after the opening quote, with the last character taken as the
// closing quote whatever it is. A value that is one quote only is the empty text.
std::string_view QuotedText(std::string_view value) noexcept {
    if (value.size() < 2)
        return {};
    return value.substr(1, value.size() - 2);
}

bool HoldsLineBreak(std::string_view text) noexcept {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::size_t LineLength(std::string_view name, std::string_view value) noexcept {
    return name.size() + value.size() + 6; // two quotes, two spaces, CR LF
}

} // namespace

std::optional<int32_t> OptionNumber(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // One past the largest magnitude: only a negative number may reach it.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit)
            return std::nullopt;
    }
    if (negative)
        return static_cast<int32_t>(-magnitude);
    if (magnitude == kLimit)
        return std::nullopt;
    return static_cast<int32_t>(magnitude);
}

void OptionList::Parse(std::string_view fileText) {
    entries_.clear();
    while (!fileText.empty()) {
        // A line reader with a 1024-byte buffer: a longer line is cut and its rest is a line of
        // its own.
        std::size_t length = std::min(fileText.size(), kMaxOptionsLine);
        const std::size_t feed = fileText.substr(0, length).find('\n');
        if (feed != std::string_view::npos)
            length = feed + 1;
        if (std::optional<OptionEntry> entry = ParseLine(fileText.substr(0, length)))
            entries_.push_back(std::move(*entry));
        fileText.remove_prefix(length);
    }
}

std::string OptionList::Format() const {
    std::string text;
    for (const OptionEntry& entry : entries_) {
        text += '"';
        text += entry.name;
        text += "\"  ";
        text += entry.value;
        text += "\r\n";
    }
    return text;
}

const OptionEntry* OptionList::FindOption(std::string_view name) const noexcept {
    for (const OptionEntry& entry : entries_)
        if (EqualsIgnoringCase(entry.name, name))
            return &entry;
    return nullptr;
}

OptionEntry* OptionList::Find(std::string_view name) noexcept {
    return const_cast<OptionEntry*>(std::as_const(*this).FindOption(name));
}

long OptionList::QueryOption(std::string_view name, uint32_t* type, unsigned char* data,
                             uint32_t* size) const {
    const OptionEntry* entry = FindOption(name);
    if (entry == nullptr)
        return option_answer::NotFound;
    const bool isText = !entry->value.empty() && entry->value.front() == '"';
    const std::string_view text = QuotedText(entry->value);
    const uint32_t needed = isText ? static_cast<uint32_t>(text.size() + 1) : 4;
    if (type != nullptr)
        *type = isText ? stored_type::Text : stored_type::Dword;
    if (size == nullptr)
        return data == nullptr ? option_answer::Ok : option_answer::InvalidParameter;
    if (*size < needed) {
        *size = needed;
        return data == nullptr ? option_answer::Ok : option_answer::MoreData;
    }
    if (data != nullptr) {
        if (isText) {
            std::copy(text.begin(), text.end(), data);
            data[text.size()] = 0;
        } else {
            const std::optional<int32_t> number = OptionNumber(entry->value);
            if (!number)
                return option_answer::InvalidData;
            const auto v = static_cast<uint32_t>(*number);
            const unsigned char bytes[4] = {
                static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
            std::memcpy(data, bytes, sizeof bytes);
        }
    }
    *size = needed;
    return option_answer::Ok;
}

long OptionList::SetOption(std::string_view name, uint32_t type,
                           std::span<const unsigned char> data) {
    std::string value;
    if (type == stored_type::Text) {
        const auto* begin = reinterpret_cast<const char*>(data.data());
        const std::string_view text(
            begin, static_cast<std::size_t>(std::find(begin, begin + data.size(), '\0') - begin));
        // A line break would split the line, and nothing in the text is escaped.
        if (HoldsLineBreak(text))
            return option_answer::InvalidData;
        value.append(1, '"').append(text).append(1, '"');
    } else if (type == stored_type::Dword) {
        if (data.size() < 4)
            return option_answer::InvalidData;
        const uint32_t v = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                           static_cast<uint32_t>(data[2]) << 16 |
                           static_cast<uint32_t>(data[3]) << 24;
        value = std::to_string(static_cast<int32_t>(v));
    } else {
        return option_answer::Refused;
    }
    // The name must read back as the same name.
    if (name.empty() || HoldsLineBreak(name) || name.find('"') != std::string_view::npos)
        return option_answer::InvalidData;
    // A value whose line the reader would cut is left out rather than written cut: a cut text
    // would load as a different one.
    if (LineLength(name, value) > kMaxOptionsLine)
        return option_answer::InvalidData;
    if (OptionEntry* entry = Find(name))
        entry->value = std::move(value);
    else
        entries_.push_back({std::string(name), std::move(value)});
    return option_answer::Ok;
}

ReadResult OptionList::Read(std::string_view name, std::size_t capacity, StoredValue& value) {
    // One byte more than the capacity so the buffer is never empty; the size given stays the
    // capacity.
    std::vector<unsigned char> buffer(capacity + 1);
    uint32_t type = 0;
    uint32_t size = static_cast<uint32_t>(
        std::min<std::size_t>(capacity, std::numeric_limits<uint32_t>::max()));
    switch (QueryOption(name, &type, buffer.data(), &size)) {
    case option_answer::Ok:
        buffer.resize(std::min<std::size_t>(size, capacity));
        value = {type, std::move(buffer)};
        return ReadResult::Found;
    case option_answer::NotFound:
        return ReadResult::Missing;
    case option_answer::MoreData:
        return ReadResult::TooLarge;
    default:
        return ReadResult::Failed;
    }
}

bool OptionList::Write(std::string_view name, const StoredValue& value) {
    return SetOption(name, value.type, value.bytes) == option_answer::Ok;
}
