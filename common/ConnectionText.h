#pragma once

#include "DeviceConnection.h"

#include <QString>

namespace ZORVI {

// A connect outcome in the windows' words: the outcome's sentence and the
// link's reason after it (DeviceConnection::explain), each translated under
// the name of the class that says it. The settings window's status bar and
// the updater's use it, so that both tell a damaged answer from no answer.
class ConnectionText {
public:
    static QString sentence(const DeviceConnection::Result& result);
    // One link failure's reason as the windows show it (Control::describe),
    // translated; empty for LinkFailure::None.
    static QString linkReason(LinkFailure failure);
    // Why nothing was asked when no port is chosen, and what to do: the
    // reason after "No ZORVIK Device found: ".
    static QString noPortChosen();
};

} // namespace ZORVI
