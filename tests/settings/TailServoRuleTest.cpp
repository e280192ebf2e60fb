// The tail servo frame rate rule as plain functions: the values the presets
// stand for and the highest frame rate a pulse length allows.
#include "TailServoRule.h"

#include <gtest/gtest.h>

#include <ostream>

using ZORVI::TailServoRule;

namespace {

struct PresetCase {
    int index;
    int pulseLength; // with the user's value 1234
    int frequency;   // with the user's value 432
};

void PrintTo(const PresetCase& c, std::ostream* out)
{
    *out << "index " << c.index;
}

class TailServoPresets : public testing::TestWithParam<PresetCase> {};

TEST_P(TailServoPresets, GiveTheirValueAndTheUserValueAtIndexZero)
{
    const PresetCase& c = GetParam();
    EXPECT_EQ(TailServoRule::pulseLength(c.index, 1234), c.pulseLength);
    EXPECT_EQ(TailServoRule::frequency(c.index, 432), c.frequency);
}

// Indexes the lists do not have count as the factory pulse length and the
// highest frame rate, so an unknown index can never hide a broken rule.
INSTANTIATE_TEST_SUITE_P(AllIndexes, TailServoPresets,
                         testing::Values(PresetCase{0, 1234, 432}, PresetCase{1, 960, 50},
                                         PresetCase{2, 760, 165}, PresetCase{3, 1520, 270},
                                         PresetCase{4, 1520, 333}, PresetCase{5, 1520, 560},
                                         PresetCase{6, 1520, 560}, PresetCase{-1, 1520, 560}));

struct LimitCase {
    int pulseLength;
    int limit;
};

void PrintTo(const LimitCase& c, std::ostream* out)
{
    *out << c.pulseLength << " us";
}

class TailServoLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(TailServoLimits, AllowTheLimitButNothingAbove)
{
    const LimitCase& c = GetParam();
    EXPECT_EQ(TailServoRule::frequencyLimit(c.pulseLength), c.limit);
    EXPECT_TRUE(TailServoRule::holds(c.pulseLength, c.limit));
    EXPECT_FALSE(TailServoRule::holds(c.pulseLength, c.limit + 1));
}

INSTANTIATE_TEST_SUITE_P(WorkedLimits, TailServoLimits,
                         testing::Values(LimitCase{1520, 396}, LimitCase{960, 510},
                                         LimitCase{760, 568}, LimitCase{1500, 400},
                                         LimitCase{2003, 333}, LimitCase{2004, 332},
                                         // no period at all allows nothing
                                         LimitCase{-1000, 0}, LimitCase{-2000, 0}));

TEST(TailServoRule, FactoryPulseLengthTakesEveryPresetButTheHighest)
{
    const int factoryPulse = TailServoRule::pulseLength(3, 0);
    for (int index = 1; index <= 4; ++index)
        EXPECT_TRUE(TailServoRule::holds(factoryPulse, TailServoRule::frequency(index, 0)))
            << index;
    EXPECT_FALSE(TailServoRule::holds(factoryPulse, TailServoRule::frequency(5, 0)));
    EXPECT_TRUE(TailServoRule::holds(factoryPulse,
                                     TailServoRule::frequency(
                                         TailServoRule::REDUCED_FREQUENCY_INDEX, 0)));
    // The shortest preset pulse takes them all.
    EXPECT_TRUE(TailServoRule::holds(TailServoRule::pulseLength(2, 0),
                                     TailServoRule::frequency(5, 0)));
}

} // namespace
