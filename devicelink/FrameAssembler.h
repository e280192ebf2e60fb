#pragma once

#include <array>
#include <cstdint>

namespace ZORVI {
namespace Communication {

// Cuts one frame out of a byte stream, one byte at a time.
//
// Bytes before a start byte (0xE0..0xE6) are skipped, at most
// MAX_SKIPPED_BYTES in a row. A frame whose second byte has bit 0 set is
// complete after two bytes; otherwise it runs until the first byte is
// followed by the second byte with bit 0 set. The escaped body never holds a
// start byte, so that pair cannot occur inside it.
//
// Used by the host's port when it reads the adapter and by the device
// simulator when it reads the host, so both sides cut frames the same way.
class FrameAssembler {
public:
    static constexpr uint32_t MAX_FRAME_LENGTH = 8192;
    // At most this many bytes are skipped while a start byte is awaited:
    // a line that carries nothing but noise must not keep a reader waiting
    // for a frame without end, any more than an endless frame may.
    static constexpr uint32_t MAX_SKIPPED_BYTES = MAX_FRAME_LENGTH;

    enum class Step {
        NeedMore, // keep feeding bytes
        Complete, // frame() holds a whole frame
        Overflow, // MAX_FRAME_LENGTH bytes without a closing pair
        NoStart   // MAX_SKIPPED_BYTES bytes in a row that start no frame; the
                  // count starts again, so a reader that keeps listening (the
                  // simulator) goes on skipping
    };

    Step push(uint8_t byte);
    void reset();

    const uint8_t* frame() const { return m_buffer.data(); }
    uint16_t length() const { return m_length; }

    static bool isStartByte(uint8_t byte) { return byte >= 0xE0 && byte <= 0xE6; }

private:
    Step awaitStart(uint8_t byte);

    std::array<uint8_t, MAX_FRAME_LENGTH> m_buffer{};
    uint16_t m_length = 0;
    uint32_t m_skipped = 0;
    bool m_previousWasFirst = false;
};

} // namespace Communication
} // namespace ZORVI
