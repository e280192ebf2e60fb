#pragma once

// Starts one of our programs (zorvik, zorvik-sim) as a child of a test, as a
// shell would start it: the stop signals at their defaults and unblocked,
// whatever the test process does with them, and its standard streams on the
// descriptors the test chose. The waits around a child are bounded, so that
// a program that hangs fails its test instead of hanging it.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildLaunch {
public:
    using Clock = std::chrono::steady_clock;

    std::vector<std::string> arguments;
    // NAME=VALUE settings that replace or add to the test's own environment.
    std::vector<std::string> environment;
    // Signals the program starts with ignored, as nohup starts a program
    // with SIGHUP (an ignored signal stays ignored across exec).
    std::vector<int> ignored;
    // Where the child's standard input, output and error go; -1 leaves the
    // test's own.
    int input = -1;
    int output = -1;
    int errors = -1;

    // The child's process id, or -1 with the reason in `error`.
    pid_t start(const std::string& program, std::string& error) const;

    // Waits up to timeoutMs for the child to end; true (with its wait
    // status) when it has.
    static bool waitForExit(pid_t pid, int timeoutMs, int& status);
    static int millisecondsLeft(Clock::time_point deadline);

private:
    std::vector<std::string> mergedEnvironment() const;
};
