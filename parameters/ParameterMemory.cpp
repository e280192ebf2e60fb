#include "ParameterMemory.h"

#include "Control.h"

#include <algorithm>
#include <memory>

namespace ZORVI {
namespace EEPROM {

namespace {

// A descriptor whose minimum, taken unsigned, lies above its maximum only
// makes sense with signed limits (for example 0xFF9C .. 0x0064 is -100 .. 100).
bool hasSignedLimits(const ParameterDescriptor& record)
{
    return record.minimum > record.maximum;
}

int32_t limitValue(uint16_t word, bool isSigned)
{
    return isSigned ? static_cast<int16_t>(word) : static_cast<int32_t>(word);
}

bool hasValue(const Entry& entry)
{
    return entry.state() == Entry::StateValid || entry.state() == Entry::StateChanged;
}

} // namespace

ParameterMemory::ParameterMemory(Control* control, bool bLoaded, uint32_t maxIdRun,
                                 uint32_t maxAddressRun)
    : m_control(control)
    , m_bLoaded(bLoaded)
    , m_maxIdRun(maxIdRun)
    , m_maxAddressRun(maxAddressRun)
{
}

bool ParameterMemory::indexOfId(uint16_t id, size_t* index) const
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].hasId(id)) {
            *index = i;
            return true;
        }
    }
    return false;
}

bool ParameterMemory::indexOfAddress(uint16_t address, size_t* index) const
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].address() == address) {
            *index = i;
            return true;
        }
    }
    return false;
}

void ParameterMemory::add(uint16_t id)
{
    size_t index = 0;
    if (indexOfId(id, &index))
        return;
    m_entries.emplace_back(id);
    if (m_bLoaded)
        refresh();
}

void ParameterMemory::load(const std::vector<uint16_t>& ids)
{
    size_t index = 0;
    for (uint16_t id : ids)
        if (!indexOfId(id, &index))
            m_entries.emplace_back(id);
    refresh();
}

void ParameterMemory::refresh()
{
    m_bLoaded = true;
    describeNewEntries();
    readDescribedValues();
}

std::vector<ParameterMemory::Run> ParameterMemory::runsOf(std::vector<uint16_t> keys,
                                                          uint32_t maxRun)
{
    std::vector<Run> runs;
    std::sort(keys.begin(), keys.end());
    for (uint16_t key : keys) {
        if (!runs.empty()) {
            Run& run = runs.back();
            const bool follows = key == static_cast<uint16_t>(run.first + run.count);
            // One request carries a count byte: at most 255 keys.
            if (follows && run.count < maxRun && run.count < 255) {
                ++run.count;
                continue;
            }
        }
        runs.push_back({key, 1});
    }
    return runs;
}

std::vector<uint16_t> ParameterMemory::keysOf(Entry::State state, EntryKey key) const
{
    std::vector<uint16_t> keys;
    for (const Entry& entry : m_entries)
        if (entry.state() == state)
            keys.push_back((entry.*key)());
    return keys;
}

LinkFailure ParameterMemory::describeNewEntries()
{
    LinkFailure first = LinkFailure::None;
    for (const Run& run : runsOf(keysOf(Entry::StateNew, &Entry::id), m_maxIdRun))
        if (!describeRun(run.first, run.count) && first == LinkFailure::None)
            first = m_control->lastFailure();
    return first;
}

LinkFailure ParameterMemory::readDescribedValues()
{
    LinkFailure first = LinkFailure::None;
    const std::vector<uint16_t> addresses = keysOf(Entry::StateDescribed, &Entry::address);
    for (const Run& run : runsOf(addresses, m_maxAddressRun))
        if (!readValueRun(run.first, run.count) && first == LinkFailure::None)
            first = m_control->lastFailure();
    return first;
}

bool ParameterMemory::describeRun(uint16_t firstId, uint8_t count)
{
    uint8_t found = 0;
    ParameterDescriptor* raw = nullptr;
    if (!m_control->readDescriptors(firstId, count, &found, &raw))
        return false;
    std::unique_ptr<ParameterDescriptor[]> records(raw);
    for (uint8_t i = 0; i < found; ++i) {
        const ParameterDescriptor& record = records[i];
        size_t index = 0;
        if (!indexOfId(record.id, &index))
            continue;
        Entry& entry = m_entries[index];
        const bool isSigned = hasSignedLimits(record);
        entry.setAddress(record.address);
        entry.setMinimum(limitValue(record.minimum, isSigned));
        entry.setMaximum(limitValue(record.maximum, isSigned));
        entry.setDefault(limitValue(record.defaultValue, isSigned));
        entry.markDescribed();
    }
    return true;
}

bool ParameterMemory::readValueRun(uint16_t firstAddress, uint8_t count)
{
    // The controller refuses an answer with another number of words than
    // asked, so the array always holds count words.
    std::unique_ptr<uint16_t[]> words(m_control->readValues(firstAddress, count));
    if (!words)
        return false;
    for (uint8_t i = 0; i < count; ++i) {
        size_t index = 0;
        if (!indexOfAddress(static_cast<uint16_t>(firstAddress + i), &index))
            continue;
        Entry& entry = m_entries[index];
        const int32_t value = entry.minimum() < 0 ? static_cast<int16_t>(words[i])
                                                  : static_cast<int32_t>(words[i]);
        entry.setValue(value, false);
    }
    return true;
}

bool ParameterMemory::set(uint16_t id, int value)
{
    size_t index = 0;
    if (!indexOfId(id, &index)) {
        add(id);
        if (!m_bLoaded)
            refresh();
        if (!indexOfId(id, &index))
            return false;
    }
    Entry& entry = m_entries[index];
    // Undescribed, or described but never read: nothing to compare with.
    if (!hasValue(entry))
        return false;
    if (value < entry.minimum() || value > entry.maximum())
        return false;
    return entry.setValue(value, true);
}

int ParameterMemory::get(uint16_t id, int field, bool* ok)
{
    if (ok)
        *ok = false;
    refresh();
    size_t index = 0;
    if (!indexOfId(id, &index)) {
        add(id);
        if (!indexOfId(id, &index))
            return 0;
    }
    const Entry& entry = m_entries[index];
    if (!hasValue(entry))
        return 0;
    int answer = 0;
    switch (field) {
    case FieldValue: answer = entry.value(); break;
    case FieldNewValue: answer = entry.newValue(); break;
    case FieldMinimum: answer = entry.minimum(); break;
    case FieldMaximum: answer = entry.maximum(); break;
    case FieldDefault: answer = entry.defaultValue(); break;
    default: return 0;
    }
    if (ok)
        *ok = true;
    return answer;
}

void ParameterMemory::clear()
{
    m_entries.clear();
}

bool ParameterMemory::findEntry(uint16_t id, Entry* out) const
{
    size_t index = 0;
    if (!indexOfId(id, &index))
        return false;
    *out = m_entries[index];
    return true;
}

Rules::Parameters ParameterMemory::snapshot() const
{
    Rules::Parameters parameters;
    for (const Entry& entry : m_entries) {
        if (!hasValue(entry))
            continue;
        Rules::Parameter& parameter = parameters[entry.id()];
        parameter.value = entry.newValue();
        parameter.limits = {entry.minimum(), entry.maximum(), entry.defaultValue()};
    }
    return parameters;
}

std::vector<uint16_t> ParameterMemory::changedIds() const
{
    return keysOf(Entry::StateChanged, &Entry::id);
}

bool ParameterMemory::writeChangedEntries()
{
    std::vector<uint16_t> addresses;
    std::vector<uint16_t> values;
    for (const Entry& entry : m_entries) {
        if (entry.state() != Entry::StateChanged)
            continue;
        addresses.push_back(entry.address());
        // Negative values go out in two's complement (-1 as 0xFFFF).
        values.push_back(static_cast<uint16_t>(entry.newValue()));
    }
    const bool result = m_control->writeParameters(addresses.data(), values.data(),
                                                   static_cast<uint32_t>(addresses.size()));
    if (!result)
        return false;
    for (Entry& entry : m_entries)
        if (entry.state() == Entry::StateChanged)
            entry.commit();
    return true;
}

bool ParameterMemory::writeChanges()
{
    if (changedIds().empty())
        return true;
    return writeChangedEntries();
}

bool ParameterMemory::reread(const std::vector<uint16_t>& ids, LinkFailure* failure)
{
    size_t index = 0;
    for (uint16_t id : ids)
        if (!indexOfId(id, &index))
            m_entries.emplace_back(id);
    m_bLoaded = true;
    const LinkFailure describeFailure = describeNewEntries();
    for (uint16_t id : ids)
        if (indexOfId(id, &index) && m_entries[index].state() != Entry::StateNew)
            m_entries[index].markDescribed();
    const LinkFailure readFailure = readDescribedValues();
    if (failure)
        *failure = describeFailure != LinkFailure::None ? describeFailure : readFailure;
    for (uint16_t id : ids) {
        if (!indexOfId(id, &index) || !hasValue(m_entries[index]))
            return false;
    }
    return true;
}

LinkFailure ParameterMemory::lastFailure() const
{
    return m_control->lastFailure();
}

} // namespace EEPROM
} // namespace ZORVI
