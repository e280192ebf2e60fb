#include "SettingsPlan.h"

#include <algorithm>

namespace ZORVI {

namespace {

const Rules::Change* findChange(const Rules::Changes& changes, uint16_t id)
{
    const auto found = std::find_if(changes.begin(), changes.end(),
                                    [id](const Rules::Change& change) { return change.id == id; });
    return found == changes.end() ? nullptr : &*found;
}

} // namespace

SettingsPlan SettingsPlan::forFile(const Rules::Parameters& device, const DeviceInfo& info,
                                   const SettingsFile& file)
{
    const SettingsFile::Origin& origin = file.origin();
    if (origin.hasHardware && origin.hardwareMajor != info.hardwareMajor()) {
        SettingsPlan plan;
        plan.m_refusal = Refusal::OtherHardware;
        plan.m_origin = origin;
        return plan;
    }
    // A firmware of another data version may have dropped parameters: what
    // it no longer has is left out and named. Under the same data version a
    // missing parameter is refused as any value the device does not take.
    const bool otherData = origin.hasData
        && (origin.dataMajor != info.dataMajor() || origin.dataMinor != info.dataMinor());
    Rules::Changes request;
    std::vector<uint16_t> notOffered;
    for (const SettingsFile::Setting& setting : file.settings()) {
        if (otherData && device.count(setting.id) == 0)
            notOffered.push_back(setting.id);
        else
            request.push_back({setting.id, setting.value});
    }
    SettingsPlan plan = forRequest(device, request);
    plan.m_origin = origin;
    plan.noteOrigin(info);
    if (!notOffered.empty()) {
        plan.m_notOffered = std::move(notOffered);
        plan.m_notes.push_back(Note::NotOffered);
    }
    return plan;
}

SettingsPlan SettingsPlan::forDefaults(const Rules::Parameters& device)
{
    Rules::Changes request;
    for (const auto& [id, parameter] : device)
        request.push_back({id, parameter.limits.defaultValue});
    return forRequest(device, request);
}

SettingsPlan SettingsPlan::forRequest(const Rules::Parameters& device,
                                      const Rules::Changes& request)
{
    SettingsPlan plan;
    for (const Rules::Change& change : request) {
        const Rules::Verdict verdict = Rules::checkValue(change.id, change.value, device);
        if (!verdict.accepted())
            plan.m_outsideLimits.push_back(verdict);
    }
    if (!plan.m_outsideLimits.empty()) {
        plan.m_refusal = Refusal::OutsideLimits;
        return plan;
    }

    // Only what differs goes to the rules, as if the user had edited exactly
    // those settings in the window.
    Rules::Changes differing;
    for (const Rules::Change& change : request)
        if (device.at(change.id).value != change.value)
            differing.push_back(change);
    plan.m_outcome = Rules::checkChanges(device, differing);
    if (!plan.m_outcome.verdict.accepted()) {
        plan.m_refusal = Refusal::Rules;
        return plan;
    }

    for (const Rules::Change& change : plan.m_outcome.changes) {
        const int current = device.at(change.id).value;
        if (change.value == current)
            continue;
        Row row;
        row.id = change.id;
        row.current = current;
        row.stored = change.value;
        const Rules::Change* asked = findChange(request, change.id);
        row.asked = asked != nullptr;
        row.requested = asked ? asked->value : change.value;
        plan.m_rows.push_back(row);
    }
    return plan;
}

void SettingsPlan::noteOrigin(const DeviceInfo& info)
{
    if (!m_origin.hasHardware && m_origin.serial.empty() && !m_origin.hasData) {
        m_notes.push_back(Note::NoOrigin);
        return;
    }
    if (!m_origin.serial.empty() && m_origin.serial != info.serialLabelText())
        m_notes.push_back(Note::OtherSerial);
    if (m_origin.hasData
        && (m_origin.dataMajor != info.dataMajor() || m_origin.dataMinor != info.dataMinor()))
        m_notes.push_back(Note::OtherDataVersion);
    if (m_origin.hasHardware && m_origin.hardwareMinor != info.hardwareMinor())
        m_notes.push_back(Note::OtherHardwareMinor);
}

Rules::Changes SettingsPlan::changes() const
{
    Rules::Changes changes;
    for (const Row& row : m_rows)
        changes.push_back({row.id, row.stored});
    return changes;
}

} // namespace ZORVI
