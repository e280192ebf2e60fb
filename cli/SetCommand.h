#pragma once

#include "Command.h"

namespace ZORVI {
namespace Cli {

// Sets parameters within the limits the device gives and writes them in one
// request, as the settings window's write cycle does.
class SetCommand : public Command {
public:
    const char* name() const override { return "set"; }
    const char* synopsis() const override { return "set PORT NAME=VALUE..."; }
    const char* summary() const override
    {
        return "write parameters (names as `params` lists them) within their limits";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
