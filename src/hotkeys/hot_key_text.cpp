#include "hotkeys/hot_key_text.h"

namespace {
constexpr uint32_t kModAlt = 1, kModControl = 2, kModShift = 4;
constexpr uint32_t kFlagShift = 1, kFlagControl = 2, kFlagAlt = 4;
} // namespace

uint32_t ModToHotKeyFlags(uint32_t mod) noexcept {
    return ((mod & kModAlt) ? kFlagAlt : 0) | ((mod & kModControl) ? kFlagControl : 0) |
           ((mod & kModShift) ? kFlagShift : 0);
}

uint32_t HotKeyFlagsToMod(uint32_t flags) noexcept {
    return ((flags & kFlagAlt) ? kModAlt : 0) | ((flags & kFlagControl) ? kModControl : 0) |
           ((flags & kFlagShift) ? kModShift : 0);
}

std::string DescribeHotKey(const ModifierTexts& texts, uint32_t hotKeyFlags,
                           const std::string& keyName, bool hasKey, const std::string& noKey) {
    if (!hasKey)
        return noKey;
    std::string text;
    if (hotKeyFlags & kFlagControl)
        text += texts.ctrl;
    if (hotKeyFlags & kFlagShift)
        text += texts.shift;
    if (hotKeyFlags & kFlagAlt)
        text += texts.alt;
    return text + keyName;
}
