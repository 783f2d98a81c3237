#pragma once
// What a frame shows of the presenter's input: a ring where a mouse button went down, a dot
// while it is held, and the key combinations just pressed, in a box at the lower edge. The
// input arrives on a thread of its own and is drawn by the grabber at each tick; this is the
// part that decides what is shown when, and what a key is called, without the platform.

#include "engine/recording_options.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace overlay {

enum class Button : uint8_t { Left, Right, Middle };

// How long a ring stays after its press, and a key's name after its press.
inline constexpr uint32_t kRingMs = 330;
inline constexpr uint32_t kKeyMs = 1500;
// Key names shown at once; an older one gives way to a newer.
inline constexpr size_t kMostKeys = 3;

// What ShowKeys asks for.
inline constexpr int32_t kKeysOff = 0;
inline constexpr int32_t kKeysCombinations = 1; // with Ctrl, Alt or Win; function, navigation...
inline constexpr int32_t kKeysAll = 2;          // ...and plain letters and digits

// The name a key pressed with `modifiers` (the hot keys' bits, and modifier::Win) is shown under
// ("Ctrl+Shift+S", "F5", "Num 5"), or nothing when `level` does not show it: modifiers alone,
// typing (letters, digits, space and punctuation, with or without Shift) below kKeysAll, keys
// without a name.
std::string KeyName(uint32_t virtualKey, uint32_t modifiers, int32_t level);

struct Ring {
    int32_t x = 0, y = 0; // on the screen
    Button button = Button::Left;
    bool operator==(const Ring&) const = default;
};

// What a frame taken at a moment shows.
struct Scene {
    std::vector<Ring> rings;
    std::vector<Button> held;      // drawn as dots at the pointer
    std::vector<std::string> keys; // oldest first
    [[nodiscard]] bool Empty() const noexcept {
        return rings.empty() && held.empty() && keys.empty();
    }
};

// The input of the last moments, in the order it came, on a millisecond clock that may wrap.
// Not thread-safe: its owner locks.
class Timeline {
public:
    void Press(Button button, int32_t x, int32_t y, uint32_t ms);
    void Release(Button button, uint32_t ms);
    void Key(std::string name, uint32_t ms);
    // What shows at `ms`: only what happened by then. Forgets what no later moment can show.
    Scene At(uint32_t ms);
    void Clear();

private:
    struct Press_ {
        Ring ring;
        uint32_t downMs = 0;
        std::optional<uint32_t> upMs;
    };
    struct Stroke {
        std::string name;
        uint32_t ms = 0;
    };
    std::deque<Press_> presses_;
    std::deque<Stroke> strokes_;
};

} // namespace overlay
