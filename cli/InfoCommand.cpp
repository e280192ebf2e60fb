#include "InfoCommand.h"

#include "Control.h"
#include "ControlFactory.h"
#include "DeviceSession.h"

#include <cstdio>
#include <memory>

namespace ZORVI {
namespace Cli {

int InfoCommand::run(const std::vector<std::string>& args)
{
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }
    const std::unique_ptr<Control> control = ControlFactory::make();
    DeviceSession session(*control);
    const int opened = session.open(args[0]);
    if (opened != EXIT_OK)
        return opened;
    session.printDevice();
    return session.found() == DeviceSession::Found::Nothing
        ? DeviceSession::unreachedExit(session.result())
        : EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
