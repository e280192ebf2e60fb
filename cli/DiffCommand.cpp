#include "DiffCommand.h"

#include "ControlText.h"
#include "ParameterSession.h"
#include "PreviewText.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

int DiffCommand::run(const std::vector<std::string>& args)
{
    Options options;
    ParameterSession session;
    SettingsPlan plan;
    const int planned = planFromFile(args, WithFile, &options, session, &plan);
    if (planned != EXIT_OK)
        return planned;
    // The preview a load would show; differences are what diff is asked
    // for, not a failure.
    PreviewText::print(plan, session.memory().snapshot(), session.deviceInfo());
    if (plan.refused()) {
        std::fprintf(stderr, "zorvik: %s cannot be loaded onto this device\n",
                     ControlText::escaped(options.file).c_str());
        return EXIT_USAGE;
    }
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
