#pragma once

#include "DeviceConnection.h"
#include "DeviceInfo.h"
#include "LinkFailure.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace ZORVI {
class Control;
namespace Cli {

// Opens a port with the adapter's echo test and asks what is behind it, as
// the windows do: the device information, or else the recovery-mode
// hardware byte. Prints what it finds and why it fails.
class DeviceSession {
public:
    enum class Found { Nothing, Firmware, Recovery };

    // Progress lines go to `report`; errors always go to standard error.
    explicit DeviceSession(Control& control, FILE* report = stdout)
        : m_control(control), m_report(report)
    {
    }

    // EXIT_ADAPTER when the port does not open or does not echo, else
    // EXIT_OK; found() tells what answered.
    int open(const std::string& port);
    Found found() const { return m_found; }
    const DeviceInfo& deviceInfo() const { return m_result.info; }
    uint8_t recoveryHardware() const { return m_result.recoveryHardware; }
    // What open() came to: the port's failure, or what answered behind it.
    const DeviceConnection::Result& result() const { return m_result; }

    void printDevice() const;

    // For an outcome where the port itself failed (see
    // DeviceConnection::isPortFailure): says on standard error what failed
    // on which port and what the user can do. Returns EXIT_ADAPTER.
    static int reportPortFailure(DeviceConnection::Outcome outcome, const std::string& port,
                                 const Control& control);
    // Says on standard error why an exchange with the adapter or the device
    // failed (Control::describe); nothing for LinkFailure::None.
    static void reportLinkFailure(LinkFailure failure);
    // For a connect or probe that did not reach the device: the outcome as
    // the windows say it (DeviceConnection::sentence), after `deviceLead`
    // when the device is at fault or after "the KORLINK interface on PORT"
    // when the adapter stopped echoing, then the link's reason on a line of
    // its own where the sentence leaves it out. Returns the exit code for
    // it (unreachedExit).
    static int reportUnreached(const std::string& port, const std::string& deviceLead,
                               const DeviceConnection::Result& result);
    // EXIT_ADAPTER where the adapter's echo failed after the probe (as when
    // it does not echo the probe), else EXIT_NO_DEVICE.
    static int unreachedExit(const DeviceConnection::Result& result);
    // The exit code of an exchange that failed this way once the device had
    // answered: EXIT_ADAPTER for an echo failure, else EXIT_NO_DEVICE.
    static int exitFor(LinkFailure failure);

private:
    Control& m_control;
    FILE* m_report;
    std::string m_port;
    Found m_found = Found::Nothing;
    DeviceConnection::Result m_result;
};

} // namespace Cli
} // namespace ZORVI
