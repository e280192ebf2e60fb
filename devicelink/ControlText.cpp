#include "ControlText.h"

#include "HexDigits.h"

namespace ZORVI {

namespace {

constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DEL_CHARACTER = 0x7F;
// Latin-1 and Unicode keep the C1 control characters at 0x80 to 0x9F.
constexpr unsigned char FIRST_C1 = 0x80;
constexpr unsigned char LAST_C1 = 0x9F;
constexpr unsigned char CONTINUATION_MASK = 0xC0;
constexpr unsigned char CONTINUATION = 0x80;

bool isContinuation(unsigned char c)
{
    return (c & CONTINUATION_MASK) == CONTINUATION;
}

// The code point of a valid sequence of `length` bytes at `at`.
unsigned long codePoint(const std::string& text, size_t at, size_t length)
{
    static const unsigned char leadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    unsigned long value = static_cast<unsigned char>(text[at]) & leadBits[length];
    for (size_t k = 1; k < length; ++k)
        value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return value;
}

} // namespace

bool ControlText::isControl(unsigned char latin1)
{
    return latin1 < FIRST_PRINTABLE || latin1 == DEL_CHARACTER
        || (latin1 >= FIRST_C1 && latin1 <= LAST_C1);
}

std::string ControlText::escapedByte(unsigned char byte)
{
    return std::string("\\x") + HexDigits::digit(byte >> 4) + HexDigits::digit(byte);
}

size_t ControlText::utf8Length(const std::string& text, size_t at)
{
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
        : lead >= 0xE0 && lead <= 0xEF                                    ? 3
        : lead >= 0xF0 && lead <= 0xF4                                    ? 4
                                                                          : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if (!isContinuation(static_cast<unsigned char>(text[at + k])))
            return 0;
    // Overlong forms, surrogates and code points past U+10FFFF are no
    // characters.
    static const unsigned long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const unsigned long value = codePoint(text, at, length);
    if (value < smallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    return length;
}

std::string ControlText::escaped(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size());
    size_t at = 0;
    while (at < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[at]);
        const size_t length = utf8Length(utf8, at);
        if (length == 0) {
            out += escapedByte(lead);
            ++at;
            continue;
        }
        const unsigned long value = codePoint(utf8, at, length);
        if (value <= LAST_C1 && isControl(static_cast<unsigned char>(value))) {
            for (size_t k = 0; k < length; ++k)
                out += escapedByte(static_cast<unsigned char>(utf8[at + k]));
        } else {
            out.append(utf8, at, length);
        }
        at += length;
    }
    return out;
}

} // namespace ZORVI
