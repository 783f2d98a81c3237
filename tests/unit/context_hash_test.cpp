#include "helpc/context_hash.h"

#include <gtest/gtest.h>

namespace {

using helpc::ContextHash;

TEST(ContextHashTest, AddsEachCharactersValueTimes43) {
    EXPECT_EQ(ContextHash("a"), 17);
    EXPECT_EQ(ContextHash("Z"), 42);
    EXPECT_EQ(ContextHash("1"), 1);
    EXPECT_EQ(ContextHash("0"), 10);
    EXPECT_EQ(ContextHash("."), 12);
    EXPECT_EQ(ContextHash("_"), 13);
    EXPECT_EQ(ContextHash("ab"), 17 * 43 + 18);
    EXPECT_EQ(ContextHash("region_tab"), ContextHash("REGION_TAB"));
    EXPECT_NE(ContextHash("ab"), ContextHash("ba"));
}

TEST(ContextHashTest, LongIdsWrapModulo2To32) {
    // Computed apart in 64 bits; the compiler's own arithmetic must not overflow a signed type.
    const std::string id = "a_very_long_context_string_that_overflows_many_times.2";
    std::uint64_t h = 0;
    for (char c : id) {
        const std::uint64_t v = c == '_' ? 13 : c == '.' ? 12 : c == '2' ? 2 : c - 'a' + 17;
        h = (h * 43 + v) & 0xFFFFFFFFu;
    }
    EXPECT_EQ(static_cast<std::uint32_t>(ContextHash(id)), h);
}

TEST(ContextHashTest, OnlyLettersDigitsUnderscoreAndDotMakeAnId) {
    EXPECT_TRUE(helpc::IsValidContextId("hot_keys.2"));
    EXPECT_FALSE(helpc::IsValidContextId(""));
    EXPECT_FALSE(helpc::IsValidContextId("hot keys"));
    EXPECT_FALSE(helpc::IsValidContextId("hot-keys"));
    EXPECT_FALSE(helpc::IsValidContextId("caf\xc3\xa9"));
}

} // namespace
