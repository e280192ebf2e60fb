#pragma once

#include "DeviceInfo.h"
#include "SwashGeometry.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>

class QLabel;
class QProgressBar;
class QSpinBox;

namespace Ui {
class ZORVIKMiniSetupClass;
}

namespace ZORVI {

class Control;

namespace EEPROM {
class EEP;
}

// The settings program's main window: the interface port list, the
// connection to the device with its version rules and keep-alive, and the
// parameter pages whose rows edit the device's parameter memory.
class ZORVIKMiniSetup : public QMainWindow {
    Q_OBJECT

public:
    explicit ZORVIKMiniSetup(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~ZORVIKMiniSetup() override;

    // The program's build date, shown in the about box.
    static constexpr const char* BUILD_DATE = "Aug 16 2012";

    const QString& version() const { return m_version; }
    void libraryInfo(char* buildDate, uint32_t size, uint32_t* major, uint32_t* minor,
                     uint32_t* patch) const;

private slots:
    void onInterfaceTimer();
    void onAbout();
    void doConnect();
    void doDisconnect();
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

    void controlGUI();
    void doLiveData();
    void onWriteResult(bool bResult);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class RowUnit { Hertz, Microseconds, Plain };

    QStringList portList();
    void showNoDevice();
    void showDeviceInfo(const DeviceInfo& info);
    void showRecoveryInfo(uint8_t hardwareByte);
    void showWrongHardware();
    void showWrongApplication();

    void connectParameterRows();
    void refreshPages();
    void refreshSetupMenu();
    void refreshParameterMenu();
    void refreshPresetLists();
    void fillValueRow(QSpinBox* spinBox, QProgressBar* progressBar, QLabel* minLabel,
                      QLabel* maxLabel, uint16_t id, RowUnit unit);
    QString toolTipFormat(RowUnit unit) const;
    void refillGeometryList();

    int tailServoPulseLength() const;
    int tailServoFrequency() const;
    bool tailServoRuleHolds() const;
    void storeUnderTailServoRule(uint16_t id, int value);

    SwashGeometry::Stored storedGeometry();
    void selectStoredGeometry();
    void showUnknownGeometry(int phaseAngle);
    void resetTailServoPresets();
    QString geometryReplacedText() const;
    void setPhaseAngle(int phaseAngle);
    void showGeometry(const SwashGeometry::Definition& geometry);
    void storeGeometry(const SwashGeometry::Definition& geometry);

    // Edits must never vanish unnoticed: written while the device still
    // answers, otherwise named to the user.
    void writePendingChangesBeforeLeaving();
    void reportUnwrittenChanges(const QList<uint16_t>& ids);
    QString settingText(uint16_t id) const;

    Ui::ZORVIKMiniSetupClass* ui;
    Control* m_control;
    QString m_version;
    EEPROM::EEP* m_eep;
    DeviceInfo m_deviceInfo;
    bool m_bConnected;
    QTimer m_interfaceTimer;
    QStringList m_portList;
    QTimer m_liveDataTimer;
    // The list shows a geometry the device does not hold (the device's own
    // was not recognised), so choosing that same item must still store it.
    // The stored swash geometry was not recognised and the fallback was
    // stored over it: the next successful write says so again.
    bool m_bGeometryReplaced;
};

} // namespace ZORVI
