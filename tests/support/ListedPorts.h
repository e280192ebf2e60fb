#pragma once

// Port names in the test's own port list (PrivatePorts) with nothing behind
// them, for the tests of how a window follows the list: on Linux port map
// entries pointing at one idle pseudo-terminal, on Windows entries of the
// system's list.

#include <string>
#include <vector>

#ifdef _WIN32
#include "PrivatePortList.h"
#else
#include "PortMap.h"
#include "PtyPair.h"
#endif

class ListedPorts {
public:
#ifdef _WIN32
    bool isReady() const { return true; }
    bool add(const std::string& name) { return PrivatePortList::add(name); }
    bool remove(const std::string& name) { return PrivatePortList::remove(name); }
    std::vector<std::string> names() const { return PrivatePortList::names(); }
#else
    bool isReady() const { return m_line.isOpen(); }
    bool add(const std::string& name) { return PortMap::add(name, m_line.slavePath()); }
    bool remove(const std::string& name) { return PortMap::remove(name); }
    std::vector<std::string> names() const { return PortMap::entries(); }

private:
    using PortMap = ZORVI::Communication::Serial::PortMap;
    PtyPair m_line;
#endif
};
