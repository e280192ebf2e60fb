#pragma once

#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

// A command's words after its name, split into the options it knows and its
// operands (PORT, FILE, NAME=VALUE), the same way for every command. A word
// that starts with '-' is an option, wherever it stands; after "--" every
// word is an operand, so that a port whose name starts with '-' can still be
// named. A word that looks like an option and is none of the command's is
// refused rather than taken for a port: `zorvik info --bogus` would
// otherwise try to open a port of that name.
class CommandWords {
public:
    // False, with the refusal and the command's usage on standard error,
    // for an option the command does not know.
    bool split(const std::vector<std::string>& words, const std::vector<std::string>& known,
               const char* synopsis);

    bool has(const std::string& option) const;
    const std::vector<std::string>& operands() const { return m_operands; }

    // "usage: zorvik SYNOPSIS" on standard error.
    static void printUsage(const char* synopsis);
    // The word as a shell reads it back: as it is when it holds nothing the
    // shell treats specially, else in single quotes. For the commands the
    // messages tell the user to run.
    static std::string shellWord(const std::string& word);

private:
    static bool looksLikeOption(const std::string& word);

    std::vector<std::string> m_options;
    std::vector<std::string> m_operands;
};

} // namespace Cli
} // namespace ZORVI
