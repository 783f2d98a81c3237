// Fuzz target for the options file: reading any bytes, answering reads of every name with buffers
// of every size, and the settings' load and save through it. It checks that nothing is read or
// written outside a buffer (the sanitizers and guard bytes) and that whatever the list holds
// reads back as itself once written.

#include "settings/options_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

constexpr unsigned char kGuard = 0xA5;

// Measures the value, then reads it into a buffer one byte short and one of the exact size;
// guard bytes after each catch a write past the size given.
void QueryAtTheEdges(const OptionList& list, std::string_view name) {
    uint32_t type = 0, needed = 0;
    if (list.QueryOption(name, &type, nullptr, &needed) != option_answer::Ok) {
        Check(list.FindOption(name) == nullptr);
        return;
    }
    Check(type == stored_type::Dword ? needed == 4 : (type == stored_type::Text && needed >= 1));
    unsigned char buffer[kMaxOptionsLine + 16];
    for (uint32_t capacity : {needed - 1, needed}) {
        std::memset(buffer, kGuard, capacity + 16);
        uint32_t size = capacity;
        const long result = list.QueryOption(name, &type, buffer, &size);
        for (std::size_t i = capacity; i < capacity + 16; ++i)
            Check(buffer[i] == kGuard);
        Check(size == needed);
        if (capacity < needed)
            Check(result == option_answer::MoreData);
        else if (type == stored_type::Text)
            Check(result == option_answer::Ok && buffer[needed - 1] == 0);
        else
            Check(result == option_answer::Ok || result == option_answer::InvalidData);
    }
}

bool EveryLineReadsWhole(const OptionList& list) {
    for (const OptionEntry& e : list.Entries())
        if (e.name.size() + e.value.size() + 6 > kMaxOptionsLine)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    OptionList list;
    list.Parse(bytes);
    for (const OptionEntry& e : list.Entries()) {
        Check(!e.name.empty() &&
              e.name.find_first_of(std::string_view("\"\n\0", 3)) == std::string::npos);
        Check(e.value.find_first_of(std::string_view("\n\0", 2)) == std::string::npos);
        Check(e.value.empty() ||
              (e.value.back() != '\r' && e.value.front() != ' ' && e.value.front() != '\t'));
        QueryAtTheEdges(list, e.name);
    }

    // The settings load from the file (every name read with its own capacity) and are saved back
    // into it, as "-dumpopts" does.
    RecordingOptions options;
    LoadOptions(list, OptionSection::State, options);
    LoadOptions(list, OptionSection::Keys, options);
    const bool stateSaved = SaveOptions(list, OptionSection::State, options).empty();
    const bool keysSaved = SaveOptions(list, OptionSection::Keys, options).empty();
    Check(stateSaved && keysSaved); // the setters' values always fit a line

    // The input's bytes as a text and as a name: refused or stored so they read back.
    const unsigned char number[4] = {1, 2, 3, 4};
    (void)list.SetOption(bytes, stored_type::Dword, number);
    std::vector<unsigned char> text(bytes.begin(), bytes.end());
    text.push_back(0);
    const long setText = list.SetOption("Start Desc", stored_type::Text, text);

    // Written and read again, a list whose lines all fit comes back entry for entry.
    if (EveryLineReadsWhole(list)) {
        OptionList again;
        again.Parse(list.Format());
        Check(again.Entries() == list.Entries());
        if (setText == option_answer::Ok) {
            std::vector<unsigned char> back(text.size() + 1, kGuard);
            uint32_t backSize = static_cast<uint32_t>(back.size());
            Check(again.QueryOption("Start Desc", nullptr, back.data(), &backSize) ==
                  option_answer::Ok);
            Check(std::string_view(reinterpret_cast<const char*>(back.data()), backSize - 1) ==
                  std::string_view(reinterpret_cast<const char*>(text.data())));
        }
    }
    return 0;
}
