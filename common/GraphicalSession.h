#pragma once

#include "ProgramArguments.h"

#include <QApplication>

#include <memory>

namespace ZORVI {

// The application object of a window program, made where a window can be
// shown. Without a display Qt ends the program with an abort (status 134)
// and "Reinstalling the application may fix this problem", which sends the
// user the wrong way: here the program says instead that it needs a
// graphical session, what stood in the way, and which `zorvik` commands do
// the same work on a terminal, and ends with status 1.
class GraphicalSession {
public:
    static constexpr int EXIT_NO_DISPLAY = 1;

    // The commands of the command line that stand in for this program's
    // window, in one line, e.g. "zorvik info PORT, zorvik update PORT FILE".
    static std::unique_ptr<QApplication> open(const ProgramArguments::Program& program,
                                              const std::string& commands, int& argc,
                                              char** argv);

    // What is said when no window can be shown; `reason` is Qt's own word.
    static std::string refusal(const ProgramArguments::Program& program,
                               const std::string& commands, const std::string& reason);
};

} // namespace ZORVI
