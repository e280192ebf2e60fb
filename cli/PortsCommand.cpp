#include "PortsCommand.h"
#include "ControlText.h"

#include "CommandWords.h"
#include "PortList.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

int PortsCommand::run(const std::vector<std::string>& args)
{
    CommandWords words;
    if (!words.split(args, {}, synopsis()))
        return EXIT_USAGE;
    if (!words.operands().empty()) {
        CommandWords::printUsage(synopsis());
        return EXIT_USAGE;
    }
    Communication::PortList ports;
    for (const std::string& port : ports.sortedPresent())
        std::printf("%s\n", ControlText::escaped(port).c_str());
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
