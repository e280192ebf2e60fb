// An update file's Latin-1 description on terminals of other encodings:
// converted character by character, '?' for what the encoding lacks, and no
// control character passed through (shown escaped instead).

#include "TerminalText.h"

#include <gtest/gtest.h>

using ZORVI::Cli::TerminalText;

TEST(TerminalText, Latin1InTheTerminalsEncoding)
{
    const struct {
        const char* encoding;
        std::string latin1;
        std::string shown;
    } cases[] = {
        {"UTF-8", "Caf\xE9 ok", "Caf\xC3\xA9 ok"},
        {"utf8", "\xA0\xBF\xFF", "\xC2\xA0\xC2\xBF\xC3\xBF"},
        {"ISO-8859-1", "Caf\xE9\xA4", "Caf\xE9\xA4"},
        // The currency sign gave way to the euro sign there.
        {"ISO-8859-15", "\xE9\xA4", "\xE9?"},
        // Degree sign at another place; no e acute at all.
        {"KOI8-R", "20\xB0 \xE9", "20\x9C ?"},
        {"ANSI_X3.4-1968", "Caf\xE9", "Caf?"},
        {"NO-SUCH-ENCODING", "Caf\xE9", "Caf?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        EXPECT_EQ(TerminalText(c.encoding).fromLatin1(c.latin1), c.shown);
    }
}

TEST(TerminalText, ControlCharactersNeverReachTheTerminal)
{
    // C0, DEL and the C1 range that Latin-1 keeps at 0x80 to 0x9F; a C1
    // byte on a UTF-8 terminal would otherwise be a control character too.
    const std::string controls = std::string("\x00\x07\x1B\x7F\x80\x85\x9B\x9F", 8);
    const std::string spacing = "a\tb\nc\rd\ve\ff";
    for (const char* encoding : {"UTF-8", "ISO-8859-1", "ANSI_X3.4-1968"}) {
        SCOPED_TRACE(encoding);
        const TerminalText terminal(encoding);
        EXPECT_EQ(terminal.fromLatin1(controls),
                  "\\x00\\x07\\x1b\\x7f\\x80\\x85\\x9b\\x9f");
        EXPECT_EQ(terminal.fromLatin1(spacing), "a b c d e f");
        EXPECT_EQ(terminal.fromLatin1("\x1B[2J"), "\\x1b[2J");
    }
}
