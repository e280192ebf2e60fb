// The one registry key the port list reads, SERIALCOMM under the local
// machine's HARDWARE\DEVICEMAP, built from the kernel's serial ports and
// the port map. Its values are named "\Device\Serial<n>" and hold the port
// names.

#include "LinuxWin32.h"
#include "PortMap.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

// An open SERIALCOMM key: the port names as they were when it was opened.
struct LinuxRegistryKey {
    std::vector<std::string> ports;
};

namespace {

constexpr const char SERIALCOMM_KEY[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char VALUE_NAME_PREFIX[] = "\\Device\\Serial";
constexpr const char TTY_CLASS[] = "/sys/class/tty/";
constexpr const char DEVICE_DIRECTORY[] = "/dev/";

std::mutex g_keysMutex;
std::set<HKEY> g_keys;

bool isSerialCommKey(HKEY root, LPCSTR subKey)
{
    // Registry paths do not care about case.
    return root == HKEY_LOCAL_MACHINE && subKey && strcasecmp(subKey, SERIALCOMM_KEY) == 0;
}

LinuxRegistryKey* lookUp(HKEY key)
{
    std::lock_guard<std::mutex> lock(g_keysMutex);
    return g_keys.count(key) ? key : nullptr;
}

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

// A tty with hardware behind it: it has a device, the device is not a
// virtual one (consoles, pseudo-terminals), it has a node in /dev, and for
// the 8250 driver the UART is really there.
bool isHardwareSerialPort(const std::string& name)
{
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

std::vector<std::string> kernelSerialPorts()
{
    std::vector<std::string> ports;
    DIR* dir = opendir(TTY_CLASS);
    if (!dir)
        return ports;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && isHardwareSerialPort(name))
            ports.push_back(name);
    }
    closedir(dir);
    std::sort(ports.begin(), ports.end());
    return ports;
}

// The kernel's ports, then the port map's. A map entry with a kernel port's
// name hides that port when opened, so it is listed once.
std::vector<std::string> serialPorts()
{
    std::vector<std::string> ports = kernelSerialPorts();
    const std::vector<std::string> mapped = ZORVI::Communication::Serial::PortMap::entries();
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [&](const std::string& port) {
                                   return std::binary_search(mapped.begin(), mapped.end(), port);
                               }),
                ports.end());
    ports.insert(ports.end(), mapped.begin(), mapped.end());
    return ports;
}

} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM /*desired*/, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!isSerialCommKey(key, subKey))
        return ERROR_FILE_NOT_FOUND;
    auto* opened = new LinuxRegistryKey{serialPorts()};
    std::lock_guard<std::mutex> lock(g_keysMutex);
    g_keys.insert(opened);
    *result = opened;
    return ERROR_SUCCESS;
}

// Lengths follow Win32: the name length is in characters, given with room
// for the NUL and returned without it; the data length is in bytes with the
// NUL, and on ERROR_MORE_DATA says how much is needed.
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                   LPDWORD /*reserved*/, LPDWORD type, LPBYTE data, LPDWORD dataLength)
{
    const LinuxRegistryKey* opened = lookUp(key);
    if (!opened)
        return ERROR_INVALID_HANDLE;
    if (!valueName || !valueNameLength || (data && !dataLength))
        return ERROR_INVALID_PARAMETER;
    if (index >= opened->ports.size())
        return ERROR_NO_MORE_ITEMS;

    const std::string name = VALUE_NAME_PREFIX + std::to_string(index);
    if (name.size() + 1 > *valueNameLength)
        return ERROR_MORE_DATA;
    std::memcpy(valueName, name.c_str(), name.size() + 1);
    *valueNameLength = static_cast<DWORD>(name.size());
    if (type)
        *type = REG_SZ;

    const std::string& port = opened->ports[index];
    const DWORD needed = static_cast<DWORD>(port.size() + 1);
    if (data && *dataLength < needed) {
        *dataLength = needed;
        return ERROR_MORE_DATA;
    }
    if (data)
        std::memcpy(data, port.c_str(), needed);
    if (dataLength)
        *dataLength = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    {
        std::lock_guard<std::mutex> lock(g_keysMutex);
        if (!g_keys.erase(key))
            return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}
