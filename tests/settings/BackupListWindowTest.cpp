// Backups in the settings window, offscreen, against the simulated device in
// the test's process: "Restore Backup..." lists this unit's backups newest
// first with the firmware they were saved under and how many settings
// differ, and the one chosen goes through the load preview before anything
// is written. The backups live in a private state folder (XDG_STATE_HOME,
// on Windows LOCALAPPDATA).

#include "Control.h"
#include "DeviceConnection.h"
#include "DeviceWithState.h"
#include "ModalBoxAnswerer.h"
#include "ParameterIds.h"
#include "ParameterRules.h"
#include "SettingsBackup.h"
#include "SettingsFile.h"
#include "SettingsPreview.h"
#include "SettingsWindowSteps.h"
#include "StateFolderVariable.h"
#include "SwashGeometry.h"
#include "WindowChild.h"
#include "ZORVIKMiniSetup.h"

#include "BackupListDialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <ctime>

using ZORVI::BackupListDialog;
using ZORVI::DeviceInfo;
using ZORVI::SettingsBackup;
using ZORVI::SettingsFile;
using ZORVI::SettingsPreview;
using ZORVI::ZORVIKMiniSetup;

using namespace SettingsWindowSteps;
using namespace ZORVI::EEPROM;

namespace {

// Reads the list of backups when it comes up and chooses the row with the
// given text in its first column (or closes it when there is none); then
// reads the preview and cancels it or applies it.
class RestoreAnswerer {
public:
    RestoreAnswerer(ModalBoxAnswerer& boxes, const QString& choose, bool apply)
        : m_choose(choose)
        , m_apply(apply)
    {
        boxes.setOtherHandler([this](QWidget* modal) { return answer(modal); });
    }

    const QStringList& listed() const { return m_listed; }
    const QString& summary() const { return m_summary; }
    const QStringList& previewed() const { return m_previewed; }
    int lists() const { return m_lists; }
    int previews() const { return m_previews; }

private:
    bool answer(QWidget* modal)
    {
        if (auto* list = qobject_cast<BackupListDialog*>(modal)) {
            if (list != m_lastList)
                chooseFrom(list);
            return true;
        }
        auto* preview = qobject_cast<SettingsPreview*>(modal);
        if (!preview || preview == m_lastPreview)
            return false;
        m_lastPreview = preview;
        ++m_previews;
        m_previewed = rows(*child<QTableWidget>(*preview, "m_tblChanges"));
        auto* buttons = child<QDialogButtonBox>(*preview, "m_buttons");
        QPushButton* apply = buttons->button(QDialogButtonBox::Apply);
        QTimer::singleShot(0, preview, [preview, apply, this] {
            if (m_apply && apply)
                apply->click();
            else
                preview->reject();
        });
        return true;
    }

    void chooseFrom(BackupListDialog* list)
    {
        m_lastList = list;
        ++m_lists;
        auto* table = child<QTableWidget>(*list, "m_tblBackups");
        m_listed = rows(*table);
        m_summary = child<QLabel>(*list, "m_lblSummary")->text();
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 0)->text() == m_choose)
                table->selectRow(row);
        auto* restore = child<QPushButton>(*list, "m_btnRestore");
        // Queued: the preview opens from the event loop, not from here.
        QTimer::singleShot(0, list, [list, restore, table, this] {
            const bool found = !table->findItems(m_choose, Qt::MatchExactly).isEmpty();
            if (found && restore->isEnabled())
                restore->click();
            else
                list->reject();
        });
    }

    static QStringList rows(const QTableWidget& table)
    {
        QStringList rows;
        for (int row = 0; row < table.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table.columnCount(); ++column)
                cells.append(table.item(row, column)->text());
            rows.append(cells.join(QStringLiteral(" | ")));
        }
        return rows;
    }

    QString m_choose;
    bool m_apply;
    QStringList m_listed;
    QString m_summary;
    QStringList m_previewed;
    int m_lists = 0;
    int m_previews = 0;
    QPointer<BackupListDialog> m_lastList;
    QPointer<SettingsPreview> m_lastPreview;
};

QAction* restoreAction(ZORVIKMiniSetup& window)
{
    return window.findChild<QAction*>(QStringLiteral("action_RestoreBackup"));
}

// The device's information as the window reads it on connecting.
DeviceInfo infoOf(Device& device)
{
    const std::unique_ptr<ZORVI::Control> control = device.control();
    const ZORVI::DeviceConnection::Result result =
        ZORVI::DeviceConnection::connect(*control, device.portName().c_str());
    control->close();
    return result.info;
}

DeviceInfo withPatchVersion(DeviceInfo info, uint8_t patch)
{
    info.bytes[DeviceInfo::APPLICATION_OFFSET + 5] = patch;
    return info;
}

DeviceInfo ofAnotherUnit(DeviceInfo info)
{
    info.bytes[DeviceInfo::SERIAL_OFFSET] ^= 0x01;
    return info;
}

// A backup as the updater saves it, in the private state folder.
bool writeBackup(const DeviceInfo& unit, std::time_t when, const std::string& saved,
                 const std::vector<SettingsFile::Setting>& settings)
{
    const std::string folder = SettingsBackup::folder();
    std::string error;
    return !folder.empty() && QDir().mkpath(QString::fromStdString(folder))
        && SettingsFile(unit, settings, saved)
               .write(folder + "/" + SettingsBackup::fileName(unit, when), &error);
}

constexpr std::time_t DAY = 24 * 60 * 60;
// 2026-12-01 00:00 UTC: the backups are days apart, in any time zone.
constexpr std::time_t FIRST = 1796083200;

} // namespace

class BackupListWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void listsThisUnitNewestFirstAndPreviewsTheChosen_data();
    void listsThisUnitNewestFirstAndPreviewsTheChosen();
    void noBackupOfThisUnitRestoresNothing();

private:
    QTemporaryDir m_state;
};

void BackupListWindowTest::initTestCase()
{
    QVERIFY(m_state.isValid());
    // As the system sets it: with backslashes on Windows.
    qputenv(STATE_FOLDER_VARIABLE,
            QFile::encodeName(QDir::toNativeSeparators(m_state.path())));
}

void BackupListWindowTest::cleanup()
{
    QDir(QString::fromStdString(SettingsBackup::folder())).removeRecursively();
}

void BackupListWindowTest::listsThisUnitNewestFirstAndPreviewsTheChosen_data()
{
    QTest::addColumn<QString>("choose");
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QStringList>("previewed");
    QTest::addColumn<Values>("stored");

    QTest::newRow("newest, applied")
        << QStringLiteral("2026-12-09 10:00") << true
        << QStringList{QStringLiteral("Tail - HeadingLock Gain (User Defined Value) | 60 | 75"),
                       QStringLiteral("Stick Deadband (User Defined Value) | 2 | 7")}
        << Values{{StickDeadband, 7}, {HeadingLockGain, 75}};
    QTest::newRow("oldest, cancelled")
        << QStringLiteral("2026-12-01 10:00") << false
        << QStringList{QStringLiteral("Tail - Revomix and Asymmetry (User Defined Main Rotor "
                                      "Torque Direction) | 1 (Normal) | -1 (Reverse)")}
        << Values{{TorqueDirection, 1}};
}

void BackupListWindowTest::listsThisUnitNewestFirstAndPreviewsTheChosen()
{
    QFETCH(QString, choose);
    QFETCH(bool, apply);
    QFETCH(QStringList, previewed);
    QFETCH(Values, stored);

    Device device({});
    QVERIFY(device.isReady());
    const DeviceInfo unit = infoOf(device);
    QCOMPARE(unit.applicationVersionText(), std::string("3.1.7"));
    // Written out of order: the list orders them.
    QVERIFY(writeBackup(unit, FIRST + 8 * DAY, "2026-12-09 10:00",
                        {{HeadingLockGain, 75}, {StickDeadband, 7}, {RevoMixPitch, 0}}));
    QVERIFY(writeBackup(withPatchVersion(unit, 5), FIRST, "2026-12-01 10:00",
                        {{TorqueDirection, -1}}));
    // A 140 degree plate: seven entries, one setting.
    std::vector<SettingsFile::Setting> plate140;
    for (const ZORVI::Rules::Change& change :
         ZORVI::Rules::geometryChanges(ZORVI::SwashGeometry::Angle140, 0))
        plate140.push_back({change.id, change.value});
    QVERIFY(writeBackup(withPatchVersion(unit, 6), FIRST + 4 * DAY, "2026-12-05 10:00", plate140));
    QVERIFY(writeBackup(ofAnotherUnit(unit), FIRST + 9 * DAY, "2026-12-10 10:00",
                        {{HeadingLockGain, 10}}));

    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    QVERIFY(!restoreAction(window)->isEnabled());
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    QVERIFY(restoreAction(window)->isEnabled());
    RestoreAnswerer restore(boxes, choose, apply);

    restoreAction(window)->trigger();

    QCOMPARE(restore.lists(), 1);
    QCOMPARE(restore.listed(), (QStringList{QStringLiteral("2026-12-09 10:00 | 3.1.7 | 2"),
                                            QStringLiteral("2026-12-05 10:00 | 3.1.6 | 1"),
                                            QStringLiteral("2026-12-01 10:00 | 3.1.5 | 1")}));
    QCOMPARE(restore.previews(), 1);
    QCOMPARE(restore.previewed(), previewed);
    QVERIFY2(boxes.seen().isEmpty(), qPrintable(boxes.seen().value(0).informativeText));
    QCOMPARE(device.writes(), apply ? 1 : 0);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QCOMPARE(device.stored(it.key()), it.value());
    QVERIFY(isConnected(window));
}

// Another unit's backups are not this one's: the list says there is none,
// offers nothing to restore, and nothing is previewed or written.
void BackupListWindowTest::noBackupOfThisUnitRestoresNothing()
{
    Device device({});
    QVERIFY(device.isReady());
    QVERIFY(writeBackup(ofAnotherUnit(infoOf(device)), FIRST, "2026-12-01 10:00",
                        {{HeadingLockGain, 10}}));
    ZORVIKMiniSetup window(device.control());
    ModalBoxAnswerer boxes(&window);
    choosePort(window, device.portName());
    QVERIFY(isConnected(window));
    RestoreAnswerer restore(boxes, QStringLiteral("2026-12-01 10:00"), true);

    restoreAction(window)->trigger();

    QCOMPARE(restore.lists(), 1);
    QCOMPARE(restore.listed(), QStringList());
    QVERIFY2(restore.summary().startsWith(QStringLiteral("No backup of this ZORVIK Device")),
             qPrintable(restore.summary()));
    QVERIFY2(restore.summary().contains(QDir::toNativeSeparators(
                 QString::fromStdString(SettingsBackup::folder()))),
             qPrintable(restore.summary()));
    QCOMPARE(restore.previews(), 0);
    QCOMPARE(device.writes(), 0);
    QCOMPARE(device.stored(HeadingLockGain), 60);
}

QTEST_MAIN(BackupListWindowTest)
#include "BackupListWindowTest.moc"
