#pragma once

#include <string>
#include <sys/types.h>

namespace ZORVI {
namespace Simulator {

// Watches another process (the test or script that started the simulator)
// so that the simulator ends with it and never lingers as an orphan that
// keeps its port map entry and its inherited output open.
class ProcessWatch {
public:
    ProcessWatch() = default;
    ~ProcessWatch();
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    // False when the process does not exist (any more).
    bool watch(pid_t pid, std::string& error);
    // Readable once the process has ended; -1 when nothing is watched.
    int pollDescriptor() const { return m_descriptor; }

private:
    int m_descriptor = -1;
};

} // namespace Simulator
} // namespace ZORVI
