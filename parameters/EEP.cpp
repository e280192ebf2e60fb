#include "EEP.h"

#include "Control.h"

#include <algorithm>
#include <memory>
#include <vector>

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

} // namespace

EEP::EEP(Control* control, bool bLoaded, uint32_t maxIdRun, uint32_t maxAddressRun,
         QObject* parent)
    : QObject(parent)
    , m_control(control)
    , m_bLoaded(bLoaded)
    , m_maxIdRun(maxIdRun)
    , m_maxAddressRun(maxAddressRun)
{
    m_writeTimer.setInterval(WRITE_DELAY_MS);
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &EEP::onWriteTimeout);
}

EEP::~EEP() = default;

bool EEP::indexOfId(uint16_t id, int* index) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).hasId(id)) {
            *index = i;
            return true;
        }
    }
    return false;
}

bool EEP::indexOfAddress(uint16_t address, int* index) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).address() == address) {
            *index = i;
            return true;
        }
    }
    return false;
}

void EEP::add(uint16_t id)
{
    int index = 0;
    if (indexOfId(id, &index))
        return;
    m_entries.append(Entry(id));
    if (m_bLoaded)
        refresh();
}

void EEP::load(const QList<uint16_t>& ids)
{
    int index = 0;
    for (uint16_t id : ids)
        if (!indexOfId(id, &index))
            m_entries.append(Entry(id));
    refresh();
}

bool EEP::refresh()
{
    m_bLoaded = true;
    describeNewEntries();
    readDescribedValues();
    return true;
}

template <typename Request>
void EEP::forEachRun(QList<uint16_t> keys, uint32_t maxRun, Request request)
{
    if (keys.isEmpty())
        return;
    std::sort(keys.begin(), keys.end());
    uint16_t runStart = 0;
    uint8_t runLength = 0;
    uint16_t last = 0;
    for (uint16_t key : keys) {
        if (runLength == 0) {
            runStart = key;
        } else if (key != static_cast<uint16_t>(last + 1) || runLength >= maxRun
                   || runLength == 255) {
            request(runStart, runLength);
            runStart = key;
            runLength = 0;
        }
        ++runLength;
        last = key;
    }
    request(runStart, runLength);
}

bool EEP::describeNewEntries()
{
    QList<uint16_t> ids;
    for (const Entry& entry : m_entries)
        if (entry.state() == Entry::StateNew)
            ids.append(entry.id());
    forEachRun(ids, m_maxIdRun,
               [this](uint16_t first, uint8_t count) { describeRun(first, count); });
    return true;
}

bool EEP::readDescribedValues()
{
    QList<uint16_t> addresses;
    for (const Entry& entry : m_entries)
        if (entry.state() == Entry::StateDescribed)
            addresses.append(entry.address());
    forEachRun(addresses, m_maxAddressRun,
               [this](uint16_t first, uint8_t count) { readValueRun(first, count); });
    return true;
}

bool EEP::describeRun(uint16_t firstId, uint8_t count)
{
    uint8_t found = 0;
    ParameterDescriptor* raw = nullptr;
    if (!m_control->readDescriptors(firstId, count, &found, &raw))
        return false;
    std::unique_ptr<ParameterDescriptor[]> records(raw);
    for (uint8_t i = 0; i < found; ++i) {
        const ParameterDescriptor& record = records[i];
        int index = 0;
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

bool EEP::readValueRun(uint16_t firstAddress, uint8_t count)
{
    // The controller refuses an answer with another number of words than
    // asked, so the array always holds count words.
    std::unique_ptr<uint16_t[]> words(m_control->readValues(firstAddress, count));
    if (!words)
        return false;
    for (uint8_t i = 0; i < count; ++i) {
        int index = 0;
        if (!indexOfAddress(static_cast<uint16_t>(firstAddress + i), &index))
            continue;
        Entry& entry = m_entries[index];
        const int32_t value = entry.minimum() < 0 ? static_cast<int16_t>(words[i])
                                                  : static_cast<int32_t>(words[i]);
        entry.setValue(value, false);
    }
    return true;
}

bool EEP::set(uint16_t id, int value)
{
    int index = 0;
    if (!indexOfId(id, &index)) {
        add(id);
        if (!m_bLoaded)
            refresh();
        if (!indexOfId(id, &index))
            return false;
    }
    Entry& entry = m_entries[index];
    // Undescribed, or described but never read: nothing to compare with.
    if (entry.state() == Entry::StateNew || entry.state() == Entry::StateDescribed)
        return false;
    if (value < entry.minimum() || value > entry.maximum())
        return false;
    if (!entry.setValue(value, true))
        return false;
    startWriteTimer();
    return true;
}

int EEP::get(uint16_t id, int field, bool* ok)
{
    if (ok)
        *ok = false;
    refresh();
    int index = 0;
    if (!indexOfId(id, &index)) {
        add(id);
        if (!indexOfId(id, &index))
            return 0;
    }
    const Entry& entry = m_entries.at(index);
    if (entry.state() != Entry::StateValid && entry.state() != Entry::StateChanged)
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

void EEP::clear()
{
    m_entries.clear();
}

bool EEP::findEntry(uint16_t id, Entry* out) const
{
    int index = 0;
    if (!indexOfId(id, &index))
        return false;
    *out = m_entries.at(index);
    return true;
}

Rules::Parameters EEP::snapshot() const
{
    Rules::Parameters parameters;
    for (const Entry& entry : m_entries) {
        if (entry.state() != Entry::StateValid && entry.state() != Entry::StateChanged)
            continue;
        Rules::Parameter& parameter = parameters[entry.id()];
        parameter.value = entry.newValue();
        parameter.limits = {entry.minimum(), entry.maximum(), entry.defaultValue()};
    }
    return parameters;
}

QList<uint16_t> EEP::changedIds() const
{
    QList<uint16_t> ids;
    for (const Entry& entry : m_entries)
        if (entry.state() == Entry::StateChanged)
            ids.append(entry.id());
    return ids;
}

void EEP::startWriteTimer()
{
    m_writeTimer.start();
    emit timerStarted();
}

bool EEP::writeChangedEntries()
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

bool EEP::writeChanges()
{
    m_writeTimer.stop();
    if (changedIds().isEmpty())
        return true;
    return writeChangedEntries();
}

void EEP::onWriteTimeout()
{
    if (changedIds().isEmpty()) {
        emit timerFinished();
        return;
    }
    const bool result = writeChangedEntries();
    emit writeResult(result);
    emit timerFinished();
}

} // namespace EEPROM
} // namespace ZORVI
