#include "BigEndian.h"

#include <gtest/gtest.h>

#include <vector>

using ZORVI::BigEndian;
using Bytes = std::vector<uint8_t>;

// The high byte comes first; bytes with the top bit set must not spill into
// the sign or into a neighbour.
TEST(BigEndian, WordsReadAndWrittenHighByteFirst)
{
    const struct {
        const char* name;
        Bytes bytes;
        uint16_t word;
    } table[] = {
        {"Zero", {0x00, 0x00}, 0x0000},
        {"LowByteOnly", {0x00, 0x7F}, 0x007F},
        {"HighByteOnly", {0x12, 0x00}, 0x1200},
        {"Ordered", {0x12, 0x34}, 0x1234},
        {"TopBitsSet", {0xFF, 0x80}, 0xFF80},
        {"All", {0xFF, 0xFF}, 0xFFFF},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(BigEndian::read16(row.bytes.data()), row.word);
        uint8_t written[3] = {0xAA, 0xAA, 0xAA};
        BigEndian::write16(row.word, written);
        EXPECT_EQ(Bytes(written, written + 2), row.bytes);
        EXPECT_EQ(written[2], 0xAA) << "nothing written past the word";
        Bytes appended = {0x5A};
        BigEndian::append16(appended, row.word);
        Bytes expected = {0x5A};
        expected.insert(expected.end(), row.bytes.begin(), row.bytes.end());
        EXPECT_EQ(appended, expected);
    }
}

TEST(BigEndian, LongWordsReadHighByteFirst)
{
    const struct {
        const char* name;
        Bytes bytes;
        uint32_t value;
    } table[] = {
        {"Zero", {0x00, 0x00, 0x00, 0x00}, 0x00000000u},
        {"Ordered", {0x12, 0x34, 0x56, 0x78}, 0x12345678u},
        {"TopBitSet", {0x80, 0x00, 0x00, 0x01}, 0x80000001u},
        {"All", {0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu},
        {"HeaderLength22", {0x00, 0x00, 0x00, 0x16}, 22u},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(BigEndian::read32(row.bytes.data()), row.value);
    }
}
