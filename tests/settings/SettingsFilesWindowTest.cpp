// Settings files in the settings window, offscreen, against the simulated
// device in the test's process: the File menu only while connected, saving
// what the device holds, and the preview that every load, reset and
// comparison goes through before anything is written.

#include "DeviceWithState.h"
#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "SettingsFile.h"
#include "SettingsPreview.h"
#include "SettingsWindowSteps.h"
#include "WindowChild.h"
#include "WindowTimers.h"
#include "ZORVIKMiniSetup.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>

using ZORVI::SettingsFile;
using ZORVI::SettingsPreview;
using ZORVI::ZORVIKMiniSetup;

using namespace SettingsWindowSteps;
using namespace ZORVI::EEPROM;

namespace {

const char* const FILE_ACTIONS[] = {"action_SaveSettingsAs", "action_LoadSettings",
                                    "action_CompareWithFile", "action_ResetToFactorySettings"};

// What a preview showed, read while it was up.
struct SeenPreview {
    QStringList rows; // "setting | current | new"
    QStringList buttons;
    QString corrections;
    QString notes;
    QString summary;
};

// Reads the preview when it comes up and presses the planned button.
class PreviewAnswerer {
public:
    PreviewAnswerer(ModalBoxAnswerer& boxes, QDialogButtonBox::StandardButton press)
        : m_press(press)
    {
        boxes.setOtherHandler([this](QWidget* modal) { return answer(modal); });
    }

    const QList<SeenPreview>& seen() const { return m_seen; }

private:
    bool answer(QWidget* modal)
    {
        auto* preview = qobject_cast<SettingsPreview*>(modal);
        if (!preview || preview == m_last)
            return false;
        m_last = preview;
        m_seen.append(read(*preview));
        auto* buttons = child<QDialogButtonBox>(*preview, "m_buttons");
        if (QPushButton* button = buttons->button(m_press))
            button->click();
        else
            preview->reject();
        return true;
    }

    static SeenPreview read(SettingsPreview& preview)
    {
        SeenPreview seen;
        auto* table = child<QTableWidget>(preview, "m_tblChanges");
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells.append(table->item(row, column)->text());
            seen.rows.append(cells.join(QStringLiteral(" | ")));
        }
        for (QAbstractButton* button : child<QDialogButtonBox>(preview, "m_buttons")->buttons())
            seen.buttons.append(button->text());
        seen.corrections = child<QLabel>(preview, "m_lblCorrections")->text();
        seen.notes = child<QLabel>(preview, "m_lblNotes")->text();
        seen.summary = child<QLabel>(preview, "m_lblSummary")->text();
        return seen;
    }

    QDialogButtonBox::StandardButton m_press;
    QPointer<SettingsPreview> m_last;
    QList<SeenPreview> m_seen;
};

bool writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// The window's number for a row: a spin box's value, a list's position.
int shownNumber(ZORVIKMiniSetup& window, const QString& name)
{
    if (auto* spinBox = window.findChild<QSpinBox*>(name))
        return spinBox->value();
    return child<QComboBox>(window, name)->currentIndex();
}

QAction* action(ZORVIKMiniSetup& window, const char* name)
{
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

// The window chooses `path` whenever it asks for a file; the filters it
// offered are kept.
void chooseAlways(ZORVIKMiniSetup& window, const QString& path, QStringList* filters = nullptr)
{
    window.setFileChooser([path, filters](QWidget*, ZORVIKMiniSetup::FileDialog,
                                          const QString&, const QString& filter) {
        if (filters)
            filters->append(filter);
        return path;
    });
}

bool acceptsDrop(ZORVIKMiniSetup& window, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(&window, &enter);
    return enter.isAccepted();
}

void drop(ZORVIKMiniSetup& window, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
}

// The file a pilot would write with a few changes of the factory setup.
const QByteArray GAIN_AND_DIRECTION =
    "# ZORVIK settings\nHeadingLockGainID = 0\nHeadingLockGain = 75\nTorqueDirection = -1\n";
const QString GAIN_ROWS[] = {
    QStringLiteral("Tail - HeadingLock Gain (Preset) | 3 (Medium*) | 0 (User Defined)"),
    QStringLiteral("Tail - HeadingLock Gain (User Defined Value) | 60 | 75"),
    QStringLiteral("Tail - Revomix and Asymmetry (User Defined Main Rotor Torque Direction) | "
                   "1 (Normal) | -1 (Reverse)"),
};

} // namespace

class SettingsFilesWindowTest : public QObject {
    Q_OBJECT

private slots:
    void fileMenuAndDropsOnlyWhileConnected();
    void saveWritesPendingEditThenDeviceValues();
    void saveFailureSavesNothing_data();
    void saveFailureSavesNothing();
    void loadPreviewsThenApplies_data();
    void loadPreviewsThenApplies();
    void cancelledDropWritesNothing();
    void fileOpenedWithTheProgramIsPreviewedOnceConnected();
    void previewWithoutApply_data();
    void previewWithoutApply();
    void resetRestoresDefaults();
    void invalidFileNamesLineAndWritesNothing();
    void fileTextIsShownEscaped_data();
    void fileTextIsShownEscaped();
    void previewShowsTheFileNameEscaped();
    void readBackMismatchNamesTheSetting();
    void lostWriteAnswerEndsTheApplyAtOnce();

private:
    QTemporaryDir m_folder;
};

void SettingsFilesWindowTest::fileMenuAndDropsOnlyWhileConnected()
{
    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    const QString path = m_folder.path() + QStringLiteral("/any.zset");
    for (const char* name : FILE_ACTIONS)
        QVERIFY2(!action(window, name)->isEnabled(), name);
    QVERIFY(!acceptsDrop(window, path));

    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    for (const char* name : FILE_ACTIONS)
        QVERIFY2(action(window, name)->isEnabled(), name);
    QCOMPARE(action(window, "action_SaveSettingsAs")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(action(window, "action_LoadSettings")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QVERIFY(acceptsDrop(window, path));
    QVERIFY(!acceptsDrop(window, m_folder.path() + QStringLiteral("/firmware.upd")));

    child<QPushButton>(window, "m_btnDisconnect")->click();
    for (const char* name : FILE_ACTIONS)
        QVERIFY2(!action(window, name)->isEnabled(), name);
    QVERIFY(!acceptsDrop(window, path));
    QCOMPARE(device.writes(), 0);
}

void SettingsFilesWindowTest::saveWritesPendingEditThenDeviceValues()
{
    Device device({{HeadingLockGain, 75}, {RevoMixPitch, -20}});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/saved");
    QStringList filters;
    chooseAlways(window, path, &filters);

    // An edit still in the write cycle goes to the device before the save.
    child<QSpinBox>(window, "m_spinBoxStickDeadband")->setValue(7);
    action(window, "action_SaveSettingsAs")->trigger();

    QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.seen().value(0).informativeText));
    QCOMPARE(filters, QStringList{QStringLiteral("ZORVIK Settings (*.zset)")});
    QCOMPARE(device.stored(StickDeadband), 7);
    SettingsFile file;
    SettingsFile::Error error;
    QVERIFY2(SettingsFile::read((path + QStringLiteral(".zset")).toStdString(), &file, &error),
             error.text().c_str());
    QCOMPARE(file.settings().size(), PARAMETER_COUNT);
    for (const SettingsFile::Setting& setting : file.settings())
        QVERIFY2(setting.value == device.stored(setting.id), parameterName(setting.id));
    QCOMPARE(device.stored(HeadingLockGain), 75);
    QCOMPARE(device.stored(RevoMixPitch), -20);
    QVERIFY(!isWritePending(window));
}

void SettingsFilesWindowTest::saveFailureSavesNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("connected");

    // The edit the device refuses is not saved as if it were the device's.
    // The device answered: it keeps what it held, and the connection stays.
    QTest::newRow("edit refused") << QStringList{QStringLiteral("--refuse-writes")}
                                  << QStringLiteral("refused.zset")
                                  << QStringLiteral("Nothing has been saved.") << true;
    QTest::newRow("no such folder") << QStringList() << QStringLiteral("missing/any.zset")
                                    << QStringLiteral("missing/any.zset:") << true;
}

void SettingsFilesWindowTest::saveFailureSavesNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(QString, said);
    QFETCH(bool, connected);

    std::vector<std::string> extra;
    for (const QString& argument : arguments)
        extra.push_back(argument.toStdString());
    Device device({}, extra);
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QLatin1Char('/') + file;
    chooseAlways(window, path);

    child<QSpinBox>(window, "m_spinBoxStickDeadband")->setValue(7);
    action(window, "action_SaveSettingsAs")->trigger();

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen()[0].icon, QMessageBox::Critical);
    // The box names paths as the system writes them (backslashes on Windows).
    QVERIFY2(boxes.seen()[0].informativeText.contains(QDir::toNativeSeparators(said)),
             qPrintable(boxes.seen()[0].informativeText));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(isConnected(window), connected);
}

void SettingsFilesWindowTest::loadPreviewsThenApplies_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("explained");

    QTest::newRow("gain and direction")
        << GAIN_AND_DIRECTION << QStringList(std::begin(GAIN_ROWS), std::end(GAIN_ROWS))
        << Values{{HeadingLockGainID, 0}, {HeadingLockGain, 75}, {TorqueDirection, -1}}
        << QStringLiteral("m_spinBoxHeadingLockGain") << 75 << QString();
    // 2000 us allow at most 333 Hz: the 560 Hz the file asks for is lowered.
    QTest::newRow("tail servo lowered")
        << QByteArray("TailServoCPPLID = 0\nTailServoCPPL = 2000\nTailServoFrequencyID = 5\n")
        << QStringList{
               QStringLiteral("Tail Servo - Center Position Pulse Length (Preset) | 3 (1520us*) "
                              "| 0 (User Defined)"),
               QStringLiteral("Tail Servo - Center Position Pulse Length (User Defined Value) | "
                              "1520 | 2000"),
               QStringLiteral("Tail Servo - Frequency (Preset) | 1 (50 Hz*) | 4 (333 Hz) - "
                              "corrected from 5 (560 Hz)")}
        << Values{{TailServoCPPLID, 0}, {TailServoCPPL, 2000}, {TailServoFrequencyID, 4}}
        << QStringLiteral("m_cmbBoxTailServoFrequencyID") << 4
        << QStringLiteral("Corrected: a Center Position Pulse Length of 2000 us allows a Tail "
                          "Servo Frequency of at most 333 Hz, so the frame rate is lowered to the "
                          "333 Hz preset.");
}

void SettingsFilesWindowTest::loadPreviewsThenApplies()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, rows);
    QFETCH(Values, stored);
    QFETCH(QString, row);
    QFETCH(int, shown);
    QFETCH(QString, explained);

    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/load.zset");
    QVERIFY(writeText(path, text));
    chooseAlways(window, path);
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);

    action(window, "action_LoadSettings")->trigger();

    QCOMPARE(preview.seen().size(), 1);
    QCOMPARE(preview.seen()[0].rows, rows);
    QCOMPARE(preview.seen()[0].corrections, explained);
    QVERIFY(preview.seen()[0].notes.contains(QStringLiteral("does not name the ZORVIK Device")));
    QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.seen().value(0).informativeText));
    QCOMPARE(device.writes(), 1);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QCOMPARE(device.stored(it.key()), it.value());
    QCOMPARE(shownNumber(window, row), shown);
    QVERIFY(!isWritePending(window));
}

void SettingsFilesWindowTest::cancelledDropWritesNothing()
{
    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/dropped.zset");
    QVERIFY(writeText(path, GAIN_AND_DIRECTION));
    const QByteArray before = device.stateBytes();
    PreviewAnswerer preview(boxes, QDialogButtonBox::Cancel);

    drop(window, path);

    QCOMPARE(preview.seen().size(), 1);
    QCOMPARE(preview.seen()[0].rows.size(), 3);
    QVERIFY(preview.seen()[0].buttons.contains(QStringLiteral("Apply")));
    QCOMPARE(device.writes(), 0);
    QCOMPARE(device.stateBytes(), before);
    QCOMPARE(shownNumber(window, QStringLiteral("m_spinBoxHeadingLockGain")), 60);
}

// ZORVIKMicroSettings heli.zset: nothing to compare before a device is
// connected; the preview comes with the connection, and only with the first.
void SettingsFilesWindowTest::fileOpenedWithTheProgramIsPreviewedOnceConnected()
{
    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    const QString path = m_folder.path() + QStringLiteral("/opened.zset");
    QVERIFY(writeText(path, GAIN_AND_DIRECTION));
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);

    window.loadSettingsFileOnConnect(path);
    QVERIFY(statusText(window).contains(QStringLiteral("opened.zset")));
    QCOMPARE(preview.seen().size(), 0);
    connectByButton(window, device.portName());

    QTRY_COMPARE(preview.seen().size(), 1);
    QCOMPARE(preview.seen()[0].rows, QStringList(std::begin(GAIN_ROWS), std::end(GAIN_ROWS)));
    QTRY_COMPARE(device.stored(HeadingLockGain), 75);
    QCOMPARE(device.writes(), 1);

    connectByButton(window, device.portName());
    QVERIFY(isConnected(window));
    QCoreApplication::processEvents();
    QCOMPARE(preview.seen().size(), 1);
}

void SettingsFilesWindowTest::previewWithoutApply_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("note");

    QTest::newRow("outside limits")
        << QStringLiteral("action_LoadSettings")
        << QByteArray("HeadingLockGain = 150\nSwashServoFrequency = 20\nPitchBoost = 5\n")
        << QStringList{
               QStringLiteral("Tail - HeadingLock Gain (User Defined Value) | 150 | 0 to 100"),
               QStringLiteral("Swashplate Servo - Frequency (User Defined Value) | 20 | 50 to "
                              "200")}
        << QStringLiteral("does not name the ZORVIK Device");
    QTest::newRow("compare")
        << QStringLiteral("action_CompareWithFile")
        << QByteArray("# hardware 8.2, application 3.1.7, data 1.1\n") + GAIN_AND_DIRECTION
        << QStringList(std::begin(GAIN_ROWS), std::end(GAIN_ROWS))
        << QStringLiteral("saved under data version 1.1; this ZORVIK Device has data version 1.2");
    QTest::newRow("other hardware")
        << QStringLiteral("action_LoadSettings")
        << QByteArray("# hardware 9.1, application 3.1.7, data 1.2\n") + GAIN_AND_DIRECTION
        << QStringList()
        << QStringLiteral("saved from hardware version 9.1; this ZORVIK Device is hardware "
                          "version 8.2");
}

// Nothing is offered to store: a file this device does not take (values
// outside its limits, saved from another hardware), and a comparison,
// which only looks.
void SettingsFilesWindowTest::previewWithoutApply()
{
    QFETCH(QString, actionName);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, rows);
    QFETCH(QString, note);

    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/look.zset");
    QVERIFY(writeText(path, text));
    chooseAlways(window, path);
    const QByteArray before = device.stateBytes();
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);

    action(window, actionName.toLatin1().constData())->trigger();

    QCOMPARE(preview.seen().size(), 1);
    QCOMPARE(preview.seen()[0].rows, rows);
    QCOMPARE(preview.seen()[0].buttons, QStringList{QStringLiteral("Close")});
    QVERIFY2(preview.seen()[0].notes.contains(note), qPrintable(preview.seen()[0].notes));
    QCOMPARE(device.writes(), 0);
    QCOMPARE(device.stateBytes(), before);
}

void SettingsFilesWindowTest::resetRestoresDefaults()
{
    Device device({{HeadingLockGain, 75}, {TailAsymmetry, 10}, {PitchBoostID, 0}});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);

    action(window, "action_ResetToFactorySettings")->trigger();

    QCOMPARE(preview.seen().size(), 1);
    QCOMPARE(preview.seen()[0].rows.size(), 3);
    QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.seen().value(0).informativeText));
    QCOMPARE(device.stored(HeadingLockGain), 60);
    QCOMPARE(device.stored(TailAsymmetry), 0);
    QCOMPARE(device.stored(PitchBoostID), 1);
    QCOMPARE(shownNumber(window, QStringLiteral("m_spinBoxTailAsymmetry")), 0);

    // Once more: the device already holds its factory settings.
    action(window, "action_ResetToFactorySettings")->trigger();
    QCOMPARE(preview.seen().size(), 2);
    QVERIFY(preview.seen()[1].rows.isEmpty());
    QCOMPARE(preview.seen()[1].buttons, QStringList{QStringLiteral("Close")});
    QCOMPARE(device.writes(), 1);
}

void SettingsFilesWindowTest::invalidFileNamesLineAndWritesNothing()
{
    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/broken.zset");
    QVERIFY(writeText(path, "# ZORVIK settings\nHeadingLockGain = 75\nNoSuchSetting = 3\n"));
    chooseAlways(window, path);
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);

    action(window, "action_LoadSettings")->trigger();

    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.seen()[0].text.contains(QStringLiteral("broken.zset")),
             qPrintable(boxes.seen()[0].text));
    QVERIFY2(boxes.seen()[0].informativeText.contains(QStringLiteral("line 3: ")),
             qPrintable(boxes.seen()[0].informativeText));
    QVERIFY(preview.seen().isEmpty());
    QCOMPARE(device.writes(), 0);
}

// True when the text holds a control character other than the line breaks
// the window itself puts between its parts.
bool holdsControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c != QLatin1Char('\n')
            && (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F));
    });
}

void SettingsFilesWindowTest::fileTextIsShownEscaped_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("serial line")
        << QStringLiteral("forged.zset")
        << QByteArray("# serial \x1b[2J\x1b[HApply? [y/N]\nHeadingLockGain = 75\n")
        << QStringLiteral("\\x1b[2J\\x1b[HApply?");
    QTest::newRow("value") << QStringLiteral("value.zset")
                           << QByteArray("HeadingLockGain = 75\x07\x1b[1m\n")
                           << QStringLiteral("\"75\\x07\\x1b[1m\"");
    QTest::newRow("file name") << QStringLiteral("heli\x1b[2J\t.zset")
                               << QByteArray("HeadingLockGain = high\n")
                               << QStringLiteral("heli\\x1b[2J\\x09.zset");
}

// What an invalid file holds, and its name, are shown escaped in the box,
// and the box names the file's path once.
void SettingsFilesWindowTest::fileTextIsShownEscaped()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(QString, shown);
#ifdef _WIN32
    // Windows file names cannot hold control characters: only Linux ones can.
    if (holdsControlCharacter(name))
        QSKIP("a file name with control characters cannot be made on Windows");
#endif

    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QLatin1Char('/') + name;
    QVERIFY(writeText(path, text));
    chooseAlways(window, path);
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);

    action(window, "action_LoadSettings")->trigger();

    QCOMPARE(boxes.count(), 1);
    const QString boxText =
        boxes.seen()[0].text + QLatin1Char('\n') + boxes.seen()[0].informativeText;
    QVERIFY2(!holdsControlCharacter(boxText), qPrintable(boxText));
    QVERIFY2(boxText.contains(shown), qPrintable(boxText));
    QCOMPARE(boxes.seen()[0].informativeText.count(QDir::toNativeSeparators(m_folder.path())), 1);
    QVERIFY(preview.seen().isEmpty());
    QCOMPARE(device.writes(), 0);
}

// The preview of a file whose name holds control characters shows them
// escaped.
void SettingsFilesWindowTest::previewShowsTheFileNameEscaped()
{
#ifdef _WIN32
    // Windows file names cannot hold control characters: only Linux ones can.
    QSKIP("a file name with control characters cannot be made on Windows");
#endif
    Device device({});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/heli\x1b[2J.zset");
    QVERIFY(writeText(path, "HeadingLockGain = 75\n"));
    chooseAlways(window, path);
    PreviewAnswerer preview(boxes, QDialogButtonBox::Cancel);

    action(window, "action_CompareWithFile")->trigger();

    QCOMPARE(preview.seen().size(), 1);
    const SeenPreview& seen = preview.seen()[0];
    const QString shown = seen.summary + QLatin1Char('\n') + seen.notes;
    QVERIFY2(!holdsControlCharacter(shown), qPrintable(shown));
    QVERIFY2(seen.summary.contains(QStringLiteral("\"heli\\x1b[2J.zset\"")),
             qPrintable(seen.summary));
    QCOMPARE(device.writes(), 0);
}

// The device stores other values than were written: the user is told
// which settings, and the pages show what the device holds.
void SettingsFilesWindowTest::readBackMismatchNamesTheSetting()
{
    Device device({}, {"--alter-writes"});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/altered.zset");
    QVERIFY(writeText(path, "HeadingLockGain = 75\n"));
    chooseAlways(window, path);
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);

    action(window, "action_LoadSettings")->trigger();

    QCOMPARE(preview.seen().size(), 1);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen()[0].icon, QMessageBox::Critical);
    const QString expected = QStringLiteral("Tail - HeadingLock Gain (User Defined Value): "
                                            "written 75, the device holds %1")
                                 .arg(device.stored(HeadingLockGain));
    QVERIFY2(boxes.seen()[0].informativeText.contains(expected),
             qPrintable(boxes.seen()[0].informativeText));
    QVERIFY(device.stored(HeadingLockGain) != 75);
    QCOMPARE(shownNumber(window, QStringLiteral("m_spinBoxHeadingLockGain")),
             device.stored(HeadingLockGain));
}

// The write of a file goes out and its answer never comes back (the device
// stored it, as it happens): the apply ends there, without reading back
// from a device that may be gone; the window disconnects and says that
// nobody knows what the device holds now.
void SettingsFilesWindowTest::lostWriteAnswerEndsTheApplyAtOnce()
{
    Device device({}, {"--lose-write-answers"});
    QVERIFY(device.isReady());
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    boxes.noteWhileShown([&] { return isConnected(window) ? "connected" : "disconnected"; });
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    const QString path = m_folder.path() + QStringLiteral("/lost.zset");
    QVERIFY(writeText(path, "HeadingLockGain = 75\n"));
    chooseAlways(window, path);
    PreviewAnswerer preview(boxes, QDialogButtonBox::Apply);
    const int before = int(device.device().link().requestCount());

    action(window, "action_LoadSettings")->trigger();

    QCOMPARE(preview.seen().size(), 1);
    QCOMPARE(boxes.count(), 1);
    const SeenBox box = boxes.seen()[0];
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QStringLiteral("lost.zset was not applied as shown"));
    QVERIFY2(box.informativeText.startsWith(QStringLiteral("The device did not answer")),
             qPrintable(box.informativeText));
    QVERIFY2(box.informativeText.contains(
                 QStringLiteral("It is not known whether the ZORVIK Device stored these "
                                "changes")),
             qPrintable(box.informativeText));
    QVERIFY(box.informativeText.contains(
        QStringLiteral("- Tail - HeadingLock Gain (User Defined Value)")));
    QVERIFY(box.informativeText.contains(QStringLiteral("DO NOT FLY!")));
    QCOMPARE(box.stateWhileShown, QStringLiteral("disconnected"));
    // The write alone: nothing read back, nothing asked again.
    QCOMPARE(int(device.device().link().requestCount()), before + 1);
    QCOMPARE(device.stored(HeadingLockGain), 75);
    QVERIFY(!isConnected(window));
}

QTEST_MAIN(SettingsFilesWindowTest)
#include "SettingsFilesWindowTest.moc"
