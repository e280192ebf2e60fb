#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ZORVI {
namespace EEPROM {

// The device names each of its parameters by a 16-bit ID; its address, limits
// and default come from the device itself. These are the IDs the settings
// program and the command line work with.
enum ParameterId : uint16_t {
    SwashServoFrequencyID = 0x1000,
    SwashServoFrequency = 0x1004,
    SwashMixerID = 0x1040,
    SwashMixerMode = 0x1044,
    SwashServo1Angle = 0x1048,
    SwashServo2Angle = 0x1049,
    SwashServo3Angle = 0x104A,
    SwashServo1Travel = 0x1050,
    SwashServo2Travel = 0x1051,
    SwashServo3Travel = 0x1052,
    TailServoFrequencyID = 0x1058,
    TailServoFrequency = 0x105C,
    TailServoCPPLID = 0x1060,
    TailServoCPPL = 0x1064,
    StickDeadbandID = 0x1098,
    StickDeadband = 0x109C,
    PitchingUpBehaviourID = 0x110C,
    PitchingUpBehaviour = 0x1110,
    PitchBoostID = 0x111E,
    PitchBoost = 0x111F,
    CyclicBoostID = 0x1125,
    CyclicBoost = 0x1126,
    HeadingLockGainID = 0x1154,
    HeadingLockGain = 0x1158,
    RevoMixID = 0x1170,
    TorqueDirection = 0x1174,
    RevoMixPitch = 0x1178,
    RevoMixCyclic = 0x117C,
    TailAsymmetry = 0x1180
};

struct ParameterName {
    uint16_t id;
    const char* name;
};

constexpr ParameterName PARAMETER_NAMES[] = {
    {SwashServoFrequencyID, "SwashServoFrequencyID"},
    {SwashServoFrequency, "SwashServoFrequency"},
    {SwashMixerID, "SwashMixerID"},
    {SwashMixerMode, "SwashMixerMode"},
    {SwashServo1Angle, "SwashServo1Angle"},
    {SwashServo2Angle, "SwashServo2Angle"},
    {SwashServo3Angle, "SwashServo3Angle"},
    {SwashServo1Travel, "SwashServo1Travel"},
    {SwashServo2Travel, "SwashServo2Travel"},
    {SwashServo3Travel, "SwashServo3Travel"},
    {TailServoFrequencyID, "TailServoFrequencyID"},
    {TailServoFrequency, "TailServoFrequency"},
    {TailServoCPPLID, "TailServoCPPLID"},
    {TailServoCPPL, "TailServoCPPL"},
    {StickDeadbandID, "StickDeadbandID"},
    {StickDeadband, "StickDeadband"},
    {PitchingUpBehaviourID, "PitchingUpBehaviourID"},
    {PitchingUpBehaviour, "PitchingUpBehaviour"},
    {PitchBoostID, "PitchBoostID"},
    {PitchBoost, "PitchBoost"},
    {CyclicBoostID, "CyclicBoostID"},
    {CyclicBoost, "CyclicBoost"},
    {HeadingLockGainID, "HeadingLockGainID"},
    {HeadingLockGain, "HeadingLockGain"},
    {RevoMixID, "RevoMixID"},
    {TorqueDirection, "TorqueDirection"},
    {RevoMixPitch, "RevoMixPitch"},
    {RevoMixCyclic, "RevoMixCyclic"},
    {TailAsymmetry, "TailAsymmetry"},
};

constexpr size_t PARAMETER_COUNT = sizeof PARAMETER_NAMES / sizeof PARAMETER_NAMES[0];
static_assert(PARAMETER_COUNT == 29, "the settings program uses 29 parameters");

// The name of an ID of the table, or null.
inline const char* parameterName(uint16_t id)
{
    for (const ParameterName& entry : PARAMETER_NAMES)
        if (entry.id == id)
            return entry.name;
    return nullptr;
}

// Every ID of the table, in its order.
inline std::vector<uint16_t> parameterIds()
{
    std::vector<uint16_t> ids;
    for (const ParameterName& entry : PARAMETER_NAMES)
        ids.push_back(entry.id);
    return ids;
}

// The ID of a name of the table; false for any other name.
inline bool parameterId(const char* name, uint16_t* id)
{
    for (const ParameterName& entry : PARAMETER_NAMES) {
        if (std::strcmp(entry.name, name) == 0) {
            *id = entry.id;
            return true;
        }
    }
    return false;
}

} // namespace EEPROM
} // namespace ZORVI
