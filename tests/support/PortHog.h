#pragma once

// Another program that holds a port: a child process, named as the test
// asks (its /proc/PID/comm), that opens a device node and takes its lock
// the way the programs' serial ports do, so that their open of it fails
// "in use" until the test releases it. Kept descriptors let it also hold
// a pseudo-terminal's master, as a virtual port provider does. Without the
// lock it is a program such as cat or a terminal program, which opens the
// node and takes none.

#include <csignal>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

class PortHog {
public:
    static constexpr int READY_TIMEOUT_MS = 10000;

    PortHog(const std::string& name, const std::string& node, int keptFd = -1,
            bool takesLock = true)
    {
        int ready[2];
        int release[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
            return;
        if (pipe2(release, O_CLOEXEC) != 0) {
            close(ready[0]);
            close(ready[1]);
            return;
        }
        m_pid = fork();
        if (m_pid == 0)
            hold(name.c_str(), node.c_str(), keptFd, takesLock, ready[1], release[0]);
        close(ready[1]);
        close(release[0]);
        m_ready = ready[0];
        m_release = release[1];
        if (m_pid < 0) {
            finish();
            return;
        }
        char status = 0;
        pollfd pfd{m_ready, POLLIN, 0};
        m_holding = poll(&pfd, 1, READY_TIMEOUT_MS) == 1 && read(m_ready, &status, 1) == 1
            && status == 'Y';
    }

    ~PortHog() { finish(); }
    PortHog(const PortHog&) = delete;
    PortHog& operator=(const PortHog&) = delete;

    bool isHolding() const { return m_holding; }
    pid_t pid() const { return m_pid; }

    // The child lets the port go and ends; true once it has.
    bool release() { return finish(); }

private:
    // In the child: only calls that are safe after fork in a threaded test.
    [[noreturn]] static void hold(const char* name, const char* node, int keptFd, bool takesLock,
                                  int ready, int release)
    {
        prctl(PR_SET_NAME, name, 0, 0, 0);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keptFd && fd != ready && fd != release)
                close(fd);
        const int port = open(node, O_RDWR | O_NOCTTY | O_NONBLOCK);
        const bool holding = port >= 0 && (!takesLock || flock(port, LOCK_EX | LOCK_NB) == 0);
        const char status = holding ? 'Y' : 'N';
        if (write(ready, &status, 1) != 1)
            _exit(1);
        char ignored;
        while (read(release, &ignored, 1) > 0) {
        }
        _exit(0);
    }

    bool finish()
    {
        if (m_release >= 0)
            close(m_release);
        m_release = -1;
        bool ended = m_pid <= 0;
        if (m_pid > 0) {
            // The child's end of the ready pipe closes as it ends.
            char ignored;
            pollfd pfd{m_ready, POLLIN, 0};
            ssize_t got = 1;
            while (got > 0 && poll(&pfd, 1, READY_TIMEOUT_MS) == 1)
                got = read(m_ready, &ignored, 1);
            ended = got == 0;
            if (!ended)
                kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (m_ready >= 0)
            close(m_ready);
        m_ready = -1;
        m_holding = false;
        return ended;
    }

    pid_t m_pid = -1;
    int m_ready = -1;
    int m_release = -1;
    bool m_holding = false;
};
