#pragma once

#include "ProgramArguments.h"

#include <optional>

namespace ZORVI {

// Answers a window program's command line once QApplication exists: --help
// and --version, and a line the program cannot follow, go to the terminal
// when there is one (ParentConsole) and into a message box otherwise. The
// exit status then; nothing when the window should run.
class ProgramAnswer {
public:
    static std::optional<int> answer(const ProgramArguments::Program& program,
                                     const ProgramArguments& arguments);
    // The same with the console's presence given (the tests show both ways).
    static std::optional<int> answer(const ProgramArguments::Program& program,
                                     const ProgramArguments& arguments, bool onConsole);
};

} // namespace ZORVI
