#include "helpc/btree.h"

#include "help_reader.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using helpc::Bytes;
using helpc::GetU16;

struct Tree {
    Bytes bytes;
    std::vector<std::string> names;
};

// A directory-like tree of `count` names, each naming its own number as the value.
Tree Directory(int count, std::uint16_t page_size) {
    Tree t;
    std::vector<helpc::BTreeEntry> entries;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "|bm%05d", i);
        t.names.push_back(name);
        helpc::BTreeEntry e;
        helpc::PutStringZ(e.key, name);
        helpc::PutU32(e.value, static_cast<std::uint32_t>(i));
        entries.push_back(e);
    }
    t.bytes = helpc::BuildBTree({0x0402, page_size, "z4"}, entries);
    return t;
}

std::optional<std::uint32_t> Find(const Bytes& tree, const std::string& name) {
    Bytes key(name.begin(), name.end());
    key.push_back(0);
    auto zlen = [](const Bytes& t, std::size_t p) {
        std::size_t n = 0;
        while (t.at(p + n) != 0)
            ++n;
        return n + 1;
    };
    auto less = [](const Bytes& a, const Bytes& b) { return a < b; };
    const auto at = help_reader::BTreeFind(tree, 0, key, zlen, less, 4);
    if (!at)
        return std::nullopt;
    return helpc::GetU32(tree, *at);
}

TEST(BTreeTest, EveryEntryIsFoundWhateverTheNumberOfLevels) {
    // 78 names fill a 1 KiB leaf, the 79th needs a second leaf and an index page; in 64-byte pages
    // index pages fill too and further levels hold them.
    const struct {
        int count;
        std::uint16_t page_size;
        int levels;
    } cases[] = {{1, 1024, 1}, {78, 1024, 1}, {79, 1024, 2}, {40, 64, 3}, {400, 64, 4}};
    for (const auto& c : cases) {
        const Tree t = Directory(c.count, c.page_size);
        SCOPED_TRACE(std::to_string(c.count) + " entries in pages of " +
                     std::to_string(c.page_size));
        EXPECT_EQ(GetU16(t.bytes, 0), 0x293Bu);
        EXPECT_EQ(GetU16(t.bytes, 32), static_cast<std::uint32_t>(c.levels));
        EXPECT_EQ(helpc::GetU32(t.bytes, 34), static_cast<std::uint32_t>(c.count));
        const std::size_t pages = GetU16(t.bytes, 30);
        EXPECT_EQ(t.bytes.size(), 38 + pages * c.page_size);
        for (int i = 0; i < c.count; ++i)
            ASSERT_EQ(Find(t.bytes, t.names[i]), static_cast<std::uint32_t>(i)) << t.names[i];
        EXPECT_EQ(Find(t.bytes, "|bm"), std::nullopt);
        EXPECT_EQ(Find(t.bytes, "|zz"), std::nullopt);
    }
}

TEST(BTreeTest, LeavesAreChainedInKeyOrderAndCountTheirFreeBytes) {
    const Tree t = Directory(200, 128);
    const std::size_t page_size = 128;
    // Down the first children to the first leaf, then along the chain.
    std::uint32_t page = GetU16(t.bytes, 26);
    for (std::uint32_t level = 1; level < GetU16(t.bytes, 32); ++level)
        page = GetU16(t.bytes, 38 + page * page_size + 4);
    std::vector<std::string> seen;
    std::uint32_t previous = 0xFFFF;
    while (page != 0xFFFF) {
        const std::size_t p = 38 + page * page_size;
        EXPECT_EQ(GetU16(t.bytes, p + 4), previous);
        std::size_t at = p + 8;
        for (std::uint32_t i = 0; i < GetU16(t.bytes, p + 2); ++i) {
            seen.emplace_back(reinterpret_cast<const char*>(&t.bytes[at]));
            at += seen.back().size() + 1 + 4;
        }
        EXPECT_EQ(GetU16(t.bytes, p), p + page_size - at) << "free bytes of page " << page;
        previous = page;
        page = GetU16(t.bytes, p + 6);
    }
    EXPECT_EQ(seen, t.names);
}

TEST(BTreeTest, AnEntryLargerThanAPageIsRefused) {
    helpc::BTreeEntry e;
    helpc::PutStringZ(e.key, std::string(70, 'x'));
    helpc::PutU32(e.value, 1);
    EXPECT_THROW((void)helpc::BuildBTree({0x0402, 64, "z4"}, {e}), helpc::CompileError);
    EXPECT_NO_THROW((void)helpc::BuildBTree({0x0402, 1024, "z4"}, {e}));
}

} // namespace
