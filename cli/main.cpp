// zorvik: the device link on the command line, for scripts and machines
// without a desktop.

#include "Command.h"
#include "ControlText.h"
#include "CommandList.h"
#include "ControlFactory.h"
#include "win32/SignalPortRelease.h"
#include "ParameterRules.h"
#include "SetRequest.h"
#include "UpdateJournal.h"
#include "ZorvikVersion.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using ZORVI::Cli::Command;

namespace {

const char* const USAGE = "usage: zorvik [--trace FILE] COMMAND [ARGS]\n"
                          "       zorvik --version | --help\n";

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
                ";\nhere: %s\n"
                "Before sending, every parameter of a device that runs its firmware is\n"
                "saved as a settings file in the folder backups/ beside it, named by the\n"
                "unit's serial number, the time and the firmware version; a backup that\n"
                "cannot be made stops the update unless --no-backup (which makes none).\n"
                "After a done update the settings are compared with the backup and, where\n"
                "they differ, shown as `load` shows them: on a terminal it asks whether to\n"
                "restore them, --restore answers yes, --no-restore no; otherwise it prints\n"
                "the `zorvik load` command that restores the backup.\n\n",
                ZORVI::UpdateJournal::path().empty() ? "(no folder known)"
                                                     : ZORVI::UpdateJournal::path().c_str());
}

void printSettingsHelp()
{
    std::printf("`save` writes every parameter as the device holds it to FILE, a settings\n"
                "file (.zset: `Name = value` lines under the names `params` lists, the\n"
                "device in # comment lines), replaced whole or left as it was. `load` and\n"
                "`reset` (every parameter to its default) apply the settings window's rules\n"
                "and show the settings that would change (CURRENT, NEW; `*` marks a value\n"
                "the rules correct, explained below), then ask before writing: --yes answers\n"
                "for you and is needed when standard input is no terminal; --dry-run shows\n"
                "the preview and writes nothing. The changes go out in one write, and\n"
                "every value written is read back from the device and compared. `diff`\n"
                "shows the same preview, never writes, and exits 0 whether or not the\n"
                "device differs from FILE.\n\n");
}

void printHelp(const std::vector<std::unique_ptr<Command>>& commands)
{
    std::printf("%s\nCommands:\n", USAGE);
    for (const auto& command : commands)
        std::printf("  %-34s %s\n", command->synopsis(), command->summary());
    std::printf("\nPORT is a port name as `zorvik ports` lists it (for example ttyUSB0, COM3,\n"
                "or ttySIM0 for the device simulator). A command refuses options it does\n"
                "not know; after -- every word is an operand, for a PORT or FILE whose\n"
                "name starts with '-' (zorvik info -- -port).\n\n"
                "--trace FILE writes every byte and packet that crosses the wire, with\n"
                "the time in milliseconds since the port was opened, to FILE (created or\n"
                "emptied first), for a support request.\n\n");
    std::printf("`set` stores all its values or none, under the settings window's rules\n"
                "(a VALUE is digits with an optional '-': not +4, not -0):\n"
                "the device's limits, the preset lists, TorqueDirection 1 or -1, and a tail\n"
                "servo frame rate its centre pulse allows (a request that the window would\n"
                "correct is refused, naming the values to ask for instead). The swash plate\n"
                "is set only as a whole, never by its angle, travel or mixer entries:\n"
                "  SwashGeometry=NAME  %s\n"
                "  SwashPhase=DEG      %d to %d\n"
                "Either alone keeps the other as the device holds it.\n\n",
                ZORVI::Rules::geometryNames().c_str(), ZORVI::Cli::SetRequest::PHASE_ANGLE_MIN,
                ZORVI::Cli::SetRequest::PHASE_ANGLE_MAX);
    printSettingsHelp();
    printUpdateHelp();
    std::printf("Exit codes:\n"
                "  0  done (info: a device, or a device in recovery mode, was found;\n"
                "     update: the device runs the file's versions afterwards, and its\n"
                "     settings are as before, restored and read back, or not to be\n"
                "     restored)\n"
                "  1  usage error (a --trace FILE that cannot be written included, and a\n"
                "     trace that lost lines, e.g. on a full disk, after a command that\n"
                "     succeeded; a command that failed keeps its own code), `set`\n"
                "     refused a value (and wrote nothing), or `update` sent nothing\n"
                "     (unusable file, other hardware, not confirmed, no backup) or with\n"
                "     --restore the device no longer takes the backup; `load`, `reset`,\n"
                "     `diff` wrote nothing: an invalid settings file (its line is named),\n"
                "     a file for other hardware, values outside the device's limits or\n"
                "     refused by the rules, not confirmed, or no --yes without a terminal;\n"
                "     `save` could not write FILE\n"
                "  2  no device answered, or the device refused the operation; `update`\n"
                "     failed, or the device does not run the file's versions afterwards\n"
                "     (other versions, recovery mode, or no answer); `load`, `reset`\n"
                "     and `update`'s restore: the device refused the write, or a value\n"
                "     read back differs from the one written (each is named); `save`\n"
                "     (and `update --restore` after the update): a value could not be read\n"
                "  3  the port could not be opened or the KORLINK interface did not echo\n"
                "     (no echo, or other bytes), also after the probe: while the device's\n"
                "     settings are read, while `set` writes, in the middle of an update\n"
                "     (the reason is printed on standard error)\n");
}

// The global option --trace FILE before the command: the file is created
// (or emptied) before anything is sent. The index of the command word, or
// -1 when the option cannot be followed (the reason is on standard error).
int commandIndex(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--trace") != 0)
        return 1;
    if (argc < 3) {
        std::fprintf(stderr, "zorvik: --trace needs a FILE to write the trace to "
                             "(see zorvik --help)\n");
        return -1;
    }
    std::string reason;
    if (!ZORVI::Cli::ControlFactory::traceTo(argv[2], &reason)) {
        std::fprintf(stderr,
                     "zorvik: cannot write the trace file '%s': %s; nothing was sent. "
                     "Name a file in a folder you may write to.\n",
                     argv[2], reason.c_str());
        return -1;
    }
    return 3;
}

} // namespace

bool isHelpWord(const char* word)
{
    return !std::strcmp(word, "--help") || !std::strcmp(word, "-h") || !std::strcmp(word, "help");
}

// --version and --help stand alone: anything after them is a mistake the
// user should hear of, not something silently dropped.
int refuseExtra(const char* option, int extra)
{
    if (extra == 0)
        return ZORVI::Cli::EXIT_OK;
    std::fprintf(stderr, "zorvik: %s takes no arguments\n%s", option, USAGE);
    return ZORVI::Cli::EXIT_USAGE;
}

int runCommand(const std::vector<std::unique_ptr<Command>>& commands, int first, int argc,
               char** argv)
{
    for (const auto& command : commands) {
        if (std::strcmp(argv[first], command->name()) == 0)
            return command->run(std::vector<std::string>(argv + first + 1, argv + argc));
    }
    std::fprintf(stderr, "zorvik: unknown command '%s' (see zorvik --help)\n",
                 ZORVI::ControlText::escaped(argv[first]).c_str());
    return ZORVI::Cli::EXIT_USAGE;
}

// A trace that lost lines is no support log: the user must know, even when
// the command itself succeeded.
int withTraceChecked(int exitCode)
{
    const std::string& error = ZORVI::Cli::ControlFactory::traceWriteError();
    if (error.empty())
        return exitCode;
    std::fprintf(stderr,
                 "zorvik: the trace file could not be written (%s); the trace is incomplete. "
                 "%s Free space or name another file, then run the command again.\n",
                 error.c_str(),
                 exitCode == ZORVI::Cli::EXIT_OK ? "The command itself succeeded."
                                                 : "The command failed as said above.");
    return exitCode == ZORVI::Cli::EXIT_OK ? ZORVI::Cli::EXIT_USAGE : exitCode;
}

int main(int argc, char** argv)
{
    // Ctrl-C in the middle of a command gives the port back.
    ZORVI::Communication::Serial::SignalPortRelease::install();
    const std::vector<std::unique_ptr<Command>> commands = ZORVI::Cli::allCommands();
    const int first = commandIndex(argc, argv);
    if (first < 0)
        return ZORVI::Cli::EXIT_USAGE;
    if (argc <= first) {
        std::fputs(USAGE, stderr);
        return ZORVI::Cli::EXIT_USAGE;
    }
    const int extra = argc - first - 1;
    if (!std::strcmp(argv[first], "--version")) {
        if (extra > 0)
            return refuseExtra("--version", extra);
        std::printf("zorvik %s\n", ZORVI::Version::RELEASE);
        return ZORVI::Cli::EXIT_OK;
    }
    if (isHelpWord(argv[first])) {
        if (extra > 0)
            return refuseExtra(argv[first], extra);
        printHelp(commands);
        return ZORVI::Cli::EXIT_OK;
    }
    return withTraceChecked(runCommand(commands, first, argc, argv));
}
