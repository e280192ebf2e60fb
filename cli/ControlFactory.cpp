#include "ControlFactory.h"

#include "Control.h"
#include "SerialWin.h"
#include "TracingPort.h"

#include <cerrno>
#include <cstring>

namespace ZORVI {
namespace Cli {

using Communication::Serial::SerialWin;
using Communication::Serial::TracingPort;

std::shared_ptr<FILE>& ControlFactory::traceFile()
{
    static std::shared_ptr<FILE> file;
    return file;
}

bool ControlFactory::traceTo(const std::string& path, std::string* reason)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        if (reason)
            *reason = std::strerror(errno);
        return false;
    }
    traceFile().reset(file, std::fclose);
    return true;
}

std::string& ControlFactory::writeError()
{
    static std::string error;
    return error;
}

const std::string& ControlFactory::traceWriteError()
{
    return writeError();
}

void ControlFactory::writeLine(FILE* file, const std::string& line)
{
    // Each line reaches the file at once: the log must hold the last
    // exchange even when the command is interrupted.
    errno = 0;
    const bool written = std::fputs(line.c_str(), file) >= 0 && std::fputc('\n', file) != EOF
        && std::fflush(file) == 0;
    if (!written && writeError().empty())
        writeError() = errno != 0 ? std::strerror(errno) : "the file refused the line";
    // Later lines may fit again (space freed): they are still tried, and
    // the error is not forgotten.
    std::clearerr(file);
}

std::unique_ptr<Control> ControlFactory::make()
{
    const std::shared_ptr<FILE> file = traceFile();
    if (!file)
        return std::make_unique<Control>();
    auto toFile = [file](const std::string& line) { writeLine(file.get(), line); };
    return std::make_unique<Control>(
        std::make_unique<TracingPort>(std::make_unique<SerialWin>(), toFile));
}

} // namespace Cli
} // namespace ZORVI
