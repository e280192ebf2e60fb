#include "ZORVIKMiniSetup.h"

#include "ui_ZORVIKMiniSetup.h"

#include "AboutBox.h"
#include "BackupListDialog.h"
#include "ConnectionText.h"
#include "Control.h"
#include "DeviceRequirements.h"
#include "DeviceConnection.h"
#include "EEP.h"
#include "LinkFailureDetail.h"
#include "LinkTrace.h"
#include "ParameterIds.h"
#include "PortListBox.h"
#include "PortOpenProblem.h"
#include "RowInputGuard.h"
#include "SettingsBackup.h"
#include "SettledChoice.h"
#include "ShownText.h"
#include "SimulatedDeviceMenu.h"
#include "StatusAnnouncement.h"
#include "TabSwitchKeys.h"
#include "TypedValueSpinBox.h"
#include "ZorvikVersion.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTextDocumentFragment>
#include <QUrl>

#include <utility>

namespace ZORVI {

using namespace EEPROM;

namespace {

constexpr int INTERFACE_INTERVAL_MS = 1000;
constexpr int LIVE_DATA_INTERVAL_MS = 50;
constexpr int MESSAGE_DEVICE_MS = 10000;
constexpr int MESSAGE_WRITE_MS = 5000;
constexpr int PHASE_ANGLE_MIN = SwashGeometry::PHASE_ANGLE_MIN;
constexpr int PHASE_ANGLE_MAX = SwashGeometry::PHASE_ANGLE_MAX;
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

// A label's text as it reads, without the markup of a row's heading.
QString plainText(const QLabel* label)
{
    return QTextDocumentFragment::fromHtml(label->text()).toPlainText().trimmed();
}

// The label beside a control that reads as one of the texts, the first of
// them first.
QLabel* labelReading(const QWidget* control, const QStringList& texts)
{
    const QList<QLabel*> labels =
        control->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    for (const QString& text : texts)
        for (QLabel* label : labels)
            if (plainText(label) == text)
                return label;
    return nullptr;
}

} // namespace

ZORVIKMiniSetup::ZORVIKMiniSetup(QWidget* parent, Qt::WindowFlags flags)
    : ZORVIKMiniSetup(std::unique_ptr<Control>(), parent, flags)
{
}

ZORVIKMiniSetup::ZORVIKMiniSetup(std::unique_ptr<Control> control, QWidget* parent,
                                 Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , ui(new Ui::ZORVIKMiniSetupClass)
    , m_control(std::move(control))
    , m_version(QString::fromLatin1(Version::SETTINGS))
    , m_eep(nullptr)
    , m_bConnected(false)
    , m_chooseFile([](QWidget* parent, FileDialog dialog, const QString& caption,
                      const QString& filter) {
        if (dialog == FileDialog::Save)
            return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
        return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    })
{
    ui->setupUi(this);
    setAcceptDrops(true);
    m_deviceLabels = std::make_unique<DeviceLabels>(ui->m_lblZorviAppVer, ui->m_lblZorviHWVer,
                                                    ui->m_lblZorviEEPVer, ui->m_lblZorviSerial);
    // Moving around the window (scrolling, turning pages, stepping through
    // the port list) never changes a setting nor opens a port.
    new RowInputGuard(ui->centralWidget);
    new TabSwitchKeys(ui->m_tabControl);
    m_portChoice = new SettledChoice(ui->m_cmbBoxZorvilink);
    connect(m_portChoice, &SettledChoice::chosen, this, &ZORVIKMiniSetup::doConnect);
    connect(ui->m_btnConnect, &QPushButton::clicked, m_portChoice,
            &SettledChoice::cancelPendingStep);
    setWindowTitle(QStringLiteral("%1 (%2)").arg(windowTitle(), m_version));
    // Shown only while the device's settings are read after connecting.
    m_readProgress = new QProgressBar(ui->m_statusbar);
    m_readProgress->setObjectName(QStringLiteral("readProgress"));
    m_readProgress->setMaximumWidth(160);
    m_readProgress->setTextVisible(false);
    m_readProgress->hide();
    ui->m_statusbar->addPermanentWidget(m_readProgress);
    new StatusAnnouncement(ui->m_statusbar);
    showNoDevice();

    if (!m_control)
        m_control = LinkTrace::makeControl();
    m_eep = std::make_unique<EEP>(m_control.get(), false, EEPROM::ParameterMemory::DEFAULT_ID_RUN,
                                  EEPROM::ParameterMemory::DEFAULT_ADDRESS_RUN);
    connect(m_eep.get(), &EEP::timerStarted, this, &ZORVIKMiniSetup::OnTimerStarted);
    connect(m_eep.get(), &EEP::timerFinished, this, &ZORVIKMiniSetup::onTimerFinished);

    doDisconnect();
    // Nothing has been read yet: the pages show no values of the form's own.
    clearRows();

    m_liveDataTimer.setInterval(LIVE_DATA_INTERVAL_MS);
    connect(&m_liveDataTimer, &QTimer::timeout, this, &ZORVIKMiniSetup::doLiveData);
    m_interfaceTimer.setInterval(INTERFACE_INTERVAL_MS);
    // A named child, so that the window's tests can count port-list checks
    // instead of sleeping.
    m_interfaceTimer.setParent(this);
    m_interfaceTimer.setObjectName(QStringLiteral("portListTimer"));
    connect(&m_interfaceTimer, &QTimer::timeout, this, &ZORVIKMiniSetup::onInterfaceTimer);
    m_interfaceTimer.start();
    onInterfaceTimer();

    connect(ui->m_btnConnect, &QPushButton::clicked, this, &ZORVIKMiniSetup::doConnect);
    // A click on Disconnect takes the focus neither to the button nor to the
    // page around it (Tab still reaches both): leaving a row with a typed
    // value would commit it and start the write cycle, which disables the
    // button under the click. The click writes that value itself.
    ui->m_btnDisconnect->setFocusPolicy(Qt::TabFocus);
    ui->scrollArea->setFocusPolicy(Qt::TabFocus);
    connect(ui->m_btnDisconnect, &QPushButton::clicked, this,
            &ZORVIKMiniSetup::onDisconnectClicked);
    connect(ui->action_About_ZORVIK_Micro_Settings, &QAction::triggered, this,
            &ZORVIKMiniSetup::onAbout);
    connect(ui->action_SaveSettingsAs, &QAction::triggered, this,
            &ZORVIKMiniSetup::onSaveSettings);
    connect(ui->action_LoadSettings, &QAction::triggered, this,
            &ZORVIKMiniSetup::onLoadSettings);
    connect(ui->action_CompareWithFile, &QAction::triggered, this,
            &ZORVIKMiniSetup::onCompareWithFile);
    connect(ui->action_ResetToFactorySettings, &QAction::triggered, this,
            &ZORVIKMiniSetup::onResetToFactorySettings);
    connect(ui->action_ChangesThisSession, &QAction::triggered, this,
            &ZORVIKMiniSetup::onChangesThisSession);
    connect(ui->action_RestoreBackup, &QAction::triggered, this,
            &ZORVIKMiniSetup::onRestoreBackup);
    addHelpMenu();
    connectParameterRows();
    nameRowControls();
    showPageFocus();
    connect(m_eep.get(), &EEP::writeResult, this, &ZORVIKMiniSetup::onWriteResult);
}

ZORVIKMiniSetup::~ZORVIKMiniSetup()
{
    m_liveDataTimer.stop();
    m_interfaceTimer.stop();
    // The parameter memory goes first: it talks through the controller.
    m_eep.reset();
    m_control->close();
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
    connectTypedValues();
}

// Each row's control is named by its setting, the row's heading and its
// caption, as the window names the setting elsewhere; the caption is tied
// to it (a preset list, which has no caption beside it, to the row's
// heading). On Linux a list is named by the value it shows, as the
// desktop's own lists are, and a screen reader says its setting from that
// tie; elsewhere, and while the list shows nothing, by its name.
void ZORVIKMiniSetup::nameRowControls()
{
    for (const SettingName& setting : SETTING_NAMES)
        if (QWidget* control = rowControl(setting.id))
            nameRowControl(control, tr(setting.heading), tr(setting.valueName));
    // The phase angle is the window's own, not one of the device's settings.
    nameRowControl(ui->m_spinBoxSwashVirtualRotation, headingOf(SwashMixerMode),
                   tr("User Defined Phase Angle"));
}

void ZORVIKMiniSetup::nameRowControl(QWidget* control, const QString& heading,
                                     const QString& caption)
{
    control->setAccessibleName(QStringLiteral("%1, %2").arg(heading, caption));
    if (QLabel* label = labelReading(control, {caption, heading}))
        label->setBuddy(control);
}

// The control of a setting's row; the geometry list stands for all of the
// swash entries.
QWidget* ZORVIKMiniSetup::rowControl(uint16_t id) const
{
    if (QSpinBox* spinBox = valueRow(id))
        return spinBox;
    if (QComboBox* list = choiceList(id))
        return list;
    return id == SwashMixerMode ? ui->m_cmbBoxSwashGeometry : nullptr;
}

// The page has no frame of its own to show its focus, and fills the window
// up to its edges: while it has the focus a frame in the text colour is
// drawn over its edges, inside it, so that nothing moves.
void ZORVIKMiniSetup::showPageFocus()
{
    QWidget* page = ui->scrollArea;
    page->setAccessibleName(tr("Settings page"));
    page->setAccessibleDescription(tr("The arrow and page keys scroll the page."));
    // The tab pages' frame passes its focus on to the tab bar, but it takes
    // the focus in a screen reader's eyes: it is named too.
    ui->m_tabControl->setAccessibleName(tr("Setup and Parameter Menus"));
    auto* focusFrame = new QFrame(page);
    focusFrame->setObjectName(QStringLiteral("pageFocusFrame"));
    focusFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    focusFrame->setLineWidth(2);
    focusFrame->setAttribute(Qt::WA_TransparentForMouseEvents);
    focusFrame->hide();
    // Only the frame is laid out on the page, over its view and scroll bars.
    auto* overPage = new QGridLayout(page);
    overPage->setContentsMargins(0, 0, 0, 0);
    overPage->addWidget(focusFrame);
    connect(qApp, &QApplication::focusChanged, focusFrame,
            [page, focusFrame](QWidget*, QWidget* now) {
                focusFrame->setVisible(now == page);
                focusFrame->raise();
            });
}

// A number typed past a row's limits goes to the rules like any other
// store: they refuse it, the row keeps what it held and the status bar says
// why. The phase angle is the window's own, not one of the device's.
void ZORVIKMiniSetup::connectTypedValues()
{
    for (const ParameterName& parameter : PARAMETER_NAMES) {
        const uint16_t id = parameter.id;
        if (auto* row = qobject_cast<TypedValueSpinBox*>(valueRow(id)))
            connect(row, &TypedValueSpinBox::outOfRangeTyped, this,
                    [this, id](int value) { storeTypedValue(id, value); });
    }
    connect(ui->m_spinBoxSwashVirtualRotation, &TypedValueSpinBox::outOfRangeTyped, this,
            &ZORVIKMiniSetup::refusePhaseAngle);
}

void ZORVIKMiniSetup::storeTypedValue(uint16_t id, int value)
{
    if (Rules::isTailServoEntry(id))
        storeTailServoChange(id, value);
    else
        storeChanges({{id, value}});
}

void ZORVIKMiniSetup::refusePhaseAngle(int value)
{
    if (m_bFilling || !m_bConnected)
        return;
    ui->m_statusbar->showMessage(
        tr("%1 (User Defined Phase Angle): %2° refused: the phase angle is %3° to %4° and stays "
           "%5°.")
            .arg(headingOf(SwashMixerMode), number(value),
                 number(PHASE_ANGLE_MIN), number(PHASE_ANGLE_MAX),
                 number(ui->m_spinBoxSwashVirtualRotation->value())),
        MESSAGE_DEVICE_MS);
}

// What the pilot typed but has not committed yet (no Enter, the field not
// left) is committed as Enter would, before the window closes or
// disconnects: no edit vanishes without a word.
void ZORVIKMiniSetup::commitTypedValues()
{
    for (TypedValueSpinBox* row : ui->m_tabControl->findChildren<TypedValueSpinBox*>())
        row->commitTypedText();
}

// ---------------------------------------------------------------- port list

void ZORVIKMiniSetup::onInterfaceTimer()
{
    if (m_ports.update())
        rebuildPortList();
    m_busyRetry.noteList(PortListBox::names(m_ports.known()));
}

// When none was chosen, the port likely to be the KORLINK interface is
// offered, or none: choosing connects only once the user settles on a port
// or presses Connect.
void ZORVIKMiniSetup::rebuildPortList()
{
    // Rebuilding the list must not start a connection.
    m_portChoice->pause();
    const PortListBox::Selection selection =
        PortListBox::rebuild(*ui->m_cmbBoxZorvilink, PortListBox::names(m_ports.known()),
                             PortListBox::Unchosen::LikelyInterface);
    if (selection == PortListBox::Selection::Gone)
        showNoDevice();
    m_portChoice->resume();
}

void ZORVIKMiniSetup::addHelpMenu()
{
    SimulatedDeviceMenu::giveQuitKeys(ui->action_Close);
    auto* help = new QMenu(tr("&Help"), ui->menuBar);
    help->setObjectName(QStringLiteral("menu_Help"));
    ui->menuBar->addMenu(help);
    m_simulatedDeviceMenu = new SimulatedDeviceMenu(
        this, help,
        tr("The simulated device (zorvik-sim) behaves like a KORLINK interface with a ZORVIK "
           "Device behind it, on a port of its own.\n\n"
           "1. Choose Help > Start a Simulated Device. Its port, ttySIM0, is chosen under "
           "\"USB-Interface (KORLINK)\".\n"
           "2. Press \"Connect\": the pages fill with the simulated device's parameters.\n"
           "3. Change a value: half a second later the status bar says \"Settings "
           "successfully stored.\".\n\n"
           "The simulated device starts with its factory settings each time and forgets "
           "your changes when it stops: when you choose Help > Stop the Simulated Device or "
           "close the window.\n\n"
           "In a terminal: start zorvik-sim (it prints its port, ttySIM0), then "
           "ZORVIKMicroSettings --port ttySIM0."));
    connect(m_simulatedDeviceMenu, &SimulatedDeviceMenu::ready, this,
            &ZORVIKMiniSetup::chooseSimulatedDevice);
    connect(m_simulatedDeviceMenu, &SimulatedDeviceMenu::aboutToStop, this,
            &ZORVIKMiniSetup::releaseSimulatedDevice);
}

// Chosen as --port chooses a port: connecting is the user's next step. A
// connection to another device is not ended for it.
void ZORVIKMiniSetup::chooseSimulatedDevice(const QString& port)
{
    // Its port map entry is there now: the list need not wait for its check.
    onInterfaceTimer();
    const QString shown = ShownText::of(port);
    if (m_bConnected) {
        ui->m_statusbar->showMessage(
            tr("The simulated device is ready on %1: disconnect, then choose %1 to use it.")
                .arg(shown),
            MESSAGE_DEVICE_MS);
        return;
    }
    if (preselectPort(port))
        ui->m_statusbar->showMessage(
            tr("The simulated device is ready on %1: press \"Connect\".").arg(shown),
            MESSAGE_DEVICE_MS);
}

// Pending edits are written before it goes, as the Disconnect button does.
void ZORVIKMiniSetup::releaseSimulatedDevice(const QString& port)
{
    if (ui->m_cmbBoxZorvilink->currentText() == port)
        onDisconnectClicked();
}

bool ZORVIKMiniSetup::preselectPort(const QString& name)
{
    const int index = ui->m_cmbBoxZorvilink->findText(name);
    if (index < 0)
        return false;
    // The program's choice, not the user's: it opens nothing by itself.
    m_portChoice->pause();
    ui->m_cmbBoxZorvilink->setCurrentIndex(index);
    m_portChoice->resume();
    return true;
}

void ZORVIKMiniSetup::onAbout()
{
    // Window-modal by its form, and gone once closed.
    const auto versions =
        AboutBox::versionsOf(version(), QString::fromLatin1(Version::RELEASE_DATE));
    auto* box = new AboutBox(AboutBox::Program::Settings, versions, this,
                             Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box->show();
}

// --------------------------------------------------------------- connection

void ZORVIKMiniSetup::showNoDevice(const QString& reason)
{
    m_deviceLabels->clear();
    if (reason.isEmpty())
        ui->m_statusbar->showMessage(tr("No ZORVIK Device found"), MESSAGE_DEVICE_MS);
    else
        ui->m_statusbar->showMessage(tr("No ZORVIK Device found: %1").arg(reason));
}

void ZORVIKMiniSetup::showDeviceInfo(const DeviceInfo& info)
{
    m_deviceLabels->show(info);
    ui->m_statusbar->showMessage(tr("ZORVIK Device found"), MESSAGE_DEVICE_MS);
}

void ZORVIKMiniSetup::showRecoveryInfo(uint8_t hardwareByte)
{
    m_deviceLabels->showRecovery(hardwareByte);
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

// The query blocks the window for up to several seconds on a wrong port:
// the status line says what it is doing before that, and the cursor waits.
void ZORVIKMiniSetup::showQuerying()
{
    ui->m_statusbar->showMessage(tr("Querying ZORVIK Device..."));
    ui->m_statusbar->repaint();
}

// Every parameter, once, right after the handshake: the pages are filled
// from memory afterwards. The window stays disabled meanwhile and shows how
// far the reading has come (a slow device takes seconds).
bool ZORVIKMiniSetup::readDeviceSettings()
{
    ui->m_statusbar->showMessage(tr("Reading the ZORVIK Device's settings..."));
    m_readProgress->setRange(0, 1);
    m_readProgress->setValue(0);
    m_readProgress->show();
    ui->m_statusbar->repaint();
    const bool read = m_eep->loadAll([this](size_t done, size_t total) {
        m_readProgress->setRange(0, int(total));
        m_readProgress->setValue(int(done));
        m_readProgress->repaint();
    });
    m_readProgress->hide();
    return read;
}

// The device stopped answering, or the port went: the connection ends and
// the port is released before the box, so that nothing (the keep-alive, the
// write cycle) asks the device again behind it. The box says what failed,
// why, and what became of the edits that were meant for the device.
void ZORVIKMiniSetup::loseConnection(const QString& what, const QList<uint16_t>& edits)
{
    const LinkFailure failure = m_control->lastFailure();
    doDisconnect();
    const QString reason = ConnectionText::linkReason(failure);
    showConnectionLost(failure);
    QMessageBox box(this);
    box.setIcon(QMessageBox::Critical);
    box.setText(what);
    box.setInformativeText(
        reason + QStringLiteral("\n\n")
        + (edits.isEmpty() ? tr("Nothing has been written to the ZORVIK Device. Check its power "
                                "and its cable, then connect again.")
                           : editsText(edits, failure)));
    box.exec();
}

void ZORVIKMiniSetup::showConnectionLost(LinkFailure failure)
{
    ui->m_statusbar->showMessage(
        tr("Connection to the ZORVIK Device lost: %1").arg(ConnectionText::linkReason(failure)));
}

// What became of edits whose write failed this way: the device refused them
// (it holds what it held), they never left the port, or the answer went
// missing and nobody knows.
QString ZORVIKMiniSetup::editsText(const QList<uint16_t>& ids, LinkFailure failure) const
{
    QStringList lines;
    for (uint16_t id : ids)
        lines.append(QStringLiteral("- ") + settingText(id));
    lines.removeDuplicates();
    const QString list = lines.join(QLatin1Char('\n'));
    if (failure == LinkFailure::Refused)
        return tr("The ZORVIK Device refused these changes and stored none of them:\n\n%1")
            .arg(list);
    if (mayHaveReachedDevice(failure))
        return tr("It is not known whether the ZORVIK Device stored these changes: the answer "
                  "to the write did not come back.\n\n%1\n\nReconnect the device and check "
                  "these settings before flying.\n\nDO NOT FLY!")
            .arg(list);
    return tr("These changes were not written:\n\n%1\n\nPlease reconnect the device and "
              "verify your settings.\n\nDO NOT FLY!")
        .arg(list);
}

void ZORVIKMiniSetup::doConnect()
{
    writePendingChangesBeforeLeaving();
    doDisconnect();
    // Nothing is opened without a port: no port was likely the interface.
    if (ui->m_cmbBoxZorvilink->currentIndex() < 0) {
        showNoDevice(ConnectionText::noPortChosen());
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    showQuerying();
    const QByteArray portName = ui->m_cmbBoxZorvilink->currentText().toLocal8Bit();
    const DeviceConnection::Result result =
        DeviceConnection::connect(*m_control, portName.constData());
    if (result.outcome == DeviceConnection::Outcome::Connected) {
        m_deviceInfo = result.info;
        showDeviceInfo(m_deviceInfo);
        const bool read = readDeviceSettings();
        QGuiApplication::restoreOverrideCursor();
        if (!read) {
            loseConnection(tr("The ZORVIK Device's settings could not be read"), {});
            return;
        }
        m_bConnected = true;
        // Before the corrections the user may accept: those are changes
        // of this session too.
        m_session.start(m_eep->snapshot());
        showDeviceInfo(m_deviceInfo);
        refreshPages();
        if (reviewDeviceValues())
            m_liveDataTimer.start();
        // After the connection has shown itself.
        QTimer::singleShot(0, this, &ZORVIKMiniSetup::loadSettingsFileOpenedWithProgram);
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    const QString port = ui->m_cmbBoxZorvilink->currentText();
    if (m_busyRetry.retry(port, result.outcome, [this, port] { retryConnect(port); })) {
        ui->m_statusbar->showMessage(BusyPortRetry::waitingText(port));
        return;
    }
    showConnectOutcome(result);
}

void ZORVIKMiniSetup::loadSettingsFileOnConnect(const QString& path)
{
    m_settingsFileOnConnect = path;
    ui->m_statusbar->showMessage(
        tr("Connect to a ZORVIK Device to load %1.").arg(QFileInfo(path).fileName()));
}

// Once only: a later connection does not offer the file again.
void ZORVIKMiniSetup::loadSettingsFileOpenedWithProgram()
{
    if (!m_bConnected || m_settingsFileOnConnect.isEmpty())
        return;
    const QString path = std::exchange(m_settingsFileOnConnect, QString());
    loadSettingsFile(path, SettingsPreview::Purpose::Load);
}

// Only while the user still wants that port and nothing else connected.
void ZORVIKMiniSetup::retryConnect(const QString& port)
{
    if (!m_bConnected && ui->m_cmbBoxZorvilink->currentText() == port)
        doConnect();
}

// A refused device has its port released before the box: the updater the
// user is sent to must be able to open it.
void ZORVIKMiniSetup::showConnectOutcome(const DeviceConnection::Result& result)
{
    using Outcome = DeviceConnection::Outcome;
    const QString reason = ConnectionText::sentence(result);
    switch (result.outcome) {
    case Outcome::WrongHardware:
        m_deviceInfo = result.info;
        showDeviceInfo(m_deviceInfo);
        showWrongHardware();
        ui->m_statusbar->showMessage(tr("Wrong Hardware: %1").arg(reason));
        break;
    case Outcome::WrongApplication:
        m_deviceInfo = result.info;
        showDeviceInfo(m_deviceInfo);
        showWrongApplication();
        ui->m_statusbar->showMessage(tr("Wrong Application Version: %1").arg(reason));
        break;
    case Outcome::HandshakeRefused:
        m_deviceInfo = result.info;
        showDeviceInfo(m_deviceInfo);
        ui->m_statusbar->showMessage(tr("ZORVIK Device found, but not connected: %1").arg(reason));
        break;
    case Outcome::Recovery:
        showRecoveryInfo(result.recoveryHardware);
        break;
    default:
        // An adapter that echoed the probe but not a request after it is the
        // port's problem as much as one that echoed nothing.
        const bool adapterFailed = DeviceConnection::adapterFailed(result);
        if (DeviceConnection::isPortFailure(result.outcome) || adapterFailed) {
            showNoDevice();
            const QString port = ui->m_cmbBoxZorvilink->currentText();
            // A port that opened but did not echo has no system words; the
            // link tells a garbled echo from none.
            const std::string openError = m_control->lastOpenError();
            const QString problem = result.outcome == Outcome::NoEcho || adapterFailed
                ? reason
                : PortOpenProblem::reason(result.outcome, openError);
            const bool inBox = PortOpenProblem::needsBox(result.outcome, openError);
            // With a box the status line keeps to the reason, which fits it;
            // the system's words are read in the box.
            ui->m_statusbar->showMessage(
                tr("Cannot use %1: %2")
                    .arg(ShownText::of(port),
                         inBox ? PortOpenProblem::reason(result.outcome, std::string())
                                     : problem));
            if (inBox)
                PortOpenProblem::showBox(this, port, problem);
        } else {
            showNoDevice(reason);
        }
        break;
    }
}

void ZORVIKMiniSetup::doDisconnect()
{
    m_busyRetry.cancel();
    const bool wasConnected = m_bConnected;
    m_liveDataTimer.stop();
    m_control->close();
    m_bConnected = false;
    // An open list has nothing left to revert or restore.
    if (m_listDialog)
        m_listDialog->reject();
    controlGUI();
    // The greyed pages must not go on showing values the device may not
    // hold (edits that were never written, values it refused).
    if (wasConnected)
        clearRows();
    const size_t changed = m_session.isStarted() ? m_session.count(heldParameters()) : 0;
    m_session.end();
    m_eep->clear();
    m_readProgress->hide();
    showSessionCount(changed);
}

// Said once the session is over; whatever ended it may say more after.
void ZORVIKMiniSetup::showSessionCount(size_t changed)
{
    if (changed == 0)
        return;
    ui->m_statusbar->showMessage(changed == 1
                                     ? tr("1 setting changed in this session")
                                     : tr("%1 settings changed in this session")
                                           .arg(number(int(changed))));
}

void ZORVIKMiniSetup::onDisconnectClicked()
{
    writePendingChangesBeforeLeaving();
    doDisconnect();
}

void ZORVIKMiniSetup::doLiveData()
{
    if (m_bConnected
        && m_control->handshake(m_deviceInfo.tokenHigh(), m_deviceInfo.tokenLow()))
        return;
    const LinkFailure failure = m_control->lastFailure();
    const QList<uint16_t> unwritten = m_eep->changedIds();
    doDisconnect();
    showConnectionLost(failure);
    reportUnwrittenChanges(unwritten);
}

void ZORVIKMiniSetup::closeEvent(QCloseEvent* event)
{
    writePendingChangesBeforeLeaving();
    QMainWindow::closeEvent(event);
    // The simulated device goes with the window, once the window let go of it.
    if (event->isAccepted())
        m_simulatedDeviceMenu->stopDevice();
}

void ZORVIKMiniSetup::writePendingChangesBeforeLeaving()
{
    if (!m_bConnected)
        return;
    commitTypedValues();
    const QList<uint16_t> pending = m_eep->changedIds();
    if (pending.isEmpty() || m_eep->writeChanges())
        return;
    onTimerFinished();
    if (m_control->lastFailure() == LinkFailure::Refused) {
        m_eep->discardChanges();
        refillPages();
        reportRefusedWrite(pending);
        return;
    }
    loseConnection(tr("Your changes could not be written to the ZORVIK Device"), pending);
}

QString ZORVIKMiniSetup::headingOf(uint16_t id) const
{
    for (const SettingName& setting : SETTING_NAMES)
        if (setting.id == id)
            return tr(setting.heading);
    return QString();
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
    // What ended it first: the box is what the user reads.
    const LinkFailure failure = m_control->lastFailure();
    const QString reason = failure == LinkFailure::None
        ? QString()
        : ConnectionText::linkReason(failure) + QStringLiteral("\n\n");
    box.setInformativeText(
        reason
        + tr("The connection to the NANOZORVIK ended before these changes were written:\n\n%1\n\n"
             "Please reconnect the device and verify your settings.\n\nDO NOT FLY!")
              .arg(lines.join(QLatin1Char('\n'))));
    LinkFailureDetail::addTo(box, failure);
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
    const QString note = m_correctionNote;
    m_correctionNote.clear();
    if (bResult && !note.isEmpty()) {
        // Keep the corrections in view: the success message would otherwise
        // hide them half a second after connecting.
        ui->m_statusbar->showMessage(tr("Settings successfully stored.") + QLatin1Char(' ') + note,
                                     MESSAGE_DEVICE_MS);
        return;
    }
    if (bResult) {
        ui->m_statusbar->showMessage(tr("Settings successfully stored."), MESSAGE_WRITE_MS);
        return;
    }
    ui->m_statusbar->showMessage(tr("Write failed!"), MESSAGE_WRITE_MS);
    const LinkFailure failure = m_control->lastFailure();
    const QList<uint16_t> edits = m_eep->changedIds();
    if (failure == LinkFailure::Refused && note.isEmpty()) {
        // The device answered and stored none of them: the rows show again
        // what it holds, and the connection goes on.
        m_eep->discardChanges();
        refillPages();
        reportRefusedWrite(edits);
        return;
    }
    if (failure == LinkFailure::Refused) {
        // Refused corrections leave the device with values the pages
        // cannot show: as when the user leaves them, the window disconnects.
        doDisconnect();
        reportRefusedWrite(edits);
        ui->m_statusbar->showMessage(
            tr("Disconnected, nothing was written: the ZORVIK Device refused the corrections "
               "and keeps settings this program cannot show."));
        return;
    }
    // The port is released before the box; nothing asks the device again
    // behind it.
    doDisconnect();
    QMessageBox box(this);
    box.setIcon(QMessageBox::Critical);
    box.setText(tr("Error while writing data to the NANOZORVIK"));
    box.setInformativeText(tr("Something went wrong while writing data to the NANOZORVIK.")
                           + QLatin1Char('\n') + editsText(edits, failure));
    LinkFailureDetail::addTo(box, failure);
    box.exec();
}

void ZORVIKMiniSetup::reportRefusedWrite(const QList<uint16_t>& edits)
{
    QMessageBox box(this);
    box.setIcon(QMessageBox::Critical);
    box.setText(tr("Error while writing data to the NANOZORVIK"));
    QString text = editsText(edits, LinkFailure::Refused);
    if (m_bConnected)
        text += QStringLiteral("\n\n") + tr("The pages show again what the device holds.");
    box.setInformativeText(text);
    LinkFailureDetail::addTo(box, LinkFailure::Refused);
    box.exec();
}

void ZORVIKMiniSetup::refillPages()
{
    const QScopedValueRollback<bool> filling(m_bFilling, true);
    refreshSetupMenu();
    refreshParameterMenu();
    refreshPresetLists();
}

// ----------------------------------------------------------- parameter pages

void ZORVIKMiniSetup::controlGUI()
{
    ui->m_tabControl->setEnabled(m_bConnected);
    ui->m_btnConnect->setEnabled(!m_bConnected);
    ui->m_btnDisconnect->setEnabled(m_bConnected);
    for (QAction* action : {ui->action_SaveSettingsAs, ui->action_LoadSettings,
                            ui->action_CompareWithFile, ui->action_ResetToFactorySettings,
                            ui->action_ChangesThisSession, ui->action_RestoreBackup})
        action->setEnabled(m_bConnected);
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
    const QScopedValueRollback<bool> filling(m_bFilling, true);
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

// Swash entries that fit no geometry show as the geometry they would become
// ("120 °" at the stored phase angle) until the user has chosen whether to
// correct them.
void ZORVIKMiniSetup::selectStoredGeometry()
{
    const QScopedValueRollback<bool> fillingGeometry(m_bFilling, true);
    // The geometry is stored only as a whole: without one of its entries
    // there is nothing to show or choose.
    bool offered = true;
    for (const ParameterName& parameter : PARAMETER_NAMES)
        if (Rules::isGeometryEntry(parameter.id) && !m_eep->isOffered(parameter.id))
            offered = false;
    ui->m_cmbBoxSwashGeometry->setEnabled(offered);
    ui->m_spinBoxSwashVirtualRotation->setEnabled(offered);
    if (!offered) {
        showNotOffered(ui->m_cmbBoxSwashGeometry);
        showNotOffered(ui->m_spinBoxSwashVirtualRotation);
        return;
    }
    ui->m_cmbBoxSwashGeometry->setPlaceholderText(QString());
    const Rules::StoredGeometry stored = Rules::storedGeometry(m_eep->snapshot());
    ui->m_cmbBoxSwashGeometry->setCurrentIndex(stored.index);
    setPhaseAngle(stored.phaseAngle);
    // Neither change fires when both already showed the device's geometry.
    showGeometry(SwashGeometry::definition(stored.index), stored.phaseAngle);
}

void ZORVIKMiniSetup::setPhaseAngle(int phaseAngle)
{
    ui->m_spinBoxSwashVirtualRotation->setSpecialValueText(QString());
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
    showStoredValue(TorqueDirection);
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
    // not have shows no selection (and is offered for correction).
    for (uint16_t id : {SwashServoFrequencyID, TailServoCPPLID, TailServoFrequencyID, SwashMixerID,
                        PitchingUpBehaviourID, HeadingLockGainID, StickDeadbandID, RevoMixID,
                        CyclicBoostID, PitchBoostID})
        showStoredValue(id);
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
    spinBox->setEnabled(m_eep->isOffered(id));
    if (!m_eep->isOffered(id)) {
        showNotOffered(spinBox);
        progressBar->setRange(0, 1);
        progressBar->reset();
        minLabel->clear();
        maxLabel->clear();
        return;
    }
    spinBox->setSpecialValueText(QString());
    spinBox->setMaximum(m_eep->getMax(id));
    spinBox->setMinimum(m_eep->getMin(id));
    progressBar->setMaximum(m_eep->getMax(id));
    progressBar->setMinimum(m_eep->getMin(id));
    spinBox->setValue(shownValue(id));
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

// After a connection the pages show nothing rather than values the device
// may not hold.
void ZORVIKMiniSetup::clearRows()
{
    const QScopedValueRollback<bool> filling(m_bFilling, true);
    for (QSpinBox* spinBox : ui->m_tabControl->findChildren<QSpinBox*>()) {
        spinBox->setRange(0, 0);
        spinBox->setSpecialValueText(QStringLiteral(" "));
        spinBox->setToolTip(QString());
    }
    for (QProgressBar* progressBar : ui->m_tabControl->findChildren<QProgressBar*>())
        progressBar->reset();
    for (QComboBox* list : ui->m_tabControl->findChildren<QComboBox*>()) {
        list->setCurrentIndex(-1);
        list->setPlaceholderText(QString());
        list->setToolTip(QString());
    }
    const QRegularExpression limitLabel(QStringLiteral("^m_lbl.*(Min|Max)$"));
    for (QLabel* label : ui->m_tabControl->findChildren<QLabel*>(limitLabel))
        label->clear();
}

// What the parameter memory holds for an entry, with a change not yet
// written included: what the device holds once the write cycle has run.
int ZORVIKMiniSetup::shownValue(uint16_t id)
{
    return m_eep->get(id, EEP::FieldNewValue);
}

QSpinBox* ZORVIKMiniSetup::valueRow(uint16_t id) const
{
    const std::pair<uint16_t, QSpinBox*> rows[] = {
        {SwashServoFrequency, ui->m_spinBoxSwashServoFrequency},
        {TailServoCPPL, ui->m_spinBoxTailServoCPPL},
        {TailServoFrequency, ui->m_spinBoxTailServoFrequency},
        {PitchingUpBehaviour, ui->m_spinBoxPitchingUpBehaviour},
        {HeadingLockGain, ui->m_spinBoxHeadingLockGain},
        {StickDeadband, ui->m_spinBoxStickDeadband},
        {RevoMixCyclic, ui->m_spinBoxRevoMixCyclic},
        {RevoMixPitch, ui->m_spinBoxRevoMixPitch},
        {TailAsymmetry, ui->m_spinBoxTailAsymmetry},
        {CyclicBoost, ui->m_spinBoxCyclicBoost},
        {PitchBoost, ui->m_spinBoxPitchBoost},
    };
    for (const auto& [rowId, spinBox] : rows)
        if (rowId == id)
            return spinBox;
    return nullptr;
}

QComboBox* ZORVIKMiniSetup::presetList(uint16_t id) const
{
    const std::pair<uint16_t, QComboBox*> lists[] = {
        {SwashServoFrequencyID, ui->m_cmbBoxSwashServoFrequencyID},
        {TailServoCPPLID, ui->m_cmbBoxTailServoCPPLID},
        {TailServoFrequencyID, ui->m_cmbBoxTailServoFrequencyID},
        {SwashMixerID, ui->m_cmbBoxSwashMixerID},
        {PitchingUpBehaviourID, ui->m_cmbBoxPitchingUpBehaviourID},
        {HeadingLockGainID, ui->m_cmbBoxHeadingLockGainID},
        {StickDeadbandID, ui->m_cmbBoxStickDeadbandID},
        {RevoMixID, ui->m_cmbBoxRevoMixID},
        {CyclicBoostID, ui->m_cmbCyclicBoostID},
        {PitchBoostID, ui->m_cmbBoxPitchBoostID},
    };
    for (const auto& [listId, list] : lists)
        if (listId == id)
            return list;
    return nullptr;
}

// A parameter the device's firmware does not have: its row is disabled and
// says so, instead of showing a value nobody read.
void ZORVIKMiniSetup::showNotOffered(QSpinBox* spinBox)
{
    const QScopedValueRollback<bool> filling(m_bFilling, true);
    spinBox->setRange(0, 0);
    spinBox->setSpecialValueText(tr("not offered by this device"));
    spinBox->setToolTip(tr("not offered by this device"));
}

void ZORVIKMiniSetup::showNotOffered(QComboBox* list)
{
    const QScopedValueRollback<bool> filling(m_bFilling, true);
    list->setCurrentIndex(-1);
    list->setPlaceholderText(tr("not offered by this device"));
    list->setToolTip(tr("not offered by this device"));
}

// The torque direction list's item for a stored direction; a value that is
// neither 1 nor -1 selects none, as the list cannot show it.
int ZORVIKMiniSetup::torqueDirectionIndex(int direction)
{
    if (direction == 1)
        return 0;
    return direction == -1 ? 1 : -1;
}

QComboBox* ZORVIKMiniSetup::choiceList(uint16_t id) const
{
    if (QComboBox* list = presetList(id))
        return list;
    return id == TorqueDirection ? ui->m_cmbBoxTorqueDir : nullptr;
}

void ZORVIKMiniSetup::showStoredValue(uint16_t id)
{
    const QScopedValueRollback<bool> filling(m_bFilling, true);
    if (QComboBox* list = choiceList(id)) {
        list->setEnabled(m_eep->isOffered(id));
        if (!m_eep->isOffered(id)) {
            showNotOffered(list);
            return;
        }
        if (list->placeholderText() == tr("not offered by this device")) {
            list->setPlaceholderText(QString());
            list->setToolTip(QString());
        }
    }
    if (QSpinBox* spinBox = valueRow(id))
        spinBox->setValue(shownValue(id));
    else if (QComboBox* list = presetList(id))
        list->setCurrentIndex(shownValue(id));
    else if (id == TorqueDirection)
        ui->m_cmbBoxTorqueDir->setCurrentIndex(torqueDirectionIndex(shownValue(id)));
    else if (Rules::isGeometryEntry(id))
        selectStoredGeometry();
}

// ------------------------------------------------------- device values review

bool ZORVIKMiniSetup::reviewDeviceValues()
{
    const Rules::Parameters device = m_eep->snapshot();
    const std::vector<Rules::Correction> corrections = Rules::corrections(device);
    if (corrections.empty())
        return true;

    QStringList lines;
    std::vector<Rules::Correction> geometry;
    for (const Rules::Correction& correction : corrections) {
        if (Rules::isGeometryEntry(correction.id))
            geometry.push_back(correction);
        else
            lines.append(QStringLiteral("- ") + correctionText(correction));
    }
    if (!geometry.empty())
        lines.append(QStringLiteral("- ") + geometryCorrectionText(device, geometry));

    QMessageBox box(this);
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("The ZORVIK Device holds settings this program cannot show as they are"));
    box.setInformativeText(
        tr("These settings are outside their limits or break a rule:\n\n%1\n\n"
           "Correct them now (the corrected values are written to the ZORVIK Device), or leave "
           "the device as it is (nothing is written and the program disconnects).")
            .arg(lines.join(QLatin1Char('\n'))));
    QPushButton* correct = box.addButton(tr("Correct Now"), QMessageBox::AcceptRole);
    QPushButton* leave = box.addButton(tr("Leave As Is"), QMessageBox::RejectRole);
    box.setDefaultButton(leave);
    box.setEscapeButton(leave);
    box.exec();

    if (box.clickedButton() != correct || !m_bConnected) {
        doDisconnect();
        ui->m_statusbar->showMessage(
            tr("Disconnected, nothing was written: the ZORVIK Device keeps settings this "
               "program cannot show. Connect again to correct them."));
        return false;
    }
    for (const Rules::Correction& correction : corrections)
        m_eep->set(correction.id, correction.to);
    refillPages();
    m_correctionNote = tr("Corrections written: %1.").arg(number(int(lines.size())));
    ui->m_statusbar->showMessage(
        tr("Writing the corrections to the ZORVIK Device: %1...").arg(number(int(lines.size()))));
    return true;
}

QString ZORVIKMiniSetup::correctionText(const Rules::Correction& correction) const
{
    return QStringLiteral("%1: %2 -> %3")
        .arg(settingText(correction.id), valueText(correction.id, correction.from),
             valueText(correction.id, correction.to));
}

// A preset index with the list's text, a torque direction with its name
// (a value that is no direction says so).
QString ZORVIKMiniSetup::valueText(uint16_t id, int value) const
{
    QString item;
    if (QComboBox* list = presetList(id))
        item = list->itemText(value);
    else if (id == TorqueDirection)
        item = torqueDirectionIndex(value) < 0
            ? tr("neither direction")
            : ui->m_cmbBoxTorqueDir->itemText(torqueDirectionIndex(value));
    return item.isEmpty() ? number(value) : QStringLiteral("%1 (%2)").arg(number(value), item);
}

QString ZORVIKMiniSetup::geometryCorrectionText(
    const Rules::Parameters& device, const std::vector<Rules::Correction>& corrections) const
{
    Rules::Changes changes;
    for (const Rules::Correction& correction : corrections)
        changes.push_back({correction.id, correction.to});
    const Rules::StoredGeometry corrected = Rules::storedGeometry(Rules::applied(device, changes));
    const auto value = [&](uint16_t id) { return number(device.at(id).value); };
    return tr("%1: servos at %2°, %3°, %4° with travels %5, %6, %7 and mixer mode %8 -> \"%9\" at "
              "a phase angle of %10°")
        .arg(settingText(SwashServo1Angle), value(SwashServo1Angle), value(SwashServo2Angle),
             value(SwashServo3Angle), value(SwashServo1Travel), value(SwashServo2Travel),
             value(SwashServo3Travel), value(SwashMixerMode),
             ui->m_cmbBoxSwashGeometry->itemText(corrected.index))
        .arg(number(corrected.phaseAngle));
}

// ------------------------------------------------------------ parameter slots

// A change the rules refuse leaves the parameter memory as it is, and the
// row shows again what it holds.
void ZORVIKMiniSetup::storeChanges(const Rules::Changes& request)
{
    if (m_bFilling || !m_bConnected)
        return;
    const Rules::ChangeOutcome outcome = Rules::checkChanges(m_eep->snapshot(), request);
    if (!outcome.verdict.accepted()) {
        for (const Rules::Change& change : request)
            showStoredValue(change.id);
        showRefusal(outcome.verdict);
        return;
    }
    for (const Rules::Change& change : outcome.changes)
        m_eep->set(change.id, change.value);
}

// A frame rate the pulse length does not allow is never stored: it is
// lowered instead, stored with the change, and the user is told.
void ZORVIKMiniSetup::storeTailServoChange(uint16_t id, int value)
{
    if (m_bFilling || !m_bConnected)
        return;
    const Rules::ChangeOutcome outcome = Rules::checkChanges(m_eep->snapshot(), {{id, value}});
    if (!outcome.verdict.accepted()) {
        showStoredValue(id);
        if (outcome.verdict.refusal == Rules::Refusal::TailServoRule)
            showTailServoUnsatisfiable(outcome.tailServo);
        else
            showRefusal(outcome.verdict);
        return;
    }
    for (const Rules::Change& change : outcome.changes)
        m_eep->set(change.id, change.value);
    if (outcome.tailServo.corrections.empty())
        return;
    for (const Rules::Change& correction : outcome.tailServo.corrections)
        showStoredValue(correction.id);
    showTailServoCorrection(outcome.tailServo);
}

void ZORVIKMiniSetup::showTailServoCorrection(const Rules::TailServoOutcome& outcome)
{
    QMessageBox box(this);
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Tail Servo Configuration Error"));
    if (outcome.kind == Rules::TailServoOutcome::ReducedToPreset)
        box.setInformativeText(tr("The Tail Servo's Frequency you selected is too high and will "
                                  "be reduced to 333 Hz."));
    else
        box.setInformativeText(tr("Your User Defined Value of the Tail Servo's Frequency is too "
                                  "high and will be reduced to the maximum possible."));
    box.exec();
}

// No lowering fits the pulse length (above 2003 us, even "333 Hz" is too
// fast): nothing is stored, and the box says so instead of promising a
// reduction.
void ZORVIKMiniSetup::showTailServoUnsatisfiable(const Rules::TailServoOutcome& outcome)
{
    QMessageBox box(this);
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Tail Servo Configuration Error"));
    box.setInformativeText(
        tr("A Center Position Pulse Length of %1 us allows a Tail Servo Frequency of at most "
           "%2 Hz.\nSelect a lower Tail Servo Frequency first.\n\n"
           "Your change has not been stored.")
            .arg(number(outcome.pulseLength), number(outcome.frequencyLimit)));
    box.exec();
}

void ZORVIKMiniSetup::showRefusal(const Rules::Verdict& verdict)
{
    const QString setting = settingText(verdict.id);
    if (verdict.refusal == Rules::Refusal::NotDescribed) {
        ui->m_statusbar->showMessage(
            tr("%1: %2 refused: the ZORVIK Device did not describe this setting.")
                .arg(setting, number(verdict.value)),
            MESSAGE_DEVICE_MS);
        return;
    }
    const auto shown = [&](int value) { return refusedValueText(verdict.id, value); };
    ui->m_statusbar->showMessage(
        tr("%1: %2 refused: the ZORVIK Device allows %3 to %4 and keeps %5.")
            .arg(setting, shown(verdict.value), shown(verdict.limits.minimum),
                 shown(verdict.limits.maximum), shown(shownValue(verdict.id))),
        MESSAGE_DEVICE_MS);
}

// A preset by the text the pilot chose from its list ("200 Hz"), not by
// its index; any other value as the number it is.
QString ZORVIKMiniSetup::refusedValueText(uint16_t id, int value) const
{
    const QComboBox* list = presetList(id);
    const QString item = list ? list->itemText(value) : QString();
    return item.isEmpty() ? number(value) : QStringLiteral("\"%1\"").arg(item);
}

void ZORVIKMiniSetup::doSwashServoFrequencyID(int iIndex)
{
    storeChanges({{SwashServoFrequencyID, iIndex}});
}

void ZORVIKMiniSetup::swashServoFrequencyChanged(int newVal)
{
    storeChanges({{SwashServoFrequency, newVal}});
}

void ZORVIKMiniSetup::doTailServoCPPLID(int iIndex)
{
    storeTailServoChange(TailServoCPPLID, iIndex);
}

void ZORVIKMiniSetup::tailServoCPPLChanged(int newVal)
{
    storeTailServoChange(TailServoCPPL, newVal);
}

void ZORVIKMiniSetup::doTailServoFrequencyID(int iIndex)
{
    storeTailServoChange(TailServoFrequencyID, iIndex);
}

void ZORVIKMiniSetup::tailServoFrequencyChanged(int newVal)
{
    storeTailServoChange(TailServoFrequency, newVal);
}

void ZORVIKMiniSetup::doSwashMixerID(int iIndex)
{
    storeChanges({{SwashMixerID, iIndex}});
}

void ZORVIKMiniSetup::swashGeometryChanged(int iIndex)
{
    const int phaseAngle = ui->m_spinBoxSwashVirtualRotation->value();
    showGeometry(SwashGeometry::definition(iIndex), phaseAngle);
    storeChanges(Rules::geometryChanges(iIndex, phaseAngle));
}

// The spin box already holds the new value.
void ZORVIKMiniSetup::swashVirtualRotationChanged(int)
{
    swashGeometryChanged(ui->m_cmbBoxSwashGeometry->currentIndex());
}

void ZORVIKMiniSetup::showGeometry(const SwashGeometry::Definition& geometry, int phaseAngle)
{
    ui->m_SwashPlate->setShape({geometry.angle,
                                geometry.aspect,
                                phaseAngle,
                                {geometry.travels[0], geometry.travels[1], geometry.travels[2]}});
}

void ZORVIKMiniSetup::doPitchingUpBehaviourID(int iIndex)
{
    storeChanges({{PitchingUpBehaviourID, iIndex}});
}

void ZORVIKMiniSetup::pitchingUpBehaviourChanged(int newVal)
{
    storeChanges({{PitchingUpBehaviour, newVal}});
}

void ZORVIKMiniSetup::doHeadingLockGainID(int iIndex)
{
    storeChanges({{HeadingLockGainID, iIndex}});
}

void ZORVIKMiniSetup::headingLockGainChanged(int newVal)
{
    storeChanges({{HeadingLockGain, newVal}});
}

void ZORVIKMiniSetup::doStickDeadbandID(int iIndex)
{
    storeChanges({{StickDeadbandID, iIndex}});
}

void ZORVIKMiniSetup::stickDeadbandChanged(int newVal)
{
    storeChanges({{StickDeadband, newVal}});
}

void ZORVIKMiniSetup::doRevoMixID(int iIndex)
{
    storeChanges({{RevoMixID, iIndex}});
}

void ZORVIKMiniSetup::torqueDirChanged(int iIndex)
{
    storeChanges({{TorqueDirection, iIndex == 0 ? 1 : -1}});
}

void ZORVIKMiniSetup::revoMixCyclicChanged(int newVal)
{
    storeChanges({{RevoMixCyclic, newVal}});
}

void ZORVIKMiniSetup::revoMixPitchChanged(int newVal)
{
    storeChanges({{RevoMixPitch, newVal}});
}

void ZORVIKMiniSetup::tailAsymmetryChanged(int newVal)
{
    storeChanges({{TailAsymmetry, newVal}});
}

void ZORVIKMiniSetup::doCyclicBoostID(int iIndex)
{
    storeChanges({{CyclicBoostID, iIndex}});
}

void ZORVIKMiniSetup::cyclicBoostChanged(int newVal)
{
    storeChanges({{CyclicBoost, newVal}});
}

void ZORVIKMiniSetup::doPitchBoostID(int iIndex)
{
    storeChanges({{PitchBoostID, iIndex}});
}

void ZORVIKMiniSetup::pitchBoostChanged(int newVal)
{
    storeChanges({{PitchBoost, newVal}});
}

// ----------------------------------------------------------- settings files

namespace {

QString fileFilter()
{
    return ZORVIKMiniSetup::tr("ZORVIK Settings (*.%1)")
        .arg(QString::fromLatin1(SettingsFile::EXTENSION));
}

bool isSettingsFile(const QString& path)
{
    return QFileInfo(path).suffix().compare(QString::fromLatin1(SettingsFile::EXTENSION),
                                            Qt::CaseInsensitive)
        == 0;
}

// The local file a drop carries, when it is one settings file.
QString droppedSettingsFile(const QMimeData* data)
{
    if (!data->hasUrls() || data->urls().size() != 1)
        return QString();
    const QString path = data->urls().constFirst().toLocalFile();
    return isSettingsFile(path) ? path : QString();
}

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

} // namespace

QString ZORVIKMiniSetup::chooseSettingsFile(FileDialog dialog, const QString& caption)
{
    // The dialog runs its own event loop; the port list must not change
    // behind it.
    m_interfaceTimer.stop();
    QString path = m_chooseFile(this, dialog, caption, fileFilter());
    m_interfaceTimer.start();
    if (dialog == FileDialog::Save && !path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + QString::fromLatin1(SettingsFile::EXTENSION);
    return path;
}

void ZORVIKMiniSetup::onSaveSettings()
{
    if (!m_bConnected)
        return;
    const QString path = chooseSettingsFile(FileDialog::Save, tr("Save Settings As"));
    if (!path.isEmpty() && m_bConnected && writePendingChangesFirst(tr("saved")))
        saveSettingsFile(path);
}

void ZORVIKMiniSetup::onLoadSettings()
{
    const QString path = chooseSettingsFile(FileDialog::Open, tr("Load Settings"));
    if (!path.isEmpty())
        loadSettingsFile(path, SettingsPreview::Purpose::Load);
}

void ZORVIKMiniSetup::onCompareWithFile()
{
    const QString path = chooseSettingsFile(FileDialog::Open, tr("Compare with File"));
    if (!path.isEmpty())
        loadSettingsFile(path, SettingsPreview::Purpose::Compare);
}

void ZORVIKMiniSetup::onResetToFactorySettings()
{
    if (!m_bConnected || !writePendingChangesFirst(tr("reset")))
        return;
    previewAndApply(SettingsPlan::forDefaults(deviceParameters()),
                    SettingsPreview::Purpose::Reset, QString());
}

void ZORVIKMiniSetup::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_bConnected && !droppedSettingsFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ZORVIKMiniSetup::dropEvent(QDropEvent* event)
{
    const QString path = droppedSettingsFile(event->mimeData());
    if (!m_bConnected || path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    loadSettingsFile(path, SettingsPreview::Purpose::Load);
}

// The edits the write cycle still holds go to the device now: a file is
// saved, compared or applied against what the device holds, never against
// edits it may not take.
bool ZORVIKMiniSetup::writePendingChangesFirst(const QString& action)
{
    commitTypedValues();
    if (m_eep->changedIds().isEmpty())
        return true;
    const QList<uint16_t> pending = m_eep->changedIds();
    const bool written = m_eep->writeChanges();
    onTimerFinished();
    if (written)
        return true;
    const LinkFailure failure = m_control->lastFailure();
    const QString title = tr("Your changes could not be written to the ZORVIK Device");
    if (failure == LinkFailure::Refused) {
        m_eep->discardChanges();
        refillPages();
        QMessageBox box(this);
        box.setIcon(QMessageBox::Critical);
        box.setText(title);
        box.setInformativeText(editsText(pending, failure) + QStringLiteral("\n\n")
                               + tr("Nothing has been %1.").arg(action));
        LinkFailureDetail::addTo(box, failure);
        box.exec();
        return false;
    }
    // As when the write cycle fails: the connection ends (before the box, so
    // that the keep-alive does not report behind it) and the user verifies.
    loseConnection(title, pending);
    return false;
}

void ZORVIKMiniSetup::loadSettingsFile(const QString& path, SettingsPreview::Purpose purpose)
{
    SettingsFile file;
    if (!m_bConnected || !readSettingsFile(path, &file))
        return;
    if (!writePendingChangesFirst(purpose == SettingsPreview::Purpose::Compare ? tr("compared")
                                                                                : tr("loaded")))
        return;
    previewAndApply(SettingsPlan::forFile(deviceParameters(), m_deviceInfo, file), purpose,
                    fileName(path));
}

// A file that is not entirely understood is not used at all.
bool ZORVIKMiniSetup::readSettingsFile(const QString& path, SettingsFile* file)
{
    SettingsFile::Error error;
    if (SettingsFile::read(path.toStdString(), file, &error))
        return true;
    QMessageBox box(this);
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("\"%1\" is no valid settings file").arg(ShownText::of(fileName(path))));
    box.setInformativeText(tr("%1\n%2\n\nNothing has been written to the ZORVIK Device.")
                               .arg(ShownText::of(QDir::toNativeSeparators(path)),
                                    ShownText::of(error.text())));
    box.exec();
    return false;
}

// Read when connecting: every parameter the device offers.
Rules::Parameters ZORVIKMiniSetup::deviceParameters()
{
    return m_eep->snapshot();
}

void ZORVIKMiniSetup::previewAndApply(const SettingsPlan& plan, SettingsPreview::Purpose purpose,
                                      const QString& source)
{
    SettingsPreview preview(plan, purpose, source, m_deviceInfo, wording(), this);
    if (preview.exec() == QDialog::Accepted && preview.offersApply() && m_bConnected)
        applyPlan(plan, source.isEmpty() ? tr("the factory settings") : source);
}

// Written at once, read back and compared; the pages then show what the
// device was read to hold, whatever happened.
void ZORVIKMiniSetup::applyPlan(const SettingsPlan& plan, const QString& source)
{
    size_t written = 0;
    if (applyAndReadBack(plan.changes(), source, &written))
        ui->m_statusbar->showMessage(tr("%1 applied: %2 settings written and read back.")
                                         .arg(source, number(int(written))),
                                     MESSAGE_DEVICE_MS);
}

bool ZORVIKMiniSetup::applyAndReadBack(const Rules::Changes& changes, const QString& source,
                                       size_t* written)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const SettingsApply::Result result = m_eep->applyAtOnce(changes);
    QGuiApplication::restoreOverrideCursor();
    if (!result.verified() && connectionLostBy(result)) {
        // The device no longer answers: as after a failed write cycle.
        const QString title = tr("%1 was not applied as shown").arg(source);
        if (!result.written)
            loseConnection(title, QList<uint16_t>(result.ids.begin(), result.ids.end()));
        else
            loseConnection(title + QLatin1Char(':') + QLatin1Char(' ')
                               + tr("its values could not be read back"),
                           {});
        return false;
    }
    refillPages();
    if (!result.verified()) {
        reportApplyFailure(result, source);
        return false;
    }
    *written = result.ids.size();
    return true;
}

// A failure of the line, not an answer of the device: the device stopped
// answering (or the port went) on the way.
bool ZORVIKMiniSetup::connectionLostBy(const SettingsApply::Result& result) const
{
    return result.failure != LinkFailure::None && result.failure != LinkFailure::Refused;
}

void ZORVIKMiniSetup::reportApplyFailure(const SettingsApply::Result& result,
                                         const QString& source)
{
    ui->m_statusbar->showMessage(tr("Write failed!"), MESSAGE_WRITE_MS);
    QMessageBox box(this);
    box.setIcon(QMessageBox::Critical);
    box.setText(tr("%1 was not applied as shown").arg(source));
    box.setInformativeText(
        tr("%1\n\nThe pages show what the ZORVIK Device was read to hold. Please reconnect the "
           "device and verify your settings.\n\nDO NOT FLY!")
            .arg(mismatchLines(result).join(QLatin1Char('\n'))));
    LinkFailureDetail::addTo(box, result.failure);
    box.exec();
}

QStringList ZORVIKMiniSetup::mismatchLines(const SettingsApply::Result& result) const
{
    QStringList lines;
    for (uint16_t id : result.refused)
        lines.append(tr("- %1: not taken, nothing was written").arg(captionOf(id)));
    if (!result.written && result.refused.empty())
        for (uint16_t id : result.ids)
            lines.append((result.failure == LinkFailure::Refused
                              ? tr("- %1: refused by the ZORVIK Device, not stored")
                              : tr("- %1: not written"))
                             .arg(captionOf(id)));
    for (const SettingsApply::Mismatch& mismatch : result.mismatches)
        lines.append(tr("- %1: written %2, the device holds %3")
                         .arg(captionOf(mismatch.id), valueText(mismatch.id, mismatch.wanted),
                              valueText(mismatch.id, mismatch.readBack)));
    for (uint16_t id : result.unread)
        lines.append((m_eep->isOffered(id) ? tr("- %1: could not be read back")
                                           : tr("- %1: not offered by this device"))
                         .arg(captionOf(id)));
    return lines;
}

void ZORVIKMiniSetup::saveSettingsFile(const QString& path)
{
    SettingsFile file;
    const SettingsApply::Result result = m_eep->collect(m_deviceInfo, &file);
    if (!result.verified() && connectionLostBy(result)) {
        loseConnection(tr("The settings could not be saved"),
                       result.written ? QList<uint16_t>()
                                      : QList<uint16_t>(result.ids.begin(), result.ids.end()));
        return;
    }
    if (!result.verified()) {
        reportUnsavedSettings(result);
        return;
    }
    std::string error;
    if (!file.write(path.toStdString(), &error)) {
        QMessageBox box(this);
        box.setIcon(QMessageBox::Critical);
        box.setText(tr("The settings could not be saved"));
        box.setInformativeText(tr("%1:\n%2\n\nChoose another folder or file name.")
                                   .arg(QDir::toNativeSeparators(path),
                                        QString::fromStdString(error)));
        box.exec();
        return;
    }
    ui->m_statusbar->showMessage(tr("Settings saved to %1.").arg(QDir::toNativeSeparators(path)),
                                 MESSAGE_DEVICE_MS);
}

void ZORVIKMiniSetup::reportUnsavedSettings(const SettingsApply::Result& result)
{
    QMessageBox box(this);
    box.setIcon(QMessageBox::Critical);
    box.setText(tr("The settings could not be saved"));
    box.setInformativeText(
        tr("The ZORVIK Device did not give all of its settings:\n\n%1\n\nNothing has been "
           "saved. Please reconnect the device and try again.")
            .arg(mismatchLines(result).join(QLatin1Char('\n'))));
    LinkFailureDetail::addTo(box, result.failure);
    box.exec();
}

QString ZORVIKMiniSetup::captionOf(uint16_t id) const
{
    if (Rules::isGeometryEntry(id))
        return QStringLiteral("%1: %2").arg(settingText(id),
                                            QString::fromLatin1(parameterName(id)));
    return settingText(id);
}

SettingsPreview::Wording ZORVIKMiniSetup::wording() const
{
    return {[this](uint16_t id) { return captionOf(id); },
            [this](uint16_t id, int value) { return valueText(id, value); }};
}


// --------------------------------------------------- this session's changes

// Listed as the device holds them: edits still in the write cycle go first.
void ZORVIKMiniSetup::onChangesThisSession()
{
    if (!m_bConnected || !writePendingChangesFirst(tr("compared")))
        return;
    SessionChangesDialog dialog(
        sessionRows(),
        [this](const QList<uint16_t>& settings) {
            revertSessionChanges(settings);
            return m_bConnected ? sessionRows() : SessionChangesDialog::Rows();
        },
        this);
    m_listDialog = &dialog;
    dialog.exec();
}

SessionChangesDialog::Rows ZORVIKMiniSetup::sessionRows()
{
    const Rules::Parameters now = m_eep->snapshot();
    SessionChangesDialog::Rows rows;
    for (uint16_t setting : m_session.changed(now))
        rows.append({setting, settingText(setting), shownSetting(setting, m_session.atConnect()),
                     shownSetting(setting, now)});
    return rows;
}

// A revert is an edit: checked by the rules as a whole (a lowered tail servo
// frame rate is stored and said, a refusal stores nothing and says why),
// then written at once and read back, and the pages show what the device
// was read to hold.
void ZORVIKMiniSetup::revertSessionChanges(const QList<uint16_t>& settings)
{
    if (!m_bConnected)
        return;
    const Rules::Changes request =
        m_session.revert(std::vector<uint16_t>(settings.begin(), settings.end()));
    const Rules::ChangeOutcome outcome = Rules::checkChanges(m_eep->snapshot(), request);
    if (!outcome.verdict.accepted()) {
        refillPages();
        if (outcome.verdict.refusal == Rules::Refusal::TailServoRule)
            showTailServoUnsatisfiable(outcome.tailServo);
        else
            showRefusal(outcome.verdict);
        return;
    }
    size_t written = 0;
    if (!applyAndReadBack(outcome.changes, tr("The revert"), &written))
        return;
    ui->m_statusbar->showMessage(
        settings.size() == 1
            ? tr("1 setting reverted: written to the ZORVIK Device and read back.")
            : tr("%1 settings reverted: written to the ZORVIK Device and read back.")
                  .arg(number(int(settings.size()))),
        MESSAGE_DEVICE_MS);
    if (!outcome.tailServo.corrections.empty())
        showTailServoCorrection(outcome.tailServo);
}

QString ZORVIKMiniSetup::shownSetting(uint16_t setting, const Rules::Parameters& parameters) const
{
    if (Rules::isGeometryEntry(setting))
        return shownGeometry(parameters);
    const int value = parameters.at(setting).value;
    if (const QSpinBox* spinBox = valueRow(setting))
        return spinBox->prefix() + number(value) + spinBox->suffix();
    const QComboBox* list = choiceList(setting);
    const int index = setting == TorqueDirection ? torqueDirectionIndex(value) : value;
    const QString item = list && index >= 0 ? list->itemText(index) : QString();
    return item.isEmpty() ? valueText(setting, value) : item;
}

QString ZORVIKMiniSetup::shownGeometry(const Rules::Parameters& parameters) const
{
    const Rules::StoredGeometry geometry = Rules::storedGeometry(parameters);
    if (!geometry.recognised)
        return tr("no geometry of the list");
    const QSpinBox* phaseAngle = ui->m_spinBoxSwashVirtualRotation;
    return tr("%1, phase angle %2")
        .arg(ui->m_cmbBoxSwashGeometry->itemText(geometry.index),
             phaseAngle->prefix() + number(geometry.phaseAngle) + phaseAngle->suffix());
}

Rules::Parameters ZORVIKMiniSetup::heldParameters() const
{
    Rules::Parameters held = m_eep->snapshot();
    for (auto& [id, parameter] : held)
        parameter.value = m_eep->getValue(id);
    return held;
}

// ------------------------------------------------------------------ backups

// This unit's backups (saved before each update), newest first; the one
// chosen goes through the load preview as any settings file.
void ZORVIKMiniSetup::onRestoreBackup()
{
    if (!m_bConnected || !writePendingChangesFirst(tr("restored")))
        return;
    const std::vector<SettingsBackup::Listed> backups = SettingsBackup::of(m_deviceInfo);
    QList<BackupListDialog::Row> rows;
    for (const SettingsBackup::Listed& backup : backups)
        rows.append({ShownText::of(backup.file.origin().saved),
                     ShownText::of(backup.file.origin().applicationVersion),
                     differingSettings(backup.file)});
    const QString folder = QString::fromStdString(SettingsBackup::folder());
    BackupListDialog dialog(rows, ShownText::of(QDir::toNativeSeparators(folder)), this);
    m_listDialog = &dialog;
    if (dialog.exec() != QDialog::Accepted || !m_bConnected || dialog.chosen() < 0)
        return;
    const SettingsBackup::Listed& backup = backups.at(size_t(dialog.chosen()));
    previewAndApply(SettingsPlan::forFile(deviceParameters(), m_deviceInfo, backup.file),
                    SettingsPreview::Purpose::Load, fileName(QString::fromStdString(backup.path)));
}

int ZORVIKMiniSetup::differingSettings(const SettingsFile& file) const
{
    const Rules::Parameters device = m_eep->snapshot();
    Rules::Changes changes;
    for (const SettingsFile::Setting& setting : file.settings())
        changes.push_back({setting.id, setting.value});
    return int(SessionChanges::differences(Rules::applied(device, changes), device).size());
}

} // namespace ZORVI
