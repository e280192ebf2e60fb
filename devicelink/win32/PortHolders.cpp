#include "PortHolders.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

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
            holders.push_back({pid, nameOf(processPath)});
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

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
