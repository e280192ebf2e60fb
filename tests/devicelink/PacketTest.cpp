#include "FrameBytes.h"
#include "Packet.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

using ZORVI::Communication::Packet;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes payloadOf(const Packet& packet)
{
    return Bytes(packet.payload(), packet.payload() + packet.payloadLength());
}

} // namespace

TEST(Crc16, CheckValues)
{
    const std::string abc = "abc";
    const std::string digits = "123456789";
    EXPECT_EQ(0x18E3, Packet::crc16(reinterpret_cast<const uint8_t*>(abc.data()), 3));
    EXPECT_EQ(0xB2B4, Packet::crc16(reinterpret_cast<const uint8_t*>(digits.data()), 9));
    EXPECT_EQ(0, Packet::crc16(nullptr, 0));

    const Bytes withCrc = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0xB2, 0xB4};
    EXPECT_EQ(0, Packet::crc16(withCrc.data(), static_cast<uint16_t>(withCrc.size())));
}

struct FrameExample {
    const char* name;
    int32_t destination;
    int32_t source;
    uint8_t command;
    Bytes payload;
    Bytes frame;
};

void PrintTo(const FrameExample& example, std::ostream* out)
{
    *out << example.name;
}

class PacketFrames : public ::testing::TestWithParam<FrameExample> {};

TEST_P(PacketFrames, EncodesAndDecodesBothWays)
{
    const FrameExample& example = GetParam();
    Packet packet;
    ASSERT_TRUE(FrameBytes::fill(packet, example.destination, example.source, example.command,
                                 example.payload));
    EXPECT_EQ(example.frame, FrameBytes::of(packet));

    Packet decoded;
    ASSERT_TRUE(decoded.decode(example.frame.data(), static_cast<uint16_t>(example.frame.size()),
                               true));
    EXPECT_EQ(example.destination, decoded.destination());
    EXPECT_EQ(example.source, decoded.source());
    EXPECT_EQ(example.command, decoded.command());
    EXPECT_EQ(example.payload, payloadOf(decoded));
}

INSTANTIATE_TEST_SUITE_P(
    WireExamples, PacketFrames,
    ::testing::Values(
        FrameExample{"DeviceInfoQuery", 1, 6, 1, {}, {0xE1, 0x1D}},
        FrameExample{"RecoveryQuery", 0, 6, 2, {}, {0xE0, 0x2D}},
        FrameExample{"ReadOneWord", 1, 6, 3, {0x00, 0x10},
                     {0xE1, 0x3C, 0x00, 0x10, 0x41, 0x30, 0xE1, 0x3D}},
        FrameExample{"FirmwareAnswerEscaped", 6, 1, 1, {0xE3},
                     {0xE6, 0x12, 0xE7, 0x03, 0x8F, 0x20, 0xE6, 0x13}},
        FrameExample{"NoCrcBetweenRecoveryAndHost", 0, 6, 2, {0x52},
                     {0xE0, 0x2C, 0x52, 0xE0, 0x2D}},
        FrameExample{"ModeRequestToRecovery", 0, 6, 0, {0x42}, {0xE0, 0x0C, 0x42, 0xE0, 0x0D}}),
    [](const ::testing::TestParamInfo<FrameExample>& info) { return info.param.name; });

TEST(Packet, EscapesEveryStuffedByteIncludingCrcBytes)
{
    Packet packet;
    const Bytes payload = {0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xDF, 0xE8};
    ASSERT_TRUE(FrameBytes::fill(packet, 1, 6, 4, payload));
    const Bytes frame = FrameBytes::of(packet);
    ASSERT_GE(frame.size(), 4u);
    for (size_t i = 2; i + 2 < frame.size(); ++i)
        EXPECT_FALSE(frame[i] >= 0xE0 && frame[i] <= 0xE6) << "start byte in body at " << i;

    Packet decoded;
    ASSERT_TRUE(decoded.decode(frame.data(), static_cast<uint16_t>(frame.size()), true));
    EXPECT_EQ(payload, payloadOf(decoded));

    // Find a one-byte payload whose CRC has a byte in E0..E7 and check it is escaped too.
    for (int value = 0; value < 256; ++value) {
        const uint8_t byte = static_cast<uint8_t>(value);
        const uint16_t crc = Packet::crc16(&byte, 1);
        const uint8_t high = crc >> 8, low = crc & 0xFF;
        if (!((high >= 0xE0 && high <= 0xE7) || (low >= 0xE0 && low <= 0xE7)))
            continue;
        Packet crcPacket;
        ASSERT_TRUE(FrameBytes::fill(crcPacket, 6, 1, 3, {byte}));
        const Bytes crcFrame = FrameBytes::of(crcPacket);
        for (size_t i = 2; i + 2 < crcFrame.size(); ++i)
            EXPECT_FALSE(crcFrame[i] >= 0xE0 && crcFrame[i] <= 0xE6);
        Packet back;
        ASSERT_TRUE(back.decode(crcFrame.data(), static_cast<uint16_t>(crcFrame.size()), true));
        EXPECT_EQ(Bytes{byte}, payloadOf(back));
        return;
    }
    FAIL() << "no one-byte payload with a stuffed CRC byte";
}

TEST(Packet, InvalidCommandMakesPacketUnencodable)
{
    Packet packet;
    packet.setDestination(1);
    packet.setSource(6);
    EXPECT_FALSE(packet.setCommand(16));
    EXPECT_EQ(Packet::COMMAND_INVALID, packet.command());
    EXPECT_TRUE(FrameBytes::of(packet).empty());
    EXPECT_TRUE(packet.setCommand(15));
    EXPECT_EQ((Bytes{0xE1, 0xFD}), FrameBytes::of(packet));
}

TEST(Packet, UnsetAddressesMakePacketUnencodable)
{
    Packet packet;
    packet.setCommand(1);
    EXPECT_TRUE(FrameBytes::of(packet).empty());
    packet.setDestination(1);
    EXPECT_TRUE(FrameBytes::of(packet).empty());
}

TEST(Packet, AddressCodes)
{
    struct { uint8_t code; int32_t address; } table[] = {
        {0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 255}, {5, 255}, {6, 6}, {7, 255}, {15, 255}};
    for (const auto& row : table) {
        Packet packet;
        packet.setDestinationCode(row.code);
        packet.setSourceCode(row.code);
        EXPECT_EQ(row.address, packet.destination()) << int(row.code);
        EXPECT_EQ(row.address, packet.source()) << int(row.code);
    }
    EXPECT_EQ(0xFF, Packet::addressCode(4));
    EXPECT_EQ(0xFF, Packet::addressCode(255));
    EXPECT_EQ(3, Packet::addressCode(3));
}

struct RefusedFrame {
    const char* name;
    Bytes frame;
    bool headerSet; // refused after the header fields were taken (a CRC failure)
};

void PrintTo(const RefusedFrame& row, std::ostream* out)
{
    *out << row.name;
}

class PacketRefusals : public ::testing::TestWithParam<RefusedFrame> {};

TEST_P(PacketRefusals, AreRefused)
{
    const RefusedFrame& row = GetParam();
    Packet packet;
    EXPECT_FALSE(packet.decode(row.frame.data(), static_cast<uint16_t>(row.frame.size()), true));
    EXPECT_EQ(nullptr, packet.payload());
    EXPECT_EQ(0, packet.payloadLength());
    if (row.headerSet) {
        EXPECT_EQ(6, packet.destination());
        EXPECT_EQ(1, packet.source());
    } else {
        EXPECT_EQ(Packet::ADDRESS_INVALID, packet.destination());
        EXPECT_EQ(Packet::COMMAND_INVALID, packet.command());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, PacketRefusals,
    ::testing::Values(
        RefusedFrame{"TwoBytesEvenSecond", {0xE1, 0x1C}, false},
        RefusedFrame{"LongFrameOddOpening", {0xE1, 0x3D, 0x00, 0xE1, 0x3D}, false},
        RefusedFrame{"ClosingPairMismatch", {0xE1, 0x3C, 0x00, 0x10, 0xE2, 0x3D}, false},
        RefusedFrame{"WrongCrc", {0xE6, 0x12, 0xE7, 0x03, 0x8F, 0x21, 0xE6, 0x13}, true},
        RefusedFrame{"BodyShorterThanCrc", {0xE6, 0x12, 0x05, 0xE6, 0x13}, true},
        RefusedFrame{"OnlyEscapeByte", {0xE6, 0x12, 0xE7, 0xE6, 0x13}, true},
        RefusedFrame{"OneByte", {0xE1}, false}),
    [](const ::testing::TestParamInfo<RefusedFrame>& info) { return info.param.name; });

TEST(Packet, CrcFailureDropsAnEarlierPayload)
{
    Packet packet;
    const Bytes old = {1, 2, 3};
    packet.setPayload(old.data(), 3, false);
    const Bytes frame = {0xE6, 0x12, 0xE7, 0x03, 0x8F, 0x21, 0xE6, 0x13};
    EXPECT_FALSE(packet.decode(frame.data(), static_cast<uint16_t>(frame.size()), true));
    EXPECT_EQ(nullptr, packet.payload());
}

TEST(Packet, FourByteFrameHasNoPayload)
{
    Packet packet;
    const Bytes frame = {0xE6, 0x12, 0xE6, 0x13};
    ASSERT_TRUE(packet.decode(frame.data(), 4, true));
    EXPECT_EQ(nullptr, packet.payload());
    EXPECT_EQ(1, packet.command());
}

TEST(Packet, UnescapeRules)
{
    struct { Bytes in; Bytes out; } table[] = {
        {{0xE7, 0x03}, {0xE3}},
        {{0x01, 0xE7}, {0x01}},             // trailing escape dropped
        {{0xE7, 0xE7, 0x05}, {0xE5}},       // two escapes count as one
        {{0xE7, 0x0F}, {0xEF}},             // low nibble OR E0
        {{0x10, 0x20}, {0x10, 0x20}},
    };
    for (const auto& row : table) {
        uint16_t length = 0;
        std::unique_ptr<uint8_t[]> out(
            Packet::unescape(row.in.data(), static_cast<uint16_t>(row.in.size()), &length));
        ASSERT_TRUE(out);
        EXPECT_EQ(row.out, Bytes(out.get(), out.get() + length));
    }
    uint16_t length = 7;
    EXPECT_EQ(nullptr, Packet::unescape(nullptr, 0, &length));
    EXPECT_EQ(0, length);
    EXPECT_EQ(nullptr, Packet::escape(nullptr, 0, &length));
}

TEST(Packet, PayloadCopiesAndEmptyPayloads)
{
    Packet packet;
    uint16_t length = 5;
    EXPECT_EQ(nullptr, packet.copyPayload(&length));
    EXPECT_EQ(0, length);

    EXPECT_TRUE(packet.setPayload(nullptr, 0, false));
    const Bytes onlyEscape = {0xE7};
    EXPECT_FALSE(packet.setPayload(onlyEscape.data(), 1, true));
    EXPECT_EQ(nullptr, packet.payload());

    const Bytes data = {9, 8, 7};
    ASSERT_TRUE(packet.setPayload(data.data(), 3, false));
    std::unique_ptr<uint8_t[]> copy(packet.copyPayload(&length));
    ASSERT_EQ(3, length);
    EXPECT_EQ(data, Bytes(copy.get(), copy.get() + 3));
}

TEST(Packet, FramesBeyond65535BytesAreNotEncoded)
{
    Packet packet;
    // 40000 stuffed bytes escape to 80000 bytes: too long for a frame.
    const Bytes payload(40000, 0xE1);
    ASSERT_TRUE(FrameBytes::fill(packet, 0, 6, 1, payload));
    EXPECT_TRUE(FrameBytes::of(packet).empty());

    const Bytes fits(65531, 0x11);
    ASSERT_TRUE(FrameBytes::fill(packet, 0, 6, 1, fits));
    EXPECT_EQ(65535u, FrameBytes::of(packet).size());
    const Bytes tooLong(65532, 0x11);
    ASSERT_TRUE(FrameBytes::fill(packet, 0, 6, 1, tooLong));
    EXPECT_TRUE(FrameBytes::of(packet).empty());
}
