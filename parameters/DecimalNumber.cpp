#include "DecimalNumber.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace ZORVI {

bool DecimalNumber::parse(const std::string& text, int* value)
{
    // strtol would skip blanks in front of the number.
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno != 0 || number < INT_MIN
        || number > INT_MAX)
        return false;
    *value = static_cast<int>(number);
    return true;
}

} // namespace ZORVI
