#pragma once

#include "Command.h"

namespace ZORVI {
namespace Cli {

// Reads an update file and shows what it holds, or why the updater would
// refuse it. Talks to no port.
class FileCommand : public Command {
public:
    const char* name() const override { return "file"; }
    const char* synopsis() const override { return "file FILE"; }
    const char* summary() const override
    {
        return "check an update file (*.upd): SHA-256, versions, description, records";
    }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
