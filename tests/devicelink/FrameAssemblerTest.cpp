#include "FrameAssembler.h"

#include <gtest/gtest.h>

#include <vector>

using ZORVI::Communication::FrameAssembler;
using Bytes = std::vector<uint8_t>;

namespace {

// Feeds bytes until a frame completes; returns the frame and how many bytes
// were consumed, or an empty frame when none completed.
Bytes firstFrame(const Bytes& stream, size_t* consumed = nullptr)
{
    FrameAssembler assembler;
    for (size_t i = 0; i < stream.size(); ++i) {
        if (assembler.push(stream[i]) == FrameAssembler::Step::Complete) {
            if (consumed)
                *consumed = i + 1;
            return Bytes(assembler.frame(), assembler.frame() + assembler.length());
        }
    }
    return {};
}

} // namespace

TEST(FrameAssembler, CutsFramesOutOfTheStream)
{
    struct { const char* name; Bytes stream; Bytes frame; size_t consumed; } table[] = {
        {"garbage before start byte",
         {0x00, 0x55, 0xDF, 0xE7, 0xFF, 0xE1, 0x1D}, {0xE1, 0x1D}, 7},
        {"odd second byte ends after two even when more follow",
         {0xE1, 0x1D, 0xE1, 0x3C}, {0xE1, 0x1D}, 2},
        {"body frame ends at first byte + odd second",
         {0xE1, 0x3C, 0x00, 0x10, 0x41, 0x30, 0xE1, 0x3D, 0x99}, {0xE1, 0x3C, 0x00, 0x10, 0x41, 0x30, 0xE1, 0x3D}, 8},
        {"first byte followed by other byte does not close",
         {0xE6, 0x12, 0xE6, 0x12, 0x01, 0xE6, 0x13}, {0xE6, 0x12, 0xE6, 0x12, 0x01, 0xE6, 0x13}, 7},
        {"closing byte without first byte before it does not close",
         {0xE6, 0x12, 0x13, 0x01, 0xE6, 0x13}, {0xE6, 0x12, 0x13, 0x01, 0xE6, 0x13}, 6},
    };
    for (const auto& row : table) {
        size_t consumed = 0;
        EXPECT_EQ(row.frame, firstFrame(row.stream, &consumed)) << row.name;
        EXPECT_EQ(row.consumed, consumed) << row.name;
    }
}

TEST(FrameAssembler, StopsAt8192BytesWithoutClosingPair)
{
    FrameAssembler assembler;
    EXPECT_EQ(FrameAssembler::Step::NeedMore, assembler.push(0xE1));
    EXPECT_EQ(FrameAssembler::Step::NeedMore, assembler.push(0x3C));
    FrameAssembler::Step step = FrameAssembler::Step::NeedMore;
    uint32_t pushed = 2;
    while (step == FrameAssembler::Step::NeedMore && pushed < 10000) {
        step = assembler.push(0x00);
        ++pushed;
    }
    EXPECT_EQ(FrameAssembler::Step::Overflow, step);
    EXPECT_EQ(FrameAssembler::MAX_FRAME_LENGTH, pushed);
    EXPECT_EQ(FrameAssembler::MAX_FRAME_LENGTH, assembler.length());
    EXPECT_EQ(FrameAssembler::Step::Overflow, assembler.push(0xE1));
    EXPECT_EQ(FrameAssembler::MAX_FRAME_LENGTH, assembler.length());
}

TEST(FrameAssembler, ResetStartsAfresh)
{
    FrameAssembler assembler;
    assembler.push(0xE1);
    assembler.push(0x3C);
    assembler.reset();
    EXPECT_EQ(0, assembler.length());
    assembler.push(0xE0);
    EXPECT_EQ(FrameAssembler::Step::Complete, assembler.push(0x2D));
}

// Pushes `count` bytes that start no frame; the step of the last one.
FrameAssembler::Step pushNoise(FrameAssembler& assembler, uint32_t count)
{
    FrameAssembler::Step step = FrameAssembler::Step::NeedMore;
    for (uint32_t i = 0; i < count; ++i)
        step = assembler.push(static_cast<uint8_t>(i % 0xE0));
    return step;
}

TEST(FrameAssembler, GivesUpAfter8192BytesWithoutAStartByte)
{
    FrameAssembler assembler;
    EXPECT_EQ(FrameAssembler::Step::NeedMore,
              pushNoise(assembler, FrameAssembler::MAX_SKIPPED_BYTES - 1));
    EXPECT_EQ(FrameAssembler::Step::NoStart, pushNoise(assembler, 1));
    EXPECT_EQ(0, assembler.length());
    // A reader that keeps listening skips the next run of noise the same way.
    EXPECT_EQ(FrameAssembler::Step::NeedMore,
              pushNoise(assembler, FrameAssembler::MAX_SKIPPED_BYTES - 1));
    EXPECT_EQ(FrameAssembler::Step::NoStart, pushNoise(assembler, 1));
}

TEST(FrameAssembler, ResetStartsTheSkipCountAfresh)
{
    FrameAssembler assembler;
    pushNoise(assembler, FrameAssembler::MAX_SKIPPED_BYTES - 1);
    assembler.reset();
    EXPECT_EQ(FrameAssembler::Step::NeedMore,
              pushNoise(assembler, FrameAssembler::MAX_SKIPPED_BYTES - 1));
    EXPECT_EQ(FrameAssembler::Step::NoStart, pushNoise(assembler, 1));
}
