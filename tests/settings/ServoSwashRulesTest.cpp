// The rules between the settings window's tail servo and swash plate rows
// and the device, against the simulated device in the test's process,
// offscreen: the tail servo
// frame rate rule with its corrections and message box, the swash plate
// geometry stored from the list and phase angle and selected again from
// the stored entries, the picture the visualizer gets, and the torque
// direction.

#include "DeviceWithState.h"
#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "SwashPlate.h"
#include "SettingsWindowSteps.h"
#include "WindowChild.h"
#include "WindowTimers.h"
#include "ZORVIKMiniSetup.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

using ZORVI::ZORVIKMiniSetup;

using namespace SettingsWindowSteps;
// Parameters by the IDs the device names them with.
using namespace ZORVI::EEPROM;

namespace {

const QString STORED = QStringLiteral("Settings successfully stored.");
const QString REDUCED_TO_333 =
    QStringLiteral("The Tail Servo's Frequency you selected is too high and will be reduced to "
                   "333 Hz.");
const QString REDUCED_TO_MAXIMUM =
    QStringLiteral("Your User Defined Value of the Tail Servo's Frequency is too high and will "
                   "be reduced to the maximum possible.");
// Nothing fits when the pulse length leaves less than 333 Hz: the box must
// not promise a lowering that cannot happen.
const QString PULSE_2100_UNSATISFIABLE =
    QStringLiteral("A Center Position Pulse Length of 2100 us allows a Tail Servo Frequency of at "
                   "most 322 Hz.\nSelect a lower Tail Servo Frequency first.\n\n"
                   "Your change has not been stored.");
const QString CORRECT_NOW = QStringLiteral("Correct Now");

// What the visualizer is told, spelled out per case.
struct Picture {
    int angle;
    int rotation;
    int aspect;
    int ratio1, ratio2, ratio3;
};

QImage drawing(SwashPlate& plate)
{
    QImage image(plate.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    plate.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QImage expectedDrawing(const Picture& picture)
{
    SwashPlate plate;
    plate.resize(150, 150);
    plate.setRatioCH1(picture.ratio1);
    plate.setRatioCH2(picture.ratio2);
    plate.setRatioCH3(picture.ratio3);
    plate.setAngle(picture.angle);
    plate.setAspect(picture.aspect);
    plate.setVirtualRotation(picture.rotation);
    return drawing(plate);
}

} // namespace

Q_DECLARE_METATYPE(Values)
Q_DECLARE_METATYPE(Picture)

class ServoSwashRulesTest : public QObject {
    Q_OBJECT

private slots:
    void tailServoRule_data();
    void tailServoRule();
    void geometryIsStored_data();
    void geometryIsStored();
    void storedGeometryIsSelected_data();
    void storedGeometryIsSelected();
    void torqueDirectionFollowsTheStoredSign();
    void nextDeviceIsFilledLikeTheFirst();
};

// Actions on the tail servo rows, as "what=value"; "none" only connects.
void ServoSwashRulesTest::tailServoRule_data()
{
    QTest::addColumn<Values>("device");
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("box"); // informative text, empty for none
    QTest::addColumn<int>("frequencyIndex");
    QTest::addColumn<int>("frequencyValue");
    QTest::addColumn<Values>("stored"); // empty: nothing may be written

    const Values userPulse1500{{TailServoCPPLID, 0}, {TailServoCPPL, 1500}, {TailServoFrequencyID, 0},
                               {TailServoFrequency, 50}};

    QTest::newRow("560 Hz with 1520 us is lowered to 333 Hz")
        << Values{} << QStringList{} << "frequency preset=5" << REDUCED_TO_333 << 4 << 50
        << Values{{TailServoFrequencyID, 4}};
    QTest::newRow("450 Hz with 1500 us is lowered to 400 Hz")
        << userPulse1500 << QStringList{} << "frequency=450" << REDUCED_TO_MAXIMUM << 0 << 400
        << Values{{TailServoFrequency, 400}};
    QTest::newRow("the limit itself keeps the rule")
        << userPulse1500 << QStringList{} << "frequency=400" << QString() << 0 << 400
        << Values{{TailServoFrequency, 400}};
    QTest::newRow("one above the limit breaks it")
        << userPulse1500 << QStringList{} << "frequency=401" << REDUCED_TO_MAXIMUM << 0 << 400
        << Values{{TailServoFrequency, 400}};
    // What the window shows is what the device gets: the new pulse length
    // is stored together with the lowered frame rate.
    QTest::newRow("longer pulse preset lowers 560 Hz and is stored")
        << Values{{TailServoCPPLID, 2}, {TailServoFrequencyID, 5}} << QStringList{}
        << "pulse preset=3" << REDUCED_TO_333 << 4 << 50
        << Values{{TailServoCPPLID, 3}, {TailServoFrequencyID, 4}};
    QTest::newRow("longer user pulse lowers the user frame rate and is stored")
        << Values{{TailServoCPPLID, 0}, {TailServoCPPL, 1000}, {TailServoFrequencyID, 0},
                  {TailServoFrequency, 500}}
        << QStringList{} << "pulse=1500" << REDUCED_TO_MAXIMUM << 0 << 400
        << Values{{TailServoCPPL, 1500}, {TailServoFrequency, 400}};
    // 333 Hz is already selected and still too fast: nothing can be lowered,
    // so the pulse length the device would not take is not stored, and its
    // spin box goes back to the stored value.
    QTest::newRow("pulse too long even for 333 Hz")
        << Values{{TailServoCPPLID, 0}, {TailServoCPPL, 1500}, {TailServoFrequencyID, 4}}
        << QStringList{"--limits", "0x1064=500:2500:1520"} << "pulse=2100"
        << PULSE_2100_UNSATISFIABLE << 4 << 50 << Values{};
}

void ServoSwashRulesTest::tailServoRule()
{
    QFETCH(Values, device);
    QFETCH(QStringList, simArguments);
    QFETCH(QString, action);
    QFETCH(QString, box);
    QFETCH(int, frequencyIndex);
    QFETCH(int, frequencyValue);
    QFETCH(Values, stored);

    std::vector<std::string> arguments;
    for (const QString& argument : simArguments)
        arguments.push_back(argument.toStdString());
    Device simulated(device, arguments);
    QVERIFY2(simulated.isReady(), simulated.device().error().c_str());
    ZORVIKMiniSetup window(simulated.control());
    ModalBoxAnswerer catcher;
    choosePort(window, simulated.portName());
    QVERIFY(child<QTabWidget>(window, "m_tabControl")->isEnabled());
    // The action below starts from a window with nothing left to write.
    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);

    auto* frequencyList = child<QComboBox>(window, "m_cmbBoxTailServoFrequencyID");
    auto* frequency = child<QSpinBox>(window, "m_spinBoxTailServoFrequency");
    const QString what = action.section('=', 0, 0);
    const int value = action.section('=', 1).toInt();
    if (what == "frequency preset")
        frequencyList->setCurrentIndex(value);
    else if (what == "frequency")
        frequency->setValue(value);
    else if (what == "pulse preset")
        child<QComboBox>(window, "m_cmbBoxTailServoCPPLID")->setCurrentIndex(value);
    else if (what == "pulse")
        child<QSpinBox>(window, "m_spinBoxTailServoCPPL")->setValue(value);
    else
        QCOMPARE(what, QStringLiteral("none"));

    if (box.isEmpty()) {
        QVERIFY(catcher.seen().isEmpty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(catcher.seen().size(), 1, 2000);
        QCOMPARE(catcher.seen()[0].icon, QMessageBox::Information);
        QCOMPARE(catcher.seen()[0].text, QStringLiteral("Tail Servo Configuration Error"));
        QCOMPARE(catcher.seen()[0].informativeText, box);
    }
    QCOMPARE(frequencyList->currentIndex(), frequencyIndex);
    QCOMPARE(frequency->value(), frequencyValue);
    // A refused pulse length does not stay on screen.
    if (what == "pulse" && stored.isEmpty())
        QCOMPARE(child<QSpinBox>(window, "m_spinBoxTailServoCPPL")->value(), device[TailServoCPPL]);

    if (stored.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
        QCOMPARE(simulated.writes(), 0);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(simulated.writes(), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), STORED, 2000);
    for (auto it = stored.begin(); it != stored.end(); ++it)
        QCOMPARE(simulated.stored(it.key()), it.value());
    QCOMPARE(catcher.seen().size(), box.isEmpty() ? 0 : 1);
}

void ServoSwashRulesTest::geometryIsStored_data()
{
    QTest::addColumn<int>("phaseAngle");
    QTest::addColumn<int>("geometry"); // list index chosen after the phase angle
    QTest::addColumn<bool>("stepUp");  // one step up on the phase angle at the end
    QTest::addColumn<Values>("stored");
    QTest::addColumn<Picture>("picture");

    QTest::newRow("120 ° at -30") << -30 << 2 << false
                                  << Values{{SwashServo1Angle, 330}, {SwashServo2Angle, 90},
                                            {SwashServo3Angle, 210}, {SwashMixerMode, 7}}
                                  << Picture{120, -30, 0, 1000, 1000, 1000};
    QTest::newRow("90 ° at 180") << 180 << 1 << false
                                 << Values{{SwashServo1Angle, 180}, {SwashServo2Angle, 270},
                                           {SwashServo3Angle, 90}, {SwashServo3Travel, 1000}}
                                 << Picture{90, 180, 0, 1000, 1000, 1000};
    // The phase angle wraps from 180 to -180: the same servo positions.
    QTest::newRow("90 ° at 180, one step up") << 180 << 1 << true
                                              << Values{{SwashServo1Angle, 180}, {SwashServo2Angle, 270},
                                                        {SwashServo3Angle, 90}}
                                              << Picture{90, -180, 0, 1000, 1000, 1000};
    QTest::newRow("Mechanic at 0") << 0 << 0 << false
                                   << Values{{SwashServo1Angle, 0}, {SwashServo2Angle, 90},
                                             {SwashServo3Angle, 270}, {SwashServo1Travel, 1000},
                                             {SwashServo2Travel, 1000}, {SwashServo3Travel, 0},
                                             {SwashMixerMode, 4}}
                                   << Picture{90, 0, 2, 1000, 1000, 0};
    QTest::newRow("140 ° (1=1) at 45") << 45 << 5 << false
                                       << Values{{SwashServo1Angle, 45}, {SwashServo2Angle, 180},
                                                 {SwashServo3Angle, 270}, {SwashServo2Travel, 1414},
                                                 {SwashServo3Travel, 1414}, {SwashMixerMode, 7}}
                                       << Picture{135, 45, 1, 1000, 1414, 1414};
}

void ServoSwashRulesTest::geometryIsStored()
{
    QFETCH(int, phaseAngle);
    QFETCH(int, geometry);
    QFETCH(bool, stepUp);
    QFETCH(Values, stored);
    QFETCH(Picture, picture);

    Device simulated(Values{});
    QVERIFY2(simulated.isReady(), simulated.device().error().c_str());
    ZORVIKMiniSetup window(simulated.control());
    ModalBoxAnswerer catcher;
    choosePort(window, simulated.portName());
    auto* phase = child<QSpinBox>(window, "m_spinBoxSwashVirtualRotation");
    auto* geometries = child<QComboBox>(window, "m_cmbBoxSwashGeometry");
    QCOMPARE(geometries->currentText(), QStringLiteral("120 °"));
    QCOMPARE(phase->minimum(), -180);
    QCOMPARE(phase->maximum(), 180);
    QCOMPARE(phase->toolTip(), QStringLiteral("Valid values: -180° - 180°; Default: 0°"));

    phase->setValue(phaseAngle);
    geometries->setCurrentIndex(geometry);
    if (stepUp) {
        QTRY_COMPARE_WITH_TIMEOUT(simulated.writes(), 1, 3000);
        phase->stepUp();
        QCOMPARE(phase->value(), -180);
    }
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), STORED, 3000);
    for (auto it = stored.begin(); it != stored.end(); ++it)
        QCOMPARE(simulated.stored(it.key()), it.value());
    if (stepUp) {
        QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
        QCOMPARE(simulated.writes(), 1); // the same positions: nothing new to write
    }
    QCOMPARE(drawing(*child<SwashPlate>(window, "m_SwashPlate")), expectedDrawing(picture));
    QVERIFY(catcher.seen().isEmpty());
}

void ServoSwashRulesTest::storedGeometryIsSelected_data()
{
    QTest::addColumn<Values>("device");
    QTest::addColumn<QString>("geometry");
    QTest::addColumn<int>("phaseAngle");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<Picture>("picture");

    const auto geometry = [](QList<int> angles, QList<int> travels, int mode) {
        return Values{{SwashServo1Angle, angles[0]},   {SwashServo2Angle, angles[1]},
                      {SwashServo3Angle, angles[2]},   {SwashServo1Travel, travels[0]},
                      {SwashServo2Travel, travels[1]}, {SwashServo3Travel, travels[2]},
                      {SwashMixerMode, mode}};
    };
    QTest::newRow("140 ° (1=1)") << geometry({0, 135, 225}, {1000, 1414, 1414}, 7)
                                 << "140 ° (1=1)" << 0 << true
                                 << Picture{135, 0, 1, 1000, 1414, 1414};
    QTest::newRow("120 ° at -10") << geometry({350, 110, 230}, {1000, 1000, 1000}, 7) << "120 °"
                                  << -10 << true << Picture{120, -10, 0, 1000, 1000, 1000};
    // The list already shows "Mechanic" after its refill and the phase angle
    // is already 0: nothing changes, the picture must still be drawn.
    QTest::newRow("Mechanic") << geometry({0, 90, 270}, {1000, 1000, 0}, 4) << "Mechanic" << 0
                              << true << Picture{90, 0, 2, 1000, 1000, 0};
    QTest::newRow("uneven positions") << geometry({0, 120, 250}, {1000, 1000, 1000}, 7)
                                      << "120 °" << 0 << false
                                      << Picture{120, 0, 0, 1000, 1000, 1000};
    QTest::newRow("uneven, mechanic entries") << geometry({20, 110, 300}, {1000, 1000, 0}, 4)
                                              << "120 °" << 20 << false
                                              << Picture{120, 20, 0, 1000, 1000, 1000};
    QTest::newRow("spacing of no geometry") << geometry({0, 100, 260}, {1000, 1000, 1000}, 7)
                                            << "120 °" << 0 << false
                                            << Picture{120, 0, 0, 1000, 1000, 1000};
}

void ServoSwashRulesTest::storedGeometryIsSelected()
{
    QFETCH(Values, device);
    QFETCH(QString, geometry);
    QFETCH(int, phaseAngle);
    QFETCH(bool, recognised);
    QFETCH(Picture, picture);

    Device simulated(device);
    QVERIFY2(simulated.isReady(), simulated.device().error().c_str());
    ZORVIKMiniSetup window(simulated.control());
    ModalBoxAnswerer catcher;
    catcher.answerWith(CORRECT_NOW);
    choosePort(window, simulated.portName());
    auto* geometries = child<QComboBox>(window, "m_cmbBoxSwashGeometry");
    QCOMPARE(geometries->currentText(), geometry);
    QCOMPARE(child<QSpinBox>(window, "m_spinBoxSwashVirtualRotation")->value(), phaseAngle);
    QCOMPARE(drawing(*child<SwashPlate>(window, "m_SwashPlate")), expectedDrawing(picture));
    if (recognised) {
        QCOMPARE(statusText(window), QStringLiteral("ZORVIK Device found"));
        QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
        QVERIFY(catcher.seen().isEmpty());
        // Connecting never changes a geometry the program knows.
        QCOMPARE(simulated.writes(), 0);
        for (auto it = device.begin(); it != device.end(); ++it)
            QCOMPARE(simulated.stored(it.key()), it.value());
        return;
    }

    // An unknown set-up is offered for replacement by "120 °" at the stored
    // phase angle; once the user agreed, it goes out in one write, and the
    // user is told, also after the success message.
    QCOMPARE(catcher.seen().size(), 1);
    QCOMPARE(catcher.seen()[0].icon, QMessageBox::Warning);
    QVERIFY2(catcher.seen()[0].informativeText.contains(
                 QStringLiteral("-> \"120 °\" at a phase angle of %1°").arg(phaseAngle)),
             qPrintable(catcher.seen()[0].informativeText));
    QTRY_COMPARE_WITH_TIMEOUT(simulated.writes(), 1, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window),
                              STORED + QStringLiteral(" Corrections written: 1."), 2000);
    QCOMPARE(simulated.stored(SwashServo1Angle), (phaseAngle + 360) % 360);
    QCOMPARE(simulated.stored(SwashServo2Angle), (phaseAngle + 120) % 360);
    QCOMPARE(simulated.stored(SwashServo3Angle), (phaseAngle + 240) % 360);
    QCOMPARE(simulated.stored(SwashServo1Travel), 1000);
    QCOMPARE(simulated.stored(SwashServo2Travel), 1000);
    QCOMPARE(simulated.stored(SwashServo3Travel), 1000);
    QCOMPARE(simulated.stored(SwashMixerMode), 7);
}

void ServoSwashRulesTest::torqueDirectionFollowsTheStoredSign()
{
    Device simulated(Values{{TorqueDirection, -1}});
    QVERIFY2(simulated.isReady(), simulated.device().error().c_str());
    ZORVIKMiniSetup window(simulated.control());
    choosePort(window, simulated.portName());
    auto* direction = child<QComboBox>(window, "m_cmbBoxTorqueDir");
    QCOMPARE(direction->currentText(), QStringLiteral("Reverse"));

    direction->setCurrentIndex(0);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), STORED, 3000);
    QCOMPARE(simulated.stored(TorqueDirection), 1);
}

// The rule runs against the preset lists while a device's rows are filled;
// the lists must not still hold the previous device's presets then, or a
// device that keeps the rule would be "corrected".
void ServoSwashRulesTest::nextDeviceIsFilledLikeTheFirst()
{
    Device fastTail(Values{{TailServoCPPLID, 2}, {TailServoFrequencyID, 5}}); // 760 us, 560 Hz
    QVERIFY2(fastTail.isReady(), fastTail.device().error().c_str());
    Device factory(Values{}, {}, &fastTail); // 1520 us, 50 Hz
    QVERIFY2(factory.isReady(), factory.device().error().c_str());
    ZORVIKMiniSetup window(InProcessDevice::control({&fastTail.device(), &factory.device()}));
    ModalBoxAnswerer catcher;

    choosePort(window, fastTail.portName());
    auto* frequency = child<QComboBox>(window, "m_cmbBoxTailServoFrequencyID");
    QCOMPARE(frequency->currentIndex(), 5);
    choosePort(window, factory.portName());
    QCOMPARE(child<QLabel>(window, "m_lblZorviAppVer")->text(), QStringLiteral("3.1.7"));
    QCOMPARE(frequency->currentIndex(), 1);
    QCOMPARE(child<QComboBox>(window, "m_cmbBoxTailServoCPPLID")->currentIndex(), 3);

    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
    QVERIFY(catcher.seen().isEmpty());
    QCOMPARE(factory.writes(), 0);
    QCOMPARE(fastTail.writes(), 0);
}

QTEST_MAIN(ServoSwashRulesTest)
#include "ServoSwashRulesTest.moc"
