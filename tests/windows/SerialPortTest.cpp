// The port on the real Win32 serial functions, as wine gives them for a
// pseudo-terminal with the simulated KORLINK adapter behind it.

#include "SimulatedDevice.h"

#include "Control.h"
#include "Packet.h"
#include "Protocol.h"
#include "SerialWin.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::Communication::Packet;
using ZORVI::Communication::Serial::SerialWin;

namespace {

constexpr uint32_t PORT_NAME_BUFFER = 250; // what the programs pass
constexpr int KORLINK_MODE = 1;            // 115200 8N1, as the controller opens
constexpr uint32_t PROBE_LENGTH = sizeof Control::INTERFACE_PROBE;

class PortList : public SimulatedDevice {
protected:
    PortList() : SimulatedDevice(nullptr) {}
};

class FirmwarePort : public SimulatedDevice {
protected:
    FirmwarePort() : SimulatedDevice("firmware") {}

    void SetUp() override
    {
        SimulatedDevice::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(serial.open(port(), KORLINK_MODE)) << serial.openError();
    }

    // The adapter echoes the probe; nothing else answers it.
    void writeProbe()
    {
        uint32_t written = 0;
        ASSERT_TRUE(serial.write(Control::INTERFACE_PROBE, PROBE_LENGTH, &written));
        ASSERT_EQ(written, PROBE_LENGTH);
    }

    SerialWin serial;
};

std::vector<std::string> listedPorts(uint32_t bufferSize)
{
    SerialWin neverOpened;
    std::vector<std::string> ports;
    std::vector<char> name(bufferSize);
    for (uint32_t index = 0; index < 256; ++index) {
        std::fill(name.begin(), name.end(), '\0');
        if (!neverOpened.enumeratePort(index, name.data(), bufferSize))
            break;
        ports.emplace_back(name.data(), strnlen(name.data(), bufferSize));
    }
    return ports;
}

TEST_F(PortList, TheMappedPortIsListedFromSerialcomm)
{
    const std::vector<std::string> ports = listedPorts(PORT_NAME_BUFFER);
    const auto ours = std::find(ports.begin(), ports.end(), port());
    ASSERT_NE(ours, ports.end()) << "listed: " << ::testing::PrintToString(ports);

    // A name that does not fit the caller's buffer ends the list there.
    const std::vector<std::string> cut = listedPorts(static_cast<uint32_t>(std::strlen(port())));
    EXPECT_LE(cut.size(), static_cast<size_t>(ours - ports.begin()));
}

TEST_F(PortList, AnUnknownPortDoesNotOpenAndSendsNothing)
{
    SerialWin serial;
    EXPECT_FALSE(serial.open("COM199", KORLINK_MODE));
    EXPECT_FALSE(serial.isOpen());
    Packet request;
    request.setDestination(Packet::ADDRESS_FIRMWARE);
    request.setSource(Packet::ADDRESS_HOST);
    request.setCommand(ZORVI::Protocol::COMMAND_DEVICE_INFO);
    EXPECT_FALSE(serial.sendPacket(request));
    EXPECT_EQ(serial.receivePacket(), nullptr);
}

struct ReadCase {
    const char* name;
    bool probeEchoed;
    uint32_t readLength;
    uint32_t expectedCount;
    long long minMs;
    long long maxMs;
};

// Read interval 50 ms, total 10 ms per byte plus 2500 ms.
const ReadCase READ_CASES[] = {
    {"OneByteThatArrivedReturnsAtOnce", true, 1, 1, 0, 300},
    {"EchoReturnsOneIntervalAfterItsLastByte", true, 256, PROBE_LENGTH, 30, 1500},
    {"SilenceEndsAOneByteReadAfter2510ms", false, 1, 0, 2400, 3800},
    {"SilenceEndsA256ByteReadAfter5060ms", false, 256, 0, 4900, 6800},
};

void PrintTo(const ReadCase& c, std::ostream* out)
{
    *out << c.name;
}

class ReadTimeouts : public FirmwarePort, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadTimeouts, FollowTheCommTimeouts)
{
    const ReadCase& c = GetParam();
    if (c.probeEchoed)
        writeProbe();
    std::vector<uint8_t> buffer(c.readLength, 0);
    uint32_t count = 12345;
    const auto start = Clock::now();
    ASSERT_TRUE(serial.read(buffer.data(), c.readLength, &count));
    const long long elapsed = millisecondsSince(start);

    ASSERT_EQ(count, c.expectedCount);
    EXPECT_EQ(0, std::memcmp(buffer.data(), Control::INTERFACE_PROBE, count));
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LE(elapsed, c.maxMs);
}

INSTANTIATE_TEST_SUITE_P(Firmware, ReadTimeouts, ::testing::ValuesIn(READ_CASES),
                         [](const ::testing::TestParamInfo<ReadCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(FirmwarePort, PurgeDiscardsBytesThatArrived)
{
    writeProbe();
    uint8_t buffer[PROBE_LENGTH] = {};
    uint32_t count = 0;
    // The first byte proves the echo is in; the next two are still queued.
    ASSERT_TRUE(serial.read(buffer, 1, &count));
    ASSERT_EQ(count, 1u);
    ASSERT_TRUE(serial.read(buffer, 2, &count));
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(0, std::memcmp(buffer, Control::INTERFACE_PROBE + 1, 2));

    serial.purge();
    const auto start = Clock::now();
    ASSERT_TRUE(serial.read(buffer, 1, &count));
    EXPECT_EQ(count, 0u) << "the rest of the echo survived the purge";
    EXPECT_GE(millisecondsSince(start), 2400);
}

TEST_F(FirmwarePort, EchoedRequestIsFollowedByTheAnswerFrame)
{
    Packet request;
    request.setDestination(Packet::ADDRESS_FIRMWARE);
    request.setSource(Packet::ADDRESS_HOST);
    request.setCommand(ZORVI::Protocol::COMMAND_DEVICE_INFO);
    ASSERT_TRUE(serial.sendPacket(request));

    std::unique_ptr<Packet> answer(serial.receivePacket());
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->destination(), Packet::ADDRESS_HOST);
    EXPECT_EQ(answer->source(), Packet::ADDRESS_FIRMWARE);
    EXPECT_EQ(answer->command(), ZORVI::Protocol::COMMAND_DEVICE_INFO);
    EXPECT_EQ(answer->payloadLength(), 26u);
}

// A pseudo-terminal has no modem lines: wine fails the status call with
// ERROR_NOT_SUPPORTED. The flags must read as all off, and the failure must
// be reported.
TEST_F(FirmwarePort, UnreadableModemLinesClearAllFlagsAndFail)
{
    uint8_t flags[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    EXPECT_FALSE(serial.getModemLines(flags));
    EXPECT_EQ(std::vector<uint8_t>(flags, flags + 4), std::vector<uint8_t>(4, 0));
    // Driving the lines goes through the port's control block, which the
    // port does keep.
    EXPECT_TRUE(serial.setDTR(true));
    EXPECT_TRUE(serial.setDTR(false));
    EXPECT_TRUE(serial.setRTS(false));
}

} // namespace
