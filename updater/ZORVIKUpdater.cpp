#include "ZORVIKUpdater.h"

#include "ShownText.h"

#include "AboutBox.h"
#include "AutoDetectInterface.h"
#include "ConnectionText.h"
#include "Control.h"
#include "DeviceConnection.h"
#include "DeviceInfo.h"
#include "DeviceSettings.h"
#include "ParameterIds.h"
#include "LinkFailureDetail.h"
#include "LinkTrace.h"
#include "PortListBox.h"
#include "PortOpenProblem.h"
#include "RepaintPacer.h"
#include "SampleFolder.h"
#include "SettingsApply.h"
#include "SettingsBackup.h"
#include "SettingsPlan.h"
#include "SettingsPreview.h"
#include "SimulatedDevice.h"
#include "SimulatedDeviceMenu.h"
#include "StatusAnnouncement.h"
#include "Update.h"
#include "UpdateChecks.h"
#include "UpdateFile.h"
#include "UpdateJournal.h"
#include "UpdateOutcome.h"
#include "ZorvikVersion.h"
#include "ui_ZORVIKUpdater.h"
#include "win32/SignalPortRelease.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace ZORVI {

ZORVIKUpdater* ZORVIKUpdater::s_progressWindow = nullptr;

namespace {

const char* const URI_LIST_FORMAT = "text/uri-list";
constexpr int MESSAGE_TIMEOUT_CHECKING_MS = 5000;
constexpr int MESSAGE_TIMEOUT_RESULT_MS = 10000;
constexpr int MESSAGE_TIMEOUT_WAITING_MS = 2000;
// A description longer than this is shown in a scrolling text: a message
// box grows with its text, past the screen's edge and its OK button with it.
constexpr int DESCRIPTION_BOX_MAX_LINES = 15;
constexpr int DESCRIPTION_BOX_MAX_CHARACTERS = 1200;
// The scrolling text takes at most this share of the screen.
constexpr double DESCRIPTION_SCREEN_SHARE = 0.8;
constexpr int DESCRIPTION_WIDTH_CHARACTERS = 80;

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

ZORVIKUpdater::ZORVIKUpdater(QWidget* parent)
    : ZORVIKUpdater(std::unique_ptr<Control>(), parent)
{
}

ZORVIKUpdater::ZORVIKUpdater(std::unique_ptr<Control> control, QWidget* parent)
    : QMainWindow(parent)
    , m_ui(new Ui::ZORVIKUpdaterClass)
    , m_control(std::move(control))
    , m_interfaceTimer(new QTimer(this))
    , m_repaintPacer(new RepaintPacer(this))
    , m_chooseFile([this](QWidget* parent, const QString& caption, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, caption, fileDialogFolder(), filter);
    })
{
    m_interfaceTimer->setObjectName(QStringLiteral("m_interfaceTimer"));
    m_ui->setupUi(this);
    m_deviceLabels = std::make_unique<DeviceLabels>(m_ui->m_lblZorviAppVer,
                                                    m_ui->m_lblZorviHWVer,
                                                    m_ui->m_lblZorviEEPVer,
                                                    m_ui->m_lblZorviSerial);
    new StatusAnnouncement(statusBar());

    if (!m_control)
        m_control = LinkTrace::makeControl();
    progressFunction(0, this);
    m_control->setProgressCallback(&ZORVIKUpdater::progressFunction);

    makeConnections();
    addHelpEntries();
    clearFileVersions(QString());
    showFileRefusal(QString());
    clearDeviceInfo();
    onInterfaceTimer();
    m_interfaceTimer->start(INTERFACE_POLL_MS);
}

void ZORVIKUpdater::paintWithoutWaitingForTheDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}

ZORVIKUpdater::~ZORVIKUpdater()
{
    m_interfaceTimer->stop();
    if (s_progressWindow == this)
        s_progressWindow = nullptr;
}

void ZORVIKUpdater::makeConnections()
{
    connect(m_ui->m_btnAutodetect, &QPushButton::clicked, this,
            &ZORVIKUpdater::btnAutodetectClick);
    connect(m_ui->m_btnFileOpen, &QPushButton::clicked, this, &ZORVIKUpdater::btnFileOpenClick);
    connect(m_ui->m_action_Open_File, &QAction::triggered, this,
            &ZORVIKUpdater::btnFileOpenClick);
    connect(m_ui->m_btnZorviRefresh, &QPushButton::clicked, this,
            &ZORVIKUpdater::btnZorviRefreshClick);
    connect(m_ui->m_cmbBoxZorvilink, &QComboBox::currentIndexChanged, this,
            &ZORVIKUpdater::checkInterface);
    connect(m_ui->m_btnUpdate, &QPushButton::clicked, this, &ZORVIKUpdater::btnUpdateClick);
    connect(m_ui->m_action_Exit, &QAction::triggered, this, &ZORVIKUpdater::onExit);
    connect(m_ui->m_action_About, &QAction::triggered, this, &ZORVIKUpdater::onAbout);
    connect(m_ui->m_action_Update_Records, &QAction::triggered, this,
            &ZORVIKUpdater::onUpdateRecords);
    connect(m_interfaceTimer, &QTimer::timeout, this, &ZORVIKUpdater::onInterfaceTimer);
}

// Choosing a port asks the device at once; rebuilding the list must not.
void ZORVIKUpdater::connectRefresh()
{
    m_refreshConnection = connect(m_ui->m_cmbBoxZorvilink, &QComboBox::currentIndexChanged,
                                  this, &ZORVIKUpdater::btnZorviRefreshClick);
}

void ZORVIKUpdater::disconnectRefresh()
{
    disconnect(m_refreshConnection);
}

void ZORVIKUpdater::setUpdateFile(const QString& path)
{
    // The update being flashed is not replaced (nor freed) under the run.
    if (m_running)
        return;
    m_ui->m_edtFileName->setText(path);
    loadUpdateFile(path);
}

QString ZORVIKUpdater::version() const
{
    return QString::fromLatin1(Version::UPDATER);
}

void ZORVIKUpdater::libraryInfo(char* buildDate, uint32_t size, uint32_t* major,
                                uint32_t* minor, uint32_t* patch) const
{
    m_control->libraryInfo(buildDate, size, major, minor, patch);
}

// ---------------------------------------------------------------------------
// Port list

void ZORVIKUpdater::onInterfaceTimer()
{
    if (m_ports.update())
        rebuildPortList();
    m_busyRetry.noteList(PortListBox::names(m_ports.known()));
}

// Nothing is chosen for the user: the updater asks the device as soon as a
// port is chosen.
void ZORVIKUpdater::rebuildPortList()
{
    disconnectRefresh();
    const PortListBox::Selection selection =
        PortListBox::rebuild(*m_ui->m_cmbBoxZorvilink, PortListBox::names(m_ports.known()),
                             PortListBox::Unchosen::NoPort);
    if (selection != PortListBox::Selection::Kept)
        clearDeviceInfo();
    connectRefresh();
}

// The entries go to the top of the Help menu, above the records and About.
void ZORVIKUpdater::addHelpEntries()
{
    SimulatedDeviceMenu::giveQuitKeys(m_ui->m_action_Exit);
    const QString samples = SampleFolder::find();
    const QString sampleFolderText = samples.isEmpty()
        ? tr("installed with the program in /usr/share/zorvik/samples")
        : ShownText::of(QDir::toNativeSeparators(samples));
    m_simulatedDeviceMenu = new SimulatedDeviceMenu(
        this, m_ui->menu_About,
        tr("The simulated device (zorvik-sim) behaves like a KORLINK interface with a ZORVIK "
           "Device behind it, on a port of its own, and takes updates as the device does.\n\n"
           "1. Choose Help > Start a Simulated Device. Its port, ttySIM0, is chosen under "
           "\"USB-Interface (KORLINK)\" and the device's versions are shown (firmware "
           "3.1.7).\n"
           "2. Press \"Open File...\": the dialog opens in the folder of the sample update "
           "file (%1). Open zorvik-3.1.8-sample.upd and press \"OK\" on its description.\n"
           "3. Press \"Start Update...\" and answer \"Yes\": the simulated device takes the "
           "update, restarts and shows firmware 3.1.8.\n\n"
           "The simulated device forgets the update when it stops: when you choose Help > "
           "Stop the Simulated Device or close the window.\n\n"
           "In a terminal: start zorvik-sim (it prints its port, ttySIM0), then "
           "ZORVIKUpdater --port ttySIM0 with the sample file.")
            .arg(sampleFolderText));
    connect(m_simulatedDeviceMenu, &SimulatedDeviceMenu::ready, this,
            &ZORVIKUpdater::chooseSimulatedDevice);
}

// Chosen as the user would choose it: the device's versions are asked at once.
void ZORVIKUpdater::chooseSimulatedDevice(const QString& port)
{
    // Its port map entry is there now: the list need not wait for its check.
    onInterfaceTimer();
    if (!m_running)
        preselectPort(port);
}

bool ZORVIKUpdater::isSimulatedDevicePort(const QString& port) const
{
    if (port.isEmpty())
        return false;
    if (port == m_simulatedDeviceMenu->device().portName())
        return true;
    // One started in a terminal, under its own name in the port map.
    return SimulatedDevice::isSimulatorPortName(port)
        && PortListBox::virtualPorts().contains(port);
}

QString ZORVIKUpdater::fileDialogFolder() const
{
    if (m_fileChosenInDialog || !isSimulatedDevicePort(m_ui->m_cmbBoxZorvilink->currentText()))
        return QString();
    return SampleFolder::find();
}

void ZORVIKUpdater::checkInterface()
{
    m_ui->m_btnUpdate->setEnabled(false);
    m_portSelected = m_ui->m_cmbBoxZorvilink->currentIndex() >= 0;
    updateStartButton();
}

void ZORVIKUpdater::updateStartButton()
{
    m_ui->m_btnUpdate->setEnabled(m_portSelected && m_file);
}

void ZORVIKUpdater::setInterface(QString qInterface)
{
    preselectPort(qInterface);
}

bool ZORVIKUpdater::preselectPort(const QString& name)
{
    const int index = PortListBox::names(m_ports.known()).indexOf(name);
    if (index < 0)
        return false;
    m_ui->m_cmbBoxZorvilink->setCurrentIndex(index);
    checkInterface();
    return true;
}

void ZORVIKUpdater::btnAutodetectClick()
{
    auto* dialog =
        new AutoDetectInterface(this, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    connect(dialog, &AutoDetectInterface::sendAutodetect, this,
            &ZORVIKUpdater::receiveAutodetect);
    dialog->show();
}

void ZORVIKUpdater::receiveAutodetect(QString qSerial)
{
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Information);
    box.setText(tr("ZORVIK KORLINK Interface found"));
    box.setInformativeText(tr("KORLINK: %1").arg(qSerial));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    // The port reported may be newer than the list's last refresh.
    onInterfaceTimer();
    setInterface(qSerial);
}

// Port names and paths go to the device link as 8-bit text in the locale's
// encoding; a name it cannot express simply names no port or file there.
QByteArray ZORVIKUpdater::selectedPortName() const
{
    return m_ui->m_cmbBoxZorvilink->currentText().toLocal8Bit();
}

// ---------------------------------------------------------------------------
// Adapter and device

void ZORVIKUpdater::btnZorviRefreshClick()
{
    m_busyRetry.cancel();
    clearDeviceInfo();
    // Nothing is opened without a port: the updater chooses none by itself.
    if (m_ui->m_cmbBoxZorvilink->currentIndex() < 0) {
        statusBar()->showMessage(
            tr("No ZORVIK Device found: %1").arg(ConnectionText::noPortChosen()));
        return;
    }
    m_ui->centralwidget->setEnabled(false);
    statusBar()->showMessage(tr("Checking Interface..."), MESSAGE_TIMEOUT_CHECKING_MS);
    if (openSelectedPort()) {
        statusBar()->showMessage(tr("Querying ZORVIK Device..."));
        queryDevice();
        m_control->close();
    }
    m_ui->centralwidget->setEnabled(true);
}

// Opens the selected port and checks that the KORLINK adapter echoes; when
// either fails, says so and leaves the port closed.
bool ZORVIKUpdater::openSelectedPort()
{
    const QByteArray port = selectedPortName();
    using Outcome = DeviceConnection::Outcome;
    const Outcome opened = DeviceConnection::openPort(*m_control, port.constData());
    if (opened == Outcome::Found)
        return true;
    const QString name = QString::fromLocal8Bit(port);
    if (opened == Outcome::NoEcho) {
        reportNoEcho(name);
        return false;
    }
    // A run is not started again by itself: the user sees why it did not start.
    if (!m_running && m_busyRetry.retry(name, opened, [this, name] { retryRefresh(name); })) {
        statusBar()->showMessage(BusyPortRetry::waitingText(name));
        return false;
    }
    const std::string openError = m_control->lastOpenError();
    const QString problem = PortOpenProblem::reason(opened, openError);
    // With a box the status line keeps to the reason, which fits it; the
    // system's words are read in the box.
    const bool inBox = PortOpenProblem::needsBox(opened, openError);
    statusBar()->showMessage(
        tr("Cannot use %1: %2")
            .arg(ShownText::of(name),
                 inBox ? PortOpenProblem::reason(opened, std::string()) : problem));
    if (inBox)
        PortOpenProblem::showBox(this, name, problem);
    return false;
}

// Only while the user still wants that port and no run holds it.
void ZORVIKUpdater::retryRefresh(const QString& port)
{
    if (!m_running && QString::fromLocal8Bit(selectedPortName()) == port)
        btnZorviRefreshClick();
}

// The status line says why, the box what to do.
void ZORVIKUpdater::reportNoEcho(const QString& port)
{
    DeviceConnection::Result noEcho;
    noEcho.outcome = DeviceConnection::Outcome::NoEcho;
    noEcho.linkFailure = m_control->lastFailure();
    statusBar()->showMessage(
        tr("KORLINK Interface Problem: %1").arg(ConnectionText::sentence(noEcho)));
    showNoEchoBox(port);
}

void ZORVIKUpdater::showNoEchoBox(const QString& port)
{
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Critical);
    box.setText(tr("KORLINK Interface Problem"));
    box.setInformativeText(
        tr("Communication using the selected Interface \"%1\" is not working "
           "correctly.\nUse \"Autodetect...\" to identify the KORLINK-Adapter "
           "automatically.\n\nIf this problem persists contact ZORVIK-Support.")
            .arg(port));
    LinkFailureDetail::addTo(box, m_control->lastFailure());
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

// The device's running firmware, else its boot loader, shown in the labels
// and the status line.
DeviceConnection::Result ZORVIKUpdater::queryDevice()
{
    const DeviceConnection::Result found = DeviceConnection::probe(*m_control);
    if (found.outcome == DeviceConnection::Outcome::Found) {
        m_lastDeviceOn.insert(QString::fromLocal8Bit(selectedPortName()), found.info);
        showDeviceInfo(found.info);
        statusBar()->showMessage(tr("ZORVIK Device found"), MESSAGE_TIMEOUT_RESULT_MS);
    } else if (found.outcome == DeviceConnection::Outcome::Recovery) {
        showRecoveryInfo(found.recoveryHardware);
        statusBar()->showMessage(tr("ZORVIK Device in Recovery-Mode found"),
                                 MESSAGE_TIMEOUT_RESULT_MS);
    } else if (DeviceConnection::adapterFailed(found)) {
        // The adapter failed the request, not the device: no device is
        // said to be missing.
        statusBar()->showMessage(
            tr("KORLINK Interface Problem: %1").arg(ConnectionText::sentence(found)),
            MESSAGE_TIMEOUT_RESULT_MS);
    } else {
        statusBar()->showMessage(
            tr("No ZORVIK Device found: %1").arg(ConnectionText::sentence(found)),
            MESSAGE_TIMEOUT_RESULT_MS);
    }
    return found;
}

void ZORVIKUpdater::showDeviceInfo(const DeviceInfo& info)
{
    m_deviceLabels->show(info);
}

void ZORVIKUpdater::showRecoveryInfo(uint8_t hardwareByte)
{
    m_deviceLabels->showRecovery(hardwareByte);
}

void ZORVIKUpdater::clearDeviceInfo()
{
    m_deviceLabels->clear();
}

// ---------------------------------------------------------------------------
// Update file

void ZORVIKUpdater::btnFileOpenClick()
{
    // The dialog runs its own event loop; the port list must not change the
    // selection (and ask the device) behind it.
    m_interfaceTimer->stop();
    const QString path = m_chooseFile(this, tr("Open ZORVIK Update File"),
                                      tr("Update Files (*.upd);; All Files (*.*)"));
    if (!path.isEmpty()) {
        // From now on the dialog starts where the user went.
        m_fileChosenInDialog = true;
        setUpdateFile(path);
    }
    m_interfaceTimer->start(INTERFACE_POLL_MS);
}

// A file dropped during a run would replace the file being flashed in the
// field and could open its description box inside the transfer, stalling it
// until the device gives up: refused.
void ZORVIKUpdater::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_running && event->mimeData()->hasFormat(QString::fromLatin1(URI_LIST_FORMAT)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ZORVIKUpdater::dropEvent(QDropEvent* event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    const QMimeData* data = event->mimeData();
    if (data->hasUrls())
        setUpdateFile(data->urls().constFirst().toLocalFile());
    event->acceptProposedAction();
}

// Reads the file now, whatever was read from the same path before; what is
// shown from here on, and what a run flashes, is this reading.
void ZORVIKUpdater::loadUpdateFile(const QString& path)
{
    m_ui->m_btnUpdate->setEnabled(false);
    m_file.reset();
    if (statusBar()->currentMessage() == m_fileRefusalMessage)
        statusBar()->clearMessage();
    m_fileRefusalMessage.clear();
    showFileRefusal(QString());

    if (path.isEmpty()) {
        clearFileVersions(QString());
        return;
    }
    UpdateFile::Refusal refusal = UpdateFile::Refusal::None;
    std::unique_ptr<UpdateFile> loaded =
        UpdateFile::load(QFile::encodeName(path).toStdString(), &refusal);
    if (!loaded || refusal != UpdateFile::Refusal::None) {
        refuseUpdateFile(path, UpdateFile::reason(refusal));
        return;
    }
    m_file = std::move(loaded);
    showFileVersions(*m_file);
    updateStartButton();
    if (m_file->update().description())
        showDescription(m_file->update().description());
}

void ZORVIKUpdater::refuseUpdateFile(const QString& path, const char* reason)
{
    clearFileVersions(tr("failed"));
    m_fileRefusalMessage =
        tr("Cannot use %1: %2")
            .arg(ShownText::of(QFileInfo(path).fileName()),
                 QCoreApplication::translate("ZORVI::UpdateFile", reason));
    statusBar()->showMessage(m_fileRefusalMessage);
    // The status line is cut at the window's width and replaced by the next
    // message; the reason stays beside the file until another one is chosen.
    showFileRefusal(m_fileRefusalMessage);
}

void ZORVIKUpdater::showFileRefusal(const QString& text)
{
    m_ui->m_lblFileRefusal->setText(text);
    m_ui->m_lblFileRefusal->setVisible(!text.isEmpty());
}

void ZORVIKUpdater::showFileVersions(const UpdateFile& file)
{
    const DeviceInfo versions = file.update().versionInfo();
    m_ui->m_lblFileHWVer->setText(fromUtf8(UpdateChecks::fileHardwareText(file.update())));
    m_ui->m_lblFileAppVer->setText(fromUtf8(versions.applicationVersionText()));
    m_ui->m_lblFileEEPVer->setText(fromUtf8(versions.dataVersionText()));
}

void ZORVIKUpdater::clearFileVersions(const QString& text)
{
    m_ui->m_lblFileHWVer->setText(text);
    m_ui->m_lblFileAppVer->setText(text);
    m_ui->m_lblFileEEPVer->setText(text);
}

// The file's own text, shown as plain text (never as markup).
void ZORVIKUpdater::showDescription(const char* description)
{
    const QString text = QString::fromLatin1(description);
    if (text.count(QLatin1Char('\n')) >= DESCRIPTION_BOX_MAX_LINES
        || text.size() > DESCRIPTION_BOX_MAX_CHARACTERS) {
        showLongDescription(text);
        return;
    }
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Information);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

// A scrolling text within the screen, with its OK button always in view.
void ZORVIKUpdater::showLongDescription(const QString& text)
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("descriptionDialog"));
    dialog.setWindowTitle(windowTitle());
    auto* view = new QPlainTextEdit(text, &dialog);
    view->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(view);
    layout->addWidget(buttons);

    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect available = shown->availableGeometry();
    const QFontMetrics metrics(view->font());
    const int wanted = metrics.averageCharWidth() * DESCRIPTION_WIDTH_CHARACTERS;
    dialog.resize(std::min(wanted, static_cast<int>(available.width() * DESCRIPTION_SCREEN_SHARE)),
                  static_cast<int>(available.height() * DESCRIPTION_SCREEN_SHARE));
    dialog.move(available.center() - dialog.rect().center());
    buttons->button(QDialogButtonBox::Ok)->setFocus();
    dialog.exec();
}

// ---------------------------------------------------------------------------
// Update run

void ZORVIKUpdater::setProgress(uint8_t percent)
{
    m_ui->m_progressBar->setValue(percent);
}

void ZORVIKUpdater::progressFunction(int percent, void* window)
{
    if (window) {
        // Registration, from the constructor: the window is not built yet,
        // so no events may reach it here.
        s_progressWindow = static_cast<ZORVIKUpdater*>(window);
        s_progressWindow->setProgress(static_cast<uint8_t>(percent & 0xFF));
        return;
    }
    if (s_progressWindow)
        s_progressWindow->showStep(static_cast<uint8_t>(percent & 0xFF));
}

// Between records: the bar takes every step, the window is drawn at most once
// each RepaintPacer::INTERVAL_MS and for the last step, and a close request or
// a drop is answered (both refused while the run lasts).
void ZORVIKUpdater::showStep(uint8_t percent)
{
    if (percent >= 100)
        m_repaintPacer->showEverything();
    setProgress(percent);
    m_repaintPacer->catchUp();
    QCoreApplication::processEvents();
}

void ZORVIKUpdater::btnUpdateClick()
{
    if (!m_file)
        return;
    beginRun();
    clearDeviceInfo();
    statusBar()->showMessage(tr("Checking Interface..."), MESSAGE_TIMEOUT_CHECKING_MS);
    // An adapter that cannot be opened or does not echo ends the run here:
    // nothing is asked, sent or recorded, and the user is told which.
    if (openSelectedPort()) {
        runOnOpenPort();
        m_control->close();
    }
    endRun();
    if (m_closeWhenDone)
        close();
}

void ZORVIKUpdater::runOnOpenPort()
{
    const DeviceConnection::Result before = queryDevice();
    m_backup = SettingsFile();
    m_backupPath.clear();
    if (!hardwareAccepted(before) || !confirmUpdate(before))
        return;
    if (before.outcome == DeviceConnection::Outcome::Found && !backUpSettings())
        return;
    clearDeviceInfo();
    // A SIGTERM from here on stops the transfer before its next record; the
    // run still asks the device, records the line and shows the outcome,
    // then the window closes.
    Communication::Serial::SignalPortRelease::holdStops();
    transferChosenFile();
    waitForDevice();
    // Also after a failure: the window shows the state the device is in.
    const DeviceConnection::Result after = queryDevice();
    m_control->close();
    const UpdateOutcome outcome = judgeRun(after);
    const QString recordProblem = recordRun(before, after, outcome);
    if (Communication::Serial::SignalPortRelease::letStopsThrough() != 0)
        m_closeWhenDone = true;
    showOutcome(outcome, recordProblem, m_control->lastTransfer());
    // A close asked for during the run is not held up by a question; the
    // backup stays for the settings window's Restore Backup.
    if (outcome.done() && !m_backupPath.isEmpty() && !m_closeWhenDone)
        offerRestore();
}

// While a run holds the port, nothing may reopen it: no menu action and no
// port-list change (which would re-select the port and ask the device).
void ZORVIKUpdater::beginRun()
{
    m_busyRetry.cancel();
    m_running = true;
    m_closeWhenDone = false;
    m_interfaceTimer->stop();
    m_ui->menubar->setEnabled(false);
    m_ui->centralwidget->setEnabled(false);
}

void ZORVIKUpdater::endRun()
{
    // A run that ends without an outcome (not started after all) leaves no
    // note about a close request behind either.
    closeCloseNotice();
    m_running = false;
    m_ui->centralwidget->setEnabled(true);
    m_ui->menubar->setEnabled(true);
    m_interfaceTimer->start(INTERFACE_POLL_MS);
}

// Firmware for other hardware can leave the device unusable: it takes an
// explicit Yes. Without an answer from the device there is nothing to check.
bool ZORVIKUpdater::hardwareAccepted(const DeviceConnection::Result& device)
{
    const std::string mismatch = UpdateOutcome::hardwareMismatch(m_file->update(), device);
    if (mismatch.empty())
        return true;
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("The update file is not made for this device's hardware."));
    box.setInformativeText(fromUtf8(mismatch)
                           + tr("\nFirmware for other hardware can leave the device unusable."
                                "\n\nInstall it anyway?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes)
        return true;
    statusBar()->showMessage(tr("Update not started: %1").arg(fromUtf8(mismatch)));
    return false;
}

bool ZORVIKUpdater::confirmUpdate(const DeviceConnection::Result& device)
{
    const QString fileVersion = m_ui->m_lblFileAppVer->text();
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    if (device.outcome == DeviceConnection::Outcome::Found) {
        box.setIcon(QMessageBox::Information);
        box.setText(tr("ZORVIK Device is ready for update."));
        box.setInformativeText(tr("Are you sure you want to upgrade\nfrom Version %1 to %2?")
                                   .arg(m_ui->m_lblZorviAppVer->text(), fileVersion));
    } else if (device.outcome == DeviceConnection::Outcome::Recovery) {
        statusBar()->showMessage(tr("ZORVIK Device in Recovery-Mode is ready for update."));
        box.setIcon(QMessageBox::Information);
        box.setText(tr("ZORVIK Device in Recovery Mode found!"));
        box.setInformativeText(
            recoveryBackupText() + QStringLiteral("\n\n")
            + tr("Are you sure you want to install\nVersion %1 ?").arg(fileVersion));
    } else {
        box.setIcon(QMessageBox::Warning);
        box.setText(tr("No ZORVIK Device found!"));
        box.setInformativeText(
            ConnectionText::sentence(device) + QStringLiteral("\n\n")
            + tr("Are you sure you want to try\nto install Version %1 ?").arg(fileVersion));
    }
    return box.exec() == QMessageBox::Yes;
}

// A device in recovery mode has no settings to read: the user is told so,
// and where the backup of an earlier update lies, before saying Yes.
QString ZORVIKUpdater::recoveryBackupText() const
{
    QString text = tr("No backup of the settings can be made: a device in recovery mode has "
                      "no readable settings.");
    const auto known = m_lastDeviceOn.constFind(QString::fromLocal8Bit(selectedPortName()));
    const std::vector<SettingsBackup::Listed> backups = known != m_lastDeviceOn.constEnd()
        ? SettingsBackup::of(*known)
        : SettingsBackup::newestOfEachUnit();
    if (backups.empty())
        return text + QLatin1Char(' ') + tr("No backup of an earlier update exists.");
    const auto line = [](const SettingsBackup::Listed& backup) {
        return tr("Serial number %1, saved %2: %3")
            .arg(ShownText::of(backup.file.origin().serial),
                 ShownText::of(backup.file.origin().saved),
                 ShownText::of(QDir::toNativeSeparators(fromUtf8(backup.path))));
    };
    if (known != m_lastDeviceOn.constEnd())
        return text + QStringLiteral("\n") + tr("The newest backup of this unit:")
            + QStringLiteral("\n") + line(backups.front());
    QStringList lines;
    for (const SettingsBackup::Listed& backup : backups)
        lines << line(backup);
    return text + QStringLiteral("\n") + tr("Backups of earlier updates (the newest of each "
                                             "unit):")
        + QStringLiteral("\n") + lines.join(QLatin1Char('\n'));
}

// After the confirmation and before the mode request: the settings as the
// device holds them, saved where the next update's backups go too. The
// transfer then starts on the port opened and checked afresh.
bool ZORVIKUpdater::backUpSettings()
{
    statusBar()->showMessage(tr("Backing up the settings..."));
    m_control->close();
    const QByteArray port = selectedPortName();
    DeviceSettings reading(*m_control);
    QString problem;
    if (reading.read(port.constData()) != DeviceSettings::Outcome::Read) {
        problem = tr("The settings could not be read: %1")
                      .arg(QCoreApplication::translate("ZORVI::DeviceConnection",
                                                       reading.problem().c_str()));
    } else {
        m_backup = reading.file();
        std::string path;
        std::string error;
        if (SettingsBackup::save(m_backup, reading.info(), &path, &error))
            m_backupPath = fromUtf8(path);
        else
            problem = tr("The backup could not be saved: %1").arg(ShownText::of(error));
    }
    m_control->close();
    if (!problem.isEmpty() && !updateWithoutBackup(problem))
        return false;
    if (!m_backupPath.isEmpty())
        statusBar()->showMessage(tr("Settings backed up to %1")
                                     .arg(ShownText::of(QDir::toNativeSeparators(m_backupPath))));
    return openSelectedPort();
}

bool ZORVIKUpdater::updateWithoutBackup(const QString& problem)
{
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("No backup of the settings could be made."));
    box.setInformativeText(problem + QStringLiteral("\n\n")
                           + tr("Without a backup, settings that the update changes cannot be "
                                "put back.\n\nUpdate without a backup?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() == QMessageBox::Yes)
        return true;
    statusBar()->showMessage(tr("Update not started: no backup of the settings"));
    return false;
}

// The device read again and compared with the backup through the plan of a
// load; Apply writes and reads back, Cancel leaves the device as the update
// left it.
void ZORVIKUpdater::offerRestore()
{
    statusBar()->showMessage(tr("Comparing the settings with the backup..."));
    const QByteArray port = selectedPortName();
    DeviceSettings after(*m_control);
    if (after.read(port.constData()) != DeviceSettings::Outcome::Read) {
        statusBar()->showMessage(tr("The settings could not be compared with the backup"));
        QMessageBox box(this);
        box.setWindowTitle(windowTitle());
        box.setIcon(QMessageBox::Warning);
        box.setText(tr("The settings could not be read after the update."));
        box.setInformativeText(
            QCoreApplication::translate("ZORVI::DeviceConnection", after.problem().c_str())
            + QStringLiteral("\n\n")
            + tr("The backup is kept in %1. Once the device answers, restore it in "
                 "ZORVIKMicroSettings with File > Restore Backup...")
                  .arg(ShownText::of(QDir::toNativeSeparators(m_backupPath))));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return;
    }
    const SettingsPlan plan =
        SettingsPlan::forFile(after.memory().snapshot(), after.info(), m_backup);
    if (!plan.refused() && plan.rows().empty()) {
        m_control->close();
        statusBar()->showMessage(tr("Update done; the settings are as before the update"),
                                 MESSAGE_TIMEOUT_RESULT_MS);
        return;
    }
    const SettingsPreview::Wording wording{
        [](uint16_t id) { return QString::fromLatin1(EEPROM::parameterName(id)); },
        [](uint16_t, int value) { return QString::number(value); }};
    SettingsPreview preview(plan, SettingsPreview::Purpose::Restore,
                            QFileInfo(m_backupPath).fileName(), after.info(), wording, this);
    statusBar()->clearMessage();
    if (preview.exec() != QDialog::Accepted || !preview.offersApply()) {
        m_control->close();
        statusBar()->showMessage(
            tr("Not restored: the device keeps the settings the update left"));
        return;
    }
    const SettingsApply::Result result = SettingsApply::apply(after.memory(), plan.changes());
    m_control->close();
    if (result.verified()) {
        statusBar()->showMessage(tr("Settings restored: %1 written and read back")
                                     .arg(QString::number(int(result.ids.size()))));
        return;
    }
    statusBar()->showMessage(tr("The settings could not be restored"));
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Critical);
    box.setText(tr("The settings could not be restored."));
    QString detail;
    if (!result.written)
        detail = fromUtf8(Control::describe(result.failure));
    else
        detail = tr("The device acknowledged the write, but holds other values than were "
                    "written.");
    box.setInformativeText(detail + QStringLiteral("\n\n")
                           + tr("Check the settings with ZORVIKMicroSettings before flying. The "
                                "backup is kept in %1.")
                                 .arg(ShownText::of(QDir::toNativeSeparators(m_backupPath))));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

// The update as it was read when the file was chosen: what the user saw and
// confirmed, whatever became of the file since.
void ZORVIKUpdater::transferChosenFile()
{
    statusBar()->showMessage(tr("Update in progress..."));
    setProgress(0);
    m_repaintPacer->begin();
    // How it went is in the controller's transfer report.
    m_control->transferUpdate(m_file->update());
    m_repaintPacer->end();
}

// The device restarts into its new firmware. The window keeps handling
// events meanwhile (a close request is answered, the labels repaint), with
// everything that could start something disabled.
void ZORVIKUpdater::waitForDevice()
{
    statusBar()->showMessage(tr("Waiting for Device"), MESSAGE_TIMEOUT_WAITING_MS);
    QEventLoop loop;
    QTimer::singleShot(DEVICE_RESTART_WAIT_MS, &loop, &QEventLoop::quit);
    loop.exec();
}

UpdateOutcome ZORVIKUpdater::judgeRun(const DeviceConnection::Result& after) const
{
    const UpdateOutcome::Actions actions{"press \"Start Update...\"", "press \"Refresh\""};
    return UpdateOutcome::judge(m_file->update(), m_control->lastTransfer(), after, actions);
}

// One line in the update records; the problem in a sentence when it could
// not be written, else empty.
QString ZORVIKUpdater::recordRun(const DeviceConnection::Result& before,
                                 const DeviceConnection::Result& after,
                                 const UpdateOutcome& outcome)
{
    UpdateJournal::Entry entry = outcome.journalEntry(
        selectedPortName().toStdString(), *m_file, before, after, m_control->lastTransfer());
    entry.backup = m_backupPath.toStdString();
    if (UpdateJournal::append(entry))
        return QString();
    const std::string path = UpdateJournal::path();
    if (path.empty())
        return tr("The update could not be recorded: no folder for the update records is "
                  "known.");
    return tr("The update could not be recorded in %1.").arg(QFile::decodeName(path.c_str()));
}

QString ZORVIKUpdater::statusOf(const UpdateOutcome& outcome)
{
    switch (outcome.kind()) {
    case UpdateOutcome::Kind::Done: return tr("Update done");
    case UpdateOutcome::Kind::Failed: return tr("Update failed");
    case UpdateOutcome::Kind::Interrupted: return tr("Update interrupted");
    case UpdateOutcome::Kind::VersionsDiffer: return tr("Update not confirmed by the device");
    case UpdateOutcome::Kind::RecoveryAfterUpdate:
        return tr("ZORVIK Device in Recovery-Mode after the update");
    case UpdateOutcome::Kind::NoDeviceAfterUpdate:
        return tr("No ZORVIK Device found after the update");
    }
    return tr("Update failed");
}

QMessageBox::Icon ZORVIKUpdater::iconOf(const UpdateOutcome& outcome)
{
    switch (outcome.kind()) {
    case UpdateOutcome::Kind::Done: return QMessageBox::Information;
    case UpdateOutcome::Kind::Failed:
    case UpdateOutcome::Kind::Interrupted: return QMessageBox::Critical;
    default: return QMessageBox::Warning;
    }
}

void ZORVIKUpdater::showOutcome(const UpdateOutcome& outcome, const QString& recordProblem,
                                const Control::TransferReport& transfer)
{
    // The outcome takes the place of the note about the close request.
    closeCloseNotice();
    statusBar()->showMessage(statusOf(outcome), outcome.done() ? MESSAGE_TIMEOUT_RESULT_MS : 0);
    QStringList details;
    for (const std::string& part : {outcome.detail(), outcome.guidance()})
        if (!part.empty())
            details << QCoreApplication::translate("ZORVI::UpdateOutcome", part.c_str());
    if (!recordProblem.isEmpty())
        details << recordProblem;

    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(iconOf(outcome));
    box.setText(QCoreApplication::translate("ZORVI::UpdateOutcome", outcome.headline().c_str()));
    box.setInformativeText(details.join(QStringLiteral("\n\n")));
    // The port's reason would name another step than the transfer's ("check
    // that it is powered" about a device that answers): the details tell
    // the transfer's own failure.
    const std::string transferText = Control::describe(transfer);
    if (!transferText.empty())
        box.setDetailedText(
            QCoreApplication::translate("ZORVI::UpdateOutcome", transferText.c_str()));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

// Hiding the window would leave the remaining records, the wait and the
// check of the device running unseen, and a user who then unplugs breaks
// the device. The note does not block: the transfer goes on behind it.
void ZORVIKUpdater::closeEvent(QCloseEvent* event)
{
    if (!m_running) {
        QMainWindow::closeEvent(event);
        // The simulated device goes with the window.
        if (event->isAccepted())
            m_simulatedDeviceMenu->stopDevice();
        return;
    }
    event->ignore();
    m_closeWhenDone = true;
    answerCloseDuringRun();
}

void ZORVIKUpdater::closeCloseNotice()
{
    if (m_closeNotice)
        m_closeNotice->close();
}

void ZORVIKUpdater::answerCloseDuringRun()
{
    if (m_closeNotice)
        return;
    m_closeNotice = new QMessageBox(this);
    m_closeNotice->setAttribute(Qt::WA_DeleteOnClose);
    m_closeNotice->setWindowTitle(windowTitle());
    m_closeNotice->setIcon(QMessageBox::Information);
    m_closeNotice->setText(tr("An update is running."));
    m_closeNotice->setInformativeText(
        tr("The window will close when the update has ended and its outcome is shown. "
           "Keep the device connected until then."));
    m_closeNotice->setStandardButtons(QMessageBox::Ok);
    // Not modal, not even to the window (as open() would make it): the run
    // keeps its window; the note only tells what happens to the request.
    m_closeNotice->setWindowModality(Qt::NonModal);
    m_closeNotice->show();
}

// ---------------------------------------------------------------------------
// Menu

void ZORVIKUpdater::onExit()
{
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Question);
    box.setText(tr("Exit ZORVIK Updater?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() == QMessageBox::Yes)
        close();
}

// Where each update left its line, for the user and the support.
void ZORVIKUpdater::onUpdateRecords()
{
    const std::string path = UpdateJournal::path();
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Each update is recorded in one line of a text file: time, port, file and "
                   "its SHA-256, versions before and after, records sent and outcome."));
    box.setInformativeText(path.empty()
                               ? tr("No folder for the update records is known: set %1.")
                                     .arg(QString::fromLatin1(UpdateJournal::folderVariables()))
                               : QFile::decodeName(path.c_str()));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void ZORVIKUpdater::onAbout()
{
    const auto versions =
        AboutBox::versionsOf(version(), QString::fromLatin1(Version::RELEASE_DATE));
    auto* about = new AboutBox(AboutBox::Program::Updater, versions, this, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    about->show();
}

} // namespace ZORVI
