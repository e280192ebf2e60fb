#include "SaveCommand.h"

#include "ControlText.h"
#include "ParameterSession.h"

#include <cstdio>
#include <filesystem>

namespace ZORVI {
namespace Cli {

int SaveCommand::run(const std::vector<std::string>& args)
{
    Options options;
    if (!parseArguments(args, WithFile, &options))
        return EXIT_USAGE;
    ParameterSession session;
    const int connected = session.connect(options.port);
    if (connected != EXIT_OK)
        return connected;
    SettingsFile file;
    const SettingsApply::Result result =
        SettingsApply::collect(session.memory(), session.deviceInfo(), &file);
    const int exitCode = failureOf(result);
    if (exitCode != EXIT_OK) {
        std::fprintf(stderr, "zorvik: nothing saved\n");
        return exitCode;
    }
    std::string error;
    if (!file.write(options.file, &error)) {
        std::fprintf(stderr, "zorvik: cannot write the settings file %s: %s Nothing saved.\n",
                     ControlText::escaped(options.file).c_str(),
                     ControlText::escaped(error).c_str());
        return EXIT_USAGE;
    }
    std::error_code ignored;
    const std::filesystem::path where = std::filesystem::absolute(options.file, ignored);
    std::printf("Settings saved to %s (%zu parameters).\n",
                ControlText::escaped(where.empty() ? options.file : where.string()).c_str(),
                file.settings().size());
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
