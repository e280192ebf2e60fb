#pragma once

#include "Command.h"

#include <memory>
#include <vector>

namespace ZORVI {
namespace Cli {

// Every command this build of zorvik offers, in the order --help lists them.
std::vector<std::unique_ptr<Command>> allCommands();

} // namespace Cli
} // namespace ZORVI
