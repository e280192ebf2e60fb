#include "SimulatorSetup.h"

namespace ZORVI {
namespace Simulator {

namespace {

using Parameter = ParameterTable::Parameter;

// Every ID of the factory table, for the message that names a wrong one.
std::string knownIds()
{
    const ParameterTable factory;
    std::string list;
    for (const Parameter& parameter : factory.parameters())
        list += (list.empty() ? "" : ", ") + ParameterTable::hexWord(parameter.id);
    return list;
}

std::string named(const Parameter& parameter)
{
    return std::string(parameter.name) + " (" + ParameterTable::hexWord(parameter.id) + ")";
}

// "--address 0x1180=0x0200: ", the start of a message about that option.
std::string placementOption(uint16_t id, uint16_t address)
{
    return "--address " + ParameterTable::hexWord(id) + "=" + ParameterTable::hexWord(address)
        + ": ";
}

} // namespace

bool SimulatorSetup::prepareParameters(const SimulatorOptions& options,
                                       ParameterTable& parameters, std::string& error,
                                       std::vector<std::string>& warnings)
{
    return describeParameters(options, parameters, error)
        && attachState(options, parameters, error, warnings);
}

// Left out first: an address a left-out parameter had is free for another.
bool SimulatorSetup::describeParameters(const SimulatorOptions& options,
                                        ParameterTable& parameters, std::string& error)
{
    return leaveOut(options, parameters, error) && place(options, parameters, error)
        && limit(options, parameters, error);
}

bool SimulatorSetup::attachState(const SimulatorOptions& options, ParameterTable& parameters,
                                 std::string& error, std::vector<std::string>& warnings)
{
    if (options.statePath.empty())
        return true;
    return parameters.attachStateFile(options.statePath, error, warnings);
}

std::string SimulatorSetup::missing(const ParameterTable& parameters, uint16_t id)
{
    if (parameters.findById(id))
        return std::string();
    if (parameters.isLeftOut(id))
        return ParameterTable::hexWord(id) + " is left out with --without";
    return ParameterTable::hexWord(id) + " is not one of the device's parameter IDs ("
        + knownIds() + ")";
}

bool SimulatorSetup::leaveOut(const SimulatorOptions& options, ParameterTable& parameters,
                              std::string& error)
{
    for (uint16_t id : options.without) {
        if (!parameters.leaveOut(id)) {
            error = "--without " + ParameterTable::hexWord(id) + ": " + missing(parameters, id);
            return false;
        }
    }
    // Left out only after an update, but checked now.
    for (uint16_t id : options.updateWithout) {
        if (!parameters.findById(id) && !parameters.isLeftOut(id)) {
            error = "--update-without " + ParameterTable::hexWord(id) + ": "
                + missing(parameters, id);
            return false;
        }
    }
    return true;
}

bool SimulatorSetup::place(const SimulatorOptions& options, ParameterTable& parameters,
                           std::string& error)
{
    for (const SimulatorOptions::Placement& placement : options.placements) {
        const std::string option = placementOption(placement.id, placement.address);
        const std::string why = missing(parameters, placement.id);
        if (!why.empty()) {
            error = option + why;
            return false;
        }
        if (placement.address >= ParameterTable::MEMORY_WORDS) {
            error = option + "the address lies beyond the parameter memory (0x0000 to "
                + ParameterTable::hexWord(ParameterTable::MEMORY_WORDS - 1) + ")";
            return false;
        }
        parameters.setAddress(placement.id, placement.address);
    }
    // Checked once every parameter has moved, so that two may swap places.
    for (const SimulatorOptions::Placement& placement : options.placements) {
        const Parameter* other = parameters.sharingAddressWith(placement.id);
        if (other) {
            const Parameter& moved = *parameters.findById(placement.id);
            error = placementOption(moved.id, moved.address) + named(moved) + " and "
                + named(*other) + " would both lie there; each parameter needs an address of"
                + " its own";
            return false;
        }
    }
    return true;
}

bool SimulatorSetup::limit(const SimulatorOptions& options, ParameterTable& parameters,
                           std::string& error)
{
    for (const SimulatorOptions::Limits& limits : options.limits) {
        const std::string why = missing(parameters, limits.id);
        if (!why.empty()) {
            error = "--limits " + ParameterTable::hexWord(limits.id) + ": " + why;
            return false;
        }
        parameters.setLimits(limits.id, limits.minimum, limits.maximum, limits.defaultValue);
    }
    return true;
}

} // namespace Simulator
} // namespace ZORVI
