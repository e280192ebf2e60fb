#include "ZORVIKMiniSetup.h"

#include "ui_ZORVIKMiniSetup.h"

#include "AboutBox.h"
#include "Control.h"
#include "DeviceRequirements.h"
#include "EEP.h"
#include "ParameterIds.h"
#include "TailServoRule.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QUrl>

#include <cstring>

namespace ZORVI {

using namespace EEPROM;

namespace {

constexpr int INTERFACE_INTERVAL_MS = 1000;
constexpr int LIVE_DATA_INTERVAL_MS = 50;
constexpr int MESSAGE_DEVICE_MS = 10000;
constexpr int MESSAGE_WRITE_MS = 5000;
constexpr uint32_t MAX_ID_RUN = 16;
constexpr uint32_t MAX_ADDRESS_RUN = 127;
constexpr uint32_t PORT_NAME_SIZE = 250;
// The port map never holds this many ports; the bound only guards the loop.
constexpr uint32_t MAX_PORTS = 1024;
constexpr int PHASE_ANGLE_MIN = -180;
constexpr int PHASE_ANGLE_MAX = 180;
constexpr int PHASE_ANGLE_DEFAULT = 0;

// Where each parameter appears on the pages, to name it to the user.
struct SettingName {
    uint16_t id;
    const char* heading;
    const char* valueName;
};

const SettingName SETTING_NAMES[] = {
    {SwashServoFrequencyID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate Servo - Frequency"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {SwashServoFrequency, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate Servo - Frequency"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
    {TailServoCPPLID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail Servo - Center Position Pulse Length"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {TailServoCPPL, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail Servo - Center Position Pulse Length"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
    {TailServoFrequencyID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail Servo - Frequency"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {TailServoFrequency, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail Servo - Frequency"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
    {SwashMixerID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {SwashMixerMode, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Geometry")},
    {SwashServo1Angle, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Geometry")},
    {SwashServo2Angle, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Geometry")},
    {SwashServo3Angle, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Geometry")},
    {SwashServo1Travel, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Geometry")},
    {SwashServo2Travel, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Geometry")},
    {SwashServo3Travel, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Mixer"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Geometry")},
    {PitchingUpBehaviourID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Pitching Up Behaviour"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {PitchingUpBehaviour, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Swashplate - Pitching Up Behaviour"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
    {HeadingLockGainID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail - HeadingLock Gain"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {HeadingLockGain, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail - HeadingLock Gain"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
    {StickDeadbandID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Stick Deadband"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {StickDeadband, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Stick Deadband"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
    {RevoMixID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail - Revomix and Asymmetry"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {TorqueDirection, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail - Revomix and Asymmetry"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Main Rotor Torque Direction")},
    {RevoMixCyclic, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail - Revomix and Asymmetry"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Revo Mix Cyclic")},
    {RevoMixPitch, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail - Revomix and Asymmetry"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Revo Mix Pitch")},
    {TailAsymmetry, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Tail - Revomix and Asymmetry"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Asymmetry")},
    {CyclicBoostID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Cyclic Response"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {CyclicBoost, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Cyclic Response"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
    {PitchBoostID, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Pitch Boost"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Preset")},
    {PitchBoost, QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "Pitch Boost"), QT_TRANSLATE_NOOP("ZORVI::ZORVIKMiniSetup", "User Defined Value")},
};

QString number(int value)
{
    return QString::number(value);
}

} // namespace

ZORVIKMiniSetup::ZORVIKMiniSetup(QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , ui(new Ui::ZORVIKMiniSetupClass)
    , m_control(nullptr)
    , m_version(QStringLiteral("3.0.2"))
    , m_eep(nullptr)
    , m_bConnected(false)
    , m_bGeometryReplaced(false)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("%1 (%2)").arg(windowTitle(), m_version));
    showNoDevice();

    m_control = new Control;
    m_eep = new EEP(m_control, false, MAX_ID_RUN, MAX_ADDRESS_RUN);
    connect(m_eep, &EEP::timerStarted, this, &ZORVIKMiniSetup::OnTimerStarted);
    connect(m_eep, &EEP::timerFinished, this, &ZORVIKMiniSetup::onTimerFinished);

    m_portList.clear();
    doDisconnect();

    m_liveDataTimer.setInterval(LIVE_DATA_INTERVAL_MS);
    connect(&m_liveDataTimer, &QTimer::timeout, this, &ZORVIKMiniSetup::doLiveData);
    m_interfaceTimer.setInterval(INTERFACE_INTERVAL_MS);
    connect(&m_interfaceTimer, &QTimer::timeout, this, &ZORVIKMiniSetup::onInterfaceTimer);
    m_interfaceTimer.start();
    onInterfaceTimer();

    connect(ui->m_btnConnect, &QPushButton::clicked, this, &ZORVIKMiniSetup::doConnect);
    connect(ui->m_btnDisconnect, &QPushButton::clicked, this, &ZORVIKMiniSetup::doDisconnect);
    connect(ui->action_About_ZORVIK_Micro_Settings, &QAction::triggered, this,
            &ZORVIKMiniSetup::onAbout);
    connectParameterRows();
    connect(m_eep, &EEP::writeResult, this, &ZORVIKMiniSetup::onWriteResult);
}

ZORVIKMiniSetup::~ZORVIKMiniSetup()
{
    m_liveDataTimer.stop();
    m_interfaceTimer.stop();
    delete m_eep;
    m_eep = nullptr;
    m_control->close();
    delete m_control;
    m_control = nullptr;
    delete ui;
}

void ZORVIKMiniSetup::libraryInfo(char* buildDate, uint32_t size, uint32_t* major,
                                  uint32_t* minor, uint32_t* patch) const
{
    m_control->libraryInfo(buildDate, size, major, minor, patch);
}

void ZORVIKMiniSetup::connectParameterRows()
{
    connect(ui->m_cmbBoxSwashServoFrequencyID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doSwashServoFrequencyID);
    connect(ui->m_spinBoxSwashServoFrequency, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::swashServoFrequencyChanged);
    connect(ui->m_cmbBoxTailServoCPPLID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doTailServoCPPLID);
    connect(ui->m_spinBoxTailServoCPPL, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::tailServoCPPLChanged);
    connect(ui->m_cmbBoxTailServoFrequencyID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doTailServoFrequencyID);
    connect(ui->m_spinBoxTailServoFrequency, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::tailServoFrequencyChanged);
    connect(ui->m_cmbBoxSwashMixerID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doSwashMixerID);
    connect(ui->m_cmbBoxSwashGeometry, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::swashGeometryChanged);
    connect(ui->m_spinBoxSwashVirtualRotation, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::swashVirtualRotationChanged);
    connect(ui->m_cmbBoxPitchingUpBehaviourID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doPitchingUpBehaviourID);
    connect(ui->m_spinBoxPitchingUpBehaviour, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::pitchingUpBehaviourChanged);
    connect(ui->m_cmbBoxHeadingLockGainID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doHeadingLockGainID);
    connect(ui->m_spinBoxHeadingLockGain, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::headingLockGainChanged);
    connect(ui->m_cmbBoxStickDeadbandID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doStickDeadbandID);
    connect(ui->m_spinBoxStickDeadband, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::stickDeadbandChanged);
    connect(ui->m_cmbBoxRevoMixID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doRevoMixID);
    connect(ui->m_cmbBoxTorqueDir, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::torqueDirChanged);
    connect(ui->m_spinBoxRevoMixCyclic, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::revoMixCyclicChanged);
    connect(ui->m_spinBoxRevoMixPitch, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::revoMixPitchChanged);
    connect(ui->m_spinBoxTailAsymmetry, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::tailAsymmetryChanged);
    connect(ui->m_cmbCyclicBoostID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doCyclicBoostID);
    connect(ui->m_spinBoxCyclicBoost, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::cyclicBoostChanged);
    connect(ui->m_cmbBoxPitchBoostID, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doPitchBoostID);
    connect(ui->m_spinBoxPitchBoost, &QSpinBox::valueChanged, this,
            &ZORVIKMiniSetup::pitchBoostChanged);
}

// ---------------------------------------------------------------- port list

QStringList ZORVIKMiniSetup::portList()
{
    QStringList names;
    char buffer[PORT_NAME_SIZE];
    std::memset(buffer, 0, sizeof buffer);
    for (uint32_t index = 0; index < MAX_PORTS; ++index) {
        if (!m_control->enumeratePort(index, buffer, sizeof buffer))
            break;
        buffer[sizeof buffer - 1] = '\0';
        names.append(QString::fromLocal8Bit(buffer));
    }
    return names;
}

void ZORVIKMiniSetup::onInterfaceTimer()
{
    const QString remembered = ui->m_cmbBoxZorvilink->currentText();
    const QStringList fresh = portList();
    QStringList working = m_portList;
    bool changed = false;
    for (const QString& name : std::as_const(m_portList)) {
        if (!fresh.contains(name)) {
            working.removeOne(name);
            changed = true;
        }
    }
    for (const QString& name : fresh) {
        if (!m_portList.contains(name)) {
            working.append(name);
            changed = true;
        }
    }
    if (!changed)
        return;

    m_portList = working;
    m_portList.sort(Qt::CaseSensitive);
    // Rebuilding the list must not start a connection.
    disconnect(ui->m_cmbBoxZorvilink, &QComboBox::currentIndexChanged, this,
               &ZORVIKMiniSetup::doConnect);
    ui->m_cmbBoxZorvilink->clear();
    ui->m_cmbBoxZorvilink->addItems(m_portList);
    if (!remembered.isEmpty()) {
        const int index = m_portList.indexOf(remembered);
        if (index >= 0) {
            ui->m_cmbBoxZorvilink->setCurrentIndex(index);
        } else {
            ui->m_cmbBoxZorvilink->setCurrentIndex(-1);
            showNoDevice();
        }
    }
    connect(ui->m_cmbBoxZorvilink, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::doConnect);
}

void ZORVIKMiniSetup::onAbout()
{
    // Window-modal by its form, and gone once closed.
    auto* box = new AboutBox(AboutBox::Program::Settings,
                             AboutBox::versionsOf(*this, QString::fromLatin1(BUILD_DATE)), this,
                             Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box->show();
}

// --------------------------------------------------------------- connection

void ZORVIKMiniSetup::showNoDevice()
{
    ui->m_lblZorviAppVer->clear();
    ui->m_lblZorviHWVer->clear();
    ui->m_lblZorviEEPVer->clear();
    ui->m_lblZorviSerial->clear();
    ui->m_statusbar->showMessage(tr("No ZORVIK Device found"), MESSAGE_DEVICE_MS);
}

void ZORVIKMiniSetup::showDeviceInfo(const DeviceInfo& info)
{
    ui->m_lblZorviAppVer->setText(QString::fromStdString(info.applicationVersionText()));
    ui->m_lblZorviHWVer->setText(QString::fromStdString(info.hardwareVersionText()));
    ui->m_lblZorviEEPVer->setText(QString::fromStdString(info.dataVersionText()));
    ui->m_lblZorviSerial->setText(QString::fromStdString(info.serialLabelText()));
    ui->m_statusbar->showMessage(tr("ZORVIK Device found"), MESSAGE_DEVICE_MS);
}

void ZORVIKMiniSetup::showRecoveryInfo(uint8_t hardwareByte)
{
    ui->m_lblZorviAppVer->clear();
    ui->m_lblZorviHWVer->setText(QString::fromStdString(recoveryHardwareText(hardwareByte))
                                 + QStringLiteral(" (Recovery-Mode)"));
    ui->m_lblZorviEEPVer->clear();
    ui->m_lblZorviSerial->clear();
    ui->m_statusbar->showMessage(tr("ZORVIK Device in Recovery-Mode found"), MESSAGE_DEVICE_MS);
}

void ZORVIKMiniSetup::showWrongHardware()
{
    QMessageBox box(this);
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Wrong Hardware"));
    box.setInformativeText(tr("Sorry, but your ZORVIK Device is not working with this software.\n"
                              "Required Hardware version is %1.x (TR6400QK).")
                               .arg(number(DeviceRequirements::HARDWARE_MAJOR)));
    box.exec();
}

void ZORVIKMiniSetup::showWrongApplication()
{
    QMessageBox box(this);
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Wrong Application Version"));
    box.setInformativeText(
        tr("Sorry, but your ZORVIK Device is not working with this software.\n"
           "Minimum required firmware version (Application) is %1.%2.x\n\n"
           "To get an actual version go to ")
            .arg(number(DeviceRequirements::APPLICATION_MAJOR),
                 number(DeviceRequirements::APPLICATION_MINOR))
        + QString::fromLatin1(DeviceRequirements::PRODUCT_WEB_SITE));
    box.exec();
    QDesktopServices::openUrl(
        QUrl(QString::fromStdString(DeviceRequirements::productPageUrl(m_deviceInfo))));
}

void ZORVIKMiniSetup::doConnect()
{
    writePendingChangesBeforeLeaving();
    doDisconnect();
    ui->m_statusbar->showMessage(tr("Querying ZORVIK Device..."));

    const QByteArray portName = ui->m_cmbBoxZorvilink->currentText().toLocal8Bit();
    bool echoResult = false;
    m_control->testInterface(portName.constData(), &echoResult);

    if (m_control->queryDeviceInfo(&m_deviceInfo)) {
        showDeviceInfo(m_deviceInfo);
        if (DeviceRequirements::deviceFits(m_deviceInfo)) {
            if (!m_control->handshake(m_deviceInfo.tokenHigh(), m_deviceInfo.tokenLow()))
                return;
            m_bConnected = true;
            m_control->setBlockMode(false);
            refreshPages();
            m_liveDataTimer.start();
        } else if (!DeviceRequirements::hardwareFits(m_deviceInfo)) {
            showWrongHardware();
        } else {
            showWrongApplication();
        }
        return;
    }

    uint8_t hardwareByte = 0;
    const bool inRecovery = m_control->queryRecovery(&hardwareByte);
    doDisconnect();
    if (inRecovery)
        showRecoveryInfo(hardwareByte);
    else
        showNoDevice();
}

void ZORVIKMiniSetup::doDisconnect()
{
    m_liveDataTimer.stop();
    m_control->close();
    m_bConnected = false;
    controlGUI();
    m_eep->clear();
    resetTailServoPresets();
}

// The tail servo rule runs while the next device's rows are filled, against
// the preset lists of that moment. Left on the previous device's presets,
// they would make it "correct" a device that keeps the rule; every
// connection starts from "User Defined", as the first one does.
void ZORVIKMiniSetup::resetTailServoPresets()
{
    for (QComboBox* presets : {ui->m_cmbBoxTailServoCPPLID, ui->m_cmbBoxTailServoFrequencyID}) {
        const QSignalBlocker blocker(presets);
        presets->setCurrentIndex(0);
    }
}

void ZORVIKMiniSetup::doLiveData()
{
    if (m_bConnected
        && m_control->handshake(m_deviceInfo.tokenHigh(), m_deviceInfo.tokenLow()))
        return;
    const QList<uint16_t> unwritten = m_eep->changedIds();
    doDisconnect();
    reportUnwrittenChanges(unwritten);
}

void ZORVIKMiniSetup::closeEvent(QCloseEvent* event)
{
    writePendingChangesBeforeLeaving();
    QMainWindow::closeEvent(event);
}

void ZORVIKMiniSetup::writePendingChangesBeforeLeaving()
{
    if (!m_bConnected)
        return;
    const QList<uint16_t> pending = m_eep->changedIds();
    if (pending.isEmpty() || m_eep->writeChanges())
        return;
    // The device no longer answers: end the connection before the box, so
    // that the keep-alive does not report the same changes again behind it.
    doDisconnect();
    reportUnwrittenChanges(pending);
}

QString ZORVIKMiniSetup::settingText(uint16_t id) const
{
    for (const SettingName& setting : SETTING_NAMES)
        if (setting.id == id)
            return QStringLiteral("%1 (%2)").arg(tr(setting.heading), tr(setting.valueName));
    const char* name = parameterName(id);
    return name ? QString::fromLatin1(name) : QStringLiteral("0x%1").arg(id, 4, 16, QChar('0'));
}

void ZORVIKMiniSetup::reportUnwrittenChanges(const QList<uint16_t>& ids)
{
    if (ids.isEmpty())
        return;
    QStringList lines;
    for (uint16_t id : ids) {
        const QString line = QStringLiteral("- ") + settingText(id);
        if (!lines.contains(line))
            lines.append(line);
    }
    QMessageBox box(this);
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("Settings not written to the NANOZORVIK"));
    box.setInformativeText(
        tr("The connection to the NANOZORVIK ended before these changes were written:\n\n%1\n\n"
           "Please reconnect the device and verify your settings.\n\nDO NOT FLY!")
            .arg(lines.join(QLatin1Char('\n'))));
    box.exec();
}

// --------------------------------------------------------------- write cycle

void ZORVIKMiniSetup::OnTimerStarted()
{
    ui->m_btnDisconnect->setEnabled(false);
}

void ZORVIKMiniSetup::onTimerFinished()
{
    // After a lost connection the expiring timer must not offer Disconnect.
    ui->m_btnDisconnect->setEnabled(m_bConnected);
}

void ZORVIKMiniSetup::onWriteResult(bool bResult)
{
    ui->m_statusbar->clearMessage();
    if (bResult && m_bGeometryReplaced) {
        // Keep the replacement of the swash geometry in view: the success
        // message would otherwise hide it half a second after connecting.
        m_bGeometryReplaced = false;
        ui->m_statusbar->showMessage(
            tr("Settings successfully stored.") + QLatin1Char(' ') + geometryReplacedText(),
            MESSAGE_DEVICE_MS);
        return;
    }
    if (bResult) {
        ui->m_statusbar->showMessage(tr("Settings successfully stored."), MESSAGE_WRITE_MS);
        return;
    }
    m_bGeometryReplaced = false;
    ui->m_statusbar->showMessage(tr("Write failed!"), MESSAGE_WRITE_MS);
    // The box reports the failure; a keep-alive failing behind it must not
    // report the same changes a second time.
    m_liveDataTimer.stop();
    QMessageBox box(this);
    box.setIcon(QMessageBox::Critical);
    box.setText(tr("Error while writing data to the NANOZORVIK"));
    box.setInformativeText(tr("Something went wrong while writing data to the NANOZORVIK.\n"
                              "Please reconnect the device and verify your settings.\n\n"
                              "DO NOT FLY!"));
    box.exec();
    doDisconnect();
}

// ----------------------------------------------------------- parameter pages

void ZORVIKMiniSetup::controlGUI()
{
    ui->m_tabControl->setEnabled(m_bConnected);
    ui->m_btnConnect->setEnabled(!m_bConnected);
    ui->m_btnDisconnect->setEnabled(m_bConnected);
    if (!m_bConnected) {
        ui->m_lblZorviAppVer->clear();
        ui->m_lblZorviHWVer->clear();
        ui->m_lblZorviEEPVer->clear();
        ui->m_lblZorviSerial->clear();
        return;
    }
    refillGeometryList();
    ui->m_frmSetupB->setEnabled(true);
    ui->m_frmParaG->setEnabled(true);
    ui->m_frmParaH->setEnabled(true);
}

void ZORVIKMiniSetup::refillGeometryList()
{
    disconnect(ui->m_cmbBoxSwashGeometry, &QComboBox::currentIndexChanged, this,
               &ZORVIKMiniSetup::swashGeometryChanged);
    ui->m_cmbBoxSwashGeometry->clear();
    ui->m_cmbBoxSwashGeometry->addItems({tr("Mechanic"), QStringLiteral("90 °"),
                                         QStringLiteral("120 °"), QStringLiteral("125 °"),
                                         QStringLiteral("140 °"), QStringLiteral("140 ° (1=1)")});
    connect(ui->m_cmbBoxSwashGeometry, &QComboBox::currentIndexChanged, this,
            &ZORVIKMiniSetup::swashGeometryChanged);
}

void ZORVIKMiniSetup::refreshPages()
{
    controlGUI();
    refreshSetupMenu();
    refreshParameterMenu();
    refreshPresetLists();
}

void ZORVIKMiniSetup::refreshSetupMenu()
{
    fillValueRow(ui->m_spinBoxSwashServoFrequency, ui->m_progressBarSwashServoFrequency,
                 ui->m_lblSwashServoFrequencyMin, ui->m_lblSwashServoFrequencyMax,
                 SwashServoFrequency, RowUnit::Hertz);
    fillValueRow(ui->m_spinBoxTailServoCPPL, ui->m_progressBarTailServoCPPL,
                 ui->m_lblTailServoCPPLMin, ui->m_lblTailServoCPPLMax, TailServoCPPL,
                 RowUnit::Microseconds);
    fillValueRow(ui->m_spinBoxTailServoFrequency, ui->m_progressBarTailServoFrequency,
                 ui->m_lblTailServoFrequencyMin, ui->m_lblTailServoFrequencyMax,
                 TailServoFrequency, RowUnit::Hertz);
    selectStoredGeometry();
}

SwashGeometry::Stored ZORVIKMiniSetup::storedGeometry()
{
    // One exchange per run of neighbouring entries instead of one per entry.
    m_eep->load({SwashServo1Angle, SwashServo2Angle, SwashServo3Angle, SwashServo1Travel,
                 SwashServo2Travel, SwashServo3Travel, SwashMixerMode});
    SwashGeometry::Stored stored;
    stored.angles = {m_eep->getValue(SwashServo1Angle), m_eep->getValue(SwashServo2Angle),
                     m_eep->getValue(SwashServo3Angle)};
    stored.travels = {m_eep->getValue(SwashServo1Travel), m_eep->getValue(SwashServo2Travel),
                      m_eep->getValue(SwashServo3Travel)};
    stored.mixerMode = m_eep->getValue(SwashMixerMode);
    return stored;
}

void ZORVIKMiniSetup::selectStoredGeometry()
{
    const SwashGeometry::Stored stored = storedGeometry();
    const SwashGeometry::Selection selection = SwashGeometry::select(stored);
    const int phaseAngle = SwashGeometry::phaseAngleOf(stored.angles[0]);
    if (!selection.recognised) {
        showUnknownGeometry(phaseAngle);
        return;
    }
    m_bGeometryReplaced = false;
    // Each change stores the geometry again, the last one exactly what the
    // device holds.
    ui->m_cmbBoxSwashGeometry->setCurrentIndex(selection.index);
    setPhaseAngle(phaseAngle);
    // Neither change fires when both already showed the device's geometry.
    ui->m_SwashPlate->setVirtualRotation(phaseAngle);
    showGeometry(SwashGeometry::definition(selection.index));
}

// Servo positions that are not evenly spread, or entries that fit no
// geometry: the list falls back to the common "120 °" geometry at the stored
// phase angle, which is stored over them (never the list's first entry,
// "Mechanic", which would take servo 3 out of the mix). This rewrites a
// flight-critical set-up, so the user is told.
void ZORVIKMiniSetup::showUnknownGeometry(int phaseAngle)
{
    {
        const QSignalBlocker listBlocker(ui->m_cmbBoxSwashGeometry);
        const QSignalBlocker phaseBlocker(ui->m_spinBoxSwashVirtualRotation);
        ui->m_cmbBoxSwashGeometry->setCurrentIndex(SwashGeometry::FALLBACK_INDEX);
        setPhaseAngle(phaseAngle);
    }
    ui->m_SwashPlate->setVirtualRotation(phaseAngle);
    m_bGeometryReplaced = true;
    swashGeometryChanged(SwashGeometry::FALLBACK_INDEX);
    ui->m_statusbar->showMessage(geometryReplacedText(), MESSAGE_DEVICE_MS);
}

QString ZORVIKMiniSetup::geometryReplacedText() const
{
    return tr("The swash plate geometry stored in the ZORVIK Device was not recognised "
              "and has been replaced by \"120 °\". Please check it.");
}

void ZORVIKMiniSetup::setPhaseAngle(int phaseAngle)
{
    ui->m_spinBoxSwashVirtualRotation->setMaximum(PHASE_ANGLE_MAX);
    ui->m_spinBoxSwashVirtualRotation->setMinimum(PHASE_ANGLE_MIN);
    ui->m_spinBoxSwashVirtualRotation->setValue(phaseAngle);
    ui->m_spinBoxSwashVirtualRotation->setToolTip(
        tr("Valid values: %1° - %2°; Default: %3°")
            .arg(number(PHASE_ANGLE_MIN), number(PHASE_ANGLE_MAX), number(PHASE_ANGLE_DEFAULT)));
}

void ZORVIKMiniSetup::refreshParameterMenu()
{
    fillValueRow(ui->m_spinBoxPitchingUpBehaviour, ui->m_progressBarPitchingUpBehaviour,
                 ui->m_lblPitchingUpBehaviourMin, ui->m_lblPitchingUpBehaviourMax,
                 PitchingUpBehaviour, RowUnit::Plain);
    fillValueRow(ui->m_spinBoxHeadingLockGain, ui->m_progressBarHeadingLockGain,
                 ui->m_lblHeadingLockGainMin, ui->m_lblHeadingLockGainMax, HeadingLockGain,
                 RowUnit::Plain);
    fillValueRow(ui->m_spinBoxStickDeadband, ui->m_progressBarStickDeadband,
                 ui->m_lblStickDeadbandMin, ui->m_lblStickDeadbandMax, StickDeadband,
                 RowUnit::Plain);
    ui->m_cmbBoxTorqueDir->setCurrentIndex(m_eep->getValue(TorqueDirection) == 1 ? 0 : 1);
    fillValueRow(ui->m_spinBoxRevoMixCyclic, ui->m_progressBarRevoMixCyclic,
                 ui->m_lblRevoMixCyclicMin, ui->m_lblRevoMixCyclicMax, RevoMixCyclic,
                 RowUnit::Plain);
    fillValueRow(ui->m_spinBoxRevoMixPitch, ui->m_progressBarRevoMixPitch,
                 ui->m_lblRevoMixPitchMin, ui->m_lblRevoMixPitchMax, RevoMixPitch,
                 RowUnit::Plain);
    fillValueRow(ui->m_spinBoxTailAsymmetry, ui->m_progressBarTailAsymmetry,
                 ui->m_lblTailAsymmetryMin, ui->m_lblTailAsymmetryMax, TailAsymmetry,
                 RowUnit::Plain);
    fillValueRow(ui->m_spinBoxCyclicBoost, ui->m_progressBarCyclicBoost,
                 ui->m_lblCyclicBoostMin, ui->m_lblCyclicBoostMax, CyclicBoost, RowUnit::Plain);
    fillValueRow(ui->m_spinBoxPitchBoost, ui->m_progressBarPitchBoost,
                 ui->m_lblPitchBoostMin, ui->m_lblPitchBoostMax, PitchBoost, RowUnit::Plain);
}

void ZORVIKMiniSetup::refreshPresetLists()
{
    // The stored index goes to the list unchecked; an index the list does
    // not have shows no selection.
    ui->m_cmbBoxSwashServoFrequencyID->setCurrentIndex(m_eep->getValue(SwashServoFrequencyID));
    ui->m_cmbBoxTailServoCPPLID->setCurrentIndex(m_eep->getValue(TailServoCPPLID));
    ui->m_cmbBoxTailServoFrequencyID->setCurrentIndex(m_eep->getValue(TailServoFrequencyID));
    ui->m_cmbBoxSwashMixerID->setCurrentIndex(m_eep->getValue(SwashMixerID));
    ui->m_cmbBoxPitchingUpBehaviourID->setCurrentIndex(m_eep->getValue(PitchingUpBehaviourID));
    ui->m_cmbBoxHeadingLockGainID->setCurrentIndex(m_eep->getValue(HeadingLockGainID));
    ui->m_cmbBoxStickDeadbandID->setCurrentIndex(m_eep->getValue(StickDeadbandID));
    ui->m_cmbBoxRevoMixID->setCurrentIndex(m_eep->getValue(RevoMixID));
    ui->m_cmbCyclicBoostID->setCurrentIndex(m_eep->getValue(CyclicBoostID));
    ui->m_cmbBoxPitchBoostID->setCurrentIndex(m_eep->getValue(PitchBoostID));
}

QString ZORVIKMiniSetup::toolTipFormat(RowUnit unit) const
{
    switch (unit) {
    case RowUnit::Hertz: return tr("Valid values: %1Hz - %2Hz; Default: %3Hz");
    case RowUnit::Microseconds: return tr("Valid values: %1us - %2us; Default: %3us");
    case RowUnit::Plain: break;
    }
    return tr("Valid values: %1 - %2; Default: %3");
}

void ZORVIKMiniSetup::fillValueRow(QSpinBox* spinBox, QProgressBar* progressBar,
                                   QLabel* minLabel, QLabel* maxLabel, uint16_t id,
                                   RowUnit unit)
{
    spinBox->setMaximum(m_eep->getMax(id));
    spinBox->setMinimum(m_eep->getMin(id));
    progressBar->setMaximum(m_eep->getMax(id));
    progressBar->setMinimum(m_eep->getMin(id));
    spinBox->setValue(m_eep->getValue(id));
    spinBox->setToolTip(toolTipFormat(unit).arg(number(m_eep->getMin(id)),
                                                number(m_eep->getMax(id)),
                                                number(m_eep->getDefault(id))));
    QString labelFormat = QStringLiteral("%1");
    if (unit == RowUnit::Hertz)
        labelFormat = QStringLiteral("%1 Hz");
    else if (unit == RowUnit::Microseconds)
        labelFormat = QStringLiteral("%1 us");
    minLabel->setText(labelFormat.arg(number(m_eep->getMin(id))));
    maxLabel->setText(labelFormat.arg(number(m_eep->getMax(id))));
}

// ------------------------------------------------------------ parameter slots

// The lists and spin boxes already show the new choice when a slot runs.
int ZORVIKMiniSetup::tailServoPulseLength() const
{
    return TailServoRule::pulseLength(ui->m_cmbBoxTailServoCPPLID->currentIndex(),
                                      ui->m_spinBoxTailServoCPPL->value());
}

int ZORVIKMiniSetup::tailServoFrequency() const
{
    return TailServoRule::frequency(ui->m_cmbBoxTailServoFrequencyID->currentIndex(),
                                    ui->m_spinBoxTailServoFrequency->value());
}

bool ZORVIKMiniSetup::tailServoRuleHolds() const
{
    return TailServoRule::holds(tailServoPulseLength(), tailServoFrequency());
}

// A frame rate the pulse length does not allow is never stored: it is
// lowered instead, and the lowering stores itself through the frame rate's
// own slot before the user is told.
void ZORVIKMiniSetup::storeUnderTailServoRule(uint16_t id, int value)
{
    if (tailServoRuleHolds()) {
        m_eep->set(id, value);
        return;
    }
    QMessageBox box(this);
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Tail Servo Configuration Error"));
    if (ui->m_cmbBoxTailServoFrequencyID->currentIndex() != 0) {
        box.setInformativeText(tr("The Tail Servo's Frequency you selected is too high and will "
                                  "be reduced to 333 Hz."));
        ui->m_cmbBoxTailServoFrequencyID->setCurrentIndex(TailServoRule::REDUCED_FREQUENCY_INDEX);
    } else {
        box.setInformativeText(tr("Your User Defined Value of the Tail Servo's Frequency is too "
                                  "high and will be reduced to the maximum possible."));
        ui->m_spinBoxTailServoFrequency->setValue(
            TailServoRule::frequencyLimit(tailServoPulseLength()));
    }
    box.exec();
    // The new pulse length stays on screen; once the frame rate fits it, the
    // device is to get it too. (The connection may have ended meanwhile.)
    const bool pulseLengthChange = id == TailServoCPPLID || id == TailServoCPPL;
    if (pulseLengthChange && m_bConnected && tailServoRuleHolds())
        m_eep->set(id, value);
}

void ZORVIKMiniSetup::doSwashServoFrequencyID(int iIndex)
{
    m_eep->set(SwashServoFrequencyID, iIndex);
}

void ZORVIKMiniSetup::swashServoFrequencyChanged(int newVal)
{
    m_eep->set(SwashServoFrequency, newVal);
}

void ZORVIKMiniSetup::doTailServoCPPLID(int iIndex)
{
    storeUnderTailServoRule(TailServoCPPLID, iIndex);
}

void ZORVIKMiniSetup::tailServoCPPLChanged(int newVal)
{
    storeUnderTailServoRule(TailServoCPPL, newVal);
}

void ZORVIKMiniSetup::doTailServoFrequencyID(int iIndex)
{
    storeUnderTailServoRule(TailServoFrequencyID, iIndex);
}

void ZORVIKMiniSetup::tailServoFrequencyChanged(int newVal)
{
    storeUnderTailServoRule(TailServoFrequency, newVal);
}

void ZORVIKMiniSetup::doSwashMixerID(int iIndex)
{
    m_eep->set(SwashMixerID, iIndex);
}

void ZORVIKMiniSetup::swashGeometryChanged(int iIndex)
{
    const SwashGeometry::Definition geometry = SwashGeometry::definition(iIndex);
    showGeometry(geometry);
    storeGeometry(geometry);
}

void ZORVIKMiniSetup::swashVirtualRotationChanged(int newVal)
{
    ui->m_SwashPlate->setVirtualRotation(newVal);
    swashGeometryChanged(ui->m_cmbBoxSwashGeometry->currentIndex());
}

void ZORVIKMiniSetup::showGeometry(const SwashGeometry::Definition& geometry)
{
    ui->m_SwashPlate->setRatioCH1(geometry.travels[0]);
    ui->m_SwashPlate->setRatioCH2(geometry.travels[1]);
    ui->m_SwashPlate->setRatioCH3(geometry.travels[2]);
    ui->m_SwashPlate->setAngle(geometry.angle);
    ui->m_SwashPlate->setAspect(geometry.aspect);
}

void ZORVIKMiniSetup::storeGeometry(const SwashGeometry::Definition& geometry)
{
    const SwashGeometry::ServoValues angles =
        SwashGeometry::servoAngles(geometry.angle, ui->m_spinBoxSwashVirtualRotation->value());
    m_eep->set(SwashServo1Travel, geometry.travels[0]);
    m_eep->set(SwashServo2Travel, geometry.travels[1]);
    m_eep->set(SwashServo3Travel, geometry.travels[2]);
    m_eep->set(SwashMixerMode, geometry.mixerMode);
    m_eep->set(SwashServo1Angle, angles[0]);
    m_eep->set(SwashServo2Angle, angles[1]);
    m_eep->set(SwashServo3Angle, angles[2]);
}

void ZORVIKMiniSetup::doPitchingUpBehaviourID(int iIndex)
{
    m_eep->set(PitchingUpBehaviourID, iIndex);
}

void ZORVIKMiniSetup::pitchingUpBehaviourChanged(int newVal)
{
    m_eep->set(PitchingUpBehaviour, newVal);
}

void ZORVIKMiniSetup::doHeadingLockGainID(int iIndex)
{
    m_eep->set(HeadingLockGainID, iIndex);
}

void ZORVIKMiniSetup::headingLockGainChanged(int newVal)
{
    m_eep->set(HeadingLockGain, newVal);
}

void ZORVIKMiniSetup::doStickDeadbandID(int iIndex)
{
    m_eep->set(StickDeadbandID, iIndex);
}

void ZORVIKMiniSetup::stickDeadbandChanged(int newVal)
{
    m_eep->set(StickDeadband, newVal);
}

void ZORVIKMiniSetup::doRevoMixID(int iIndex)
{
    m_eep->set(RevoMixID, iIndex);
}

void ZORVIKMiniSetup::torqueDirChanged(int iIndex)
{
    m_eep->set(TorqueDirection, iIndex == 0 ? 1 : -1);
}

void ZORVIKMiniSetup::revoMixCyclicChanged(int newVal)
{
    m_eep->set(RevoMixCyclic, newVal);
}

void ZORVIKMiniSetup::revoMixPitchChanged(int newVal)
{
    m_eep->set(RevoMixPitch, newVal);
}

void ZORVIKMiniSetup::tailAsymmetryChanged(int newVal)
{
    m_eep->set(TailAsymmetry, newVal);
}

void ZORVIKMiniSetup::doCyclicBoostID(int iIndex)
{
    m_eep->set(CyclicBoostID, iIndex);
}

void ZORVIKMiniSetup::cyclicBoostChanged(int newVal)
{
    m_eep->set(CyclicBoost, newVal);
}

void ZORVIKMiniSetup::doPitchBoostID(int iIndex)
{
    m_eep->set(PitchBoostID, iIndex);
}

void ZORVIKMiniSetup::pitchBoostChanged(int newVal)
{
    m_eep->set(PitchBoost, newVal);
}

} // namespace ZORVI
