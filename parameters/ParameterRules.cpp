#include "ParameterRules.h"

#include "ParameterIds.h"
#include "SwashGeometry.h"
#include "TailServoRule.h"

#include <algorithm>
#include <cctype>

namespace ZORVI {
namespace Rules {

using namespace EEPROM;

namespace {

struct PresetList {
    uint16_t id;
    int count;
};

// The preset lists of the settings window, item "User Defined" included.
constexpr PresetList PRESET_LISTS[] = {
    {SwashServoFrequencyID, 6}, {TailServoCPPLID, 4},       {TailServoFrequencyID, 6},
    {SwashMixerID, 6},          {PitchingUpBehaviourID, 6}, {HeadingLockGainID, 6},
    {StickDeadbandID, 6},       {RevoMixID, 6},             {CyclicBoostID, 6},
    {PitchBoostID, 6},
};

constexpr uint16_t GEOMETRY_ENTRIES[] = {SwashServo1Travel, SwashServo2Travel, SwashServo3Travel,
                                         SwashMixerMode,    SwashServo1Angle,  SwashServo2Angle,
                                         SwashServo3Angle};

constexpr uint16_t TAIL_SERVO_ENTRIES[] = {TailServoCPPLID, TailServoCPPL, TailServoFrequencyID,
                                           TailServoFrequency};

constexpr int TORQUE_NORMAL = 1;
constexpr int TORQUE_REVERSE = -1;

struct GeometryName {
    int index;
    const char* text;      // as the geometry list shows it
    const char* shortName; // for a command line
};

const GeometryName GEOMETRY_NAMES[] = {
    {SwashGeometry::Mechanic, "Mechanic", "mechanic"},
    {SwashGeometry::Angle90, "90 °", "90"},
    {SwashGeometry::Angle120, "120 °", "120"},
    {SwashGeometry::Angle125, "125 °", "125"},
    {SwashGeometry::Angle140, "140 °", "140"},
    {SwashGeometry::Angle140Equal, "140 ° (1=1)", "140-1:1"},
};

template <typename Container>
bool contains(const Container& ids, uint16_t id)
{
    return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
}

template <typename Container>
bool hasAll(const Parameters& device, const Container& ids)
{
    for (uint16_t id : ids)
        if (device.count(id) == 0)
            return false;
    return true;
}

bool touchesAny(const Changes& request, bool (*belongs)(uint16_t))
{
    for (const Change& change : request)
        if (belongs(change.id))
            return true;
    return false;
}

bool withinLimits(const Limits& limits, int value)
{
    return value >= limits.minimum && value <= limits.maximum;
}

int clamped(const Limits& limits, int value)
{
    return std::max(limits.minimum, std::min(limits.maximum, value));
}

bool fits(const Parameters& device, uint16_t id, int value)
{
    const auto found = device.find(id);
    return found != device.end() && withinLimits(found->second.limits, value);
}

// Changes with later ones replacing earlier ones of the same ID.
Changes merged(Changes changes, const Changes& overrides)
{
    for (const Change& change : overrides) {
        auto same = std::find_if(changes.begin(), changes.end(),
                                 [&](const Change& c) { return c.id == change.id; });
        if (same != changes.end())
            same->value = change.value;
        else
            changes.push_back(change);
    }
    return changes;
}

int valueOf(const Parameters& device, uint16_t id)
{
    return device.at(id).value;
}

bool isListedPreset(uint16_t id, const Limits& limits, int value)
{
    return withinLimits(limits, value) && value >= 0 && value < presetCount(id);
}

bool isDirection(int value)
{
    return value == TORQUE_NORMAL || value == TORQUE_REVERSE;
}

// The value a device's entry is shown and stored as when the window cannot
// show what it holds: a value row's nearest limit; for a preset index the
// list does not have, the device's default preset (else "User Defined"); for
// a torque direction that is neither 1 nor -1, the device's own default
// direction (else reverse): no other value says which way the main rotor
// turns, and only the device's default is a guess the device itself made.
int displayableValue(uint16_t id, const Parameter& parameter)
{
    const Limits& limits = parameter.limits;
    if (presetCount(id) > 0) {
        if (isListedPreset(id, limits, parameter.value))
            return parameter.value;
        return isListedPreset(id, limits, limits.defaultValue) ? limits.defaultValue
                                                                : clamped(limits, 0);
    }
    if (id == TorqueDirection && !isDirection(parameter.value))
        return isDirection(limits.defaultValue) && withinLimits(limits, limits.defaultValue)
            ? limits.defaultValue
            : clamped(limits, TORQUE_REVERSE);
    return clamped(limits, parameter.value);
}

// A tail servo set-up that not even the lowering fits: the frame rate
// becomes the user-defined highest rate the pulse length allows.
Changes tailServoFallback(const Parameters& device, int frequencyLimit)
{
    Changes fallback;
    if (valueOf(device, TailServoFrequencyID) != 0)
        fallback.push_back({TailServoFrequencyID, 0});
    fallback.push_back(
        {TailServoFrequency, clamped(device.at(TailServoFrequency).limits, frequencyLimit)});
    return fallback;
}

} // namespace

int presetCount(uint16_t id)
{
    for (const PresetList& list : PRESET_LISTS)
        if (list.id == id)
            return list.count;
    return 0;
}

bool isGeometryEntry(uint16_t id)
{
    return contains(GEOMETRY_ENTRIES, id);
}

bool isTailServoEntry(uint16_t id)
{
    return contains(TAIL_SERVO_ENTRIES, id);
}

Parameters applied(Parameters device, const Changes& changes)
{
    for (const Change& change : changes) {
        auto found = device.find(change.id);
        if (found != device.end())
            found->second.value = change.value;
    }
    return device;
}

Verdict checkValue(uint16_t id, int value, const Parameters& device)
{
    Verdict verdict;
    verdict.id = id;
    verdict.value = value;
    const auto found = device.find(id);
    if (found == device.end()) {
        verdict.refusal = Refusal::NotDescribed;
        return verdict;
    }
    verdict.limits = found->second.limits;
    const int count = presetCount(id);
    if (!withinLimits(verdict.limits, value))
        verdict.refusal = Refusal::OutOfRange;
    else if (count > 0 && (value < 0 || value >= count))
        verdict.refusal = Refusal::NotAPreset;
    else if (id == TorqueDirection && !isDirection(value))
        verdict.refusal = Refusal::NotADirection;
    return verdict;
}

TailServoOutcome checkTailServoRule(const Parameters& device, const Changes& request)
{
    TailServoOutcome outcome;
    const Parameters after = applied(device, request);
    if (!hasAll(after, TAIL_SERVO_ENTRIES))
        return outcome; // nothing to compare without the device's description
    outcome.pulseLength = TailServoRule::pulseLength(valueOf(after, TailServoCPPLID),
                                                     valueOf(after, TailServoCPPL));
    outcome.frequencyLimit = TailServoRule::frequencyLimit(outcome.pulseLength);
    const int frequency = TailServoRule::frequency(valueOf(after, TailServoFrequencyID),
                                                   valueOf(after, TailServoFrequency));
    if (TailServoRule::holds(outcome.pulseLength, frequency))
        return outcome;

    if (valueOf(after, TailServoFrequencyID) != 0) {
        const int reducedIndex = TailServoRule::REDUCED_FREQUENCY_INDEX;
        const int reduced = TailServoRule::frequency(reducedIndex, 0);
        outcome.kind = TailServoRule::holds(outcome.pulseLength, reduced)
                && fits(after, TailServoFrequencyID, reducedIndex)
            ? TailServoOutcome::ReducedToPreset
            : TailServoOutcome::Unsatisfiable;
        if (outcome.kind == TailServoOutcome::ReducedToPreset)
            outcome.corrections = {{TailServoFrequencyID, reducedIndex}};
        return outcome;
    }
    outcome.kind = fits(after, TailServoFrequency, outcome.frequencyLimit)
        ? TailServoOutcome::ReducedToLimit
        : TailServoOutcome::Unsatisfiable;
    if (outcome.kind == TailServoOutcome::ReducedToLimit)
        outcome.corrections = {{TailServoFrequency, outcome.frequencyLimit}};
    return outcome;
}

Changes geometryChanges(int geometryIndex, int phaseAngle)
{
    const SwashGeometry::Definition geometry = SwashGeometry::definition(geometryIndex);
    const SwashGeometry::ServoValues angles = SwashGeometry::servoAngles(geometry.angle, phaseAngle);
    return {{SwashServo1Travel, geometry.travels[0]},
            {SwashServo2Travel, geometry.travels[1]},
            {SwashServo3Travel, geometry.travels[2]},
            {SwashMixerMode, geometry.mixerMode},
            {SwashServo1Angle, angles[0]},
            {SwashServo2Angle, angles[1]},
            {SwashServo3Angle, angles[2]}};
}

bool geometryByName(const std::string& name, int* geometryIndex)
{
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const GeometryName& geometry : GEOMETRY_NAMES) {
        std::string text = geometry.text;
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower == text || lower == geometry.shortName) {
            *geometryIndex = geometry.index;
            return true;
        }
    }
    return false;
}

std::string geometryNames()
{
    std::string names;
    for (const GeometryName& geometry : GEOMETRY_NAMES) {
        if (!names.empty())
            names += ", ";
        names += std::string(geometry.shortName) + " (\"" + geometry.text + "\")";
    }
    return names;
}

StoredGeometry storedGeometry(const Parameters& device)
{
    StoredGeometry result;
    if (!hasAll(device, GEOMETRY_ENTRIES))
        return result;
    SwashGeometry::Stored stored;
    stored.angles = {valueOf(device, SwashServo1Angle), valueOf(device, SwashServo2Angle),
                     valueOf(device, SwashServo3Angle)};
    stored.travels = {valueOf(device, SwashServo1Travel), valueOf(device, SwashServo2Travel),
                      valueOf(device, SwashServo3Travel)};
    stored.mixerMode = valueOf(device, SwashMixerMode);
    const SwashGeometry::Selection selection = SwashGeometry::select(stored);
    result.recognised = selection.recognised;
    result.index = selection.index;
    result.phaseAngle = SwashGeometry::phaseAngleOf(stored.angles[0]);
    return result;
}

ChangeOutcome checkChanges(const Parameters& device, const Changes& request)
{
    ChangeOutcome outcome;
    for (const Change& change : request) {
        outcome.verdict = checkValue(change.id, change.value, device);
        if (!outcome.verdict.accepted())
            return outcome;
    }
    for (const Change& change : request) {
        if (isGeometryEntry(change.id) && !storedGeometry(applied(device, request)).recognised) {
            outcome.verdict.refusal = Refusal::GeometryEntry;
            outcome.verdict.id = change.id;
            outcome.verdict.value = change.value;
            outcome.verdict.limits = device.at(change.id).limits;
            return outcome;
        }
    }
    outcome.changes = request;
    if (!touchesAny(request, isTailServoEntry))
        return outcome;
    outcome.tailServo = checkTailServoRule(device, request);
    if (outcome.tailServo.kind == TailServoOutcome::Unsatisfiable) {
        const auto tailChange = std::find_if(request.begin(), request.end(),
                                             [](const Change& c) { return isTailServoEntry(c.id); });
        outcome.verdict.refusal = Refusal::TailServoRule;
        outcome.verdict.id = tailChange->id;
        outcome.verdict.value = tailChange->value;
        outcome.verdict.limits = device.at(tailChange->id).limits;
        outcome.changes.clear();
        return outcome;
    }
    outcome.changes = merged(request, outcome.tailServo.corrections);
    return outcome;
}

std::vector<Correction> corrections(const Parameters& device)
{
    Parameters corrected = device;
    for (auto& [id, parameter] : corrected)
        parameter.value = displayableValue(id, parameter);

    const TailServoOutcome tailServo = checkTailServoRule(corrected, {});
    if (tailServo.kind == TailServoOutcome::Unsatisfiable)
        corrected = applied(corrected, tailServoFallback(corrected, tailServo.frequencyLimit));
    else
        corrected = applied(corrected, tailServo.corrections);

    if (hasAll(corrected, GEOMETRY_ENTRIES)) {
        const StoredGeometry geometry = storedGeometry(corrected);
        if (!geometry.recognised)
            corrected = applied(corrected, geometryChanges(SwashGeometry::FALLBACK_INDEX,
                                                           geometry.phaseAngle));
    }

    std::vector<Correction> result;
    for (const auto& [id, parameter] : device) {
        const int to = corrected.at(id).value;
        if (to != parameter.value)
            result.push_back({id, parameter.value, to});
    }
    return result;
}

} // namespace Rules
} // namespace ZORVI
