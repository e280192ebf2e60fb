#include "ConnectionText.h"

#include "Control.h"

#include <QCoreApplication>

namespace ZORVI {

QString ConnectionText::sentence(const DeviceConnection::Result& result)
{
    const DeviceConnection::Explanation explanation = DeviceConnection::explain(result);
    QString text = QCoreApplication::translate("ZORVI::DeviceConnection", explanation.outcome);
    if (*explanation.link) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QCoreApplication::translate("ZORVI::Control", explanation.link);
    }
    return text;
}

QString ConnectionText::linkReason(LinkFailure failure)
{
    return QCoreApplication::translate("ZORVI::Control", Control::describe(failure));
}

QString ConnectionText::noPortChosen()
{
    return QCoreApplication::translate(
        "ZORVI::ConnectionText",
        "no port is chosen. Plug in the KORLINK interface and choose its port, or start a "
        "simulated device from the Help menu.");
}

} // namespace ZORVI
