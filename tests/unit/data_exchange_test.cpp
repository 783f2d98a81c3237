#include "framework/data_exchange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ParseIntTest, AcceptsSignedDecimalWithSurroundingBlanks) {
    EXPECT_EQ(ParseInt("42"), 42);
    EXPECT_EQ(ParseInt("  -20\t"), -20);
    EXPECT_EQ(ParseInt("+7"), 7);
    EXPECT_EQ(ParseInt("-0"), 0);
    EXPECT_EQ(ParseInt("007"), 7);
    EXPECT_EQ(ParseInt("\r\n 5 \n"), 5);
}

TEST(ParseIntTest, RefusesAnythingButOneNumber) {
    for (const char* text : {"", "   ", "-", "+", "12abc", "abc", "1 2", "- 5", "1.0", "1e3",
                             "0x10", "--1", "+-1", "5-"}) {
        EXPECT_FALSE(ParseInt(text)) << '"' << text << '"';
    }
}

TEST(ParseIntTest, KeepsToTheThirtyTwoBitRange) {
    EXPECT_EQ(ParseInt("2147483647"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ParseInt("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_FALSE(ParseInt("2147483648"));
    EXPECT_FALSE(ParseInt("-2147483649"));
    EXPECT_FALSE(ParseInt("99999999999999999999999999"));
    EXPECT_EQ(ParseInt("0000000000000000000000000012"), 12);
}

TEST(ParseDoubleTest, AcceptsDecimalNotation) {
    EXPECT_EQ(ParseDouble("7.5"), 7.5);
    EXPECT_EQ(ParseDouble(" 15 "), 15.0);
    EXPECT_EQ(ParseDouble("1e3"), 1000.0);
    EXPECT_EQ(ParseDouble("2.5E-1"), 0.25);
    EXPECT_EQ(ParseDouble("-.5"), -0.5);
    EXPECT_EQ(ParseDouble("3."), 3.0);
    EXPECT_EQ(ParseDouble("+1e+2"), 100.0);
}

TEST(ParseDoubleTest, RefusesNonFiniteAndMalformedText) {
    for (const char* text :
         {"", " ", "nan", "NaN", "inf", "-inf", "infinity", "0x1p3", "12abc", ".", "-", "1e", "1e+",
          "e3", "1.2.3", "1,5", "1 e3", "1e999", "-1e999"}) {
        EXPECT_FALSE(ParseDouble(text)) << '"' << text << '"';
    }
}

TEST(ParseDoubleTest, NegativeZeroReadsAsZero) {
    const auto value = ParseDouble("-0");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, 0.0);
    EXPECT_FALSE(std::signbit(*value));
}

TEST(ParseDoubleTest, TinyValuesUnderflowToAFiniteNumber) {
    const auto value = ParseDouble("1e-400");
    ASSERT_TRUE(value);
    EXPECT_GE(*value, 0.0);
    EXPECT_LT(*value, 1e-300);
}

TEST(FormatDoubleTest, ShowsUpToFifteenSignificantDigits) {
    EXPECT_EQ(FormatDouble(10.0), "10");
    EXPECT_EQ(FormatDouble(7.5), "7.5");
    EXPECT_EQ(FormatDouble(0.1), "0.1");
    EXPECT_EQ(FormatDouble(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatDouble(-0.0), "0");
    EXPECT_EQ(FormatDouble(1e20), "1e+20");
}

TEST(FormatDoubleTest, WhatItShowsReadsBackToTheSameValue) {
    for (double value : {0.0, 10.0, 29.97, -12.125, 123456789012345.0, 1e-5}) {
        EXPECT_EQ(ParseDouble(FormatDouble(value)), value) << value;
    }
}

} // namespace
