#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {
namespace Serial {

// The per-user map of virtual serial ports on Linux: a directory of symbolic
// links, each named after a port (for example ttySIM0) and pointing at its
// device node (a pseudo-terminal). Virtual port providers such as the device
// simulator add their entry while the port exists and remove it when it
// goes; the port list and CreateFileA read it.
//
// The directory is $XDG_RUNTIME_DIR/serialcomm, or where XDG_RUNTIME_DIR is
// not set, one private per-user directory under the system's temporary
// directory. A directory that another user owns, or that others may write,
// is not trusted: it reads as empty and nothing is added to it.
//
// An entry counts as a port only while its target is a serial line (a
// pseudo-terminal slave or a serial driver's device, see TerminalDrivers):
// entries pointing at anything else (/dev/null, /dev/tty, a file, a FIFO,
// nothing) are neither listed nor resolved.
//
// A provider that claims its name (PortClaim) holds a lock on a file beside
// the entry for as long as it runs. When it is killed, its entry stays, and
// its pseudo-terminal's number goes to whatever program the kernel gives
// the next one: an entry whose lock file nobody holds any more points at
// that program's terminal, and is neither listed nor resolved. An entry
// without a lock file (made by hand, or by a test) is taken as it is.
class PortMap {
public:
    // The longest name a port list shows: the programs read port names
    // into 250-byte buffers, the NUL included.
    static constexpr size_t LONGEST_NAME = 249;

    // The map directory; created (mode 0700) when asked and missing. Empty
    // when it does not exist or is not trusted; then `problem`, if given,
    // says why in words for a user.
    static std::string directory(bool create, std::string* problem = nullptr);

    // Why a name cannot be a port name in the map (empty when it can):
    // it must be 1 to LONGEST_NAME characters without '/' or control
    // characters and must not start with '.' (kept for the map's own files).
    static std::string nameProblem(const std::string& name);

    // Adds (or replaces) the entry name -> deviceNode.
    static bool add(const std::string& name, const std::string& deviceNode);
    // Removes the entry, if it exists.
    static bool remove(const std::string& name);
    // Names of the entries whose target is a serial line, sorted by name.
    static std::vector<std::string> entries();
    // The serial line behind a name, or empty when the map has no such entry.
    static std::string resolve(const std::string& name);
    // The name of the lock file a provider of `name` holds, in the map
    // directory (it starts with '.', so it is never taken for a port).
    static std::string lockFileName(const std::string& name);
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
