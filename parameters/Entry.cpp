#include "Entry.h"

namespace ZORVI {
namespace EEPROM {

Entry::Entry(uint16_t id)
    : m_id(id)
{
}

Entry::~Entry() = default;

void Entry::commit()
{
    m_value = m_newValue;
    m_state = StateValid;
}

bool Entry::setValue(int32_t v, bool bFromUser)
{
    if (m_state == StateNew)
        return false;
    if (!bFromUser) {
        // Only a value read from the device gives an entry its first value.
        if (m_state == StateDescribed) {
            m_value = v;
            m_newValue = v;
            m_state = StateValid;
        }
        return false;
    }
    // Without the device's value there is nothing to compare a user's value
    // with: writing it could overwrite a setting nobody has seen.
    if (m_state == StateDescribed)
        return false;
    m_newValue = v;
    m_state = (m_newValue != m_value) ? StateChanged : StateValid;
    return m_state == StateChanged;
}

} // namespace EEPROM
} // namespace ZORVI
