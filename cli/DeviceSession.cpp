#include "DeviceSession.h"

#include "Command.h"
#include "Control.h"
#include "ControlText.h"

#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {

using Outcome = DeviceConnection::Outcome;

DeviceSession::Found foundOf(Outcome probed)
{
    switch (probed) {
    case Outcome::Found: return DeviceSession::Found::Firmware;
    case Outcome::Recovery: return DeviceSession::Found::Recovery;
    default: return DeviceSession::Found::Nothing;
    }
}

} // namespace

int DeviceSession::open(const std::string& port)
{
    m_port = port;
    m_found = Found::Nothing;
    m_result = DeviceConnection::Result();
    const Outcome opened = DeviceConnection::openPort(m_control, port.c_str());
    if (opened != Outcome::Found) {
        m_result.outcome = opened;
        return reportPortFailure(opened, port, m_control);
    }
    std::fprintf(m_report, "Interface:   KORLINK interface on %s, echo OK\n",
                 ControlText::escaped(port).c_str());
    m_result = DeviceConnection::probe(m_control);
    m_found = foundOf(m_result.outcome);
    return EXIT_OK;
}

int DeviceSession::reportPortFailure(DeviceConnection::Outcome outcome, const std::string& port,
                                     const Control& control)
{
    const char* reason = DeviceConnection::reason(outcome);
    if (outcome == Outcome::NoEcho) {
        std::fprintf(stderr, "zorvik: the KORLINK interface on %s did not echo the interface "
                             "probe: %s\n",
                     ControlText::escaped(port).c_str(), reason);
        // No echo, a garbled one, or a port that took no bytes.
        reportLinkFailure(control.lastFailure());
    } else {
        // Then the system's own words: they tell apart what the reason
        // groups together (a port that vanished, the program that holds
        // it, the group to join and the command for it).
        std::fprintf(stderr, "zorvik: cannot open port %s: %s\n",
                     ControlText::escaped(port).c_str(), reason);
        std::fprintf(stderr, "zorvik: %s\n", ControlText::escaped(control.lastOpenError()).c_str());
    }
    return EXIT_ADAPTER;
}

void DeviceSession::reportLinkFailure(LinkFailure failure)
{
    if (failure != LinkFailure::None)
        std::fprintf(stderr, "zorvik: %s\n", Control::describe(failure));
}

int DeviceSession::reportUnreached(const std::string& port, const std::string& deviceLead,
                                   const DeviceConnection::Result& result)
{
    const std::string lead = DeviceConnection::adapterFailed(result)
        ? "zorvik: the KORLINK interface on " + port + ": "
        : deviceLead;
    std::fprintf(stderr, "%s%s\n", ControlText::escaped(lead).c_str(),
                 DeviceConnection::sentence(result).c_str());
    if (!*DeviceConnection::explain(result).link)
        reportLinkFailure(result.linkFailure);
    return unreachedExit(result);
}

int DeviceSession::exitFor(LinkFailure failure)
{
    return isEchoFailure(failure) ? EXIT_ADAPTER : EXIT_NO_DEVICE;
}

int DeviceSession::unreachedExit(const DeviceConnection::Result& result)
{
    return DeviceConnection::adapterFailed(result) ? EXIT_ADAPTER : EXIT_NO_DEVICE;
}

void DeviceSession::printDevice() const
{
    switch (m_found) {
    case Found::Firmware:
        std::printf("Application: %s\n", m_result.info.applicationVersionText().c_str());
        std::printf("Hardware:    %s\n", m_result.info.hardwareVersionText().c_str());
        std::printf("Data:        %s\n", m_result.info.dataVersionText().c_str());
        std::printf("Serial:      %s\n", m_result.info.serialLabelText().c_str());
        break;
    case Found::Recovery:
        std::printf("Hardware:    %s (Recovery-Mode)\n",
                    recoveryHardwareText(m_result.recoveryHardware).c_str());
        std::printf("ZORVIK Device in Recovery-Mode found\n");
        break;
    case Found::Nothing:
        reportUnreached(m_port, "No ZORVIK Device found: ", m_result);
        break;
    }
}

} // namespace Cli
} // namespace ZORVI
