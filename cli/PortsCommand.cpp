#include "PortsCommand.h"

#include "PortList.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

int PortsCommand::run(const std::vector<std::string>& args)
{
    if (!args.empty()) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }
    Communication::PortList ports;
    for (const std::string& port : ports.sortedPresent())
        std::printf("%s\n", port.c_str());
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
