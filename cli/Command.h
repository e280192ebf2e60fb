#pragma once

#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

// Exit codes of the command line, the same for every command.
enum ExitCode {
    EXIT_OK = 0,        // done; for info: a device (or a recovery-mode device) was found
    EXIT_USAGE = 1,     // wrong arguments
    EXIT_NO_DEVICE = 2, // the adapter echoed but no device answered (or refused an operation)
    EXIT_ADAPTER = 3    // the port does not open, or the adapter does not echo
};

// One sub-command of `zorvik`.
class Command {
public:
    virtual ~Command() = default;
    virtual const char* name() const = 0;
    virtual const char* synopsis() const = 0;
    virtual const char* summary() const = 0;
    virtual int run(const std::vector<std::string>& args) = 0;
};

} // namespace Cli
} // namespace ZORVI
