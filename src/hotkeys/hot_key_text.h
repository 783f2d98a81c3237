#pragma once
// Hot-key modifiers in the two encodings the platform uses, and the text shown for a binding.

#include <cstdint>
#include <string>

// RegisterHotKey's MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4 and the hot-key control's
// HOTKEYF_SHIFT 1, HOTKEYF_CONTROL 2, HOTKEYF_ALT 4: Alt and Shift trade places.
uint32_t ModToHotKeyFlags(uint32_t mod) noexcept;
// Flags the registration does not know (the extended-key flag 8) are dropped.
uint32_t HotKeyFlagsToMod(uint32_t flags) noexcept;

struct ModifierTexts {
    std::string ctrl, shift, alt;
};
// Ctrl, then Shift, then Alt, then the key's name, joined without separators of our own (the
// prefixes carry their own). A binding without a key shows `noKey`.
std::string DescribeHotKey(const ModifierTexts& texts, uint32_t hotKeyFlags,
                           const std::string& keyName, bool hasKey, const std::string& noKey);
