// The swash plate geometries as plain functions: the seven entries a
// geometry and phase angle give, and which geometry stored entries select.
#include "SwashGeometry.h"

#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

using ZORVI::SwashGeometry;
using Values = SwashGeometry::ServoValues;

namespace {

struct StoringCase {
    int index;
    int phaseAngle;
    Values angles;
};

void PrintTo(const StoringCase& c, std::ostream* out)
{
    *out << "geometry " << c.index << " at " << c.phaseAngle;
}

class GeometryStoring : public testing::TestWithParam<StoringCase> {};

TEST_P(GeometryStoring, PlacesTheServosAroundThePhaseAngle)
{
    const StoringCase& c = GetParam();
    const SwashGeometry::Definition geometry = SwashGeometry::definition(c.index);
    EXPECT_EQ(SwashGeometry::servoAngles(geometry.angle, c.phaseAngle), c.angles);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeometryStoring,
    testing::Values(StoringCase{SwashGeometry::Angle120, -30, {330, 90, 210}},
                    StoringCase{SwashGeometry::Angle90, 180, {180, 270, 90}},
                    // the wrap of the phase angle spin box: same servos
                    StoringCase{SwashGeometry::Angle90, -180, {180, 270, 90}},
                    StoringCase{SwashGeometry::Angle140, 180, {180, 315, 45}},
                    StoringCase{SwashGeometry::Angle120, 0, {0, 120, 240}},
                    // both "140 °" geometries use 135 degrees
                    StoringCase{SwashGeometry::Angle140Equal, 0, {0, 135, 225}},
                    // an index the list does not have is the 120 degree one
                    StoringCase{-1, 10, {10, 130, 250}}, StoringCase{6, 10, {10, 130, 250}}));

TEST(GeometryDefinitions, MatchWhatTheDeviceExpects)
{
    const SwashGeometry::Definition mechanic = SwashGeometry::definition(SwashGeometry::Mechanic);
    EXPECT_EQ(mechanic.travels, (Values{1000, 1000, 0}));
    EXPECT_EQ(mechanic.mixerMode, 4);
    EXPECT_EQ(mechanic.aspect, 2);
    const SwashGeometry::Definition equal = SwashGeometry::definition(SwashGeometry::Angle140Equal);
    EXPECT_EQ(equal.travels, (Values{1000, 1414, 1414}));
    EXPECT_EQ(equal.mixerMode, 7);
    EXPECT_EQ(equal.aspect, 1);
    for (int index = SwashGeometry::Angle90; index <= SwashGeometry::Angle140; ++index) {
        EXPECT_EQ(SwashGeometry::definition(index).travels, (Values{1000, 1000, 1000}));
        EXPECT_EQ(SwashGeometry::definition(index).mixerMode, 7);
        EXPECT_EQ(SwashGeometry::definition(index).aspect, 0);
    }
}

struct SelectionCase {
    const char* what;
    SwashGeometry::Stored stored;
    bool recognised;
    int index;
    int phaseAngle;
};

void PrintTo(const SelectionCase& c, std::ostream* out)
{
    *out << c.what;
}

class GeometrySelection : public testing::TestWithParam<SelectionCase> {};

TEST_P(GeometrySelection, RecognisesOnlyWhatAGeometryStores)
{
    const SelectionCase& c = GetParam();
    const SwashGeometry::Selection selection = SwashGeometry::select(c.stored);
    EXPECT_EQ(selection.recognised, c.recognised);
    EXPECT_EQ(selection.index, c.index);
    EXPECT_EQ(SwashGeometry::phaseAngleOf(c.stored.angles[0]), c.phaseAngle);
}

constexpr int FALLBACK = SwashGeometry::FALLBACK_INDEX;

INSTANTIATE_TEST_SUITE_P(
    Cases, GeometrySelection,
    testing::Values(
        SelectionCase{"equal travel 140", {{0, 135, 225}, {1000, 1414, 1414}, 7}, true,
                      SwashGeometry::Angle140Equal, 0},
        SelectionCase{"120 at -10", {{350, 110, 230}, {1000, 1000, 1000}, 7}, true,
                      SwashGeometry::Angle120, -10},
        SelectionCase{"mechanic at 90", {{90, 180, 0}, {1000, 1000, 0}, 4}, true,
                      SwashGeometry::Mechanic, 90},
        SelectionCase{"125 at 181", {{181, 306, 56}, {1000, 1000, 1000}, 7}, true,
                      SwashGeometry::Angle125, -179},
        SelectionCase{"uneven", {{0, 120, 250}, {1000, 1000, 1000}, 7}, false, FALLBACK, 0},
        SelectionCase{"uneven, mechanic entries", {{0, 90, 280}, {1000, 1000, 0}, 4}, false,
                      FALLBACK, 0},
        // the travels and mode decide the family; its angle must then fit
        SelectionCase{"mechanic travels at 120", {{0, 120, 240}, {1000, 1000, 0}, 4}, false,
                      FALLBACK, 0},
        SelectionCase{"equal travel at 120", {{0, 120, 240}, {1000, 1414, 1414}, 7}, false,
                      FALLBACK, 0},
        SelectionCase{"electronic travels, mode 4", {{0, 120, 240}, {1000, 1000, 1000}, 4},
                      false, FALLBACK, 0},
        SelectionCase{"odd travel", {{0, 120, 240}, {1000, 1000, 900}, 7}, false, FALLBACK, 0},
        SelectionCase{"spacing of no geometry", {{0, 100, 260}, {1000, 1000, 1000}, 7}, false,
                      FALLBACK, 0}),
    NameFromWhat());

// Whatever the window stores must be recognised on the next connection,
// with the same phase angle (or, for -180, its twin 180).
TEST(GeometryRoundTrip, EveryStoredGeometryIsSelectedAgain)
{
    for (int index = 0; index < SwashGeometry::COUNT; ++index) {
        const SwashGeometry::Definition geometry = SwashGeometry::definition(index);
        for (int phase = -180; phase <= 180; ++phase) {
            const SwashGeometry::Stored stored{SwashGeometry::servoAngles(geometry.angle, phase),
                                               geometry.travels, geometry.mixerMode};
            const SwashGeometry::Selection selection = SwashGeometry::select(stored);
            ASSERT_TRUE(selection.recognised) << index << " at " << phase;
            ASSERT_EQ(selection.index, index) << index << " at " << phase;
            ASSERT_EQ(SwashGeometry::phaseAngleOf(stored.angles[0]), phase == -180 ? 180 : phase)
                << index;
        }
    }
}

} // namespace
