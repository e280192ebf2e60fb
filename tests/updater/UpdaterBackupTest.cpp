// The updater window's safety net against the simulated device in the
// test's process: the settings backed up after the confirmation and before
// anything is sent, and offered back through the preview of a load after a
// done update (the simulator resets its parameters on the update), a backup
// that cannot be saved, a device in recovery mode, and a restore across data
// versions onto a firmware that lacks a parameter.

#include "ModalBoxAnswerer.h"
#include "ParameterTable.h"
#include "SettingsBackup.h"
#include "SettingsPreview.h"
#include "UpdaterTestSupport.h"
#include "ZORVIKUpdater.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>

#include <map>
#include <memory>

using ZORVI::SettingsPreview;
using ZORVI::ZORVIKUpdater;
using namespace UpdaterTest;

namespace {

// What the preview showed before its button was pressed.
struct SeenPreview {
    QString title;
    QString summary;
    QString notes;
    int rows = -1;
    bool offersApply = false;
};

// Values the pilot had set, far from the defaults (TailAsymmetry 0x1180).
const char* const PILOT_STATE = "0x1158 75\n0x1180 12\n0x109C 5\n0x111F 20\n";

std::map<uint16_t, int32_t> tableOf(const ZORVI::Simulator::SimulatedLink& link)
{
    std::map<uint16_t, int32_t> table;
    for (const auto& parameter : link.parameters().parameters())
        table[parameter.id] = parameter.value;
    return table;
}

class Bench {
public:
    Bench(const QStringList& simArguments, TestFolder& folder)
        : m_folder(folder)
    {
        QFile state(folder.filePath("sim.state"));
        if (state.open(QIODevice::WriteOnly))
            state.write(PILOT_STATE);
        state.close();
        std::vector<std::string> arguments = {"--state", state.fileName().toStdString()};
        for (const QString& argument : simArguments)
            arguments.push_back(argument.toStdString());
        sim = std::make_unique<InProcessDevice>(arguments);
    }

    QString prepare()
    {
        if (!sim->isReady())
            return QString::fromStdString(sim->error());
        port = QString::fromStdString(sim->portName());
        window = std::make_unique<ZORVIKUpdater>(sim->control());
        window->show();
        window->setUpdateFile(m_folder.writeRunFile());
        answerer = std::make_unique<ModalBoxAnswerer>(window.get());
        answerer->setOtherHandler([this](QWidget* modal) { return answerPreview(modal); });
        if (!waitUntilListed(*window, port))
            return QStringLiteral("the port %1 is not listed").arg(port);
        selectPort(*window, port);
        if (!startButton(*window)->isEnabled())
            return QStringLiteral("Start is not enabled");
        m_boxesBefore = answerer->count();
        return QString();
    }

    void run(const QList<QMessageBox::StandardButton>& answers, bool apply = true)
    {
        m_apply = apply;
        answerer->plan(answers);
        startButton(*window)->click();
    }

    QList<SeenBox> runBoxes() const { return answerer->seen().mid(m_boxesBefore); }
    QString status() const { return window->statusBar()->currentMessage(); }

    std::unique_ptr<InProcessDevice> sim;
    QString port;
    std::unique_ptr<ZORVIKUpdater> window;
    std::unique_ptr<ModalBoxAnswerer> answerer;
    QList<SeenPreview> previews;

private:
    bool answerPreview(QWidget* modal)
    {
        auto* preview = qobject_cast<SettingsPreview*>(modal);
        if (!preview || preview == m_lastPreview)
            return false;
        m_lastPreview = preview;
        SeenPreview seen;
        seen.title = preview->windowTitle();
        seen.summary = child<QLabel>(*preview, "m_lblSummary")->text();
        auto* notes = child<QLabel>(*preview, "m_lblNotes");
        seen.notes = notes->isVisible() ? notes->text() : QString();
        seen.rows = child<QTableWidget>(*preview, "m_tblChanges")->rowCount();
        seen.offersApply = preview->offersApply();
        previews.append(seen);
        auto* buttons = child<QDialogButtonBox>(*preview, "m_buttons");
        QPushButton* apply = buttons->button(QDialogButtonBox::Apply);
        if (m_apply && apply)
            apply->click();
        else
            preview->reject();
        return true;
    }

    TestFolder& m_folder;
    bool m_apply = true;
    int m_boxesBefore = 0;
    QPointer<SettingsPreview> m_lastPreview;
};

QStringList backupsIn(const TestFolder& folder)
{
    return QDir(folder.filePath("state/zorvik/backups")).entryList(QDir::Files);
}

} // namespace

class UpdaterBackupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void settingsChangedByTheUpdateAreRestoredExactly();
    void cancelLeavesTheDeviceAsTheUpdateLeftIt();
    void unchangedSettingsOfferNothing();
    void backupThatCannotBeSavedSendsNothingWhenAnsweredNo();
    void recoveryModeSaysWhichBackupExists();
    void restoreAcrossDataVersionsLeavesOutWhatTheFirmwareLacks();

private:
    std::unique_ptr<TestFolder> m_folder;
};

void UpdaterBackupTest::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void UpdaterBackupTest::init()
{
    m_folder.reset();
    m_folder = std::make_unique<TestFolder>();
    QVERIFY(m_folder->isValid());
}

void UpdaterBackupTest::settingsChangedByTheUpdateAreRestoredExactly()
{
    Bench bench({"--reset-on-update"}, *m_folder);
    const QString ready = bench.prepare();
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    const std::map<uint16_t, int32_t> before = tableOf(bench.sim->link());
    QCOMPARE(before.at(0x1158), 75);

    bench.run({QMessageBox::Yes, QMessageBox::Ok});

    QCOMPARE(recordsReceived(bench.sim->link(), 0), 3);
    // One backup, named by the unit and the firmware it ran, in the line
    // of the update records.
    const QStringList backups = backupsIn(*m_folder);
    QCOMPARE(backups.size(), 1);
    QVERIFY2(backups.first().startsWith(simSerialLabel().remove(' ') + "-"),
             qPrintable(backups.first()));
    QVERIFY2(backups.first().endsWith("-3.1.7.zset"), qPrintable(backups.first()));
    const QStringList lines = m_folder->journalLines();
    QCOMPARE(lines.size(), 1);
    QCOMPARE(QFileInfo(journalFields(lines.first()).value("backup")).fileName(),
             backups.first());

    // The outcome box, then the preview of the backup: four settings back.
    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(1).text, QString("Device updated successfully."));
    QCOMPARE(bench.previews.size(), 1);
    const SeenPreview& preview = bench.previews.first();
    QCOMPARE(preview.title, QString("Restore Settings"));
    QVERIFY2(preview.summary.startsWith("Restore the settings you had before the update?"),
             qPrintable(preview.summary));
    QVERIFY2(preview.summary.contains(backups.first()), qPrintable(preview.summary));
    QCOMPARE(preview.rows, 4);
    QVERIFY(preview.offersApply);
    QVERIFY2(preview.notes.contains("data version 1.2"), qPrintable(preview.notes));

    // The device's table is what it was before the update, every entry.
    QCOMPARE(tableOf(bench.sim->link()), before);
    QCOMPARE(bench.status(), QString("Settings restored: 4 written and read back"));
    QVERIFY(portIsFree(*bench.sim));
}

void UpdaterBackupTest::cancelLeavesTheDeviceAsTheUpdateLeftIt()
{
    Bench bench({"--reset-on-update"}, *m_folder);
    const QString ready = bench.prepare();
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    bench.run({QMessageBox::Yes, QMessageBox::Ok}, false);
    QCOMPARE(bench.previews.size(), 1);
    int32_t value = 0;
    QVERIFY(bench.sim->link().value(0x1158, value));
    QCOMPARE(value, 60); // the default the update left
    QCOMPARE(bench.status(), QString("Not restored: the device keeps the settings the update "
                                     "left"));
    QCOMPARE(backupsIn(*m_folder).size(), 1);
    QVERIFY(portIsFree(*bench.sim));
}

void UpdaterBackupTest::unchangedSettingsOfferNothing()
{
    Bench bench({}, *m_folder);
    const QString ready = bench.prepare();
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    bench.run({QMessageBox::Yes, QMessageBox::Ok});
    QCOMPARE(recordsReceived(bench.sim->link(), 0), 3);
    QCOMPARE(bench.previews.size(), 0);
    QCOMPARE(bench.runBoxes().size(), 2);
    QCOMPARE(bench.status(), QString("Update done; the settings are as before the update"));
    QCOMPARE(backupsIn(*m_folder).size(), 1);
}

void UpdaterBackupTest::backupThatCannotBeSavedSendsNothingWhenAnsweredNo()
{
    // The backups folder's place is taken by a file.
    QVERIFY(QDir().mkpath(m_folder->filePath("state/zorvik")));
    QFile blocker(m_folder->filePath("state/zorvik/backups"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Bench bench({"--reset-on-update"}, *m_folder);
    const QString ready = bench.prepare();
    QVERIFY2(ready.isEmpty(), qPrintable(ready));

    bench.run({QMessageBox::Yes, QMessageBox::No});

    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    const SeenBox& asked = boxes.at(1);
    QCOMPARE(asked.icon, QMessageBox::Warning);
    QCOMPARE(asked.text, QString("No backup of the settings could be made."));
    QVERIFY2(asked.informativeText.contains("The backup could not be saved: The folder "),
             qPrintable(asked.informativeText));
    QVERIFY2(asked.informativeText.endsWith("Update without a backup?"),
             qPrintable(asked.informativeText));
    QCOMPARE(asked.buttons, QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
    QCOMPARE(asked.defaultButton, QMessageBox::No);
    // Nothing was sent, nothing recorded.
    QCOMPARE(modeRequests(bench.sim->link()), 0);
    QCOMPARE(recordsReceived(bench.sim->link(), 0), 0);
    QVERIFY(m_folder->journalLines().isEmpty());
    QCOMPARE(bench.status(), QString("Update not started: no backup of the settings"));
    QVERIFY(portIsFree(*bench.sim));
}

void UpdaterBackupTest::recoveryModeSaysWhichBackupExists()
{
    // A backup of an earlier update of the simulated unit.
    const QString earlier = QStringLiteral("%1-2026-12-10T14-03-27-3.1.7.zset")
                                .arg(simSerialLabel().remove(' '));
    QVERIFY(QDir().mkpath(m_folder->filePath("state/zorvik/backups")));
    QFile backup(m_folder->filePath("state/zorvik/backups/" + earlier));
    QVERIFY(backup.open(QIODevice::WriteOnly));
    backup.write(QStringLiteral("# ZORVIK settings\n# hardware 8.2, application 3.1.7, data 1.2\n"
                                "# serial %1\n# saved 2026-12-10 14:03\nHeadingLockGain = 75\n")
                     .arg(simSerialLabel())
                     .toUtf8());
    backup.close();
    Bench bench({"--recovery", "0x82"}, *m_folder);
    const QString ready = bench.prepare();
    QVERIFY2(ready.isEmpty(), qPrintable(ready));

    bench.run({QMessageBox::No});

    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, QString("ZORVIK Device in Recovery Mode found!"));
    const QString informative = boxes.at(0).informativeText;
    QVERIFY2(informative.startsWith("No backup of the settings can be made: a device in "
                                    "recovery mode has no readable settings."),
             qPrintable(informative));
    QVERIFY2(informative.contains(QString("Serial number %1, saved 2026-12-10 14:03: ")
                                      .arg(simSerialLabel())),
             qPrintable(informative));
    QVERIFY2(informative.contains(earlier), qPrintable(informative));
    QVERIFY2(informative.endsWith("Are you sure you want to install\nVersion 3.1.8 ?"),
             qPrintable(informative));
    // Nothing new in the backups folder.
    QCOMPARE(backupsIn(*m_folder), QStringList{earlier});
}

void UpdaterBackupTest::restoreAcrossDataVersionsLeavesOutWhatTheFirmwareLacks()
{
    Bench bench({"--reset-on-update", "--update-without", "0x1180"}, *m_folder);
    const QString ready = bench.prepare();
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    std::map<uint16_t, int32_t> before = tableOf(bench.sim->link());

    bench.run({QMessageBox::Yes, QMessageBox::Ok});

    QCOMPARE(bench.previews.size(), 1);
    const SeenPreview& preview = bench.previews.first();
    QCOMPARE(preview.rows, 3);
    QVERIFY2(preview.notes.contains("The file was saved under data version 1.2; this ZORVIK "
                                    "Device has data version 1.3."),
             qPrintable(preview.notes));
    QVERIFY2(preview.notes.contains("This ZORVIK Device's firmware has no TailAsymmetry: left "
                                    "out."),
             qPrintable(preview.notes));
    // Everything the new firmware has is as before; TailAsymmetry is gone.
    before.erase(0x1180);
    QCOMPARE(tableOf(bench.sim->link()), before);
    QCOMPARE(bench.status(), QString("Settings restored: 3 written and read back"));
}

QTEST_MAIN(UpdaterBackupTest)
#include "UpdaterBackupTest.moc"
