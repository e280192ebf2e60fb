#pragma once

#include <cstdio>
#include <string>

namespace ZORVI {
namespace Cli {

// The user's terminal: whether a stream is one, and a yes/no question asked
// on it. Only an explicit yes counts; anything else, or the end of input,
// is a no.
class Console {
public:
    static bool isTerminal(std::FILE* stream);
    // Prints "QUESTION [y/N] " and reads one line from standard input.
    static bool confirm(const std::string& question);
};

} // namespace Cli
} // namespace ZORVI
