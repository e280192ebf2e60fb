#include "ResetCommand.h"

#include "ParameterSession.h"

namespace ZORVI {
namespace Cli {

int ResetCommand::run(const std::vector<std::string>& args)
{
    Options options;
    if (!parseArguments(args, PortOnly | WithApplyOptions, &options))
        return EXIT_USAGE;
    ParameterSession session;
    const int connected = connect(session, options.port);
    if (connected != EXIT_OK)
        return connected;
    const SettingsPlan plan = SettingsPlan::forDefaults(session.memory().snapshot());
    return carryOut(session, plan, options, "Factory settings");
}

} // namespace Cli
} // namespace ZORVI
