#pragma once

namespace ZORVI {

// A digital tail servo needs, after every centre pulse, about a millisecond
// of pause before the next frame: the frame rate may not exceed
// 1000000 / (pulse length + 1000) Hz. The presets of the two tail servo
// lists stand for fixed values that this rule has to know.
class TailServoRule {
public:
    // Preset index of the frame rate list the rule falls back to ("333 Hz").
    static constexpr int REDUCED_FREQUENCY_INDEX = 4;

    // Pulse length in microseconds: index 0 is the user's value, an index
    // the list does not have counts as the factory preset 1520 us.
    static int pulseLength(int presetIndex, int userValue);
    // Frame rate in hertz: index 0 is the user's value, an index the list
    // does not have counts as its highest preset, 560 Hz.
    static int frequency(int presetIndex, int userValue);
    // Highest frame rate the pulse length allows, rounded down.
    static int frequencyLimit(int pulseLength);
    static bool holds(int pulseLength, int frequency);
};

} // namespace ZORVI
