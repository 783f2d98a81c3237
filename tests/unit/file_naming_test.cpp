#include "engine/file_naming.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// A disk holding the given names, files or directories alike (the caller's predicate counts both
// as taken); it counts the look-ups.
struct FakeDisk {
    std::set<std::string> taken;
    int lookups = 0;
    std::function<bool(const std::string&)> Exists() {
        return [this](const std::string& name) {
            ++lookups;
            return taken.count(name) != 0;
        };
    }
};

} // namespace

TEST(EnsureAviExtension, AppendsUnlessTheLastFiveCharactersHoldIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "capture.avi"},
        {"movie", "movie.avi"},
        {"a.avi.bak", "a.avi.bak.avi"},
        {"MOVIE.AVI", "MOVIE.AVI"},
        {"x.avi", "x.avi"},
        {".avi", ".avi"},
        {"clip.Avi ", "clip.Avi "}, // still within the last five
        {"avi", "avi.avi"},
        {"d:\\rec.avi\\shot", "d:\\rec.avi\\shot.avi"},
    };
    for (const auto& [in, want] : cases)
        EXPECT_EQ(EnsureAviExtension(in), want) << '"' << in << '"';
}

TEST(NextFreeFileName, CountsFromTheNamesOwnNumberAndKeepsTheExtension) {
    struct Case {
        std::string name;
        std::set<std::string> taken;
        std::string want;
    };
    const Case cases[] = {
        {"clip.avi", {}, "clip0001.avi"},
        {"clip.avi", {"clip0001.avi", "clip0002.avi"}, "clip0003.avi"},
        {"clip0003.avi", {}, "clip0003.avi"},
        {"clip0003.avi", {"clip0003.avi"}, "clip0004.avi"},
        // Free lower numbers are not gone back to.
        {"clip0005.avi", {"clip0005.avi"}, "clip0006.avi"},
        {"clip7.avi", {}, "clip0007.avi"},
        {"take0.avi", {}, "take0001.avi"},
        {"take0000.avi", {"take0001.avi"}, "take0002.avi"},
        // Leading zeros are part of the number, however many there are.
        {"clip0000000000000000000000007.avi", {}, "clip0007.avi"},
        {"clip9999.avi", {}, "clip9999.avi"},
        // Dots in directory names are not extensions; separators stop the number.
        {"d:\\rec.old\\shot.avi", {}, "d:\\rec.old\\shot0001.avi"},
        {"d:\\rec.old\\shot", {}, "d:\\rec.old\\shot0001"},
        {"d:/rec.old/shot", {}, "d:/rec.old/shot0001"},
        {"d:\\rec2\\5.avi", {}, "d:\\rec2\\0005.avi"},
        {"d:7", {}, "d:0007"},
        {"12.avi", {}, "0012.avi"},
        {"a.tar.avi", {}, "a.tar0001.avi"},
        // A name that is all extension keeps it.
        {".avi", {}, "0001.avi"},
        {"d:\\rec\\.avi", {}, "d:\\rec\\0001.avi"},
    };
    for (const auto& c : cases) {
        FakeDisk disk{c.taken};
        const NextFileNameResult got = NextFreeFileName(c.name, disk.Exists());
        EXPECT_EQ(got.error, NamingError::None) << c.name;
        EXPECT_EQ(got.name, c.want) << c.name;
    }
}

TEST(NextFreeFileName, SuccessiveRecordingsEachGetANewFile) {
    FakeDisk disk{{"clip0002.avi"}};
    std::string name = "clip.avi";
    const std::vector<std::string> want = {"clip0001.avi", "clip0003.avi", "clip0004.avi"};
    for (const std::string& expected : want) {
        const NextFileNameResult got = NextFreeFileName(name, disk.Exists());
        ASSERT_EQ(got.name, expected);
        name = got.name;
        disk.taken.insert(name);
    }
}

TEST(NextFreeFileName, RefusesRatherThanOverwriteOrOverrun) {
    struct Case {
        std::string name;
        NamingError want;
        bool searched; // whether the disk was asked at all
    };
    const std::string base251(251, 'n');
    const Case cases[] = {
        {"clip10000.avi", NamingError::NumberTooLarge, false},
        {"clip2147483648.avi", NamingError::NumberTooLarge, false},
        {"clip99999999999999999999999999.avi", NamingError::NumberTooLarge, false},
        {std::string(5000, '9'), NamingError::NumberTooLarge, false},
        {base251 + "x.avi", NamingError::TooLong, false},
        {std::string(5000, 'n') + ".avi", NamingError::TooLong, false},
        {"clip." + std::string(300, 'x'), NamingError::TooLong, false},
        // The last number taken: nothing is left to count to.
        {"clip9999.avi", NamingError::NoFreeNumber, true},
    };
    for (const auto& c : cases) {
        FakeDisk disk{{"clip9999.avi"}};
        const NextFileNameResult got = NextFreeFileName(c.name, disk.Exists());
        EXPECT_EQ(got.error, c.want) << c.name.substr(0, 40);
        EXPECT_TRUE(got.name.empty()) << c.name.substr(0, 40);
        EXPECT_EQ(disk.lookups > 0, c.searched) << c.name.substr(0, 40);
    }

    // Exactly the longest name that fits: 251 + 4 digits + ".avi" = 259.
    FakeDisk empty;
    EXPECT_EQ(NextFreeFileName(base251 + ".avi", empty.Exists()).name, base251 + "0001.avi");
}

TEST(NextFreeFileName, EveryNumberTakenEndsWithoutAName) {
    int lookups = 0;
    const NextFileNameResult got = NextFreeFileName("clip.avi", [&](const std::string&) {
        ++lookups;
        return true;
    });
    EXPECT_EQ(got.error, NamingError::NoFreeNumber);
    EXPECT_TRUE(got.name.empty());
    EXPECT_EQ(lookups, 9999);
}
