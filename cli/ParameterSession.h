#pragma once

#include "Control.h"
#include "DeviceConnection.h"
#include "ParameterIds.h"
#include "ParameterMemory.h"

#include <memory>
#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

// A connection to the device for the parameter commands, made by the
// settings program's own connect sequence (DeviceConnection): the adapter's
// echo, the device information, the hardware and application versions the
// settings software accepts, and the handshake. The parameters are then
// reached through the parameter memory the settings window uses, without
// its write cycle: the commands write at once. Progress and refusals go to
// standard error, so that standard output carries only the command's result.
class ParameterSession {
public:
    ParameterSession();
    ~ParameterSession();
    ParameterSession(const ParameterSession&) = delete;
    ParameterSession& operator=(const ParameterSession&) = delete;

    // An exit code of Command.h: EXIT_OK once the handshake succeeded and
    // every parameter the programs use was read, the IDs given first (the
    // memory writes its changes in the order its entries were first used).
    // The first request that fails ends it with EXIT_NO_DEVICE and the
    // reason on standard error: nothing is asked again.
    int connect(const std::string& port,
                const std::vector<uint16_t>& order = EEPROM::parameterIds());
    EEPROM::ParameterMemory& memory() { return m_memory; }
    // Why the last exchange with the device failed, and that on standard error.
    LinkFailure lastFailure() const { return m_control->lastFailure(); }
    void reportLinkFailure() const;
    // Says on standard error that a write failed and what that means for
    // what the device holds, then why (the failure of the write).
    static void reportWriteFailure(LinkFailure failure);
    // The device as it described itself when connecting.
    const DeviceInfo& deviceInfo() const { return m_info; }

private:
    static void printDevice(const DeviceInfo& info);
    static int refuse(const DeviceConnection::Result& result, const std::string& port);

    // Made by ControlFactory: traced under zorvik --trace.
    std::unique_ptr<Control> m_control;
    EEPROM::ParameterMemory m_memory;
    DeviceInfo m_info;
};

} // namespace Cli
} // namespace ZORVI
