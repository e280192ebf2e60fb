// The rules every front end applies before it stores anything, without a
// device: single values, the tail servo rule over a set of changes, the
// swash plate geometry as a whole, and what a connected device holds that
// the window cannot show or the rules would correct.
#include "ParameterIds.h"
#include "ParameterRules.h"
#include "RulesPrinting.h"
#include "SwashGeometry.h"

#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

using namespace ZORVI::EEPROM;
using ZORVI::SwashGeometry;
using ZORVI::Rules::Change;
using ZORVI::Rules::ChangeOutcome;
using ZORVI::Rules::Changes;
using ZORVI::Rules::Correction;
using ZORVI::Rules::Limits;
using ZORVI::Rules::Parameter;
using ZORVI::Rules::Parameters;
using ZORVI::Rules::Refusal;
using ZORVI::Rules::TailServoOutcome;
using ZORVI::Rules::Verdict;

namespace ZORVI {
namespace Rules {

bool operator==(const Correction& a, const Correction& b)
{
    return a.id == b.id && a.from == b.from && a.to == b.to;
}

void PrintTo(const Correction& correction, std::ostream* out)
{
    *out << "0x" << std::hex << correction.id << std::dec << ": " << correction.from << " -> "
         << correction.to;
}

} // namespace Rules
} // namespace ZORVI

namespace {

// ---- a device as the simulator describes it --------------------------------

struct FactoryEntry {
    uint16_t id;
    Limits limits; // the value starts at the default
};

// The simulator's parameter table (sim/README.md): a 120 degree swash plate
// at phase 0, 50 Hz servos, a 1520 us tail servo pulse at 50 Hz.
const FactoryEntry FACTORY_TABLE[] = {
    {SwashServoFrequencyID, {0, 5, 1}}, {SwashServoFrequency, {50, 200, 50}},
    {SwashMixerID, {0, 5, 3}},          {SwashMixerMode, {0, 7, 7}},
    {SwashServo1Angle, {0, 359, 0}},    {SwashServo2Angle, {0, 359, 120}},
    {SwashServo3Angle, {0, 359, 240}},  {SwashServo1Travel, {0, 2000, 1000}},
    {SwashServo2Travel, {0, 2000, 1000}}, {SwashServo3Travel, {0, 2000, 1000}},
    {TailServoFrequencyID, {0, 5, 1}},  {TailServoFrequency, {50, 560, 50}},
    {TailServoCPPLID, {0, 3, 3}},       {TailServoCPPL, {500, 2000, 1520}},
    {StickDeadbandID, {0, 5, 2}},       {StickDeadband, {0, 25, 2}},
    {PitchingUpBehaviourID, {0, 5, 3}}, {PitchingUpBehaviour, {0, 100, 50}},
    {PitchBoostID, {0, 5, 1}},          {PitchBoost, {0, 100, 0}},
    {CyclicBoostID, {0, 5, 1}},         {CyclicBoost, {0, 100, 0}},
    {HeadingLockGainID, {0, 5, 3}},     {HeadingLockGain, {0, 100, 60}},
    {RevoMixID, {0, 5, 1}},             {TorqueDirection, {-1, 1, 1}},
    {RevoMixPitch, {-100, 100, 0}},     {RevoMixCyclic, {-100, 100, 0}},
    {TailAsymmetry, {-100, 100, 0}},
};

struct LimitsOf {
    uint16_t id;
    Limits limits;
};

// How a device differs from the factory one: other limits first (the value
// stays), then other values.
struct DeviceState {
    std::vector<LimitsOf> limits;
    Changes values;
};

Parameters deviceOf(const DeviceState& state = {})
{
    Parameters device;
    for (const FactoryEntry& entry : FACTORY_TABLE)
        device[entry.id] = Parameter{entry.limits.defaultValue, entry.limits};
    for (const LimitsOf& other : state.limits)
        device.at(other.id).limits = other.limits;
    for (const Change& value : state.values)
        device.at(value.id).value = value.value;
    return device;
}


std::string hexId(uint16_t id)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", id);
    return text;
}

TEST(FactoryDevice, IsValidAndHoldsTheFactoryGeometry)
{
    const Parameters device = deviceOf();
    ASSERT_EQ(device.size(), PARAMETER_COUNT);
    for (const auto& [id, parameter] : device)
        EXPECT_TRUE(ZORVI::Rules::checkValue(id, parameter.value, device).accepted()) << hexId(id);
    const ZORVI::Rules::StoredGeometry geometry = ZORVI::Rules::storedGeometry(device);
    EXPECT_TRUE(geometry.recognised);
    EXPECT_EQ(geometry.index, SwashGeometry::Angle120);
    EXPECT_EQ(geometry.phaseAngle, 0);
}

// ---- single values ----------------------------------------------------------

struct ValueCase {
    const char* what;
    DeviceState device;
    uint16_t id;
    int value;
    Refusal refusal;
};

void PrintTo(const ValueCase& c, std::ostream* out)
{
    *out << c.what;
}

class ValueCheck : public testing::TestWithParam<ValueCase> {};

TEST_P(ValueCheck, RefusesWhatTheDeviceOrTheListsCannotHold)
{
    const ValueCase& c = GetParam();
    const Parameters device = deviceOf(c.device);
    const Verdict verdict = ZORVI::Rules::checkValue(c.id, c.value, device);
    EXPECT_EQ(verdict.refusal, c.refusal);
    EXPECT_EQ(verdict.accepted(), c.refusal == Refusal::None);
    // A refusal names what was refused and, when the device described it,
    // the range the message quotes.
    EXPECT_EQ(verdict.id, c.id);
    EXPECT_EQ(verdict.value, c.value);
    if (device.count(c.id)) {
        EXPECT_EQ(verdict.limits.minimum, device.at(c.id).limits.minimum);
        EXPECT_EQ(verdict.limits.maximum, device.at(c.id).limits.maximum);
    }
}

// Preset lists on a device whose descriptor allows more indexes than the
// list has, so that the list, not the limits, refuses.
constexpr Limits WIDE_PRESET_LIMITS{-5, 15, 1};

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueCheck,
    testing::Values(
        ValueCase{"not described", {}, 0x1234, 0, Refusal::NotDescribed},
        ValueCase{"torque below its minimum", {}, TorqueDirection, -2, Refusal::OutOfRange},
        ValueCase{"torque above its maximum", {}, TorqueDirection, 2, Refusal::OutOfRange},
        ValueCase{"asymmetry below its minimum", {}, TailAsymmetry, -101, Refusal::OutOfRange},
        ValueCase{"asymmetry at its minimum", {}, TailAsymmetry, -100, Refusal::None},
        ValueCase{"asymmetry at its maximum", {}, TailAsymmetry, 100, Refusal::None},
        ValueCase{"asymmetry above its maximum", {}, TailAsymmetry, 101, Refusal::OutOfRange},
        ValueCase{"asymmetry below a device minimum of -50",
                  {{{TailAsymmetry, {-50, 50, 0}}}, {}}, TailAsymmetry, -51, Refusal::OutOfRange},
        ValueCase{"frequency below its minimum", {}, TailServoFrequency, 49, Refusal::OutOfRange},
        ValueCase{"frequency at its maximum", {}, TailServoFrequency, 560, Refusal::None},
        ValueCase{"frequency above its maximum", {}, TailServoFrequency, 561,
                  Refusal::OutOfRange},
        ValueCase{"preset index beyond the limits", {}, HeadingLockGainID, 6,
                  Refusal::OutOfRange},
        ValueCase{"negative preset index within wide limits",
                  {{{HeadingLockGainID, WIDE_PRESET_LIMITS}}, {}}, HeadingLockGainID, -1,
                  Refusal::NotAPreset},
        ValueCase{"torque 0", {}, TorqueDirection, 0, Refusal::NotADirection},
        ValueCase{"torque 2 within wide limits", {{{TorqueDirection, {-2, 2, 1}}}, {}},
                  TorqueDirection, 2, Refusal::NotADirection},
        ValueCase{"torque normal", {}, TorqueDirection, 1, Refusal::None},
        ValueCase{"torque reverse", {}, TorqueDirection, -1, Refusal::None}),
    NameFromWhat());

// Items of each preset list, "User Defined" included, as the window shows
// them.
struct PresetList {
    uint16_t id;
    int count;
};

const PresetList PRESET_LISTS[] = {
    {SwashServoFrequencyID, 6}, {TailServoCPPLID, 4},       {TailServoFrequencyID, 6},
    {SwashMixerID, 6},          {PitchingUpBehaviourID, 6}, {HeadingLockGainID, 6},
    {StickDeadbandID, 6},       {RevoMixID, 6},             {CyclicBoostID, 6},
    {PitchBoostID, 6},
};

TEST(PresetLists, RefuseTheFirstIndexPastTheirItems)
{
    for (const PresetList& list : PRESET_LISTS) {
        SCOPED_TRACE(hexId(list.id));
        EXPECT_EQ(ZORVI::Rules::presetCount(list.id), list.count);
        const Parameters device = deviceOf({{{list.id, WIDE_PRESET_LIMITS}}, {}});
        EXPECT_EQ(ZORVI::Rules::checkValue(list.id, list.count - 1, device).refusal,
                  Refusal::None);
        EXPECT_EQ(ZORVI::Rules::checkValue(list.id, list.count, device).refusal,
                  Refusal::NotAPreset);
    }
}

TEST(PresetLists, AreOnlyTheIndexEntries)
{
    for (const FactoryEntry& entry : FACTORY_TABLE) {
        bool isList = false;
        for (const PresetList& list : PRESET_LISTS)
            isList = isList || list.id == entry.id;
        if (!isList) {
            EXPECT_EQ(ZORVI::Rules::presetCount(entry.id), 0) << hexId(entry.id);
        }
    }
}

// ---- changes as a whole -----------------------------------------------------

// Tail servo pulse lengths above what the factory table allows.
const LimitsOf LONG_PULSES{TailServoCPPL, {500, 2500, 1520}};

struct ChangesCase {
    const char* what;
    DeviceState device;
    Changes request;
    Refusal refusal;
    TailServoOutcome::Kind tailServo;
    Changes stored; // what checkChanges gives to store
};

void PrintTo(const ChangesCase& c, std::ostream* out)
{
    *out << c.what;
}

class ChangesCheck : public testing::TestWithParam<ChangesCase> {};

TEST_P(ChangesCheck, StoresWhatTheRulesAllowAndNothingElse)
{
    const ChangesCase& c = GetParam();
    const Parameters device = deviceOf(c.device);
    const ChangeOutcome outcome = ZORVI::Rules::checkChanges(device, c.request);
    EXPECT_EQ(outcome.verdict.refusal, c.refusal);
    EXPECT_EQ(outcome.tailServo.kind, c.tailServo);
    EXPECT_EQ(outcome.changes, c.stored);
    // What is stored is never corrected on the next connection: every
    // correction the device then needs it needed before.
    const std::vector<Correction> before = ZORVI::Rules::corrections(device);
    for (const Correction& after :
         ZORVI::Rules::corrections(ZORVI::Rules::applied(device, outcome.changes))) {
        bool neededBefore = false;
        for (const Correction& old : before)
            neededBefore = neededBefore || old.id == after.id;
        EXPECT_TRUE(neededBefore) << hexId(after.id) << ": " << after.from << " -> " << after.to;
    }
}

// The reduced frame rate preset ("333 Hz").
constexpr int PRESET_333_HZ = 4;

INSTANTIATE_TEST_SUITE_P(
    TailServo, ChangesCheck,
    testing::Values(
        ChangesCase{"preset 560 Hz with 1520 us is lowered to 333 Hz",
                    {},
                    {{TailServoFrequencyID, 5}},
                    Refusal::None,
                    TailServoOutcome::ReducedToPreset,
                    {{TailServoFrequencyID, PRESET_333_HZ}}},
        ChangesCase{"a longer pulse lowers the stored preset 560 Hz",
                    {{}, {{TailServoCPPLID, 2}, {TailServoFrequencyID, 5}}},
                    {{TailServoCPPLID, 3}},
                    Refusal::None,
                    TailServoOutcome::ReducedToPreset,
                    {{TailServoCPPLID, 3}, {TailServoFrequencyID, PRESET_333_HZ}}},
        ChangesCase{"user defined 450 Hz with 1500 us is lowered to 400 Hz",
                    {},
                    {{TailServoFrequencyID, 0},
                     {TailServoFrequency, 450},
                     {TailServoCPPLID, 0},
                     {TailServoCPPL, 1500}},
                    Refusal::None,
                    TailServoOutcome::ReducedToLimit,
                    {{TailServoFrequencyID, 0},
                     {TailServoFrequency, 400},
                     {TailServoCPPLID, 0},
                     {TailServoCPPL, 1500}}},
        ChangesCase{"a longer pulse lowers the stored user defined frequency",
                    {{}, {{TailServoFrequencyID, 0}, {TailServoFrequency, 450}}},
                    {{TailServoCPPLID, 0}, {TailServoCPPL, 1500}},
                    Refusal::None,
                    TailServoOutcome::ReducedToLimit,
                    {{TailServoCPPLID, 0}, {TailServoCPPL, 1500}, {TailServoFrequency, 400}}},
        ChangesCase{"frequency equal to the limit holds",
                    {},
                    {{TailServoFrequencyID, 0},
                     {TailServoFrequency, 400},
                     {TailServoCPPLID, 0},
                     {TailServoCPPL, 1500}},
                    Refusal::None,
                    TailServoOutcome::Holds,
                    {{TailServoFrequencyID, 0},
                     {TailServoFrequency, 400},
                     {TailServoCPPLID, 0},
                     {TailServoCPPL, 1500}}},
        ChangesCase{"333 Hz with 2003 us holds",
                    {{LONG_PULSES}, {}},
                    {{TailServoFrequencyID, PRESET_333_HZ}, {TailServoCPPLID, 0},
                     {TailServoCPPL, 2003}},
                    Refusal::None,
                    TailServoOutcome::Holds,
                    {{TailServoFrequencyID, PRESET_333_HZ}, {TailServoCPPLID, 0},
                     {TailServoCPPL, 2003}}},
        ChangesCase{"333 Hz with 2004 us cannot be satisfied",
                    {{LONG_PULSES}, {{TailServoFrequencyID, PRESET_333_HZ}, {TailServoCPPLID, 0}}},
                    {{TailServoCPPL, 2004}},
                    Refusal::TailServoRule,
                    TailServoOutcome::Unsatisfiable,
                    {}},
        ChangesCase{"560 Hz with 2100 us cannot be satisfied",
                    {{LONG_PULSES}, {}},
                    {{TailServoFrequencyID, 5}, {TailServoCPPLID, 0}, {TailServoCPPL, 2100}},
                    Refusal::TailServoRule,
                    TailServoOutcome::Unsatisfiable,
                    {}},
        ChangesCase{"a limit below the device's lowest frequency cannot be satisfied",
                    {{LONG_PULSES, {TailServoFrequency, {300, 560, 300}}},
                     {{TailServoFrequencyID, 0}, {TailServoFrequency, 300}}},
                    {{TailServoCPPLID, 0}, {TailServoCPPL, 2500}},
                    Refusal::TailServoRule,
                    TailServoOutcome::Unsatisfiable,
                    {}},
        ChangesCase{"a request without tail entries ignores a device breaking the rule",
                    {{LONG_PULSES},
                     {{TailServoFrequencyID, 5}, {TailServoCPPLID, 0}, {TailServoCPPL, 2100}}},
                    {{StickDeadband, 5}},
                    Refusal::None,
                    TailServoOutcome::Holds,
                    {{StickDeadband, 5}}},
        ChangesCase{"a value refused on its own refuses the whole request",
                    {},
                    {{TailServoCPPL, 1500}, {TailServoFrequency, 561}},
                    Refusal::OutOfRange,
                    TailServoOutcome::Holds,
                    {}}),
    NameFromWhat());

TEST(TailServoRule, NamesThePulseLengthAndTheLimit)
{
    const TailServoOutcome outcome = ZORVI::Rules::checkTailServoRule(
        deviceOf(), {{TailServoCPPLID, 0}, {TailServoCPPL, 1500}, {TailServoFrequencyID, 0},
                     {TailServoFrequency, 450}});
    EXPECT_EQ(outcome.kind, TailServoOutcome::ReducedToLimit);
    EXPECT_EQ(outcome.pulseLength, 1500);
    EXPECT_EQ(outcome.frequencyLimit, 400);
    EXPECT_EQ(outcome.corrections, (Changes{{TailServoFrequency, 400}}));
}

TEST(TailServoRule, UnsatisfiableRefusalNamesTheTailEntryAsked)
{
    const ChangeOutcome outcome = ZORVI::Rules::checkChanges(
        deviceOf({{LONG_PULSES}, {{TailServoFrequencyID, PRESET_333_HZ}, {TailServoCPPLID, 0}}}),
        {{StickDeadband, 3}, {TailServoCPPL, 2100}});
    EXPECT_EQ(outcome.verdict.refusal, Refusal::TailServoRule);
    EXPECT_EQ(outcome.verdict.id, TailServoCPPL);
    EXPECT_EQ(outcome.verdict.value, 2100);
    EXPECT_EQ(outcome.tailServo.pulseLength, 2100);
    EXPECT_EQ(outcome.tailServo.frequencyLimit, 322);
    EXPECT_TRUE(outcome.tailServo.corrections.empty());
}

// ---- swash plate geometry ---------------------------------------------------

struct GeometryCase {
    const char* what;
    int index;
    int phaseAngle;
    Changes entries;
};

void PrintTo(const GeometryCase& c, std::ostream* out)
{
    *out << c.what;
}

class GeometryEntries : public testing::TestWithParam<GeometryCase> {};

TEST_P(GeometryEntries, AreTheSevenOfTheGeometryAndAreAccepted)
{
    const GeometryCase& c = GetParam();
    const Changes entries = ZORVI::Rules::geometryChanges(c.index, c.phaseAngle);
    EXPECT_EQ(entries, c.entries);

    const Parameters device = deviceOf();
    const ChangeOutcome outcome = ZORVI::Rules::checkChanges(device, entries);
    EXPECT_TRUE(outcome.verdict.accepted());
    EXPECT_EQ(outcome.changes, entries);
    const ZORVI::Rules::StoredGeometry stored =
        ZORVI::Rules::storedGeometry(ZORVI::Rules::applied(device, entries));
    EXPECT_TRUE(stored.recognised);
    EXPECT_EQ(stored.index, c.index);
    EXPECT_EQ(stored.phaseAngle, c.phaseAngle);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeometryEntries,
    testing::Values(GeometryCase{"120 at -30",
                                 SwashGeometry::Angle120,
                                 -30,
                                 {{SwashServo1Travel, 1000},
                                  {SwashServo2Travel, 1000},
                                  {SwashServo3Travel, 1000},
                                  {SwashMixerMode, 7},
                                  {SwashServo1Angle, 330},
                                  {SwashServo2Angle, 90},
                                  {SwashServo3Angle, 210}}},
                    GeometryCase{"mechanic at 0",
                                 SwashGeometry::Mechanic,
                                 0,
                                 {{SwashServo1Travel, 1000},
                                  {SwashServo2Travel, 1000},
                                  {SwashServo3Travel, 0},
                                  {SwashMixerMode, 4},
                                  {SwashServo1Angle, 0},
                                  {SwashServo2Angle, 90},
                                  {SwashServo3Angle, 270}}},
                    GeometryCase{"140 equal travel at 10",
                                 SwashGeometry::Angle140Equal,
                                 10,
                                 {{SwashServo1Travel, 1000},
                                  {SwashServo2Travel, 1414},
                                  {SwashServo3Travel, 1414},
                                  {SwashMixerMode, 7},
                                  {SwashServo1Angle, 10},
                                  {SwashServo2Angle, 145},
                                  {SwashServo3Angle, 235}}}),
    NameFromWhat());

struct SingleEntryCase {
    const char* what;
    Change change;
};

void PrintTo(const SingleEntryCase& c, std::ostream* out)
{
    *out << c.what;
}

class SingleGeometryEntry : public testing::TestWithParam<SingleEntryCase> {};

TEST_P(SingleGeometryEntry, IsRefusedWhenItBreaksTheGeometry)
{
    const SingleEntryCase& c = GetParam();
    const Parameters device = deviceOf();
    const ChangeOutcome outcome = ZORVI::Rules::checkChanges(device, {c.change});
    EXPECT_EQ(outcome.verdict.refusal, Refusal::GeometryEntry);
    EXPECT_EQ(outcome.verdict.id, c.change.id);
    EXPECT_EQ(outcome.verdict.value, c.change.value);
    EXPECT_EQ(outcome.verdict.limits.maximum, device.at(c.change.id).limits.maximum);
    EXPECT_TRUE(outcome.changes.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, SingleGeometryEntry,
                         testing::Values(SingleEntryCase{"servo 1 angle", {SwashServo1Angle, 10}},
                                         SingleEntryCase{"servo 2 angle", {SwashServo2Angle, 100}},
                                         SingleEntryCase{"servo 3 angle", {SwashServo3Angle, 250}},
                                         SingleEntryCase{"servo 1 travel", {SwashServo1Travel, 900}},
                                         SingleEntryCase{"servo 2 travel", {SwashServo2Travel, 1414}},
                                         SingleEntryCase{"servo 3 travel", {SwashServo3Travel, 0}},
                                         SingleEntryCase{"mixer mode", {SwashMixerMode, 4}}),
                         NameFromWhat());

TEST(GeometryEntriesTogether, AreRefusedWhenOneOfTheSevenIsChangedAfterwards)
{
    Changes request = ZORVI::Rules::geometryChanges(SwashGeometry::Angle140, 0);
    request.push_back({SwashServo2Angle, 100});
    const ChangeOutcome outcome = ZORVI::Rules::checkChanges(deviceOf(), request);
    EXPECT_EQ(outcome.verdict.refusal, Refusal::GeometryEntry);
    EXPECT_TRUE(outcome.changes.empty());
}

TEST(GeometryNames, FindEveryListTextAndShortNameInAnyCase)
{
    struct Name {
        const char* text;
        int index;
    };
    const Name names[] = {
        {"Mechanic", SwashGeometry::Mechanic},     {"mechanic", SwashGeometry::Mechanic},
        {"MECHANIC", SwashGeometry::Mechanic},     {"90 °", SwashGeometry::Angle90},
        {"90", SwashGeometry::Angle90},            {"120 °", SwashGeometry::Angle120},
        {"120", SwashGeometry::Angle120},          {"125 °", SwashGeometry::Angle125},
        {"125", SwashGeometry::Angle125},          {"140 °", SwashGeometry::Angle140},
        {"140", SwashGeometry::Angle140},          {"140 ° (1=1)", SwashGeometry::Angle140Equal},
        {"140-1:1", SwashGeometry::Angle140Equal},
    };
    for (const Name& name : names) {
        int index = -1;
        EXPECT_TRUE(ZORVI::Rules::geometryByName(name.text, &index)) << name.text;
        EXPECT_EQ(index, name.index) << name.text;
    }
    // Every short name is offered in the messages.
    const std::string offered = ZORVI::Rules::geometryNames();
    for (const char* shortName : {"mechanic", "90", "120", "125", "140", "140-1:1"})
        EXPECT_NE(offered.find(shortName), std::string::npos) << shortName;
}

TEST(GeometryNames, RefuseEverythingElse)
{
    for (const char* text : {"", "100", "12", "1200", "120 deg", " 120", "140-1", "1=1", "140 (1=1)",
                             "mech", "User Defined Geometry"}) {
        int index = -1;
        EXPECT_FALSE(ZORVI::Rules::geometryByName(text, &index)) << '"' << text << '"';
        EXPECT_EQ(index, -1) << '"' << text << '"';
    }
}

TEST(StoredGeometry, RecognisesTheEqualTravelGeometry)
{
    const ZORVI::Rules::StoredGeometry stored = ZORVI::Rules::storedGeometry(
        deviceOf({{},
                  {{SwashServo1Angle, 0},
                   {SwashServo2Angle, 135},
                   {SwashServo3Angle, 225},
                   {SwashServo1Travel, 1000},
                   {SwashServo2Travel, 1414},
                   {SwashServo3Travel, 1414},
                   {SwashMixerMode, 7}}}));
    EXPECT_TRUE(stored.recognised);
    EXPECT_EQ(stored.index, SwashGeometry::Angle140Equal);
    EXPECT_EQ(stored.phaseAngle, 0);
}

TEST(StoredGeometry, IsNotRecognisedWithoutAllSevenEntries)
{
    Parameters device = deviceOf();
    device.erase(SwashMixerMode);
    EXPECT_FALSE(ZORVI::Rules::storedGeometry(device).recognised);
}

// ---- what a connected device holds ------------------------------------------

struct CorrectionsCase {
    const char* what;
    DeviceState device;
    std::vector<Correction> corrections; // in ID order
};

void PrintTo(const CorrectionsCase& c, std::ostream* out)
{
    *out << c.what;
}

class DeviceCorrections : public testing::TestWithParam<CorrectionsCase> {};

TEST_P(DeviceCorrections, NameEachValueOnceWithWhatItWouldBecome)
{
    const CorrectionsCase& c = GetParam();
    const Parameters device = deviceOf(c.device);
    const std::vector<Correction> corrections = ZORVI::Rules::corrections(device);
    EXPECT_EQ(corrections, c.corrections);
    // What the corrections make of the device needs no further correction,
    // and every corrected value is one the rules accept.
    Changes applied;
    for (const Correction& correction : corrections)
        applied.push_back({correction.id, correction.to});
    const Parameters corrected = ZORVI::Rules::applied(device, applied);
    EXPECT_TRUE(ZORVI::Rules::corrections(corrected).empty());
    for (const Change& change : applied)
        EXPECT_TRUE(ZORVI::Rules::checkValue(change.id, change.value, corrected).accepted())
            << hexId(change.id) << "=" << change.value;
}

// Limits a device may describe instead of the factory ones.
const LimitsOf DEADBAND_UP_TO_10{StickDeadband, {0, 10, 2}};
const LimitsOf ASYMMETRY_FROM_MINUS_50{TailAsymmetry, {-50, 50, 0}};
const LimitsOf GAIN_LIST_WIDE{HeadingLockGainID, {0, 15, 3}};
const LimitsOf GAIN_LIST_WIDE_UNLISTED_DEFAULT{HeadingLockGainID, {0, 15, 9}};
const LimitsOf TORQUE_DEFAULT_REVERSE{TorqueDirection, {-1, 1, -1}};
const LimitsOf TORQUE_WIDE{TorqueDirection, {-2, 2, 1}};
const LimitsOf TORQUE_DEFAULT_NONE{TorqueDirection, {-1, 1, 0}};

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceCorrections,
    testing::Values(
        CorrectionsCase{"factory device", {}, {}},
        CorrectionsCase{"valid device far from the factory",
                        {{},
                         {{TailServoFrequencyID, 0},
                          {TailServoFrequency, 400},
                          {TailServoCPPLID, 0},
                          {TailServoCPPL, 1500},
                          {TorqueDirection, -1},
                          {TailAsymmetry, -100},
                          {SwashServo1Angle, 10},
                          {SwashServo2Angle, 145},
                          {SwashServo3Angle, 235},
                          {SwashServo2Travel, 1414},
                          {SwashServo3Travel, 1414}}},
                        {}},
        CorrectionsCase{"frequency above its maximum",
                        {{}, {{TailServoFrequency, 600}}},
                        {{TailServoFrequency, 600, 560}}},
        CorrectionsCase{"deadband above its maximum",
                        {{DEADBAND_UP_TO_10}, {{StickDeadband, 20}}},
                        {{StickDeadband, 20, 10}}},
        CorrectionsCase{"asymmetry below its minimum",
                        {{ASYMMETRY_FROM_MINUS_50}, {{TailAsymmetry, -60}}},
                        {{TailAsymmetry, -60, -50}}},
        // Neither direction: the device's own default direction is offered.
        CorrectionsCase{"torque direction 0", {{}, {{TorqueDirection, 0}}},
                        {{TorqueDirection, 0, 1}}},
        CorrectionsCase{"torque direction 0, the device's default reverse",
                        {{TORQUE_DEFAULT_REVERSE}, {{TorqueDirection, 0}}},
                        {{TorqueDirection, 0, -1}}},
        CorrectionsCase{"torque direction 2 within wide limits",
                        {{TORQUE_WIDE}, {{TorqueDirection, 2}}},
                        {{TorqueDirection, 2, 1}}},
        CorrectionsCase{"torque direction 0, the device's default no direction",
                        {{TORQUE_DEFAULT_NONE}, {{TorqueDirection, 0}}},
                        {{TorqueDirection, 0, -1}}},
        CorrectionsCase{"preset index past the list",
                        {{GAIN_LIST_WIDE}, {{HeadingLockGainID, 7}}},
                        {{HeadingLockGainID, 7, 3}}},
        CorrectionsCase{"preset index past the list and its limits",
                        {{}, {{HeadingLockGainID, 7}}},
                        {{HeadingLockGainID, 7, 3}}},
        CorrectionsCase{"preset index past the list, default not listed",
                        {{GAIN_LIST_WIDE_UNLISTED_DEFAULT}, {{HeadingLockGainID, 7}}},
                        {{HeadingLockGainID, 7, 0}}},
        CorrectionsCase{"stored preset 560 Hz with 1520 us",
                        {{}, {{TailServoFrequencyID, 5}}},
                        {{TailServoFrequencyID, 5, PRESET_333_HZ}}},
        CorrectionsCase{"stored 450 Hz with 1500 us",
                        {{},
                         {{TailServoFrequencyID, 0},
                          {TailServoFrequency, 450},
                          {TailServoCPPLID, 0},
                          {TailServoCPPL, 1500}}},
                        {{TailServoFrequency, 450, 400}}},
        CorrectionsCase{"frequency above its maximum and the rule, reported once",
                        {{}, {{TailServoFrequencyID, 0}, {TailServoFrequency, 600}}},
                        {{TailServoFrequency, 600, 396}}},
        CorrectionsCase{"stored 560 Hz with 2100 us fits no preset",
                        {{LONG_PULSES},
                         {{TailServoFrequencyID, 5}, {TailServoCPPLID, 0}, {TailServoCPPL, 2100}}},
                        {{TailServoFrequencyID, 5, 0}, {TailServoFrequency, 50, 322}}},
        CorrectionsCase{"swash angles 0 100 240",
                        {{}, {{SwashServo2Angle, 100}}},
                        {{SwashServo2Angle, 100, 120}}},
        CorrectionsCase{"swash angles 30 100 240 keep their phase angle",
                        {{}, {{SwashServo1Angle, 30}, {SwashServo2Angle, 100}}},
                        {{SwashServo2Angle, 100, 150}, {SwashServo3Angle, 240, 270}}},
        CorrectionsCase{"odd travel becomes the 120 geometry",
                        {{}, {{SwashServo3Travel, 900}, {SwashMixerMode, 4}}},
                        {{SwashMixerMode, 4, 7}, {SwashServo3Travel, 900, 1000}}},
        CorrectionsCase{"everything at once",
                        {{DEADBAND_UP_TO_10, ASYMMETRY_FROM_MINUS_50, GAIN_LIST_WIDE},
                         {{TailServoFrequency, 600},
                          {TailServoFrequencyID, 5},
                          {StickDeadband, 20},
                          {TailAsymmetry, -60},
                          {TorqueDirection, 0},
                          {HeadingLockGainID, 7},
                          {SwashServo2Angle, 100}}},
                        {{SwashServo2Angle, 100, 120},
                         {TailServoFrequencyID, 5, PRESET_333_HZ},
                         {TailServoFrequency, 600, 560},
                         {StickDeadband, 20, 10},
                         {HeadingLockGainID, 7, 3},
                         {TorqueDirection, 0, 1},
                         {TailAsymmetry, -60, -50}}}),
    NameFromWhat());

} // namespace
