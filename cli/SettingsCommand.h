#pragma once

#include "Command.h"
#include "SettingsApply.h"
#include "SettingsFile.h"
#include "SettingsPlan.h"

#include <cstddef>
#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

class ParameterSession;

// What the settings file commands (save, load, diff, reset) share: their
// arguments, reading a file, connecting with every parameter read, and
// carrying out a plan: the preview, the confirmation, the write with its
// read-back and what it came to.
class SettingsCommand : public Command {
public:
    // An exit code for what an apply or a save came to, said on standard
    // error when it is not EXIT_OK (also for `update`'s restore).
    static int failureOf(const SettingsApply::Result& result);

protected:
    struct Options {
        std::string port;
        std::string file;
        bool dryRun = false;
        bool yes = false;
    };
    enum Accepts { PortOnly = 0, WithFile = 1, WithApplyOptions = 2 };

    // False (usage on standard error) for arguments this command does not
    // take; `accepts` combines Accepts flags.
    bool parseArguments(const std::vector<std::string>& args, int accepts, Options* options) const;
    // False, with the line and the reason on standard error, for a file
    // that cannot be used.
    static bool readFile(const std::string& path, SettingsFile* file);
    // Connects and reads every parameter, refusing a device that lacks one;
    // an exit code of Command.h.
    static int connect(ParameterSession& session, const std::string& port);
    // The arguments, the file (refused before the device is even asked),
    // the connection, and the plan of loading the file onto the device;
    // an exit code of Command.h.
    int planFromFile(const std::vector<std::string>& args, int accepts, Options* options,
                     ParameterSession& session, SettingsPlan* plan) const;
    // Shows the plan; unless refused, without changes or a dry run, asks
    // (or takes --yes), stores it with read-back and says what came of it.
    // `what` names what is loaded in the closing line ("Settings").
    static int carryOut(ParameterSession& session, const SettingsPlan& plan,
                        const Options& options, const char* what);

private:
    static bool confirmed(size_t count, const std::string& port);
};

} // namespace Cli
} // namespace ZORVI
