#pragma once

#include <string>

namespace ZORVI {
namespace Communication {
namespace Serial {

// A virtual port provider's hold on its name in the port map (the device
// simulator's). The provider locks the name (flock on a lock file beside
// the entry) for as long as it runs, and the kernel drops that lock when
// the provider ends, however it ends. So a second provider asking for a
// name whose provider still runs is refused, naming it, while an entry
// left behind by a provider that was killed is stale and is taken over.
class PortClaim {
public:
    PortClaim() = default;
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    // Enters name -> deviceNode in the map. False, with the reason in
    // `problem` in words for a user, when the name is not usable, the map
    // is not, or a running provider holds the name.
    bool claim(const std::string& name, const std::string& deviceNode, std::string& problem);
    // Removes the entry (when it still points at our device node) and gives
    // the name up. The destructor does the same.
    void release();

    bool isHeld() const { return m_lock >= 0; }

private:
    bool lockName(std::string& problem);
    std::string holderOf() const;

    int m_lock = -1;
    std::string m_name;
    std::string m_deviceNode;
    std::string m_lockPath;
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
