// The parameter memory without the settings window's write cycle, as the
// command line uses it: how it cuts IDs and addresses into requests, and what
// an immediate write leaves behind when the device acknowledges or refuses it.

#include "Control.h"
#include "ParameterIds.h"
#include "ParameterMemory.h"
#include "SimulatorProcess.h"

#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::DeviceInfo;
using ZORVI::EEPROM::ParameterMemory;
using ZORVI::Testing::SimulatorProcess;
namespace Id = ZORVI::EEPROM;

namespace {

using KeyRun = ParameterMemory::Run;

struct RunCase {
    const char* name;
    std::vector<uint16_t> keys;
    uint32_t maxRun;
    std::vector<KeyRun> runs;
};

void PrintTo(const RunCase& runCase, std::ostream* out)
{
    *out << runCase.name;
}

std::vector<uint16_t> consecutive(uint16_t first, int count)
{
    std::vector<uint16_t> keys;
    for (int i = 0; i < count; ++i)
        keys.push_back(static_cast<uint16_t>(first + i));
    return keys;
}

const RunCase RUN_CASES[] = {
    {"nothing", {}, 16, {}},
    // A run spans keys nobody asked for (the device answers those as
    // unknown IDs, or words without a parameter) and ends at the last key
    // asked for within its limit.
    {"unsorted with a gap inside one run", {0x1050, 0x1049, 0x1048, 0x104A}, 16,
     {{0x1048, 9}}},
    {"gap reaching past the run limit", {0x1000, 0x100F, 0x1010}, 16,
     {{0x1000, 16}, {0x1010, 1}}},
    {"repeated keys count once", {0x31, 0x31, 0x33}, 16, {{0x31, 3}}},
    {"run limit reached exactly", consecutive(0x10, 16), 16, {{0x10, 16}}},
    {"run limit passed", consecutive(0x10, 17), 16, {{0x10, 16}, {0x20, 1}}},
    // One request carries its count in a byte, whatever the limit.
    {"count byte caps a long run", consecutive(0x0000, 300), 1000, {{0x0000, 255}, {0x00FF, 45}}},
    {"no limit means single keys", {0x31, 0x32}, 0, {{0x31, 1}, {0x32, 1}}},
    // The last word and the first are not neighbours.
    {"no wrap around the top", {0xFFFF, 0x0000}, 16, {{0x0000, 1}, {0xFFFF, 1}}},
};

class RunSplitting : public testing::TestWithParam<RunCase> {};

TEST_P(RunSplitting, CutsSortedKeysIntoRequests)
{
    const RunCase& runCase = GetParam();
    const std::vector<KeyRun> runs = ParameterMemory::runsOf(runCase.keys, runCase.maxRun);
    ASSERT_EQ(runs.size(), runCase.runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].first, runCase.runs[i].first) << "run " << i;
        EXPECT_EQ(runs[i].count, runCase.runs[i].count) << "run " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RunSplitting, testing::ValuesIn(RUN_CASES),
                         [](const testing::TestParamInfo<RunCase>& info) {
                             return testCaseName(info.param.name);
                         });

// Write requests (command 4) in the simulator's log, as their payloads; the
// lines look like "request dst=1 src=6 cmd=4 payload=8100310009".
std::vector<std::string> writeRequests(const SimulatorProcess& sim)
{
    std::vector<std::string> payloads;
    for (const std::string& line : sim.logLines("request")) {
        if (line.find(" cmd=4 ") == std::string::npos)
            continue;
        const size_t at = line.find("payload=");
        payloads.push_back(at == std::string::npos ? std::string() : line.substr(at + 8));
    }
    return payloads;
}

struct WriteCase {
    const char* name;
    std::vector<std::string> simArguments;
    bool acknowledged;
};

void PrintTo(const WriteCase& writeCase, std::ostream* out)
{
    *out << writeCase.name;
}

const WriteCase WRITE_CASES[] = {
    {"acknowledged", {}, true},
    {"refused", {"--refuse-writes"}, false},
};

class ImmediateWrite : public testing::TestWithParam<WriteCase> {
protected:
    void SetUp() override
    {
        m_sim = std::make_unique<SimulatorProcess>(GetParam().simArguments);
        ASSERT_TRUE(m_sim->isRunning()) << m_sim->error();
        bool echo = false;
        ASSERT_TRUE(m_control.testInterface(m_sim->portName().c_str(), &echo));
        ASSERT_TRUE(echo);
        DeviceInfo info;
        ASSERT_TRUE(m_control.queryDeviceInfo(&info));
        ASSERT_TRUE(m_control.handshake(info.tokenHigh(), info.tokenLow()));
        m_control.setBlockMode(false);
    }
    void TearDown() override { m_control.close(); }

    std::unique_ptr<SimulatorProcess> m_sim;
    Control m_control;
};

// StickDeadband: 0 .. 25 at word 0x31, the simulator holds 2.
TEST_P(ImmediateWrite, SendsPendingChangesOnceAndKeepsThemUntilAcknowledged)
{
    const bool acknowledged = GetParam().acknowledged;
    ParameterMemory memory(&m_control, false, 16, 127);
    EXPECT_FALSE(memory.set(Id::StickDeadband, 9)) << "nothing to compare with before a load";
    ASSERT_TRUE(memory.load({Id::StickDeadband}));
    EXPECT_TRUE(memory.writeChanges()) << "nothing pending is nothing to refuse";
    EXPECT_TRUE(writeRequests(*m_sim).empty());

    ASSERT_TRUE(memory.set(Id::StickDeadband, 9));
    EXPECT_EQ(writeRequests(*m_sim).size(), 0u) << "set alone must not write";
    EXPECT_EQ(memory.writeChanges(), acknowledged);
    EXPECT_EQ(writeRequests(*m_sim), std::vector<std::string>{"8100310009"});

    EXPECT_EQ(memory.getValue(Id::StickDeadband), acknowledged ? 9 : 2);
    EXPECT_EQ(memory.get(Id::StickDeadband, ParameterMemory::FieldNewValue), 9);
    EXPECT_EQ(memory.changedIds(),
              acknowledged ? std::vector<uint16_t>{} : std::vector<uint16_t>{Id::StickDeadband});
    EXPECT_EQ(memory.snapshot().at(Id::StickDeadband).value, 9);

    // A second attempt sends what is still pending, and only that.
    EXPECT_EQ(memory.writeChanges(), acknowledged);
    const size_t expectedWrites = acknowledged ? 1 : 2;
    EXPECT_EQ(writeRequests(*m_sim).size(), expectedWrites);
}

INSTANTIATE_TEST_SUITE_P(Device, ImmediateWrite, testing::ValuesIn(WRITE_CASES),
                         [](const testing::TestParamInfo<WriteCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
