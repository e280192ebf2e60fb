#include "PortOpenProblem.h"

#include "ShownText.h"

#include <QMessageBox>

namespace ZORVI {

QString PortOpenProblem::reason(DeviceConnection::Outcome outcome, const std::string& openError)
{
    QString text = QCoreApplication::translate("ZORVI::DeviceConnection",
                                               DeviceConnection::reason(outcome));
    if (DeviceConnection::isPortFailure(outcome) && !openError.empty())
        // The system's words name a program, a device node, a group: text
        // from outside, shown escaped.
        text += QStringLiteral(" (%1)").arg(ShownText::of(QString::fromLocal8Bit(openError.c_str())));
    return text;
}

bool PortOpenProblem::needsBox(DeviceConnection::Outcome outcome, const std::string& openError)
{
    return outcome == DeviceConnection::Outcome::PermissionDenied
        || (outcome == DeviceConnection::Outcome::PortInUse && !openError.empty());
}

void PortOpenProblem::showBox(QWidget* parent, const QString& port, const QString& reason)
{
    QMessageBox box(parent);
    if (parent)
        box.setWindowTitle(parent->window()->windowTitle());
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("Cannot open %1").arg(ShownText::of(port)));
    box.setInformativeText(reason);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace ZORVI
