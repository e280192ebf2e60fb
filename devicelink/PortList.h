#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {

namespace Serial {
class SerialBase;
}

// The system's serial port list, as the programs offer it to the user: read
// through a port object (which is never opened for it) and followed from
// one reading to the next. The registry's list has no fixed end, so the
// reading stops after MAX_PORTS names, and a name that fills the buffer is
// cut to NAME_SIZE - 1 bytes and always terminated.
//
// Names stay in the system's 8-bit encoding: they are what the port object
// opens again.
class PortList {
public:
    using Names = std::vector<std::string>;

    static constexpr uint32_t NAME_SIZE = 250;
    // The system never holds this many ports; the bound only guards the loop.
    static constexpr uint32_t MAX_PORTS = 1024;

    // Reads the list through a port object of its own.
    PortList();
    // Reads the list through this port object, which must outlive the list.
    explicit PortList(Serial::SerialBase& port);
    ~PortList();
    PortList(const PortList&) = delete;
    PortList& operator=(const PortList&) = delete;

    // The ports present now, in the system's order.
    Names present();
    // The ports present now in plain byte order, as the user knows the list
    // from the system (COM10 before COM3).
    Names sortedPresent();

    // Reads the list again: ports that went away leave the known list, new
    // ones join it, and it is sorted again. True when anything changed;
    // an unchanged list stays as it is, so a window need not rebuild its box.
    bool update();
    const Names& known() const { return m_known; }

private:
    static Names sorted(Names names);
    static Names followed(const Names& known, const Names& present, bool* changed);

    std::unique_ptr<Serial::SerialBase> m_ownPort;
    Serial::SerialBase& m_port;
    Names m_known;
};

} // namespace Communication
} // namespace ZORVI
