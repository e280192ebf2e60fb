#pragma once

// Windows: the system's serial port list, as the programs read it
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, one value per port whose data is the
// port's name), given to a test for as long as the object lives. The ports
// listed before are taken out and put back at the end, so that a window
// lists exactly the test's own ports, as a private XDG_RUNTIME_DIR gives a
// test on Linux. Lists made inside one another nest the same way.
//
// The list belongs to the machine (here: to the wine prefix the tests run
// in), so the suites that use it run one after the other, never side by
// side in one prefix.

#ifndef _WIN32
#error "PrivatePortList is the Windows port list; Linux tests use PrivateRuntimeDir"
#endif

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class PrivatePortList {
public:
    PrivatePortList()
    {
        HKEY key = openList();
        if (!key)
            return;
        m_saved = readAll(key, m_listedBefore);
        m_ready = m_saved && clear(key);
        RegCloseKey(key);
    }

    ~PrivatePortList()
    {
        HKEY key = m_saved ? openList() : nullptr;
        if (!key)
            return;
        clear(key);
        for (const Entry& entry : m_listedBefore)
            setValue(key, entry.first, entry.second);
        RegCloseKey(key);
    }

    PrivatePortList(const PrivatePortList&) = delete;
    PrivatePortList& operator=(const PrivatePortList&) = delete;

    bool isReady() const { return m_ready; }

    // Lists a port (as a serial driver lists its device) or takes it out.
    static bool add(const std::string& name)
    {
        HKEY key = openList();
        if (!key)
            return false;
        const bool ok = setValue(key, deviceFor(name), name);
        RegCloseKey(key);
        return ok;
    }

    static bool remove(const std::string& name)
    {
        HKEY key = openList();
        if (!key)
            return false;
        const LONG result = RegDeleteValueA(key, deviceFor(name).c_str());
        RegCloseKey(key);
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }

    // The port names listed now, in the registry's order.
    static std::vector<std::string> names()
    {
        std::vector<std::string> listed;
        std::vector<Entry> entries;
        HKEY key = openList();
        if (key && readAll(key, entries)) {
            for (const Entry& entry : entries)
                listed.push_back(entry.second);
        }
        if (key)
            RegCloseKey(key);
        return listed;
    }

private:
    using Entry = std::pair<std::string, std::string>; // device, port name

    // The key lies in the part of the registry that the system makes anew
    // at every start, so it is created volatile when no port made it yet.
    static HKEY openList()
    {
        HKEY key = nullptr;
        const LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                            0, nullptr, REG_OPTION_VOLATILE,
                                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
        return result == ERROR_SUCCESS ? key : nullptr;
    }

    // Value names are the same in any case; port names are not (the tests
    // list "ZA" beside "za"), so the device is named by the name's bytes.
    static std::string deviceFor(const std::string& name)
    {
        static const char DIGITS[] = "0123456789abcdef";
        std::string device = "\\Device\\ZorvikTest";
        for (const unsigned char byte : name) {
            device += DIGITS[byte >> 4];
            device += DIGITS[byte & 0x0F];
        }
        return device;
    }

    static bool setValue(HKEY key, const std::string& device, const std::string& name)
    {
        return RegSetValueExA(key, device.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(name.c_str()),
                              static_cast<DWORD>(name.size() + 1))
            == ERROR_SUCCESS;
    }

    static bool readAll(HKEY key, std::vector<Entry>& entries)
    {
        for (DWORD index = 0;; ++index) {
            char device[256];
            char name[256];
            DWORD deviceLength = sizeof device;
            DWORD nameLength = sizeof name;
            DWORD type = 0;
            const LONG result = RegEnumValueA(key, index, device, &deviceLength, nullptr, &type,
                                              reinterpret_cast<BYTE*>(name), &nameLength);
            if (result == ERROR_NO_MORE_ITEMS)
                return true;
            if (result != ERROR_SUCCESS || type != REG_SZ)
                return false;
            name[nameLength < sizeof name ? nameLength : sizeof name - 1] = '\0';
            entries.emplace_back(device, name);
        }
    }

    static bool clear(HKEY key)
    {
        std::vector<Entry> entries;
        if (!readAll(key, entries))
            return false;
        for (const Entry& entry : entries) {
            if (RegDeleteValueA(key, entry.first.c_str()) != ERROR_SUCCESS)
                return false;
        }
        return true;
    }

    std::vector<Entry> m_listedBefore;
    bool m_saved = false; // m_listedBefore is the whole list from before
    bool m_ready = false;
};
