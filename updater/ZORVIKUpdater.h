#pragma once

#include <QMainWindow>
#include <QMetaObject>
#include <QStringList>

#include <cstdint>
#include <memory>

class QMessageBox;
class QTimer;

namespace Ui {
class ZORVIKUpdaterClass;
}

namespace ZORVI {

class Control;
struct DeviceInfo;

// The updater's main window: picks the KORLINK adapter's port (kept in step
// with the system's port list once a second), checks the adapter and shows
// the device's versions, loads an update file (file dialog, drag and drop or
// the command line) and shows its versions, and runs the firmware update.
//
// The port is open only inside a refresh and inside an update run, never
// between user actions.
class ZORVIKUpdater : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int INTERFACE_POLL_MS = 1000;
    static constexpr uint32_t DEVICE_RESTART_WAIT_MS = 2000;
    static constexpr uint32_t PORT_NAME_SIZE = 250;
    // The release this program's version stands for.
    static constexpr const char* BUILD_DATE = "Aug 16 2012";

    explicit ZORVIKUpdater(QWidget* parent = nullptr);
    ~ZORVIKUpdater() override;

    // Puts a path into the file field, which reads the file.
    void setUpdateFile(const QString& path);

    // For the about box.
    QString version() const { return m_version; }
    void libraryInfo(char* buildDate, uint32_t size, uint32_t* major, uint32_t* minor,
                     uint32_t* patch) const;

    void showDeviceInfo(const DeviceInfo& info);
    void showRecoveryInfo(uint8_t hardwareByte);
    void clearDeviceInfo();
    void setProgress(uint8_t percent);

    // The controller's progress function. A call with a window registers it;
    // a call without one (as the controller makes them) moves that window's
    // progress bar and lets it repaint and handle input before the next
    // record goes out.
    static void progressFunction(int percent, void* window);

public slots:
    void btnAutodetectClick();
    void btnFileOpenClick();
    void btnZorviRefreshClick();
    void checkInterface();
    void btnUpdateClick();
    void onExit();
    void onAbout();
    void onInterfaceTimer();
    void setInterface(QString qInterface);
    void receiveAutodetect(QString qSerial);
    void updateFileChanged(QString qFileName);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void makeConnections();
    void connectRefresh();
    void disconnectRefresh();
    void updateStartButton();
    QStringList enumeratePorts();
    void rebuildPortList(const QStringList& ports, const QString& remembered);
    void showFileVersions(const DeviceInfo& versions);
    void clearFileVersions(const QString& text);
    void showDescription(const char* description);
    QByteArray selectedPortName() const;
    QByteArray updateFilePath() const;

    // The update run, step by step.
    void beginRun();
    void endRun();
    void prepareConfirmation(QMessageBox& box);
    void reportResult(QMessageBox& box, int result);
    void waitForDevice();
    void queryDeviceAgain();

    std::unique_ptr<Ui::ZORVIKUpdaterClass> m_ui;
    std::unique_ptr<Control> m_control;
    QStringList m_knownPorts;
    bool m_portSelected = false;
    bool m_fileValid = false;
    QTimer* m_interfaceTimer;
    QMetaObject::Connection m_refreshConnection;
    const QString m_version = QStringLiteral("1.0.6");

    static ZORVIKUpdater* s_progressWindow;
};

} // namespace ZORVI
