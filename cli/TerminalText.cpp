#include "TerminalText.h"

#include "ControlText.h"

#include <cctype>
#include <utility>

#ifdef _WIN32
#include <cstdlib>
#include <windows.h>
#else
#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#endif

namespace ZORVI {
namespace Cli {

namespace {

constexpr char REPLACEMENT = '?';
constexpr unsigned char DEL_CHARACTER = 0x7F;

bool isSpacing(unsigned char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Latin-1 is the first 256 code points of Unicode: two bytes in UTF-8
// above ASCII.
void appendUtf8(std::string& out, unsigned char c)
{
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

#ifdef _WIN32

using Converter = UINT; // the code page

Converter openConverter(const std::string& encoding)
{
    // "CP1252" and the like; code page 0 converts nothing.
    const size_t prefix = 2;
    return encoding.size() > prefix
        ? static_cast<UINT>(std::strtoul(encoding.c_str() + prefix, nullptr, 10))
        : 0;
}

void closeConverter(Converter) {}

// Latin-1 characters are the first 256 UTF-16 code units; Windows converts
// from there, and says when the code page lacks the character.
std::string converted(Converter codePage, unsigned char c)
{
    if (codePage == 0)
        return std::string(1, REPLACEMENT);
    const wchar_t wide = static_cast<wchar_t>(c);
    char bytes[8];
    BOOL replaced = FALSE;
    const int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes,
                                           sizeof bytes, nullptr, &replaced);
    if (length <= 0 || replaced)
        return std::string(1, REPLACEMENT);
    return std::string(bytes, static_cast<size_t>(length));
}

#else

using Converter = iconv_t;
const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);

Converter openConverter(const std::string& encoding)
{
    return iconv_open(encoding.c_str(), "ISO-8859-1");
}

void closeConverter(Converter converter)
{
    if (converter != NO_CONVERTER)
        iconv_close(converter);
}

std::string converted(Converter converter, unsigned char c)
{
    if (converter == NO_CONVERTER)
        return std::string(1, REPLACEMENT);
    char in = static_cast<char>(c);
    char bytes[16];
    char* inPosition = &in;
    char* outPosition = bytes;
    size_t inLeft = 1;
    size_t outLeft = sizeof bytes;
    const bool done = iconv(converter, &inPosition, &inLeft, &outPosition, &outLeft)
        != static_cast<size_t>(-1);
    // Back to the initial shift state, so that each character stands alone.
    iconv(converter, nullptr, nullptr, done ? &outPosition : nullptr, done ? &outLeft : nullptr);
    if (!done)
        return std::string(1, REPLACEMENT);
    return std::string(bytes, static_cast<size_t>(outPosition - bytes));
}

#endif

} // namespace

TerminalText TerminalText::ofThisTerminal()
{
#ifdef _WIN32
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) // no console: output goes to a file or a pipe
        codePage = GetACP();
    return TerminalText("CP" + std::to_string(codePage));
#else
    std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    return TerminalText(codeset && *codeset ? codeset : "ANSI_X3.4-1968");
#endif
}

TerminalText::TerminalText(std::string encoding) : m_encoding(std::move(encoding)) {}

bool TerminalText::isUtf8() const
{
    std::string letters;
    for (char c : m_encoding) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            letters += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return letters == "UTF8" || letters == "CP65001";
}

std::string TerminalText::fromLatin1(const std::string& latin1) const
{
    const bool utf8 = isUtf8();
    const Converter converter = openConverter(m_encoding);
    std::string out;
    for (char byte : latin1) {
        const unsigned char c = static_cast<unsigned char>(byte);
        if (isSpacing(c))
            out += ' ';
        else if (ControlText::isControl(c))
            out += ControlText::escapedByte(c);
        else if (c < DEL_CHARACTER) // every terminal encoding keeps ASCII as it is
            out += byte;
        else if (utf8)
            appendUtf8(out, c);
        else
            out += converted(converter, c);
    }
    closeConverter(converter);
    return out;
}

} // namespace Cli
} // namespace ZORVI
