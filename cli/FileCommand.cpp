#include "FileCommand.h"

#include "ControlText.h"
#include "TerminalText.h"
#include "UpdateFile.h"
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
    const std::unique_ptr<UpdateFile> file = UpdateSummary::load(args[0]);
    if (!file)
        return EXIT_USAGE;
    std::printf("File:        %s\n", ControlText::escaped(args[0]).c_str());
    UpdateSummary(*file).printDetails(TerminalText::ofThisTerminal());
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
