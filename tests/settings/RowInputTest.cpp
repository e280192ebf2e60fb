// Moving around the settings window never changes a setting, against the
// device simulator, offscreen: typed digits reach the device once, as the
// whole number; the wheel over a row without focus scrolls the page; the
// page keys switch tabs from anywhere; stepping through the port list opens
// only the port the user settles on.

#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "SettledChoice.h"
#include "PrivateRuntimeDir.h"
#include "SimulatorLog.h"
#include "SimulatorProcess.h"
#include "SettingsWindowSteps.h"
#include "WindowChild.h"
#include "WindowTimers.h"
#include "ZORVIKMiniSetup.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <string>
#include <vector>

using ZORVI::ZORVIKMiniSetup;
using ZORVI::Testing::SimulatorProcess;

using namespace SettingsWindowSteps;

namespace {

// Smaller than the pages, so that the page has something to scroll.
const QSize WINDOW_SIZE(760, 420);
// A wheel notch turned towards the user: the page scrolls down, a spin box
// steps down, a list moves to its next entry.
constexpr int NOTCH_DOWN = -120;

QVariant rowValue(QWidget* row)
{
    if (auto* spinBox = qobject_cast<QSpinBox*>(row))
        return spinBox->value();
    if (auto* list = qobject_cast<QComboBox*>(row))
        return list->currentIndex();
    return QVariant();
}

int pageOf(QTabWidget* tabs, QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        const int index = tabs->indexOf(w);
        if (index >= 0)
            return index;
    }
    return -1;
}

// Turns the wheel over the middle of `row` as the platform delivers it: a
// spontaneous event to the widget under the pointer, so that the
// application gives focus by the focus policies and hands a turn nobody
// accepted on to the parents.
void turnWheel(QWidget* row, int angleDelta)
{
    QWidget* underPointer = row->childAt(row->rect().center());
    if (!underPointer)
        underPointer = row;
    const QPointF position = underPointer->mapFrom(row, row->rect().center());
    QWheelEvent wheel(position, underPointer->mapToGlobal(position), QPoint(),
                      QPoint(0, angleDelta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(underPointer, &wheel);
}

int probeCount(const SimulatorProcess& sim)
{
    return static_cast<int>(sim.logLines("probe").size());
}

// The value the simulator keeps for `id` in its state file.
QString storedValue(const std::string& stateFile, uint16_t id)
{
    QFile file(QString::fromStdString(stateFile));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString idText = QStringLiteral("0x%1").arg(id, 4, 16, QChar('0'));
    while (!file.atEnd()) {
        const QStringList fields = QString::fromLatin1(file.readLine()).simplified().split(' ');
        if (fields.size() == 2 && fields[0].compare(idText, Qt::CaseInsensitive) == 0)
            return fields[1];
    }
    return QString();
}

} // namespace

class RowInputTest : public QObject {
    Q_OBJECT

private slots:
    void typedDigitsAreWrittenOnceAsTheWholeNumber_data();
    void typedDigitsAreWrittenOnceAsTheWholeNumber();
    void typedValueOutsideTheLimitsIsRefusedAsTyped_data();
    void typedValueOutsideTheLimitsIsRefusedAsTyped();
    void typedValueIsWrittenBeforeLeaving_data();
    void typedValueIsWrittenBeforeLeaving();
    void wheelChangesOnlyTheFocusedRow_data();
    void wheelChangesOnlyTheFocusedRow();
    void pageKeysSwitchTabsAndChangeNothing_data();
    void pageKeysSwitchTabsAndChangeNothing();
    void portListConnectsOnlyToThePortSettledOn();

private:
    // Shows the window, makes it the active one (offscreen, focus needs
    // that) and connects it to the simulator with nothing left to write.
    void showConnected(ZORVIKMiniSetup& window, const SimulatorProcess& sim);
};

void RowInputTest::showConnected(ZORVIKMiniSetup& window, const SimulatorProcess& sim)
{
    window.resize(WINDOW_SIZE);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // The list may hold the machine's own serial ports too. A port the
    // program selects connects at once, as Connect does.
    choosePort(window, sim.portName());
    QVERIFY(isConnected(window));
    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
}

void RowInputTest::typedDigitsAreWrittenOnceAsTheWholeNumber_data()
{
    QTest::addColumn<int>("commitKey");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("focus moves on") << int(Qt::Key_Tab);
}

void RowInputTest::typedDigitsAreWrittenOnceAsTheWholeNumber()
{
    QFETCH(int, commitKey);

    // A pulse length range down to 1, so that 1, 15 and 152 would all be
    // values the device takes.
    PrivateRuntimeDir stateDir;
    const std::string state = stateDir.path() + "/state";
    SimulatorProcess sim({"--state", state, "--limits", "0x1064=1:2000:760"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    showConnected(window, sim);
    if (QTest::currentTestFailed())
        return;
    const int writesBefore = SimulatorLog::requestPayloads(sim, 4).size();

    auto* spinBox = child<QSpinBox>(window, "m_spinBoxTailServoCPPL");
    QCOMPARE(spinBox->value(), 760);
    spinBox->setFocus();
    QVERIFY(spinBox->hasFocus());
    spinBox->selectAll();
    for (const QChar digit : QStringLiteral("1520")) {
        QTest::keyClick(spinBox, digit.toLatin1());
        QVERIFY2(!isWritePending(window), qPrintable(QStringLiteral("after typing up to ")
                                                     + spinBox->text()));
        QCOMPARE(spinBox->value(), 760);
    }
    QTest::keyClick(spinBox, Qt::Key(commitKey));
    QCOMPARE(spinBox->value(), 1520);
    QVERIFY(isWritePending(window));
    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);

    // One write of one entry: word 0x0023 (the pulse length) = 0x05F0.
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4).mid(writesBefore),
             QStringList{"81002305f0"});
    QCOMPARE(storedValue(state, ZORVI::EEPROM::TailServoCPPL), QStringLiteral("1520"));
    QVERIFY(catcher.seen().isEmpty());
}

// QSpinBox drops the key that takes the text past the maximum: "250" in a
// row that allows 10 to 200 would be committed as 25. The whole number is
// refused instead, by the rules, and nothing is written.
void RowInputTest::typedValueOutsideTheLimitsIsRefusedAsTyped_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("commitKey");
    QTest::addColumn<QString>("status");

    const int enter = int(Qt::Key_Return);
    const int tab = int(Qt::Key_Tab);
    QTest::newRow("past the maximum, Enter")
        << "m_spinBoxHeadingLockGain" << "250" << enter
        << "Tail - HeadingLock Gain (User Defined Value): 250 refused: the ZORVIK Device allows "
           "10 to 200 and keeps 60.";
    QTest::newRow("past the maximum, focus moves on")
        << "m_spinBoxPitchingUpBehaviour" << "150" << tab
        << "Swashplate - Pitching Up Behaviour (User Defined Value): 150 refused: the ZORVIK "
           "Device allows 0 to 100 and keeps 50.";
    QTest::newRow("below the minimum")
        << "m_spinBoxHeadingLockGain" << "5" << enter
        << "Tail - HeadingLock Gain (User Defined Value): 5 refused: the ZORVIK Device allows "
           "10 to 200 and keeps 60.";
    QTest::newRow("tail servo pulse length")
        << "m_spinBoxTailServoCPPL" << "25000" << enter
        << "Tail Servo - Center Position Pulse Length (User Defined Value): 25000 refused: the "
           "ZORVIK Device allows 500 to 2000 and keeps 1520.";
    QTest::newRow("phase angle")
        << "m_spinBoxSwashVirtualRotation" << "200" << enter
        << "Swashplate - Mixer (User Defined Phase Angle): 200° refused: the phase angle is "
           "-180° to 180° and stays 0°.";
}

void RowInputTest::typedValueOutsideTheLimitsIsRefusedAsTyped()
{
    QFETCH(QString, row);
    QFETCH(QString, typed);
    QFETCH(int, commitKey);
    QFETCH(QString, status);

    PrivateRuntimeDir stateDir;
    const std::string state = stateDir.path() + "/state";
    SimulatorProcess sim({"--state", state, "--limits", "0x1158=10:200:60"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    showConnected(window, sim);
    if (QTest::currentTestFailed())
        return;
    const QStringList writesBefore = SimulatorLog::requestPayloads(sim, 4);

    auto* spinBox = child<QSpinBox>(window, row.toLatin1().constData());
    const int before = spinBox->value();
    spinBox->setFocus();
    QVERIFY(spinBox->hasFocus());
    spinBox->selectAll();
    QTest::keyClicks(spinBox, typed);
    QCOMPARE(spinBox->cleanText(), typed); // not a digit dropped
    QTest::keyClick(spinBox, Qt::Key(commitKey));

    QCOMPARE(spinBox->value(), before);
    QCOMPARE(spinBox->cleanText(), QString::number(before));
    QCOMPARE(statusText(window), status);
    QVERIFY(!isWritePending(window));
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4), writesBefore);
    QVERIFY(catcher.seen().isEmpty());
}

// A typed value nobody committed yet (no Enter, the field not left) is
// written when the window closes, or on Disconnect, which then disconnects
// at the first click.
void RowInputTest::typedValueIsWrittenBeforeLeaving_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("window closed") << true;
    QTest::newRow("Disconnect clicked") << false;
}

void RowInputTest::typedValueIsWrittenBeforeLeaving()
{
    QFETCH(bool, closeWindow);

    PrivateRuntimeDir stateDir;
    const std::string state = stateDir.path() + "/state";
    SimulatorProcess sim({"--state", state});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    showConnected(window, sim);
    if (QTest::currentTestFailed())
        return;

    auto* spinBox = child<QSpinBox>(window, "m_spinBoxStickDeadband");
    QCOMPARE(spinBox->value(), 2);
    spinBox->setFocus();
    QVERIFY(spinBox->hasFocus());
    spinBox->selectAll();
    QTest::keyClicks(spinBox, QStringLiteral("7"));
    QVERIFY(!isWritePending(window));

    if (closeWindow) {
        QVERIFY(window.close());
    } else {
        auto* disconnect = child<QPushButton>(window, "m_btnDisconnect");
        // The small window scrolls: the button must be where the pointer is.
        child<QScrollArea>(window, "scrollArea")->ensureWidgetVisible(disconnect);
        QVERIFY(disconnect->isEnabled());
        QSignalSpy clicks(disconnect, &QPushButton::clicked);
        QTest::mouseClick(disconnect, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!isConnected(window));
    }
    QTRY_COMPARE_WITH_TIMEOUT(storedValue(state, ZORVI::EEPROM::StickDeadband),
                              QStringLiteral("7"), 5000);
    QVERIFY(catcher.seen().isEmpty());
}

void RowInputTest::wheelChangesOnlyTheFocusedRow_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<bool>("focused");

    for (const char* row : {"m_spinBoxStickDeadband", "m_cmbBoxStickDeadbandID",
                            "m_cmbBoxSwashGeometry", "m_cmbBoxTorqueDir"})
        QTest::newRow(qPrintable(QStringLiteral("%1 without focus").arg(row))) << row << false;
    for (const char* row : {"m_spinBoxStickDeadband", "m_cmbBoxStickDeadbandID"})
        QTest::newRow(qPrintable(QStringLiteral("%1 with focus").arg(row))) << row << true;
}

void RowInputTest::wheelChangesOnlyTheFocusedRow()
{
    QFETCH(QString, row);
    QFETCH(bool, focused);

    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    showConnected(window, sim);
    if (QTest::currentTestFailed())
        return;
    const int writesBefore = SimulatorLog::requestPayloads(sim, 4).size();

    auto* widget = child<QWidget>(window, row);
    auto* tabs = child<QTabWidget>(window, "m_tabControl");
    tabs->setCurrentIndex(pageOf(tabs, widget));
    QScrollBar* pageScroll = child<QScrollArea>(window, "scrollArea")->verticalScrollBar();
    QTRY_VERIFY2_WITH_TIMEOUT(pageScroll->maximum() > 0, "the page does not scroll", 5000);
    pageScroll->setValue(0);
    if (focused)
        widget->setFocus();
    else
        child<QPushButton>(window, "m_btnDisconnect")->setFocus();
    QCOMPARE(widget->hasFocus(), focused);
    const QVariant before = rowValue(widget);

    turnWheel(widget, NOTCH_DOWN);

    QCOMPARE(rowValue(widget) != before, focused);
    QCOMPARE(pageScroll->value() > 0, !focused);
    QCOMPARE(isWritePending(window), focused);
    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4).size() - writesBefore, focused ? 1 : 0);
    QVERIFY(catcher.seen().isEmpty());
}

void RowInputTest::pageKeysSwitchTabsAndChangeNothing_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("fromTab");
    QTest::addColumn<int>("toTab");

    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    // Two pages: the setup page (0) and the parameter page (1); a step past
    // either end wraps around.
    QTest::newRow("Ctrl+PageDown, spin box")
        << "m_spinBoxTailServoCPPL" << int(Qt::Key_PageDown) << ctrl << 0 << 1;
    QTest::newRow("Ctrl+PageDown, preset list")
        << "m_cmbBoxTailServoCPPLID" << int(Qt::Key_PageDown) << ctrl << 0 << 1;
    QTest::newRow("Ctrl+PageDown past the end, torque direction list")
        << "m_cmbBoxTorqueDir" << int(Qt::Key_PageDown) << ctrl << 1 << 0;
    QTest::newRow("Ctrl+PageUp, spin box")
        << "m_spinBoxStickDeadband" << int(Qt::Key_PageUp) << ctrl << 1 << 0;
    QTest::newRow("Ctrl+PageUp past the start, geometry list")
        << "m_cmbBoxSwashGeometry" << int(Qt::Key_PageUp) << ctrl << 0 << 1;
    QTest::newRow("Ctrl+Tab, spin box")
        << "m_spinBoxSwashServoFrequency" << int(Qt::Key_Tab) << ctrl << 0 << 1;
    QTest::newRow("Ctrl+Tab past the end, preset list")
        << "m_cmbBoxStickDeadbandID" << int(Qt::Key_Tab) << ctrl << 1 << 0;
    QTest::newRow("Ctrl+Shift+Tab, preset list")
        << "m_cmbBoxHeadingLockGainID" << int(Qt::Key_Backtab) << ctrlShift << 1 << 0;
    QTest::newRow("Ctrl+Shift+Tab past the start, spin box")
        << "m_spinBoxTailServoFrequency" << int(Qt::Key_Backtab) << ctrlShift << 0 << 1;
    QTest::newRow("Ctrl+PageDown, Disconnect button")
        << "m_btnDisconnect" << int(Qt::Key_PageDown) << ctrl << 0 << 1;
    QTest::newRow("Ctrl+PageUp, port list")
        << "m_cmbBoxZorvilink" << int(Qt::Key_PageUp) << ctrl << 1 << 0;
}

void RowInputTest::pageKeysSwitchTabsAndChangeNothing()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, fromTab);
    QFETCH(int, toTab);

    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    showConnected(window, sim);
    if (QTest::currentTestFailed())
        return;
    const int requestsBefore = SimulatorLog::requestCount(sim);
    const int writesBefore = SimulatorLog::requestPayloads(sim, 4).size();

    auto* tabs = child<QTabWidget>(window, "m_tabControl");
    tabs->setCurrentIndex(fromTab);
    auto* widget = child<QWidget>(window, focus);
    widget->setFocus();
    QVERIFY(widget->hasFocus());
    const QVariant before = rowValue(widget);

    QTest::keyClick(widget, Qt::Key(key), modifiers);

    QCOMPARE(tabs->currentIndex(), toTab);
    QCOMPARE(rowValue(widget), before);
    QVERIFY(isConnected(window));
    QVERIFY(!isWritePending(window));
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4).size(), writesBefore);
    // Not even a reconnect: the keep-alive may have run meanwhile, nothing else.
    const std::vector<std::string> requests = sim.logLines("request");
    for (size_t i = static_cast<size_t>(requestsBefore); i < requests.size(); ++i)
        QVERIFY2(requests[i].find(" cmd=11 ") != std::string::npos, requests[i].c_str());
    QVERIFY(catcher.seen().isEmpty());
}

void RowInputTest::portListConnectsOnlyToThePortSettledOn()
{
    SimulatorProcess first({"--name", "COM1"});
    QVERIFY2(first.isRunning(), first.error().c_str());
    SimulatorProcess second({"--name", "COM2"}, first.runtimeDirectory());
    QVERIFY2(second.isRunning(), second.error().c_str());
    ZORVIKMiniSetup window;
    ModalBoxAnswerer catcher;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* ports = child<QComboBox>(window, "m_cmbBoxZorvilink");
    // Upper case sorts before the machine's own ports (ttyS0 ...): the
    // list shows COM1 first, without connecting it.
    QTRY_VERIFY_WITH_TIMEOUT(ports->findText("COM2") >= 0, 5000);
    QCOMPARE(ports->findText("COM1"), 0);
    QCOMPARE(ports->findText("COM2"), 1);
    QCOMPARE(ports->currentText(), QStringLiteral("COM1"));
    QVERIFY(!isConnected(window));
    ports->setFocus();
    QVERIFY(ports->hasFocus());

    // Down, Up, Down: COM1 is passed over on the way back; the pause after
    // the last step connects COM2 only.
    for (Qt::Key step : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Down})
        QTest::keyClick(ports, step);
    QCOMPARE(ports->currentText(), QStringLiteral("COM2"));
    QVERIFY(!isConnected(window));
    QTRY_VERIFY_WITH_TIMEOUT(isConnected(window), 5000);
    QCOMPARE(probeCount(first), 0);
    QCOMPARE(probeCount(second), 1);

    // Enter takes a step at once.
    QTest::keyClick(ports, Qt::Key_Up);
    QCOMPARE(probeCount(first), 0);
    QTest::keyClick(ports, Qt::Key_Return);
    QCOMPARE(probeCount(first), 1);
    QVERIFY(isConnected(window));
    auto* choice = ports->findChild<ZORVI::SettledChoice*>();
    QVERIFY(choice);
    QVERIFY(!choice->isStepPending());

    // A choice from the open list counts at once too.
    ports->showPopup();
    QAbstractItemView* popup = ports->view();
    QTRY_VERIFY_WITH_TIMEOUT(popup->isVisible(), 5000);
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(probeCount(second), 2, 5000);
    QCOMPARE(ports->currentText(), QStringLiteral("COM2"));
    QVERIFY(isConnected(window));
    QCOMPARE(probeCount(first), 1);

    // Connect takes the port shown at once and ends the pending step, so
    // the pause does not connect it a second time.
    QTRY_VERIFY_WITH_TIMEOUT(!isWritePending(window), 5000);
    child<QPushButton>(window, "m_btnDisconnect")->click();
    QVERIFY(!isConnected(window));
    QTest::keyClick(ports, Qt::Key_Up);
    QVERIFY(choice->isStepPending());
    child<QPushButton>(window, "m_btnConnect")->click();
    QVERIFY(!choice->isStepPending());
    QVERIFY(isConnected(window));
    QCOMPARE(probeCount(first), 2);
    QCOMPARE(probeCount(second), 2);
    QVERIFY(catcher.seen().isEmpty());
}

QTEST_MAIN(RowInputTest)
#include "RowInputTest.moc"
