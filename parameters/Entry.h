#pragma once

#include <cstdint>

namespace ZORVI {
namespace EEPROM {

// One parameter of the device's memory image: its ID, what the device's
// descriptor says about it, the value the device holds and the value the
// user last set.
class Entry {
public:
    enum State : int32_t {
        StateNew = 0,       // only the ID is known
        StateDescribed = 1, // address and limits known, no value read yet
        StateValid = 2,     // value known and equal to the device's
        StateChanged = 3    // the user set a value the device does not hold yet
    };

    explicit Entry(uint16_t id);
    Entry(const Entry&) = default;
    Entry& operator=(const Entry&) = default;
    virtual ~Entry();

    uint16_t id() const { return m_id; }
    uint16_t address() const { return m_address; }
    int32_t minimum() const { return m_minimum; }
    int32_t maximum() const { return m_maximum; }
    int32_t defaultValue() const { return m_defaultValue; }
    int32_t value() const { return m_value; }
    int32_t newValue() const { return m_newValue; }
    State state() const { return m_state; }

    void setAddress(uint16_t address) { m_address = address; }
    void setMinimum(int32_t minimum) { m_minimum = minimum; }
    void setMaximum(int32_t maximum) { m_maximum = maximum; }
    void setDefault(int32_t defaultValue) { m_defaultValue = defaultValue; }

    void markDescribed() { m_state = StateDescribed; }
    // The device accepted newValue.
    void commit();
    bool hasId(uint16_t id) const { return m_id == id; }

    // A value from the device (bFromUser false) or from the user. True only
    // when the user's value differs from the device's, so that it must be
    // written.
    bool setValue(int32_t v, bool bFromUser);

private:
    uint16_t m_id;
    uint16_t m_address = 0;
    int32_t m_minimum = 0;
    int32_t m_maximum = 0;
    int32_t m_defaultValue = 0;
    int32_t m_value = 0;
    int32_t m_newValue = 0;
    State m_state = StateNew;
};

} // namespace EEPROM
} // namespace ZORVI
