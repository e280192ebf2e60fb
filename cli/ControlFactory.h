#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace ZORVI {

class Control;

namespace Cli {

// Makes the device controllers of every command. After traceTo, each
// controller's port also writes what crosses the wire to the trace file
// (zorvik --trace FILE), one line per event, for a support log.
class ControlFactory {
public:
    // Creates or empties the trace file. False, with the system's reason in
    // *reason, when the file cannot be opened for writing.
    static bool traceTo(const std::string& path, std::string* reason);
    // A controller on the serial interface, traced when a trace file is set.
    static std::unique_ptr<Control> make();
    // Whether a line of the trace could not be written (a full disk, a
    // file-size limit): the system's reason for the first such line, else
    // empty. The trace misses that line and may miss those after it.
    static const std::string& traceWriteError();

private:
    static std::shared_ptr<FILE>& traceFile();
    static std::string& writeError();
    static void writeLine(FILE* file, const std::string& line);
};

} // namespace Cli
} // namespace ZORVI
