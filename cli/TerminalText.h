#pragma once

#include <string>

namespace ZORVI {
namespace Cli {

// Text from the device's world shown on the user's terminal. An update
// file's description is 8-bit text in Latin-1; the terminal expects the
// encoding its locale names (UTF-8 on most systems today). Each character
// is converted, one that the terminal's encoding lacks becomes '?', and no
// control character reaches the terminal, where it could move the cursor,
// change colours or clear the screen: line breaks and tabs become blanks,
// the others are shown escaped ("\x1b") as ControlText escapes them.
// Other text from outside (settings files, port and program names) is
// UTF-8 and goes through ControlText::escaped alone.
class TerminalText {
public:
    // The encoding of this program's terminal: on Linux the one the
    // environment's locale names (LC_ALL, LC_CTYPE, LANG; the program's
    // LC_CTYPE is set from it), on Windows the console's code page.
    static TerminalText ofThisTerminal();
    // An encoding by its name as iconv knows it, e.g. "UTF-8",
    // "ISO-8859-15" or "ANSI_X3.4-1968"; on Windows "CP" and the code page.
    explicit TerminalText(std::string encoding);

    const std::string& encoding() const { return m_encoding; }
    std::string fromLatin1(const std::string& latin1) const;

private:
    bool isUtf8() const;

    std::string m_encoding;
};

} // namespace Cli
} // namespace ZORVI
