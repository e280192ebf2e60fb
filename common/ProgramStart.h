#pragma once

#include "ProgramArguments.h"

#include <optional>

namespace ZORVI {

// What both window programs do with their command line before their
// QApplication exists: --help and --version are answered, and a line the
// program cannot follow is refused with the usage (status 2), on the
// terminal and without a display. Without a terminal (a Windows program
// started from Explorer) nothing is said yet: the window program answers in
// a box once it has an application (ProgramAnswer). The exit status when
// the program ends here.
class ProgramStart {
public:
    static std::optional<int> beforeApplication(const ProgramArguments::Program& program, int argc,
                                                char** argv);
};

} // namespace ZORVI
