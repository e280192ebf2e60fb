#pragma once

#include "SettingsCommand.h"

namespace ZORVI {
namespace Cli {

// Compares the device with a settings file: the preview that loading it
// would show, and nothing written.
class DiffCommand : public SettingsCommand {
public:
    const char* name() const override { return "diff"; }
    const char* synopsis() const override { return "diff PORT FILE"; }
    const char* summary() const override
    {
        return "show what loading a settings file would change; writes nothing";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
