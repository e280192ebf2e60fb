#pragma once

#include "Command.h"

namespace ZORVI {
namespace Cli {

// Reports the adapter and the device behind a port.
class InfoCommand : public Command {
public:
    const char* name() const override { return "info"; }
    const char* synopsis() const override { return "info PORT"; }
    const char* summary() const override
    {
        return "check the KORLINK interface and show the device's versions and serial";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
