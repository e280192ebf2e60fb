#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace ZORVI {
namespace Communication {
namespace Serial {

// Which programs hold a device node open, as far as this user may see: the
// kernel lists every process's open files under /proc/PID/fd, but shows a
// process of another user (ModemManager, brltty: they run as root) only to
// root. Its name, /proc/PID/comm, everybody may read, so a program that
// is known to probe new serial ports can still be named as running.
//
// The kernel keeps only the first 15 bytes of a program's name there
// ("ZORVIKMicroSett"); a holder is named by its full name, the file name it
// was started by (argv[0]) or of the program file itself (/proc/PID/exe),
// whichever begins with that cut. A name that is no cut is the full name.
//
// A pseudo-terminal's provider (the device simulator) keeps its port's
// slave open as well as the master: it provides the port and is not
// counted as holding it.
class PortHolders {
public:
    struct Holder {
        pid_t pid;
        std::string name; // the full program name, not the kernel's cut
    };

    static constexpr const char* PROCESS_DIRECTORY = "/proc";

    // The processes with the character device of `node` open, by process
    // id; none when the node is no character device.
    static std::vector<Holder> of(const std::string& node,
                                  const std::string& processDirectory = PROCESS_DIRECTORY);
    // Whether a process of that name runs (any user's).
    static bool isRunning(const std::string& name,
                          const std::string& processDirectory = PROCESS_DIRECTORY);

private:
    struct Use {
        bool slave = false;  // has the device open
        bool master = false; // has the pseudo-terminal master of it open
    };

    static std::vector<pid_t> processes(const std::string& processDirectory);
    static Use useOf(const std::string& processPath, dev_t device, int terminalIndex);
    static bool isMasterOf(const std::string& processPath, const char* fd, int terminalIndex);
    static int terminalIndexOf(const std::string& node);
    // The kernel's name (comm), as the probers are known by.
    static std::string nameOf(const std::string& processPath);
    static std::string fullNameOf(const std::string& processPath);
    static std::string startedAs(const std::string& processPath);
    static std::string programFileOf(const std::string& processPath);
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
