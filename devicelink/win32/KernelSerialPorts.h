#pragma once

#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {
namespace Serial {

// The kernel's serial ports with hardware behind them, by their names in
// /dev (ttyS0, ttyUSB0, ttyACM0, ...), as the kernel's tty class in sysfs
// shows them. Not ports: terminals without a device (tty, console, the
// virtual terminals, ptmx) and 8250 ports without a UART.
class KernelSerialPorts {
public:
    // All of them, sorted by name.
    static std::vector<std::string> list();
    // Whether /dev/<name> is one of them.
    static bool contains(const std::string& name);
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
