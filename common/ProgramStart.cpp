#include "ProgramStart.h"

#include "ParentConsole.h"

#include <cstdio>

namespace ZORVI {

std::optional<int> ProgramStart::beforeApplication(const ProgramArguments::Program& program,
                                                   int argc, char** argv)
{
    const ProgramArguments early =
        ProgramArguments::parseBeforeQt(program, ProgramArguments::listOf(argc, argv));
    if (early.action() == ProgramArguments::Action::Run || !ParentConsole::reachable())
        return std::nullopt;
    return early.answer(program, stdout, stderr);
}

} // namespace ZORVI
