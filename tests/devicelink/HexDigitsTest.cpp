#include "HexDigits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

using ZORVI::HexDigits;

TEST(HexDigits, ValueOfEveryCharacter)
{
    // Every byte value and EOF: the 22 digits have their place in the row
    // of digits; everything else is none.
    const std::string lower = "0123456789abcdef";
    const std::string upper = "0123456789ABCDEF";
    int digits = 0;
    for (int c = -1; c < 256; ++c) {
        SCOPED_TRACE(c);
        const size_t inLower = lower.find(static_cast<char>(c));
        const size_t inUpper = upper.find(static_cast<char>(c));
        const size_t place = c < 0 ? std::string::npos : std::min(inLower, inUpper);
        const int expected = place == std::string::npos ? -1 : static_cast<int>(place);
        EXPECT_EQ(HexDigits::value(c), expected);
        digits += HexDigits::value(c) >= 0;
    }
    EXPECT_EQ(digits, 22);
    EXPECT_EQ(HexDigits::value(EOF), -1);
}

TEST(HexDigits, EdgesOfTheRanges)
{
    const struct {
        int character;
        int value;
    } table[] = {
        {'0', 0},  {'9', 9},  {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},
        {'/', -1}, {':', -1}, {'`', -1}, {'g', -1}, {'@', -1}, {'G', -1},
        {'x', -1}, {' ', -1}, {0, -1},   {0xB0, -1},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::string(1, static_cast<char>(row.character)));
        EXPECT_EQ(HexDigits::value(row.character), row.value);
    }
}

TEST(HexDigits, DigitOfTheLowNibbleReadsBack)
{
    const std::string lower = "0123456789abcdef";
    const std::string upper = "0123456789ABCDEF";
    for (unsigned nibble = 0; nibble < 16; ++nibble) {
        SCOPED_TRACE(nibble);
        EXPECT_EQ(HexDigits::digit(nibble), lower[nibble]);
        EXPECT_EQ(HexDigits::digit(nibble, true), upper[nibble]);
        // Only the low four bits count: a whole byte gives its low digit.
        EXPECT_EQ(HexDigits::digit(0xA0 | nibble), lower[nibble]);
        EXPECT_EQ(HexDigits::value(HexDigits::digit(nibble, true)), static_cast<int>(nibble));
    }
}
