#include "HexText.h"

#include "HexDigits.h"

namespace ZORVI {
namespace Simulator {

namespace {

int digitValue(char c)
{
    return HexDigits::value(static_cast<unsigned char>(c));
}

bool isSeparator(char c)
{
    return c == ' ' || c == ':' || c == '\t';
}

} // namespace

std::string HexText::format(const uint8_t* data, size_t length)
{
    std::string text;
    text.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        text += HexDigits::digit(data[i] >> 4);
        text += HexDigits::digit(data[i]);
    }
    return text;
}

std::string HexText::format(const std::vector<uint8_t>& bytes)
{
    return format(bytes.data(), bytes.size());
}

bool HexText::parse(const std::string& text, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    size_t i = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        i = 2;
    int high = -1;
    for (; i < text.size(); ++i) {
        if (isSeparator(text[i]) && high < 0)
            continue;
        const int digit = digitValue(text[i]);
        if (digit < 0)
            return false;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>((high << 4) | digit));
            high = -1;
        }
    }
    return high < 0;
}

bool HexText::parseNumber(const std::string& text, uint32_t maximum, uint32_t& value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    const uint32_t base = hex ? 16 : 10;
    if (text.size() <= start)
        return false;
    uint64_t number = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const int digit = digitValue(text[i]);
        if (digit < 0 || static_cast<uint32_t>(digit) >= base)
            return false;
        number = number * base + static_cast<uint32_t>(digit);
        if (number > maximum)
            return false;
    }
    value = static_cast<uint32_t>(number);
    return true;
}

} // namespace Simulator
} // namespace ZORVI
