#pragma once

namespace ZORVI {

// Single hexadecimal digits, as update files, the simulator's options and
// log, serial number labels and escaped terminal text write them.
class HexDigits {
public:
    // The value of a digit of either case; -1 for any other character
    // (EOF included).
    static int value(int character);
    // The digit for the lowest four bits of nibble.
    static char digit(unsigned nibble, bool upperCase = false);
};

} // namespace ZORVI
