// The settings window and a port it cannot open: a port that was just
// plugged in and that another program probes (as ModemManager does) is
// connected once that program lets it go; an older busy port names its
// holder at once; a port the user may not open says what to run, in a box.

#include "BusyPortRetry.h"
#include "DeviceConnection.h"
#include "ModalBoxAnswerer.h"
#include "PortHog.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "SettingsWindowSteps.h"
#include "SimulatorProcess.h"
#include "WindowChild.h"
#include "ZORVIKMiniSetup.h"

#include <QStatusBar>
#include <QStyle>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using ZORVI::BusyPortRetry;
using ZORVI::DeviceConnection;
using ZORVI::ZORVIKMiniSetup;
using ZORVI::Communication::Serial::PortMap;
using ZORVI::Testing::SimulatorProcess;
using Outcome = ZORVI::DeviceConnection::Outcome;

using namespace SettingsWindowSteps;

namespace {

// Generous: the window tries every half second, on a loaded machine.
constexpr int RETRY_WAIT_MS = 10000;
constexpr int CONNECT_WAIT_MS = 20000;

QString cannotUse(const std::string& port, Outcome outcome)
{
    return QStringLiteral("Cannot use %1: %2")
        .arg(QString::fromStdString(port), QString::fromUtf8(DeviceConnection::reason(outcome)));
}

// The status line shows its whole message at the window's own size.
bool statusFits(ZORVIKMiniSetup& window)
{
    const QStatusBar* bar = window.statusBar();
    return bar->fontMetrics().horizontalAdvance(bar->currentMessage())
        <= bar->contentsRect().width() - bar->style()->pixelMetric(QStyle::PM_SizeGripSize);
}

void showAtOwnSize(ZORVIKMiniSetup& window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

} // namespace

class BusyPortWindowTest : public QObject {
    Q_OBJECT

private slots:
    void newBusyPortConnectsOnceReleased();
    void olderBusyPortNamesItsHolderAtOnce();
    void refusedPortSaysWhatToRunInABox();
};

void BusyPortWindowTest::newBusyPortConnectsOnceReleased()
{
    PrivateRuntimeDir runtime;
    ZORVIKMiniSetup window;
    showAtOwnSize(window);
    ModalBoxAnswerer catcher(&window);
    // Plugged in while the window runs, and opened by another program first.
    SimulatorProcess sim({}, runtime.path());
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    PortHog prober("porthog", PortMap::resolve(sim.portName()));
    QVERIFY(prober.isHolding());

    choosePort(window, sim.portName());
    const QString waiting = BusyPortRetry::waitingText(QString::fromStdString(sim.portName()));
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), waiting, RETRY_WAIT_MS);
    QVERIFY(statusFits(window));
    QVERIFY(!isConnected(window));

    QVERIFY(prober.release());
    QTRY_VERIFY_WITH_TIMEOUT(isConnected(window), CONNECT_WAIT_MS);
    QVERIFY(catcher.seen().isEmpty());
}

void BusyPortWindowTest::olderBusyPortNamesItsHolderAtOnce()
{
    // Listed before the window started: of unknown age, not retried.
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const std::string node = PortMap::resolve(sim.portName());
    PortHog holder("porthog", node);
    QVERIFY(holder.isHolding());
    ZORVIKMiniSetup window;
    showAtOwnSize(window);
    ModalBoxAnswerer catcher(&window);

    connectByButton(window, sim.portName());
    QVERIFY(!isConnected(window));
    // The status line says what failed, whole; the box adds who holds the
    // port, which would run past the window's edge there.
    QCOMPARE(statusText(window), cannotUse(sim.portName(), Outcome::PortInUse));
    QVERIFY(statusFits(window));
    QCOMPARE(catcher.seen().size(), 1);
    const QString named = QStringLiteral("(%1 is in use by porthog (process %2).")
                              .arg(QString::fromStdString(node))
                              .arg(holder.pid());
    QVERIFY2(catcher.seen()[0].informativeText.contains(named),
             qPrintable(catcher.seen()[0].informativeText));
}

void BusyPortWindowTest::refusedPortSaysWhatToRunInABox()
{
    if (geteuid() == 0)
        QSKIP("root opens the port whatever its mode");
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const std::string node = PortMap::resolve(sim.portName());
    struct stat before;
    QCOMPARE(stat(node.c_str(), &before), 0);
    QCOMPARE(chmod(node.c_str(), 0), 0);
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher(&window);
    connectByButton(window, sim.portName());
    chmod(node.c_str(), before.st_mode & 07777);

    QVERIFY(!isConnected(window));
    QVERIFY(statusText(window).startsWith(cannotUse(sim.portName(), Outcome::PermissionDenied)));
    QCOMPARE(catcher.seen().size(), 1);
    const SeenBox box = catcher.seen().first();
    QCOMPARE(box.text, QStringLiteral("Cannot open %1").arg(QString::fromStdString(sim.portName())));
    QVERIFY2(box.informativeText.contains(QString::fromStdString("You may not open " + node)),
             qPrintable(box.informativeText));
}

QTEST_MAIN(BusyPortWindowTest)
#include "BusyPortWindowTest.moc"
