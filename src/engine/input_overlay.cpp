#include "engine/input_overlay.h"

#include <algorithm>
#include <array>

namespace overlay {

namespace {

// Key codes of the platform's virtual keys, which the hooks report.
constexpr uint32_t kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kShift = 0x10, kControl = 0x11,
                   kMenu = 0x12, kPause = 0x13, kCapital = 0x14, kEscape = 0x1B, kSpace = 0x20,
                   kPrior = 0x21, kSnapshot = 0x2C, kInsert = 0x2D, kDelete = 0x2E, kLWin = 0x5B,
                   kRWin = 0x5C, kApps = 0x5D, kNumpad0 = 0x60, kF1 = 0x70, kF24 = 0x87,
                   kNumLock = 0x90, kScroll = 0x91, kLShift = 0xA0, kRMenu = 0xA5;

// Pressed after `then`, still before or at `now` on a wrapping clock.
bool Since(uint32_t then, uint32_t now, uint32_t within) {
    const uint32_t age = now - then;
    return static_cast<int32_t>(age) >= 0 && age < within;
}
bool Reached(uint32_t then, uint32_t now) {
    return static_cast<int32_t>(now - then) >= 0;
}

// Input that comes faster than frames are taken (a paused tick takes none) is kept to this much.
constexpr size_t kMostKept = 64;

// Named keys that are not typing: shown at kKeysCombinations even without a modifier.
const char* CommandKeyName(uint32_t vk) {
    static constexpr std::array<const char*, 8> kNavigation{
        "Page Up", "Page Down", "End", "Home", "Left", "Up", "Right", "Down"};
    if (vk >= kPrior && vk < kPrior + kNavigation.size())
        return kNavigation[vk - kPrior];
    switch (vk) {
    case kBack:
        return "Backspace";
    case kTab:
        return "Tab";
    case kReturn:
        return "Enter";
    case kEscape:
        return "Esc";
    case kInsert:
        return "Insert";
    case kDelete:
        return "Delete";
    case kSnapshot:
        return "Print Screen";
    case kPause:
        return "Pause";
    case kApps:
        return "Menu";
    default:
        return nullptr;
    }
}

// Typing keys under the names a US keyboard prints on them.
std::string TypingKeyName(uint32_t vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        return std::string(1, static_cast<char>(vk));
    if (vk == kSpace)
        return "Space";
    static constexpr struct {
        uint32_t vk;
        const char* name;
    } kMarks[] = {{0xBA, ";"}, {0xBB, "="}, {0xBC, ","},  {0xBD, "-"}, {0xBE, "."}, {0xBF, "/"},
                  {0xC0, "`"}, {0xDB, "["}, {0xDC, "\\"}, {0xDD, "]"}, {0xDE, "'"}};
    for (const auto& m : kMarks)
        if (m.vk == vk)
            return m.name;
    return {};
}

std::string KeypadKeyName(uint32_t vk) {
    if (vk >= kNumpad0 && vk <= kNumpad0 + 9)
        return "Num " + std::string(1, static_cast<char>('0' + (vk - kNumpad0)));
    static constexpr const char* kSigns[] = {"Num *", "Num +", nullptr, "Num -", "Num .", "Num /"};
    if (vk >= kNumpad0 + 10 && vk <= kNumpad0 + 15 && kSigns[vk - kNumpad0 - 10])
        return kSigns[vk - kNumpad0 - 10];
    return {};
}

bool IsModifierKey(uint32_t vk) {
    return vk == kShift || vk == kControl || vk == kMenu || vk == kLWin || vk == kRWin ||
           (vk >= kLShift && vk <= kRMenu) || vk == kCapital || vk == kNumLock || vk == kScroll;
}

} // namespace

std::string KeyName(uint32_t vk, uint32_t modifiers, int32_t level) {
    if (level <= kKeysOff || IsModifierKey(vk))
        return {};
    std::string name;
    bool command = true;
    if (vk >= kF1 && vk <= kF24) {
        name = "F" + std::to_string(vk - kF1 + 1);
    } else if (const char* c = CommandKeyName(vk)) {
        name = c;
    } else if (name = KeypadKeyName(vk); name.empty()) {
        name = TypingKeyName(vk);
        command = false;
    } else {
        command = false; // the keypad types digits too
    }
    if (name.empty())
        return {};
    // Shift with a typing key is a capital letter or a mark, not a shortcut.
    const bool shortcut = (modifiers & (modifier::Control | modifier::Alt | modifier::Win)) != 0;
    if (!command && !shortcut && level < kKeysAll)
        return {};
    std::string text;
    if (modifiers & modifier::Control)
        text += "Ctrl+";
    if (modifiers & modifier::Alt)
        text += "Alt+";
    if (modifiers & modifier::Shift)
        text += "Shift+";
    if (modifiers & modifier::Win)
        text += "Win+";
    return text + name;
}

void Timeline::Press(Button button, int32_t x, int32_t y, uint32_t ms) {
    // A button cannot go down twice: a release the hook never saw ends the dot here.
    Release(button, ms);
    if (presses_.size() >= kMostKept)
        presses_.pop_front();
    presses_.push_back({{x, y, button}, ms, std::nullopt});
}

void Timeline::Release(Button button, uint32_t ms) {
    for (auto it = presses_.rbegin(); it != presses_.rend(); ++it)
        if (it->ring.button == button && !it->upMs) {
            it->upMs = ms;
            return;
        }
}

void Timeline::Key(std::string name, uint32_t ms) {
    if (strokes_.size() >= kMostKept)
        strokes_.pop_front();
    strokes_.push_back({std::move(name), ms});
}

Scene Timeline::At(uint32_t ms) {
    // Forgotten: rings ended and released, names gone by. A press still held stays.
    while (!presses_.empty() && presses_.front().upMs && Reached(*presses_.front().upMs, ms) &&
           !Since(presses_.front().downMs, ms, kRingMs))
        presses_.pop_front();
    while (!strokes_.empty() && Reached(strokes_.front().ms, ms) &&
           !Since(strokes_.front().ms, ms, kKeyMs))
        strokes_.pop_front();

    Scene scene;
    for (const Press_& p : presses_) {
        if (!Reached(p.downMs, ms))
            continue;
        if (Since(p.downMs, ms, kRingMs))
            scene.rings.push_back(p.ring);
        const bool down = !p.upMs || !Reached(*p.upMs, ms);
        if (down &&
            std::find(scene.held.begin(), scene.held.end(), p.ring.button) == scene.held.end())
            scene.held.push_back(p.ring.button);
    }
    for (const Stroke& s : strokes_)
        if (Since(s.ms, ms, kKeyMs))
            scene.keys.push_back(s.name);
    if (scene.keys.size() > kMostKeys)
        scene.keys.erase(scene.keys.begin(), scene.keys.end() - static_cast<ptrdiff_t>(kMostKeys));
    return scene;
}

void Timeline::Clear() {
    presses_.clear();
    strokes_.clear();
}

} // namespace overlay
