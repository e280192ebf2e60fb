#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace ZORVI {
namespace Communication {
namespace Serial {

// Which character devices are serial lines, as the kernel's terminal
// drivers say (/proc/tty/drivers): the serial drivers' devices (ttyS,
// ttyUSB, ttyACM, ...) and pseudo-terminal slaves (what a virtual port
// provider such as the device simulator hands out). Not lines: the user's
// own terminal (/dev/tty), the consoles and virtual terminals, and
// pseudo-terminal masters. The device number decides, so a device node is
// never opened to find out (opening a serial port raises its modem lines).
class TerminalDrivers {
public:
    // Where the kernel lists its terminal drivers.
    static constexpr const char* DRIVER_LIST = "/proc/tty/drivers";

    // The drivers as the kernel lists them now; none when the list cannot
    // be read, so that nothing passes for a serial line.
    static TerminalDrivers load(const std::string& driverList = DRIVER_LIST);
    // Reads the list's text: one driver a line, ending in the major
    // number, the minor number or range ("64" or "64-95") and the type.
    static TerminalDrivers parse(const std::string& text);

    bool isSerialLine(dev_t device) const;

private:
    struct Range {
        unsigned major;
        unsigned firstMinor;
        unsigned lastMinor;
    };
    static bool parseLine(const std::string& line, Range& range);

    std::vector<Range> m_serialLines;
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
