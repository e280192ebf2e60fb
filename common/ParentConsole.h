#pragma once

namespace ZORVI {

// Where a window program's --help, --version and command-line errors can be
// read. A Windows program built for the GUI subsystem has no console of its
// own: started from a command prompt it attaches to the prompt's console,
// started from Explorer or a shortcut there is none, and the answer goes
// into a message box instead (ProgramAnswer). On Linux standard output and
// standard error are always there.
class ParentConsole {
public:
    // True when standard output and standard error reach the user: they are
    // redirected to a file or pipe, or the console of the program that
    // started this one is now attached to them.
    static bool reachable();
};

} // namespace ZORVI
