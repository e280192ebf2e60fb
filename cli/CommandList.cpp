#include "CommandList.h"

#include "DiffCommand.h"
#include "FileCommand.h"
#include "InfoCommand.h"
#include "LoadCommand.h"
#include "ParamsCommand.h"
#include "PortsCommand.h"
#include "ResetCommand.h"
#include "SaveCommand.h"
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
    commands.push_back(std::make_unique<SaveCommand>());
    commands.push_back(std::make_unique<LoadCommand>());
    commands.push_back(std::make_unique<DiffCommand>());
    commands.push_back(std::make_unique<ResetCommand>());
    return commands;
}

} // namespace Cli
} // namespace ZORVI
