// The updater and an adapter just plugged in that another program probes
// first (as ModemManager does): the auto-detection finds the port, the
// updater's first open of it fails "in use", and it asks again until the
// other program lets the port go, then shows the device.

#include "BusyPortRetry.h"
#include "ModalBoxAnswerer.h"
#include "PortHog.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "UpdaterTestSupport.h"
#include "ZORVIKUpdater.h"

#include <QStatusBar>
#include <QTest>

using ZORVI::BusyPortRetry;
using ZORVI::ZORVIKUpdater;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Testing::SimulatorProcess;

using namespace UpdaterTest;

namespace {

// Generous: the dialog looks once a second, the window tries every half
// second, on a loaded machine.
constexpr int RETRY_WAIT_MS = 15000;
constexpr int DEVICE_WAIT_MS = 20000;

} // namespace

class BusyPortUpdaterTest : public QObject {
    Q_OBJECT

private slots:
    void detectedBusyPortIsAskedOnceReleased();
};

void BusyPortUpdaterTest::detectedBusyPortIsAskedOnceReleased()
{
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const std::string node = PortMap::resolve(sim.portName());
    QVERIFY(!node.empty());
    // The prober holds the adapter's node before the port shows up, so the
    // updater's first open meets it for certain.
    PortHog prober("porthog", node);
    QVERIFY(prober.isHolding());
    PrivateRuntimeDir runtime; // the window's port map: the adapter not yet in it
    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window); // "ZORVIK KORLINK Interface found"
    child<QPushButton>(window, "m_btnAutodetect")->click();

    const std::string adapter = PrivateRuntimeDir::uniquePortName("ttyUSB");
    QVERIFY(PortMap::add(adapter, node)); // plugged in
    const QString waiting = BusyPortRetry::waitingText(QString::fromStdString(adapter));
    QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), waiting, RETRY_WAIT_MS);
    QCOMPARE(portCombo(window)->currentText(), QString::fromStdString(adapter));
    QVERIFY(text(window, "m_lblZorviAppVer").isEmpty());

    QVERIFY(prober.release());
    QTRY_COMPARE_WITH_TIMEOUT(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION),
                              DEVICE_WAIT_MS);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().first().text, QStringLiteral("ZORVIK KORLINK Interface found"));
}

QTEST_MAIN(BusyPortUpdaterTest)
#include "BusyPortUpdaterTest.moc"
