#include "PortsCommand.h"

#include "Control.h"

#include <algorithm>
#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {
constexpr uint32_t PORT_NAME_BUFFER = 250;
}

std::vector<std::string> PortsCommand::listPorts(Control& control)
{
    std::vector<std::string> ports;
    char name[PORT_NAME_BUFFER];
    for (uint32_t index = 0; control.enumeratePort(index, name, sizeof name); ++index) {
        name[sizeof name - 1] = '\0';
        ports.emplace_back(name);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

int PortsCommand::run(const std::vector<std::string>& args)
{
    if (!args.empty()) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }
    Control control;
    for (const std::string& port : listPorts(control))
        std::printf("%s\n", port.c_str());
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
