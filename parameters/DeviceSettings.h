#pragma once

#include "DeviceConnection.h"
#include "LinkFailure.h"
#include "ParameterMemory.h"
#include "SettingsFile.h"

#include <string>

namespace ZORVI {

class Control;

// The settings of the device on a port, read as the settings program reads
// them: DeviceConnection::connect (echo, device information, the versions
// it works with, the handshake), then every parameter the programs use that
// the device's firmware has. For the backup before an update and the
// comparison after it, in the updater window and `zorvik update` alike.
// No Qt.
class DeviceSettings {
public:
    enum class Outcome {
        Read,         // every parameter the device offers was read
        NotConnected, // no connection (see connection().outcome)
        ReadFailed    // connected, but a request failed (see failure())
    };

    // The controller is not owned.
    explicit DeviceSettings(Control& control);
    DeviceSettings(const DeviceSettings&) = delete;
    DeviceSettings& operator=(const DeviceSettings&) = delete;

    // Connects on the port and reads. The port stays open after Read (for
    // writes through memory()); else it is closed.
    Outcome read(const char* port);

    const DeviceConnection::Result& connection() const { return m_connection; }
    const DeviceInfo& info() const { return m_connection.info; }
    LinkFailure failure() const { return m_failure; }
    EEPROM::ParameterMemory& memory() { return m_memory; }
    // After Read: every parameter the device offers, as read, in the
    // programs' order, with the device's description and the local time.
    SettingsFile file() const;
    // After anything but Read: why, in a sentence (English), without the
    // port's name.
    std::string problem() const;

private:
    Control& m_control;
    EEPROM::ParameterMemory m_memory;
    DeviceConnection::Result m_connection;
    Outcome m_outcome = Outcome::NotConnected;
    LinkFailure m_failure = LinkFailure::None;
};

} // namespace ZORVI
