#include "ParameterSession.h"

#include "DeviceSession.h"

#include "Command.h"
#include "DeviceRequirements.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {
// The run limits the settings window uses.
constexpr uint32_t MAX_ID_RUN = 16;
constexpr uint32_t MAX_ADDRESS_RUN = 127;
} // namespace

ParameterSession::ParameterSession()
{
    if (!QCoreApplication::instance())
        m_application = std::make_unique<QCoreApplication>(m_argc, m_argv);
    m_memory = std::make_unique<EEPROM::EEP>(&m_control, false, MAX_ID_RUN, MAX_ADDRESS_RUN);
}

ParameterSession::~ParameterSession()
{
    m_memory.reset();
    m_control.close();
}

int ParameterSession::connect(const std::string& port)
{
    DeviceSession session(m_control, stderr);
    const int opened = session.open(port);
    if (opened != EXIT_OK)
        return opened;
    if (session.found() == DeviceSession::Found::Recovery) {
        std::fprintf(stderr,
                     "zorvik: the device on %s is in recovery mode (hardware %s); its "
                     "parameters cannot be reached\n",
                     port.c_str(), recoveryHardwareText(session.recoveryHardware()).c_str());
        return EXIT_NO_DEVICE;
    }
    if (session.found() == DeviceSession::Found::Nothing) {
        std::fprintf(stderr, "zorvik: No ZORVIK Device found on %s\n", port.c_str());
        return EXIT_NO_DEVICE;
    }
    m_info = session.deviceInfo();
    std::fprintf(stderr, "Device: application %s, hardware %s, data %s, serial %s\n",
                 m_info.applicationVersionText().c_str(), m_info.hardwareVersionText().c_str(),
                 m_info.dataVersionText().c_str(), m_info.serialLabelText().c_str());
    if (!DeviceRequirements::deviceFits(m_info))
        return refuseDevice();
    if (!m_control.handshake(m_info.tokenHigh(), m_info.tokenLow())) {
        std::fprintf(stderr, "zorvik: the device did not answer the handshake\n");
        return EXIT_NO_DEVICE;
    }
    m_control.setBlockMode(false);
    return EXIT_OK;
}

int ParameterSession::refuseDevice() const
{
    if (!DeviceRequirements::hardwareFits(m_info)) {
        std::fprintf(stderr,
                     "zorvik: Wrong Hardware: this software requires hardware version %u.x "
                     "(TR6400QK)\n",
                     unsigned(DeviceRequirements::HARDWARE_MAJOR));
    } else {
        std::fprintf(stderr,
                     "zorvik: Wrong Application Version: this software requires firmware "
                     "%u.%u.x; get it at %s\n",
                     unsigned(DeviceRequirements::APPLICATION_MAJOR),
                     unsigned(DeviceRequirements::APPLICATION_MINOR),
                     DeviceRequirements::productPageUrl(m_info).c_str());
    }
    return EXIT_NO_DEVICE;
}

} // namespace Cli
} // namespace ZORVI
