#include "framework/text_format.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatTextTest, FillsPlaceholdersInOrder) {
    EXPECT_EQ(FormatText("Please enter an integer between %d and %d.", {"0", "100"}),
              "Please enter an integer between 0 and 100.");
    EXPECT_EQ(FormatText("Could not set up the recording %s", {"(Open AVI)"}),
              "Could not set up the recording (Open AVI)");
    EXPECT_EQ(FormatText("%i frames, %u dropped", {"120", "3"}), "120 frames, 3 dropped");
}

TEST(FormatTextTest, AWrongFormatCannotReadPastTheArguments) {
    EXPECT_EQ(FormatText("%d of %d of %s", {"1"}), "1 of  of ");
    EXPECT_EQ(FormatText("only text", {"unused"}), "only text");
}

TEST(FormatTextTest, KeepsOtherPercentSequences) {
    EXPECT_EQ(FormatText("100%% done", {}), "100% done");
    EXPECT_EQ(FormatText("%x and %5d and trailing %", {"a"}), "%x and %5d and trailing %");
}

TEST(FormatTextTest, ArgumentsAreNotFormatsThemselves) {
    EXPECT_EQ(FormatText("name: %s", {"50%d"}), "name: 50%d");
}

} // namespace
