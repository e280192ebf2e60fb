#include "FileCommand.h"

#include "Update.h"
#include "UpdateSummary.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

int FileCommand::run(const std::vector<std::string>& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }
    const Update update(args[0].c_str());
    if (!update.isValid()) {
        std::fprintf(stderr, "zorvik: %s is not a valid update file: %s\n", args[0].c_str(),
                     UpdateSummary::problemText(update.problem()).c_str());
        return EXIT_USAGE;
    }
    std::printf("File:        %s\n", args[0].c_str());
    UpdateSummary(update).printDetails();
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
