#pragma once

#include "PortHolders.h"

#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {
namespace Serial {

// What a user can do when the device node of a port does not open, in a
// sentence or two: for a missing permission the group that owns the node
// and the exact command that puts the user in it (Debian gives serial
// ports to the group dialout; the membership counts from the next log-in);
// for a busy port the program that holds it, where the system tells.
// ModemManager and brltty open every serial port that appears, for a few
// seconds or for good, and are named as the likely holder.
class OpenProblemText {
public:
    // The facts of a node the user may not open.
    struct NodeAccess {
        std::string node;
        std::string owner;
        std::string group;
        unsigned mode = 0;              // permission bits, e.g. 0660
        std::string user;               // who we are
        bool userListedInGroup = false; // in the group's list or its primary group
        bool sessionHasGroup = false;   // this process has the group now
    };

    // The sentence for an open of `node` that failed with errno `error`;
    // empty for the errors it has nothing to add to.
    static std::string describe(const std::string& node, int error);

    static std::string permission(const NodeAccess& access);
    // `runningProbers`: the programs of PROBERS that run, for when no
    // holder can be seen.
    static std::string busy(const std::string& node, const std::vector<PortHolders::Holder>& holders,
                            const std::vector<std::string>& runningProbers);

    // The facts as the system has them now (stat, the user and group
    // databases, the process's groups).
    static NodeAccess accessOf(const std::string& node);

    // Programs that open serial ports on their own.
    static const std::vector<std::string>& probers();

private:
    static bool isProber(const std::string& name);
    static std::string holderList(const std::vector<PortHolders::Holder>& holders);
    static std::string proberAdvice(const std::string& name);
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
