#include "TailServoRule.h"

namespace ZORVI {

namespace {

constexpr int MICROSECONDS_PER_SECOND = 1000000;
constexpr int PAUSE_AFTER_PULSE_US = 1000;

} // namespace

int TailServoRule::pulseLength(int presetIndex, int userValue)
{
    switch (presetIndex) {
    case 0: return userValue;
    case 1: return 960;
    case 2: return 760;
    default: return 1520;
    }
}

int TailServoRule::frequency(int presetIndex, int userValue)
{
    switch (presetIndex) {
    case 0: return userValue;
    case 1: return 50;
    case 2: return 165;
    case 3: return 270;
    case 4: return 333;
    default: return 560;
    }
}

int TailServoRule::frequencyLimit(int pulseLength)
{
    const int period = pulseLength + PAUSE_AFTER_PULSE_US;
    // A period of no length allows no frame rate at all.
    return period > 0 ? MICROSECONDS_PER_SECOND / period : 0;
}

bool TailServoRule::holds(int pulseLength, int frequency)
{
    return frequency <= frequencyLimit(pulseLength);
}

} // namespace ZORVI
