#pragma once

#include <string>

namespace ZORVI {

// Text that comes from outside this program (a file, the device, a port's
// name, another program's name, the command line) on its way to a terminal
// or a window. A control character there could move the cursor, clear the
// screen and draw a preview or a question the program never showed, so
// every one is shown escaped instead ("\x1b"): the byte stays visible to
// the reader (and to the support) without acting on the terminal.
class ControlText {
public:
    // A C0 control, DEL or a C1 control, read as a Latin-1 character.
    static bool isControl(unsigned char latin1);
    // "\x1b" for the byte 0x1B.
    static std::string escapedByte(unsigned char byte);
    // UTF-8 text with every control character escaped: C0 (line breaks and
    // tabs too, so that one line stays one line), DEL, the C1 controls
    // U+0080 to U+009F, and each byte that is not part of valid UTF-8
    // (a lone 0x9B acts as a control sequence on an 8-bit terminal).
    static std::string escaped(const std::string& utf8);

private:
    // The length of the valid UTF-8 character at text[at], or 0.
    static size_t utf8Length(const std::string& text, size_t at);
};

} // namespace ZORVI
