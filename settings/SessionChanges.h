#pragma once

#include "ParameterRules.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZORVI {

// What the device held when the settings window connected to it, against
// what it holds now: the settings the pilot changed in this session, and
// the changes that would bring them back. The swash plate geometry counts
// as one setting: its seven entries are only ever stored together (a
// geometry at a phase angle), so it is listed, counted and brought back as
// a whole. No Qt: plain numbers in, plain numbers out.
class SessionChanges {
public:
    // The entry that stands for the whole geometry in changed() and in a
    // revert request: the first geometry entry of EEPROM::PARAMETER_NAMES.
    static uint16_t geometryKey();

    // The device as read on connecting (its values, before any edit).
    void start(const Rules::Parameters& device);
    // The session is over (disconnected): nothing counts as changed.
    void end();
    bool isStarted() const { return m_started; }
    const Rules::Parameters& atConnect() const { return m_atConnect; }

    // The settings that differ now, in the order of EEPROM::PARAMETER_NAMES;
    // the geometry once, as geometryKey(), when any of its entries differs.
    // A setting read only on one side (not offered then or now) is left out.
    std::vector<uint16_t> changed(const Rules::Parameters& now) const
    {
        return differences(m_atConnect, now);
    }
    size_t count(const Rules::Parameters& now) const { return changed(now).size(); }

    // The settings that differ between two states of a device, counted as
    // changed() counts them (a backup against the device, say).
    static std::vector<uint16_t> differences(const Rules::Parameters& before,
                                             const Rules::Parameters& after);

    // The values at connect of these settings, as one request for the
    // rules: geometryKey() brings back all seven geometry entries.
    // Settings without a value at connect are left out.
    Rules::Changes revert(const std::vector<uint16_t>& settings) const;

private:
    static bool differs(uint16_t id, const Rules::Parameters& before,
                        const Rules::Parameters& after);

    bool m_started = false;
    Rules::Parameters m_atConnect;
};

} // namespace ZORVI
