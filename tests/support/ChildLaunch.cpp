#include "ChildLaunch.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> pointersTo(const std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (const std::string& text : strings)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

void redirect(posix_spawn_file_actions_t& actions, int from, int to)
{
    if (from >= 0)
        posix_spawn_file_actions_adddup2(&actions, from, to);
}

} // namespace

std::vector<std::string> ChildLaunch::mergedEnvironment() const
{
    std::vector<std::string> merged;
    for (char** entry = environ; *entry; ++entry) {
        const std::string current = *entry;
        const std::string name = current.substr(0, current.find('=') + 1);
        bool replaced = false;
        for (const std::string& setting : environment)
            replaced = replaced || setting.compare(0, name.size(), name) == 0;
        if (!replaced)
            merged.push_back(current);
    }
    merged.insert(merged.end(), environment.begin(), environment.end());
    return merged;
}

pid_t ChildLaunch::start(const std::string& program, std::string& error) const
{
    std::vector<std::string> argumentList{program};
    argumentList.insert(argumentList.end(), arguments.begin(), arguments.end());
    const std::vector<std::string> variables = mergedEnvironment();
    std::vector<char*> argv = pointersTo(argumentList);
    std::vector<char*> envp = pointersTo(variables);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    redirect(actions, input, STDIN_FILENO);
    redirect(actions, output, STDOUT_FILENO);
    redirect(actions, errors, STDERR_FILENO);

    // Our programs rely on their stop signals: they start at their defaults
    // and unblocked, except those the test asked to be ignored, which are
    // ignored here while the child starts.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&defaults, signalNumber);
    std::vector<struct sigaction> previous(ignored.size());
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (size_t i = 0; i < ignored.size(); ++i) {
        sigdelset(&defaults, ignored[i]);
        sigaction(ignored[i], &ignore, &previous[i]);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int result =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    for (size_t i = 0; i < ignored.size(); ++i)
        sigaction(ignored[i], &previous[i], nullptr);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        error = program + ": " + std::strerror(result);
        return -1;
    }
    return pid;
}

int ChildLaunch::millisecondsLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool ChildLaunch::waitForExit(pid_t pid, int timeoutMs, int& status)
{
    const int pidDescriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidDescriptor >= 0) {
        pollfd exited{pidDescriptor, POLLIN, 0};
        while (poll(&exited, 1, timeoutMs) < 0 && errno == EINTR) {
        }
        close(pidDescriptor);
    }
    pid_t done;
    while ((done = waitpid(pid, &status, pidDescriptor >= 0 ? WNOHANG : 0)) < 0 && errno == EINTR) {
    }
    return done == pid;
}
