// The settings window shows what the device holds and changes it only when
// the user asks, against the simulated device inside the test's process,
// offscreen: values the window cannot show are offered for correction once
// on connecting (and nothing is written unless the user agrees), a refused
// store snaps back and says why, the pages show nothing after a connection
// ended, and every failed connection says why and releases the port.

#include "Control.h"
#include "DeviceConnection.h"
#include "DeviceWithState.h"
#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "SettingsWindowSteps.h"
#include "WindowChild.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

#include "ZORVIKMiniSetup.h"

using ZORVI::Control;
using ZORVI::DeviceConnection;
using ZORVI::ZORVIKMiniSetup;

using namespace SettingsWindowSteps;
// Parameters by the IDs the device names them with.
using namespace ZORVI::EEPROM;

namespace {

const QString STORED = QStringLiteral("Settings successfully stored.");

// Another program can open the device's port: the window has let it go.
bool portIsFree(Device& device)
{
    const std::unique_ptr<Control> other = device.control();
    const bool opened = other->testInterface(device.portName().c_str());
    other->close();
    return opened;
}

QString reason(DeviceConnection::Outcome outcome)
{
    return QString::fromLatin1(DeviceConnection::reason(outcome));
}

std::vector<std::string> arguments(const QStringList& list)
{
    std::vector<std::string> result;
    for (const QString& argument : list)
        result.push_back(argument.toStdString());
    return result;
}

} // namespace

class DeviceValuesTest : public QObject {
    Q_OBJECT

private slots:
    void outOfBoundsDeviceIsReviewedBeforeAnyWrite_data();
    void outOfBoundsDeviceIsReviewedBeforeAnyWrite();
    void refusedPresetSnapsBack();
    void pagesShowNothingAfterTheConnectionEnded();
    void failedConnectionSaysWhyAndReleasesThePort_data();
    void failedConnectionSaysWhyAndReleasesThePort();
    void queryingIsPaintedBeforeTheQueryBlocks();
};

// A device holding values outside its own limits, a torque direction of 0,
// a preset index no list has and swash entries that form no geometry.
void DeviceValuesTest::outOfBoundsDeviceIsReviewedBeforeAnyWrite_data()
{
    QTest::addColumn<bool>("correct");
    QTest::newRow("leave the device as it is") << false;
    QTest::newRow("correct now") << true;
}

void DeviceValuesTest::outOfBoundsDeviceIsReviewedBeforeAnyWrite()
{
    QFETCH(bool, correct);
    Device device({{TailServoFrequency, 600},
                   {StickDeadband, 20},
                   {TailAsymmetry, -60},
                   {TorqueDirection, 0},
                   {CyclicBoostID, 7},
                   {SwashServo3Angle, 250}},
                  {"--limits", "0x109C=0:10:2", "--limits", "0x1180=-50:50:0"});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    const QByteArray before = device.stateBytes();
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    catcher.noteWhileShown([&] { return QString::number(device.writes()); });
    catcher.answerWith(correct ? QStringLiteral("Correct Now") : QStringLiteral("Leave As Is"));
    connectByButton(window, device.portName());

    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 1, 5000);
    const SeenBox box = catcher.seen()[0];
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.stateWhileShown, QStringLiteral("0")); // nothing written before the answer
    for (const char* line :
         {"- Tail Servo - Frequency (User Defined Value): 600 -> 560\n",
          "- Stick Deadband (User Defined Value): 20 -> 10\n",
          "- Cyclic Response (Preset): 7 -> 1 (Off*)\n",
          "- Tail - Revomix and Asymmetry (User Defined Main Rotor Torque Direction): 0 -> -1 "
          "(Reverse)\n",
          "- Tail - Revomix and Asymmetry (User Defined Asymmetry): -60 -> -50\n",
          "- Swashplate - Mixer (User Defined Geometry): servos at 0°, 120°, 250° with travels "
          "1000, 1000, 1000 and mixer mode 7 -> \"120 °\" at a phase angle of 0°\n"})
        QVERIFY2(box.informativeText.contains(QString::fromUtf8(line)),
                 qPrintable(box.informativeText));

    if (!correct) {
        QVERIFY(!isConnected(window));
        QVERIFY(child<QPushButton>(window, "m_btnConnect")->isEnabled());
        QVERIFY(statusText(window).startsWith(QStringLiteral("Disconnected, nothing was written")));
        QVERIFY(portIsFree(device));
        QCOMPARE(device.writes(), 0);
        QCOMPARE(device.stateBytes(), before);
        return;
    }

    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), STORED + QStringLiteral(" Corrections written: 6."),
                              3000);
    QCOMPARE(device.writes(), 1);
    const Values expected{{TailServoFrequency, 560}, {StickDeadband, 10}, {TailAsymmetry, -50},
                          {TorqueDirection, -1}, {CyclicBoostID, 1},  {SwashServo1Angle, 0},
                          {SwashServo2Angle, 120},    {SwashServo3Angle, 240}};
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(device.stored(it.key()), it.value());
    // The rows show what the device now holds.
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxTailServoFrequency")->value(), 560);
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxStickDeadband")->value(), 10);
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxTailAsymmetry")->value(), -50);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxTorqueDir")->currentText(),
             QStringLiteral("Reverse"));
    QCOMPARE(child<QComboBox>(window, "m_cmbCyclicBoostID")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxSwashGeometry")->currentText(),
             QStringLiteral("120 °"));
    QVERIFY(isConnected(window));
    QCOMPARE(catcher.seen().size(), 1);
}

void DeviceValuesTest::refusedPresetSnapsBack()
{
    Device device({}, {"--limits", "0x1098=0:3:2"});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    connectByButton(window, device.portName());
    QVERIFY(isConnected(window));
    auto* presets = child<QComboBox>(window, "m_cmbBoxStickDeadbandID");
    QCOMPARE(presets->currentIndex(), 2);

    presets->setCurrentIndex(5);
    QCOMPARE(presets->currentIndex(), 2);
    QCOMPARE(statusText(window), QStringLiteral("Stick Deadband (Preset): 5 refused: the ZORVIK "
                                            "Device allows 0 to 3 and keeps 2."));
    // No write was started: Disconnect stays available.
    QVERIFY(child<QPushButton>(window, "m_btnDisconnect")->isEnabled());

    presets->setCurrentIndex(3); // within the device's limits: stored as usual
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), STORED, 3000);
    QCOMPARE(device.stored(StickDeadbandID), 3);
    QCOMPARE(device.writes(), 1);
    QVERIFY(catcher.seen().isEmpty());
}

// An edit the device refused to store must not stay on the greyed pages.
void DeviceValuesTest::pagesShowNothingAfterTheConnectionEnded()
{
    Device device({{StickDeadband, 2}}, {"--refuse-writes"});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    connectByButton(window, device.portName());
    QVERIFY(isConnected(window));
    auto* deadband = child<QSpinBox>(window, "m_spinBoxStickDeadband");
    deadband->setValue(7);

    QTRY_VERIFY_WITH_TIMEOUT(!isConnected(window), 5000);
    QCOMPARE(catcher.seen().size(), 1); // the failed write
    QVERIFY(deadband->text().trimmed().isEmpty());
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxStickDeadbandID")->currentIndex(), -1);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxTorqueDir")->currentIndex(), -1);
    QVERIFY(child<QLabel>(window, "m_lblStickDeadbandMax")->text().isEmpty());
    QCOMPARE(device.stored(StickDeadband), 2);
}

void DeviceValuesTest::failedConnectionSaysWhyAndReleasesThePort_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<bool>("holdPort");
    QTest::addColumn<QString>("status"); // %1: the port; a port's own words may follow

    using Outcome = DeviceConnection::Outcome;
    const QString cannotUse = QStringLiteral("Cannot use %1: ");
    // The system's words (who holds the port) follow in parentheses.
    QTest::newRow("port in use") << QStringList{} << true
                                 << cannotUse + reason(Outcome::PortInUse) + " (";
    QTest::newRow("adapter without echo") << QStringList{"--no-echo"} << false
                                          << cannotUse + reason(Outcome::NoEcho);
    QTest::newRow("no device behind the adapter")
        << QStringList{"--no-answer"} << false
        << QStringLiteral("No ZORVIK Device found: ") + reason(Outcome::NoDevice);
    // The device's information carries another token than the one it takes.
    QTest::newRow("handshake refused")
        << QStringList{"--info", "0001000200030001000700825a17c308e24d912be6703fa49999"} << false
        << QStringLiteral("ZORVIK Device found, but not connected: ")
            + reason(Outcome::HandshakeRefused);
}

void DeviceValuesTest::failedConnectionSaysWhyAndReleasesThePort()
{
    QFETCH(QStringList, simArguments);
    QFETCH(bool, holdPort);
    QFETCH(QString, status);

    Device device({}, arguments(simArguments));
    QVERIFY2(device.isReady(), device.device().error().c_str());
    const std::string port = device.portName();
    const std::unique_ptr<Control> holder = device.control();
    if (holdPort)
        QVERIFY(holder->testInterface(port.c_str()));
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    connectByButton(window, port);

    QVERIFY(!isConnected(window));
    const QString expected = status.arg(QString::fromStdString(port));
    if (expected.endsWith(" ("))
        QVERIFY2(::statusText(window).startsWith(expected), qPrintable(::statusText(window)));
    else
        QCOMPARE(::statusText(window), expected);
    QVERIFY(catcher.seen().isEmpty());
    holder->close();
    QVERIFY(portIsFree(device));
    QCOMPARE(device.writes(), 0);
}

// A query on a silent port blocks the window for seconds: what it is doing
// must be on screen before that.
void DeviceValuesTest::queryingIsPaintedBeforeTheQueryBlocks()
{
    class PaintWatch : public QObject {
    public:
        QStringList paintedMessages;
        bool waitCursorWhileQuerying = false;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                const QString message = static_cast<QStatusBar*>(watched)->currentMessage();
                paintedMessages.append(message);
                if (message == QStringLiteral("Querying ZORVIK Device...")
                    && QGuiApplication::overrideCursor()
                    && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor)
                    waitCursorWhileQuerying = true;
            }
            return false;
        }
    };

    Device device({}, {"--no-answer"});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    PaintWatch watch;
    child<QStatusBar>(window, "m_statusbar")->installEventFilter(&watch);
    connectByButton(window, device.portName());

    QVERIFY2(watch.paintedMessages.contains(QStringLiteral("Querying ZORVIK Device...")),
             qPrintable(watch.paintedMessages.join(" | ")));
    QVERIFY(watch.waitCursorWhileQuerying);
    QVERIFY(!QGuiApplication::overrideCursor());
}

QTEST_MAIN(DeviceValuesTest)
#include "DeviceValuesTest.moc"
