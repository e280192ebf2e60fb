#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ZORVI {
namespace Rules {

// The rules every front end (settings window, command line, settings files)
// applies before anything is stored in the device's parameter memory. They
// work on plain numbers: what the device holds and what is asked for.

struct Limits {
    int minimum = 0;
    int maximum = 0;
    int defaultValue = 0;
};

// One parameter the device has described and whose value is known: the
// value it holds, or the one it will hold once pending changes are written.
struct Parameter {
    int value = 0;
    Limits limits;
};
using Parameters = std::map<uint16_t, Parameter>;

struct Change {
    uint16_t id;
    int value;
    bool operator==(const Change& other) const { return id == other.id && value == other.value; }
};
using Changes = std::vector<Change>;

enum class Refusal {
    None,
    NotDescribed,   // the device did not describe the parameter
    OutOfRange,     // outside the device's limits
    NotAPreset,     // a preset index the list does not have
    NotADirection,  // the torque direction is 1 or -1
    GeometryEntry,  // the swash entries are set only as a whole geometry
    TailServoRule   // no frame rate fits the tail servo's pulse length
};

struct Verdict {
    Refusal refusal = Refusal::None;
    uint16_t id = 0;
    int value = 0;
    Limits limits;
    bool accepted() const { return refusal == Refusal::None; }
};

// Items of the preset list whose index an entry holds; 0 for entries that
// are no preset index.
int presetCount(uint16_t id);
bool isGeometryEntry(uint16_t id);
bool isTailServoEntry(uint16_t id);

// One value on its own: described, within the device's limits, a preset the
// list has, a torque direction of 1 or -1.
Verdict checkValue(uint16_t id, int value, const Parameters& device);

// A tail servo frame rate above 1000000 / (pulse length + 1000) Hz is never
// stored. A preset frame rate is lowered to the "333 Hz" preset, a
// user-defined one to the highest rate the pulse length allows.
struct TailServoOutcome {
    enum Kind {
        Holds,           // the rule holds with the changes as asked
        ReducedToPreset, // the frame rate preset was lowered to "333 Hz"
        ReducedToLimit,  // the user-defined frame rate was lowered to the limit
        Unsatisfiable    // the rule's lowering would still break it: nothing is stored
    };
    Kind kind = Holds;
    int pulseLength = 0;
    int frequencyLimit = 0;
    Changes corrections; // the lowering, for ReducedToPreset and ReducedToLimit
};
TailServoOutcome checkTailServoRule(const Parameters& device, const Changes& request);

// The seven swash entries of a geometry (a position in the geometry list) at
// a phase angle, in the order they are stored.
Changes geometryChanges(int geometryIndex, int phaseAngle);
// The geometry list position of a name: the list's texts ("120 °") or their
// short forms ("120", "140-1:1", "mechanic"). False for anything else.
bool geometryByName(const std::string& name, int* geometryIndex);
// The list's texts and short forms, for messages.
std::string geometryNames();
struct StoredGeometry {
    bool recognised = false;
    int index = 0;
    int phaseAngle = 0;
};
StoredGeometry storedGeometry(const Parameters& device);

// A set of changes checked as a whole, as every front end stores it: each
// value on its own, the swash entries only as a recognised geometry, and
// the tail servo rule over all of them. When the rule lowers the frame rate,
// `changes` carries the lowering in place of the frame rate asked for; the
// window applies it and tells the user, the command line refuses it and
// names it.
struct ChangeOutcome {
    Verdict verdict;
    TailServoOutcome tailServo;
    Changes changes; // what to store when the verdict accepts
};
ChangeOutcome checkChanges(const Parameters& device, const Changes& request);

// What a device holds that the settings window cannot show as it is, or that
// the rules would correct: values outside their limits, preset indexes the
// lists do not have, a torque direction other than 1 or -1, a tail servo
// frame rate its pulse length does not allow, swash entries that form no
// geometry. Each with the value it would become (a torque direction that is
// neither 1 nor -1 becomes the device's default direction, when that is one).
struct Correction {
    uint16_t id;
    int from;
    int to;
};
std::vector<Correction> corrections(const Parameters& device);

// The whole device state after the changes.
Parameters applied(Parameters device, const Changes& changes);

} // namespace Rules
} // namespace ZORVI
