#include "SetCommand.h"

#include "ParameterIds.h"
#include "ParameterRules.h"
#include "CommandWords.h"
#include "DeviceSession.h"
#include "ParameterSession.h"
#include "RuleTexts.h"
#include "SetRequest.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

namespace {

using Rules::TailServoOutcome;

void explainRefusal(const Rules::Verdict& verdict, const TailServoOutcome& tailServo)
{
    std::fprintf(stderr, "zorvik: %s\n", RuleTexts::refusal(verdict, tailServo).c_str());
}

// The settings window lowers a frame rate the tail servo's pulse does not
// allow and says so; here the user is told what to ask for instead, so that
// nothing is stored that was not asked for.
void explainLowering(const Rules::Parameters& device, const Rules::Changes& changes,
                     const TailServoOutcome& tailServo)
{
    bool asked = false;
    const std::string tooFast = RuleTexts::tooFast(device, changes, tailServo, &asked);
    std::fprintf(stderr, "zorvik: %s%s; ask for %s %s\n", asked ? "" : "the device's ",
                 tooFast.c_str(), RuleTexts::lowering(tailServo).c_str(),
                 asked ? "instead" : "as well");
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
    if (RuleTexts::isLowering(outcome.tailServo.kind)) {
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
        session.reportWriteFailure(session.lastFailure());
        return DeviceSession::exitFor(session.lastFailure());
    }
    for (uint16_t id : pending)
        std::printf("%s=%d\n", EEPROM::parameterName(id), memory.getValue(id));
    std::printf("Settings successfully stored (%d written).\n", int(pending.size()));
    return EXIT_OK;
}

} // namespace

int SetCommand::run(const std::vector<std::string>& args)
{
    CommandWords words;
    if (!words.split(args, {}, synopsis()))
        return EXIT_USAGE;
    const std::vector<std::string>& operands = words.operands();
    if (operands.size() < 2) {
        CommandWords::printUsage(synopsis());
        return EXIT_USAGE;
    }
    SetRequest request;
    if (!request.parse(std::vector<std::string>(operands.begin() + 1, operands.end()))) {
        std::fprintf(stderr, "zorvik: nothing written\n");
        return EXIT_USAGE;
    }

    ParameterSession session;
    const int connected = session.connect(operands.front(), readOrder(request));
    if (connected != EXIT_OK)
        return connected;
    EEPROM::ParameterMemory& memory = session.memory();

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
