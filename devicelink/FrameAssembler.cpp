#include "FrameAssembler.h"

namespace ZORVI {
namespace Communication {

void FrameAssembler::reset()
{
    m_length = 0;
    m_previousWasFirst = false;
}

FrameAssembler::Step FrameAssembler::push(uint8_t byte)
{
    if (m_length == 0) {
        if (isStartByte(byte))
            m_buffer[m_length++] = byte;
        return Step::NeedMore;
    }
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
