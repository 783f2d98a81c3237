#include "hotkeys/hot_key_text.h"

#include <gtest/gtest.h>

TEST(HotKeyText, ModifierEncodingsSwapAltAndShiftAndDropTheRest) {
    EXPECT_EQ(ModToHotKeyFlags(1), 4u); // Alt
    EXPECT_EQ(ModToHotKeyFlags(2), 2u); // Ctrl
    EXPECT_EQ(ModToHotKeyFlags(4), 1u); // Shift
    EXPECT_EQ(ModToHotKeyFlags(7), 7u);
    for (uint32_t mod = 0; mod < 8; ++mod)
        EXPECT_EQ(HotKeyFlagsToMod(ModToHotKeyFlags(mod)), mod);
    EXPECT_EQ(HotKeyFlagsToMod(8), 0u);     // extended key
    EXPECT_EQ(HotKeyFlagsToMod(8 | 1), 4u); // extended + Shift
}

TEST(HotKeyText, DescriptionOrderIsCtrlShiftAltThenKey) {
    const ModifierTexts texts{"Ctrl+", "Shift+", "Alt+"};
    EXPECT_EQ(DescribeHotKey(texts, 1 | 2, "F7", true, "None"), "Ctrl+Shift+F7");
    EXPECT_EQ(DescribeHotKey(texts, 1 | 2 | 4, "A", true, "None"), "Ctrl+Shift+Alt+A");
    EXPECT_EQ(DescribeHotKey(texts, 4, "Home", true, "None"), "Alt+Home");
    EXPECT_EQ(DescribeHotKey(texts, 0, "F2", true, "None"), "F2");
    EXPECT_EQ(DescribeHotKey(texts, 2, "F2", false, "None"), "None");
}
