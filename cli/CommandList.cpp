#include "CommandList.h"

#include "InfoCommand.h"
#include "PortsCommand.h"
#ifdef ZORVIK_UPDATE_COMMANDS
#include "FileCommand.h"
#include "UpdateCommand.h"
#endif
#ifdef ZORVIK_PARAMETER_COMMANDS
#include "ParamsCommand.h"
#include "SetCommand.h"
#endif

namespace ZORVI {
namespace Cli {

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<PortsCommand>());
    commands.push_back(std::make_unique<InfoCommand>());
#ifdef ZORVIK_UPDATE_COMMANDS
    commands.push_back(std::make_unique<FileCommand>());
    commands.push_back(std::make_unique<UpdateCommand>());
#endif
#ifdef ZORVIK_PARAMETER_COMMANDS
    commands.push_back(std::make_unique<ParamsCommand>());
    commands.push_back(std::make_unique<SetCommand>());
#endif
    return commands;
}

} // namespace Cli
} // namespace ZORVI
