#pragma once

#include "ParameterTable.h"
#include "SimulatorOptions.h"

#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// What the options make of the device's parameter memory before it answers
// anything: the parameters its firmware lacks (--without), those at other
// addresses (--address), other limits (--limits), then the values of a
// state file (--state). Shared by the simulator program and the in-process
// link of the tests, so both start the same device.
class SimulatorSetup {
public:
    // Both steps below. False with the reason in `error`.
    static bool prepareParameters(const SimulatorOptions& options, ParameterTable& parameters,
                                  std::string& error, std::vector<std::string>& warnings);

    // The table as the command line describes it. False with a message
    // that names the option, for IDs the table does not have, addresses
    // outside the memory and two parameters at one address.
    static bool describeParameters(const SimulatorOptions& options, ParameterTable& parameters,
                                   std::string& error);

    // Binds the table to the --state file, if one is given. Warnings name
    // values outside their limits (kept, since a test may want such a
    // device).
    static bool attachState(const SimulatorOptions& options, ParameterTable& parameters,
                            std::string& error, std::vector<std::string>& warnings);

private:
    static bool leaveOut(const SimulatorOptions& options, ParameterTable& parameters,
                         std::string& error);
    static bool place(const SimulatorOptions& options, ParameterTable& parameters,
                      std::string& error);
    static bool limit(const SimulatorOptions& options, ParameterTable& parameters,
                      std::string& error);
    // Why `id` cannot be described, or empty when the device has it.
    static std::string missing(const ParameterTable& parameters, uint16_t id);
};

} // namespace Simulator
} // namespace ZORVI
