#pragma once

#include <string>

namespace ZORVI {
namespace Simulator {

// SIGINT, SIGTERM and SIGHUP as a readable descriptor: the signals are
// blocked and read from a signalfd in the event loop, so a stop request
// leads to an ordinary, clean exit (the port map entry is removed) and
// nothing has to happen inside a signal handler.
class TerminationSignals {
public:
    TerminationSignals() = default;
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool install(std::string& error);
    int pollDescriptor() const { return m_descriptor; }
    // Reads the pending signal; its number, or 0.
    int take();

private:
    int m_descriptor = -1;
};

} // namespace Simulator
} // namespace ZORVI
