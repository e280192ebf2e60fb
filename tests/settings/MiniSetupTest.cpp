// The settings window, offscreen: the port list (against the simulator
// program and idle pseudo-terminals, since the system's list is the point
// there), and against the simulated device in the test's process the
// connection with its version rules, the filled rows, the write cycle's
// reactions and the keep-alive.

#include "Control.h"
#include "DeviceConnection.h"
#include "InProcessDevice.h"
#include "LinkPackets.h"
#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "PrivatePorts.h"
#include "SerialMask.h"
#include "SettingsWindowSteps.h"
#include "WindowChild.h"
#include "WindowTimers.h"
#include "ZORVIKMiniSetup.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

// The port list tests play the machine's other ports with the simulator
// program and idle pseudo-terminals: Linux ones.
#ifndef _WIN32
#include "PortMap.h"
#include "PtyPair.h"
#include "SimulatorProcess.h"

using ZORVI::Communication::Serial::PortMap;
using ZORVI::Testing::SimulatorProcess;
#endif

using ZORVI::DeviceConnection;
using ZORVI::ZORVIKMiniSetup;

using namespace SettingsWindowSteps;
namespace Id = ZORVI::EEPROM;

namespace {

const QString WEB_SITE = QStringLiteral("https://www.zorvik-heli.example");
const QString SORRY =
    QStringLiteral("Sorry, but your ZORVIK Device is not working with this software.\n");

// Wire bytes of a serial number that reads `masked` once the window has
// reversed it and combined it with the serial mask.
QString wireSerialFor(const QByteArray& masked)
{
    QByteArray wire(12, 0);
    for (int k = 0; k < 12; ++k)
        wire[11 - k] = static_cast<char>(static_cast<uint8_t>(masked[k]) ^ ZORVI::SERIAL_MASK[k]);
    return QString::fromLatin1(wire.toHex());
}

QStringList items(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
}

} // namespace

// Takes the product web page instead of a browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
    int openedWhileBoxShown = 0;
public slots:
    void openUrl(const QUrl& url)
    {
        urls.append(url);
        if (QApplication::activeModalWidget())
            ++openedWhileBoxShown;
    }
};

class MiniSetupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void startsDisconnected();
    void portListIsSortedAndKeepsSelection();
    void portOptionPreselectsWithoutConnecting_data();
    void portOptionPreselectsWithoutConnecting();
    void connectShowsDeviceAndAppliesVersionRules_data();
    void connectShowsDeviceAndAppliesVersionRules();
    void portWithoutDeviceShowsNoDevice();
    void rowsAreFilledFromDevice_data();
    void rowsAreFilledFromDevice();
    void editIsWrittenAfterDelay();
    void failedWriteSaysWhatBecameOfTheEdit_data();
    void failedWriteSaysWhatBecameOfTheEdit();
    void keepAliveLossDisconnects_data();
    void keepAliveLossDisconnects();
    void closingWritesPendingChange_data();
    void closingWritesPendingChange();
    void choosingAnotherPortWritesPendingChangeFirst();

private:
    UrlRecorder m_urls;
    // Transactions from Connect to filled pages, measured once.
    int m_connectTransactions = 0;
};

void MiniSetupTest::initTestCase()
{
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_urls, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "openUrl");

    InProcessDevice sim;
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKMiniSetup window(sim.control());
    ModalBoxAnswerer catcher;
    choosePort(window, sim.portName());
    QVERIFY(isConnected(window));
    m_connectTransactions = LinkPackets::requestCount(sim.link());
    QVERIFY(m_connectTransactions > 2);
    // Every parameter once: ten descriptor requests and one value read.
    QCOMPARE(LinkPackets::requestPayloads(sim.link(), 2).size(), 10);
    QCOMPARE(LinkPackets::requestPayloads(sim.link(), 3), QStringList{"001055"});
    QVERIFY(catcher.seen().isEmpty());
}

void MiniSetupTest::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void MiniSetupTest::init()
{
    m_urls.urls.clear();
    m_urls.openedWhileBoxShown = 0;
}

void MiniSetupTest::startsDisconnected()
{
    PrivatePorts runtime;
    ZORVIKMiniSetup window;
    QCOMPARE(window.windowTitle(), QStringLiteral("TR6400QK - Micro Settings (3.0.2)"));
    QCOMPARE(window.objectName(), QStringLiteral("ZORVIKMiniSetupClass"));
    QVERIFY(!isConnected(window));
    QVERIFY(child<QPushButton>(window, "m_btnConnect")->isEnabled());
    QVERIFY(!child<QPushButton>(window, "m_btnDisconnect")->isEnabled());
    for (const char* name : {"m_lblZorviAppVer", "m_lblZorviHWVer", "m_lblZorviEEPVer",
                             "m_lblZorviSerial"})
        QVERIFY2(child<QLabel>(window, name)->text().isEmpty(), name);
    QCOMPARE(statusText(window), QStringLiteral("No ZORVIK Device found"));
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxSwashGeometry")->itemText(2),
             QStringLiteral("120°"));
    QCOMPARE(items(child<QComboBox>(window, "m_cmbBoxTailServoCPPLID")),
             (QStringList{"User Defined", "960us", "760us", "1520us*"}));
    QCOMPARE(items(child<QComboBox>(window, "m_cmbCyclicBoostID")),
             (QStringList{"User Defined", "Off*", "Low", "Medium", "High", "Very High"}));
}

void MiniSetupTest::portListIsSortedAndKeepsSelection()
{
#ifdef _WIN32
    // The machine's other ports are played by Linux pseudo-terminals.
    QSKIP("the ports listed are the simulator program and idle lines on Linux pseudo-terminals");
#else
    // COM10 is a simulated device: any connection attempt would show in its log.
    SimulatorProcess sim({"--name", "COM10"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    // Quiet serial lines: listed like any port, nothing behind them.
    PtyPair com3;
    PtyPair com1;
    QVERIFY(com3.isOpen() && com1.isOpen());
    QVERIFY(PortMap::add("COM3", com3.slavePath().c_str()));

    ZORVIKMiniSetup window;
    auto* ports = child<QComboBox>(window, "m_cmbBoxZorvilink");
    QVERIFY(ports->findText("COM10") >= 0);
    QVERIFY(ports->findText("COM10") < ports->findText("COM3"));
    QCOMPARE(ports->currentText(), QStringLiteral("COM10"));

    // An unchanged list leaves the box alone, check after check.
    QSignalSpy indexChanges(ports, &QComboBox::currentIndexChanged);
    QSignalSpy rowsInserted(ports->model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy portListChecks(portListTimer(window), &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(portListChecks.count() >= PORT_LIST_CHECKS_FOR_A_WHOLE_INTERVAL,
                             PORT_LIST_CHECKS_TIMEOUT_MS);
    QCOMPARE(indexChanges.count(), 0);
    QCOMPARE(rowsInserted.count(), 0);

    // A new port goes to its sorted place; the selection stays.
    QVERIFY(PortMap::add("COM1", com1.slavePath().c_str()));
    QTRY_VERIFY_WITH_TIMEOUT(ports->findText("COM1") >= 0, 3000);
    QVERIFY(ports->findText("COM1") < ports->findText("COM10"));
    QCOMPARE(ports->currentText(), QStringLiteral("COM10"));

    // The selected port goes away.
    QVERIFY(PortMap::remove("COM10"));
    QTRY_COMPARE_WITH_TIMEOUT(ports->currentIndex(), -1, 3000);
    QCOMPARE(statusText(window), QStringLiteral("No ZORVIK Device found"));
    QVERIFY(child<QLabel>(window, "m_lblZorviHWVer")->text().isEmpty());

    QVERIFY(sim.logLines().empty());
#endif
}

void MiniSetupTest::portOptionPreselectsWithoutConnecting_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("selected"); // afterwards
    QTest::addColumn<bool>("preselected");
    QTest::newRow("listed after the first") << "ZSIM" << "ZSIM" << true;
    QTest::newRow("the first") << "AAQUIET" << "AAQUIET" << true;
    QTest::newRow("not listed") << "ttyUSB7" << "AAQUIET" << false;
    QTest::newRow("other case") << "zsim" << "AAQUIET" << false;
}

// ZORVIKMicroSettings --port NAME: the port is chosen, the window does not
// connect by itself, and Connect then connects to that port.
void MiniSetupTest::portOptionPreselectsWithoutConnecting()
{
#ifdef _WIN32
    // The machine's other ports are played by Linux pseudo-terminals.
    QSKIP("the ports listed are the simulator program and an idle line on Linux pseudo-terminals");
#else
    QFETCH(QString, name);
    QFETCH(QString, selected);
    QFETCH(bool, preselected);
    // ZSIM is a simulated device: any connection shows in its log.
    SimulatorProcess sim({"--name", "ZSIM"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    PtyPair quiet;
    QVERIFY(quiet.isOpen());
    QVERIFY(PortMap::add("AAQUIET", quiet.slavePath().c_str()));

    ZORVIKMiniSetup window;
    QComboBox* ports = portList(window);
    QCOMPARE(ports->currentText(), QStringLiteral("AAQUIET"));
    // Listed in the window's order, beside the machine's own ports.
    const ZORVI::Communication::PortList::Names& listed = window.listedPorts();
    QCOMPARE(listed.size(), static_cast<size_t>(ports->count()));
    QCOMPARE(QString::fromStdString(listed[1]), QStringLiteral("ZSIM"));

    QCOMPARE(window.preselectPort(name), preselected);
    QCOMPARE(ports->currentText(), selected);
    // Longer than the user's settle delay: no connection started meanwhile.
    QSignalSpy portListChecks(portListTimer(window), &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(portListChecks.count() >= PORT_LIST_CHECKS_FOR_A_WHOLE_INTERVAL,
                             PORT_LIST_CHECKS_TIMEOUT_MS);
    QVERIFY(!isConnected(window));
    QVERIFY(sim.logLines("request").empty());
    QCOMPARE(ports->currentText(), selected);

    if (selected == QStringLiteral("ZSIM")) {
        child<QPushButton>(window, "m_btnConnect")->click();
        QTRY_VERIFY_WITH_TIMEOUT(isConnected(window), 10000);
        QVERIFY(!sim.logLines("request").empty());
    }
#endif
}

void MiniSetupTest::connectShowsDeviceAndAppliesVersionRules_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("labels"); // hardware, application, data, serial
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("boxInformative");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("statusAfter");

    const QString found = QStringLiteral("ZORVIK Device found");
    const QByteArray masked = QByteArray::fromHex("0123456789abcdef00112233");
    const QString serial = wireSerialFor(masked);
    const QString serialLabel = QStringLiteral("01 23 45 67 89 AB CD EF 00 11 22 33");
    const QString wrongHardware = SORRY + "Required Hardware version is 8.x (TR6400QK).";
    const QString wrongApplication = SORRY
        + "Minimum required firmware version (Application) is 3.1.x\n\n"
          "To get an actual version go to "
        + WEB_SITE;
    const QString page = WEB_SITE + "/index.php?serial=0123456789abcdef00112233";

    QTest::newRow("accepted 8.2 / 3.1.7")
        << QStringList{"--serial", serial, "--data-version", "1.2"}
        << QStringList{"8.2", "3.1.7", "1.2", serialLabel} << true << QString() << QString()
        << QString() << found;
    // A refused device's port is released, and the status bar says why.
    const QString hardwareRefused = QStringLiteral("Wrong Hardware: ")
        + DeviceConnection::reason(DeviceConnection::Outcome::WrongHardware);
    const QString applicationRefused = QStringLiteral("Wrong Application Version: ")
        + DeviceConnection::reason(DeviceConnection::Outcome::WrongApplication);
    QTest::newRow("hardware 00 72")
        << QStringList{"--hardware", "0x0072"}
        << QStringList{"7.2", "3.1.7", "1.2", QString()} << false << "Wrong Hardware"
        << wrongHardware << QString() << hardwareRefused;
    QTest::newRow("hardware 01 82")
        << QStringList{"--hardware", "0x0182"}
        << QStringList{"8.2", "3.1.7", "1.2", QString()} << false << "Wrong Hardware"
        << wrongHardware << QString() << hardwareRefused;
    for (const char* version : {"3.0.9", "3.2.0", "4.1.0"}) {
        QTest::newRow(qPrintable(QStringLiteral("application %1").arg(version)))
            << QStringList{"--app-version", version, "--serial", serial}
            << QStringList{"8.2", version, "1.2", serialLabel} << false
            << "Wrong Application Version" << wrongApplication << page << applicationRefused;
    }
    QTest::newRow("recovery 0x81")
        << QStringList{"--recovery", "0x81"}
        << QStringList{"8.1 (Recovery-Mode)", QString(), QString(), QString()} << false
        << QString() << QString() << QString()
        << QStringLiteral("ZORVIK Device in Recovery-Mode found");
}

void MiniSetupTest::connectShowsDeviceAndAppliesVersionRules()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, labels);
    QFETCH(bool, connected);
    QFETCH(QString, boxText);
    QFETCH(QString, boxInformative);
    QFETCH(QString, url);
    QFETCH(QString, statusAfter);

    std::vector<std::string> simArguments;
    for (const QString& argument : arguments)
        simArguments.push_back(argument.toStdString());
    InProcessDevice sim(simArguments);
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKMiniSetup window(sim.control());
    ModalBoxAnswerer catcher;
    choosePort(window, sim.portName());

    QCOMPARE(child<QLabel>(window, "m_lblZorviHWVer")->text(), labels[0]);
    QCOMPARE(child<QLabel>(window, "m_lblZorviAppVer")->text(), labels[1]);
    if (!labels[3].isEmpty() || !labels[1].isEmpty()) {
        QCOMPARE(child<QLabel>(window, "m_lblZorviEEPVer")->text(), labels[2]);
        if (!labels[3].isEmpty())
            QCOMPARE(child<QLabel>(window, "m_lblZorviSerial")->text(), labels[3]);
        else
            QCOMPARE(child<QLabel>(window, "m_lblZorviSerial")->text().size(), 35);
    } else {
        QVERIFY(child<QLabel>(window, "m_lblZorviEEPVer")->text().isEmpty());
        QVERIFY(child<QLabel>(window, "m_lblZorviSerial")->text().isEmpty());
    }
    QCOMPARE(isConnected(window), connected);
    // Filling the rows may leave the write timer running for a moment.
    QTRY_COMPARE_WITH_TIMEOUT(child<QPushButton>(window, "m_btnDisconnect")->isEnabled(),
                              connected, 2000);
    QCOMPARE(statusText(window), statusAfter);

    if (boxText.isEmpty()) {
        QVERIFY(catcher.seen().isEmpty());
    } else {
        QCOMPARE(catcher.seen().size(), 1);
        QCOMPARE(catcher.seen()[0].icon, QMessageBox::Information);
        QCOMPARE(catcher.seen()[0].text, boxText);
        QCOMPARE(catcher.seen()[0].informativeText, boxInformative);
    }
    if (url.isEmpty()) {
        QVERIFY(m_urls.urls.isEmpty());
    } else {
        QCOMPARE(m_urls.urls, QList<QUrl>{QUrl(url)});
        QCOMPARE(m_urls.openedWhileBoxShown, 0);
    }
    // A refused device is not asked for parameters, and its port is free
    // for the updater the user is sent to.
    if (!connected) {
        QVERIFY(LinkPackets::requestPayloads(sim.link(), 3).isEmpty());
        QVERIFY(LinkPackets::requestPayloads(sim.link(), 11).isEmpty());
        const std::unique_ptr<ZORVI::Control> updater = sim.control();
        QVERIFY(updater->testInterface(sim.portName().c_str()));
    }
}

void MiniSetupTest::portWithoutDeviceShowsNoDevice()
{
#ifdef _WIN32
    // A port that opens but stays silent is a Linux pseudo-terminal.
    QSKIP("the line that opens but does not echo is a Linux pseudo-terminal");
#else
    PrivateRuntimeDir runtime;
    // A serial line that opens but does not echo: no KORLINK interface on it.
    PtyPair line;
    QVERIFY(line.isOpen());
    QVERIFY(PortMap::add("COM7", line.slavePath().c_str()));
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    choosePort(window, "COM7");
    QVERIFY(!isConnected(window));
    QCOMPARE(statusText(window),
             QStringLiteral("Cannot use COM7: ")
                 + DeviceConnection::reason(DeviceConnection::Outcome::NoEcho));
    QVERIFY(child<QLabel>(window, "m_lblZorviHWVer")->text().isEmpty());
    QVERIFY(catcher.seen().isEmpty());
#endif
}

void MiniSetupTest::rowsAreFilledFromDevice_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("minLabel");
    QTest::addColumn<QString>("maxLabel");

    QTest::newRow("pulse length")
        << "TailServoCPPL" << QStringList{"--limits", "0x1064=1000:2000:1520"} << 1000 << 2000
        << 1520 << "Valid values: 1000us - 2000us; Default: 1520us" << "1000 us" << "2000 us";
    QTest::newRow("frame rate") << "SwashServoFrequency" << QStringList{} << 50 << 200 << 50
                                << "Valid values: 50Hz - 200Hz; Default: 50Hz" << "50 Hz"
                                << "200 Hz";
    QTest::newRow("signed") << "RevoMixPitch" << QStringList{} << -100 << 100 << -50
                            << "Valid values: -100 - 100; Default: 0" << "-100" << "100";
    QTest::newRow("plain") << "StickDeadband" << QStringList{} << 0 << 25 << 2
                           << "Valid values: 0 - 25; Default: 2" << "0" << "25";
}

void MiniSetupTest::rowsAreFilledFromDevice()
{
    QFETCH(QString, row);
    QFETCH(QStringList, simArguments);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QString, toolTip);
    QFETCH(QString, minLabel);
    QFETCH(QString, maxLabel);

    QTemporaryDir stateDir;
    QVERIFY(stateDir.isValid());
    const std::string state = QFile::encodeName(stateDir.filePath("state")).toStdString();
    {
        FILE* file = std::fopen(state.c_str(), "w");
        QVERIFY(file);
        std::fprintf(file, "0x1178 -50\n");
        std::fclose(file);
    }
    std::vector<std::string> arguments{"--state", state};
    for (const QString& argument : simArguments)
        arguments.push_back(argument.toStdString());
    InProcessDevice sim(arguments);
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKMiniSetup window(sim.control());
    ModalBoxAnswerer catcher;
    choosePort(window, sim.portName());
    QVERIFY(isConnected(window));

    const QByteArray name = row.toLatin1();
    auto* spinBox = child<QSpinBox>(window, "m_spinBox" + name);
    auto* bar = child<QProgressBar>(window, "m_progressBar" + name);
    QCOMPARE(spinBox->minimum(), minimum);
    QCOMPARE(spinBox->maximum(), maximum);
    QCOMPARE(spinBox->value(), value);
    QCOMPARE(bar->minimum(), minimum);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), value);
    QCOMPARE(spinBox->toolTip(), toolTip);
    QCOMPARE(child<QLabel>(window, "m_lbl" + name + "Min")->text(), minLabel);
    QCOMPARE(child<QLabel>(window, "m_lbl" + name + "Max")->text(), maxLabel);

    // Preset lists show the stored indexes; the torque direction its value.
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxTailServoCPPLID")->currentIndex(), 3);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxStickDeadbandID")->currentIndex(), 2);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxTorqueDir")->currentIndex(), 0);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxSwashGeometry")->itemText(2),
             QStringLiteral("120 °"));

    // Filling moves spin boxes through intermediate values, but leaves
    // nothing to write.
    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
    QVERIFY(LinkPackets::requestPayloads(sim.link(), 4).isEmpty());
    QVERIFY(child<QPushButton>(window, "m_btnDisconnect")->isEnabled());
    QVERIFY(catcher.seen().isEmpty());
}

void MiniSetupTest::editIsWrittenAfterDelay()
{
    InProcessDevice sim;
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKMiniSetup window(sim.control());
    choosePort(window, sim.portName());
    QVERIFY(isConnected(window));
    // The edits below start from a window with nothing left to write.
    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
    auto* disconnect = child<QPushButton>(window, "m_btnDisconnect");
    QVERIFY(disconnect->isEnabled());

    child<QSpinBox>(window, "m_spinBoxStickDeadband")->setValue(5);
    child<QComboBox>(window, "m_cmbBoxPitchBoostID")->setCurrentIndex(4);
    QVERIFY(!disconnect->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), QStringLiteral("Settings successfully stored."),
                              3000);
    QVERIFY(disconnect->isEnabled());
    QCOMPARE(LinkPackets::requestPayloads(sim.link(), 4), QStringList{"820031000500440004"});
}

void MiniSetupTest::failedWriteSaysWhatBecameOfTheEdit_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("informative");
    QTest::addColumn<bool>("connectedAfter");
    QTest::addColumn<int>("deviceHolds");

    // The device answered no: it keeps its 2, the row shows that again and
    // the connection goes on.
    QTest::newRow("refused") << QStringList{"--refuse-writes"}
                             << QStringLiteral("The ZORVIK Device refused these changes and "
                                               "stored none of them:\n\n"
                                               "- Stick Deadband (User Defined Value)\n\n"
                                               "The pages show again what the device holds.")
                             << true << 2;
    // The device stored the edit but its answer was lost: nobody knows what
    // it holds, so the window says so instead of "not written".
    QTest::newRow("answer lost")
        << QStringList{"--lose-write-answers"}
        << QStringLiteral("Something went wrong while writing data to the NANOZORVIK.\n"
                          "It is not known whether the ZORVIK Device stored these changes: the "
                          "answer to the write did not come back.\n\n"
                          "- Stick Deadband (User Defined Value)\n\n"
                          "Reconnect the device and check these settings before flying.\n\n"
                          "DO NOT FLY!")
        << false << 5;
}

void MiniSetupTest::failedWriteSaysWhatBecameOfTheEdit()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QString, informative);
    QFETCH(bool, connectedAfter);
    QFETCH(int, deviceHolds);

    std::vector<std::string> arguments;
    for (const QString& argument : simArguments)
        arguments.push_back(argument.toStdString());
    InProcessDevice sim(arguments);
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKMiniSetup window(sim.control());
    ModalBoxAnswerer catcher;
    catcher.noteWhileShown([&] {
        return statusText(window) + (isConnected(window) ? " connected" : " disconnected");
    });
    choosePort(window, sim.portName());
    QVERIFY(isConnected(window));

    auto* deadband = child<QSpinBox>(window, "m_spinBoxStickDeadband");
    deadband->setValue(5);
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 1, 3000);
    const SeenBox box = catcher.seen()[0];
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QStringLiteral("Error while writing data to the NANOZORVIK"));
    QCOMPARE(box.informativeText, informative);
    // A lost connection is released before the box: nothing asks behind it.
    QCOMPARE(box.stateWhileShown, QStringLiteral("Write failed! ")
                                      + (connectedAfter ? "connected" : "disconnected"));
    QCOMPARE(isConnected(window), connectedAfter);
    QCOMPARE(child<QPushButton>(window, "m_btnConnect")->isEnabled(), !connectedAfter);
    int32_t held = 0;
    QVERIFY(sim.link().value(Id::StickDeadband, held));
    QCOMPARE(int(held), deviceHolds);
    if (connectedAfter)
        QCOMPARE(deadband->value(), deviceHolds);
    else
        QVERIFY(deadband->text().trimmed().isEmpty());
    // No second box, however long the window's timers go on.
    QSignalSpy portListChecks(portListTimer(window), &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(portListChecks.count() >= PORT_LIST_CHECKS_FOR_A_WHOLE_INTERVAL,
                             PORT_LIST_CHECKS_TIMEOUT_MS);
    QCOMPARE(catcher.seen().size(), 1);
    // Written once only: nothing is sent again behind the user's back.
    QCOMPARE(LinkPackets::requestPayloads(sim.link(), 4).size(), 1);
}

void MiniSetupTest::keepAliveLossDisconnects_data()
{
    QTest::addColumn<bool>("editFirst");
    QTest::addColumn<QString>("warning");

    QTest::newRow("nothing pending") << false << QString();
    QTest::newRow("change pending")
        << true
        << QStringLiteral("The KORLINK adapter did not echo the request: check that the adapter "
                          "is plugged in and that the right port is chosen.\n\n"
                          "The connection to the NANOZORVIK ended before these changes were "
                          "written:\n\n- Stick Deadband (User Defined Value)\n\n"
                          "Please reconnect the device and verify your settings.\n\n"
                          "DO NOT FLY!");
}

void MiniSetupTest::keepAliveLossDisconnects()
{
    QFETCH(bool, editFirst);
    QFETCH(QString, warning);

    // The device goes silent right after the pages are filled.
    InProcessDevice sim({"--silent-after", std::to_string(m_connectTransactions)});
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKMiniSetup window(sim.control());
    ModalBoxAnswerer catcher;
    choosePort(window, sim.portName());
    QVERIFY(isConnected(window));
    const QString statusBefore = statusText(window);
    if (editFirst)
        child<QSpinBox>(window, "m_spinBoxStickDeadband")->setValue(5);

    QTRY_VERIFY_WITH_TIMEOUT(!isConnected(window), 15000);
    // From here on, a whole port-list interval: the keep-alive and the write
    // cycle started before the loss have had their turn by its end.
    QSignalSpy portListChecks(portListTimer(window), &QTimer::timeout);
    QVERIFY(child<QPushButton>(window, "m_btnConnect")->isEnabled());
    QVERIFY2(statusText(window).startsWith(QStringLiteral(
                 "Connection to the ZORVIK Device lost: The KORLINK adapter did not echo")),
             qPrintable(statusText(window)));
    QVERIFY(statusText(window) != statusBefore);
    if (warning.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(portListChecks.count() >= PORT_LIST_CHECKS_FOR_A_WHOLE_INTERVAL,
                                 PORT_LIST_CHECKS_TIMEOUT_MS);
        QVERIFY(catcher.seen().isEmpty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 1, 2000);
        QCOMPARE(catcher.seen()[0].icon, QMessageBox::Warning);
        QCOMPARE(catcher.seen()[0].text, QStringLiteral("Settings not written to the NANOZORVIK"));
        QCOMPARE(catcher.seen()[0].informativeText, warning);
    }
    // The expiring write timer must not offer Disconnect again.
    QTRY_VERIFY_WITH_TIMEOUT(portListChecks.count() >= PORT_LIST_CHECKS_FOR_A_WHOLE_INTERVAL,
                             PORT_LIST_CHECKS_TIMEOUT_MS);
    QVERIFY(!child<QPushButton>(window, "m_btnDisconnect")->isEnabled());
}

void MiniSetupTest::closingWritesPendingChange_data()
{
    QTest::addColumn<bool>("deviceGone");
    QTest::newRow("device answers") << false;
    QTest::newRow("device gone") << true;
}

void MiniSetupTest::closingWritesPendingChange()
{
    QFETCH(bool, deviceGone);
    std::vector<std::string> arguments;
    if (deviceGone)
        arguments = {"--silent-after", std::to_string(m_connectTransactions)};
    InProcessDevice sim(arguments);
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKMiniSetup window(sim.control());
    ModalBoxAnswerer catcher;
    window.show();
    choosePort(window, sim.portName());
    QVERIFY(isConnected(window));

    child<QSpinBox>(window, "m_spinBoxHeadingLockGain")->setValue(77);
    child<QComboBox>(window, "m_cmbBoxTorqueDir")->setCurrentIndex(1);
    QVERIFY(window.close());

    if (!deviceGone) {
        QCOMPARE(LinkPackets::requestPayloads(sim.link(), 4), QStringList{"820051004d0061ffff"});
        QVERIFY(catcher.seen().isEmpty());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 1, 2000);
    QCOMPARE(catcher.seen()[0].icon, QMessageBox::Critical);
    QCOMPARE(catcher.seen()[0].text,
             QStringLiteral("Your changes could not be written to the ZORVIK Device"));
    // The adapter fell silent with the device: the write may have reached it.
    QVERIFY(catcher.seen()[0].informativeText.contains(
        "It is not known whether the ZORVIK Device stored these changes"));
    QVERIFY(catcher.seen()[0].informativeText.contains(
        "- Tail - HeadingLock Gain (User Defined Value)\n"
        "- Tail - Revomix and Asymmetry (User Defined Main Rotor Torque Direction)\n"));
    QVERIFY(!isConnected(window));
}

void MiniSetupTest::choosingAnotherPortWritesPendingChangeFirst()
{
    InProcessDevice first;
    QVERIFY2(first.isReady(), first.error().c_str());
    InProcessDevice second({}, &first);
    QVERIFY2(second.isReady(), second.error().c_str());
    ZORVIKMiniSetup window(InProcessDevice::control({&first, &second}));
    ModalBoxAnswerer catcher;
    choosePort(window, first.portName());
    QVERIFY(isConnected(window));

    child<QSpinBox>(window, "m_spinBoxStickDeadband")->setValue(6);
    choosePort(window, second.portName());
    QCOMPARE(LinkPackets::requestPayloads(first.link(), 4), QStringList{"8100310006"});
    QVERIFY(isConnected(window));
    QVERIFY(LinkPackets::requestCount(second.link()) >= m_connectTransactions);
    QVERIFY(catcher.seen().isEmpty());
}

QTEST_MAIN(MiniSetupTest)
#include "MiniSetupTest.moc"
