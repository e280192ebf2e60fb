#pragma once

#include "SettingsCommand.h"

namespace ZORVI {
namespace Cli {

// Loads a settings file onto the device under the settings window's rules:
// the preview of what would change, a confirmation, one write and the
// read-back of every value written.
class LoadCommand : public SettingsCommand {
public:
    const char* name() const override { return "load"; }
    const char* synopsis() const override { return "load PORT FILE [--dry-run] [--yes]"; }
    const char* summary() const override
    {
        return "load a settings file: preview, confirm, write, read back";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
