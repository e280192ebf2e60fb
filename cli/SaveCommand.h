#pragma once

#include "SettingsCommand.h"

namespace ZORVI {
namespace Cli {

// Saves the device's setup to a settings file (.zset): every parameter as
// the device was read to hold it, with the device's description. The file
// is replaced whole or left as it was.
class SaveCommand : public SettingsCommand {
public:
    const char* name() const override { return "save"; }
    const char* synopsis() const override { return "save PORT FILE"; }
    const char* summary() const override
    {
        return "save every parameter as the device holds it to a settings file";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
