#include "SessionChanges.h"

#include "ParameterIds.h"

#include <algorithm>

namespace ZORVI {

uint16_t SessionChanges::geometryKey()
{
    for (const EEPROM::ParameterName& parameter : EEPROM::PARAMETER_NAMES)
        if (Rules::isGeometryEntry(parameter.id))
            return parameter.id;
    return 0;
}

void SessionChanges::start(const Rules::Parameters& device)
{
    m_atConnect = device;
    m_started = true;
}

void SessionChanges::end()
{
    m_atConnect.clear();
    m_started = false;
}

bool SessionChanges::differs(uint16_t id, const Rules::Parameters& before,
                             const Rules::Parameters& after)
{
    const auto then = before.find(id);
    const auto now = after.find(id);
    return then != before.end() && now != after.end() && then->second.value != now->second.value;
}

std::vector<uint16_t> SessionChanges::differences(const Rules::Parameters& before,
                                                  const Rules::Parameters& after)
{
    std::vector<uint16_t> settings;
    for (const EEPROM::ParameterName& parameter : EEPROM::PARAMETER_NAMES) {
        if (!differs(parameter.id, before, after))
            continue;
        const uint16_t setting =
            Rules::isGeometryEntry(parameter.id) ? geometryKey() : parameter.id;
        if (std::find(settings.begin(), settings.end(), setting) == settings.end())
            settings.push_back(setting);
    }
    return settings;
}

Rules::Changes SessionChanges::revert(const std::vector<uint16_t>& settings) const
{
    const auto asked = [&settings](uint16_t id) {
        const uint16_t setting = Rules::isGeometryEntry(id) ? geometryKey() : id;
        return std::find(settings.begin(), settings.end(), setting) != settings.end();
    };
    Rules::Changes changes;
    for (const EEPROM::ParameterName& parameter : EEPROM::PARAMETER_NAMES) {
        const auto before = m_atConnect.find(parameter.id);
        if (before != m_atConnect.end() && asked(parameter.id))
            changes.push_back({parameter.id, before->second.value});
    }
    return changes;
}

} // namespace ZORVI
