// This session's changes without a device: what differs from the values at
// connect, the swash plate geometry counted and brought back as one
// setting, and the request that brings settings back.
#include "ParameterIds.h"
#include "ParameterRules.h"
#include "RulesPrinting.h"
#include "SessionChanges.h"
#include "SwashGeometry.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

// Devices compare by their values: the limits stay as read.
namespace ZORVI::Rules {
bool operator==(const Parameter& a, const Parameter& b)
{
    return a.value == b.value;
}
} // namespace ZORVI::Rules

using namespace ZORVI::EEPROM;
using ZORVI::SessionChanges;
using ZORVI::SwashGeometry;
using ZORVI::Rules::Changes;
using ZORVI::Rules::Parameter;
using ZORVI::Rules::Parameters;

namespace {

// Every parameter the programs use at 0, but the geometry the simulator
// starts with (120 ° at phase 0) and a tail pulse length of 1520 us.
Parameters atConnect()
{
    Parameters device;
    for (const ParameterName& parameter : PARAMETER_NAMES)
        device[parameter.id] = Parameter{0, {-2000, 2000, 0}};
    for (const auto& change : ZORVI::Rules::geometryChanges(SwashGeometry::Angle120, 0))
        device.at(change.id).value = change.value;
    device.at(TailServoCPPL).value = 1520;
    return device;
}

Parameters withChanges(const Changes& changes)
{
    return ZORVI::Rules::applied(atConnect(), changes);
}

struct Case {
    const char* what;
    Changes edits; // in the order the pilot made them
    std::vector<uint16_t> changed;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.what;
}

class Changed : public testing::TestWithParam<Case> {};

TEST_P(Changed, ListsWhatDiffersFromTheValuesAtConnect)
{
    SessionChanges session;
    session.start(atConnect());
    const Parameters now = withChanges(GetParam().edits);
    EXPECT_EQ(session.changed(now), GetParam().changed);
    EXPECT_EQ(session.count(now), GetParam().changed.size());
}

const Changes GEOMETRY_140_AT_10 = ZORVI::Rules::geometryChanges(SwashGeometry::Angle140, 10);
const Changes PHASE_ONLY = ZORVI::Rules::geometryChanges(SwashGeometry::Angle120, 15);

INSTANTIATE_TEST_SUITE_P(
    Session, Changed,
    testing::Values(
        Case{"nothing", {}, {}},
        Case{"one value", {{HeadingLockGain, 75}}, {HeadingLockGain}},
        Case{"changed and changed back", {{HeadingLockGain, 75}, {HeadingLockGain, 0}}, {}},
        // Listed in the programs' order of parameters, not the pilot's.
        Case{"in the programs' order",
             {{TailAsymmetry, 5}, {SwashServoFrequencyID, 2}, {TorqueDirection, -1}},
             {SwashServoFrequencyID, TorqueDirection, TailAsymmetry}},
        Case{"a geometry is one setting", GEOMETRY_140_AT_10, {SessionChanges::geometryKey()}},
        Case{"a phase angle is the geometry too", PHASE_ONLY, {SessionChanges::geometryKey()}},
        Case{"one geometry entry among the tail servo's",
             {{TailServoCPPL, 2000}, {TailServoFrequencyID, 4}, PHASE_ONLY[4]},
             {SessionChanges::geometryKey(), TailServoFrequencyID, TailServoCPPL}}),
    [](const testing::TestParamInfo<Case>& info) { return std::to_string(info.index); });

TEST(SessionChanges, TheGeometryKeyIsAGeometryEntry)
{
    EXPECT_TRUE(ZORVI::Rules::isGeometryEntry(SessionChanges::geometryKey()));
}

TEST(SessionChanges, RevertGivesTheValuesAtConnect)
{
    SessionChanges session;
    session.start(atConnect());
    EXPECT_EQ(session.revert({HeadingLockGain, TailServoCPPL}),
              (Changes{{TailServoCPPL, 1520}, {HeadingLockGain, 0}}));
}

// The seven entries at connect, whichever of them the pilot changed: the
// rules take the geometry only as a whole.
TEST(SessionChanges, RevertOfTheGeometryBringsBackAllItsEntries)
{
    SessionChanges session;
    session.start(atConnect());
    Changes expected;
    for (const ParameterName& parameter : PARAMETER_NAMES)
        if (ZORVI::Rules::isGeometryEntry(parameter.id))
            expected.push_back({parameter.id, atConnect().at(parameter.id).value});
    ASSERT_EQ(expected.size(), 7u);
    EXPECT_EQ(session.revert({SessionChanges::geometryKey()}), expected);
    const ZORVI::Rules::ChangeOutcome outcome =
        ZORVI::Rules::checkChanges(withChanges(GEOMETRY_140_AT_10), expected);
    EXPECT_TRUE(outcome.verdict.accepted());
    EXPECT_EQ(ZORVI::Rules::applied(withChanges(GEOMETRY_140_AT_10), outcome.changes),
              atConnect());
}

// A setting the device did not give a value for on one side is neither
// listed nor brought back.
TEST(SessionChanges, LeavesOutWhatWasReadOnOneSideOnly)
{
    Parameters without = atConnect();
    without.erase(PitchBoost);
    SessionChanges session;
    session.start(without);
    EXPECT_TRUE(session.changed(withChanges({{PitchBoost, 40}})).empty());
    EXPECT_TRUE(session.revert({PitchBoost}).empty());

    session.start(atConnect());
    Parameters now = withChanges({{PitchBoost, 40}});
    now.erase(PitchBoost);
    EXPECT_TRUE(session.changed(now).empty());
}

TEST(SessionChanges, NothingCountsOnceEnded)
{
    SessionChanges session;
    EXPECT_FALSE(session.isStarted());
    session.start(atConnect());
    EXPECT_TRUE(session.isStarted());
    session.end();
    EXPECT_FALSE(session.isStarted());
    EXPECT_EQ(session.count(withChanges({{HeadingLockGain, 75}})), 0u);
    EXPECT_TRUE(session.revert({HeadingLockGain}).empty());
}

} // namespace
