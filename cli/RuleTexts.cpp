#include "RuleTexts.h"

#include "ParameterIds.h"
#include "TailServoRule.h"

#include <algorithm>

namespace ZORVI {
namespace Cli {

namespace {

using EEPROM::TailServoFrequency;
using EEPROM::TailServoFrequencyID;
using Rules::Refusal;
using Rules::TailServoOutcome;

bool asks(const Rules::Changes& changes, uint16_t id)
{
    return std::any_of(changes.begin(), changes.end(),
                       [id](const Rules::Change& change) { return change.id == id; });
}

std::string allowed(int from, int to)
{
    return "allowed are " + std::to_string(from) + " to " + std::to_string(to);
}

std::string reasonOf(const Rules::Verdict& verdict, const TailServoOutcome& tailServo)
{
    const std::string pulse = std::to_string(tailServo.pulseLength);
    const std::string limit = std::to_string(tailServo.frequencyLimit);
    switch (verdict.refusal) {
    case Refusal::None: break;
    case Refusal::NotDescribed: return "the device does not describe this parameter";
    case Refusal::OutOfRange: return allowed(verdict.limits.minimum, verdict.limits.maximum);
    case Refusal::NotAPreset:
        return allowed(0, Rules::presetCount(verdict.id) - 1) + " (the list's presets)";
    case Refusal::NotADirection: return "allowed are 1 (normal) or -1 (reverse)";
    case Refusal::GeometryEntry:
        return "the swash plate entries would form no geometry; use SwashGeometry=NAME and "
               "SwashPhase=DEG";
    case Refusal::TailServoRule:
        return "a tail servo centre pulse of " + pulse + " us allows a frame rate of at most "
            + limit + " Hz, and no lowering of the frame rate fits; ask for a shorter centre "
                      "pulse, or a frame rate of at most "
            + limit + " Hz that the device takes";
    }
    return std::string();
}

} // namespace

std::string RuleTexts::setting(uint16_t id, int value)
{
    return std::string(EEPROM::parameterName(id)) + "=" + std::to_string(value);
}

std::string RuleTexts::frequency(uint16_t id, int value)
{
    std::string text = setting(id, value);
    if (id == TailServoFrequencyID && value != 0)
        text += " (" + std::to_string(TailServoRule::frequency(value, 0)) + " Hz)";
    return text;
}

std::string RuleTexts::refusal(const Rules::Verdict& verdict, const TailServoOutcome& tailServo)
{
    if (verdict.accepted())
        return std::string();
    std::string refused = setting(verdict.id, verdict.value);
    if (Rules::isGeometryEntry(verdict.id))
        refused += " (of the swash plate geometry asked for)";
    return refused + " refused: " + reasonOf(verdict, tailServo);
}

std::string RuleTexts::tooFast(const Rules::Parameters& device, const Rules::Changes& changes,
                               const TailServoOutcome& tailServo, bool* asked)
{
    const Rules::Parameters after = Rules::applied(device, changes);
    const uint16_t rateId =
        after.at(TailServoFrequencyID).value != 0 ? TailServoFrequencyID : TailServoFrequency;
    *asked = asks(changes, rateId);
    return frequency(rateId, after.at(rateId).value) + " is too fast for a centre pulse of "
        + std::to_string(tailServo.pulseLength) + " us (at most "
        + std::to_string(tailServo.frequencyLimit) + " Hz)";
}

std::string RuleTexts::lowering(const TailServoOutcome& tailServo)
{
    std::string text;
    for (const Rules::Change& correction : tailServo.corrections)
        text += (text.empty() ? "" : " ") + frequency(correction.id, correction.value);
    return text;
}

bool RuleTexts::isLowering(TailServoOutcome::Kind kind)
{
    return kind == TailServoOutcome::ReducedToPreset || kind == TailServoOutcome::ReducedToLimit;
}

} // namespace Cli
} // namespace ZORVI
