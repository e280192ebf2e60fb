#include "DeviceSettings.h"

#include "Control.h"
#include "ParameterIds.h"
#include "SettingsApply.h"

namespace ZORVI {

DeviceSettings::DeviceSettings(Control& control)
    : m_control(control)
    , m_memory(&control, false, EEPROM::ParameterMemory::DEFAULT_ID_RUN,
               EEPROM::ParameterMemory::DEFAULT_ADDRESS_RUN)
{
}

DeviceSettings::Outcome DeviceSettings::read(const char* port)
{
    m_memory.clear();
    m_failure = LinkFailure::None;
    m_connection = DeviceConnection::connect(m_control, port);
    if (m_connection.outcome != DeviceConnection::Outcome::Connected) {
        m_failure = m_connection.linkFailure;
        return m_outcome = Outcome::NotConnected;
    }
    if (!m_memory.load(EEPROM::parameterIds())) {
        m_failure = m_memory.lastFailure();
        m_control.close();
        return m_outcome = Outcome::ReadFailed;
    }
    return m_outcome = Outcome::Read;
}

SettingsFile DeviceSettings::file() const
{
    // A parameter without a value is one this firmware does not have.
    const Rules::Parameters held = m_memory.snapshot();
    std::vector<SettingsFile::Setting> settings;
    for (uint16_t id : EEPROM::parameterIds()) {
        const auto found = held.find(id);
        if (found != held.end())
            settings.push_back({id, found->second.value});
    }
    return SettingsFile(m_connection.info, std::move(settings), SettingsApply::localTimeStamp());
}

std::string DeviceSettings::problem() const
{
    if (m_outcome == Outcome::Read)
        return std::string();
    if (m_outcome == Outcome::ReadFailed) {
        std::string text = "The device stopped answering while its settings were read.";
        if (const char* why = Control::describe(m_failure); why && *why)
            text += std::string(" ") + why;
        return text;
    }
    if (m_connection.outcome == DeviceConnection::Outcome::Recovery)
        return "The device is in recovery mode: its settings cannot be read.";
    return DeviceConnection::sentence(m_connection);
}

} // namespace ZORVI
