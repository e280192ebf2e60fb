#pragma once

// A real program holding a port under a name of the test's choosing: the
// system's `sleep`, started through a symbolic link of that name (so the
// kernel names the process after the link, cut to 15 bytes, and argv[0] is
// the link's path), with the device node open and no lock, as a terminal
// program would hold it. Unlike PortHog, whose child only renames itself,
// this one is a program that was started by that name.

#include <cerrno>
#include <csignal>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

class ExecHolder {
public:
    static constexpr int READY_TIMEOUT_MS = 10000;
    static constexpr const char* SLEEP = "/bin/sleep";

    // link: where the link to sleep is made; its last part is the name.
    ExecHolder(const std::string& link, const std::string& node)
    {
        if (symlink(SLEEP, link.c_str()) != 0)
            return;
        int started[2];
        if (pipe2(started, O_CLOEXEC) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0)
            run(link.c_str(), node.c_str(), started[1]);
        close(started[1]);
        if (m_pid > 0)
            m_holding = waitForExec(started[0]);
        close(started[0]);
    }

    ~ExecHolder()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    ExecHolder(const ExecHolder&) = delete;
    ExecHolder& operator=(const ExecHolder&) = delete;

    bool isHolding() const { return m_holding; }
    pid_t pid() const { return m_pid; }

private:
    // In the child: only calls that are safe after fork in a threaded test.
    // The pipe closes by itself when sleep has started; a failure is told
    // through it as one byte.
    [[noreturn]] static void run(const char* link, const char* node, int started)
    {
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != started)
                close(fd);
        const int port = open(node, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (port >= 0) {
            char* const arguments[] = {const_cast<char*>(link), const_cast<char*>("infinity"),
                                       nullptr};
            execv(link, arguments);
        }
        const char failed = 'N';
        if (write(started, &failed, 1) != 1)
            _exit(2);
        _exit(1);
    }

    // End of file: sleep runs with the node open; a byte: it failed.
    static bool waitForExec(int started)
    {
        pollfd pfd{started, POLLIN, 0};
        char failed = 0;
        ssize_t got = -1;
        do {
            if (poll(&pfd, 1, READY_TIMEOUT_MS) != 1)
                return false;
            got = read(started, &failed, 1);
        } while (got < 0 && errno == EINTR);
        return got == 0;
    }

    pid_t m_pid = -1;
    bool m_holding = false;
};
