#include "SettingsApply.h"

#include "Control.h"
#include "ParameterIds.h"
#include "ParameterMemory.h"

#include <ctime>

namespace ZORVI {

using EEPROM::Entry;
using EEPROM::ParameterMemory;

namespace {

// All of a settings file fits one write request in list layout.
static_assert(EEPROM::PARAMETER_COUNT <= Control::MAX_LIST_PAIRS,
              "a whole setup is written in one request");

// The value the memory holds for an ID, without asking the device.
bool heldValue(const ParameterMemory& memory, uint16_t id, int* value)
{
    Entry entry(id);
    if (!memory.findEntry(id, &entry))
        return false;
    if (entry.state() != Entry::StateValid && entry.state() != Entry::StateChanged)
        return false;
    *value = entry.newValue();
    return true;
}

} // namespace

bool SettingsApply::takeChanges(ParameterMemory& memory, const Rules::Changes& changes,
                                Result* result)
{
    // What each entry would be written as before these changes, so that a
    // refusal leaves the memory as it was.
    Rules::Changes before;
    for (const Rules::Change& change : changes) {
        int value = 0;
        if (heldValue(memory, change.id, &value))
            before.push_back({change.id, value});
        memory.set(change.id, change.value);
        if (!heldValue(memory, change.id, &value) || value != change.value)
            result->refused.push_back(change.id);
    }
    if (result->refused.empty())
        return true;
    for (auto it = before.rbegin(); it != before.rend(); ++it)
        memory.set(it->id, it->value);
    return false;
}

void SettingsApply::readBack(ParameterMemory& memory, const std::vector<int>& wanted,
                             Result* result)
{
    LinkFailure failure = LinkFailure::None;
    memory.reread(result->ids, &failure);
    if (result->failure == LinkFailure::None)
        result->failure = failure;
    for (size_t i = 0; i < result->ids.size(); ++i) {
        const uint16_t id = result->ids[i];
        int value = 0;
        if (!heldValue(memory, id, &value))
            result->unread.push_back(id);
        else if (result->written && value != wanted[i])
            result->mismatches.push_back({id, wanted[i], value});
    }
}

SettingsApply::Result SettingsApply::apply(ParameterMemory& memory, const Rules::Changes& changes)
{
    Result result;
    if (!takeChanges(memory, changes, &result))
        return result;
    result.ids = memory.changedIds();
    if (result.ids.empty())
        return result;
    std::vector<int> wanted;
    for (uint16_t id : result.ids) {
        int value = 0;
        heldValue(memory, id, &value);
        wanted.push_back(value);
    }
    result.written = memory.writeChanges();
    if (!result.written) {
        result.failure = memory.lastFailure();
        if (result.storedUnknown())
            memory.forgetValues(result.ids);
        else
            memory.discardChanges();
        return result;
    }
    readBack(memory, wanted, &result);
    return result;
}

SettingsApply::Result SettingsApply::collect(ParameterMemory& memory, const DeviceInfo& info,
                                             SettingsFile* file)
{
    Result result = apply(memory, {});
    if (!result.verified())
        return result;
    const std::vector<uint16_t> ids = EEPROM::parameterIds();
    // Just read when connecting, and nothing written since: the memory holds
    // what the device holds. After a write, the device is asked again,
    // since it may have stored other values than it acknowledged.
    if (!memory.holdsValuesAsRead() || !memory.isLoaded())
        memory.reread(ids, &result.failure);
    else if (!memory.load(ids))
        result.failure = memory.lastFailure();
    std::vector<SettingsFile::Setting> settings;
    for (uint16_t id : ids) {
        int value = 0;
        if (heldValue(memory, id, &value))
            settings.push_back({id, value});
        else
            result.unread.push_back(id);
    }
    if (result.unread.empty())
        *file = SettingsFile(info, std::move(settings), localTimeStamp());
    return result;
}

std::string SettingsApply::localTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    // The programs ask for the time from one thread only, so the shared
    // buffer of localtime is safe here.
    const std::tm local = *std::localtime(&now);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

} // namespace ZORVI
