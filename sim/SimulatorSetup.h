#pragma once

#include "ParameterTable.h"
#include "SimulatorOptions.h"

#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// What the options make of the device's parameter memory before it answers
// anything: other limits for some parameters (--limits), then the values
// of a state file (--state). Shared by the simulator program and the
// in-process link of the tests, so both start the same device.
class SimulatorSetup {
public:
    // False with the reason in `error`; warnings name state file values
    // outside their limits (kept, since a test may want such a device).
    static bool prepareParameters(const SimulatorOptions& options, ParameterTable& parameters,
                                  std::string& error, std::vector<std::string>& warnings);
};

} // namespace Simulator
} // namespace ZORVI
