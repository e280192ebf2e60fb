#include "Console.h"

#include <iostream>
#ifdef _MSC_VER
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace ZORVI {
namespace Cli {

bool Console::isTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

bool Console::confirm(const std::string& question)
{
    std::printf("%s [y/N] ", question.c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

} // namespace Cli
} // namespace ZORVI
