#pragma once

#include "Control.h"
#include "DeviceConnection.h"
#include "EEP.h"

#include <QCoreApplication>

#include <memory>
#include <string>

namespace ZORVI {
namespace Cli {

// A connection to the device for the parameter commands, made by the
// settings program's own connect sequence (DeviceConnection): the adapter's
// echo, the device information, the hardware and application versions the
// settings software accepts, and the handshake. The parameters are then
// reached through the settings program's own parameter memory. Progress and
// refusals go to standard error, so that standard output carries only the
// command's result.
class ParameterSession {
public:
    ParameterSession();
    ~ParameterSession();
    ParameterSession(const ParameterSession&) = delete;
    ParameterSession& operator=(const ParameterSession&) = delete;

    // An exit code of Command.h: EXIT_OK once the handshake succeeded.
    int connect(const std::string& port);
    EEPROM::EEP& memory() { return *m_memory; }

private:
    static void printDevice(const DeviceInfo& info);
    static int refuse(const DeviceConnection::Result& result, const std::string& port);

    // The parameter memory's write timer needs an event dispatcher.
    int m_argc = 1;
    char m_programName[7] = "zorvik";
    char* m_argv[2] = {m_programName, nullptr};
    std::unique_ptr<QCoreApplication> m_application;
    Control m_control;
    std::unique_ptr<EEPROM::EEP> m_memory;
};

} // namespace Cli
} // namespace ZORVI
