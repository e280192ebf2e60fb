#include "ZORVIKUpdater.h"

#include "AboutBox.h"
#include "AutoDetectInterface.h"
#include "Control.h"
#include "DeviceConnection.h"
#include "DeviceInfo.h"
#include "Update.h"
#include "ui_ZORVIKUpdater.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace ZORVI {

ZORVIKUpdater* ZORVIKUpdater::s_progressWindow = nullptr;

namespace {

const char* const URI_LIST_FORMAT = "text/uri-list";
constexpr int MESSAGE_TIMEOUT_CHECKING_MS = 5000;
constexpr int MESSAGE_TIMEOUT_RESULT_MS = 10000;
constexpr int MESSAGE_TIMEOUT_WAITING_MS = 2000;

} // namespace

ZORVIKUpdater::ZORVIKUpdater(QWidget* parent)
    : QMainWindow(parent)
    , m_ui(new Ui::ZORVIKUpdaterClass)
    , m_interfaceTimer(new QTimer(this))
{
    m_interfaceTimer->setObjectName(QStringLiteral("m_interfaceTimer"));
    m_ui->setupUi(this);

    m_control = std::make_unique<Control>();
    progressFunction(0, this);
    m_control->setProgressCallback(&ZORVIKUpdater::progressFunction);

    makeConnections();
    updateFileChanged(QString());
    clearDeviceInfo();
    onInterfaceTimer();
    m_interfaceTimer->start(INTERFACE_POLL_MS);
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
    connect(m_interfaceTimer, &QTimer::timeout, this, &ZORVIKUpdater::onInterfaceTimer);
    connect(m_ui->m_edtFileName, &QLineEdit::textChanged, this,
            &ZORVIKUpdater::updateFileChanged);
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
    m_ui->m_edtFileName->setText(path);
}

void ZORVIKUpdater::libraryInfo(char* buildDate, uint32_t size, uint32_t* major,
                                uint32_t* minor, uint32_t* patch) const
{
    m_control->libraryInfo(buildDate, size, major, minor, patch);
}

// ---------------------------------------------------------------------------
// Port list

QStringList ZORVIKUpdater::enumeratePorts()
{
    QStringList ports;
    char name[PORT_NAME_SIZE];
    for (uint32_t index = 0; m_control->enumeratePort(index, name, sizeof name); ++index)
        ports.append(QString::fromLocal8Bit(name));
    return ports;
}

void ZORVIKUpdater::onInterfaceTimer()
{
    const QString remembered = m_ui->m_cmbBoxZorvilink->currentText();
    const QStringList present = enumeratePorts();

    QStringList ports = m_knownPorts;
    bool changed = false;
    for (const QString& known : m_knownPorts) {
        if (!present.contains(known, Qt::CaseSensitive)) {
            ports.removeAll(known);
            changed = true;
        }
    }
    for (const QString& port : present) {
        if (!m_knownPorts.contains(port, Qt::CaseSensitive)) {
            ports.append(port);
            changed = true;
        }
    }
    if (!changed)
        return;

    // Plain character-code order, as the user knows it from the system's
    // own port list (COM10 before COM3).
    std::sort(ports.begin(), ports.end());
    m_knownPorts = ports;
    rebuildPortList(ports, remembered);
}

void ZORVIKUpdater::rebuildPortList(const QStringList& ports, const QString& remembered)
{
    QComboBox* combo = m_ui->m_cmbBoxZorvilink;
    disconnectRefresh();
    combo->clear();
    combo->addItems(ports);
    const int index = remembered.isEmpty() ? -1 : ports.indexOf(remembered);
    combo->setCurrentIndex(index);
    if (index < 0)
        clearDeviceInfo();
    connectRefresh();
}

void ZORVIKUpdater::checkInterface()
{
    m_ui->m_btnUpdate->setEnabled(false);
    m_portSelected = m_ui->m_cmbBoxZorvilink->currentIndex() >= 0;
    updateStartButton();
}

void ZORVIKUpdater::updateStartButton()
{
    m_ui->m_btnUpdate->setEnabled(m_portSelected && m_fileValid);
}

void ZORVIKUpdater::setInterface(QString qInterface)
{
    const int index = m_knownPorts.indexOf(qInterface);
    if (index < 0)
        return;
    m_ui->m_cmbBoxZorvilink->setCurrentIndex(index);
    checkInterface();
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
    setInterface(qSerial);
}

// Port names and paths go to the device link as 8-bit text in the locale's
// encoding; a name it cannot express simply names no port or file there.
QByteArray ZORVIKUpdater::selectedPortName() const
{
    return m_ui->m_cmbBoxZorvilink->currentText().toLocal8Bit();
}

QByteArray ZORVIKUpdater::updateFilePath() const
{
    return QFile::encodeName(m_ui->m_edtFileName->text());
}

// ---------------------------------------------------------------------------
// Adapter and device

void ZORVIKUpdater::btnZorviRefreshClick()
{
    m_ui->centralwidget->setEnabled(false);
    clearDeviceInfo();
    statusBar()->showMessage(tr("Checking Interface..."), MESSAGE_TIMEOUT_CHECKING_MS);

    const QByteArray port = selectedPortName();
    using Outcome = DeviceConnection::Outcome;
    const Outcome opened = DeviceConnection::openPort(*m_control, port.constData());
    if (opened == Outcome::NoEcho) {
        QMessageBox box(this);
        box.setWindowTitle(windowTitle());
        box.setIcon(QMessageBox::Critical);
        box.setText(tr("KORLINK Interface Problem"));
        box.setInformativeText(
            tr("Communication using the selected Interface \"%1\" is not working "
               "correctly.\nUse \"Autodetect...\" to identify the KORLINK-Adapter "
               "automatically.\n\nIf this problem persists contact ZORVIK-Support.")
                .arg(QString::fromLocal8Bit(port)));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    } else if (opened != Outcome::Found) {
        statusBar()->showMessage(
            tr("Cannot use %1: %2")
                .arg(QString::fromLocal8Bit(port),
                     QCoreApplication::translate("ZORVI::DeviceConnection",
                                                 DeviceConnection::reason(opened))));
    } else {
        statusBar()->showMessage(tr("Querying ZORVIK Device..."));
        const DeviceConnection::Result found = DeviceConnection::probe(*m_control);
        if (found.outcome == Outcome::Found) {
            showDeviceInfo(found.info);
            statusBar()->showMessage(tr("ZORVIK Device found"), MESSAGE_TIMEOUT_RESULT_MS);
        } else if (found.outcome == Outcome::Recovery) {
            showRecoveryInfo(found.recoveryHardware);
            statusBar()->showMessage(tr("ZORVIK Device in Recovery-Mode found"),
                                     MESSAGE_TIMEOUT_RESULT_MS);
        } else {
            statusBar()->showMessage(tr("No ZORVIK Device found"), MESSAGE_TIMEOUT_RESULT_MS);
        }
        m_control->close();
    }
    m_ui->centralwidget->setEnabled(true);
}

void ZORVIKUpdater::showDeviceInfo(const DeviceInfo& info)
{
    m_ui->m_lblZorviAppVer->setText(QString::fromStdString(info.applicationVersionText()));
    m_ui->m_lblZorviHWVer->setText(QString::fromStdString(info.hardwareVersionText()));
    m_ui->m_lblZorviEEPVer->setText(QString::fromStdString(info.dataVersionText()));
    m_ui->m_lblZorviSerial->setText(QString::fromStdString(info.serialLabelText()));
}

void ZORVIKUpdater::showRecoveryInfo(uint8_t hardwareByte)
{
    clearDeviceInfo();
    m_ui->m_lblZorviHWVer->setText(QString::fromStdString(recoveryHardwareText(hardwareByte))
                                   + tr(" (Recovery-Mode)"));
}

void ZORVIKUpdater::clearDeviceInfo()
{
    m_ui->m_lblZorviHWVer->clear();
    m_ui->m_lblZorviAppVer->clear();
    m_ui->m_lblZorviEEPVer->clear();
    m_ui->m_lblZorviSerial->clear();
}

// ---------------------------------------------------------------------------
// Update file

void ZORVIKUpdater::btnFileOpenClick()
{
    // The dialog runs its own event loop; the port list must not change the
    // selection (and ask the device) behind it.
    m_interfaceTimer->stop();
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open ZORVIK Update File"), QString(),
        tr("Update Files (*.upd);; All Files (*.*)"));
    if (!path.isEmpty())
        m_ui->m_edtFileName->setText(path);
    m_interfaceTimer->start(INTERFACE_POLL_MS);
}

void ZORVIKUpdater::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(QString::fromLatin1(URI_LIST_FORMAT)))
        event->acceptProposedAction();
}

void ZORVIKUpdater::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data->hasUrls())
        m_ui->m_edtFileName->setText(data->urls().constFirst().toLocalFile());
    event->acceptProposedAction();
}

// The field's current text is what counts: the slot also runs once at
// construction with no argument worth reading.
void ZORVIKUpdater::updateFileChanged(QString /*qFileName*/)
{
    m_ui->m_btnUpdate->setEnabled(false);
    m_fileValid = false;

    const QString path = m_ui->m_edtFileName->text();
    if (path.isEmpty()) {
        clearFileVersions(QString());
        return;
    }
    const Update update(updateFilePath().constData());
    if (!update.isValid()) {
        clearFileVersions(tr("failed"));
        return;
    }
    m_fileValid = true;
    showFileVersions(update.versionInfo());
    updateStartButton();
    if (update.description())
        showDescription(update.description());
}

void ZORVIKUpdater::showFileVersions(const DeviceInfo& versions)
{
    // The file names its hardware by whole bytes (10 major, 11 minor), where
    // the device packs major and minor into nibbles; 255 means any minor.
    const uint8_t hardwareMajor = versions.bytes[10];
    const uint8_t hardwareMinor = versions.bytes[11];
    const QString minorText = hardwareMinor == 255 ? QStringLiteral("x")
                                                   : QString::number(hardwareMinor);
    m_ui->m_lblFileHWVer->setText(QString::number(hardwareMajor) + QLatin1Char('.') + minorText);
    m_ui->m_lblFileAppVer->setText(QString::fromStdString(versions.applicationVersionText()));
    m_ui->m_lblFileEEPVer->setText(QString::fromStdString(versions.dataVersionText()));
}

void ZORVIKUpdater::clearFileVersions(const QString& text)
{
    m_ui->m_lblFileHWVer->setText(text);
    m_ui->m_lblFileAppVer->setText(text);
    m_ui->m_lblFileEEPVer->setText(text);
}

void ZORVIKUpdater::showDescription(const char* description)
{
    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setIcon(QMessageBox::Information);
    box.setText(QString::fromLatin1(description));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

// ---------------------------------------------------------------------------
// Update run

void ZORVIKUpdater::setProgress(uint8_t percent)
{
    m_ui->m_progressBar->setValue(percent);
}

void ZORVIKUpdater::progressFunction(int percent, void* window)
{
    if (window)
        s_progressWindow = static_cast<ZORVIKUpdater*>(window);
    if (!s_progressWindow)
        return;
    s_progressWindow->setProgress(static_cast<uint8_t>(percent & 0xFF));
    QCoreApplication::processEvents();
}

void ZORVIKUpdater::btnUpdateClick()
{
    beginRun();
    clearDeviceInfo();
    m_control->testInterface(selectedPortName().constData());

    QMessageBox box(this);
    box.setWindowTitle(windowTitle());
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    prepareConfirmation(box);
    if (box.exec() != QMessageBox::Yes) {
        m_control->close();
        endRun();
        return;
    }

    clearDeviceInfo();
    statusBar()->showMessage(tr("Update in progress..."));
    const int result = m_control->runUpdate(updateFilePath().constData());
    reportResult(box, result);
    waitForDevice();
    if (result == 0)
        queryDeviceAgain();
    m_control->close();
    endRun();
}

// While a run holds the port, nothing may reopen it: no menu action and no
// port-list change (which would re-select the port and ask the device).
void ZORVIKUpdater::beginRun()
{
    m_interfaceTimer->stop();
    m_ui->menubar->setEnabled(false);
    m_ui->centralwidget->setEnabled(false);
}

void ZORVIKUpdater::endRun()
{
    m_ui->centralwidget->setEnabled(true);
    m_ui->menubar->setEnabled(true);
    m_interfaceTimer->start(INTERFACE_POLL_MS);
}

void ZORVIKUpdater::prepareConfirmation(QMessageBox& box)
{
    const QString fileVersion = m_ui->m_lblFileAppVer->text();
    const DeviceConnection::Result found = DeviceConnection::probe(*m_control);
    if (found.outcome == DeviceConnection::Outcome::Found) {
        showDeviceInfo(found.info);
        box.setIcon(QMessageBox::Information);
        box.setText(tr("ZORVIK Device is ready for update."));
        box.setInformativeText(tr("Are you sure you want to upgrade\nfrom Version %1 to %2?")
                                   .arg(m_ui->m_lblZorviAppVer->text(), fileVersion));
    } else if (found.outcome == DeviceConnection::Outcome::Recovery) {
        showRecoveryInfo(found.recoveryHardware);
        statusBar()->showMessage(tr("ZORVIK Device in Recovery-Mode is ready for update."));
        box.setIcon(QMessageBox::Information);
        box.setText(tr("ZORVIK Device in Recovery Mode found!"));
        box.setInformativeText(
            tr("Are you sure you want to install\nVersion %1 ?").arg(fileVersion));
    } else {
        box.setIcon(QMessageBox::Warning);
        box.setText(tr("No ZORVIK Device found!"));
        box.setInformativeText(
            tr("Are you sure you want to try\nto install Version %1 ?").arg(fileVersion));
    }
}

void ZORVIKUpdater::reportResult(QMessageBox& box, int result)
{
    box.setInformativeText(QString());
    box.setStandardButtons(QMessageBox::Ok);
    if (result != 0) {
        statusBar()->showMessage(tr("Update failed"));
        box.setIcon(QMessageBox::Critical);
        box.setText(tr("Device update failed."));
    } else {
        statusBar()->showMessage(tr("Update done"), MESSAGE_TIMEOUT_RESULT_MS);
        box.setIcon(QMessageBox::Information);
        box.setText(tr("Device updated successfully."));
    }
    box.exec();
}

// The device restarts into its new firmware; the wait blocks the window on
// purpose, so the status line is painted by hand before it.
void ZORVIKUpdater::waitForDevice()
{
    statusBar()->showMessage(tr("Waiting for Device"), MESSAGE_TIMEOUT_WAITING_MS);
    statusBar()->repaint();
    m_control->sleep(DEVICE_RESTART_WAIT_MS);
}

void ZORVIKUpdater::queryDeviceAgain()
{
    const DeviceConnection::Result found = DeviceConnection::probe(*m_control);
    if (found.outcome == DeviceConnection::Outcome::Found)
        showDeviceInfo(found.info);
    else if (found.outcome == DeviceConnection::Outcome::Recovery)
        showRecoveryInfo(found.recoveryHardware);
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

void ZORVIKUpdater::onAbout()
{
    auto* about = new AboutBox(AboutBox::Program::Updater,
                               AboutBox::versionsOf(*this, QString::fromLatin1(BUILD_DATE)),
                               this, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    about->show();
}

} // namespace ZORVI
