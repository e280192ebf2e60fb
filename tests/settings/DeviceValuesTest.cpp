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
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <chrono>
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

// The window lists the port: from here a connect starts at once, so the
// device's clock measures the connect alone.
void awaitListed(ZORVIKMiniSetup& window, const std::string& port)
{
    QTRY_VERIFY_WITH_TIMEOUT(portList(window)->findText(QString::fromStdString(port)) >= 0,
                             PORT_LIST_WAIT_MS);
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
    void refusedPresetSnapsBack_data();
    void refusedPresetSnapsBack();
    void pagesShowNothingAfterTheConnectionEnded();
    void failedConnectionSaysWhyAndReleasesThePort_data();
    void failedConnectionSaysWhyAndReleasesThePort();
    void queryingIsPaintedBeforeTheQueryBlocks();
    void nothingIsShownBeforeTheDeviceWasRead();
    void refusedCorrectionsEndTheConnection();
    void parameterTheDeviceLacksIsNotOffered_data();
    void parameterTheDeviceLacksIsNotOffered();
    void deviceQuietWhileReadingEndsTheConnection_data();
    void deviceQuietWhileReadingEndsTheConnection();
    void slowDeviceIsReadWithProgress();
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
          "- Tail - Revomix and Asymmetry (User Defined Main Rotor Torque Direction): 0 "
          "(neither direction) -> 1 (Normal)\n",
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
                          {TorqueDirection, 1}, {CyclicBoostID, 1},  {SwashServo1Angle, 0},
                          {SwashServo2Angle, 120},    {SwashServo3Angle, 240}};
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(device.stored(it.key()), it.value());
    // The rows show what the device now holds.
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxTailServoFrequency")->value(), 560);
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxStickDeadband")->value(), 10);
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxTailAsymmetry")->value(), -50);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxTorqueDir")->currentText(),
             QStringLiteral("Normal"));
    QCOMPARE(child<QComboBox>(window, "m_cmbCyclicBoostID")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxSwashGeometry")->currentText(),
             QStringLiteral("120 °"));
    QVERIFY(isConnected(window));
    QCOMPARE(catcher.seen().size(), 1);
}

// A refused preset is named by the text the pilot chose from the list, not
// by its index.
void DeviceValuesTest::refusedPresetSnapsBack_data()
{
    QTest::addColumn<QString>("limits");
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("status");

    QTest::newRow("servo frame rate")
        << "0x1000=0:3:1" << "m_cmbBoxSwashServoFrequencyID" << int(SwashServoFrequencyID) << 1
        << "Swashplate Servo - Frequency (Preset): \"200 Hz\" refused: the ZORVIK Device allows "
           "\"User Defined\" to \"120 Hz\" and keeps \"50 Hz*\".";
    QTest::newRow("deadband")
        << "0x1098=0:3:2" << "m_cmbBoxStickDeadbandID" << int(StickDeadbandID) << 2
        << "Stick Deadband (Preset): \"5\" refused: the ZORVIK Device allows \"User Defined\" "
           "to \"3\" and keeps \"2*\".";
}

void DeviceValuesTest::refusedPresetSnapsBack()
{
    QFETCH(QString, limits);
    QFETCH(QString, list);
    QFETCH(int, id);
    QFETCH(int, stored);
    QFETCH(QString, status);

    Device device({}, {"--limits", limits.toStdString()});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    connectByButton(window, device.portName());
    QVERIFY(isConnected(window));
    auto* presets = child<QComboBox>(window, list.toLatin1().constData());
    QCOMPARE(presets->currentIndex(), stored);

    presets->setCurrentIndex(5);
    QCOMPARE(presets->currentIndex(), stored);
    QCOMPARE(statusText(window), status);
    // No write was started: Disconnect stays available.
    QVERIFY(child<QPushButton>(window, "m_btnDisconnect")->isEnabled());

    presets->setCurrentIndex(3); // within the device's limits: stored as usual
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), STORED, 3000);
    QCOMPARE(device.stored(id), 3);
    QCOMPARE(device.writes(), 1);
    QVERIFY(catcher.seen().isEmpty());
}

// An edit that was never written must not stay on the greyed pages: the
// device falls quiet right after connecting (13 answers: information,
// handshake, ten descriptor requests, one value read), so the keep-alive
// ends the connection before the edit's write.
void DeviceValuesTest::pagesShowNothingAfterTheConnectionEnded()
{
    Device device({{StickDeadband, 2}}, {"--silent-after", "13"});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    connectByButton(window, device.portName());
    QVERIFY(isConnected(window));
    auto* deadband = child<QSpinBox>(window, "m_spinBoxStickDeadband");
    deadband->setValue(7);

    QTRY_VERIFY_WITH_TIMEOUT(!isConnected(window), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 1, 2000); // the edit not written
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
    // The system's words (who holds the port) are too long for the status
    // line: they follow the reason in a box.
    QTest::newRow("port in use") << QStringList{} << true
                                 << cannotUse + reason(Outcome::PortInUse);
    QTest::newRow("adapter without echo") << QStringList{"--no-echo"} << false
                                          << cannotUse + reason(Outcome::NoEcho);
    QTest::newRow("no device behind the adapter")
        << QStringList{"--no-answer"} << false
        << QStringLiteral("No ZORVIK Device found: ") + reason(Outcome::NoDevice);
    // A device that answers, only not usably, is not "no device": the link's
    // reason says what went wrong.
    const QString unusable = QStringLiteral(
        "No ZORVIK Device found: The KORLINK interface answered, but the ZORVIK Device's answer "
        "could not be used. ");
    QTest::newRow("damaged answer")
        << QStringList{"--bad-crc"} << false
        << unusable + "The device's answer arrived damaged (its checksum did not match): check "
                      "the cable and its connectors, then try again.";
    // The adapter, not the device, failed: no device is said to be missing.
    QTest::newRow("garbled echo")
        << QStringList{"--corrupt-echo"} << false
        << cannotUse
            + "The KORLINK interface echoed the probe, but not a request after it. The KORLINK "
              "adapter echoed other bytes than were sent: the line is disturbed; check the cable "
              "and its connectors, then try again.";
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
    QCOMPARE(::statusText(window), status.arg(QString::fromStdString(port)));
    if (holdPort) {
        QCOMPARE(catcher.seen().size(), 1);
        QVERIFY2(catcher.seen()[0].informativeText.startsWith(reason(DeviceConnection::Outcome::PortInUse) + " ("),
                 qPrintable(catcher.seen()[0].informativeText));
    } else {
        QVERIFY(catcher.seen().isEmpty());
    }
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

// The user agrees to correct what the device holds, and the device refuses
// the write: the box names the corrections, the window disconnects (the
// pages cannot show what the device keeps) and no "Writing the corrections"
// stays behind in the status bar.
void DeviceValuesTest::refusedCorrectionsEndTheConnection()
{
    Device device({{StickDeadband, 20}}, {"--limits", "0x109C=0:10:2", "--refuse-writes"});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    catcher.answerWith(QStringLiteral("Correct Now"));
    connectByButton(window, device.portName());

    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 2, 5000);
    const SeenBox refused = catcher.seen()[1];
    QCOMPARE(refused.icon, QMessageBox::Critical);
    QCOMPARE(refused.informativeText,
             QStringLiteral("The ZORVIK Device refused these changes and stored none of them:"
                            "\n\n- Stick Deadband (User Defined Value)"));
    QVERIFY(!isConnected(window));
    QVERIFY2(::statusText(window).startsWith(QStringLiteral("Disconnected, nothing was written")),
             qPrintable(::statusText(window)));
    QCOMPARE(device.stored(StickDeadband), 20);
    QVERIFY(portIsFree(device));
}

// The form's own texts ("User Defined", "0 Hz", "Mechanic") are no values
// of any device: none of them shows before a device was read.
void DeviceValuesTest::nothingIsShownBeforeTheDeviceWasRead()
{
    ZORVIKMiniSetup window;
    for (QComboBox* list : child<QTabWidget>(window, "m_tabControl")->findChildren<QComboBox*>())
        QVERIFY2(list->currentText().isEmpty(), qPrintable(list->objectName()));
    for (QSpinBox* spinBox : child<QTabWidget>(window, "m_tabControl")->findChildren<QSpinBox*>())
        QVERIFY2(spinBox->text().trimmed().isEmpty(), qPrintable(spinBox->objectName()));
}

void DeviceValuesTest::parameterTheDeviceLacksIsNotOffered_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("widget");
    QTest::newRow("value row") << QStringLiteral("0x1180")
                               << QStringLiteral("m_spinBoxTailAsymmetry");
    QTest::newRow("preset list") << QStringLiteral("0x1154")
                                 << QStringLiteral("m_cmbBoxHeadingLockGainID");
    QTest::newRow("one geometry entry") << QStringLiteral("0x1049")
                                        << QStringLiteral("m_cmbBoxSwashGeometry");
}

// A firmware without one of the parameters: its row is disabled and says
// so, rather than showing 0 within limits of 0 to 0; the others work.
void DeviceValuesTest::parameterTheDeviceLacksIsNotOffered()
{
    QFETCH(QString, missing);
    QFETCH(QString, widget);
    Device device({}, {"--without", missing.toStdString()});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    connectByButton(window, device.portName());
    QVERIFY(isConnected(window));
    QVERIFY(catcher.seen().isEmpty());

    const QString notOffered = QStringLiteral("not offered by this device");
    QWidget* row = child<QWidget>(window, widget.toLatin1().constData());
    QVERIFY(!row->isEnabled());
    if (auto* spinBox = qobject_cast<QSpinBox*>(row)) {
        QCOMPARE(spinBox->text(), notOffered);
        auto* bar = child<QProgressBar>(window, "m_progressBarTailAsymmetry");
        QVERIFY2(bar->maximum() > bar->minimum(), "no busy indicator for a value nobody read");
    } else {
        auto* list = qobject_cast<QComboBox*>(row);
        QVERIFY(list);
        QCOMPARE(list->currentIndex(), -1);
        QCOMPARE(list->placeholderText(), notOffered);
    }
    // The rest of the page is the device's.
    QVERIFY(child<QSpinBox>(window, "m_spinBoxStickDeadband")->isEnabled());
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxStickDeadband")->value(), 2);
    QCOMPARE(device.writes(), 0);
}

void DeviceValuesTest::deviceQuietWhileReadingEndsTheConnection_data()
{
    QTest::addColumn<int>("answersLeft");
    QTest::addColumn<QString>("reason");
    // The battery pulled while the adapter stays plugged in: it echoes, the
    // device is quiet. The connect itself takes two answers.
    QTest::newRow("during the descriptors") << 5 << QStringLiteral("The device did not answer");
    QTest::newRow("at the values") << 12 << QStringLiteral("The device did not answer");
}

// The first unanswered request ends it within one request's time-out: the
// window disconnects, releases the port and says what failed; nothing is
// asked again and nothing is written.
void DeviceValuesTest::deviceQuietWhileReadingEndsTheConnection()
{
    QFETCH(int, answersLeft);
    QFETCH(QString, reason);
    Device device({}, {"--device-silent-after", std::to_string(answersLeft)});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    catcher.noteWhileShown([&] { return isConnected(window) ? "connected" : "disconnected"; });
    awaitListed(window, device.portName());
    const auto started = device.device().link().now();
    connectByButton(window, device.portName());

    QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 1, 5000);
    const SeenBox box = catcher.seen()[0];
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QStringLiteral("The ZORVIK Device's settings could not be read"));
    QVERIFY2(box.informativeText.startsWith(reason), qPrintable(box.informativeText));
    QVERIFY(box.informativeText.contains(QStringLiteral("Nothing has been written")));
    QCOMPARE(box.stateWhileShown, QStringLiteral("disconnected"));
    QVERIFY(::statusText(window).startsWith(
        QStringLiteral("Connection to the ZORVIK Device lost: ") + reason));
    QVERIFY(portIsFree(device));
    // The answered requests and the one left unanswered, within about one
    // request's time-out of device time (2.5 s for the answer), not more.
    QCOMPARE(int(device.device().link().requestCount()), answersLeft + 1);
    QVERIFY(device.device().link().now() - started < std::chrono::milliseconds(3500));
    QCOMPARE(device.writes(), 0);
    QVERIFY(child<QSpinBox>(window, "m_spinBoxStickDeadband")->text().trimmed().isEmpty());
}

// 0.3 s an answer: thirteen requests (information, handshake, ten
// descriptor requests, one value read) in about 4 s of device time, with
// the progress in the status bar.
void DeviceValuesTest::slowDeviceIsReadWithProgress()
{
    Device device({}, {"--answer-delay", "300"});
    QVERIFY2(device.isReady(), device.device().error().c_str());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer catcher;
    auto* progress = window.findChild<QProgressBar*>(QStringLiteral("readProgress"));
    QVERIFY(progress);
    QList<int> steps;
    connect(progress, &QProgressBar::valueChanged, this, [&](int value) { steps.append(value); });
    awaitListed(window, device.portName());
    const auto started = device.device().link().now();
    connectByButton(window, device.portName());

    QVERIFY(isConnected(window));
    const auto took = device.device().link().now() - started;
    QVERIFY(took >= std::chrono::milliseconds(13 * 300));
    QVERIFY(took < std::chrono::milliseconds(13 * 300 + 1500));
    QCOMPARE(int(device.device().link().requestCount()), 13);
    QCOMPARE(progress->maximum(), 11);
    QCOMPARE(steps.last(), 11);
    QCOMPARE(steps.size(), 12); // from 0, one step per request
    QVERIFY(!progress->isVisible());
    QVERIFY(catcher.seen().isEmpty());
}

QTEST_MAIN(DeviceValuesTest)
#include "DeviceValuesTest.moc"
