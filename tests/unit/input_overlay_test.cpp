#include "engine/input_overlay.h"

#include <gtest/gtest.h>

namespace {

using namespace overlay;

TEST(KeyName, NamesCombinationsAndLeavesTypingOutUnlessAskedFor) {
    constexpr uint32_t C = modifier::Control, A = modifier::Alt, S = modifier::Shift,
                       W = modifier::Win;
    struct Case {
        uint32_t vk, mods;
        int32_t level;
        const char* name;
    } const cases[] = {
        {'S', C | S, kKeysCombinations, "Ctrl+Shift+S"},
        {0x73, A, kKeysCombinations, "Alt+F4"},
        {0x09, A, kKeysCombinations, "Alt+Tab"},
        {0x74, 0, kKeysCombinations, "F5"},
        {0x87, 0, kKeysCombinations, "F24"},
        {0x25, S, kKeysCombinations, "Shift+Left"},
        {0x2E, C | A, kKeysCombinations, "Ctrl+Alt+Delete"},
        {'D', W, kKeysCombinations, "Win+D"},
        {0xBB, C, kKeysCombinations, "Ctrl+="},
        {0x65, C, kKeysCombinations, "Ctrl+Num 5"},
        {0x6B, C, kKeysCombinations, "Ctrl+Num +"},
        // Typing: letters, digits, Shift with them, space, marks, the keypad's digits.
        {'A', 0, kKeysCombinations, ""},
        {'A', S, kKeysCombinations, ""},
        {'7', 0, kKeysCombinations, ""},
        {0x20, 0, kKeysCombinations, ""},
        {0xBE, S, kKeysCombinations, ""},
        {0x65, 0, kKeysCombinations, ""},
        {'A', 0, kKeysAll, "A"},
        {'A', S, kKeysAll, "Shift+A"},
        {0x65, 0, kKeysAll, "Num 5"},
        // Modifiers alone, keys without a name, and nothing at all when off.
        {0x11, C, kKeysAll, ""},
        {0xA0, S, kKeysAll, ""},
        {0x5B, W, kKeysAll, ""},
        {0xE7, C, kKeysAll, ""},
        {'S', C, kKeysOff, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeyName(c.vk, c.mods, c.level), c.name) << c.vk << " " << c.mods;
}

TEST(Timeline, ShowsOnlyWhatHappenedByTheMomentForItsTimeAcrossTheClocksWrap) {
    for (const uint32_t base : {1000u, 0xFFFFFF00u}) {
        SCOPED_TRACE(base);
        Timeline t;
        t.Press(Button::Left, 10, 20, base + 100);
        t.Release(Button::Left, base + 150);
        t.Key("Ctrl+S", base + 200);
        t.Press(Button::Right, 30, 40, base + 300);
        EXPECT_TRUE(t.At(base + 99).Empty()) << "nothing before it happened";

        Scene s = t.At(base + 120);
        EXPECT_EQ(s.rings, (std::vector<Ring>{{10, 20, Button::Left}}));
        EXPECT_EQ(s.held, std::vector<Button>{Button::Left});
        EXPECT_TRUE(s.keys.empty());

        s = t.At(base + 310);
        EXPECT_EQ(s.rings, (std::vector<Ring>{{10, 20, Button::Left}, {30, 40, Button::Right}}));
        EXPECT_EQ(s.held, std::vector<Button>{Button::Right}) << "the left one was let go";
        EXPECT_EQ(s.keys, std::vector<std::string>{"Ctrl+S"});

        // The left ring has gone; the right button, still down, keeps its dot after its ring.
        s = t.At(base + 100 + kRingMs);
        EXPECT_EQ(s.rings, (std::vector<Ring>{{30, 40, Button::Right}}));
        s = t.At(base + 300 + kRingMs + 500);
        EXPECT_TRUE(s.rings.empty());
        EXPECT_EQ(s.held, std::vector<Button>{Button::Right});
        EXPECT_EQ(s.keys, std::vector<std::string>{"Ctrl+S"});
        EXPECT_TRUE(t.At(base + 200 + kKeyMs).keys.empty());

        // A second press of a button whose release was never seen ends the first one's dot.
        t.Press(Button::Right, 50, 60, base + 3000);
        t.Release(Button::Right, base + 3010);
        EXPECT_TRUE(t.At(base + 3020).held.empty());
    }
}

TEST(Timeline, KeepsTheNewestFewKeysOldestFirst) {
    Timeline t;
    for (int i = 0; i < 5; ++i)
        t.Key("F" + std::to_string(i + 1), 100 + 10 * i);
    EXPECT_EQ(t.At(200).keys, (std::vector<std::string>{"F3", "F4", "F5"}));
    t.Clear();
    EXPECT_TRUE(t.At(200).Empty());
}

} // namespace
