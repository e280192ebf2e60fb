#include "RecordReceiver.h"

#include <cerrno>
#include <cstring>

namespace ZORVI {
namespace Simulator {

RecordReceiver::RecordReceiver(const SimulatorOptions& options)
    : m_options(options)
{
}

RecordReceiver::~RecordReceiver()
{
    closeImageFile();
}

void RecordReceiver::closeImageFile()
{
    if (m_imageFile)
        std::fclose(m_imageFile);
    m_imageFile = nullptr;
}

void RecordReceiver::begin()
{
    m_count = 0;
    m_failed = false;
    m_lastRecord.reset();
    m_image.clear();
    closeImageFile();
    if (m_options.saveImagePath.empty())
        return;
    m_imageFile = std::fopen(m_options.saveImagePath.c_str(), "wb");
    if (!m_imageFile)
        m_imageError = m_options.saveImagePath + ": " + std::strerror(errno);
}

RecordReceiver::Verdict RecordReceiver::accept(const uint8_t* record, uint16_t length,
                                               TimePoint now)
{
    ++m_count;
    m_lastRecord = now;
    if (m_count == m_options.dropRecord) {
        m_failed = true;
        return Verdict::Drop;
    }
    if (m_count == m_options.refuseRecord) {
        m_failed = true;
        return Verdict::Refuse;
    }
    m_image.insert(m_image.end(), record, record + length);
    appendToImageFile(record, length);
    return Verdict::Acknowledge;
}

void RecordReceiver::appendToImageFile(const uint8_t* record, uint16_t length)
{
    if (!m_imageFile)
        return;
    // Flushed per record: the file is complete as soon as the host has the
    // last acknowledgement.
    if (std::fwrite(record, 1, length, m_imageFile) != length || std::fflush(m_imageFile) != 0)
        m_imageError = m_options.saveImagePath + ": " + std::strerror(errno);
}

std::optional<RecordReceiver::TimePoint> RecordReceiver::idleDeadline() const
{
    if (!m_lastRecord)
        return std::nullopt;
    return *m_lastRecord + std::chrono::milliseconds(m_options.restartDelayMs);
}

} // namespace Simulator
} // namespace ZORVI
