// The updater's main window against the device simulator: port list, refresh,
// update files, drag and drop, the update run and its boxes, auto-detection
// as the window sees it, exit and about.

#include "AboutBox.h"
#include "Control.h"
#include "DeviceInfo.h"
#include "ModalBoxAnswerer.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SimulatorProcess.h"
#include "UpdateImage.h"
#include "ZORVIKUpdater.h"

#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using ZORVI::ZORVIKUpdater;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Testing::SimulatorProcess;


namespace {

// Straight to the window's handler: QApplication delivers drop events only
// inside a drag that its drag manager runs.
void deliver(QWidget& window, QEvent& event)
{
    static_cast<QObject&>(window).event(&event);
}

constexpr int PORT_LIST_WAIT_MS = 3000;
const char* const FILE_LABELS[] = {"m_lblFileHWVer", "m_lblFileAppVer", "m_lblFileEEPVer"};
const char* const DEVICE_LABELS[] = {"m_lblZorviHWVer", "m_lblZorviAppVer", "m_lblZorviEEPVer",
                                     "m_lblZorviSerial"};

// The simulator's identity (its defaults) and what it reports after a
// transfer.
const char* const SIM_APPLICATION = "3.1.7";
const char* const SIM_HARDWARE = "8.2";
const char* const SIM_DATA = "1.2";
const char* const SIM_UPDATED_APPLICATION = "3.1.8";
const char* const SIM_UPDATED_DATA = "1.3";
const std::array<uint8_t, 12> SIM_SERIAL_ON_WIRE = {0x5A, 0x17, 0xC3, 0x08, 0xE2, 0x4D,
                                                    0x91, 0x2B, 0xE6, 0x70, 0x3F, 0xA4};

QString simSerialLabel()
{
    ZORVI::DeviceInfo info;
    for (size_t k = 0; k < SIM_SERIAL_ON_WIRE.size(); ++k)
        info.bytes[ZORVI::DeviceInfo::SERIAL_OFFSET + k] = SIM_SERIAL_ON_WIRE[11 - k];
    return QString::fromStdString(info.serialLabelText());
}

QString text(const QWidget& window, const char* labelName)
{
    auto* label = window.findChild<QLabel*>(QLatin1String(labelName));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(labelName);
}

QStringList texts(const QWidget& window, const char* const (&names)[3])
{
    QStringList out;
    for (const char* name : names)
        out << text(window, name);
    return out;
}

QStringList deviceLabels(const QWidget& window)
{
    QStringList out;
    for (const char* name : DEVICE_LABELS)
        out << text(window, name);
    return out;
}

template <class T> T* child(const QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QComboBox* portCombo(const QWidget& window)
{
    return child<QComboBox>(window, "m_cmbBoxZorvilink");
}

QPushButton* startButton(const QWidget& window)
{
    return child<QPushButton>(window, "m_btnUpdate");
}

QTimer* interfaceTimer(const QWidget& window)
{
    return child<QTimer>(window, "m_interfaceTimer");
}

bool waitUntilListed(const QWidget& window, const QString& port)
{
    return QTest::qWaitFor([&] { return portCombo(window)->findText(port) >= 0; },
                           PORT_LIST_WAIT_MS);
}

// Selecting a port asks the device at once (the refresh runs inside).
void selectPort(const QWidget& window, const QString& port)
{
    QComboBox* combo = portCombo(window);
    combo->setCurrentIndex(combo->findText(port));
}

// The port can be opened, so nobody holds it (ports open exclusively).
bool portIsFree(const std::string& port)
{
    ZORVI::Control probe;
    const bool opened = probe.testInterface(port.c_str());
    probe.close();
    return opened;
}

int recordsReceived(const SimulatorProcess& sim, int32_t targetAddress)
{
    const std::string prefix = "request dst=" + std::to_string(targetAddress) + " src=6 cmd=1 ";
    int count = 0;
    for (const std::string& line : sim.logLines("request"))
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

int modeRequests(const SimulatorProcess& sim)
{
    int count = 0;
    for (const std::string& line : sim.logLines("request"))
        count += line.find(" cmd=0 ") != std::string::npos ? 1 : 0;
    return count;
}

std::vector<std::string> arguments(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& item : list)
        out.push_back(item.toStdString());
    return out;
}

UpdateImage::Header runHeader()
{
    UpdateImage::Header header;
    header.hardwareMajor = 8;
    header.application[2] = 8; // 3.1.8
    return header;
}

// Three records of 100, 100 and 50 bytes, length fields included.
UpdateImage::Bytes threeRecords()
{
    return UpdateImage::join(
        {UpdateImage::record(98, 0x10), UpdateImage::record(98, 0x80), UpdateImage::record(48)});
}

} // namespace

class UpdaterWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startStateHasNothingSelected();
    void portListFollowsTheSystem();
    void selectingPortEnablesStartOnlyWithValidFile_data();
    void selectingPortEnablesStartOnlyWithValidFile();
    void fileLabels_data();
    void fileLabels();
    void descriptionBoxForKindTwoOnly_data();
    void descriptionBoxForKindTwoOnly();
    void dropTakesTheFirstUrl();
    void dropOfNonLocalUrlClearsTheFile();
    void dragWithoutUriListIsRefused();
    void fileDialogStopsThePortListTimer();
    void refreshShowsDeviceState_data();
    void refreshShowsDeviceState();
    void refreshWithoutEchoShowsProblemBox();
    void confirmationAnsweredNo_data();
    void confirmationAnsweredNo();
    void fullRunAnsweredYes();
    void failedRunLeavesDeviceLabelsEmpty();
    void fileBrokenAfterLoadingFailsTheRun();
    void pathOutsideAsciiIsRead();
    void autodetectReport_data();
    void autodetectReport();
    void autodetectReplugSelectsThePort();
    void exitAsksFirst_data();
    void exitAsksFirst();
    void aboutBoxShowsUpdaterVersions();

private:
    QString writeFile(const QString& name, const UpdateImage::Bytes& image);
    QString writeRunFile();

    std::unique_ptr<QTemporaryDir> m_files;
};

void UpdaterWindowTest::initTestCase()
{
    // "E&xit" closes the window; the test goes on.
    QApplication::setQuitOnLastWindowClosed(false);
}

void UpdaterWindowTest::init()
{
    m_files = std::make_unique<QTemporaryDir>();
    QVERIFY(m_files->isValid());
}

QString UpdaterWindowTest::writeFile(const QString& name, const UpdateImage::Bytes& image)
{
    const QString path = m_files->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QByteArray::fromStdString(UpdateImage::text(image, "\n")));
    return path;
}

QString UpdaterWindowTest::writeRunFile()
{
    return writeFile("run.upd", UpdateImage::join({UpdateImage::header(runHeader()),
                                                   threeRecords()}));
}

void UpdaterWindowTest::startStateHasNothingSelected()
{
    PrivateRuntimeDir runtime;
    PtyPair ptyA, ptyB;
    QVERIFY(runtime.isReady() && ptyA.isOpen() && ptyB.isOpen());
    QVERIFY(PortMap::add("ZTESTA", ptyA.slavePath()));
    QVERIFY(PortMap::add("ZTESTB", ptyB.slavePath()));

    ZORVIKUpdater window;
    window.setUpdateFile(writeFile("valid.upd", UpdateImage::example()));

    QVERIFY(portCombo(window)->findText("ZTESTA") >= 0);
    QVERIFY(portCombo(window)->findText("ZTESTB") >= 0);
    QCOMPARE(portCombo(window)->currentIndex(), -1);
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QVERIFY(!startButton(window)->isEnabled());
    QCOMPARE(child<QProgressBar>(window, "m_progressBar")->value(), 0);
    QVERIFY(interfaceTimer(window)->isActive());
    QCOMPARE(interfaceTimer(window)->interval(), 1000);
}

void UpdaterWindowTest::portListFollowsTheSystem()
{
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    PtyPair other;
    QVERIFY(other.isOpen());

    ZORVIKUpdater window;
    window.setUpdateFile(writeRunFile());
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION));
    QVERIFY(startButton(window)->isEnabled());
    const size_t requestsAfterSelection = sim.logLines("request").size();

    // Plugged in: listed within about a second, selection and device labels
    // untouched, the device not asked.
    QVERIFY(PortMap::add("AAPLUGGED", other.slavePath()));
    QVERIFY(waitUntilListed(window, "AAPLUGGED"));
    QCOMPARE(portCombo(window)->currentText(), simPort);
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION));
    QCOMPARE(sim.logLines("request").size(), requestsAfterSelection);
    QVERIFY(startButton(window)->isEnabled());

    // The selected adapter unplugged: no selection, no device, no Start.
    const std::string node = PortMap::resolve(sim.portName());
    QVERIFY(PortMap::remove(sim.portName()));
    QVERIFY(QTest::qWaitFor([&] { return portCombo(window)->findText(simPort) < 0; },
                            PORT_LIST_WAIT_MS));
    QCOMPARE(portCombo(window)->currentIndex(), -1);
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QVERIFY(!startButton(window)->isEnabled());
    PortMap::add(sim.portName(), node);
}

void UpdaterWindowTest::selectingPortEnablesStartOnlyWithValidFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("startEnabled");
    QTest::addColumn<QString>("fileApplication");
    QTest::newRow("valid file") << "valid" << true << "3.1.0";
    QTest::newRow("no file") << "" << false << "";
    QTest::newRow("file not valid") << "broken" << false << "failed";
}

void UpdaterWindowTest::selectingPortEnablesStartOnlyWithValidFile()
{
    QFETCH(QString, file);
    QFETCH(bool, startEnabled);
    QFETCH(QString, fileApplication);
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());

    UpdateImage::Bytes image = UpdateImage::example();
    image[7] ^= 0x01; // CRC no longer fits
    ZORVIKUpdater window;
    if (file == "valid")
        window.setUpdateFile(writeFile("valid.upd", UpdateImage::example()));
    else if (file == "broken")
        window.setUpdateFile(writeFile("broken.upd", image));
    QVERIFY(!startButton(window)->isEnabled());

    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QCOMPARE(startButton(window)->isEnabled(), startEnabled);
    QCOMPARE(text(window, "m_lblFileAppVer"), fileApplication);
    QCOMPARE(deviceLabels(window),
             QStringList({SIM_HARDWARE, SIM_APPLICATION, SIM_DATA, simSerialLabel()}));
    QVERIFY(portIsFree(sim.portName()));
}

void UpdaterWindowTest::fileLabels_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QStringList>("labels");

    UpdateImage::Header exact;
    exact.hardwareMinor = 3;
    exact.application[0] = 10;
    exact.application[2] = 255;
    exact.data[0] = 300;
    const UpdateImage::Bytes one = UpdateImage::record(3);
    auto bytes = [](const UpdateImage::Bytes& image) {
        return QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()));
    };
    UpdateImage::Bytes shortRecords = UpdateImage::example();
    shortRecords.push_back(0x00);

    QTest::newRow("any minor") << bytes(UpdateImage::example())
                               << QStringList({"2.x", "3.1.0", "1.2"});
    QTest::newRow("exact minor, wide numbers")
        << bytes(UpdateImage::join({UpdateImage::header(exact), one}))
        << QStringList({"2.3", "10.1.255", "300.2"});
    QTest::newRow("records do not end with the file")
        << bytes(shortRecords) << QStringList({"failed", "failed", "failed"});
    QTest::newRow("empty file") << QByteArray() << QStringList({"failed", "failed", "failed"});
}

void UpdaterWindowTest::fileLabels()
{
    QFETCH(QByteArray, image);
    QFETCH(QStringList, labels);
    PrivateRuntimeDir runtime;
    ZORVIKUpdater window;

    window.setUpdateFile(writeFile(
        "file.upd", UpdateImage::Bytes(image.constData(), image.constData() + image.size())));
    QCOMPARE(texts(window, FILE_LABELS), labels);

    window.setUpdateFile(QString());
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"", "", ""}));
}

void UpdaterWindowTest::descriptionBoxForKindTwoOnly_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("description");
    QTest::newRow("kind 1") << 1 << "";
    QTest::newRow("kind 2 without description") << 2 << "";
    QTest::newRow("kind 2 with description") << 2 << "Firmware 3.1.0\nfor hardware 2.x";
}

void UpdaterWindowTest::descriptionBoxForKindTwoOnly()
{
    QFETCH(int, kind);
    QFETCH(QString, description);
    PrivateRuntimeDir runtime;
    UpdateImage::Header header;
    header.kind = static_cast<uint16_t>(kind);
    header.description = description.toStdString();
    const QString path = writeFile(
        "described.upd", UpdateImage::join({UpdateImage::header(header), UpdateImage::record(4)}));
    const QString other = writeFile("other.upd", UpdateImage::example());

    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window);
    window.setUpdateFile(path);
    window.setUpdateFile(other);
    window.setUpdateFile(path);

    QCOMPARE(text(window, "m_lblFileAppVer"), QString("3.1.0"));
    if (description.isEmpty()) {
        QCOMPARE(answerer.count(), 0);
        return;
    }
    // Shown again each time the field changes to that file.
    QCOMPARE(answerer.count(), 2);
    for (const SeenBox& box : answerer.seen()) {
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(box.text, description);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

void UpdaterWindowTest::dropTakesTheFirstUrl()
{
    PrivateRuntimeDir runtime;
    UpdateImage::Header second;
    second.hardwareMinor = 7;
    const QString first = writeFile("first.upd", UpdateImage::example());
    const QString other = writeFile(
        "second.upd", UpdateImage::join({UpdateImage::header(second), UpdateImage::record(1)}));
    ZORVIKUpdater window;

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(other)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    deliver(window, drop);

    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), first);
    QCOMPARE(text(window, "m_lblFileHWVer"), QString("2.x"));
}

void UpdaterWindowTest::dropOfNonLocalUrlClearsTheFile()
{
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKUpdater window;
    window.setUpdateFile(writeFile("valid.upd", UpdateImage::example()));
    QVERIFY(waitUntilListed(window, QString::fromStdString(sim.portName())));
    selectPort(window, QString::fromStdString(sim.portName()));
    QVERIFY(startButton(window)->isEnabled());

    QMimeData data;
    data.setUrls({QUrl("https://example.com/firmware.upd")});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    deliver(window, drop);

    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), QString());
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"", "", ""}));
    QVERIFY(!startButton(window)->isEnabled());
}

void UpdaterWindowTest::dragWithoutUriListIsRefused()
{
    PrivateRuntimeDir runtime;
    ZORVIKUpdater window;
    QVERIFY(window.acceptDrops());

    QMimeData plain;
    plain.setText(QStringLiteral("/tmp/firmware.upd"));
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &plain, Qt::LeftButton,
                            Qt::NoModifier);
    refused.ignore();
    deliver(window, refused);
    QVERIFY(!refused.isAccepted());

    QMimeData urls;
    urls.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/firmware.upd"))});
    QDragEnterEvent accepted(QPoint(10, 10), Qt::CopyAction, &urls, Qt::LeftButton,
                             Qt::NoModifier);
    accepted.ignore();
    deliver(window, accepted);
    QVERIFY(accepted.isAccepted());
}

void UpdaterWindowTest::fileDialogStopsThePortListTimer()
{
    PrivateRuntimeDir runtime;
    const QString path = writeFile("chosen.upd", UpdateImage::example());
    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window);
    bool timerRanWhileOpen = true;
    QString caption;
    answerer.setOtherHandler([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        caption = dialog->windowTitle();
        timerRanWhileOpen = interfaceTimer(window)->isActive();
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it
        return true;
    });

    child<QAction>(window, "m_action_Open_File")->trigger();

    QCOMPARE(caption, QString("Open ZORVIK Update File"));
    QVERIFY(!timerRanWhileOpen);
    QVERIFY(interfaceTimer(window)->isActive());
    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), path);
    QCOMPARE(text(window, "m_lblFileAppVer"), QString("3.1.0"));
}

void UpdaterWindowTest::refreshShowsDeviceState_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("status");
    QTest::newRow("running")
        << QStringList()
        << QStringList({SIM_HARDWARE, SIM_APPLICATION, SIM_DATA, simSerialLabel()})
        << "ZORVIK Device found";
    QTest::newRow("recovery mode") << QStringList({"--recovery", "0x81"})
                                   << QStringList({"8.1 (Recovery-Mode)", "", "", ""})
                                   << "ZORVIK Device in Recovery-Mode found";
    QTest::newRow("no device") << QStringList({"--no-answer"}) << QStringList({"", "", "", ""})
                               << "No ZORVIK Device found";
}

void UpdaterWindowTest::refreshShowsDeviceState()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, labels);
    QFETCH(QString, status);
    SimulatorProcess sim(arguments(simArguments));
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window);
    QVERIFY(waitUntilListed(window, QString::fromStdString(sim.portName())));
    selectPort(window, QString::fromStdString(sim.portName()));

    QCOMPARE(deviceLabels(window), labels);
    QCOMPARE(window.statusBar()->currentMessage(), status);
    QCOMPARE(answerer.count(), 0);
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(portIsFree(sim.portName()));
}

void UpdaterWindowTest::refreshWithoutEchoShowsProblemBox()
{
    SimulatorProcess sim({"--no-echo"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window);
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);

    QCOMPARE(answerer.count(), 1);
    const SeenBox& box = answerer.seen().first();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QString("KORLINK Interface Problem"));
    QCOMPARE(box.informativeText,
             QString("Communication using the selected Interface \"%1\" is not working "
                     "correctly.\nUse \"Autodetect...\" to identify the KORLINK-Adapter "
                     "automatically.\n\nIf this problem persists contact ZORVIK-Support.")
                 .arg(simPort));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    // The device was never asked: only the probe went out.
    QVERIFY(sim.logLines("request").empty());
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(portIsFree(sim.portName()));
}

void UpdaterWindowTest::confirmationAnsweredNo_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("informative");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("hardwareLabel");

    QTest::newRow("device ready")
        << QStringList() << QMessageBox::Information << "ZORVIK Device is ready for update."
        << "Are you sure you want to upgrade\nfrom Version 3.1.7 to 3.1.8?"
        << "ZORVIK Device found" << SIM_HARDWARE;
    QTest::newRow("recovery mode")
        << QStringList({"--recovery", "0x81"}) << QMessageBox::Information
        << "ZORVIK Device in Recovery Mode found!"
        << "Are you sure you want to install\nVersion 3.1.8 ?"
        << "ZORVIK Device in Recovery-Mode is ready for update." << "8.1 (Recovery-Mode)";
    QTest::newRow("no device")
        << QStringList({"--no-answer"}) << QMessageBox::Warning << "No ZORVIK Device found!"
        << "Are you sure you want to try\nto install Version 3.1.8 ?" << "No ZORVIK Device found"
        << "";
}

void UpdaterWindowTest::confirmationAnsweredNo()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, boxText);
    QFETCH(QString, informative);
    QFETCH(QString, status);
    QFETCH(QString, hardwareLabel);
    SimulatorProcess sim(arguments(simArguments));
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    window.setUpdateFile(writeRunFile());
    ModalBoxAnswerer answerer(&window);
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QVERIFY(startButton(window)->isEnabled());

    answerer.plan({QMessageBox::No});
    startButton(window)->click();

    QCOMPARE(answerer.count(), 1);
    const SeenBox& box = answerer.seen().first();
    QCOMPARE(box.icon, icon);
    QCOMPARE(box.text, boxText);
    QCOMPARE(box.informativeText, informative);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.statusMessage, status);
    // Nothing was sent beyond the queries; the labels stay as the queries
    // left them.
    QCOMPARE(modeRequests(sim), 0);
    QCOMPARE(recordsReceived(sim, 0), 0);
    QCOMPARE(text(window, "m_lblZorviHWVer"), hardwareLabel);
    QVERIFY(portIsFree(sim.portName()));
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(window.menuBar()->isEnabled());
    QVERIFY(interfaceTimer(window)->isActive());
}

void UpdaterWindowTest::fullRunAnsweredYes()
{
    const QString image = m_files->filePath("received.bin");
    SimulatorProcess sim({"--save-image", image.toStdString()});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    window.show();
    window.setUpdateFile(writeRunFile());
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);

    struct Step {
        int percent;
        int recordsBefore;
        bool menuEnabled;
        bool timerActive;
    };
    QList<Step> steps;
    connect(child<QProgressBar>(window, "m_progressBar"), &QProgressBar::valueChanged, this,
            [&](int percent) {
                steps.append({percent, recordsReceived(sim, 0), window.menuBar()->isEnabled(),
                              interfaceTimer(window)->isActive()});
            });
    QStringList statusMessages;
    connect(window.statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& message) { statusMessages << message; });
    ModalBoxAnswerer answerer(&window);
    answerer.plan({QMessageBox::Yes, QMessageBox::Ok});

    startButton(window)->click();

    // Each step comes before its record goes out; the bar reaches 100 just
    // as the last one is sent. During the run no menu and no port list.
    QCOMPARE(steps.size(), 3);
    const int percents[] = {40, 80, 100};
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(steps[k].percent, percents[k]);
        QCOMPARE(steps[k].recordsBefore, k);
        QVERIFY(!steps[k].menuEnabled);
        QVERIFY(!steps[k].timerActive);
    }
    QCOMPARE(recordsReceived(sim, 0), 3);
    QFile received(image);
    QVERIFY(received.open(QIODevice::ReadOnly));
    const UpdateImage::Bytes records = threeRecords();
    QCOMPARE(received.readAll(),
             QByteArray(reinterpret_cast<const char*>(records.data()), int(records.size())));

    QCOMPARE(answerer.count(), 2);
    const SeenBox& result = answerer.seen().at(1);
    QCOMPARE(result.icon, QMessageBox::Information);
    QCOMPARE(result.text, QString("Device updated successfully."));
    QCOMPARE(result.informativeText, QString());
    QCOMPARE(result.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(result.statusMessage, QString("Update done"));
    const int done = statusMessages.indexOf("Update done");
    QVERIFY(statusMessages.indexOf("Update in progress...") >= 0);
    QVERIFY(done > statusMessages.indexOf("Update in progress..."));
    QVERIFY(statusMessages.indexOf("Waiting for Device") > done);

    // The device after its restart, asked again after the wait.
    QCOMPARE(deviceLabels(window), QStringList({SIM_HARDWARE, SIM_UPDATED_APPLICATION,
                                                SIM_UPDATED_DATA, simSerialLabel()}));
    QVERIFY(portIsFree(sim.portName()));
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(window.menuBar()->isEnabled());
    QVERIFY(interfaceTimer(window)->isActive());
}

void UpdaterWindowTest::failedRunLeavesDeviceLabelsEmpty()
{
    SimulatorProcess sim({"--refuse-record", "2"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    window.setUpdateFile(writeRunFile());
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QStringList statusMessages;
    connect(window.statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& message) { statusMessages << message; });
    ModalBoxAnswerer answerer(&window);
    answerer.plan({QMessageBox::Yes, QMessageBox::Ok});

    QElapsedTimer run;
    run.start();
    startButton(window)->click();
    const qint64 runMs = run.elapsed();

    QCOMPARE(answerer.count(), 2);
    const SeenBox& result = answerer.seen().at(1);
    QCOMPARE(result.icon, QMessageBox::Critical);
    QCOMPARE(result.text, QString("Device update failed."));
    QCOMPARE(result.informativeText, QString());
    QCOMPARE(result.statusMessage, QString("Update failed"));
    QVERIFY(statusMessages.indexOf("Waiting for Device") > statusMessages.indexOf("Update failed"));
    QVERIFY2(runMs >= 2000, qPrintable(QString::number(runMs)));

    // Stopped at the refused record; the device was not asked afterwards.
    QCOMPARE(recordsReceived(sim, 0), 2);
    const std::vector<std::string> requests = sim.logLines("request");
    QVERIFY(requests.back().rfind("request dst=0 src=6 cmd=1 ", 0) == 0);
    QCOMPARE(child<QProgressBar>(window, "m_progressBar")->value(), 80);
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QVERIFY(portIsFree(sim.portName()));
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(startButton(window)->isEnabled());
}

// The run reads the file again; what is no longer a valid update is a
// failure, and nothing goes to the device.
void UpdaterWindowTest::fileBrokenAfterLoadingFailsTheRun()
{
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    const QString path = writeRunFile();
    window.setUpdateFile(path);
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QVERIFY(startButton(window)->isEnabled());
    UpdateImage::Bytes headerOnly = UpdateImage::header(runHeader());
    QVERIFY(!writeFile("run.upd", headerOnly).isEmpty());
    ModalBoxAnswerer answerer(&window);
    answerer.plan({QMessageBox::Yes, QMessageBox::Ok});

    startButton(window)->click();

    QCOMPARE(answerer.count(), 2);
    QCOMPARE(answerer.seen().at(1).text, QString("Device update failed."));
    QCOMPARE(answerer.seen().at(1).statusMessage, QString("Update failed"));
    QCOMPARE(modeRequests(sim), 0);
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QVERIFY(portIsFree(sim.portName()));
}

// Paths reach the reader in the locale's encoding.
void UpdaterWindowTest::pathOutsideAsciiIsRead()
{
    PrivateRuntimeDir runtime;
    ZORVIKUpdater window;
    window.setUpdateFile(writeFile(QString::fromUtf8("Firmware \u00FC \u043F\u0440\u043E.upd"),
                                   UpdateImage::example()));
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"2.x", "3.1.0", "1.2"}));
}

void UpdaterWindowTest::autodetectReport_data()
{
    QTest::addColumn<bool>("listed");
    QTest::newRow("port listed") << true;
    QTest::newRow("port not listed yet") << false;
}

void UpdaterWindowTest::autodetectReport()
{
    QFETCH(bool, listed);
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    QVERIFY(waitUntilListed(window, simPort));
    ModalBoxAnswerer answerer(&window);
    const QString reported = listed ? simPort : simPort + "X";

    window.receiveAutodetect(reported);

    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().icon, QMessageBox::Information);
    QCOMPARE(answerer.seen().first().text, QString("ZORVIK KORLINK Interface found"));
    QCOMPARE(answerer.seen().first().informativeText, "KORLINK: " + reported);
    // Selecting the port asks the device.
    QCOMPARE(portCombo(window)->currentText(), listed ? simPort : QString());
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(listed ? SIM_APPLICATION : ""));
}

void UpdaterWindowTest::autodetectReplugSelectsThePort()
{
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    window.show();
    QVERIFY(waitUntilListed(window, simPort));
    ModalBoxAnswerer answerer(&window);
    // A user reads the box before closing it; by then the window lists the
    // port again.
    answerer.answerWhen([&] { return portCombo(window)->findText(simPort) >= 0; });

    child<QPushButton>(window, "m_btnAutodetect")->click();
    QPointer<QWidget> dialog = QApplication::activeModalWidget();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QString("Autodetect KORLINK Interface"));
    QCOMPARE(dialog->parentWidget(), &window);

    const std::string node = PortMap::resolve(sim.portName());
    QVERIFY(PortMap::remove(sim.portName()));
    // Gone long enough for a poll of the dialog (its timer runs apart from
    // the window's) to see it gone.
    QTest::qWait(1300);
    QVERIFY(PortMap::add(sim.portName(), node));
    QVERIFY(QTest::qWaitFor([&] { return answerer.count() > 0; }, 2 * PORT_LIST_WAIT_MS));
    QTest::qWait(1500);

    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().informativeText, "KORLINK: " + simPort);
    QVERIFY(dialog.isNull());
    QCOMPARE(portCombo(window)->currentText(), simPort);
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION));
}

void UpdaterWindowTest::exitAsksFirst_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("yes") << QMessageBox::Yes << false;
    QTest::newRow("no") << QMessageBox::No << true;
}

void UpdaterWindowTest::exitAsksFirst()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, stillOpen);
    PrivateRuntimeDir runtime;
    ZORVIKUpdater window;
    window.show();
    ModalBoxAnswerer answerer(&window);
    answerer.plan({answer});

    child<QAction>(window, "m_action_Exit")->trigger();

    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().icon, QMessageBox::Question);
    QCOMPARE(answerer.seen().first().text, QString("Exit ZORVIK Updater?"));
    QCOMPARE(answerer.seen().first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(window.isVisible(), stillOpen);

    // The window frame's close button asks nothing.
    window.show();
    QVERIFY(window.close());
    QCOMPARE(answerer.count(), 1);
}

void UpdaterWindowTest::aboutBoxShowsUpdaterVersions()
{
    PrivateRuntimeDir runtime;
    ZORVIKUpdater window;
    window.show();

    child<QAction>(window, "m_action_About")->trigger();
    QPointer<AboutBox> about = window.findChild<AboutBox*>();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), about.data());
    QCOMPARE(about->windowTitle(), QString("About ZORVIK Updater"));
    QCOMPARE(text(*about, "m_lblUpdaterVersion"), QString("1.0.6"));
    QCOMPARE(text(*about, "m_lblUpdaterDate"), QString("Aug 16 2012"));
    QCOMPARE(text(*about, "m_lblZORVICommVersion"), QString("3.1.0"));
    QCOMPARE(text(*about, "m_lblZORVICommDate"), QString("Aug 16 2012"));

    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(about.isNull());
}

QTEST_MAIN(UpdaterWindowTest)
#include "UpdaterWindowTest.moc"
