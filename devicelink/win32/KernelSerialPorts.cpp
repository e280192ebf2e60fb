#include "KernelSerialPorts.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

constexpr const char TTY_CLASS[] = "/sys/class/tty/";
constexpr const char DEVICE_DIRECTORY[] = "/dev/";

std::string linkTarget(const std::string& path)
{
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target))
        return std::string();
    return std::string(target, static_cast<size_t>(length));
}

bool isLink(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool isCharacterDevice(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// The 8250 driver registers a fixed number of ports whether or not a UART is
// behind them; only the port itself can say. A port someone holds
// exclusively (EBUSY) is in use, so it is real.
bool isEmpty8250Port(const std::string& devicePath)
{
    const int fd = open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno != EBUSY;
    serial_struct info{};
    const bool known = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    close(fd);
    return !known;
}

bool isPlainName(const std::string& name)
{
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

} // namespace

// A tty with hardware behind it: it has a device, the device is not a
// virtual one (consoles, pseudo-terminals), it has a node in /dev, and for
// the 8250 driver the UART is really there.
bool KernelSerialPorts::contains(const std::string& name)
{
    if (!isPlainName(name))
        return false;
    const std::string classEntry = TTY_CLASS + name;
    if (!isLink(classEntry + "/device"))
        return false;
    const std::string target = linkTarget(classEntry);
    if (target.empty() || target.find("/virtual/") != std::string::npos)
        return false;
    const std::string devicePath = DEVICE_DIRECTORY + name;
    if (!isCharacterDevice(devicePath))
        return false;
    return target.find("serial8250") == std::string::npos || !isEmpty8250Port(devicePath);
}

std::vector<std::string> KernelSerialPorts::list()
{
    std::vector<std::string> ports;
    DIR* dir = opendir(TTY_CLASS);
    if (!dir)
        return ports;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (contains(name))
            ports.push_back(name);
    }
    closedir(dir);
    std::sort(ports.begin(), ports.end());
    return ports;
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
