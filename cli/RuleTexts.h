#pragma once

#include "ParameterRules.h"

#include <cstdint>
#include <string>

namespace ZORVI {
namespace Cli {

// How the command line words what the parameter rules decide, the same for
// `set` and for loading a settings file or the defaults: settings as
// NAME=VALUE under the names `params` lists, a refusal with what is allowed,
// a tail servo frame rate its centre pulse does not allow.
class RuleTexts {
public:
    // "StickDeadband=9".
    static std::string setting(uint16_t id, int value);
    // A frame rate as asked for, with the rate a preset stands for:
    // "TailServoFrequencyID=4 (560 Hz)".
    static std::string frequency(uint16_t id, int value);
    // "StickDeadband=30 refused: allowed are 0 to 25", for any refusal;
    // empty for an accepted verdict.
    static std::string refusal(const Rules::Verdict& verdict,
                               const Rules::TailServoOutcome& tailServo);
    // The frame rate the tail servo rule lowers, as the device would hold
    // it after the changes: "TailServoFrequencyID=4 (560 Hz) is too fast for
    // a centre pulse of 1520 us (at most 396 Hz)". `asked` tells whether the
    // changes name that rate (else it is the device's).
    static std::string tooFast(const Rules::Parameters& device, const Rules::Changes& changes,
                               const Rules::TailServoOutcome& tailServo, bool* asked);
    // The lowering itself: "TailServoFrequencyID=5 (333 Hz)".
    static std::string lowering(const Rules::TailServoOutcome& tailServo);
    static bool isLowering(Rules::TailServoOutcome::Kind kind);
};

} // namespace Cli
} // namespace ZORVI
