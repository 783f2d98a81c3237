#pragma once

// The user's own cursor images, so recorded frames show the cursors the user sees. For each of
// thirteen standard cursors the table holds the image loaded from the file named in the user's
// cursor settings, paired with the system's shared handle of the standard cursor it replaces.
// The table owns the loaded images; the standard handles belong to the system.

#include "framework/handles_win.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CursorImageTable {
public:
    static constexpr std::size_t kEntryCount = 13;
    static constexpr char kDefaultKey[] = "Control Panel\\Cursors";

    // `keyPath` is read under HKEY_CURRENT_USER.
    explicit CursorImageTable(std::string keyPath = kDefaultKey);
    CursorImageTable(const CursorImageTable&) = delete;
    CursorImageTable& operator=(const CursorImageTable&) = delete;
    // Destroys the loaded images, as Free does.
    ~CursorImageTable() = default;

    // Destroys the images of any earlier load and loads each one the settings name. When the
    // settings key cannot be opened, the table is left as it is. A value that is missing, not a
    // string, too long or names no loadable cursor leaves only its own entry empty.
    void Load();
    // Destroys every loaded image.
    void Free() noexcept;

    // The user's image standing for `cursor`, or `cursor` itself when there is none. Does not
    // change the table, so the frame grabber's thread may call it while the table is still.
    [[nodiscard]] HCURSOR Lookup(HCURSOR cursor) const noexcept;

    // The value names of the entries that hold an image, in table order.
    [[nodiscard]] std::vector<std::string> LoadedNames() const;

private:
    // The standard cursor and settings value each entry stands for come from a fixed list, in
    // the same order.
    struct Entry {
        // Set only while `custom` holds an image.
        HCURSOR standard = nullptr;
        UniqueCursor custom;
    };

    static void LoadEntry(HKEY key, std::size_t index, Entry& entry);

    std::string keyPath_;
    std::array<Entry, kEntryCount> entries_;
};
