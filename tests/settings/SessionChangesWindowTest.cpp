// This session's changes in the settings window, offscreen, against the
// simulated device in the test's process: the list of what differs from the
// values at connect, named and valued as the rows show them, reverting
// (selected or all) through the same rules as an edit and read back, and the
// count the status bar gives after a disconnect.

#include "DeviceWithState.h"
#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "ParameterRules.h"
#include "SessionChangesDialog.h"
#include "SettingsWindowSteps.h"
#include "SwashGeometry.h"
#include "WindowChild.h"
#include "WindowTimers.h"
#include "ZORVIKMiniSetup.h"

#include <QAction>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using ZORVI::SessionChangesDialog;
using ZORVI::ZORVIKMiniSetup;

using namespace SettingsWindowSteps;
using namespace ZORVI::EEPROM;

namespace {

// Drives the list of this session's changes when it comes up: notes its
// rows ("setting | at connect | now"), selects the rows of the next step's
// captions and presses "Revert Selected" (an empty step presses "Revert
// All"), and closes the list once the steps are used up. The press is
// queued: what the revert opens (a box, another look at the list) is
// answered from the event loop, not from inside this handler.
class SessionListDriver {
public:
    SessionListDriver(ModalBoxAnswerer& boxes, QList<QStringList> steps)
        : m_steps(std::move(steps))
    {
        boxes.setOtherHandler([this](QWidget* modal) { return answer(modal); });
    }

    const QList<QStringList>& seen() const { return m_seen; }

private:
    bool answer(QWidget* modal)
    {
        auto* list = qobject_cast<SessionChangesDialog*>(modal);
        if (!list || m_pressing || list == m_closed)
            return list != nullptr;
        m_seen.append(rows(*list));
        if (m_steps.isEmpty()) {
            m_closed = list;
            list->reject();
            return true;
        }
        QPushButton* button = select(*list, m_steps.takeFirst());
        m_pressing = true;
        QTimer::singleShot(0, list, [this, button] {
            button->click();
            m_pressing = false;
        });
        return true;
    }

    static QPushButton* select(SessionChangesDialog& list, const QStringList& captions)
    {
        if (captions.isEmpty())
            return child<QPushButton>(list, "m_btnRevertAll");
        auto* table = child<QTableWidget>(list, "m_tblChanges");
        table->clearSelection();
        for (int row = 0; row < table->rowCount(); ++row)
            if (captions.contains(table->item(row, 0)->text()))
                table->selectionModel()->select(table->model()->index(row, 0),
                                                QItemSelectionModel::Select
                                                    | QItemSelectionModel::Rows);
        return child<QPushButton>(list, "m_btnRevertSelected");
    }

    static QStringList rows(SessionChangesDialog& list)
    {
        auto* table = child<QTableWidget>(list, "m_tblChanges");
        QStringList rows;
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells.append(table->item(row, column)->text());
            rows.append(cells.join(QStringLiteral(" | ")));
        }
        return rows;
    }

    QList<QStringList> m_steps;
    QList<QStringList> m_seen;
    bool m_pressing = false;
    QPointer<SessionChangesDialog> m_closed;
};

QAction* changesAction(ZORVIKMiniSetup& window)
{
    return window.findChild<QAction*>(QStringLiteral("action_ChangesThisSession"));
}

// The window's number for a row: a spin box's value, a list's position.
int shownNumber(ZORVIKMiniSetup& window, const QString& name)
{
    if (auto* spinBox = window.findChild<QSpinBox*>(name))
        return spinBox->value();
    return child<QComboBox>(window, name)->currentIndex();
}

// "m_spinBoxHeadingLockGain=75": a row set as the user sets it.
void edit(ZORVIKMiniSetup& window, const QString& step)
{
    const QString name = step.section(QLatin1Char('='), 0, 0);
    const int value = step.section(QLatin1Char('='), 1).toInt();
    if (auto* spinBox = window.findChild<QSpinBox*>(name))
        spinBox->setValue(value);
    else
        child<QComboBox>(window, name)->setCurrentIndex(value);
}

// The requests the device got since the packets were forgotten, without
// the keep-alive.
QList<int> requestsSince(Device& device)
{
    QList<int> commands;
    for (const auto& packet : device.device().link().packets())
        if (packet.way == ZORVI::Simulator::SimulatedLink::Crossing::Way::ToDevice
            && packet.command != 11)
            commands.append(packet.command);
    return commands;
}

Values geometryValues(int index, int phaseAngle)
{
    Values values;
    for (const ZORVI::Rules::Change& change : ZORVI::Rules::geometryChanges(index, phaseAngle))
        values.insert(change.id, change.value);
    return values;
}

const QString GAIN = QStringLiteral("Tail - HeadingLock Gain (User Defined Value)");
const QString PULSE_PRESET = QStringLiteral("Tail Servo - Center Position Pulse Length (Preset)");
const QString GEOMETRY = QStringLiteral("Swashplate - Mixer (User Defined Geometry)");

} // namespace

class SessionChangesWindowTest : public QObject {
    Q_OBJECT

private slots:
    void listAndRevert_data();
    void listAndRevert();
    void refusedRevertSnapsBack();
    void disconnectCountsTheSession_data();
    void disconnectCountsTheSession();
};

void SessionChangesWindowTest::listAndRevert_data()
{
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("revert"); // captions; none for Revert All
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("box");

    QTest::newRow("value and preset, one reverted")
        << QStringList{QStringLiteral("m_spinBoxHeadingLockGain=75"),
                       QStringLiteral("m_cmbBoxSwashServoFrequencyID=2")}
        << QStringList{QStringLiteral("Swashplate Servo - Frequency (Preset) | 50 Hz* | 65 Hz"),
                       GAIN + QStringLiteral(" | 60 | 75")}
        << QStringList{GAIN}
        << QStringList{QStringLiteral("Swashplate Servo - Frequency (Preset) | 50 Hz* | 65 Hz")}
        << Values{{HeadingLockGain, 60}, {SwashServoFrequencyID, 2}}
        << QStringList{QStringLiteral("m_spinBoxHeadingLockGain=60"),
                       QStringLiteral("m_cmbBoxSwashServoFrequencyID=2")}
        << QString();
    // Units as the spin boxes show them, the direction by its list's text.
    QTest::newRow("units and direction, all reverted")
        << QStringList{QStringLiteral("m_spinBoxSwashServoFrequency=65"),
                       QStringLiteral("m_spinBoxTailServoCPPL=1600"),
                       QStringLiteral("m_cmbBoxTorqueDir=1")}
        << QStringList{
               QStringLiteral("Swashplate Servo - Frequency (User Defined Value) | 50 Hz | 65 Hz"),
               QStringLiteral("Tail Servo - Center Position Pulse Length (User Defined Value) | "
                              "1520 us | 1600 us"),
               QStringLiteral("Tail - Revomix and Asymmetry (User Defined Main Rotor Torque "
                              "Direction) | Normal | Reverse")}
        << QStringList() << QStringList()
        << Values{{SwashServoFrequency, 50}, {TailServoCPPL, 1520}, {TorqueDirection, 1}}
        << QStringList{QStringLiteral("m_spinBoxSwashServoFrequency=50"),
                       QStringLiteral("m_spinBoxTailServoCPPL=1520"),
                       QStringLiteral("m_cmbBoxTorqueDir=0")}
        << QString();
    // Seven entries, one setting: listed, and brought back, as a whole.
    QTest::newRow("swash geometry as a whole")
        << QStringList{QStringLiteral("m_cmbBoxSwashGeometry=4"),
                       QStringLiteral("m_spinBoxSwashVirtualRotation=10")}
        << QStringList{GEOMETRY + QStringLiteral(" | 120 °, phase angle 0 ° | 140 °, phase angle 10 °")}
        << QStringList{GEOMETRY} << QStringList()
        << geometryValues(ZORVI::SwashGeometry::Angle120, 0)
        << QStringList{QStringLiteral("m_cmbBoxSwashGeometry=2"),
                       QStringLiteral("m_spinBoxSwashVirtualRotation=0")}
        << QString();
    // 760 us allow 560 Hz, 1520 us do not: bringing back the pulse length
    // alone lowers the frame rate to "333 Hz", as an edit of it would.
    QTest::newRow("tail servo rule")
        << QStringList{QStringLiteral("m_cmbBoxTailServoCPPLID=2"),
                       QStringLiteral("m_cmbBoxTailServoFrequencyID=5")}
        << QStringList{QStringLiteral("Tail Servo - Frequency (Preset) | 50 Hz* | 560 Hz"),
                       PULSE_PRESET + QStringLiteral(" | 1520us* | 760us")}
        << QStringList{PULSE_PRESET}
        << QStringList{QStringLiteral("Tail Servo - Frequency (Preset) | 50 Hz* | 333 Hz")}
        << Values{{TailServoCPPLID, 3}, {TailServoFrequencyID, 4}}
        << QStringList{QStringLiteral("m_cmbBoxTailServoCPPLID=3"),
                       QStringLiteral("m_cmbBoxTailServoFrequencyID=4")}
        << QStringLiteral("The Tail Servo's Frequency you selected is too high and will be "
                          "reduced to 333 Hz.");
}

void SessionChangesWindowTest::listAndRevert()
{
    QFETCH(QStringList, edits);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, revert);
    QFETCH(QStringList, rowsAfter);
    QFETCH(Values, stored);
    QFETCH(QStringList, shown);
    QFETCH(QString, box);

    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    for (const QString& step : edits)
        edit(window, step);
    QTRY_VERIFY(!isWritePending(window));
    QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.seen().value(0).informativeText));
    device.device().link().forgetPackets();
    SessionListDriver list(boxes, {revert});

    changesAction(window)->trigger();

    QCOMPARE(list.seen().size(), 2);
    QCOMPARE(list.seen()[0], rows);
    QCOMPARE(list.seen()[1], rowsAfter);
    QCOMPARE(boxes.count(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QCOMPARE(boxes.seen()[0].informativeText, box);
    // One write request, then the values read back from the device.
    const QList<int> requests = requestsSince(device);
    QVERIFY(requests.size() >= 2);
    QCOMPARE(requests.first(), 4);
    QCOMPARE(requests.count(3), requests.size() - 1);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QCOMPARE(device.stored(it.key()), it.value());
    for (const QString& row : shown)
        QCOMPARE(shownNumber(window, row.section(QLatin1Char('='), 0, 0)),
                 row.section(QLatin1Char('='), 1).toInt());
    QVERIFY(isConnected(window));
    QVERIFY(!isWritePending(window));
}

// The device does not store the revert: the list and the rows keep what it
// holds, and the box says what was not applied.
void SessionChangesWindowTest::refusedRevertSnapsBack()
{
    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    edit(window, QStringLiteral("m_spinBoxHeadingLockGain=75"));
    QTRY_COMPARE(device.stored(HeadingLockGain), 75);
    QVERIFY(device.refuseFurtherWrites());
    SessionListDriver list(boxes, {QStringList()});

    changesAction(window)->trigger();

    const QStringList row{GAIN + QStringLiteral(" | 60 | 75")};
    QCOMPARE(list.seen(), (QList<QStringList>{row, row}));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen()[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes.seen()[0].text, QStringLiteral("The revert was not applied as shown"));
    QVERIFY2(boxes.seen()[0].informativeText.contains(QStringLiteral("HeadingLock Gain")),
             qPrintable(boxes.seen()[0].informativeText));
    QCOMPARE(device.stored(HeadingLockGain), 75);
    QCOMPARE(shownNumber(window, QStringLiteral("m_spinBoxHeadingLockGain")), 75);
    QVERIFY(isConnected(window));
}

void SessionChangesWindowTest::disconnectCountsTheSession_data()
{
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("said"); // empty: nothing about the session

    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("changed back")
        << QStringList{QStringLiteral("m_spinBoxHeadingLockGain=75"),
                       QStringLiteral("m_spinBoxHeadingLockGain=60")}
        << QString();
    QTest::newRow("one") << QStringList{QStringLiteral("m_spinBoxStickDeadband=7")}
                         << QStringLiteral("1 setting changed in this session");
    QTest::newRow("three") << QStringList{QStringLiteral("m_spinBoxStickDeadband=7"),
                                          QStringLiteral("m_cmbBoxTorqueDir=1"),
                                          QStringLiteral("m_cmbBoxPitchBoostID=0")}
                           << QStringLiteral("3 settings changed in this session");
    QTest::newRow("geometry is one")
        << QStringList{QStringLiteral("m_cmbBoxSwashGeometry=4"),
                       QStringLiteral("m_spinBoxSwashVirtualRotation=10")}
        << QStringLiteral("1 setting changed in this session");
}

void SessionChangesWindowTest::disconnectCountsTheSession()
{
    QFETCH(QStringList, edits);
    QFETCH(QString, said);

    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    QVERIFY(!changesAction(window)->isEnabled());
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    QVERIFY(changesAction(window)->isEnabled());
    for (const QString& step : edits)
        edit(window, step);
    // Disconnect is offered once the write cycle has run.
    QTRY_VERIFY(!isWritePending(window));

    child<QPushButton>(window, "m_btnDisconnect")->click();

    QVERIFY(!isConnected(window));
    QVERIFY(!changesAction(window)->isEnabled());
    QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.seen().value(0).informativeText));
    if (said.isEmpty())
        QVERIFY2(!statusText(window).contains(QStringLiteral("in this session")),
                 qPrintable(statusText(window)));
    else
        QCOMPARE(statusText(window), said);
    // A new connection starts a new session.
    connectByButton(window, device.portName());
    QVERIFY(isConnected(window));
    child<QPushButton>(window, "m_btnDisconnect")->click();
    QVERIFY2(!statusText(window).contains(QStringLiteral("in this session")),
             qPrintable(statusText(window)));
}

QTEST_MAIN(SessionChangesWindowTest)
#include "SessionChangesWindowTest.moc"
