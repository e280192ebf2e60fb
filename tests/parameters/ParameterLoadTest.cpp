// Reading the device's parameters once, right after connecting, against the
// simulated device inside the test's process: how many requests a load of
// all of them takes for several device tables, what a parameter the device
// does not have becomes, and that a device falling quiet ends the load at
// the first request it leaves unanswered.

#include "Control.h"
#include "ParameterIds.h"
#include "ParameterMemory.h"
#include "SimulatedLink.h"
#include "SerialWin.h"
#include "SimulatedPort.h"
#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::DeviceInfo;
using ZORVI::LinkFailure;
using ZORVI::Communication::Serial::SerialWin;
using ZORVI::EEPROM::ParameterMemory;
using ZORVI::Simulator::SimulatedLink;
using ZORVI::Simulator::SimulatedPort;
namespace Id = ZORVI::EEPROM;

namespace {

constexpr uint8_t DESCRIPTORS = 2;
constexpr uint8_t READ_VALUES = 3;

// The simulated device connected as the programs connect (echo, device
// information, handshake); the packets so far are forgotten.
class ConnectedDevice {
public:
    explicit ConnectedDevice(const std::vector<std::string>& arguments)
        : m_link(arguments)
    {
        if (!m_link.isReady())
            return;
        m_control = std::make_unique<Control>(std::make_unique<SimulatedPort>(m_link));
        bool echo = false;
        DeviceInfo info;
        m_ready = m_control->testInterface(m_link.portName().c_str(), &echo) && echo
            && m_control->queryDeviceInfo(&info)
            && m_control->handshake(info.tokenHigh(), info.tokenLow());
        m_link.forgetPackets();
    }

    bool isReady() const { return m_ready; }
    std::string error() const { return m_link.error(); }
    Control& control() { return *m_control; }
    SimulatedLink& link() { return m_link; }

private:
    SimulatedLink m_link;
    std::unique_ptr<Control> m_control;
    bool m_ready = false;
};

ParameterMemory memoryOf(Control& control)
{
    return ParameterMemory(&control, false, ParameterMemory::DEFAULT_ID_RUN,
                           ParameterMemory::DEFAULT_ADDRESS_RUN);
}

struct TableCase {
    const char* name;
    std::vector<std::string> simArguments;
    size_t descriptorRequests;
    size_t valueRequests;
    std::vector<uint16_t> notOffered;
};

void PrintTo(const TableCase& tableCase, std::ostream* out)
{
    *out << tableCase.name;
}

// The factory table's 29 IDs lie in ten windows of 16 IDs, and their words
// (0x10 .. 0x64) in one read of at most 127.
const TableCase TABLE_CASES[] = {
    {"factory table", {}, 10, 1, {}},
    // The firmware has no tail asymmetry: its ID is still asked for (only
    // the device knows), and answered as unknown.
    {"a parameter missing", {"--without", "0x1180"}, 10, 1, {Id::TailAsymmetry}},
    {"a parameter far from the others", {"--address", "0x1180=0x0200"}, 10, 2, {}},
    {"two parameters missing in one window",
     {"--without", "0x1154", "--without", "0x1158"}, 10, 1,
     {Id::HeadingLockGainID, Id::HeadingLockGain}},
};

class LoadRequests : public testing::TestWithParam<TableCase> {};

TEST_P(LoadRequests, ReadsEveryParameterOnceInTheFewestRequests)
{
    const TableCase& tableCase = GetParam();
    ConnectedDevice device(tableCase.simArguments);
    ASSERT_TRUE(device.isReady()) << device.error();
    ParameterMemory memory(&device.control(), false, ParameterMemory::DEFAULT_ID_RUN,
                           ParameterMemory::DEFAULT_ADDRESS_RUN);

    std::vector<std::pair<size_t, size_t>> progress;
    ASSERT_TRUE(memory.loadAll([&](size_t done, size_t total) { progress.push_back({done, total}); }));

    EXPECT_EQ(device.link().requests(DESCRIPTORS).size(), tableCase.descriptorRequests);
    EXPECT_EQ(device.link().requests(READ_VALUES).size(), tableCase.valueRequests);
    EXPECT_EQ(device.link().requestCount(),
              tableCase.descriptorRequests + tableCase.valueRequests)
        << "descriptors and values only";
    ASSERT_EQ(progress.size(), tableCase.descriptorRequests + tableCase.valueRequests);
    EXPECT_EQ(progress.back().first, progress.back().second) << "the bar ends full";

    for (const Id::ParameterName& parameter : Id::PARAMETER_NAMES) {
        const bool missing = std::find(tableCase.notOffered.begin(), tableCase.notOffered.end(),
                                       parameter.id)
            != tableCase.notOffered.end();
        bool ok = false;
        const int value = memory.getValue(parameter.id, &ok);
        EXPECT_EQ(memory.isOffered(parameter.id), !missing) << parameter.name;
        EXPECT_EQ(ok, !missing) << parameter.name;
        int32_t held = 0;
        if (!missing && device.link().value(parameter.id, held)) {
            EXPECT_EQ(value, held) << parameter.name;
        }
    }

    // Everything is in memory now: reading it again asks nothing, and a
    // parameter the device does not have is not asked for again either.
    const size_t before = device.link().requestCount();
    EXPECT_TRUE(memory.loadAll());
    for (const Id::ParameterName& parameter : Id::PARAMETER_NAMES)
        memory.getValue(parameter.id);
    EXPECT_EQ(device.link().requestCount(), before);
}

INSTANTIATE_TEST_SUITE_P(DeviceTables, LoadRequests, testing::ValuesIn(TABLE_CASES),
                         [](const testing::TestParamInfo<TableCase>& info) {
                             return testCaseName(info.param.name);
                         });

TEST(LoadRequests, DescriptorRunsSpanUnusedIdsAndStopAtTheLastOneAsked)
{
    ConnectedDevice device({});
    ASSERT_TRUE(device.isReady()) << device.error();
    ParameterMemory memory = memoryOf(device.control());
    ASSERT_TRUE(memory.load({Id::SwashServo1Angle, Id::SwashServo2Angle, Id::SwashServo3Angle,
                             Id::SwashServo1Travel, Id::TailServoFrequencyID}));
    // 0x1048 .. 0x1050 in one request, 0x1058 in the next window; then the
    // words 0x16 .. 0x19 and 0x20 in one read.
    const std::vector<SimulatedLink::Crossing> descriptors = device.link().requests(DESCRIPTORS);
    ASSERT_EQ(descriptors.size(), 2u);
    EXPECT_EQ(descriptors[0].payload, (std::vector<uint8_t>{0x10, 0x48, 9}));
    EXPECT_EQ(descriptors[1].payload, (std::vector<uint8_t>{0x10, 0x58, 1}));
    const std::vector<SimulatedLink::Crossing> values = device.link().requests(READ_VALUES);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].payload, (std::vector<uint8_t>{0x00, 0x16, 11}));
}

struct QuietCase {
    const char* name;
    // Answers the device still gives after connecting, before it falls quiet.
    uint32_t answersLeft;
    // Parameters with a value once the load has ended.
    size_t valuesRead;
};

void PrintTo(const QuietCase& quietCase, std::ostream* out)
{
    *out << quietCase.name;
}

const QuietCase QUIET_CASES[] = {
    {"quiet before the first descriptor", 0, 0},
    {"quiet among the descriptors", 4, 0},
    {"quiet before the values", 10, 0},
};

class QuietDevice : public testing::TestWithParam<QuietCase> {};

TEST_P(QuietDevice, EndsTheLoadAtTheFirstUnansweredRequest)
{
    const QuietCase& quietCase = GetParam();
    // The battery pulled while the adapter stays plugged in: it echoes, the
    // device is quiet. The connect itself takes two answers: device
    // information and handshake.
    ConnectedDevice device({"--device-silent-after", std::to_string(2 + quietCase.answersLeft)});
    ASSERT_TRUE(device.isReady()) << device.error();
    ParameterMemory memory = memoryOf(device.control());

    const SimulatedLink::TimePoint started = device.link().now();
    EXPECT_FALSE(memory.loadAll());
    // One request's time-out (the answer's: the adapter echoed), with room
    // for a loaded machine's own time, and far from two of them.
    EXPECT_LE(device.link().now() - started,
              std::chrono::milliseconds(SerialWin::FRAME_READ_DEADLINE_MS + 1000));
    EXPECT_FALSE(memory.isLoaded());
    // The answered requests and the one left unanswered; nothing after it,
    // not even that one again.
    EXPECT_EQ(device.link().requestCount(), quietCase.answersLeft + 1);
    EXPECT_EQ(memory.lastFailure(), LinkFailure::NoAnswer);
    size_t withValue = 0;
    for (const Id::ParameterName& parameter : Id::PARAMETER_NAMES) {
        bool ok = false;
        memory.getValue(parameter.id, &ok);
        withValue += ok ? 1 : 0;
        EXPECT_TRUE(memory.isOffered(parameter.id))
            << parameter.name << ": an unanswered request says nothing of the device's table";
    }
    EXPECT_EQ(withValue, quietCase.valuesRead);
    // Nothing is asked again by reading the memory.
    const size_t after = device.link().requestCount();
    for (const Id::ParameterName& parameter : Id::PARAMETER_NAMES)
        memory.getMin(parameter.id);
    EXPECT_EQ(device.link().requestCount(), after);
}

INSTANTIATE_TEST_SUITE_P(Load, QuietDevice, testing::ValuesIn(QUIET_CASES),
                         [](const testing::TestParamInfo<QuietCase>& info) {
                             return testCaseName(info.param.name);
                         });

} // namespace
