#include "DeviceSession.h"

#include "Command.h"
#include "Control.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

int DeviceSession::open(const std::string& port)
{
    m_found = Found::Nothing;
    bool echo = false;
    if (!m_control.testInterface(port.c_str(), &echo)) {
        std::fprintf(stderr, "zorvik: cannot open port %s: %s\n", port.c_str(),
                     m_control.lastOpenError().c_str());
        return EXIT_ADAPTER;
    }
    if (!echo) {
        std::fprintf(stderr,
                     "zorvik: the KORLINK interface on %s did not echo the interface probe\n",
                     port.c_str());
        return EXIT_ADAPTER;
    }
    std::fprintf(m_report, "Interface:   KORLINK interface on %s, echo OK\n", port.c_str());
    if (m_control.queryDeviceInfo(&m_info))
        m_found = Found::Firmware;
    else if (m_control.queryRecovery(&m_recoveryHardware))
        m_found = Found::Recovery;
    return EXIT_OK;
}

void DeviceSession::printDevice() const
{
    switch (m_found) {
    case Found::Firmware:
        std::printf("Application: %s\n", m_info.applicationVersionText().c_str());
        std::printf("Hardware:    %s\n", m_info.hardwareVersionText().c_str());
        std::printf("Data:        %s\n", m_info.dataVersionText().c_str());
        std::printf("Serial:      %s\n", m_info.serialLabelText().c_str());
        break;
    case Found::Recovery:
        std::printf("Hardware:    %s (Recovery-Mode)\n",
                    recoveryHardwareText(m_recoveryHardware).c_str());
        std::printf("ZORVIK Device in Recovery-Mode found\n");
        break;
    case Found::Nothing:
        std::fprintf(stderr, "No ZORVIK Device found\n");
        break;
    }
}

} // namespace Cli
} // namespace ZORVI
