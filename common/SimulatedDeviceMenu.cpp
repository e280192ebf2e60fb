#include "SimulatedDeviceMenu.h"

#include "PortListBox.h"
#include "ShownText.h"
#include "SimulatedDevice.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>

namespace ZORVI {

namespace {

constexpr int MESSAGE_READY_MS = 10000;

// The simulator's words line by line, each escaped, so that a box shows its
// lines as lines and nothing else it wrote acts on the box.
QString shownLines(const QString& said)
{
    QStringList lines = said.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = ShownText::of(line);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

SimulatedDeviceMenu::SimulatedDeviceMenu(QMainWindow* window, QMenu* menu,
                                         const QString& tryingText)
    : QObject(window)
    , m_window(window)
    , m_device(new SimulatedDevice(this))
    , m_tryingAction(new QAction(tr("&Trying It Without a Device..."), window))
    , m_deviceAction(new QAction(window))
    , m_tryingText(tryingText)
{
    m_tryingAction->setObjectName(QString::fromLatin1(TRYING_ACTION));
    m_deviceAction->setObjectName(QString::fromLatin1(DEVICE_ACTION));
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().constFirst();
    menu->insertAction(first, m_tryingAction);
    menu->insertAction(first, m_deviceAction);
    if (first)
        menu->insertSeparator(first);
    // The Start entry says why it is disabled where the simulator is missing.
    menu->setToolTipsVisible(true);
    connect(m_tryingAction, &QAction::triggered, this, &SimulatedDeviceMenu::showTrying);
    connect(m_deviceAction, &QAction::triggered, this, &SimulatedDeviceMenu::onDeviceAction);
    connect(m_device, &SimulatedDevice::ready, this, &SimulatedDeviceMenu::onReady);
    connect(m_device, &SimulatedDevice::failed, this, &SimulatedDeviceMenu::onFailed);
    connect(m_device, &SimulatedDevice::stopped, this, &SimulatedDeviceMenu::showDeviceState);
    showDeviceState();
}

void SimulatedDeviceMenu::giveQuitKeys(QAction* action)
{
    action->setShortcuts(QKeySequence::Quit);
    if (action->shortcuts().isEmpty())
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void SimulatedDeviceMenu::showDeviceState()
{
    if (!m_device->isAvailable()) {
        m_deviceAction->setText(tr("&Start a Simulated Device"));
        m_deviceAction->setEnabled(false);
        m_deviceAction->setToolTip(
            tr("The simulated device (%1) is not installed: it is neither beside this "
               "program nor on the PATH.")
                .arg(QString::fromLatin1(SimulatedDevice::PROGRAM_NAME)));
        return;
    }
    m_deviceAction->setText(m_device->isRunning() ? tr("S&top the Simulated Device")
                                                  : tr("&Start a Simulated Device"));
    m_deviceAction->setToolTip(QString());
}

void SimulatedDeviceMenu::onDeviceAction()
{
    if (m_device->isRunning()) {
        stopDevice();
        showStatus(tr("The simulated device has stopped."));
        return;
    }
    showStatus(tr("Starting the simulated device..."));
    // A simulator started elsewhere keeps its name; this one takes the next.
    m_device->start(PortListBox::virtualPorts());
    showDeviceState();
}

void SimulatedDeviceMenu::stopDevice()
{
    if (!m_device->isRunning())
        return;
    if (!m_device->portName().isEmpty())
        emit aboutToStop(m_device->portName());
    m_device->stop();
}

void SimulatedDeviceMenu::onReady(const QString& port)
{
    showStatus(tr("The simulated device is ready on %1.").arg(ShownText::of(port)));
    emit ready(port);
}

void SimulatedDeviceMenu::onFailed(const QString& reason, const QString& said)
{
    showDeviceState();
    // Stays until the user does something else.
    m_window->statusBar()->showMessage(reason);
    QMessageBox box(m_window);
    box.setWindowTitle(m_window->windowTitle());
    box.setIcon(QMessageBox::Warning);
    box.setText(reason);
    QString informative;
    if (!said.isEmpty())
        informative = tr("%1 said:\n%2\n\n")
                          .arg(QString::fromLatin1(SimulatedDevice::PROGRAM_NAME),
                               shownLines(said));
    informative += tr("Start it again from the Help menu, or run %1 in a terminal to see "
                      "what it says.")
                       .arg(ShownText::of(m_device->program()));
    box.setInformativeText(informative);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void SimulatedDeviceMenu::showTrying()
{
    QString text = m_tryingText;
    if (!m_device->isAvailable())
        text += QStringLiteral("\n\n")
            + tr("The simulated device (%1) is not installed here: install the zorvik "
                 "package, or build %1 beside this program.")
                  .arg(QString::fromLatin1(SimulatedDevice::PROGRAM_NAME));
    QMessageBox box(m_window);
    box.setWindowTitle(tr("Trying It Without a Device"));
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Trying It Without a Device"));
    box.setInformativeText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void SimulatedDeviceMenu::showStatus(const QString& message)
{
    m_window->statusBar()->showMessage(message, MESSAGE_READY_MS);
}

} // namespace ZORVI
