#include "LinkTrace.h"

#include "Control.h"
#include "SerialWin.h"
#include "TracingPort.h"

#include <QString>

#include <string>

Q_LOGGING_CATEGORY(zorvikLink, "zorvik.link", QtWarningMsg)

namespace ZORVI {

using Communication::Serial::SerialWin;
using Communication::Serial::TracingPort;

std::unique_ptr<Control> LinkTrace::makeControl()
{
    if (!zorvikLink().isDebugEnabled())
        return std::make_unique<Control>();
    auto toCategory = [](const std::string& line) {
        qCDebug(zorvikLink).noquote() << QString::fromStdString(line);
    };
    return std::make_unique<Control>(
        std::make_unique<TracingPort>(std::make_unique<SerialWin>(), toCategory));
}

} // namespace ZORVI
