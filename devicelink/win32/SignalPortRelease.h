#pragma once

#ifndef _WIN32
#include <termios.h>
#endif

namespace ZORVI {
namespace Communication {
namespace Serial {

// A program stopped by SIGINT (Ctrl-C), SIGTERM or SIGHUP gives its serial
// ports back before it ends. On Linux a port is held with TIOCEXCL, which
// belongs to the terminal, not to the program: a provider that keeps the
// terminal open (the device simulator) would otherwise keep the port
// "in use" after the program is gone. The handler restores each open
// port's terminal settings and clears its exclusive mark, then lets the
// signal end the program as it would have (the kernel closes the
// descriptors). It does only async-signal-safe work: tcsetattr, ioctl and
// lock-free atomics on a fixed table.
class SignalPortRelease {
public:
    // For main(): installs the handler for each stop signal the program
    // does not ignore (nohup's SIGHUP stays ignored). On Windows the system
    // closes a stopped program's handles, so there is nothing to do.
    static void install();

    // A firmware transfer must not be cut off between two records without a
    // word: the device would wait in recovery mode and the update records
    // would miss the run. From holdStops() on, the first stop signal is only
    // noted (heldStop() names it, for the transfer to end at the next
    // record and the program after its outcome is recorded); a second one
    // ends the program at once, as before. letStopsThrough() ends the hold
    // and returns the signal noted during it (0 for none), for the program
    // to end now.
    static void holdStops();
    static int letStopsThrough();
    // The stop signal noted during the hold that is on, 0 for none.
    static int heldStop();

#ifndef _WIN32
    // Ports the handler gives back at most; more open ports than this are
    // still given back by a normal close.
    static constexpr int CAPACITY = 16;

    // For the serial functions: a port was opened (its descriptor, and the
    // terminal settings it had before), a port is being closed.
    static void track(int fd, const termios& original);
    static void untrack(int fd);
    // What the handler does for each tracked port, callable without a
    // signal (for tests).
    static void releaseAll();
#endif
};

#ifdef _WIN32
inline void SignalPortRelease::install() {}
inline void SignalPortRelease::holdStops() {}
inline int SignalPortRelease::letStopsThrough() { return 0; }
inline int SignalPortRelease::heldStop() { return 0; }
#endif

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
