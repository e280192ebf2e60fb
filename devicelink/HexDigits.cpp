#include "HexDigits.h"

namespace ZORVI {

int HexDigits::value(int character)
{
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'a' && character <= 'f')
        return character - 'a' + 10;
    if (character >= 'A' && character <= 'F')
        return character - 'A' + 10;
    return -1;
}

char HexDigits::digit(unsigned nibble, bool upperCase)
{
    static const char LOWER[] = "0123456789abcdef";
    static const char UPPER[] = "0123456789ABCDEF";
    return (upperCase ? UPPER : LOWER)[nibble & 0x0F];
}

} // namespace ZORVI
