#include "CommandWords.h"

#include "ControlText.h"

#include <algorithm>
#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {

const char* const END_OF_OPTIONS = "--";

} // namespace

bool CommandWords::looksLikeOption(const std::string& word)
{
    // A lone "-" is an operand, as in most tools.
    return word.size() > 1 && word[0] == '-';
}

bool CommandWords::split(const std::vector<std::string>& words,
                         const std::vector<std::string>& known, const char* synopsis)
{
    m_options.clear();
    m_operands.clear();
    bool optionsEnded = false;
    for (const std::string& word : words) {
        if (optionsEnded || !looksLikeOption(word)) {
            m_operands.push_back(word);
        } else if (word == END_OF_OPTIONS) {
            optionsEnded = true;
        } else if (std::find(known.begin(), known.end(), word) != known.end()) {
            m_options.push_back(word);
        } else {
            std::fprintf(stderr,
                         "zorvik: unknown option '%s' (a port or file whose name starts with "
                         "'-' goes after --)\n",
                         ControlText::escaped(word).c_str());
            printUsage(synopsis);
            return false;
        }
    }
    return true;
}

bool CommandWords::has(const std::string& option) const
{
    return std::find(m_options.begin(), m_options.end(), option) != m_options.end();
}

void CommandWords::printUsage(const char* synopsis)
{
    std::fprintf(stderr, "usage: zorvik %s\n", synopsis);
}

std::string CommandWords::shellWord(const std::string& word)
{
    const std::string plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                              "-_./:=+,@%";
    if (!word.empty() && word.find_first_not_of(plain) == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace Cli
} // namespace ZORVI
