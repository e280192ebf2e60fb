#include "LoadCommand.h"

#include "ParameterSession.h"

namespace ZORVI {
namespace Cli {

int LoadCommand::run(const std::vector<std::string>& args)
{
    Options options;
    ParameterSession session;
    SettingsPlan plan;
    const int planned =
        planFromFile(args, WithFile | WithApplyOptions, &options, session, &plan);
    if (planned != EXIT_OK)
        return planned;
    return carryOut(session, plan, options, "Settings");
}

} // namespace Cli
} // namespace ZORVI
