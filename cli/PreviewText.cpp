#include "PreviewText.h"

#include "ControlText.h"
#include "ParameterIds.h"
#include "RuleTexts.h"

#include <cstdio>
#include <string>

namespace ZORVI {
namespace Cli {

namespace {

using Plan = SettingsPlan;

constexpr const char* CORRECTED_MARK = "*";

std::string versionText(uint16_t major, uint16_t minor)
{
    return std::to_string(major) + "." + std::to_string(minor);
}

// What the file asked for, as the rules saw it: the basis of the tail
// servo's explanation.
Rules::Changes requested(const Plan& plan)
{
    Rules::Changes changes;
    for (const Plan::Row& row : plan.rows())
        if (row.asked)
            changes.push_back({row.id, row.requested});
    return changes;
}

} // namespace

void PreviewText::print(const SettingsPlan& plan, const Rules::Parameters& device,
                            const DeviceInfo& info)
{
    if (plan.refused()) {
        printRefusal(plan, info);
        return;
    }
    printTable(plan);
    printCorrections(plan, device);
    printNotes(plan, info);
}

void PreviewText::printTable(const SettingsPlan& plan)
{
    if (plan.rows().empty()) {
        std::printf("No setting would change: the device holds these values already.\n");
        return;
    }
    std::printf("%-22s %8s %8s\n", "NAME", "CURRENT", "NEW");
    for (const Plan::Row& row : plan.rows())
        std::printf("%-22s %8d %8d%s\n", EEPROM::parameterName(row.id), row.current, row.stored,
                    row.corrected() ? (std::string(" ") + CORRECTED_MARK).c_str() : "");
}

void PreviewText::printCorrections(const SettingsPlan& plan, const Rules::Parameters& device)
{
    bool corrected = false;
    for (const Plan::Row& row : plan.rows())
        corrected = corrected || row.corrected();
    if (!corrected)
        return;
    const Rules::TailServoOutcome& tailServo = plan.tailServo();
    if (!RuleTexts::isLowering(tailServo.kind)) {
        std::printf("%s the rules store another value than was asked for.\n", CORRECTED_MARK);
        return;
    }
    bool asked = false;
    const std::string tooFast = RuleTexts::tooFast(device, requested(plan), tailServo, &asked);
    std::printf("%s %s%s: the rules store %s instead, as the settings window does.\n",
                CORRECTED_MARK, asked ? "" : "the device's ", tooFast.c_str(),
                RuleTexts::lowering(tailServo).c_str());
}

void PreviewText::printNotes(const SettingsPlan& plan, const DeviceInfo& info)
{
    const SettingsFile::Origin& origin = plan.origin();
    for (Plan::Note note : plan.notes()) {
        switch (note) {
        case Plan::Note::NoOrigin:
            std::printf("Note: the file does not name the device it was saved from.\n");
            break;
        case Plan::Note::OtherSerial:
            std::printf("Note: the file was saved from another unit (serial %s); this one is "
                        "serial %s.\n",
                        ControlText::escaped(origin.serial).c_str(),
                        ControlText::escaped(info.serialLabelText()).c_str());
            break;
        case Plan::Note::OtherDataVersion:
            std::printf("Note: the file was saved under data version %s; this device has data "
                        "version %s.\n",
                        versionText(origin.dataMajor, origin.dataMinor).c_str(),
                        info.dataVersionText().c_str());
            break;
        case Plan::Note::OtherHardwareMinor:
            std::printf("Note: the file was saved from hardware %s; this device is hardware "
                        "%s.\n",
                        versionText(origin.hardwareMajor, origin.hardwareMinor).c_str(),
                        info.hardwareVersionText().c_str());
            break;
        case Plan::Note::NotOffered: {
            std::string names;
            for (uint16_t id : plan.notOffered())
                names += (names.empty() ? "" : ", ") + std::string(EEPROM::parameterName(id));
            std::printf("Note: this device's firmware has no %s; %s left out.\n", names.c_str(),
                        plan.notOffered().size() == 1 ? "it is" : "they are");
            break;
        }
        }
    }
}

void PreviewText::printRefusal(const SettingsPlan& plan, const DeviceInfo& info)
{
    const SettingsFile::Origin& origin = plan.origin();
    switch (plan.refusal()) {
    case Plan::Refusal::None: break;
    case Plan::Refusal::OtherHardware:
        std::printf("Refused: the file was saved from hardware %s and this device is hardware "
                    "%s; settings do not carry over to another hardware major version.\n",
                    versionText(origin.hardwareMajor, origin.hardwareMinor).c_str(),
                    info.hardwareVersionText().c_str());
        break;
    case Plan::Refusal::OutsideLimits:
        std::printf("Refused: values this device does not take:\n");
        for (const Rules::Verdict& verdict : plan.outsideLimits())
            std::printf("  %s\n", RuleTexts::refusal(verdict, plan.tailServo()).c_str());
        break;
    case Plan::Refusal::Rules:
        std::printf("Refused: %s\n", RuleTexts::refusal(plan.verdict(), plan.tailServo()).c_str());
        break;
    }
}

} // namespace Cli
} // namespace ZORVI
