#pragma once

#include "DeviceInfo.h"
#include "ParameterRules.h"
#include "SettingsFile.h"

#include <cstdint>
#include <vector>

namespace ZORVI {

// What loading a settings file, or resetting the device to its defaults,
// would change, judged by the same rules as an edit in the settings window:
// the preview the user confirms before anything is written, and the changes
// that are then stored. A plan that is refused stores nothing at all: a
// setup applied in part is a setup nobody chose.
class SettingsPlan {
public:
    enum class Refusal {
        None,
        OtherHardware, // the file was saved from another hardware major version
        OutsideLimits, // values this device does not take (listed in outsideLimits())
        Rules          // the rules refuse the set as a whole (see verdict())
    };

    enum class Note {
        NoOrigin,          // the file does not name the device it came from
        OtherSerial,       // saved from another unit
        OtherDataVersion,  // saved under another parameter data version
        OtherHardwareMinor, // saved from another hardware minor version
        NotOffered          // settings the device's firmware does not have (listed in
                            // notOffered()), saved under another data version: left out
    };

    // One setting that would change: what the device holds, what the file
    // (or the default) asks for, and what would be stored. `corrected` marks
    // a row where the rules store something else than was asked for, or
    // change a setting the file did not name.
    struct Row {
        uint16_t id = 0;
        int current = 0;
        bool asked = false;
        int requested = 0;
        int stored = 0;
        bool corrected() const { return !asked || requested != stored; }
    };

    // The file's settings onto the device whose parameters (values and
    // limits) and information are given.
    static SettingsPlan forFile(const Rules::Parameters& device, const DeviceInfo& info,
                                const SettingsFile& file);
    // Every parameter to the default its descriptor gives.
    static SettingsPlan forDefaults(const Rules::Parameters& device);

    Refusal refusal() const { return m_refusal; }
    bool refused() const { return m_refusal != Refusal::None; }
    // True when there is something to store and nothing refuses it.
    bool canApply() const { return !refused() && !m_rows.empty(); }

    const std::vector<Row>& rows() const { return m_rows; }
    const std::vector<Note>& notes() const { return m_notes; }
    const std::vector<Rules::Verdict>& outsideLimits() const { return m_outsideLimits; }
    // For Note::NotOffered: the file's settings that the device does not
    // describe, in the file's order. A file saved under the device's own
    // data version (or naming none) that holds one is refused instead.
    const std::vector<uint16_t>& notOffered() const { return m_notOffered; }
    // For Refusal::Rules: the first setting the rules refuse; for a tail
    // servo refusal or correction, the pulse length and the limit.
    const Rules::Verdict& verdict() const { return m_outcome.verdict; }
    const Rules::TailServoOutcome& tailServo() const { return m_outcome.tailServo; }
    // What is stored on Apply, in the rows' order.
    Rules::Changes changes() const;

    // The other side of a note, for the preview's wording.
    const SettingsFile::Origin& origin() const { return m_origin; }

private:
    static SettingsPlan forRequest(const Rules::Parameters& device, const Rules::Changes& request);
    void noteOrigin(const DeviceInfo& info);

    Refusal m_refusal = Refusal::None;
    std::vector<Row> m_rows;
    std::vector<Note> m_notes;
    std::vector<Rules::Verdict> m_outsideLimits;
    std::vector<uint16_t> m_notOffered;
    Rules::ChangeOutcome m_outcome;
    SettingsFile::Origin m_origin;
};

} // namespace ZORVI
