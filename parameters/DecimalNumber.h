#pragma once

#include <string>

namespace ZORVI {

// A setting's value as a person writes it, on the command line or in a
// settings file: decimal, with an optional sign and nothing around it.
class DecimalNumber {
public:
    // False for anything else, blanks included: "5 " is not the number the
    // user meant to give if it was meant as "5 0".
    static bool parse(const std::string& text, int* value);
};

} // namespace ZORVI
