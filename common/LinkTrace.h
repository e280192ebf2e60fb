#pragma once

#include <QLoggingCategory>

#include <memory>

namespace ZORVI {
class Control;
} // namespace ZORVI

// The link's traffic for a support log: every port call and every packet,
// one debug message each. Off unless asked for, e.g. with
// QT_LOGGING_RULES="zorvik.link.debug=true".
Q_DECLARE_LOGGING_CATEGORY(zorvikLink)

namespace ZORVI {

// Makes the windows' device controller.
class LinkTrace {
public:
    // A controller on the serial interface. When zorvikLink's debug
    // messages are on at this moment, its port reports what crosses the wire
    // to that category; otherwise it is the plain controller (turning the
    // category on later does not trace a controller made before).
    static std::unique_ptr<Control> makeControl();
};

} // namespace ZORVI
