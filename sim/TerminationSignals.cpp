#include "TerminationSignals.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/signalfd.h>
#include <unistd.h>

namespace ZORVI {
namespace Simulator {

TerminationSignals::~TerminationSignals()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool TerminationSignals::install(std::string& error)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
        error = std::string("signals: ") + std::strerror(errno);
        return false;
    }
    m_descriptor = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_descriptor < 0) {
        error = std::string("signalfd: ") + std::strerror(errno);
        return false;
    }
    return true;
}

int TerminationSignals::take()
{
    signalfd_siginfo info{};
    if (::read(m_descriptor, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
        return 0;
    return static_cast<int>(info.ssi_signo);
}

} // namespace Simulator
} // namespace ZORVI
