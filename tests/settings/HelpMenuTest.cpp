// The settings window's Help menu for a user without a device: the real
// simulator started as the window's child, its port chosen, connected to,
// and stopped (after a clean disconnect) from the menu or with the window;
// missing or failing, it is said why. And Connect without a port opens
// nothing; Ctrl+Q closes the window.
#include "ZORVIKMiniSetup.h"

#include "ModalBoxAnswerer.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "SettingsWindowSteps.h"
#include "SimulatedDevice.h"
#include "SimulatedDeviceMenu.h"
#include "SimulatorOnPath.h"
#include "SimulatorProcess.h"
#include "WindowChild.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <memory>

using namespace SettingsWindowSteps;
using ZORVI::SimulatedDeviceMenu;
using ZORVI::ZORVIKMiniSetup;
using ZORVI::Communication::Serial::PortMap;

namespace {

constexpr int SIMULATOR_READY_MS = 15000;
constexpr int CONNECT_MS = 10000;

QAction* deviceAction(ZORVIKMiniSetup& window)
{
    return child<QAction>(window, SimulatedDeviceMenu::DEVICE_ACTION);
}

SimulatedDeviceMenu* menuOf(ZORVIKMiniSetup& window)
{
    auto* menu = window.findChild<SimulatedDeviceMenu*>();
    if (!menu)
        qFatal("no simulated device menu");
    return menu;
}

bool processGone(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

QString simulatorFolder()
{
    return SimulatorOnPath::folderOf(
        QString::fromStdString(ZORVI::Testing::SimulatorProcess::simulatorPath()));
}

} // namespace

class HelpMenuTest : public QObject {
    Q_OBJECT

private slots:
    void helpMenuOffersTheSimulator();
    void simulatorStopsAfterADisconnect_data();
    void simulatorStopsAfterADisconnect();
    void missingSimulatorIsSaid();
    void failingSimulatorIsSaidEscaped();
    void connectWithoutAPortOpensNothing();
    void ctrlQClosesTheWindow();
};

// The Help menu follows About; About keeps its own menu.
void HelpMenuTest::helpMenuOffersTheSimulator()
{
    PrivateRuntimeDir runtime;
    SimulatorOnPath path(simulatorFolder());
    ZORVIKMiniSetup window;
    auto* bar = child<QMenuBar>(window, "menuBar");
    QStringList titles;
    for (QAction* entry : bar->actions())
        titles << entry->text();
    QCOMPARE(titles, (QStringList{"&File", "&About", "&Help"}));
    auto* help = child<QMenu>(window, "menu_Help");
    QCOMPARE(help->actions().size(), 2);
    QCOMPARE(help->actions().at(0)->objectName(),
             QString::fromLatin1(SimulatedDeviceMenu::TRYING_ACTION));
    QCOMPARE(help->actions().at(1), deviceAction(window));
    QVERIFY(deviceAction(window)->isEnabled());
    QCOMPARE(deviceAction(window)->text(), QStringLiteral("&Start a Simulated Device"));
    QCOMPARE(menuOf(window)->device().program(),
             QDir::cleanPath(QString::fromStdString(
                 ZORVI::Testing::SimulatorProcess::simulatorPath())));
    QCOMPARE(child<QMenu>(window, "menu_About")->actions().size(), 1);
}

void HelpMenuTest::simulatorStopsAfterADisconnect_data()
{
    QTest::addColumn<bool>("byClosing");
    QTest::newRow("Stop in the Help menu") << false;
    QTest::newRow("the window closed") << true;
}

// Started from the menu, the simulator's port is chosen without connecting;
// Connect connects to it. Stopping disconnects first (no box about a lost
// device), and the simulator has ended and left the port map once the
// window goes on.
void HelpMenuTest::simulatorStopsAfterADisconnect()
{
    QFETCH(bool, byClosing);
    PrivateRuntimeDir runtime;
    SimulatorOnPath path(simulatorFolder());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    QComboBox* ports = portList(window);

    deviceAction(window)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ports->currentText(), QStringLiteral("ttySIM0"),
                              SIMULATOR_READY_MS);
    QVERIFY(!isConnected(window));
    QCOMPARE(statusText(window),
             QStringLiteral("The simulated device is ready on ttySIM0: press \"Connect\"."));
    QCOMPARE(deviceAction(window)->text(), QStringLiteral("S&top the Simulated Device"));
    const qint64 pid = menuOf(window)->device().processId();
    QVERIFY(pid > 0);
    QCOMPARE(PortMap::entries(), (std::vector<std::string>{"ttySIM0"}));

    child<QPushButton>(window, "m_btnConnect")->click();
    QTRY_VERIFY_WITH_TIMEOUT(isConnected(window), CONNECT_MS);

    if (byClosing)
        QVERIFY(window.close());
    else
        deviceAction(window)->trigger();
    QVERIFY(!isConnected(window));
    QVERIFY(processGone(pid));
    QVERIFY(PortMap::entries().empty());
    QVERIFY2(catcher.seen().isEmpty(), qPrintable(catcher.seen().value(0).text));
    QVERIFY(!menuOf(window)->device().isRunning());
    QCOMPARE(deviceAction(window)->text(), QStringLiteral("&Start a Simulated Device"));
    if (!byClosing)
        QTRY_VERIFY_WITH_TIMEOUT(ports->findText("ttySIM0") < 0, 3000);
}

// Nowhere to be found: the entry is disabled and says why, and the words
// about trying the window say so too.
void HelpMenuTest::missingSimulatorIsSaid()
{
    PrivateRuntimeDir runtime;
    SimulatorOnPath path{QString()};
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    QVERIFY(!deviceAction(window)->isEnabled());
    QVERIFY(deviceAction(window)->toolTip().contains("zorvik-sim) is not installed"));

    child<QAction>(window, SimulatedDeviceMenu::TRYING_ACTION)->trigger();
    QCOMPARE(catcher.count(), 1);
    const SeenBox& box = catcher.seen().constFirst();
    QCOMPARE(box.text, QStringLiteral("Trying It Without a Device"));
    for (const char* said : {"Help > Start a Simulated Device", "ttySIM0", "Connect",
                             "ZORVIKMicroSettings --port ttySIM0", "is not installed here"})
        QVERIFY2(box.informativeText.contains(QLatin1String(said)), said);
}

// A simulator that ends before it names its port: the status bar says so,
// the box adds what it said, escaped, and the entry offers a new start.
void HelpMenuTest::failingSimulatorIsSaidEscaped()
{
    PrivateRuntimeDir runtime;
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QFile script(folder.filePath("zorvik-sim"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf 'zorvik-sim: cannot\\033[2J enter ttySIM0\\n' >&2\nexit 1\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    SimulatorOnPath path(folder.path());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher(&window);

    deviceAction(window)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(catcher.count(), 1, SIMULATOR_READY_MS);
    const SeenBox& box = catcher.seen().constFirst();
    const QString reason = QStringLiteral("The simulated device did not start: it ended with "
                                          "status 1.");
    QCOMPARE(box.text, reason);
    QCOMPARE(box.statusMessage, reason);
    QVERIFY2(box.informativeText.startsWith("zorvik-sim said:\nzorvik-sim: cannot"),
             qPrintable(box.informativeText));
    QVERIFY(box.informativeText.contains("enter ttySIM0"));
    QVERIFY(!box.informativeText.contains(QChar(0x1b)));
    QVERIFY(!menuOf(window)->device().isRunning());
    QCOMPARE(deviceAction(window)->text(), QStringLiteral("&Start a Simulated Device"));
}

// No port likely to be the interface leaves none chosen; Connect then says
// what to do and opens nothing.
void HelpMenuTest::connectWithoutAPortOpensNothing()
{
    // ZSIM would show any request in its log; it is listed but not chosen.
    ZORVI::Testing::SimulatorProcess sim({"--name", "ZSIM"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    QComboBox* ports = portList(window);
    QVERIFY(ports->findText("ZSIM") >= 0);
    {
        const QSignalBlocker quiet(ports);
        ports->setCurrentIndex(-1);
    }
    child<QPushButton>(window, "m_btnConnect")->click();
    QVERIFY(!isConnected(window));
    QVERIFY2(statusText(window).startsWith("No ZORVIK Device found: no port is chosen."),
             qPrintable(statusText(window)));
    QVERIFY(sim.logLines().empty());
    QVERIFY(catcher.seen().isEmpty());
}

void HelpMenuTest::ctrlQClosesTheWindow()
{
    PrivateRuntimeDir runtime;
    ZORVIKMiniSetup window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
}

QTEST_MAIN(HelpMenuTest)
#include "HelpMenuTest.moc"
