#pragma once

// The options text file in memory: one entry per quoted line, in file order, answering reads and
// writes the way a registry key does, so the ordinary loading and saving of the settings work on
// it unchanged. A line is the quoted name, blanks and the value text: a decimal number or a
// quoted text, e.g. `"WinX"  -1000` or `"AVIFileName"  "clip.avi"`, ended by CR LF.

#include "settings/option_store.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Result codes of the answers, numbered as the platform's registry calls number theirs.
namespace option_answer {
inline constexpr long Ok = 0;
// No entry of that name, or a type the file cannot hold.
inline constexpr long NotFound = -1;
inline constexpr long Refused = -1;
// ERROR_INVALID_DATA: a number outside 32 bits, or a text that cannot be one line of the file.
inline constexpr long InvalidData = 13;
// ERROR_INVALID_PARAMETER: a buffer without a size.
inline constexpr long InvalidParameter = 87;
// ERROR_MORE_DATA: the caller's buffer is too small; the size says what is needed.
inline constexpr long MoreData = 234;
} // namespace option_answer

// The longest line the reader takes whole, CR LF included; longer ones are cut there.
inline constexpr std::size_t kMaxOptionsLine = 1023;

struct OptionEntry {
    std::string name;
    // Exactly as it follows the blanks after the name: a number or a quoted text.
    std::string value;
    bool operator==(const OptionEntry&) const = default;
};

class OptionList final : public OptionStore {
public:
    // Replaces the list with the quoted lines of a file's bytes.
    void Parse(std::string_view fileText);
    // The file's bytes: one line per entry, in list order.
    [[nodiscard]] std::string Format() const;

    // The first entry of that name, letter case ignored; null when there is none.
    [[nodiscard]] const OptionEntry* FindOption(std::string_view name) const noexcept;
    void FreeOptions() noexcept { entries_.clear(); }
    [[nodiscard]] const std::vector<OptionEntry>& Entries() const noexcept { return entries_; }

    // As RegQueryValueEx: reports the type, and with a buffer copies the value if `size` bytes
    // hold it; `size` comes back as the bytes needed (a text's terminator included). A null
    // buffer only measures. Never writes more than `size` bytes.
    long QueryOption(std::string_view name, uint32_t* type, unsigned char* data,
                     uint32_t* size) const;
    // As RegSetValueEx for a text or a number: replaces the first entry of that name or appends
    // one. A text is taken up to its first zero byte; a number needs four bytes.
    long SetOption(std::string_view name, uint32_t type, std::span<const unsigned char> data);

    ReadResult Read(std::string_view name, std::size_t capacity, StoredValue& value) override;
    [[nodiscard]] bool Write(std::string_view name, const StoredValue& value) override;

private:
    OptionEntry* Find(std::string_view name) noexcept;

    std::vector<OptionEntry> entries_;
};

// A number's value text as the C library reads an integer (blanks, a sign, digits up to the first
// non-digit; no digits give 0); empty when the number does not fit in 32 signed bits.
[[nodiscard]] std::optional<int32_t> OptionNumber(std::string_view text) noexcept;
