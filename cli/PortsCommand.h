#pragma once

#include "Command.h"

namespace ZORVI {
class Control;
namespace Cli {

// Lists the serial ports as the programs offer them: every name of the
// system's port list, sorted as the settings window sorts it.
class PortsCommand : public Command {
public:
    const char* name() const override { return "ports"; }
    const char* synopsis() const override { return "ports"; }
    const char* summary() const override { return "list the serial ports, one name per line"; }
    int run(const std::vector<std::string>& args) override;

    static std::vector<std::string> listPorts(Control& control);
};

} // namespace Cli
} // namespace ZORVI
