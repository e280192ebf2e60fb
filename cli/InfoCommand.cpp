#include "InfoCommand.h"

#include "CommandWords.h"
#include "Control.h"
#include "ControlFactory.h"
#include "DeviceSession.h"

#include <cstdio>
#include <memory>

namespace ZORVI {
namespace Cli {

int InfoCommand::run(const std::vector<std::string>& args)
{
    CommandWords words;
    if (!words.split(args, {}, synopsis()))
        return EXIT_USAGE;
    if (words.operands().size() != 1) {
        CommandWords::printUsage(synopsis());
        return EXIT_USAGE;
    }
    const std::unique_ptr<Control> control = ControlFactory::make();
    DeviceSession session(*control);
    const int opened = session.open(words.operands().front());
    if (opened != EXIT_OK)
        return opened;
    session.printDevice();
    return session.found() == DeviceSession::Found::Nothing
        ? DeviceSession::unreachedExit(session.result())
        : EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
