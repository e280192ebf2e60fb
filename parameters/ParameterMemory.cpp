#include "ParameterMemory.h"

#include "Control.h"
#include "ParameterIds.h"

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
    if (!indexOfId(id, &index))
        m_entries.emplace_back(id);
}

bool ParameterMemory::isOffered(uint16_t id) const
{
    return std::find(m_notOffered.begin(), m_notOffered.end(), id) == m_notOffered.end();
}

std::vector<ParameterMemory::Run> ParameterMemory::runsOf(std::vector<uint16_t> keys,
                                                          uint32_t maxRun)
{
    // One request carries its count in a byte: at most 255 keys.
    const uint32_t span = std::max<uint32_t>(1, std::min<uint32_t>(maxRun, 255));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<Run> runs;
    for (uint16_t key : keys) {
        if (!runs.empty() && uint32_t(key) - runs.back().first < span) {
            runs.back().count = static_cast<uint8_t>(key - runs.back().first + 1);
            continue;
        }
        runs.push_back({key, 1});
    }
    return runs;
}

std::vector<uint16_t> ParameterMemory::keysOf(Entry::State state, EntryKey key) const
{
    std::vector<uint16_t> keys;
    for (const Entry& entry : m_entries)
        if (entry.state() == state && (state != Entry::StateNew || isOffered(entry.id())))
            keys.push_back((entry.*key)());
    return keys;
}

size_t ParameterMemory::descriptorRequests(const std::vector<uint16_t>& ids) const
{
    std::vector<uint16_t> undescribed;
    for (uint16_t id : ids) {
        size_t index = 0;
        const bool known = indexOfId(id, &index);
        if ((!known || m_entries[index].state() == Entry::StateNew) && isOffered(id))
            undescribed.push_back(id);
    }
    return runsOf(undescribed, m_maxIdRun).size();
}

bool ParameterMemory::load(const std::vector<uint16_t>& ids, const Progress& progress)
{
    // Until the descriptors have given the addresses, the values count as
    // one request: the usual case, since the device keeps them together.
    const size_t descriptorRuns = descriptorRequests(ids);
    for (uint16_t id : ids)
        add(id);
    size_t done = 0;
    if (!describeNewEntries(&done, descriptorRuns + 1, progress))
        return false;
    const size_t valueRuns = runsOf(keysOf(Entry::StateDescribed, &Entry::address),
                                    m_maxAddressRun).size();
    if (!readDescribedValues(&done, done + valueRuns, progress))
        return false;
    m_bLoaded = true;
    return true;
}

bool ParameterMemory::loadAll(const Progress& progress)
{
    return load(parameterIds(), progress);
}

bool ParameterMemory::describeNewEntries(size_t* done, size_t total, const Progress& progress)
{
    for (const Run& run : runsOf(keysOf(Entry::StateNew, &Entry::id), m_maxIdRun)) {
        if (!describeRun(run))
            return false;
        if (progress)
            progress(++*done, total);
    }
    return true;
}

bool ParameterMemory::readDescribedValues(size_t* done, size_t total, const Progress& progress)
{
    const std::vector<uint16_t> addresses = keysOf(Entry::StateDescribed, &Entry::address);
    for (const Run& run : runsOf(addresses, m_maxAddressRun)) {
        if (!readValueRun(run))
            return false;
        if (progress)
            progress(++*done, total);
    }
    return true;
}

bool ParameterMemory::describeRun(const Run& run)
{
    uint8_t found = 0;
    ParameterDescriptor* raw = nullptr;
    if (!m_control->readDescriptors(run.first, run.count, &found, &raw))
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
    // The device answered for every ID of the run: one it gave no record
    // for is a parameter this device (its firmware) does not have.
    for (const Entry& entry : m_entries)
        if (entry.state() == Entry::StateNew && entry.id() >= run.first
            && uint32_t(entry.id()) < uint32_t(run.first) + run.count && isOffered(entry.id()))
            m_notOffered.push_back(entry.id());
    return true;
}

bool ParameterMemory::readValueRun(const Run& run)
{
    // The controller refuses an answer with another number of words than
    // asked, so the array always holds count words.
    std::unique_ptr<uint16_t[]> words(m_control->readValues(run.first, run.count));
    if (!words)
        return false;
    for (uint8_t i = 0; i < run.count; ++i) {
        size_t index = 0;
        if (!indexOfAddress(static_cast<uint16_t>(run.first + i), &index))
            continue;
        Entry& entry = m_entries[index];
        if (entry.state() != Entry::StateDescribed)
            continue;
        const int32_t value = entry.minimum() < 0 ? static_cast<int16_t>(words[i])
                                                  : static_cast<int32_t>(words[i]);
        entry.setValue(value, false);
    }
    return true;
}

bool ParameterMemory::set(uint16_t id, int value)
{
    size_t index = 0;
    if (!indexOfId(id, &index))
        return false;
    Entry& entry = m_entries[index];
    // Undescribed, or described but never read: nothing to compare with.
    if (!hasValue(entry))
        return false;
    if (value < entry.minimum() || value > entry.maximum())
        return false;
    return entry.setValue(value, true);
}

int ParameterMemory::get(uint16_t id, int field, bool* ok) const
{
    if (ok)
        *ok = false;
    size_t index = 0;
    if (!indexOfId(id, &index))
        return 0;
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
    m_notOffered.clear();
    m_bLoaded = false;
    m_valuesAsRead = true;
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
    m_valuesAsRead = false;
    return true;
}

bool ParameterMemory::writeChanges()
{
    if (changedIds().empty())
        return true;
    return writeChangedEntries();
}

void ParameterMemory::discardChanges()
{
    for (Entry& entry : m_entries)
        if (entry.state() == Entry::StateChanged)
            entry.setValue(entry.value(), true);
}

void ParameterMemory::forgetValues(const std::vector<uint16_t>& ids)
{
    size_t index = 0;
    for (uint16_t id : ids)
        if (indexOfId(id, &index) && hasValue(m_entries[index]))
            m_entries[index].markDescribed();
}

bool ParameterMemory::reread(const std::vector<uint16_t>& ids, LinkFailure* failure)
{
    forgetValues(ids);
    const bool read = load(ids);
    if (failure)
        *failure = read ? LinkFailure::None : m_control->lastFailure();
    if (!read)
        return false;
    size_t index = 0;
    for (uint16_t id : ids)
        if (isOffered(id) && (!indexOfId(id, &index) || !hasValue(m_entries[index])))
            return false;
    const bool everyEntry = std::all_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
        return std::find(ids.begin(), ids.end(), e.id()) != ids.end();
    });
    if (everyEntry)
        m_valuesAsRead = true;
    return true;
}

LinkFailure ParameterMemory::lastFailure() const
{
    return m_control->lastFailure();
}

} // namespace EEPROM
} // namespace ZORVI
