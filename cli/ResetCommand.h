#pragma once

#include "SettingsCommand.h"

namespace ZORVI {
namespace Cli {

// Resets every parameter to the default its descriptor gives, with the
// preview, confirmation and read-back of a load.
class ResetCommand : public SettingsCommand {
public:
    const char* name() const override { return "reset"; }
    const char* synopsis() const override { return "reset PORT [--dry-run] [--yes]"; }
    const char* summary() const override
    {
        return "reset every parameter to its default, as load does";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
