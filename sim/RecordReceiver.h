#pragma once

#include "SimulatorOptions.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// The device side of a firmware transfer: takes the update records one by
// one while the device is in its receiving mode, decides how each is
// answered (the faults of the options apply here), keeps the image and
// tells when the records have stopped, which is how the device knows the
// transfer is over.
class RecordReceiver {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    enum class Verdict {
        Acknowledge, // stored; answered with the single byte 0x11
        Refuse,      // not stored; answered with something else
        Drop         // not stored; not answered
    };

    explicit RecordReceiver(const SimulatorOptions& options);
    ~RecordReceiver();
    RecordReceiver(const RecordReceiver&) = delete;
    RecordReceiver& operator=(const RecordReceiver&) = delete;

    // A new transfer: earlier records are forgotten and the image file is
    // started afresh.
    void begin();
    Verdict accept(const uint8_t* record, uint16_t length, TimePoint now);

    // Records seen since begin(), whatever their verdict.
    uint32_t recordCount() const { return m_count; }
    // True when a record was refused or dropped: the firmware is incomplete.
    bool failed() const { return m_failed; }
    // When the transfer counts as finished: the restart delay after the
    // last record. None before the first record, so the pause between the
    // mode request and the first record never ends a transfer.
    std::optional<TimePoint> idleDeadline() const;
    const std::vector<uint8_t>& image() const { return m_image; }
    // The last problem with the image file, if any.
    const std::string& imageError() const { return m_imageError; }

private:
    void appendToImageFile(const uint8_t* record, uint16_t length);
    void closeImageFile();

    const SimulatorOptions& m_options;
    uint32_t m_count = 0;
    bool m_failed = false;
    std::optional<TimePoint> m_lastRecord;
    std::vector<uint8_t> m_image;
    FILE* m_imageFile = nullptr;
    std::string m_imageError;
};

} // namespace Simulator
} // namespace ZORVI
