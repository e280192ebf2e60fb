#include "PortClaim.h"

#include "PortMap.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

// The last holder removes the lock file while it still holds the lock; an
// opener that got the old file then finds it gone and opens the new one.
// Each round needs another provider to finish in between, so a few suffice.
constexpr int LOCK_ROUNDS = 8;
constexpr size_t PID_TEXT_SIZE = 24;

bool isSameFile(int fd, const std::string& path)
{
    struct stat held;
    struct stat named;
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// The holder's process id, as it wrote it into the lock file.
std::string recordedProcess(const std::string& lockPath)
{
    const int fd = open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    char text[PID_TEXT_SIZE] = {};
    const ssize_t length = read(fd, text, sizeof text - 1);
    close(fd);
    std::string pid(text, length > 0 ? static_cast<size_t>(length) : 0);
    return pid.find_first_not_of("0123456789") == std::string::npos ? pid : std::string();
}

// For the message a second provider gets; the lock alone decides.
void recordProcess(int lockFd)
{
    const std::string pid = std::to_string(getpid());
    if (ftruncate(lockFd, 0) == 0) {
        const ssize_t written = pwrite(lockFd, pid.data(), pid.size(), 0);
        static_cast<void>(written);
    }
}

} // namespace

PortClaim::~PortClaim()
{
    release();
}

bool PortClaim::claim(const std::string& name, const std::string& deviceNode,
                      std::string& problem)
{
    release();
    problem = PortMap::nameProblem(name);
    if (!problem.empty())
        return false;
    const std::string mapDirectory = PortMap::directory(true, &problem);
    if (mapDirectory.empty())
        return false;
    m_name = name;
    m_deviceNode = deviceNode;
    m_lockPath = mapDirectory + "/" + PortMap::lockFileName(name);
    if (!lockName(problem))
        return false;
    recordProcess(m_lock);
    if (!PortMap::add(name, deviceNode)) {
        const int error = errno;
        problem = "cannot create the entry in " + mapDirectory + ": " + std::strerror(error);
        release();
        return false;
    }
    return true;
}

bool PortClaim::lockName(std::string& problem)
{
    for (int round = 0; round < LOCK_ROUNDS; ++round) {
        const int fd = open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            problem = m_lockPath + ": " + std::strerror(error);
            return false;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            close(fd);
            problem = error == EWOULDBLOCK
                ? "in use: " + holderOf() + "; end that program or choose another name"
                : m_lockPath + ": " + std::strerror(error);
            return false;
        }
        if (isSameFile(fd, m_lockPath)) {
            m_lock = fd;
            return true;
        }
        close(fd);
    }
    problem = m_lockPath + " keeps being replaced by other programs";
    return false;
}

// "process 1234 provides it on /dev/pts/5", as far as the map tells.
std::string PortClaim::holderOf() const
{
    const std::string pid = recordedProcess(m_lockPath);
    const std::string node = PortMap::resolve(m_name);
    std::string holder = pid.empty() ? "another running program" : "process " + pid;
    holder += node.empty() ? " holds it" : " provides it on " + node;
    return holder;
}

void PortClaim::release()
{
    if (m_lock < 0)
        return;
    if (PortMap::resolve(m_name) == m_deviceNode)
        PortMap::remove(m_name);
    unlink(m_lockPath.c_str());
    close(m_lock);
    m_lock = -1;
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
