#pragma once

// One of our programs (zorvik, zorvik-sim) as a child process of a test,
// its standard output and error collected together, its end awaited with
// a bound. The destructor kills and reaps a child that is still running.

#include "ChildLaunch.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

class ChildProgram {
public:
    // `ignored`: signals the program starts with ignored, as nohup starts
    // a program with SIGHUP; the others start at their defaults.
    ChildProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<int>& ignored = {})
    {
        int output[2];
        if (pipe2(output, O_CLOEXEC) != 0)
            return;
        ChildLaunch launch;
        launch.arguments = arguments;
        launch.ignored = ignored;
        launch.output = output[1];
        launch.errors = output[1];
        std::string error;
        m_pid = launch.start(program, error);
        close(output[1]);
        m_output = output[0];
    }

    ~ChildProgram()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_output >= 0)
            close(m_output);
    }

    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool isStarted() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    bool signal(int signalNumber) const { return m_pid > 0 && kill(m_pid, signalNumber) == 0; }

    // Collects the output until the child has closed it and ended, at most
    // timeoutMs; a child still running then is killed. The wait status, or
    // -1 when the child had to be killed.
    int finish(int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_output >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now());
            if (left.count() <= 0)
                break;
            pollfd readable{m_output, POLLIN, 0};
            const int ready = poll(&readable, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            char chunk[512];
            const ssize_t count = read(m_output, chunk, sizeof chunk);
            if (count > 0)
                m_text.append(chunk, static_cast<size_t>(count));
            else if (count == 0 || errno != EINTR)
                break;
        }
        return reap(deadline);
    }

    const std::string& output() const { return m_text; }

private:
    using Clock = std::chrono::steady_clock;

    int reap(Clock::time_point deadline)
    {
        int status = 0;
        for (;;) {
            const pid_t done = waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid)
                break;
            if (Clock::now() >= deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                m_pid = -1;
                return -1;
            }
            // Output closed, exit not yet visible: a matter of moments.
            poll(nullptr, 0, 5);
        }
        m_pid = -1;
        return status;
    }

    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_text;
};
