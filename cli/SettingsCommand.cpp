#include "SettingsCommand.h"

#include "CommandWords.h"
#include "Console.h"
#include "ControlText.h"
#include "DeviceSession.h"
#include "ParameterIds.h"
#include "ParameterSession.h"
#include "PreviewText.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {

const char* const NOTHING_WRITTEN = "nothing written; the device keeps all its values";

// "these 3 changes", or "this change" alone.
std::string changesText(size_t count)
{
    return count == 1 ? std::string("this change") : "these " + std::to_string(count) + " changes";
}

} // namespace

bool SettingsCommand::parseArguments(const std::vector<std::string>& args, int accepts,
                                     Options* options) const
{
    const size_t wanted = (accepts & WithFile) ? 2 : 1;
    std::vector<std::string> known;
    if (accepts & WithApplyOptions)
        known = {"--dry-run", "--yes", "-y"};
    CommandWords words;
    if (!words.split(args, known, synopsis()))
        return false;
    const std::vector<std::string>& positional = words.operands();
    if (positional.size() != wanted) {
        CommandWords::printUsage(synopsis());
        return false;
    }
    options->dryRun = words.has("--dry-run");
    options->yes = words.has("--yes") || words.has("-y");
    options->port = positional[0];
    if (wanted == 2)
        options->file = positional[1];
    return true;
}

bool SettingsCommand::readFile(const std::string& path, SettingsFile* file)
{
    SettingsFile::Error error;
    if (SettingsFile::read(path, file, &error))
        return true;
    std::fprintf(stderr, "zorvik: %s is no usable settings file: %s\nzorvik: %s\n",
                 ControlText::escaped(path).c_str(), ControlText::escaped(error.text()).c_str(),
                 NOTHING_WRITTEN);
    return false;
}

int SettingsCommand::connect(ParameterSession& session, const std::string& port)
{
    const int connected = session.connect(port);
    if (connected != EXIT_OK)
        return connected;
    // Read when connecting: a parameter without a value is one this
    // device's firmware does not have, and a whole setup needs them all.
    const Rules::Parameters device = session.memory().snapshot();
    int missing = 0;
    for (uint16_t id : EEPROM::parameterIds()) {
        if (device.count(id) == 0) {
            std::fprintf(stderr, "zorvik: %s is not offered by this device\n",
                         EEPROM::parameterName(id));
            ++missing;
        }
    }
    if (missing == 0)
        return EXIT_OK;
    std::fprintf(stderr, "zorvik: %s\n", NOTHING_WRITTEN);
    return EXIT_NO_DEVICE;
}

bool SettingsCommand::confirmed(size_t count, const std::string& port)
{
    if (!Console::isTerminal(stdin)) {
        std::fprintf(stderr,
                     "zorvik: standard input is no terminal, so nobody can confirm; add --yes "
                     "to apply %s without asking; %s\n",
                     changesText(count).c_str(), NOTHING_WRITTEN);
        return false;
    }
    if (Console::confirm("Apply " + changesText(count) + " to the device on "
                         + ControlText::escaped(port) + "?"))
        return true;
    std::printf("Not confirmed: %s.\n", NOTHING_WRITTEN);
    return false;
}

int SettingsCommand::planFromFile(const std::vector<std::string>& args, int accepts,
                                  Options* options, ParameterSession& session,
                                  SettingsPlan* plan) const
{
    if (!parseArguments(args, accepts, options))
        return EXIT_USAGE;
    SettingsFile file;
    if (!readFile(options->file, &file))
        return EXIT_USAGE;
    // The plan judges a parameter the device does not have: one the file
    // names is refused, or left out and noted when the file was saved under
    // another data version (a firmware that dropped it).
    const int connected = session.connect(options->port);
    if (connected != EXIT_OK)
        return connected;
    *plan = SettingsPlan::forFile(session.memory().snapshot(), session.deviceInfo(), file);
    return EXIT_OK;
}

int SettingsCommand::carryOut(ParameterSession& session, const SettingsPlan& plan,
                              const Options& options, const char* what)
{
    PreviewText::print(plan, session.memory().snapshot(), session.deviceInfo());
    if (plan.refused()) {
        std::fprintf(stderr, "zorvik: %s\n", NOTHING_WRITTEN);
        return EXIT_USAGE;
    }
    const size_t count = plan.rows().size();
    if (count == 0)
        return EXIT_OK;
    if (options.dryRun) {
        std::printf("Dry run: nothing written.\n");
        return EXIT_OK;
    }
    if (!options.yes && !confirmed(count, options.port))
        return EXIT_USAGE;
    const SettingsApply::Result result = SettingsApply::apply(session.memory(), plan.changes());
    const int exitCode = failureOf(result);
    if (exitCode == EXIT_OK)
        std::printf("%s loaded and verified (%zu written).\n", what, result.ids.size());
    return exitCode;
}

int SettingsCommand::failureOf(const SettingsApply::Result& result)
{
    if (result.verified())
        return EXIT_OK;
    for (uint16_t id : result.refused)
        std::fprintf(stderr, "zorvik: %s: the value is not one the device described; %s\n",
                     EEPROM::parameterName(id), NOTHING_WRITTEN);
    if (!result.refused.empty())
        return EXIT_USAGE;
    if (!result.written && !result.ids.empty()) {
        ParameterSession::reportWriteFailure(result.failure);
        // An adapter that stopped echoing is the adapter's failure, as for
        // every command.
        return DeviceSession::exitFor(result.failure);
    }
    if (!result.mismatches.empty())
        std::fprintf(stderr, "zorvik: the device acknowledged the write but holds other values, "
                             "read back:\n");
    for (const SettingsApply::Mismatch& mismatch : result.mismatches)
        std::fprintf(stderr, "  %s: written %d, holds %d\n", EEPROM::parameterName(mismatch.id),
                     mismatch.wanted, mismatch.readBack);
    for (uint16_t id : result.unread)
        std::fprintf(stderr, "zorvik: %s could not be read from the device; check it with "
                             "zorvik params\n",
                     EEPROM::parameterName(id));
    if (!result.unread.empty())
        DeviceSession::reportLinkFailure(result.failure);
    if (!result.mismatches.empty())
        std::fprintf(stderr, "zorvik: the device does not hold what was written; check it with "
                             "zorvik params, and the device itself, before flying\n");
    return EXIT_NO_DEVICE;
}

} // namespace Cli
} // namespace ZORVI
