#include "SimulatorSetup.h"

#include <cstdio>

namespace ZORVI {
namespace Simulator {

bool SimulatorSetup::prepareParameters(const SimulatorOptions& options,
                                       ParameterTable& parameters, std::string& error,
                                       std::vector<std::string>& warnings)
{
    for (const SimulatorOptions::Limits& limits : options.limits) {
        if (!parameters.setLimits(limits.id, limits.minimum, limits.maximum,
                                  limits.defaultValue)) {
            char id[8];
            std::snprintf(id, sizeof id, "0x%04X", limits.id);
            error = std::string("--limits: unknown parameter ") + id;
            return false;
        }
    }
    if (options.statePath.empty())
        return true;
    return parameters.attachStateFile(options.statePath, error, warnings);
}

} // namespace Simulator
} // namespace ZORVI
