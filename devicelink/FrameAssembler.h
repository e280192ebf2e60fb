#pragma once

#include <array>
#include <cstdint>

namespace ZORVI {
namespace Communication {

// Cuts one frame out of a byte stream, one byte at a time.
//
// Bytes before a start byte (0xE0..0xE6) are skipped. A frame whose second
// byte has bit 0 set is complete after two bytes; otherwise it runs until the
// first byte is followed by the second byte with bit 0 set. The escaped body
// never holds a start byte, so that pair cannot occur inside it.
//
// Used by the host's port when it reads the adapter and by the device
// simulator when it reads the host, so both sides cut frames the same way.
class FrameAssembler {
public:
    static constexpr uint32_t MAX_FRAME_LENGTH = 8192;

    enum class Step {
        NeedMore, // keep feeding bytes
        Complete, // frame() holds a whole frame
        Overflow  // MAX_FRAME_LENGTH bytes without a closing pair
    };

    Step push(uint8_t byte);
    void reset();

    const uint8_t* frame() const { return m_buffer.data(); }
    uint16_t length() const { return m_length; }

    static bool isStartByte(uint8_t byte) { return byte >= 0xE0 && byte <= 0xE6; }

private:
    std::array<uint8_t, MAX_FRAME_LENGTH> m_buffer{};
    uint16_t m_length = 0;
    bool m_previousWasFirst = false;
};

} // namespace Communication
} // namespace ZORVI
