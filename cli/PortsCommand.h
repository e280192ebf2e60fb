#pragma once

#include "Command.h"

namespace ZORVI {
namespace Cli {

// Lists the serial ports as the programs offer them: every name of the
// system's port list, in the order both windows list it (PortList).
class PortsCommand : public Command {
public:
    const char* name() const override { return "ports"; }
    const char* synopsis() const override { return "ports"; }
    const char* summary() const override { return "list the serial ports, one name per line"; }
    int run(const std::vector<std::string>& args) override;
};

} // namespace Cli
} // namespace ZORVI
