#pragma once

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
class PortMap {
public:
    // The map directory; created (mode 0700) when asked and missing. Empty
    // when it does not exist or is not trusted.
    static std::string directory(bool create);

    // Adds (or replaces) the entry name -> deviceNode.
    static bool add(const std::string& name, const std::string& deviceNode);
    // Removes the entry, if it exists.
    static bool remove(const std::string& name);
    // Names of the entries whose target exists, sorted by name.
    static std::vector<std::string> entries();
    // The device node behind a name, or empty when the map has no live entry.
    static std::string resolve(const std::string& name);
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
