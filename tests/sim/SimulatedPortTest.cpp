// The in-process port: the real device controller over the simulator engine
// with no terminal in between. What crossed is read from the link's record
// of packets, what the device holds from its parameter table.

#include "Control.h"
#include "DeviceInfo.h"
#include "FrameBytes.h"
#include "Packet.h"
#include "Protocol.h"
#include "SimulatedLink.h"
#include "SimulatedPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using ZORVI::Control;
using ZORVI::DeviceInfo;
using ZORVI::LinkFailure;
using ZORVI::Communication::Packet;
using ZORVI::Protocol::COMMAND_MODE;
using ZORVI::Protocol::COMMAND_RECORD;
using ZORVI::Simulator::SimulatedLink;
using ZORVI::Simulator::SimulatedPort;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using Way = SimulatedLink::Crossing::Way;

// The packet a frame holds.
std::unique_ptr<Packet> decoded(const Bytes& frame)
{
    auto packet = std::make_unique<Packet>();
    EXPECT_TRUE(packet->decode(frame.data(), static_cast<uint16_t>(frame.size()), true));
    return packet;
}

// A link and a controller on a port onto it; the link outlives the port.
struct Bench {
    explicit Bench(const std::vector<std::string>& arguments = {})
        : link(arguments)
        , control(std::make_unique<SimulatedPort>(link))
    {
    }

    SimulatedLink link;
    Control control;
};

TEST(SimulatedPort, OpensByTheLinksNameOnlyAndListsIt)
{
    Bench bench({"--name", "COM42"});
    ASSERT_TRUE(bench.link.isReady()) << bench.link.error();
    EXPECT_FALSE(bench.control.testInterface("COM41"));
    EXPECT_EQ(bench.control.lastOpenFailure(),
              ZORVI::Communication::Serial::SerialBase::OpenFailure::NoSuchPort);
    EXPECT_FALSE(bench.control.lastOpenError().empty());

    SimulatedPort port(bench.link);
    char name[32] = {};
    ASSERT_TRUE(port.enumeratePort(0, name, sizeof name));
    EXPECT_STREQ(name, "COM42");
    EXPECT_FALSE(port.enumeratePort(1, name, sizeof name));
    EXPECT_FALSE(port.enumeratePort(0, name, 5)) << "no room for the name";
}

TEST(SimulatedPort, OpensExclusivelyUntilClosed)
{
    Bench bench;
    Control other(std::make_unique<SimulatedPort>(bench.link));
    const char* name = bench.link.portName().c_str();
    ASSERT_TRUE(bench.control.testInterface(name));
    EXPECT_FALSE(other.testInterface(name));
    EXPECT_EQ(other.lastOpenFailure(),
              ZORVI::Communication::Serial::SerialBase::OpenFailure::InUse);
    bench.control.close();
    EXPECT_TRUE(other.testInterface(name));
}

TEST(SimulatedPort, AnUnpluggedAdapterNeitherOpensNorTakesBytes)
{
    Bench bench;
    const char* name = bench.link.portName().c_str();
    ASSERT_TRUE(bench.control.testInterface(name));
    bench.link.unplug();
    DeviceInfo info;
    EXPECT_FALSE(bench.control.queryDeviceInfo(&info));
    EXPECT_EQ(bench.control.lastFailure(), LinkFailure::WriteFailed);
    bench.control.close();
    EXPECT_FALSE(bench.control.testInterface(name));
    EXPECT_EQ(bench.control.lastOpenFailure(),
              ZORVI::Communication::Serial::SerialBase::OpenFailure::NoSuchPort);
    bench.link.plugIn();
    EXPECT_TRUE(bench.control.testInterface(name));
    EXPECT_TRUE(bench.link.packets().empty());
}

TEST(SimulatedPort, TheAdapterEchoesTheProbeAndLoopsDtrBack)
{
    Bench bench;
    bool echo = false;
    bool lines = false;
    ASSERT_TRUE(bench.control.testInterface(bench.link.portName().c_str(), &echo, &lines));
    EXPECT_TRUE(echo);
    EXPECT_TRUE(lines);
    EXPECT_TRUE(bench.link.packets().empty()) << "the probe is no frame";
}

TEST(SimulatedPort, ADeviceInfoQueryCrossesAsOneRequestAndOneAnswer)
{
    Bench bench({"--app-version", "3.1.9"});
    ASSERT_TRUE(bench.control.testInterface(bench.link.portName().c_str()));
    DeviceInfo info;
    ASSERT_TRUE(bench.control.queryDeviceInfo(&info));
    EXPECT_EQ(info.applicationVersionText(), "3.1.9");

    const std::vector<SimulatedLink::Crossing>& packets = bench.link.packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].way, Way::ToDevice);
    EXPECT_EQ(packets[0].destination, Packet::ADDRESS_FIRMWARE);
    EXPECT_EQ(packets[0].source, Packet::ADDRESS_HOST);
    EXPECT_TRUE(packets[0].payload.empty());
    EXPECT_EQ(packets[1].way, Way::ToHost);
    EXPECT_EQ(packets[1].destination, Packet::ADDRESS_HOST);
    EXPECT_EQ(packets[1].command, packets[0].command);
    // The versions lead the answer as they are; the serial number arrives
    // reversed and the controller turns it round.
    const Bytes& answer = packets[1].payload;
    ASSERT_EQ(answer.size(), info.bytes.size());
    EXPECT_TRUE(std::equal(answer.begin(), answer.begin() + DeviceInfo::SERIAL_OFFSET,
                           info.bytes.begin()));
    for (size_t k = 0; k < DeviceInfo::SERIAL_LENGTH; ++k)
        EXPECT_EQ(answer[DeviceInfo::SERIAL_OFFSET + k],
                  info.bytes[DeviceInfo::SERIAL_OFFSET + DeviceInfo::SERIAL_LENGTH - 1 - k])
            << k;
}

TEST(SimulatedPort, WrittenParametersReachTheDevicesTable)
{
    Bench bench;
    ASSERT_TRUE(bench.control.testInterface(bench.link.portName().c_str()));
    const uint16_t addresses[] = {0x0011, 0x0061};
    const uint16_t values[] = {100, 0xFFFF};
    ASSERT_TRUE(bench.control.writeParameters(addresses, values, 2));

    const std::vector<SimulatedLink::Crossing> writes = bench.link.requests(4);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].payload, (Bytes{0x82, 0x00, 0x11, 0x00, 0x64, 0x00, 0x61, 0xFF, 0xFF}));
    int32_t torqueDirection = 0;
    ASSERT_TRUE(bench.link.value(0x1174, torqueDirection));
    EXPECT_EQ(torqueDirection, -1);
    std::unique_ptr<uint16_t[]> word(bench.control.readValues(0x0011, 1));
    ASSERT_TRUE(word);
    EXPECT_EQ(word[0], 100);
}

// ---- faults, as the host meets them ---------------------------------------

struct FaultCase {
    const char* name;
    std::vector<std::string> arguments;
    LinkFailure failure;
    size_t requestsSent; // the request goes out again only when no echo came
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.name;
}

class SimulatedPortFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimulatedPortFaults, NameTheFailureWithoutWaitingOutTheLine)
{
    const FaultCase& c = GetParam();
    Bench bench(c.arguments);
    ASSERT_TRUE(bench.link.isReady()) << bench.link.error();
    ASSERT_TRUE(bench.control.testInterface(bench.link.portName().c_str()));
    const auto linkStart = bench.link.now();
    const auto start = Clock::now();
    DeviceInfo info;
    EXPECT_FALSE(bench.control.queryDeviceInfo(&info));
    EXPECT_EQ(bench.control.lastFailure(), c.failure);
    EXPECT_EQ(bench.link.requestCount(), c.requestsSent);
    // The link's clock moved on by the serial port's waits; the test did not.
    const auto realTime = Clock::now() - start;
    const auto linkTime = bench.link.now() - linkStart;
    if (c.failure == LinkFailure::NoEcho || c.failure == LinkFailure::NoAnswer) {
        EXPECT_GE(linkTime - realTime, std::chrono::milliseconds(2500));
    }
    EXPECT_LT(realTime, std::chrono::milliseconds(2000));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimulatedPortFaults,
    ::testing::Values(FaultCase{"no_echo", {"--no-echo", "--no-answer"}, LinkFailure::NoEcho, 3},
                      FaultCase{"corrupt_echo", {"--corrupt-echo"}, LinkFailure::WrongEcho, 1},
                      FaultCase{"no_answer", {"--no-answer"}, LinkFailure::NoAnswer, 1},
                      FaultCase{"bad_crc", {"--bad-crc"}, LinkFailure::BadCrc, 1},
                      // Later than the serial port's read waits for it.
                      FaultCase{"answer_after_the_read_time_out", {"--answer-delay", "3000"},
                                LinkFailure::NoAnswer, 1}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// A slow device: the port's wait for each answer moves the link's clock on
// by the delay, up to the read time-out (2510 ms), while the test waits for
// nothing.
class SimulatedPortAnswerDelay : public ::testing::TestWithParam<int> {};

TEST_P(SimulatedPortAnswerDelay, EachAnswerCostsTheDelayOnTheLinksClockOnly)
{
    const std::chrono::milliseconds delay(GetParam());
    Bench bench({"--answer-delay", std::to_string(GetParam())});
    ASSERT_TRUE(bench.control.testInterface(bench.link.portName().c_str()));
    const auto linkStart = bench.link.now();
    const auto waitedBefore = bench.link.waited();
    const auto start = Clock::now();

    DeviceInfo info;
    ASSERT_TRUE(bench.control.queryDeviceInfo(&info));
    std::unique_ptr<uint16_t[]> words(bench.control.readValues(0x0010, 2));
    ASSERT_TRUE(words);
    EXPECT_EQ(words[1], 50);

    // Each answer arrived no earlier than its delay; the waits let pass no
    // more than the delays (the real time in between counts towards them).
    const auto realTime = Clock::now() - start;
    EXPECT_GE(bench.link.now() - linkStart, 2 * delay);
    EXPECT_LE(bench.link.waited() - waitedBefore, 2 * delay);
    EXPECT_LT(realTime, std::chrono::milliseconds(2000));
}

INSTANTIATE_TEST_SUITE_P(Delays, SimulatedPortAnswerDelay, ::testing::Values(0, 300, 2500),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "ms" + std::to_string(info.param);
                         });

// As on the serial port, an answer that comes after the read gave up is
// dropped with what the next request purges: the host does not take it for
// the answer to that request.
TEST(SimulatedPort, AnAnswerAfterTheReadTimeOutIsPurgedByTheNextRequest)
{
    Bench bench({"--answer-delay", "3000"});
    ASSERT_TRUE(bench.control.testInterface(bench.link.portName().c_str()));
    DeviceInfo info;
    EXPECT_FALSE(bench.control.queryDeviceInfo(&info));
    EXPECT_EQ(bench.control.lastFailure(), LinkFailure::NoAnswer);
    ASSERT_EQ(bench.link.packets().size(), 1u);

    bench.control.sleep(1000);
    ASSERT_EQ(bench.link.packets().size(), 2u) << "the late answer arrived meanwhile";
    EXPECT_EQ(bench.link.packets()[1].way, Way::ToHost);
    EXPECT_FALSE(bench.control.queryDeviceInfo(&info));
    EXPECT_EQ(bench.control.lastFailure(), LinkFailure::NoAnswer);
}

TEST(SimulatedPort, SleepingMovesTheLinksClockNotTheTests)
{
    Bench bench;
    const auto linkStart = bench.link.now();
    const auto start = Clock::now();
    bench.control.sleep(60000);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_GE(bench.link.now() - linkStart, std::chrono::milliseconds(60000));
}

// The device ends a transfer once its records have stopped for the restart
// delay: the host's wait lets that time pass on the link's clock only.
TEST(SimulatedPort, WaitingLetsTheDevicesTimersRunOut)
{
    using Mode = ZORVI::Simulator::DeviceSimulator::Mode;
    SimulatedLink link({"--restart-delay", "60000"});
    ASSERT_TRUE(link.isReady()) << link.error();
    SimulatedPort port(link);
    ASSERT_TRUE(port.open(link.portName().c_str(), 1));
    for (const Bytes& request :
         {FrameBytes::request(Packet::ADDRESS_RECOVERY, COMMAND_MODE, {'B'}),
          FrameBytes::request(Packet::ADDRESS_RECOVERY, COMMAND_RECORD, {0x00, 0x04, 0x01, 0x02})}) {
        ASSERT_TRUE(port.sendPacket(*decoded(request)));
        std::unique_ptr<Packet> answer(port.receivePacket());
        ASSERT_TRUE(answer);
    }
    ASSERT_EQ(link.device().mode(), Mode::Receiving);

    const auto start = Clock::now();
    port.sleep(59000);
    EXPECT_EQ(link.device().mode(), Mode::Receiving) << "not yet due";
    port.sleep(2000);
    EXPECT_NE(link.device().mode(), Mode::Receiving);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(SimulatedPort, AClosedPortSendsNothing)
{
    Bench bench;
    DeviceInfo info;
    EXPECT_FALSE(bench.control.queryDeviceInfo(&info));
    EXPECT_EQ(bench.control.lastFailure(), LinkFailure::NotOpen);
    EXPECT_TRUE(bench.link.packets().empty());
}

TEST(SimulatedLink, RefusedArgumentsSayWhy)
{
    SimulatedLink link({"--bogus"});
    EXPECT_FALSE(link.isReady());
    EXPECT_NE(link.error().find("--bogus"), std::string::npos) << link.error();
}

} // namespace
