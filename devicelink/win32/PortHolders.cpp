#include "PortHolders.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

bool isDecimal(const char* name)
{
    if (!*name)
        return false;
    for (const char* c = name; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return true;
}

// What the kernel keeps of a program's name (TASK_COMM_LEN less its NUL).
constexpr size_t KERNEL_NAME_LENGTH = 15;

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::vector<PortHolders::Holder> PortHolders::of(const std::string& node,
                                                 const std::string& processDirectory)
{
    std::vector<Holder> holders;
    struct stat st;
    if (stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return holders;
    const int terminalIndex = terminalIndexOf(node);
    for (pid_t pid : processes(processDirectory)) {
        const std::string processPath = processDirectory + "/" + std::to_string(pid);
        const Use use = useOf(processPath, st.st_rdev, terminalIndex);
        if (use.slave && !use.master)
            holders.push_back({pid, fullNameOf(processPath)});
    }
    return holders;
}

bool PortHolders::isRunning(const std::string& name, const std::string& processDirectory)
{
    const std::vector<pid_t> pids = processes(processDirectory);
    return std::any_of(pids.begin(), pids.end(), [&](pid_t pid) {
        return nameOf(processDirectory + "/" + std::to_string(pid)) == name;
    });
}

std::vector<pid_t> PortHolders::processes(const std::string& processDirectory)
{
    std::vector<pid_t> pids;
    DIR* directory = opendir(processDirectory.c_str());
    if (!directory)
        return pids;
    while (const dirent* entry = readdir(directory)) {
        if (isDecimal(entry->d_name))
            pids.push_back(static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10)));
    }
    closedir(directory);
    std::sort(pids.begin(), pids.end());
    return pids;
}

// Each open file is a link to what is open; stat follows it to the device.
// A process of another user cannot be looked into: it holds nothing here.
PortHolders::Use PortHolders::useOf(const std::string& processPath, dev_t device,
                                    int terminalIndex)
{
    Use use;
    const std::string fdPath = processPath + "/fd";
    DIR* directory = opendir(fdPath.c_str());
    if (!directory)
        return use;
    while (const dirent* entry = readdir(directory)) {
        struct stat st;
        if (!isDecimal(entry->d_name)
            || stat((fdPath + "/" + entry->d_name).c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
            continue;
        if (st.st_rdev == device)
            use.slave = true;
        else if (terminalIndex >= 0 && isMasterOf(processPath, entry->d_name, terminalIndex))
            use.master = true;
    }
    closedir(directory);
    return use;
}

// A master's descriptor information names its terminal ("tty-index: 5"
// for /dev/pts/5).
bool PortHolders::isMasterOf(const std::string& processPath, const char* fd, int terminalIndex)
{
    std::ifstream info(processPath + "/fdinfo/" + fd);
    static const std::string KEY = "tty-index:";
    for (std::string line; std::getline(info, line);) {
        if (line.compare(0, KEY.size(), KEY) == 0)
            return std::strtol(line.c_str() + KEY.size(), nullptr, 10) == terminalIndex;
    }
    return false;
}

// N for a node that is /dev/pts/N (also through a link), else -1.
int PortHolders::terminalIndexOf(const std::string& node)
{
    static const std::string PTS = "/dev/pts/";
    char* resolved = realpath(node.c_str(), nullptr);
    if (!resolved)
        return -1;
    const std::string path = resolved;
    std::free(resolved);
    if (path.compare(0, PTS.size(), PTS) != 0 || !isDecimal(path.c_str() + PTS.size()))
        return -1;
    return static_cast<int>(std::strtol(path.c_str() + PTS.size(), nullptr, 10));
}

std::string PortHolders::nameOf(const std::string& processPath)
{
    std::ifstream in(processPath + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

std::string PortHolders::fullNameOf(const std::string& processPath)
{
    const std::string cut = nameOf(processPath);
    if (cut.size() < KERNEL_NAME_LENGTH)
        return cut;
    for (const std::string& candidate : {startedAs(processPath), programFileOf(processPath)})
        if (candidate.size() > cut.size() && candidate.compare(0, cut.size(), cut) == 0)
            return candidate;
    return cut;
}

// The last part of argv[0], the first of the NUL-separated arguments.
std::string PortHolders::startedAs(const std::string& processPath)
{
    std::ifstream in(processPath + "/cmdline");
    std::string first;
    std::getline(in, first, '\0');
    return baseName(first);
}

// The program file's name; the kernel marks one that was replaced or
// removed since it started. Only the user's own processes show it.
std::string PortHolders::programFileOf(const std::string& processPath)
{
    char target[PATH_MAX];
    const std::string link = processPath + "/exe";
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target)
        return std::string();
    std::string path(target, static_cast<size_t>(length));
    static const std::string DELETED = " (deleted)";
    if (path.size() > DELETED.size()
        && path.compare(path.size() - DELETED.size(), DELETED.size(), DELETED) == 0)
        path.resize(path.size() - DELETED.size());
    return baseName(path);
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
