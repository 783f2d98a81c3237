#include "engine/cursor_images_win.h"

#include <cstring>

namespace {

// The settings hold a file path per cursor; longer values are not ours to guess at.
constexpr DWORD kValueBufferSize = 256;

// The text of a string value, or empty when the value is missing, of another type or does not
// fit. Registry strings need not end in a zero, so the text ends at the length read.
std::string ReadPathValue(HKEY key, const char* name) {
    char buffer[kValueBufferSize];
    DWORD type = REG_NONE;
    DWORD size = sizeof(buffer);
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > sizeof(buffer)) {
        return {};
    }
    const std::size_t length = ::strnlen(buffer, size);
    // Room for the terminator the path needs when handed on.
    if (length >= sizeof(buffer))
        return {};
    std::string text(buffer, length);
    if (type == REG_SZ || text.empty())
        return text;

    // The platform writes its own cursor paths as "%SystemRoot%\...".
    char expanded[MAX_PATH];
    const DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof(expanded));
    // The ANSI form may want one byte more than it reports, so keep one spare.
    if (needed == 0 || needed >= sizeof(expanded))
        return {};
    return std::string(expanded, ::strnlen(expanded, needed));
}

struct StandardCursor {
    uint32_t id;
    const char* valueName;
};

constexpr std::array<StandardCursor, CursorImageTable::kEntryCount> kStandardCursors = {{
    {32512, "Arrow"},
    {32513, "IBeam"},
    {32514, "Wait"},
    {32515, "Crosshair"},
    {32516, "UpArrow"},
    {32642, "SizeNWSE"},
    {32643, "SizeNESW"},
    {32644, "SizeWE"},
    {32645, "SizeNS"},
    {32646, "SizeAll"},
    {32648, "No"},
    {32650, "AppStarting"},
    {32651, "Help"},
}};

} // namespace

CursorImageTable::CursorImageTable(std::string keyPath) : keyPath_(std::move(keyPath)) {}

void CursorImageTable::Load() {
    UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i)
        LoadEntry(key.get(), i, entries_[i]);
}

void CursorImageTable::LoadEntry(HKEY key, std::size_t index, Entry& entry) {
    const StandardCursor& cursor = kStandardCursors[index];
    entry.standard = nullptr;
    entry.custom.reset();

    const std::string path = ReadPathValue(key, cursor.valueName);
    if (path.empty())
        return;
    UniqueCursor custom(::LoadCursorFromFileA(path.c_str()));
    if (!custom)
        return;
    const HCURSOR standard = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(cursor.id));
    // Without the standard handle the image could only ever match a null cursor, which means
    // no cursor is shown at all.
    if (standard == nullptr)
        return;
    entry.standard = standard;
    entry.custom = std::move(custom);
}

void CursorImageTable::Free() noexcept {
    for (Entry& entry : entries_) {
        entry.standard = nullptr;
        entry.custom.reset();
    }
}

HCURSOR CursorImageTable::Lookup(HCURSOR cursor) const noexcept {
    for (const Entry& entry : entries_) {
        if (entry.standard == cursor && entry.custom)
            return entry.custom.get();
    }
    return cursor;
}

std::vector<std::string> CursorImageTable::LoadedNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].custom)
            names.emplace_back(kStandardCursors[i].valueName);
    }
    return names;
}
