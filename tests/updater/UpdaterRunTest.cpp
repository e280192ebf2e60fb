// The updater window's update run against the simulated device in the
// test's process (what crossed is read from the link's packets), driven
// through the event loop as a user drives it: the adapter check, the
// hardware check and the confirmation, the transfer of the update as it was
// read when chosen, the device asked again afterwards and the outcome box,
// drops and a close request during the run, and the line each run leaves in
// the update records.
//
// Every run that reaches the transfer waits out the device's restart (2 s):
// a run shows as much as it can.

#include "Control.h"
#include "DeviceConnection.h"
#include "FramedPort.h"
#include "ModalBoxAnswerer.h"
#include "RepaintPacer.h"
#include "UpdaterTestSupport.h"
#include "ZORVIKUpdater.h"
#ifndef _WIN32
#include "win32/SignalPortRelease.h"
#endif

#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>

using ZORVI::DeviceConnection;
using ZORVI::ZORVIKUpdater;
using ZORVI::Simulator::SimulatedLink;
using namespace UpdaterTest;

namespace {

const QStringList RUN_FILE_LABELS = {"8.x", "3.1.8", "1.3"};

QStringList updatedDeviceLabels(const char* hardware = SIM_HARDWARE)
{
    return {hardware, SIM_UPDATED_APPLICATION, SIM_UPDATED_DATA, simSerialLabel()};
}

// The simulated device with the given options, and a window on it with an
// update file chosen and the device's port selected; the answerer takes
// every box from the selection on.
class RunBench {
public:
    explicit RunBench(const QStringList& simArguments)
        : sim(arguments(simArguments))
    {
    }

    // Empty when the window is ready to start, else what is missing.
    QString prepare(const QString& file)
    {
        if (!sim.isReady())
            return QString::fromStdString(sim.error());
        port = QString::fromStdString(sim.portName());
        window = std::make_unique<ZORVIKUpdater>(sim.control());
        window->show();
        window->setUpdateFile(file);
        answerer = std::make_unique<ModalBoxAnswerer>(window.get());
        if (!waitUntilListed(*window, port))
            return QStringLiteral("the port %1 is not listed").arg(port);
        selectPort(*window, port);
        if (!startButton(*window)->isEnabled())
            return QStringLiteral("Start is not enabled");
        m_boxesBeforeRun = answerer->count();
        return QString();
    }

    void start(const QList<QMessageBox::StandardButton>& answers)
    {
        answerer->plan(answers);
        startButton(*window)->click();
    }

    // The boxes since the window was ready to start.
    QList<SeenBox> runBoxes() const { return answerer->seen().mid(m_boxesBeforeRun); }

    // After a run: the port is closed again and everything usable again.
    bool idleAgain()
    {
        return portIsFree(sim) && child<QWidget>(*window, "centralwidget")->isEnabled()
            && window->menuBar()->isEnabled() && interfaceTimer(*window)->isActive();
    }

    InProcessDevice sim;
    QString port;
    std::unique_ptr<ZORVIKUpdater> window;
    std::unique_ptr<ModalBoxAnswerer> answerer;

private:
    int m_boxesBeforeRun = 0;
};

// Counts the paint events a progress bar gets while counting is on, and
// notes the value it showed at the last of them and when the first came.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QProgressBar* bar)
        : m_bar(bar)
    {
        bar->installEventFilter(this);
    }

    void start()
    {
        m_clock.start();
        m_counting = true;
    }
    void stop() { m_counting = false; }
    // Milliseconds since start().
    qint64 now() const { return m_clock.elapsed(); }

    int count() const { return m_count; }
    int lastValue() const { return m_lastValue; }
    // Repaints that showed neither the start nor the end.
    int midway() const { return m_midway; }
    qint64 firstMs() const { return m_firstMs; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_counting && watched == m_bar && event->type() == QEvent::Paint) {
            if (m_count++ == 0)
                m_firstMs = now();
            m_lastValue = m_bar->value();
            m_midway += m_lastValue > 0 && m_lastValue < 100 ? 1 : 0;
        }
        return false;
    }

private:
    QProgressBar* m_bar;
    QElapsedTimer m_clock;
    bool m_counting = false;
    int m_count = 0;
    int m_lastValue = -1;
    int m_midway = 0;
    qint64 m_firstMs = -1;
};

// An update of many small records: the in-process device takes them far
// faster than a display can be drawn.
UpdateImage::Bytes manyRecords(int count)
{
    UpdateImage::Bytes image = UpdateImage::header(runHeader());
    for (int k = 0; k < count; ++k) {
        const UpdateImage::Bytes record = UpdateImage::record(18, static_cast<uint8_t>(k));
        image.insert(image.end(), record.begin(), record.end());
    }
    return image;
}

// Runs action from the event loop the next time the window handles events:
// between two records when called from a progress step.
void soon(std::function<void()> action)
{
    QTimer::singleShot(0, std::move(action));
}

} // namespace

class UpdaterRunTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void confirmationAnsweredNo_data();
    void confirmationAnsweredNo();
    void adapterProblemEndsTheRunBeforeAnything_data();
    void adapterProblemEndsTheRunBeforeAnything();
    void hardwareMismatchAsksWithNoAsDefault_data();
    void hardwareMismatchAsksWithNoAsDefault();
    void fullRunAnsweredYes();
    void closeDuringRunWaitsForTheOutcome();
    void fileReplacedAfterChoosingIsNotFlashed_data();
    void fileReplacedAfterChoosingIsNotFlashed();
    void outcomeBoxNamesWhatHappened_data();
    void outcomeBoxNamesWhatHappened();
    void recordsThatCannotBeWrittenAreNamed();
    void progressRepaintsAtMostTenTimesASecond();
    void stopSignalDuringTheTransferIsRecorded();

private:
    std::unique_ptr<TestFolder> m_files;
};

void UpdaterRunTest::initTestCase()
{
    // A close request at the end of a run closes the window; the test goes
    // on.
    QApplication::setQuitOnLastWindowClosed(false);
}

void UpdaterRunTest::init()
{
    m_files.reset();
    m_files = std::make_unique<TestFolder>();
    QVERIFY(m_files->isValid());
}

void UpdaterRunTest::confirmationAnsweredNo_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("informative");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("hardwareLabel");

    QTest::newRow("device ready")
        << QStringList() << QMessageBox::Information << "ZORVIK Device is ready for update."
        << "Are you sure you want to upgrade\nfrom Version 3.1.7 to 3.1.8?"
        << "ZORVIK Device found" << SIM_HARDWARE;
    QTest::newRow("recovery mode")
        << QStringList({"--recovery", "0x81"}) << QMessageBox::Information
        << "ZORVIK Device in Recovery Mode found!"
        << "No backup of the settings can be made: a device in recovery mode has no readable "
           "settings. No backup of an earlier update exists.\n\n"
           "Are you sure you want to install\nVersion 3.1.8 ?"
        << "ZORVIK Device in Recovery-Mode is ready for update." << "8.1 (Recovery-Mode)";
    // Why it was not found comes before the question.
    const QString silent = noDeviceSentence(ZORVI::LinkFailure::NoAnswer);
    QTest::newRow("no device")
        << QStringList({"--no-answer"}) << QMessageBox::Warning << "No ZORVIK Device found!"
        << silent + "\n\nAre you sure you want to try\nto install Version 3.1.8 ?"
        << "No ZORVIK Device found: " + silent << "";
}

void UpdaterRunTest::confirmationAnsweredNo()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, boxText);
    QFETCH(QString, informative);
    QFETCH(QString, status);
    QFETCH(QString, hardwareLabel);
    const QString image = m_files->filePath("received.bin");
    RunBench bench(simArguments + QStringList({"--save-image", image}));
    const QString ready = bench.prepare(m_files->writeRunFile());
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    // The status line says what the run's own query found, not what an
    // earlier refresh did.
    bench.window->statusBar()->clearMessage();

    bench.start({QMessageBox::No});

    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 1);
    const SeenBox& box = boxes.first();
    QCOMPARE(box.icon, icon);
    QCOMPARE(box.text, boxText);
    QCOMPARE(box.informativeText, informative);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.statusMessage, status);
    // Nothing was sent beyond the queries, and nothing recorded; the labels
    // stay as the query left them.
    QCOMPARE(modeRequests(bench.sim.link()), 0);
    QCOMPARE(recordsReceived(bench.sim.link(), 0), 0);
    QVERIFY(!QFile::exists(image));
    QVERIFY(!QFile::exists(m_files->journalPath()));
    QCOMPARE(text(*bench.window, "m_lblZorviHWVer"), hardwareLabel);
    QVERIFY(bench.idleAgain());
}

// The adapter is checked before the device is asked: an adapter that does
// not echo, or a port that is gone, ends the run with the reason, and
// nothing is asked, sent or recorded.
void UpdaterRunTest::adapterProblemEndsTheRunBeforeAnything_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QString>("status");
    // It answered the refresh when the port was selected, then fell silent.
    QTest::newRow("adapter stopped echoing")
        << QStringList({"--silent-after", "1"}) << false << "KORLINK Interface Problem" << "";
    QTest::newRow("port gone")
        << QStringList() << true << ""
        << QStringLiteral("Cannot use %2: ")
               + QString::fromUtf8(DeviceConnection::reason(DeviceConnection::Outcome::NoSuchPort))
               + QStringLiteral(" (");
}

void UpdaterRunTest::adapterProblemEndsTheRunBeforeAnything()
{
    QFETCH(QStringList, simArguments);
    QFETCH(bool, unplug);
    QFETCH(QString, boxText);
    QFETCH(QString, status);
    RunBench bench(simArguments);
    const QString ready = bench.prepare(m_files->writeRunFile());
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    const size_t requestsBefore = bench.sim.link().requestCount();
    if (unplug)
        bench.sim.unplug();

    bench.start({});

    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), boxText.isEmpty() ? 0 : 1);
    if (!boxText.isEmpty()) {
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
        QCOMPARE(boxes.first().text, boxText);
        QVERIFY(boxes.first().informativeText.contains("\"" + bench.port + "\""));
    } else {
        // The port's own words follow the reason.
        const QString shown = bench.window->statusBar()->currentMessage();
        QVERIFY2(shown.startsWith(QString(status).replace("%2", bench.port)), qPrintable(shown));
    }
    QCOMPARE(bench.sim.link().requestCount(), requestsBefore);
    QVERIFY(!QFile::exists(m_files->journalPath()));
    QCOMPARE(deviceLabels(*bench.window), QStringList({"", "", "", ""}));
    if (unplug)
        bench.sim.plugIn();
    QVERIFY(bench.idleAgain());
}

// Firmware for other hardware takes an explicit Yes; the box offers No.
void UpdaterRunTest::hardwareMismatchAsksWithNoAsDefault_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<QString>("deviceHardware");
    QTest::addColumn<QString>("deviceBefore");

    QTest::newRow("running device, No")
        << QStringList({"--hardware", "0x0092"}) << QMessageBox::No << "9.2" << "";
    QTest::newRow("recovery mode, No")
        << QStringList({"--recovery", "0x91"}) << QMessageBox::No << "9.1" << "";
    QTest::newRow("running device, Yes")
        << QStringList({"--hardware", "0x0092"}) << QMessageBox::Yes << "9.2"
        << "application 3.1.7, data 1.2, hardware 9.2";
}

void UpdaterRunTest::hardwareMismatchAsksWithNoAsDefault()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QString, deviceHardware);
    QFETCH(QString, deviceBefore);
    const QString image = m_files->filePath("received.bin");
    RunBench bench(simArguments + QStringList({"--save-image", image}));
    const QString ready = bench.prepare(m_files->writeRunFile());
    QVERIFY2(ready.isEmpty(), qPrintable(ready));

    // The settings of other hardware cannot be read for a backup: Yes,
    // update without one.
    bench.start({answer, QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok});

    const QList<SeenBox> boxes = bench.runBoxes();
    QVERIFY(!boxes.isEmpty());
    const SeenBox& question = boxes.first();
    QCOMPARE(question.icon, QMessageBox::Warning);
    QCOMPARE(question.text, QString("The update file is not made for this device's hardware."));
    // The mismatch names both hardware versions; then the risk and the
    // question.
    const QString mismatch = question.informativeText.section('\n', 0, 0);
    QVERIFY2(mismatch.contains("8.x") && mismatch.contains(deviceHardware), qPrintable(mismatch));
    QCOMPARE(question.informativeText.section('\n', 1),
             QString("Firmware for other hardware can leave the device unusable.\n\nInstall it "
                     "anyway?"));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::No);

    if (answer == QMessageBox::No) {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(bench.window->statusBar()->currentMessage(), "Update not started: " + mismatch);
        QCOMPARE(modeRequests(bench.sim.link()), 0);
        QVERIFY(!QFile::exists(image));
        QVERIFY(!QFile::exists(m_files->journalPath()));
    } else {
        // Then the usual question, the backup's question, the transfer and
        // its outcome.
        QCOMPARE(boxes.size(), 4);
        QCOMPARE(boxes.at(1).text, QString("ZORVIK Device is ready for update."));
        QCOMPARE(boxes.at(2).text, QString("No backup of the settings could be made."));
        QCOMPARE(boxes.at(3).text, QString("Device updated successfully."));
        QCOMPARE(fileBytes(image), bytes(threeRecords()));
        QCOMPARE(deviceLabels(*bench.window), updatedDeviceLabels("9.2"));
        const QStringList lines = m_files->journalLines();
        QCOMPARE(lines.size(), 1);
        QCOMPARE(journalFields(lines.first()).value("device_before"), deviceBefore);
        QCOMPARE(journalFields(lines.first()).value("outcome"), QString("done"));
    }
    QVERIFY(bench.idleAgain());
}

// The whole run, with a file dropped on the window between two records and
// again while the device restarts: both drops are refused and the run goes
// on to its end.
void UpdaterRunTest::fullRunAnsweredYes()
{
    const QString image = m_files->filePath("received.bin");
    RunBench bench({"--save-image", image});
    const QString runFile = m_files->writeRunFile();
    const QString ready = bench.prepare(runFile);
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    ZORVIKUpdater& window = *bench.window;
    UpdateImage::Header described;
    described.kind = 2;
    described.description = "Dropped during the run";
    const QString dropped = m_files->writeFile(
        "dropped.upd", UpdateImage::join({UpdateImage::header(described), UpdateImage::record(4)}));

    struct Drop {
        bool enterAccepted;
        bool dropAccepted;
        QString field;
        QStringList fileLabels;
    };
    QList<Drop> drops;
    const auto dropFile = [&] {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(dropped)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        enter.accept();
        deliver(window, enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        drop.accept();
        deliver(window, drop);
        drops.append({enter.isAccepted(), drop.isAccepted(),
                      child<QLineEdit>(window, "m_edtFileName")->text(),
                      texts(window, FILE_LABELS)});
    };

    struct Step {
        int percent;
        int recordsBefore;
        bool menuEnabled;
        bool timerActive;
    };
    QList<Step> steps;
    connect(child<QProgressBar>(window, "m_progressBar"), &QProgressBar::valueChanged, this,
            [&](int percent) {
                steps.append({percent, recordsReceived(bench.sim.link(), 0),
                              window.menuBar()->isEnabled(), interfaceTimer(window)->isActive()});
                if (steps.size() == 1)
                    soon(dropFile);
            });
    QStringList statusMessages;
    connect(window.statusBar(), &QStatusBar::messageChanged, this, [&](const QString& message) {
        statusMessages << message;
        if (message == "Waiting for Device")
            soon(dropFile);
    });

    bench.start({QMessageBox::Yes, QMessageBox::Ok});

    // Each step comes before its record goes out; the bar reaches 100 just
    // as the last one is sent. During the run no menu and no port list.
    QCOMPARE(steps.size(), 3);
    const int percents[] = {40, 80, 100};
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(steps[k].percent, percents[k]);
        QCOMPARE(steps[k].recordsBefore, k);
        QVERIFY(!steps[k].menuEnabled);
        QVERIFY(!steps[k].timerActive);
    }
    QCOMPARE(recordsReceived(bench.sim.link(), 0), 3);
    QCOMPARE(fileBytes(image), bytes(threeRecords()));

    // The drops changed nothing and opened no description box.
    QCOMPARE(drops.size(), 2);
    for (const Drop& drop : drops) {
        QVERIFY(!drop.enterAccepted);
        QVERIFY(!drop.dropAccepted);
        QCOMPARE(drop.field, runFile);
        QCOMPARE(drop.fileLabels, RUN_FILE_LABELS);
    }

    // The device asked again after the wait, then the outcome.
    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    const SeenBox& result = boxes.at(1);
    QCOMPARE(result.icon, QMessageBox::Information);
    QCOMPARE(result.text, QString("Device updated successfully."));
    QCOMPARE(result.informativeText,
             QString("The device now runs firmware %1, data %2.")
                 .arg(SIM_UPDATED_APPLICATION, SIM_UPDATED_DATA));
    QCOMPARE(result.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(result.statusMessage, QString("Update done"));
    const int inProgress = statusMessages.indexOf("Update in progress...");
    const int waiting = statusMessages.indexOf("Waiting for Device");
    QVERIFY(inProgress >= 0);
    QVERIFY(waiting > inProgress);
    QVERIFY(statusMessages.indexOf("Update done") > waiting);
    QCOMPARE(deviceLabels(window), updatedDeviceLabels());
    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), runFile);
    QCOMPARE(texts(window, FILE_LABELS), RUN_FILE_LABELS);
    QVERIFY(bench.idleAgain());

    // One line in the update records, with what went where.
    const QStringList lines = m_files->journalLines();
    QCOMPARE(lines.size(), 1);
    const QMap<QString, QString> fields = journalFields(lines.first());
    QVERIFY2(QDateTime::fromString(fields.value("time"), Qt::ISODate).isValid(),
             qPrintable(lines.first()));
    QCOMPARE(fields.value("port"), bench.port);
    QCOMPARE(fields.value("file"), QString("run.upd"));
    QCOMPARE(fields.value("sha256"), sha256Hex(fileBytes(runFile)));
    QCOMPARE(fields.value("file_versions"), QString("application 3.1.8, data 1.3, hardware 8.x"));
    QCOMPARE(fields.value("device_before"), QString("application 3.1.7, data 1.2, hardware 8.2"));
    QCOMPARE(fields.value("device_after"), QString("application 3.1.8, data 1.3, hardware 8.2"));
    QCOMPARE(fields.value("records"), QString("3/3"));
    QCOMPARE(fields.value("outcome"), QString("done"));
    QCOMPARE(fields.value("reason"), QString());
    // The backup made before the transfer, of the unit and its firmware.
    const QString backup = fields.value("backup");
    QVERIFY2(QFile::exists(backup), qPrintable(backup));
    QVERIFY2(QFileInfo(backup).fileName().startsWith(simSerialLabel().remove(' ') + "-"),
             qPrintable(backup));
    QCOMPARE(fields.size(), 11);
}

// A close request during the transfer: the window stays, a note that does
// not block says why, the run ends and shows its outcome, and only then the
// window closes.
void UpdaterRunTest::closeDuringRunWaitsForTheOutcome()
{
    const QString image = m_files->filePath("received.bin");
    RunBench bench({"--save-image", image});
    const QString ready = bench.prepare(m_files->writeRunFile());
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    ZORVIKUpdater& window = *bench.window;
    const auto notes = [&] {
        QList<QMessageBox*> found;
        for (QMessageBox* box : window.findChildren<QMessageBox*>())
            if (box->isVisible() && box->text() == "An update is running.")
                found << box;
        return found;
    };

    struct Request {
        bool closed;
        bool visible;
        int notes;
        bool noteModal;
        QString noteDetail;
        int records;
    };
    QList<Request> requests;
    connect(child<QProgressBar>(window, "m_progressBar"), &QProgressBar::valueChanged, this,
            [&](int percent) {
                if (percent == 100)
                    return;
                soon([&] {
                    const bool closed = window.close();
                    const QList<QMessageBox*> shown = notes();
                    requests.append({closed, window.isVisible(), int(shown.size()),
                                     !shown.isEmpty() && shown.first()->isModal(),
                                     shown.isEmpty() ? QString() : shown.first()->informativeText(),
                                     recordsReceived(bench.sim.link(), 0)});
                });
            });
    int notesAtOutcome = -1;
    bench.answerer->whileShown([&](const SeenBox& box) {
        if (box.text == "Device updated successfully.")
            notesAtOutcome = int(notes().size());
    });

    bench.start({QMessageBox::Yes, QMessageBox::Ok});

    // Two requests during the transfer, one note.
    QCOMPARE(requests.size(), 2);
    for (const Request& request : requests) {
        QVERIFY(!request.closed);
        QVERIFY(request.visible);
        QCOMPARE(request.notes, 1);
        QVERIFY(!request.noteModal);
        QCOMPARE(request.noteDetail,
                 QString("The window will close when the update has ended and its outcome is "
                         "shown. Keep the device connected until then."));
    }
    // Both came while records were still to go.
    QVERIFY(requests.at(1).records < 3);

    // The run went on to its end; the outcome replaced the note, and the
    // window closed once it was read.
    QCOMPARE(recordsReceived(bench.sim.link(), 0), 3);
    QCOMPARE(fileBytes(image), bytes(threeRecords()));
    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(1).text, QString("Device updated successfully."));
    QVERIFY(boxes.at(1).windowVisible);
    QCOMPARE(notesAtOutcome, 0);
    QCOMPARE(deviceLabels(window), updatedDeviceLabels());
    QVERIFY(!window.isVisible());
    QCOMPARE(m_files->journalLines().size(), 1);
    QVERIFY(portIsFree(bench.sim));
}

// The file is read once, when chosen: what the run flashes is what the
// window showed and the user confirmed, whatever became of the file since.
// Choosing the same path again reads it anew.
void UpdaterRunTest::fileReplacedAfterChoosingIsNotFlashed_data()
{
    UpdateImage::Header other = runHeader();
    other.application[2] = 9; // 3.1.9
    UpdateImage::Bytes broken = UpdateImage::join({UpdateImage::header(runHeader()),
                                                   threeRecords()});
    broken[7] ^= 0x01; // CRC no longer fits

    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QStringList>("labelsChosenAgain");
    QTest::newRow("by another update")
        << bytes(UpdateImage::join({UpdateImage::header(other), UpdateImage::record(20, 0x33)}))
        << QStringList({"8.x", "3.1.9", "1.3"});
    QTest::newRow("by a broken file") << bytes(broken)
                                      << QStringList({"failed", "failed", "failed"});
}

void UpdaterRunTest::fileReplacedAfterChoosingIsNotFlashed()
{
    QFETCH(QByteArray, replacement);
    QFETCH(QStringList, labelsChosenAgain);
    const QString image = m_files->filePath("received.bin");
    RunBench bench({"--save-image", image});
    const QString path = m_files->writeRunFile();
    const QByteArray shown = fileBytes(path);
    const QString ready = bench.prepare(path);
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    // Replaced while the user reads the question.
    bool replaced = false;
    bench.answerer->whileShown([&](const SeenBox& box) {
        if (box.text == "ZORVIK Device is ready for update.")
            replaced = !m_files
                            ->writeFile("run.upd",
                                        UpdateImage::Bytes(replacement.begin(), replacement.end()))
                            .isEmpty();
    });

    bench.start({QMessageBox::Yes, QMessageBox::Ok});

    QVERIFY(replaced);
    QVERIFY(fileBytes(path) != shown);
    QCOMPARE(fileBytes(image), bytes(threeRecords()));
    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(1).text, QString("Device updated successfully."));
    QCOMPARE(texts(*bench.window, FILE_LABELS), RUN_FILE_LABELS);
    const QStringList lines = m_files->journalLines();
    QCOMPARE(lines.size(), 1);
    QCOMPARE(journalFields(lines.first()).value("sha256"), sha256Hex(shown));

    bench.window->setUpdateFile(path);
    QCOMPARE(texts(*bench.window, FILE_LABELS), labelsChosenAgain);
    QCOMPARE(startButton(*bench.window)->isEnabled(), labelsChosenAgain.first() != "failed");
}

// What the device reports after the run decides the outcome. Each box names
// what happened (the record, "N of M") and what to do next, in the state the
// device was found in afterwards, which the labels show; the records keep
// the outcome. (The sentences are UpdateOutcome's: the rows check what they
// must say, and the transfer's part exactly as Control describes it.)
void UpdaterRunTest::outcomeBoxNamesWhatHappened_data()
{
    using Failure = ZORVI::Control::TransferReport::Failure;
    const auto described = [](Failure failure, uint32_t acknowledged, uint32_t failed) {
        ZORVI::Control::TransferReport report;
        report.failure = failure;
        report.recordsAcknowledged = acknowledged;
        report.recordsTotal = 3;
        report.failedRecord = failed;
        return QString::fromStdString(ZORVI::Control::describe(report));
    };

    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("headline");
    QTest::addColumn<QString>("detail"); // exactly; empty: see facts
    QTest::addColumn<QStringList>("facts");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("labelsAfter");
    QTest::addColumn<int>("recordsOnTheWire");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("recordedRecords");
    QTest::addColumn<QString>("recordedOutcome");

    const QString retry = "press \"Start Update...\"";
    const QStringList recovery = {"8.2 (Recovery-Mode)", "", "", ""};
    QTest::newRow("versions differ")
        << QStringList({"--update-app-version", "3.1.9"}) << QMessageBox::Warning
        << "The device does not report the versions of the update file." << QString()
        << QStringList({"The device reports 3.1.9", "the file holds 3.1.8", retry})
        << "Update not confirmed by the device"
        << QStringList({SIM_HARDWARE, "3.1.9", SIM_UPDATED_DATA, simSerialLabel()}) << 3 << 100
        << "3/3" << "versions differ";
    QTest::newRow("record refused")
        << QStringList({"--refuse-record", "2"}) << QMessageBox::Critical
        << "Device update failed." << described(Failure::RecordRefused, 1, 2)
        << QStringList({"Record 2 of 3", "recovery mode", retry}) << "Update failed" << recovery
        << 2 << 80 << "1/3" << "failed";
    QTest::newRow("record unanswered")
        << QStringList({"--drop-record", "3"}) << QMessageBox::Critical
        << "Device update failed." << described(Failure::RecordUnanswered, 2, 3)
        << QStringList({"Record 3 of 3", "recovery mode", retry}) << "Update failed" << recovery
        << 3 << 100 << "2/3" << "failed";
    // The adapter falls silent at the second record, which goes out as
    // often as the port tries a write without echo; nothing answers after.
    QTest::newRow("adapter silent during the transfer")
        << QStringList({"--silent-during-transfer", "2"}) << QMessageBox::Critical
        << "Device update failed." << described(Failure::PortLost, 1, 2)
        << QStringList({"Record 2 of 3", "No ZORVIK Device answers now", retry})
        << "Update failed" << QStringList({"", "", "", ""})
        << 1 + int(ZORVI::Communication::Serial::FramedPort::SEND_ATTEMPTS) << 80 << "1/3" << "failed";
    // The device ignores the mode requests of this file's addresses: six of
    // them, each waiting out the answer time-out.
    QTest::newRow("no mode answer")
        << QStringList({"--mode-target", "3", "--mode-only-target"}) << QMessageBox::Critical
        << "Device update failed." << described(Failure::NoModeAnswer, 0, 0)
        << QStringList({"mode request", "firmware 3.1.7", retry}) << "Update failed"
        << QStringList({SIM_HARDWARE, SIM_APPLICATION, SIM_DATA, simSerialLabel()}) << 0 << 0
        << "0/3" << "failed";
}

void UpdaterRunTest::outcomeBoxNamesWhatHappened()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, headline);
    QFETCH(QString, detail);
    QFETCH(QStringList, facts);
    QFETCH(QString, status);
    QFETCH(QStringList, labelsAfter);
    QFETCH(int, recordsOnTheWire);
    QFETCH(int, progress);
    QFETCH(QString, recordedRecords);
    QFETCH(QString, recordedOutcome);
    RunBench bench(simArguments);
    const QString ready = bench.prepare(m_files->writeRunFile());
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    QStringList statusMessages;
    connect(bench.window->statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& message) { statusMessages << message; });

    bench.answerer->noteWhileShown([] {
        const auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box ? box->detailedText() : QString();
    });

    QElapsedTimer run;
    run.start();
    bench.start({QMessageBox::Yes, QMessageBox::Ok});
    const qint64 runMs = run.elapsed();

    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    const SeenBox& result = boxes.at(1);
    QCOMPARE(result.icon, icon);
    QCOMPARE(result.text, headline);
    // What happened, then what to do.
    const QStringList paragraphs = result.informativeText.split("\n\n");
    QCOMPARE(paragraphs.size(), 2);
    if (!detail.isEmpty())
        QCOMPARE(paragraphs.first(), detail);
    for (const QString& fact : facts)
        QVERIFY2(result.informativeText.contains(fact, Qt::CaseInsensitive),
                 qPrintable(fact + " not in: " + result.informativeText));
    QCOMPARE(result.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // The details tell the same failure as the box, not the port's generic
    // reason for another step: a transfer that failed has its own sentence.
    QCOMPARE(result.stateWhileShown,
             recordedOutcome == "failed" ? paragraphs.first() : QString());
    QCOMPARE(result.statusMessage, status);
    QVERIFY(!statusMessages.contains("Update done"));
    // It stays until the user does something else.
    QCOMPARE(bench.window->statusBar()->currentMessage(), status);
    // The wait for the device's restart comes after any failure too.
    QVERIFY(statusMessages.indexOf("Waiting for Device") >= 0);
    // Qt's coarse timers may fire up to 5 % early.
    QVERIFY2(runMs >= ZORVIKUpdater::DEVICE_RESTART_WAIT_MS * 95 / 100,
             qPrintable(QString::number(runMs)));

    // Nothing after the failing record went out; the device was asked
    // again and the labels show what it answered.
    QCOMPARE(recordsReceived(bench.sim.link(), 0), recordsOnTheWire);
    QCOMPARE(child<QProgressBar>(*bench.window, "m_progressBar")->value(), progress);
    const std::vector<SimulatedLink::Crossing>& packets = bench.sim.link().packets();
    const auto lastRequest = std::find_if(packets.rbegin(), packets.rend(), [](const auto& packet) {
        return packet.way == SimulatedLink::Crossing::Way::ToDevice;
    });
    QVERIFY(lastRequest != packets.rend());
    QVERIFY(!(lastRequest->destination == 0 && lastRequest->command == 1));
    QCOMPARE(deviceLabels(*bench.window), labelsAfter);
    QVERIFY(bench.idleAgain());
    QVERIFY(startButton(*bench.window)->isEnabled());

    const QStringList lines = m_files->journalLines();
    QCOMPARE(lines.size(), 1);
    const QMap<QString, QString> fields = journalFields(lines.first());
    QCOMPARE(fields.value("records"), recordedRecords);
    QCOMPARE(fields.value("outcome"), recordedOutcome);
    QCOMPARE(fields.value("reason"), paragraphs.first());
}

// The update itself is reported as it went; the box adds that its line is
// missing from the update records, and where it should have gone.
void UpdaterRunTest::recordsThatCannotBeWrittenAreNamed()
{
    // A file where the records' folder would have to be.
    const QString blocked = m_files->writeFile("blocked", UpdateImage::record(1));
    QVERIFY(!blocked.isEmpty());
    // As the system sets it: with backslashes on Windows. TestFolder restores it.
    qputenv(TestFolder::STATE_VARIABLE, QFile::encodeName(QDir::toNativeSeparators(blocked)));
    RunBench bench({});
    const QString ready = bench.prepare(m_files->writeRunFile());
    QVERIFY2(ready.isEmpty(), qPrintable(ready));

    // No backup can be saved there either: Yes, update without one.
    bench.start({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok});

    QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 3);
    QCOMPARE(boxes.takeAt(1).text, QString("No backup of the settings could be made."));
    QCOMPARE(boxes.at(1).icon, QMessageBox::Information);
    QCOMPARE(boxes.at(1).text, QString("Device updated successfully."));
    QCOMPARE(boxes.at(1).informativeText,
             QString("The device now runs firmware %1, data %2.\n\n"
                     "The update could not be recorded in %3.")
                 .arg(SIM_UPDATED_APPLICATION, SIM_UPDATED_DATA,
                      QDir::toNativeSeparators(blocked + "/zorvik/updates.log")));
    QCOMPARE(boxes.at(1).statusMessage, QString("Update done"));
    QCOMPARE(deviceLabels(*bench.window), updatedDeviceLabels());
}

// The bar takes every step of a fast transfer, but the window is drawn at
// most once each 100 ms (each repaint may wait for the display server, and
// the next record with it), and the last step, 100 %, is drawn.
void UpdaterRunTest::progressRepaintsAtMostTenTimesASecond()
{
    constexpr int RECORDS = 5000;
    RunBench bench({});
    const QString ready = bench.prepare(m_files->writeFile("many.upd", manyRecords(RECORDS)));
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    auto* bar = child<QProgressBar>(*bench.window, "m_progressBar");
    PaintCounter paints(bar);
    QList<int> steps;
    qint64 lastButOneStepMs = -1;
    connect(bar, &QProgressBar::valueChanged, this, [&](int percent) {
        steps << percent;
        if (percent == 99)
            lastButOneStepMs = paints.now();
    });
    // The transfer's span, as the window's status line marks it.
    qint64 transferMs = -1;
    connect(bench.window->statusBar(), &QStatusBar::messageChanged, this,
            [&](const QString& message) {
                if (message == "Update in progress...") {
                    paints.start();
                } else if (message == "Waiting for Device" && transferMs < 0) {
                    paints.stop();
                    transferMs = paints.now();
                }
            });

    bench.start({QMessageBox::Yes, QMessageBox::Ok});

    QCOMPARE(recordsReceived(bench.sim.link(), 0), RECORDS);
    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(1).text, QString("Device updated successfully."));
    QVERIFY(transferMs >= 0);
    // Records of a fiftieth of a per cent each: the bar took every value.
    QList<int> everyPercent;
    for (int percent = 1; percent <= 100; ++percent)
        everyPercent << percent;
    QCOMPARE(steps, everyPercent);
    // At most one repaint an interval, besides the one at the start and, from
    // the last step on, those no longer held back.
    const qint64 allowed = 3 + transferMs / RepaintPacer::INTERVAL_MS;
    QVERIFY2(paints.count() >= 1 && paints.count() <= allowed,
             qPrintable(QStringLiteral("%1 repaints in %2 ms").arg(paints.count()).arg(transferMs)));
    QCOMPARE(paints.lastValue(), 100);
    QCOMPARE(bar->value(), 100);
    // Held back, not given up: a step that comes an interval after the
    // first repaint is drawn (the bar has moved far beyond what it shows).
    const qint64 firstMs = paints.firstMs();
    if (firstMs >= 0 && lastButOneStepMs - firstMs >= RepaintPacer::INTERVAL_MS)
        QVERIFY2(paints.midway() >= 1, qPrintable(QString::number(transferMs)));
    QVERIFY(bench.idleAgain());
}


// SIGTERM (the session ends, or `kill`) during the transfer goes through the
// program's own stop handler: the transfer stops before its next record, the
// run is recorded as interrupted and its outcome shown, then the window
// closes. The signal is raised in this process, between two records.
void UpdaterRunTest::stopSignalDuringTheTransferIsRecorded()
{
#ifdef _WIN32
    // The stop handler is the Linux build's (SignalPortRelease, in the Linux
    // stand-in for the Win32 port): Windows has no SIGTERM to send.
    QSKIP("SIGTERM and its handler belong to the Linux build");
#else
    constexpr int RECORDS = 2000;
    ZORVI::Communication::Serial::SignalPortRelease::install();
    RunBench bench({});
    const QString ready = bench.prepare(m_files->writeFile("many.upd", manyRecords(RECORDS)));
    QVERIFY2(ready.isEmpty(), qPrintable(ready));
    auto* bar = child<QProgressBar>(*bench.window, "m_progressBar");
    int raisedAt = -1;
    connect(bar, &QProgressBar::valueChanged, this, [&](int percent) {
        if (percent >= 10 && raisedAt < 0) {
            raisedAt = recordsReceived(bench.sim.link(), 0);
            soon([] { ::raise(SIGTERM); });
        }
    });
    bench.answerer->noteWhileShown([] {
        const auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box ? box->detailedText() : QString();
    });

    bench.start({QMessageBox::Yes, QMessageBox::Ok});

    const int sent = recordsReceived(bench.sim.link(), 0);
    QVERIFY2(raisedAt > 0 && sent >= raisedAt && sent < RECORDS,
             qPrintable(QString("%1 %2").arg(raisedAt).arg(sent)));
    const QString stopped = QString("The update was stopped before record %1 of %2: the program "
                                    "was asked to end.")
                                .arg(sent + 1)
                                .arg(RECORDS);
    const QList<SeenBox> boxes = bench.runBoxes();
    QCOMPARE(boxes.size(), 2);
    const SeenBox& result = boxes.at(1);
    QCOMPARE(result.icon, QMessageBox::Critical);
    QCOMPARE(result.text, QString("Device update interrupted."));
    QCOMPARE(result.informativeText.section("\n\n", 0, 0), stopped);
    QVERIFY2(result.informativeText.contains("press \"Start Update...\"", Qt::CaseInsensitive),
             qPrintable(result.informativeText));
    QCOMPARE(result.stateWhileShown, stopped);
    QCOMPARE(result.statusMessage, QString("Update interrupted"));

    const QStringList lines = m_files->journalLines();
    QCOMPARE(lines.size(), 1);
    const QMap<QString, QString> fields = journalFields(lines.first());
    QCOMPARE(fields.value("outcome"), QString("interrupted"));
    QCOMPARE(fields.value("records"), QString("%1/%2").arg(sent).arg(RECORDS));
    QCOMPARE(fields.value("reason"), stopped);
    // The program ends once the outcome has been shown.
    QTRY_VERIFY(!bench.window->isVisible());
#endif
}

QTEST_MAIN(UpdaterRunTest)
#include "UpdaterRunTest.moc"
