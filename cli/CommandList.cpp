#include "CommandList.h"

#include "InfoCommand.h"
#include "PortsCommand.h"

namespace ZORVI {
namespace Cli {

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<PortsCommand>());
    commands.push_back(std::make_unique<InfoCommand>());
    return commands;
}

} // namespace Cli
} // namespace ZORVI
