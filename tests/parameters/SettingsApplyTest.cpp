// A settings plan stored in the simulated device inside the test's process,
// and a setup saved from it: the requests that cross the link (one write,
// one read per address run), what the device holds afterwards, and what the
// parameter memory is left holding when the device refuses or alters a write.

#include "SettingsApply.h"

#include "Control.h"
#include "HexText.h"
#include "ParameterIds.h"
#include "ParameterMemory.h"
#include "SettingsPlan.h"
#include "SimulatedLink.h"
#include "SimulatedPort.h"
#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

using ZORVI::Control;
using ZORVI::DeviceInfo;
using ZORVI::LinkFailure;
using ZORVI::SettingsApply;
using ZORVI::SettingsFile;
using ZORVI::SettingsPlan;
using ZORVI::EEPROM::ParameterMemory;
using ZORVI::Simulator::SimulatedLink;
using ZORVI::Simulator::SimulatedPort;
namespace Id = ZORVI::EEPROM;

namespace {

using Values = std::map<uint16_t, int>;

constexpr uint8_t READ_VALUES = 3;
// What memoryValues() gives for an ID the memory holds no value of.
constexpr int UNKNOWN = -9999;
constexpr uint8_t WRITE_PARAMETERS = 4;

// Four settings in three address runs: 0x31, 0x51 and 0x61..0x62; the
// factory device holds 2, 60, 1 and 0.
const char* const FOUR_SETTINGS = "StickDeadband = 9\n"
                                  "HeadingLockGain = 70\n"
                                  "TorqueDirection = -1\n"
                                  "RevoMixPitch = 10\n";
const std::vector<uint16_t> FOUR_IDS = {Id::StickDeadband, Id::HeadingLockGain,
                                        Id::TorqueDirection, Id::RevoMixPitch};
// One list layout request of four address/value pairs.
const char* const FOUR_WRITTEN = "8400310009005100460061ffff0062000a";
// Read back in one request: the words 0x31 .. 0x62, those between included.
const std::vector<std::string> FOUR_READ_BACK = {"003132"};

std::vector<uint16_t> allIds()
{
    std::vector<uint16_t> ids;
    for (const Id::ParameterName& parameter : Id::PARAMETER_NAMES)
        ids.push_back(parameter.id);
    return ids;
}

SettingsFile parsed(const std::string& text)
{
    SettingsFile file;
    SettingsFile::Error error;
    EXPECT_TRUE(SettingsFile::parse(text, &file, &error)) << error.text();
    return file;
}

class SettingsApplyTest : public testing::Test {
protected:
    void TearDown() override
    {
        m_memory.reset();
        m_control.reset();
        m_link.reset();
    }

    // A fresh simulated device, connected as the programs connect, with
    // every parameter in the memory; the packets so far are forgotten.
    void start(const std::vector<std::string>& arguments = {})
    {
        m_link = std::make_unique<SimulatedLink>(arguments);
        ASSERT_TRUE(m_link->isReady()) << m_link->error();
        m_control = std::make_unique<Control>(std::make_unique<SimulatedPort>(*m_link));
        bool echo = false;
        ASSERT_TRUE(m_control->testInterface(m_link->portName().c_str(), &echo));
        ASSERT_TRUE(echo);
        ASSERT_TRUE(m_control->queryDeviceInfo(&m_info));
        ASSERT_TRUE(m_control->handshake(m_info.tokenHigh(), m_info.tokenLow()));
        m_control->setBlockMode(false);
        m_memory = std::make_unique<ParameterMemory>(m_control.get(), false,
                                                     ParameterMemory::DEFAULT_ID_RUN,
                                                     ParameterMemory::DEFAULT_ADDRESS_RUN);
        m_memory->load(allIds());
        m_link->forgetPackets();
    }

    SettingsPlan planFor(const std::string& text) const
    {
        return SettingsPlan::forFile(m_memory->snapshot(), m_info, parsed(text));
    }

    std::vector<std::string> payloads(uint8_t command) const
    {
        std::vector<std::string> hex;
        for (const SimulatedLink::Crossing& request : m_link->requests(command))
            hex.push_back(ZORVI::Simulator::HexText::format(request.payload));
        return hex;
    }

    // What the device holds for these IDs, and what the memory holds.
    Values deviceValues(const std::vector<uint16_t>& ids) const
    {
        Values values;
        for (uint16_t id : ids) {
            int32_t number = 0;
            EXPECT_TRUE(m_link->value(id, number)) << id;
            values[id] = number;
        }
        return values;
    }
    Values memoryValues(const std::vector<uint16_t>& ids) const
    {
        Values values;
        const ZORVI::Rules::Parameters held = m_memory->snapshot();
        for (uint16_t id : ids)
            values[id] = held.count(id) ? held.at(id).value : UNKNOWN;
        return values;
    }

    std::unique_ptr<SimulatedLink> m_link;
    std::unique_ptr<Control> m_control;
    std::unique_ptr<ParameterMemory> m_memory;
    DeviceInfo m_info;
};

TEST_F(SettingsApplyTest, WritesOnceAndReadsEachAddressRunBack)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const SettingsPlan plan = planFor(FOUR_SETTINGS);
    ASSERT_TRUE(plan.canApply());

    const SettingsApply::Result result = SettingsApply::apply(*m_memory, plan.changes());

    EXPECT_TRUE(result.verified());
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.ids, FOUR_IDS);
    EXPECT_EQ(payloads(WRITE_PARAMETERS), std::vector<std::string>{FOUR_WRITTEN});
    EXPECT_EQ(payloads(READ_VALUES), FOUR_READ_BACK);
    EXPECT_EQ(m_link->requestCount(), 1 + FOUR_READ_BACK.size()) << "nothing else is asked";
    const Values wanted = {{Id::StickDeadband, 9}, {Id::HeadingLockGain, 70},
                           {Id::TorqueDirection, -1}, {Id::RevoMixPitch, 10}};
    EXPECT_EQ(deviceValues(FOUR_IDS), wanted);
    EXPECT_EQ(memoryValues(FOUR_IDS), wanted);
    EXPECT_TRUE(m_memory->changedIds().empty());
}

// A device that refuses the write, stores other values than it
// acknowledges, or falls quiet before it answers the write: the result says
// which, nothing is asked after a request that failed, and the memory is
// left holding what the device was read to hold, with nothing pending (or,
// where nobody knows what the device stored, no value at all).
struct FaultCase {
    const char* what;
    std::vector<std::string> arguments;
    bool written;
    bool storedUnknown;
    Values deviceAfter;
    std::vector<SettingsApply::Mismatch> mismatches;
    std::vector<std::string> readBack;
};

void PrintTo(const FaultCase& row, std::ostream* out)
{
    *out << row.what;
}

const Values FOUR_AT_FACTORY = {{Id::StickDeadband, 2}, {Id::HeadingLockGain, 60},
                                {Id::TorqueDirection, 1}, {Id::RevoMixPitch, 0}};

// The connect of start() takes 13 answers: device information, handshake,
// ten descriptor requests and one value read.
const FaultCase FAULT_CASES[] = {
    {"refused write", {"--refuse-writes"}, false, false, FOUR_AT_FACTORY, {}, {}},
    {"altered write", {"--alter-writes"}, true, false,
     {{Id::StickDeadband, 10}, {Id::HeadingLockGain, 71}, {Id::TorqueDirection, 0},
      {Id::RevoMixPitch, 11}},
     {{Id::StickDeadband, 9, 10}, {Id::HeadingLockGain, 70, 71}, {Id::TorqueDirection, -1, 0},
      {Id::RevoMixPitch, 10, 11}},
     FOUR_READ_BACK},
    // The battery pulled: the adapter still echoes, the device is quiet.
    {"device quiet before answering the write", {"--device-silent-after", "13"}, false, true,
     FOUR_AT_FACTORY, {}, {}},
};

class ApplyOnFaultyDevice : public SettingsApplyTest,
                            public testing::WithParamInterface<FaultCase> {};

TEST_P(ApplyOnFaultyDevice, NamesWhatFailedAndLeavesTheMemoryWithTheTruth)
{
    const FaultCase& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(start(row.arguments));

    const SettingsApply::Result result =
        SettingsApply::apply(*m_memory, planFor(FOUR_SETTINGS).changes());

    EXPECT_FALSE(result.verified());
    EXPECT_EQ(result.written, row.written);
    EXPECT_EQ(result.storedUnknown(), row.storedUnknown);
    EXPECT_EQ(result.failure == LinkFailure::None, row.written);
    ASSERT_EQ(result.mismatches.size(), row.mismatches.size());
    for (size_t i = 0; i < row.mismatches.size(); ++i) {
        EXPECT_EQ(result.mismatches[i].id, row.mismatches[i].id) << i;
        EXPECT_EQ(result.mismatches[i].wanted, row.mismatches[i].wanted) << i;
        EXPECT_EQ(result.mismatches[i].readBack, row.mismatches[i].readBack) << i;
    }
    EXPECT_TRUE(result.unread.empty());
    EXPECT_EQ(payloads(WRITE_PARAMETERS), std::vector<std::string>{FOUR_WRITTEN});
    EXPECT_EQ(payloads(READ_VALUES), row.readBack);
    EXPECT_EQ(m_link->requestCount(), 1 + row.readBack.size()) << "nothing asked again";
    EXPECT_EQ(deviceValues(FOUR_IDS), row.deviceAfter);
    const Values unknown = {{Id::StickDeadband, UNKNOWN}, {Id::HeadingLockGain, UNKNOWN},
                            {Id::TorqueDirection, UNKNOWN}, {Id::RevoMixPitch, UNKNOWN}};
    EXPECT_EQ(memoryValues(FOUR_IDS), row.storedUnknown ? unknown : row.deviceAfter);
    EXPECT_TRUE(m_memory->changedIds().empty()) << "nothing may stay pending to be written";
}

INSTANTIATE_TEST_SUITE_P(Table, ApplyOnFaultyDevice, testing::ValuesIn(FAULT_CASES),
                         NameFromWhat());

// A change the memory does not take (outside the limits it knows) stops
// the whole apply before anything is sent, and the memory keeps the edits
// that were pending before, as they were.
TEST_F(SettingsApplyTest, ChangeOutsideTheLimitsWritesNothing)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(m_memory->set(Id::RevoMixPitch, 5));

    const SettingsApply::Result result = SettingsApply::apply(
        *m_memory, {{Id::StickDeadband, 9}, {Id::RevoMixPitch, 7}, {Id::HeadingLockGain, 500}});

    EXPECT_FALSE(result.verified());
    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.refused, std::vector<uint16_t>{Id::HeadingLockGain});
    EXPECT_EQ(m_link->requestCount(), 0u);
    EXPECT_EQ(m_memory->changedIds(), std::vector<uint16_t>{Id::RevoMixPitch});
    EXPECT_EQ(memoryValues({Id::StickDeadband, Id::RevoMixPitch, Id::HeadingLockGain}),
              (Values{{Id::StickDeadband, 2}, {Id::RevoMixPitch, 5}, {Id::HeadingLockGain, 60}}));
}

// Save, change the device, load the saved file: the device holds exactly
// what it held when it was saved.
TEST_F(SettingsApplyTest, SavedSetupLoadsBackIdentically)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const std::vector<uint16_t> ids = allIds();
    const Values saved = deviceValues(ids);
    SettingsFile file;
    const SettingsApply::Result save = SettingsApply::collect(*m_memory, m_info, &file);
    ASSERT_TRUE(save.verified());
    EXPECT_TRUE(payloads(WRITE_PARAMETERS).empty()) << "nothing was pending";
    ASSERT_EQ(file.settings().size(), Id::PARAMETER_COUNT);
    EXPECT_EQ(file.origin().serial, m_info.serialLabelText());
    EXPECT_TRUE(std::regex_match(file.origin().saved,
                                 std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}")))
        << file.origin().saved;

    ZORVI::Rules::Changes changes = ZORVI::Rules::geometryChanges(1, 30);
    changes.push_back({Id::TailServoCPPL, 760});
    changes.push_back({Id::RevoMixCyclic, -40});
    ASSERT_TRUE(SettingsApply::apply(*m_memory, changes).verified());
    ASSERT_NE(deviceValues(ids), saved);

    // Through the file's text, as it is written and read.
    const SettingsPlan plan = planFor(file.text());
    ASSERT_TRUE(plan.canApply());
    m_link->forgetPackets();
    const SettingsApply::Result load = SettingsApply::apply(*m_memory, plan.changes());

    EXPECT_TRUE(load.verified());
    EXPECT_EQ(payloads(WRITE_PARAMETERS).size(), 1u);
    EXPECT_EQ(deviceValues(ids), saved);
    EXPECT_EQ(memoryValues(ids), saved);
}

// Pending edits are written before saving; when the device refuses them,
// nothing is saved.
struct SaveCase {
    const char* what;
    std::vector<std::string> arguments;
    bool saved;
};

void PrintTo(const SaveCase& row, std::ostream* out)
{
    *out << row.what;
}

const SaveCase SAVE_CASES[] = {
    {"pending edit written", {}, true},
    {"pending edit refused", {"--refuse-writes"}, false},
};

class SaveWithPendingEdit : public SettingsApplyTest,
                            public testing::WithParamInterface<SaveCase> {};

TEST_P(SaveWithPendingEdit, WritesItFirstOrSavesNothing)
{
    const SaveCase& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(start(row.arguments));
    ASSERT_TRUE(m_memory->set(Id::StickDeadband, 9));
    SettingsFile file;

    const SettingsApply::Result result = SettingsApply::collect(*m_memory, m_info, &file);

    EXPECT_EQ(payloads(WRITE_PARAMETERS), std::vector<std::string>{"8100310009"});
    EXPECT_EQ(result.verified(), row.saved);
    if (row.saved) {
        ASSERT_EQ(file.settings().size(), Id::PARAMETER_COUNT);
        const std::vector<SettingsFile::Setting>& settings = file.settings();
        const auto held = std::find_if(settings.begin(), settings.end(), [](const auto& setting) {
            return setting.id == Id::StickDeadband;
        });
        ASSERT_NE(held, settings.end());
        EXPECT_EQ(held->value, 9);
    } else {
        EXPECT_EQ(result.failure, LinkFailure::Refused);
        EXPECT_TRUE(file.settings().empty()) << "the file must be left as it was";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SaveWithPendingEdit, testing::ValuesIn(SAVE_CASES),
                         NameFromWhat());

} // namespace
