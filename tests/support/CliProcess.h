#pragma once

// `zorvik` run as a user runs it, as a child process: its standard input is
// a pipe the test writes to, its standard output and error come back
// together through another. Every wait is bounded, so that a command that
// blocks fails its test instead of hanging it; a child still running at the
// end is killed.

#include "ChildLaunch.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class CliProcess {
public:
    using Clock = std::chrono::steady_clock;

    // arguments go to zorvik as they are; environment holds NAME=VALUE
    // settings that replace or add to the test's own environment.
    explicit CliProcess(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {})
    {
        // A write to a child that has already ended must fail, not end the
        // test.
        std::signal(SIGPIPE, SIG_IGN);
        int input[2];
        int output[2];
        if (pipe2(input, O_CLOEXEC) != 0)
            return;
        if (pipe2(output, O_CLOEXEC) != 0) {
            closeBoth(input);
            return;
        }
        spawn(arguments, environment, input[0], output[1]);
        ::close(input[0]);
        ::close(output[1]);
        m_input = input[1];
        m_output = output[0];
    }

    ~CliProcess()
    {
        closeInput();
        if (m_output >= 0)
            ::close(m_output);
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            int status = 0;
            while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }

    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool isStarted() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // Standard output and error as far as they were read.
    const std::string& output() const { return m_text; }

    // Reads until the output holds text: false when it does not within
    // timeoutMs (or the output ends first).
    bool waitForOutput(const std::string& text, int timeoutMs)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_text.find(text) == std::string::npos) {
            if (!readSome(deadline))
                return false;
        }
        return true;
    }

    bool send(const std::string& text)
    {
        size_t done = 0;
        while (m_input >= 0 && done < text.size()) {
            const ssize_t count = ::write(m_input, text.data() + done, text.size() - done);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return false;
            done += static_cast<size_t>(count);
        }
        return done == text.size();
    }

    void closeInput()
    {
        if (m_input >= 0)
            ::close(m_input);
        m_input = -1;
    }

    // Reads the output to its end and waits for the exit: the exit code, or
    // -1 when the command did not end within timeoutMs (it is killed then)
    // or did not end normally.
    int finish(int timeoutMs)
    {
        closeInput();
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (readSome(deadline)) {
        }
        if (m_pid <= 0 || !waitForExit(deadline))
            return -1;
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }

private:
    static void closeBoth(int pipe[2])
    {
        ::close(pipe[0]);
        ::close(pipe[1]);
    }

    void spawn(const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, int input, int output)
    {
        ChildLaunch launch;
        launch.arguments = arguments;
        launch.environment = environment;
        launch.input = input;
        launch.output = output;
        launch.errors = output;
        std::string error;
        m_pid = launch.start(ZORVIK_CLI_PATH, error);
    }

    // One read of whatever the child wrote: false at the end of the output
    // or at the deadline.
    bool readSome(Clock::time_point deadline)
    {
        if (m_output < 0)
            return false;
        pollfd readable{m_output, POLLIN, 0};
        const int ready = poll(&readable, 1, ChildLaunch::millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            return true;
        if (ready <= 0)
            return false;
        char chunk[4096];
        const ssize_t count = ::read(m_output, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            return true;
        if (count <= 0)
            return false;
        m_text.append(chunk, static_cast<size_t>(count));
        return true;
    }

    bool waitForExit(Clock::time_point deadline)
    {
        if (!ChildLaunch::waitForExit(m_pid, ChildLaunch::millisecondsLeft(deadline), m_status))
            return false; // still running: the destructor kills it
        m_pid = -1;
        return true;
    }

    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    int m_status = 0;
    std::string m_text;
};
