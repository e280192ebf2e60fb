// zorvik: the device link on the command line, for scripts and machines
// without a desktop.

#include "Command.h"
#include "CommandList.h"
#include "win32/SignalPortRelease.h"
#ifdef ZORVIK_PARAMETER_COMMANDS
#include "ParameterRules.h"
#include "SetRequest.h"
#endif
#ifdef ZORVIK_UPDATE_COMMANDS
#include "UpdateJournal.h"
#endif

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using ZORVI::Cli::Command;

namespace {

#ifdef ZORVIK_UPDATE_COMMANDS
void printUpdateHelp()
{
    std::printf("`update` reads FILE once and sends exactly what it read. It refuses a file\n"
                "for other hardware than the device's (--force sends it all the same), asks\n"
                "before sending (--yes answers for you), and afterwards asks the device\n"
                "what it runs: it succeeds only when the device reports the file's versions.\n"
                "Every update is recorded, one line each, in\n"
#ifdef _WIN32
                "%%LOCALAPPDATA%%\\zorvik\\updates.log"
#else
                "$XDG_STATE_HOME/zorvik/updates.log (default ~/.local/state/zorvik/updates.log)"
#endif
                ";\nhere: %s\n\n",
                ZORVI::UpdateJournal::path().empty() ? "(no folder known)"
                                                     : ZORVI::UpdateJournal::path().c_str());
}
#endif

void printHelp(const std::vector<std::unique_ptr<Command>>& commands)
{
    std::printf("usage: zorvik COMMAND [ARGS]\n\nCommands:\n");
    for (const auto& command : commands)
        std::printf("  %-34s %s\n", command->synopsis(), command->summary());
    std::printf("\nPORT is a port name as `zorvik ports` lists it (for example ttyUSB0, COM3,\n"
                "or ttySIM0 for the device simulator).\n\n");
#ifdef ZORVIK_PARAMETER_COMMANDS
    std::printf("`set` stores all its values or none, under the settings window's rules:\n"
                "the device's limits, the preset lists, TorqueDirection 1 or -1, and a tail\n"
                "servo frame rate its centre pulse allows (a request that the window would\n"
                "correct is refused, naming the values to ask for instead). The swash plate\n"
                "is set only as a whole, never by its angle, travel or mixer entries:\n"
                "  SwashGeometry=NAME  %s\n"
                "  SwashPhase=DEG      %d to %d\n"
                "Either alone keeps the other as the device holds it.\n\n",
                ZORVI::Rules::geometryNames().c_str(), ZORVI::Cli::SetRequest::PHASE_ANGLE_MIN,
                ZORVI::Cli::SetRequest::PHASE_ANGLE_MAX);
#endif
#ifdef ZORVIK_UPDATE_COMMANDS
    printUpdateHelp();
#endif
    std::printf("Exit codes:\n"
                "  0  done (info: a device, or a device in recovery mode, was found;\n"
                "     update: the device runs the file's versions afterwards)\n"
                "  1  usage error, `set` refused a value (and wrote nothing), or `update`\n"
                "     sent nothing (unusable file, other hardware, not confirmed)\n"
                "  2  no device answered, or the device refused the operation; `update`\n"
                "     failed, or the device does not run the file's versions afterwards\n"
                "     (other versions, recovery mode, or no answer)\n"
                "  3  the port could not be opened or the KORLINK interface did not echo,\n"
                "     also in the middle of an update (the reason is printed on standard\n"
                "     error)\n");
}

} // namespace

int main(int argc, char** argv)
{
    // Ctrl-C in the middle of a command gives the port back.
    ZORVI::Communication::Serial::SignalPortRelease::install();
    const std::vector<std::unique_ptr<Command>> commands = ZORVI::Cli::allCommands();
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")
        || !std::strcmp(argv[1], "help")) {
        printHelp(commands);
        return argc < 2 ? ZORVI::Cli::EXIT_USAGE : ZORVI::Cli::EXIT_OK;
    }
    for (const auto& command : commands) {
        if (std::strcmp(argv[1], command->name()) == 0)
            return command->run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "zorvik: unknown command '%s' (see zorvik --help)\n", argv[1]);
    return ZORVI::Cli::EXIT_USAGE;
}
