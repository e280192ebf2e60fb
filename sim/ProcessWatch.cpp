#include "ProcessWatch.h"

#include <cerrno>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace ZORVI {
namespace Simulator {

ProcessWatch::~ProcessWatch()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool ProcessWatch::watch(pid_t pid, std::string& error)
{
    m_descriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (m_descriptor < 0) {
        error = "process " + std::to_string(pid) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace Simulator
} // namespace ZORVI
