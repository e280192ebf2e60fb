#pragma once

#include "BusyPortRetry.h"
#include "DeviceConnection.h"
#include "DeviceInfo.h"
#include "DeviceLabels.h"
#include "ParameterRules.h"
#include "PortList.h"
#include "SessionChanges.h"
#include "SessionChangesDialog.h"
#include "SettingsApply.h"
#include "SettingsPlan.h"
#include "SettingsPreview.h"
#include "SwashGeometry.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QProgressBar;
class QSpinBox;

namespace Ui {
class ZORVIKMiniSetupClass;
}

namespace ZORVI {

class Control;
class SettledChoice;
class SimulatedDeviceMenu;

namespace EEPROM {
class EEP;
}

// The settings program's main window: the interface port list, the
// connection to the device with its version rules and keep-alive, and the
// parameter pages whose rows edit the device's parameter memory.
class ZORVIKMiniSetup : public QMainWindow {
    Q_OBJECT

public:
    // Talks to the device through a controller of its own.
    explicit ZORVIKMiniSetup(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    // Talks to the device through the given controller (a test's, on a
    // simulated port); a null one is replaced by a controller of its own.
    explicit ZORVIKMiniSetup(std::unique_ptr<Control> control, QWidget* parent = nullptr,
                             Qt::WindowFlags flags = {});
    ~ZORVIKMiniSetup() override;

    const QString& version() const { return m_version; }

    // Chooses a listed port as the program's start does for --port NAME,
    // without connecting: "Connect" does that. False, and the selection
    // left as it was, when no such port is listed.
    bool preselectPort(const QString& name);
    // A settings file opened with the program (from the command line or the
    // desktop's "Open With"): it is previewed for loading as soon as a device
    // is connected, since only then is there something to compare it with.
    void loadSettingsFileOnConnect(const QString& path);
    // The ports the window lists, in its order.
    const Communication::PortList::Names& listedPorts() const { return m_ports.known(); }

    // Asks the user for a settings file to open or to save to: the path, or
    // empty when cancelled. The file dialogs by default; the window tests
    // put their own chooser here instead of driving a native dialog.
    enum class FileDialog { Open, Save };
    using FileChooser = std::function<QString(QWidget* parent, FileDialog dialog,
                                              const QString& caption, const QString& filter)>;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void libraryInfo(char* buildDate, uint32_t size, uint32_t* major, uint32_t* minor,
                     uint32_t* patch) const;

private slots:
    void onInterfaceTimer();
    void onAbout();
    void doConnect();
    void doDisconnect();
    // The Disconnect button: pending edits are written first.
    void onDisconnectClicked();
    void OnTimerStarted();
    void onTimerFinished();

    void doSwashServoFrequencyID(int iIndex);
    void swashServoFrequencyChanged(int newVal);
    void doTailServoCPPLID(int iIndex);
    void tailServoCPPLChanged(int newVal);
    void doTailServoFrequencyID(int iIndex);
    void tailServoFrequencyChanged(int newVal);
    void doSwashMixerID(int iIndex);
    void swashGeometryChanged(int iIndex);
    void swashVirtualRotationChanged(int newVal);
    void doPitchingUpBehaviourID(int iIndex);
    void pitchingUpBehaviourChanged(int newVal);
    void doHeadingLockGainID(int iIndex);
    void headingLockGainChanged(int newVal);
    void doStickDeadbandID(int iIndex);
    void stickDeadbandChanged(int newVal);
    void doRevoMixID(int iIndex);
    void torqueDirChanged(int iIndex);
    void revoMixCyclicChanged(int newVal);
    void revoMixPitchChanged(int newVal);
    void tailAsymmetryChanged(int newVal);
    void doCyclicBoostID(int iIndex);
    void cyclicBoostChanged(int newVal);
    void doPitchBoostID(int iIndex);
    void pitchBoostChanged(int newVal);

    void onSaveSettings();
    void onLoadSettings();
    void onCompareWithFile();
    void onResetToFactorySettings();
    void onChangesThisSession();
    void onRestoreBackup();

    void controlGUI();
    void doLiveData();
    void onWriteResult(bool bResult);

protected:
    void closeEvent(QCloseEvent* event) override;
    // A settings file dropped on the connected window is loaded as by
    // "Load Settings...".
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class RowUnit { Hertz, Microseconds, Plain };

    void rebuildPortList();
    // The Help menu's simulated device: its port chosen once it is ready,
    // and let go of before it stops.
    void addHelpMenu();
    void chooseSimulatedDevice(const QString& port);
    void releaseSimulatedDevice(const QString& port);
    void showNoDevice(const QString& reason = QString());
    void showDeviceInfo(const DeviceInfo& info);
    void showRecoveryInfo(uint8_t hardwareByte);
    void showWrongHardware();
    void showWrongApplication();

    void connectParameterRows();
    // Screen readers name each row's control by its setting.
    void nameRowControls();
    void nameRowControl(QWidget* control, const QString& heading, const QString& caption);
    QWidget* rowControl(uint16_t id) const;
    // The page's Tab stop (where the focus starts, and the keys scroll the
    // page): named, and framed while it has the focus.
    void showPageFocus();
    void connectTypedValues();
    void storeTypedValue(uint16_t id, int value);
    void refusePhaseAngle(int value);
    void commitTypedValues();
    // Reads every parameter after the handshake, with the progress in the
    // status bar; false when a request failed.
    bool readDeviceSettings();
    // The connection ended by a failed request: disconnected, the port
    // released, and a box with `what`, the link's reason and the fate of
    // `edits`.
    void loseConnection(const QString& what, const QList<uint16_t>& edits);
    void showConnectionLost(LinkFailure failure);
    QString editsText(const QList<uint16_t>& ids, LinkFailure failure) const;
    void reportRefusedWrite(const QList<uint16_t>& edits);
    bool connectionLostBy(const SettingsApply::Result& result) const;
    void refillPages();
    void showNotOffered(QSpinBox* spinBox);
    void showNotOffered(QComboBox* list);
    // The preset list, or the torque direction's list, of an ID.
    QComboBox* choiceList(uint16_t id) const;
    static int torqueDirectionIndex(int direction);
    void refreshPages();
    void refreshSetupMenu();
    void refreshParameterMenu();
    void refreshPresetLists();
    void fillValueRow(QSpinBox* spinBox, QProgressBar* progressBar, QLabel* minLabel,
                      QLabel* maxLabel, uint16_t id, RowUnit unit);
    QString toolTipFormat(RowUnit unit) const;
    void refillGeometryList();

    // Every store from a row goes through the rules that all front ends
    // share: a refused change snaps the row back and says why.
    void storeChanges(const Rules::Changes& request);
    void storeTailServoChange(uint16_t id, int value);
    void showTailServoCorrection(const Rules::TailServoOutcome& outcome);
    void showTailServoUnsatisfiable(const Rules::TailServoOutcome& outcome);
    void showRefusal(const Rules::Verdict& verdict);
    QString refusedValueText(uint16_t id, int value) const;
    // Shows what the parameter memory holds (or is about to write) for an
    // entry in its row, without storing anything.
    void showStoredValue(uint16_t id);
    int shownValue(uint16_t id);
    QSpinBox* valueRow(uint16_t id) const;
    QComboBox* presetList(uint16_t id) const;

    void selectStoredGeometry();
    void setPhaseAngle(int phaseAngle);
    // The plate drawn once for the whole geometry at the phase angle.
    void showGeometry(const SwashGeometry::Definition& geometry, int phaseAngle);

    // What the device holds but the window cannot show as it is, or the
    // rules would correct: listed once after the pages are filled, for the
    // user to correct or to leave (then the window disconnects).
    bool reviewDeviceValues();
    QString correctionText(const Rules::Correction& correction) const;
    QString geometryCorrectionText(const Rules::Parameters& device,
                                   const std::vector<Rules::Correction>& corrections) const;
    void clearRows();

    void showConnectOutcome(const DeviceConnection::Result& result);
    void retryConnect(const QString& port);
    void showQuerying();

    // Edits must never vanish unnoticed: written while the device still
    // answers, otherwise named to the user.
    void writePendingChangesBeforeLeaving();
    void reportUnwrittenChanges(const QList<uint16_t>& ids);
    QString settingText(uint16_t id) const;
    QString headingOf(uint16_t id) const;

    // Settings files. Every one of them starts from what the device holds:
    // edits still pending are written first, and when that fails nothing
    // else happens.
    QString chooseSettingsFile(FileDialog dialog, const QString& caption);
    void loadSettingsFileOpenedWithProgram();
    bool writePendingChangesFirst(const QString& action);
    void loadSettingsFile(const QString& path, SettingsPreview::Purpose purpose);
    bool readSettingsFile(const QString& path, SettingsFile* file);
    // The device's parameters as the rules see them, every one of them read.
    Rules::Parameters deviceParameters();
    void previewAndApply(const SettingsPlan& plan, SettingsPreview::Purpose purpose,
                         const QString& source);
    void applyPlan(const SettingsPlan& plan, const QString& source);
    void reportApplyFailure(const SettingsApply::Result& result, const QString& source);
    QStringList mismatchLines(const SettingsApply::Result& result) const;
    void saveSettingsFile(const QString& path);
    void reportUnsavedSettings(const SettingsApply::Result& result);
    // A setting as the window captions it (each swash entry by its own
    // name), and one of its values as its row shows it.
    QString captionOf(uint16_t id) const;
    QString valueText(uint16_t id, int value) const;
    SettingsPreview::Wording wording() const;
    // Applies changes at once and reads them back (SettingsApply); false,
    // with the failure reported, when the device does not hold them after.
    // `written` gets how many settings went to the device.
    bool applyAndReadBack(const Rules::Changes& changes, const QString& source,
                          size_t* written);

    // This session's changes: listed against the values at connect, and
    // brought back as an edit is stored (the rules, then written at once
    // and read back).
    SessionChangesDialog::Rows sessionRows();
    void revertSessionChanges(const QList<uint16_t>& settings);
    // A setting's value as its row shows it: with the spin box's unit, a
    // preset or direction by its list's text, the geometry by its name and
    // phase angle.
    QString shownSetting(uint16_t setting, const Rules::Parameters& parameters) const;
    QString shownGeometry(const Rules::Parameters& parameters) const;
    // What the device holds, without edits still waiting to be written.
    Rules::Parameters heldParameters() const;
    void showSessionCount(size_t changed);
    // How many settings a settings file would change on the device now,
    // counted as this session's changes are (the geometry as one).
    int differingSettings(const SettingsFile& file) const;

    std::unique_ptr<Ui::ZORVIKMiniSetupClass> ui;
    std::unique_ptr<Control> m_control;
    QString m_version;
    std::unique_ptr<EEPROM::EEP> m_eep;
    std::unique_ptr<DeviceLabels> m_deviceLabels;
    DeviceInfo m_deviceInfo;
    bool m_bConnected;
    QTimer m_interfaceTimer;
    Communication::PortList m_ports;
    // A new port that is busy (ModemManager probing it) is connected again.
    BusyPortRetry m_busyRetry;
    QString m_settingsFileOnConnect;
    QTimer m_liveDataTimer;
    QProgressBar* m_readProgress = nullptr;
    // While the rows are filled from the parameter memory they store
    // nothing: filling the pages writes nothing to the device. Connecting
    // writes only the previous connection's pending edits (before it ends)
    // and the corrections the user accepts in reviewDeviceValues().
    bool m_bFilling = false;
    // Said again with the next "Settings successfully stored.": the device
    // values the user chose to correct on connecting.
    QString m_correctionNote;
    // Tells when the user has settled on a port, then the window connects:
    // not on every port the arrow keys pass over. The Connect button
    // connects at once.
    SettledChoice* m_portChoice = nullptr;
    FileChooser m_chooseFile;
    SimulatedDeviceMenu* m_simulatedDeviceMenu = nullptr;
    // What the device held when it was connected, against what it holds now.
    SessionChanges m_session;
    // A list of this session's changes or of the backups, while it is open:
    // closed when the connection ends behind it.
    QPointer<QDialog> m_listDialog;
};

} // namespace ZORVI
