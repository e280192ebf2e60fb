#pragma once

#include "Command.h"

namespace ZORVI {
namespace Cli {

// Sets parameters as the settings window's rules allow and writes them in
// one request, as the window's write cycle does. The request is taken as a
// whole or not at all: one refused value, or a change the rules would
// correct, and nothing is written.
class SetCommand : public Command {
public:
    const char* name() const override { return "set"; }
    const char* synopsis() const override { return "set PORT NAME=VALUE..."; }
    const char* summary() const override
    {
        return "write parameters (names as `params` lists them), all or none";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
