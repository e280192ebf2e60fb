#include "CommandList.h"

#include "FileCommand.h"
#include "InfoCommand.h"
#include "ParamsCommand.h"
#include "PortsCommand.h"
#include "SetCommand.h"
#include "UpdateCommand.h"

namespace ZORVI {
namespace Cli {

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<PortsCommand>());
    commands.push_back(std::make_unique<InfoCommand>());
    commands.push_back(std::make_unique<FileCommand>());
    commands.push_back(std::make_unique<UpdateCommand>());
    commands.push_back(std::make_unique<ParamsCommand>());
    commands.push_back(std::make_unique<SetCommand>());
    return commands;
}

} // namespace Cli
} // namespace ZORVI
