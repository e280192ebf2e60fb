#include "FrameAssembler.h"

namespace ZORVI {
namespace Communication {

void FrameAssembler::reset()
{
    m_length = 0;
    m_skipped = 0;
    m_previousWasFirst = false;
}

FrameAssembler::Step FrameAssembler::awaitStart(uint8_t byte)
{
    if (isStartByte(byte)) {
        m_buffer[m_length++] = byte;
        return Step::NeedMore;
    }
    if (++m_skipped < MAX_SKIPPED_BYTES)
        return Step::NeedMore;
    m_skipped = 0;
    return Step::NoStart;
}

FrameAssembler::Step FrameAssembler::push(uint8_t byte)
{
    if (m_length == 0)
        return awaitStart(byte);
    if (m_length == 1) {
        m_buffer[m_length++] = byte;
        return (byte & 1) ? Step::Complete : Step::NeedMore;
    }
    if (m_length >= MAX_FRAME_LENGTH)
        return Step::Overflow;

    m_buffer[m_length++] = byte;
    if (m_previousWasFirst && byte == (m_buffer[1] | 1))
        return Step::Complete;
    m_previousWasFirst = (byte == m_buffer[0]);
    return m_length >= MAX_FRAME_LENGTH ? Step::Overflow : Step::NeedMore;
}

} // namespace Communication
} // namespace ZORVI
