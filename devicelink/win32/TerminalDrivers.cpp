#include "TerminalDrivers.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

// Driver types whose devices are serial lines. The others: "system"
// (/dev/tty, /dev/console, /dev/ptmx), "console" (the virtual terminals),
// "pty:master".
bool isSerialLineType(const std::string& type)
{
    return type == "serial" || type == "pty:slave";
}

bool parseNumber(const std::string& text, unsigned& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos
        || text.size() > 9)
        return false;
    value = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

} // namespace

TerminalDrivers TerminalDrivers::load(const std::string& driverList)
{
    std::ifstream in(driverList);
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

TerminalDrivers TerminalDrivers::parse(const std::string& text)
{
    TerminalDrivers drivers;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        Range range{};
        if (parseLine(line, range))
            drivers.m_serialLines.push_back(range);
    }
    return drivers;
}

// The driver's name may hold blanks; the last three fields never do.
bool TerminalDrivers::parseLine(const std::string& line, Range& range)
{
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string word; fields >> word;)
        words.push_back(word);
    if (words.size() < 5 || !isSerialLineType(words.back()))
        return false;
    const std::string& minors = words[words.size() - 2];
    const size_t dash = minors.find('-');
    const std::string first = minors.substr(0, dash);
    const std::string last = dash == std::string::npos ? first : minors.substr(dash + 1);
    return parseNumber(words[words.size() - 3], range.major)
        && parseNumber(first, range.firstMinor) && parseNumber(last, range.lastMinor)
        && range.firstMinor <= range.lastMinor;
}

bool TerminalDrivers::isSerialLine(dev_t device) const
{
    const unsigned deviceMajor = major(device);
    const unsigned deviceMinor = minor(device);
    for (const Range& range : m_serialLines) {
        if (range.major == deviceMajor && deviceMinor >= range.firstMinor
            && deviceMinor <= range.lastMinor)
            return true;
    }
    return false;
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
