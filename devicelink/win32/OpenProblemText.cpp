#include "OpenProblemText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZORVI {
namespace Communication {
namespace Serial {

namespace {

constexpr size_t DATABASE_BUFFER_SIZE = 16384;
// Groups with very long member lists need more; the buffer grows up to this.
constexpr size_t LARGEST_DATABASE_BUFFER = 1 << 20;
constexpr unsigned GROUP_READ_WRITE = 060;

std::string userName(uid_t uid)
{
    std::vector<char> buffer(DATABASE_BUFFER_SIZE);
    for (;;) {
        passwd entry;
        passwd* found = nullptr;
        const int error = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < LARGEST_DATABASE_BUFFER) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return found ? std::string(found->pw_name) : std::to_string(uid);
    }
}

gid_t primaryGroupOf(uid_t uid)
{
    std::vector<char> buffer(DATABASE_BUFFER_SIZE);
    passwd entry;
    passwd* found = nullptr;
    getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    return found ? found->pw_gid : static_cast<gid_t>(-1);
}

// The group's name, and whether `user` is in its member list.
std::string groupName(gid_t gid, const std::string& user, bool* listed)
{
    std::vector<char> buffer(DATABASE_BUFFER_SIZE);
    for (;;) {
        group entry;
        group* found = nullptr;
        const int error = getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < LARGEST_DATABASE_BUFFER) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (!found)
            return std::to_string(gid);
        for (char** member = found->gr_mem; member && *member; ++member)
            if (user == *member)
                *listed = true;
        return found->gr_name;
    }
}

bool processHasGroup(gid_t gid)
{
    if (getegid() == gid)
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

std::string octal(unsigned mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

} // namespace

std::string OpenProblemText::describe(const std::string& node, int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return permission(accessOf(node));
    case EBUSY:
    case EWOULDBLOCK: {
        std::vector<std::string> running;
        for (const std::string& prober : probers())
            if (PortHolders::isRunning(prober))
                running.push_back(prober);
        return busy(node, PortHolders::of(node), running);
    }
    default:
        return std::string();
    }
}

OpenProblemText::NodeAccess OpenProblemText::accessOf(const std::string& node)
{
    NodeAccess access;
    access.node = node;
    access.user = userName(geteuid());
    struct stat st;
    if (stat(node.c_str(), &st) != 0)
        return access;
    access.owner = userName(st.st_uid);
    access.group = groupName(st.st_gid, access.user, &access.userListedInGroup);
    if (primaryGroupOf(geteuid()) == st.st_gid)
        access.userListedInGroup = true;
    access.mode = st.st_mode & 07777;
    access.sessionHasGroup = processHasGroup(st.st_gid);
    return access;
}

std::string OpenProblemText::permission(const NodeAccess& a)
{
    const bool groupMayUse = (a.mode & GROUP_READ_WRITE) == GROUP_READ_WRITE && !a.group.empty();
    if (groupMayUse && !a.sessionHasGroup && !a.userListedInGroup)
        return "You may not open " + a.node + ": it belongs to the group " + a.group + ", and "
            + a.user + " is not in that group. Add yourself to it as root with \"adduser "
            + a.user + " " + a.group + "\" (in a root shell, or with sudo before it), then log "
            "out and log in again.";
    if (groupMayUse && !a.sessionHasGroup)
        return "You may not open " + a.node + " yet: it belongs to the group " + a.group + ", and "
            + a.user + " joined that group after this session began. Log out and log in again "
            "(or restart the computer).";
    return "You may not open " + a.node + " (owner " + a.owner + ", group " + a.group + ", mode "
        + octal(a.mode) + "): its group may not read and write it, so joining the group does "
        "not help. Ask the computer's administrator to give the port to the group dialout.";
}

std::string OpenProblemText::busy(const std::string& node,
                                  const std::vector<PortHolders::Holder>& holders,
                                  const std::vector<std::string>& runningProbers)
{
    if (!holders.empty()) {
        std::string text = node + " is in use by " + holderList(holders) + ".";
        for (const PortHolders::Holder& holder : holders)
            if (isProber(holder.name))
                return text + " " + proberAdvice(holder.name);
        return text
            + (holders.size() == 1 ? " Close that program, then try again."
                                   : " Close these programs, then try again.");
    }
    const std::string text = node + " is in use by another program.";
    if (!runningProbers.empty())
        return text + " " + runningProbers.front() + " is running and may be the one. "
            + proberAdvice(runningProbers.front());
    return text + " Close it, then try again.";
}

const std::vector<std::string>& OpenProblemText::probers()
{
    static const std::vector<std::string> names = {"ModemManager", "brltty"};
    return names;
}

bool OpenProblemText::isProber(const std::string& name)
{
    const auto& names = probers();
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string OpenProblemText::holderList(const std::vector<PortHolders::Holder>& holders)
{
    std::string list;
    for (size_t i = 0; i < holders.size(); ++i) {
        if (i > 0)
            list += i + 1 == holders.size() ? " and " : ", ";
        list += holders[i].name + " (process " + std::to_string(holders[i].pid) + ")";
    }
    return list;
}

std::string OpenProblemText::proberAdvice(const std::string& name)
{
    const std::string keepAway =
        "keep it away from the adapter (see \"Ports on Linux\" in the README)";
    if (name == "ModemManager")
        return "ModemManager probes a newly plugged-in serial port for a few seconds: try "
               "again shortly, or " + keepAway + ".";
    return name + " keeps serial ports it takes for a braille display: " + keepAway
        + ", then unplug and replug the adapter.";
}

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
