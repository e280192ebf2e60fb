// What loading a settings file or resetting to the defaults would store,
// judged without a device: the device is the simulator's parameter table.
#include "SettingsPlan.h"

#include "ParameterIds.h"
#include "ParameterTable.h"
#include "RulesPrinting.h"
#include "TestCaseName.h"

#include <gtest/gtest.h>


using namespace ZORVI::EEPROM;
using Plan = ZORVI::SettingsPlan;
using Setting = ZORVI::SettingsFile::Setting;
using ZORVI::Rules::Changes;
using ZORVI::Rules::Parameters;
using ZORVI::Rules::Refusal;

namespace {

// The simulator's factory device, with some values changed.
Parameters device(const Changes& values = {})
{
    const ZORVI::Simulator::ParameterTable table;
    Parameters parameters;
    for (const auto& entry : table.parameters())
        parameters[entry.id] = {entry.value, {entry.minimum, entry.maximum, entry.defaultValue}};
    for (const auto& value : values)
        parameters.at(value.id).value = value.value;
    return parameters;
}

// Hardware 8.2, application 3.1.7, data 1.2.
ZORVI::DeviceInfo deviceInfo(uint8_t hardware = 0x82, uint8_t dataMinor = 2, uint8_t serialFirst = 0x9E)
{
    ZORVI::DeviceInfo result;
    const uint8_t bytes[ZORVI::DeviceInfo::SIZE] = {
        0x00, 0x01, 0x00, dataMinor, 0x00, 0x03, 0x00, 0x01, 0x00, 0x07, 0x00, hardware,
        serialFirst, 0xAE, 0x2C, 0x04, 0x2C, 0x25, 0x22, 0xFA, 0xDB, 0x8D, 0xBE, 0x7F,
        0x12, 0x34};
    std::copy(std::begin(bytes), std::end(bytes), result.bytes.begin());
    return result;
}

// A file saved from the device of deviceInfo(...) with these settings.
ZORVI::SettingsFile savedFile(const std::vector<Setting>& settings,
                              const ZORVI::DeviceInfo& from = deviceInfo())
{
    return ZORVI::SettingsFile(from, settings, "2026-12-10 14:03");
}

ZORVI::SettingsFile handWritten(const std::string& text)
{
    ZORVI::SettingsFile file;
    ZORVI::SettingsFile::Error error;
    EXPECT_TRUE(ZORVI::SettingsFile::parse(text, &file, &error)) << error.text();
    return file;
}

// The 333 Hz entry of the tail servo frame rate list.
constexpr int PRESET_333_HZ = 4;

} // namespace

TEST(SettingsPlan, ListsOnlyWhatWouldChangeAndStoresItAsAsked)
{
    const Plan plan = Plan::forFile(device(), deviceInfo(),
                                    savedFile({{PitchBoost, 0},
                                               {CyclicBoost, 25},
                                               {HeadingLockGain, 70},
                                               {TorqueDirection, -1}}));

    EXPECT_EQ(plan.refusal(), Plan::Refusal::None);
    EXPECT_TRUE(plan.canApply());
    EXPECT_TRUE(plan.notes().empty());
    EXPECT_EQ(plan.changes(),
              (Changes{{CyclicBoost, 25}, {HeadingLockGain, 70}, {TorqueDirection, -1}}));
    ASSERT_EQ(plan.rows().size(), 3u);
    EXPECT_EQ(plan.rows()[1].current, 60);
    EXPECT_EQ(plan.rows()[1].requested, 70);
    EXPECT_EQ(plan.rows()[1].stored, 70);
    for (const Plan::Row& row : plan.rows())
        EXPECT_FALSE(row.corrected()) << row.id;
}

TEST(SettingsPlan, AFileTheDeviceAlreadyHoldsHasNothingToApply)
{
    const Plan plan = Plan::forFile(device({{PitchBoost, 40}}), deviceInfo(),
                                    savedFile({{PitchBoost, 40}, {TorqueDirection, 1}}));
    EXPECT_FALSE(plan.refused());
    EXPECT_TRUE(plan.rows().empty());
    EXPECT_FALSE(plan.canApply());
}

TEST(SettingsPlan, ATailFrameRateThePulseDoesNotAllowIsLoweredAndMarked)
{
    // 1520 us allows at most 396 Hz: the 560 Hz preset becomes 333 Hz.
    const Plan plan =
        Plan::forFile(device(), deviceInfo(), savedFile({{TailServoFrequencyID, 5}, {PitchBoost, 10}}));

    ASSERT_TRUE(plan.canApply());
    EXPECT_EQ(plan.changes(), (Changes{{TailServoFrequencyID, PRESET_333_HZ}, {PitchBoost, 10}}));
    const Plan::Row& lowered = plan.rows().front();
    EXPECT_TRUE(lowered.corrected());
    EXPECT_EQ(lowered.requested, 5);
    EXPECT_EQ(lowered.stored, PRESET_333_HZ);
    EXPECT_FALSE(plan.rows().back().corrected());
    EXPECT_EQ(plan.tailServo().kind, ZORVI::Rules::TailServoOutcome::ReducedToPreset);
    EXPECT_EQ(plan.tailServo().pulseLength, 1520);
}

TEST(SettingsPlan, UnevenSwashAnglesAreRefusedWholeAndNothingIsStored)
{
    const Plan plan = Plan::forFile(
        device(), deviceInfo(),
        savedFile({{PitchBoost, 10}, {SwashServo1Angle, 0}, {SwashServo2Angle, 100},
                   {SwashServo3Angle, 240}}));

    EXPECT_EQ(plan.refusal(), Plan::Refusal::Rules);
    EXPECT_EQ(plan.verdict().refusal, Refusal::GeometryEntry);
    EXPECT_FALSE(plan.canApply());
    EXPECT_TRUE(plan.changes().empty());
}

TEST(SettingsPlan, AWholeGeometryFromAFileIsTakenAsOne)
{
    // The 140 degree geometry turned by 10 degrees, as the window saves it.
    Changes geometry = ZORVI::Rules::geometryChanges(4, 10);
    std::vector<Setting> settings;
    for (const auto& change : geometry)
        settings.push_back({change.id, change.value});

    const Plan plan = Plan::forFile(device(), deviceInfo(), savedFile(settings));

    ASSERT_TRUE(plan.canApply()) << int(plan.verdict().refusal);
    const Parameters after = ZORVI::Rules::applied(device(), plan.changes());
    const ZORVI::Rules::StoredGeometry stored = ZORVI::Rules::storedGeometry(after);
    EXPECT_TRUE(stored.recognised);
    EXPECT_EQ(stored.index, 4);
    EXPECT_EQ(stored.phaseAngle, 10);
}

TEST(SettingsPlan, EveryValueOutsideTheDevicesLimitsIsListedAndNothingIsStored)
{
    const Plan plan = Plan::forFile(
        device(), deviceInfo(),
        savedFile({{PitchBoost, 101}, {CyclicBoost, 5}, {TorqueDirection, 0}, {RevoMixPitch, -101}}));

    EXPECT_EQ(plan.refusal(), Plan::Refusal::OutsideLimits);
    EXPECT_FALSE(plan.canApply());
    ASSERT_EQ(plan.outsideLimits().size(), 3u);
    EXPECT_EQ(plan.outsideLimits()[0].id, PitchBoost);
    EXPECT_EQ(plan.outsideLimits()[0].refusal, Refusal::OutOfRange);
    EXPECT_EQ(plan.outsideLimits()[0].limits.maximum, 100);
    EXPECT_EQ(plan.outsideLimits()[1].id, TorqueDirection);
    EXPECT_EQ(plan.outsideLimits()[2].id, RevoMixPitch);
    EXPECT_TRUE(plan.changes().empty());
}

TEST(SettingsPlan, ASettingTheDeviceDoesNotDescribeIsListed)
{
    Parameters withoutBoost = device();
    withoutBoost.erase(PitchBoost);
    const Plan plan = Plan::forFile(withoutBoost, deviceInfo(), savedFile({{PitchBoost, 1}}));
    EXPECT_EQ(plan.refusal(), Plan::Refusal::OutsideLimits);
    ASSERT_EQ(plan.outsideLimits().size(), 1u);
    EXPECT_EQ(plan.outsideLimits()[0].refusal, Refusal::NotDescribed);
}

struct OriginCase {
    const char* what;
    ZORVI::DeviceInfo savedFrom;
    Plan::Refusal refusal;
    std::vector<Plan::Note> notes;
};

class SettingsPlanOrigin : public testing::TestWithParam<OriginCase> {};

TEST_P(SettingsPlanOrigin, NotesOrRefusesAFileFromAnotherDevice)
{
    const OriginCase& c = GetParam();
    const Plan plan = Plan::forFile(device(), deviceInfo(), savedFile({{PitchBoost, 10}}, c.savedFrom));
    EXPECT_EQ(plan.refusal(), c.refusal);
    EXPECT_EQ(plan.notes(), c.notes);
    EXPECT_EQ(plan.canApply(), c.refusal == Plan::Refusal::None);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPlanOrigin,
    testing::Values(
        OriginCase{"same device", deviceInfo(), Plan::Refusal::None, {}},
        OriginCase{"another unit", deviceInfo(0x82, 2, 0x11), Plan::Refusal::None,
                   {Plan::Note::OtherSerial}},
        OriginCase{"another data version", deviceInfo(0x82, 3), Plan::Refusal::None,
                   {Plan::Note::OtherDataVersion}},
        OriginCase{"another hardware minor", deviceInfo(0x83), Plan::Refusal::None,
                   {Plan::Note::OtherHardwareMinor}},
        OriginCase{"another unit, data and minor", deviceInfo(0x81, 0, 0x01), Plan::Refusal::None,
                   {Plan::Note::OtherSerial, Plan::Note::OtherDataVersion,
                    Plan::Note::OtherHardwareMinor}},
        OriginCase{"another hardware major", deviceInfo(0x92), Plan::Refusal::OtherHardware, {}}),
    NameFromWhat());

TEST(SettingsPlan, AHandWrittenFileIsNotedAsNamingNoDevice)
{
    const Plan plan = Plan::forFile(device(), deviceInfo(), handWritten("PitchBoost = 10\n"));
    EXPECT_TRUE(plan.canApply());
    EXPECT_EQ(plan.notes(), std::vector<Plan::Note>{Plan::Note::NoOrigin});
}

TEST(SettingsPlan, ResetBringsEveryChangedSettingBackToItsDefault)
{
    const Plan plan = Plan::forDefaults(
        device({{PitchBoost, 40}, {TailServoCPPLID, 0}, {TailServoCPPL, 1500}, {RevoMixPitch, -7}}));

    ASSERT_TRUE(plan.canApply());
    EXPECT_TRUE(plan.notes().empty());
    EXPECT_EQ(plan.changes(),
              (Changes{{TailServoCPPLID, 3}, {TailServoCPPL, 1520}, {PitchBoost, 0},
                       {RevoMixPitch, 0}}));
    const Parameters after = ZORVI::Rules::applied(device(), plan.changes());
    EXPECT_EQ(after.at(PitchBoost).value, 0);
}
