#include "ParameterSession.h"

#include "DeviceSession.h"

#include "Command.h"
#include "ControlFactory.h"
#include "ControlText.h"
#include "DeviceRequirements.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {

using Outcome = DeviceConnection::Outcome;

bool deviceAnswered(Outcome outcome)
{
    return outcome == Outcome::Connected || outcome == Outcome::WrongHardware
        || outcome == Outcome::WrongApplication || outcome == Outcome::HandshakeRefused;
}

} // namespace

ParameterSession::ParameterSession()
    : m_control(ControlFactory::make())
    , m_memory(m_control.get(), false, EEPROM::ParameterMemory::DEFAULT_ID_RUN,
               EEPROM::ParameterMemory::DEFAULT_ADDRESS_RUN)
{
}

ParameterSession::~ParameterSession()
{
    m_control->close();
}

int ParameterSession::connect(const std::string& port, const std::vector<uint16_t>& order)
{
    const DeviceConnection::Result result = DeviceConnection::connect(*m_control, port.c_str());
    if (DeviceConnection::isPortFailure(result.outcome))
        return DeviceSession::reportPortFailure(result.outcome, port, *m_control);
    // Standard error is for problems: which device answered is told only
    // when something went wrong with it.
    if (result.outcome != Outcome::Connected) {
        if (deviceAnswered(result.outcome))
            printDevice(result.info);
        return refuse(result, port);
    }
    m_info = result.info;
    if (m_memory.load(order))
        return EXIT_OK;
    printDevice(result.info);
    const LinkFailure failure = lastFailure();
    if (isEchoFailure(failure))
        std::fprintf(stderr,
                     "zorvik: the KORLINK interface on %s stopped echoing while the settings "
                     "were read; nothing was written\n",
                     ControlText::escaped(port).c_str());
    else
        std::fprintf(stderr,
                     "zorvik: the device on %s stopped answering while its settings were read; "
                     "nothing was written\n",
                     ControlText::escaped(port).c_str());
    DeviceSession::reportLinkFailure(failure);
    return DeviceSession::exitFor(failure);
}

void ParameterSession::reportWriteFailure(LinkFailure failure)
{
    // Only a refusal, or a request that never left the port, says what the
    // device holds; a write that went unanswered may have been stored or not.
    if (failure == LinkFailure::Refused)
        std::fprintf(stderr, "zorvik: the device refused the write; nothing was stored\n");
    else if (!mayHaveReachedDevice(failure))
        std::fprintf(stderr, "zorvik: the write did not reach the device; nothing was stored\n");
    else
        std::fprintf(stderr, "zorvik: the device did not confirm the write; what it holds "
                             "now is not known: check it with zorvik params\n");
    DeviceSession::reportLinkFailure(failure);
}

void ParameterSession::reportLinkFailure() const
{
    DeviceSession::reportLinkFailure(m_control->lastFailure());
}

void ParameterSession::printDevice(const DeviceInfo& info)
{
    std::fprintf(stderr, "Device: application %s, hardware %s, data %s, serial %s\n",
                 info.applicationVersionText().c_str(), info.hardwareVersionText().c_str(),
                 info.dataVersionText().c_str(), info.serialLabelText().c_str());
}

int ParameterSession::refuse(const DeviceConnection::Result& result, const std::string& port)
{
    const char* reason = DeviceConnection::reason(result.outcome);
    switch (result.outcome) {
    case Outcome::Recovery:
        std::fprintf(stderr,
                     "zorvik: the device on %s is in recovery mode (hardware %s); its "
                     "parameters cannot be reached: %s\n",
                     ControlText::escaped(port).c_str(),
                     recoveryHardwareText(result.recoveryHardware).c_str(), reason);
        break;
    case Outcome::WrongHardware:
        std::fprintf(stderr,
                     "zorvik: Wrong Hardware on %s: %s This software requires hardware version "
                     "%u.x (TR6400QK).\n",
                     ControlText::escaped(port).c_str(), reason,
                     unsigned(DeviceRequirements::HARDWARE_MAJOR));
        break;
    case Outcome::WrongApplication:
        std::fprintf(stderr,
                     "zorvik: Wrong Application Version on %s: %s This software requires "
                     "firmware %u.%u.x; get it at %s\n",
                     ControlText::escaped(port).c_str(), reason,
                     unsigned(DeviceRequirements::APPLICATION_MAJOR),
                     unsigned(DeviceRequirements::APPLICATION_MINOR),
                     DeviceRequirements::productPageUrl(result.info).c_str());
        break;
    case Outcome::HandshakeRefused:
        return DeviceSession::reportUnreached(
            port, "zorvik: the device on " + port + " did not answer the handshake: ", result);
    default:
        return DeviceSession::reportUnreached(
            port, "zorvik: No ZORVIK Device found on " + port + ": ", result);
    }
    DeviceSession::reportLinkFailure(result.linkFailure);
    return EXIT_NO_DEVICE;
}

} // namespace Cli
} // namespace ZORVI
