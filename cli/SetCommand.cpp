#include "SetCommand.h"

#include "ParameterIds.h"
#include "ParameterRules.h"
#include "ParameterSession.h"
#include "SetRequest.h"
#include "TailServoRule.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

namespace {

using EEPROM::TailServoFrequency;
using EEPROM::TailServoFrequencyID;
using Rules::Refusal;
using Rules::TailServoOutcome;

std::string textOf(uint16_t id, int value)
{
    return std::string(EEPROM::parameterName(id)) + "=" + std::to_string(value);
}

// A frame rate as the user asks for it, with the rate a preset stands for.
std::string frequencyText(uint16_t id, int value)
{
    std::string text = textOf(id, value);
    if (id == TailServoFrequencyID && value != 0)
        text += " (" + std::to_string(TailServoRule::frequency(value, 0)) + " Hz)";
    return text;
}

bool asks(const Rules::Changes& changes, uint16_t id)
{
    return std::any_of(changes.begin(), changes.end(),
                       [id](const Rules::Change& change) { return change.id == id; });
}

void explainRefusal(const Rules::Verdict& verdict, const TailServoOutcome& tailServo)
{
    std::string refused = textOf(verdict.id, verdict.value);
    if (Rules::isGeometryEntry(verdict.id))
        refused += " (of the swash plate geometry asked for)";
    const char* text = refused.c_str();
    const Rules::Limits& limits = verdict.limits;
    switch (verdict.refusal) {
    case Refusal::None: break;
    case Refusal::NotDescribed:
        std::fprintf(stderr, "zorvik: %s refused: the device does not describe this parameter\n",
                     text);
        break;
    case Refusal::OutOfRange:
        std::fprintf(stderr, "zorvik: %s refused: allowed are %d to %d\n", text, limits.minimum,
                     limits.maximum);
        break;
    case Refusal::NotAPreset:
        std::fprintf(stderr, "zorvik: %s refused: allowed are 0 to %d (the list's presets)\n",
                     text, Rules::presetCount(verdict.id) - 1);
        break;
    case Refusal::NotADirection:
        std::fprintf(stderr, "zorvik: %s refused: allowed are 1 (normal) or -1 (reverse)\n", text);
        break;
    case Refusal::GeometryEntry:
        std::fprintf(stderr,
                     "zorvik: %s refused: the swash plate entries would form no geometry; use "
                     "SwashGeometry=NAME and SwashPhase=DEG\n",
                     text);
        break;
    case Refusal::TailServoRule:
        std::fprintf(stderr,
                     "zorvik: %s refused: a tail servo centre pulse of %d us allows a frame rate "
                     "of at most %d Hz, and no lowering of the frame rate fits; ask for a "
                     "shorter centre pulse, or a frame rate of at most %d Hz that the device "
                     "takes\n",
                     text, tailServo.pulseLength, tailServo.frequencyLimit,
                     tailServo.frequencyLimit);
        break;
    }
}

// The settings window lowers a frame rate the tail servo's pulse does not
// allow and says so; here the user is told what to ask for instead, so that
// nothing is stored that was not asked for.
void explainLowering(const Rules::Parameters& device, const Rules::Changes& changes,
                     const TailServoOutcome& tailServo)
{
    const Rules::Parameters after = Rules::applied(device, changes);
    const uint16_t rateId =
        after.at(TailServoFrequencyID).value != 0 ? TailServoFrequencyID : TailServoFrequency;
    const bool asked = asks(changes, rateId);
    std::string lowering;
    for (const Rules::Change& correction : tailServo.corrections)
        lowering += (lowering.empty() ? "" : " ") + frequencyText(correction.id, correction.value);
    const std::string rate = frequencyText(rateId, after.at(rateId).value);
    std::fprintf(stderr,
                 "zorvik: %s%s is too fast for a centre pulse of %d us (at most %d Hz); ask for "
                 "%s %s\n",
                 asked ? "" : "the device's ", rate.c_str(), tailServo.pulseLength,
                 tailServo.frequencyLimit, lowering.c_str(), asked ? "instead" : "as well");
}

bool isLowering(TailServoOutcome::Kind kind)
{
    return kind == TailServoOutcome::ReducedToPreset || kind == TailServoOutcome::ReducedToLimit;
}

// True when the rules take the changes exactly as asked; otherwise every
// refusal is told on standard error.
bool acceptedAsAsked(const Rules::Parameters& device, const Rules::Changes& changes)
{
    int refused = 0;
    for (const Rules::Change& change : changes) {
        const Rules::Verdict verdict = Rules::checkValue(change.id, change.value, device);
        if (!verdict.accepted()) {
            explainRefusal(verdict, TailServoOutcome());
            ++refused;
        }
    }
    if (refused > 0)
        return false;
    const Rules::ChangeOutcome outcome = Rules::checkChanges(device, changes);
    if (!outcome.verdict.accepted()) {
        explainRefusal(outcome.verdict, outcome.tailServo);
        return false;
    }
    if (isLowering(outcome.tailServo.kind)) {
        explainLowering(device, changes, outcome.tailServo);
        return false;
    }
    if (outcome.changes != changes) {
        std::fprintf(stderr, "zorvik: the parameter rules would store other values than asked\n");
        return false;
    }
    return true;
}

// The request's entries first: the memory writes its changes in the order
// its entries were first used, so that is the command line's order. Then
// every other parameter, so that the rules see the whole tail servo set-up
// and swash plate geometry the request changes.
std::vector<uint16_t> readOrder(const SetRequest& request)
{
    std::vector<uint16_t> ids;
    for (uint16_t id : request.ids())
        ids.push_back(id);
    for (const EEPROM::ParameterName& parameter : EEPROM::PARAMETER_NAMES)
        if (std::find(ids.begin(), ids.end(), parameter.id) == ids.end())
            ids.push_back(parameter.id);
    return ids;
}

void printUnchanged(const SetRequest& request, const std::vector<uint16_t>& pending)
{
    for (const SetRequest::Assignment& assignment : request.assignments()) {
        const std::vector<uint16_t> ids = SetRequest::idsOf(assignment);
        const bool changes = std::find_first_of(ids.begin(), ids.end(), pending.begin(),
                                                pending.end())
            != ids.end();
        if (!changes)
            std::printf("%s: unchanged, the device holds it already\n", assignment.text.c_str());
    }
}

int store(ParameterSession& session, const SetRequest& request, const Rules::Changes& changes)
{
    EEPROM::ParameterMemory& memory = session.memory();
    for (const Rules::Change& change : changes)
        memory.set(change.id, change.value);
    const std::vector<uint16_t> pending = memory.changedIds();
    printUnchanged(request, pending);
    if (pending.empty())
        return EXIT_OK;
    if (!memory.writeChanges()) {
        // Only a refusal says what the device holds; a write that went
        // unanswered may have been stored or not.
        if (session.lastFailure() == LinkFailure::Refused)
            std::fprintf(stderr, "zorvik: the device refused the write; nothing was stored\n");
        else
            std::fprintf(stderr, "zorvik: the device did not confirm the write; what it holds "
                                 "now is not known: check it with zorvik params\n");
        session.reportLinkFailure();
        return EXIT_NO_DEVICE;
    }
    for (uint16_t id : pending)
        std::printf("%s=%d\n", EEPROM::parameterName(id), memory.getValue(id));
    std::printf("Settings successfully stored (%d written).\n", int(pending.size()));
    return EXIT_OK;
}

} // namespace

int SetCommand::run(const std::vector<std::string>& args)
{
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }
    SetRequest request;
    if (!request.parse(std::vector<std::string>(args.begin() + 1, args.end()))) {
        std::fprintf(stderr, "zorvik: nothing written\n");
        return EXIT_USAGE;
    }

    ParameterSession session;
    const int connected = session.connect(args[0]);
    if (connected != EXIT_OK)
        return connected;
    EEPROM::ParameterMemory& memory = session.memory();
    memory.load(readOrder(request));

    const Rules::Parameters device = memory.snapshot();
    Rules::Changes changes;
    if (!request.changes(device, &changes) || !acceptedAsAsked(device, changes)) {
        std::fprintf(stderr, "zorvik: nothing written; the device keeps all its values\n");
        return EXIT_USAGE;
    }
    return store(session, request, changes);
}

} // namespace Cli
} // namespace ZORVI
