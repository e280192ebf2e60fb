#pragma once

#include "Command.h"

namespace ZORVI {
namespace Cli {

// Lists the device's parameters with their addresses, values and limits,
// as a table or as JSON.
class ParamsCommand : public Command {
public:
    const char* name() const override { return "params"; }
    const char* synopsis() const override { return "params PORT [--json]"; }
    const char* summary() const override
    {
        return "list every parameter: ID, address, value, minimum, maximum, default";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
