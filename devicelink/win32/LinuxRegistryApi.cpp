// The one registry key the port list reads, SERIALCOMM under the local
// machine's HARDWARE\DEVICEMAP, built from the kernel's serial ports and
// the port map. Its values are named "\Device\Serial<n>" and hold the port
// names.

#include "KernelSerialPorts.h"
#include "LinuxWin32.h"
#include "PortMap.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <strings.h>

using PortList = std::vector<std::string>;
using PortSnapshot = std::shared_ptr<const PortList>;

// An open SERIALCOMM key: the port list it reads, bound at its first read.
struct LinuxRegistryKey {
    PortSnapshot ports;
};

namespace {

using ZORVI::Communication::Serial::KernelSerialPorts;
using ZORVI::Communication::Serial::PortMap;

constexpr const char SERIALCOMM_KEY[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char VALUE_NAME_PREFIX[] = "\\Device\\Serial";

std::mutex g_keysMutex;
std::set<HKEY> g_keys;

// The list this thread's current enumeration pass reads. Programs list the
// ports one index at a time, opening the key for every index, and scanning
// the ports is what costs (a system call or more per port): so a pass takes
// one snapshot, when it asks for index 0, and every later index of the pass
// reads that snapshot instead of scanning again. Per thread, so that a pass
// on one thread never sees the list change under it because another thread
// started one.
thread_local PortSnapshot t_currentPass;

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

// The kernel's ports, then the port map's. A map entry with a kernel port's
// name hides that port when opened, so it is listed once.
PortList serialPorts()
{
    PortList ports = KernelSerialPorts::list();
    const PortList mapped = PortMap::entries();
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [&](const std::string& port) {
                                   return std::binary_search(mapped.begin(), mapped.end(), port);
                               }),
                ports.end());
    ports.insert(ports.end(), mapped.begin(), mapped.end());
    return ports;
}

// Index 0 starts a pass with a fresh snapshot; a key first read at a later
// index belongs to the pass under way.
const PortList& portsFor(LinuxRegistryKey& key, DWORD index)
{
    if (index == 0 || (!key.ports && !t_currentPass)) {
        t_currentPass = std::make_shared<const PortList>(serialPorts());
        key.ports = t_currentPass;
    } else if (!key.ports) {
        key.ports = t_currentPass;
    }
    return *key.ports;
}

} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM /*desired*/, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!isSerialCommKey(key, subKey))
        return ERROR_FILE_NOT_FOUND;
    auto* opened = new LinuxRegistryKey;
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
    LinuxRegistryKey* opened = lookUp(key);
    if (!opened)
        return ERROR_INVALID_HANDLE;
    if (!valueName || !valueNameLength || (data && !dataLength))
        return ERROR_INVALID_PARAMETER;
    const PortList& ports = portsFor(*opened, index);
    if (index >= ports.size())
        return ERROR_NO_MORE_ITEMS;

    const std::string name = VALUE_NAME_PREFIX + std::to_string(index);
    if (name.size() + 1 > *valueNameLength)
        return ERROR_MORE_DATA;
    std::memcpy(valueName, name.c_str(), name.size() + 1);
    *valueNameLength = static_cast<DWORD>(name.size());
    if (type)
        *type = REG_SZ;

    const std::string& port = ports[index];
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
