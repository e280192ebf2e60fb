#include "SwashGeometry.h"

namespace ZORVI {

namespace {

constexpr int FULL_TURN = 360;
constexpr int HALF_TURN = 180;
constexpr int UNIT_TRAVEL = 1000;
// Servos 2 and 3 of the "1=1" geometry travel sqrt(2) times as far, so that
// pitch and roll get equal throws.
constexpr int LONG_TRAVEL = 1414;
constexpr int MIXER_MECHANICAL = 4;
constexpr int MIXER_ELECTRONIC = 7;

// Both "140 °" geometries place the servos 135 degrees apart.
const SwashGeometry::Definition DEFINITIONS[SwashGeometry::COUNT] = {
    {90, {UNIT_TRAVEL, UNIT_TRAVEL, 0}, MIXER_MECHANICAL, 2},
    {90, {UNIT_TRAVEL, UNIT_TRAVEL, UNIT_TRAVEL}, MIXER_ELECTRONIC, 0},
    {120, {UNIT_TRAVEL, UNIT_TRAVEL, UNIT_TRAVEL}, MIXER_ELECTRONIC, 0},
    {125, {UNIT_TRAVEL, UNIT_TRAVEL, UNIT_TRAVEL}, MIXER_ELECTRONIC, 0},
    {135, {UNIT_TRAVEL, UNIT_TRAVEL, UNIT_TRAVEL}, MIXER_ELECTRONIC, 0},
    {135, {UNIT_TRAVEL, LONG_TRAVEL, LONG_TRAVEL}, MIXER_ELECTRONIC, 1},
};

int intoFullTurn(int degrees)
{
    while (degrees > FULL_TURN)
        degrees -= FULL_TURN;
    while (degrees < 0)
        degrees += FULL_TURN;
    return degrees;
}

int raisedAboveZero(int degrees)
{
    while (degrees < 0)
        degrees += FULL_TURN;
    return degrees;
}

bool travelsAre(const SwashGeometry::ServoValues& travels, int first, int second, int third)
{
    return travels[0] == first && travels[1] == second && travels[2] == third;
}

SwashGeometry::Selection recognised(int index)
{
    return {true, index};
}

SwashGeometry::Selection notRecognised()
{
    return {false, SwashGeometry::FALLBACK_INDEX};
}

// The first family whose travels and mixer mode fit decides; its angles
// must then fit too.
SwashGeometry::Selection selectBySpacing(const SwashGeometry::Stored& stored, int spacing)
{
    if (travelsAre(stored.travels, UNIT_TRAVEL, UNIT_TRAVEL, 0)
        && stored.mixerMode == MIXER_MECHANICAL)
        return spacing == 90 ? recognised(SwashGeometry::Mechanic) : notRecognised();
    if (travelsAre(stored.travels, UNIT_TRAVEL, UNIT_TRAVEL, UNIT_TRAVEL)
        && stored.mixerMode == MIXER_ELECTRONIC) {
        switch (spacing) {
        case 90: return recognised(SwashGeometry::Angle90);
        case 120: return recognised(SwashGeometry::Angle120);
        case 125: return recognised(SwashGeometry::Angle125);
        case 135: return recognised(SwashGeometry::Angle140);
        default: return notRecognised();
        }
    }
    if (travelsAre(stored.travels, UNIT_TRAVEL, LONG_TRAVEL, LONG_TRAVEL)
        && stored.mixerMode == MIXER_ELECTRONIC)
        return spacing == 135 ? recognised(SwashGeometry::Angle140Equal) : notRecognised();
    return notRecognised();
}

} // namespace

SwashGeometry::Definition SwashGeometry::definition(int index)
{
    if (index < 0 || index >= COUNT)
        return DEFINITIONS[FALLBACK_INDEX];
    return DEFINITIONS[index];
}

SwashGeometry::ServoValues SwashGeometry::servoAngles(int geometryAngle, int phaseAngle)
{
    return {raisedAboveZero(phaseAngle), raisedAboveZero(phaseAngle + geometryAngle),
            raisedAboveZero(phaseAngle - geometryAngle)};
}

SwashGeometry::Selection SwashGeometry::select(const Stored& stored)
{
    const int toServo2 = intoFullTurn(stored.angles[1] - stored.angles[0]);
    const int fromServo3 = intoFullTurn(stored.angles[0] + FULL_TURN - stored.angles[2]);
    if (toServo2 != fromServo3)
        return notRecognised();
    return selectBySpacing(stored, toServo2);
}

int SwashGeometry::phaseAngleOf(int servo1Angle)
{
    while (servo1Angle > HALF_TURN)
        servo1Angle -= FULL_TURN;
    return servo1Angle;
}

} // namespace ZORVI
