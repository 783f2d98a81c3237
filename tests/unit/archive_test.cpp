#include "framework/archive.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(Archive, IntegersAndBytesComeBackInOrderAsLittleEndian) {
    ArchiveWriter w;
    w.WriteInt32(0x01020304);
    w.WriteInt32(-2);
    const char text[] = {'a', 'b', 'c'};
    w.WriteBytes(text, sizeof text);
    w.WriteBytes(nullptr, 0);
    const std::vector<uint8_t> expected = {4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c'};
    EXPECT_EQ(w.Bytes(), expected);

    ArchiveReader r(w.Bytes());
    int32_t a = 0;
    int32_t b = 0;
    char back[3] = {};
    ASSERT_TRUE(r.ReadInt32(a));
    ASSERT_TRUE(r.ReadInt32(b));
    ASSERT_TRUE(r.ReadBytes(back, sizeof back));
    EXPECT_EQ(a, 0x01020304);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(std::vector<char>(back, back + 3), std::vector<char>(text, text + 3));
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_TRUE(r.Ok());
}

TEST(Archive, ReadingPastTheEndFailsForGood) {
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6};
    ArchiveReader r(bytes);
    int32_t v = 0;
    ASSERT_TRUE(r.ReadInt32(v));
    EXPECT_FALSE(r.ReadInt32(v)); // two bytes left
    EXPECT_FALSE(r.Ok());
    uint8_t one = 0;
    EXPECT_FALSE(r.ReadBytes(&one, 1)); // would fit, but the archive is already bad
}

TEST(Archive, ListsKeepTheirCountAndRefuseImpossibleCounts) {
    ArchiveWriter w;
    const std::vector<int32_t> items = {7, 8, 9};
    w.WriteList(items, [](ArchiveWriter& a, int32_t item) { a.WriteInt32(item); });
    ArchiveReader r(w.Bytes());
    std::vector<int32_t> back;
    EXPECT_TRUE(r.ReadList([&back](ArchiveReader& a) {
        int32_t item = 0;
        const bool ok = a.ReadInt32(item);
        back.push_back(item);
        return ok;
    }));
    EXPECT_EQ(back, items);

    for (const int32_t count : {-1, 1000}) {
        ArchiveWriter bad;
        bad.WriteInt32(count);
        bad.WriteInt32(0);
        ArchiveReader reader(bad.Bytes());
        int calls = 0;
        EXPECT_FALSE(reader.ReadList([&calls](ArchiveReader&) { return ++calls > 0; })) << count;
        EXPECT_EQ(calls, 0) << "no item is read for a count the data cannot hold";
        EXPECT_FALSE(reader.Ok());
    }

    // An item the loader refuses fails the list.
    ArchiveReader refused(w.Bytes());
    EXPECT_FALSE(refused.ReadList([](ArchiveReader&) { return false; }));
    EXPECT_FALSE(refused.Ok());
}

} // namespace
