#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QMap>
#include <QStringList>

#include "BusyPortRetry.h"
#include "Control.h"
#include "DeviceConnection.h"
#include "DeviceLabels.h"
#include "LinkFailure.h"
#include "PortList.h"
#include "SettingsFile.h"

#include <cstdint>
#include <functional>
#include <memory>

class QTimer;
class RepaintPacer;

namespace Ui {
class ZORVIKUpdaterClass;
}

namespace ZORVI {

class Control;
class SimulatedDeviceMenu;
class UpdateFile;
class UpdateOutcome;
struct DeviceInfo;

// The updater's main window: picks the KORLINK adapter's port (kept in step
// with the system's port list once a second), checks the adapter and shows
// the device's versions, loads an update file (file dialog, drag and drop or
// the command line) and shows its versions, and runs the firmware update.
//
// The file is read once, when it is chosen, and kept in memory: the run
// flashes exactly the update that was shown and confirmed. A run checks the
// adapter, then the file's hardware against the device, before anything is
// sent, asks the device again afterwards and says whether it took the
// update; each run that was confirmed leaves one line in the update records
// (UpdateJournal).
//
// The port is open only inside a refresh and inside an update run, never
// between user actions. Nothing the user does during a run changes or hides
// it: drops are refused and a close request waits for the outcome.
class ZORVIKUpdater : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int INTERFACE_POLL_MS = 1000;
    static constexpr uint32_t DEVICE_RESTART_WAIT_MS = 2000;

    // Talks to the device through a controller of its own.
    explicit ZORVIKUpdater(QWidget* parent = nullptr);
    // Talks to the device through the given controller (a test's, on a
    // simulated port); a null one is replaced by a controller of its own.
    explicit ZORVIKUpdater(std::unique_ptr<Control> control, QWidget* parent = nullptr);
    ~ZORVIKUpdater() override;

    // Before the application object exists: on X11, every repaint with
    // shared-memory images first waits for the display server to take the
    // previous image, a round trip per progress step of a transfer that a
    // remote or busy display makes tens of milliseconds long while the
    // device waits for its next record. Images sent over the connection do
    // not wait. Other platforms ignore it; a user's own choice is kept.
    static void paintWithoutWaitingForTheDisplay();

    // Puts a path into the file field and reads the file, also when it is
    // the path already shown (the file may have changed since). Does
    // nothing while an update runs.
    void setUpdateFile(const QString& path);

    // Chooses a listed port as the program's start does for --port NAME:
    // the device on it is asked at once, as when the user chooses it. False,
    // and nothing chosen, when no such port is listed.
    bool preselectPort(const QString& name);
    // The ports the window lists, in its order.
    const Communication::PortList::Names& listedPorts() const { return m_ports.known(); }

    // Asks the user for an update file: the path, or empty when cancelled.
    // The file dialog by default; the window tests put their own chooser
    // here instead of driving a native dialog's event loop.
    using FileChooser =
        std::function<QString(QWidget* parent, const QString& caption, const QString& filter)>;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // Where the file dialog starts: the sample update file's folder while
    // the simulated device is the port, until the user has chosen a file
    // in the dialog; empty otherwise, where the dialog starts in the folder
    // last opened from (or the working folder).
    QString fileDialogFolder() const;

    // For the about box.
    QString version() const;
    void libraryInfo(char* buildDate, uint32_t size, uint32_t* major, uint32_t* minor,
                     uint32_t* patch) const;

    void showDeviceInfo(const DeviceInfo& info);
    void showRecoveryInfo(uint8_t hardwareByte);
    void clearDeviceInfo();
    void setProgress(uint8_t percent);

    // The controller's progress function. A call with a window registers it
    // and sets its bar (no events are handled then); a call without one (as
    // the controller makes them) moves that window's progress bar and lets
    // it handle input, and repaint at most ten times a second, before the
    // next record goes out.
    static void progressFunction(int percent, void* window);

public slots:
    void btnAutodetectClick();
    void btnFileOpenClick();
    void btnZorviRefreshClick();
    void checkInterface();
    void btnUpdateClick();
    void onExit();
    void onAbout();
    void onUpdateRecords();
    void onInterfaceTimer();
    void setInterface(QString qInterface);
    void receiveAutodetect(QString qSerial);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void makeConnections();
    void connectRefresh();
    void disconnectRefresh();
    void updateStartButton();
    void rebuildPortList();
    // The Help menu's simulated device, whose port is asked once it is ready.
    void addHelpEntries();
    void chooseSimulatedDevice(const QString& port);
    bool isSimulatedDevicePort(const QString& port) const;
    void loadUpdateFile(const QString& path);
    void refuseUpdateFile(const QString& path, const char* reason);
    void showFileVersions(const UpdateFile& file);
    void clearFileVersions(const QString& text);
    void showFileRefusal(const QString& text);
    void showDescription(const char* description);
    void showLongDescription(const QString& text);
    QByteArray selectedPortName() const;
    bool openSelectedPort();
    void retryRefresh(const QString& port);
    void reportNoEcho(const QString& port);
    void showNoEchoBox(const QString& port);
    void showStep(uint8_t percent);

    // The update run, step by step.
    void beginRun();
    void endRun();
    void runOnOpenPort();
    DeviceConnection::Result queryDevice();
    bool hardwareAccepted(const DeviceConnection::Result& device);
    bool confirmUpdate(const DeviceConnection::Result& device);
    // Reads and saves the device's settings, then opens the port again for
    // the transfer: false when the run ends here (nothing sent).
    bool backUpSettings();
    bool updateWithoutBackup(const QString& problem);
    // For a device in recovery mode: no backup, and which earlier ones exist.
    QString recoveryBackupText() const;
    // After a done update: the preview of the backup against the device.
    void offerRestore();
    void transferChosenFile();
    void waitForDevice();
    UpdateOutcome judgeRun(const DeviceConnection::Result& after) const;
    QString recordRun(const DeviceConnection::Result& before,
                      const DeviceConnection::Result& after, const UpdateOutcome& outcome);
    // The box of a run's outcome; the transfer report's sentence is the
    // detailed text of a failed transfer.
    void showOutcome(const UpdateOutcome& outcome, const QString& recordProblem,
                     const Control::TransferReport& transfer);
    static QString statusOf(const UpdateOutcome& outcome);
    static QMessageBox::Icon iconOf(const UpdateOutcome& outcome);
    void answerCloseDuringRun();
    void closeCloseNotice();

    std::unique_ptr<Ui::ZORVIKUpdaterClass> m_ui;
    std::unique_ptr<Control> m_control;
    // The update as it was read when chosen; null without a usable file.
    std::unique_ptr<UpdateFile> m_file;
    QString m_fileRefusalMessage;
    Communication::PortList m_ports;
    // A new port that is busy (ModemManager probing it) is asked again.
    BusyPortRetry m_busyRetry;
    std::unique_ptr<DeviceLabels> m_deviceLabels;
    bool m_portSelected = false;
    bool m_running = false;
    bool m_closeWhenDone = false;
    QPointer<QMessageBox> m_closeNotice;
    QTimer* m_interfaceTimer;
    RepaintPacer* m_repaintPacer;
    QMetaObject::Connection m_refreshConnection;
    FileChooser m_chooseFile;
    bool m_fileChosenInDialog = false;
    SimulatedDeviceMenu* m_simulatedDeviceMenu = nullptr;
    // The run's settings backup; the path is empty when none was made.
    SettingsFile m_backup;
    QString m_backupPath;
    // The last device that answered on each port, by its firmware: the unit
    // a recovery-mode device (which tells no serial number) most likely is.
    QMap<QString, DeviceInfo> m_lastDeviceOn;

    static ZORVIKUpdater* s_progressWindow;
};

} // namespace ZORVI
