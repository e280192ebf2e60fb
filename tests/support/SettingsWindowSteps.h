#pragma once

// What the settings window tests do with the window as a user would: pick
// the simulator's port, connect, read the status bar and see whether the
// pages are open.

#include "WindowChild.h"
#include "ZORVIKMiniSetup.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTest>

#include <string>

namespace SettingsWindowSteps {

// The port list is refreshed once a second; the machine may be busy.
constexpr int PORT_LIST_WAIT_MS = 5000;

inline QComboBox* portList(ZORVI::ZORVIKMiniSetup& window)
{
    return child<QComboBox>(window, "m_cmbBoxZorvilink");
}

// Picks the port as a user would; that starts the connection (a port that
// is already selected connects by the button, as Connect does).
inline void choosePort(ZORVI::ZORVIKMiniSetup& window, const std::string& port)
{
    QComboBox* ports = portList(window);
    const QString name = QString::fromStdString(port);
    QTRY_VERIFY_WITH_TIMEOUT(ports->findText(name) >= 0, PORT_LIST_WAIT_MS);
    if (ports->currentText() == name)
        child<QPushButton>(window, "m_btnConnect")->click();
    else
        ports->setCurrentIndex(ports->findText(name));
}

// Selects the port quietly, then makes exactly one connection by the
// button.
inline void connectByButton(ZORVI::ZORVIKMiniSetup& window, const std::string& port)
{
    QComboBox* ports = portList(window);
    const QString name = QString::fromStdString(port);
    QTRY_VERIFY_WITH_TIMEOUT(ports->findText(name) >= 0, PORT_LIST_WAIT_MS);
    {
        const QSignalBlocker quiet(ports);
        ports->setCurrentIndex(ports->findText(name));
    }
    child<QPushButton>(window, "m_btnConnect")->click();
}

// The pages are open only while a device is connected.
inline bool isConnected(ZORVI::ZORVIKMiniSetup& window)
{
    return child<QTabWidget>(window, "m_tabControl")->isEnabled();
}

} // namespace SettingsWindowSteps
