#pragma once

#include <QObject>
#include <QString>

class QAction;
class QMainWindow;
class QMenu;

namespace ZORVI {

class SimulatedDevice;

// The entries of a window's Help menu for a user without a device: how to
// try the window ("Trying It Without a Device..."), and the simulated
// device, started as the window's child ("Start a Simulated Device", then
// "Stop the Simulated Device"). The window selects the device's port when
// it is ready (ready()) and lets go of it before it stops (aboutToStop());
// the device stops with the window at the latest. Its failures are said in
// the window's status bar and in a box.
class SimulatedDeviceMenu : public QObject {
    Q_OBJECT

public:
    // Object names, for the windows' tests.
    static constexpr const char* TRYING_ACTION = "action_TryingWithoutDevice";
    static constexpr const char* DEVICE_ACTION = "action_SimulatedDevice";

    // Adds the entries to `menu`, before its first entry; `tryingText` is
    // the window's own account of how to try it.
    SimulatedDeviceMenu(QMainWindow* window, QMenu* menu, const QString& tryingText);

    SimulatedDevice& device() { return *m_device; }
    QAction* deviceAction() const { return m_deviceAction; }

    // The window's Quit entry: the platform's Quit keys, Ctrl+Q where the
    // platform has none (Windows).
    static void giveQuitKeys(QAction* action);

    // Stops the device as the Stop entry does (the window's close).
    void stopDevice();

signals:
    void ready(const QString& port);
    // Emitted before the device on `port` stops: a window connected to it
    // disconnects now, the way the user would.
    void aboutToStop(const QString& port);

private:
    void onDeviceAction();
    void onReady(const QString& port);
    void onFailed(const QString& reason, const QString& said);
    void showTrying();
    void showDeviceState();
    void showStatus(const QString& message);

    QMainWindow* m_window;
    SimulatedDevice* m_device;
    QAction* m_tryingAction;
    QAction* m_deviceAction;
    QString m_tryingText;
};

} // namespace ZORVI
