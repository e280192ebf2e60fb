// The updater's main window: port list, refresh, update files (read afresh
// each time one is chosen, paths that are no file refused), drag and drop,
// auto-detection as the window sees it, exit, about and where the update
// records are. The port list and auto-detection follow the system's ports,
// so they meet the simulator program on its pseudo-terminal; what a refresh
// shows comes from the simulated device in the test's process. The update
// run has tests of its own (UpdaterRunTest.cpp).

#include "AboutBox.h"
#include "ModalBoxAnswerer.h"
#include "ListedPorts.h"
#include "PrivatePorts.h"
#include "TimerTicks.h"
#include "UpdateFile.h"
#include "UpdaterTestSupport.h"
#include "ZORVIKUpdater.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>

#include <QMenu>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// The simulator program, idle pseudo-terminals and FIFOs: Linux only.
#ifndef _WIN32
#include "PortMap.h"
#include "PtyPair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using ZORVI::Communication::Serial::PortMap;
using ZORVI::Testing::SimulatorProcess;
#endif

using ZORVI::ZORVIKUpdater;
using namespace UpdaterTest;

namespace {

// Chooses a file the way `how` names it: "argument" (as the command line
// does), "drop", or "dialog" (the file chooser, answering with the path).
void choose(ZORVIKUpdater& window, const QString& how, const QString& path)
{
    if (how == "drop") {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        deliver(window, drop);
    } else if (how == "dialog") {
        window.setFileChooser([path](QWidget*, const QString&, const QString&) { return path; });
        child<QAction>(window, "m_action_Open_File")->trigger();
    } else {
        window.setUpdateFile(path);
    }
}

QString refusalMessage(const QString& path, ZORVI::UpdateFile::Refusal refusal)
{
    return QStringLiteral("Cannot use %1: %2")
        .arg(QFileInfo(path).fileName(), QString::fromUtf8(ZORVI::UpdateFile::reason(refusal)));
}

#ifndef _WIN32
// Opening a FIFO for reading waits for a writer, and reading it for data:
// should the window ever do either, this ends the wait after a grace time
// (it opens the FIFO for writing, which needs a reader to succeed, and
// closes it again, so that the reader sees an empty file). A fault then
// fails the test instead of hanging it.
class FifoUnblocker {
public:
    static constexpr std::chrono::milliseconds GRACE{3000};
    static constexpr std::chrono::milliseconds RETRY{50};

    explicit FifoUnblocker(const QString& path)
        : m_path(QFile::encodeName(path))
        , m_thread([this] { run(); })
    {
    }
    ~FifoUnblocker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    FifoUnblocker(const FifoUnblocker&) = delete;
    FifoUnblocker& operator=(const FifoUnblocker&) = delete;

    // True when somebody held the FIFO open for reading.
    bool wasNeeded() const { return m_needed; }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, GRACE, [this] { return m_stop; }))
            return;
        while (!m_wake.wait_for(lock, RETRY, [this] { return m_stop; })) {
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
                m_needed = true;
                return;
            }
        }
    }

    const QByteArray m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::atomic<bool> m_needed{false};
    std::thread m_thread;
};
#endif

// Sets or (with an empty value) unsets an environment variable for as long
// as it lives.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, const QString& value)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~EnvironmentOverride()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_old;
};

} // namespace

class UpdaterWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startStateHasNothingSelected();
    void portListFollowsTheSystem();
    void portOptionPreselects_data();
    void portOptionPreselects();
    void selectingPortEnablesStartOnlyWithValidFile_data();
    void selectingPortEnablesStartOnlyWithValidFile();
    void fileLabels_data();
    void fileLabels();
    void descriptionBoxForKindTwoOnly_data();
    void descriptionBoxForKindTwoOnly();
    void longDescriptionFitsTheScreen();
    void choosingTheSamePathReadsItAgain_data();
    void choosingTheSamePathReadsItAgain();
    void pathThatIsNoUsableFileIsRefusedAtOnce_data();
    void pathThatIsNoUsableFileIsRefusedAtOnce();
    void dropTakesTheFirstUrl();
    void dropOfNonLocalUrlClearsTheFile();
    void dragWithoutUriListIsRefused();
    void fileDialogStopsThePortListTimer();
    void refreshShowsDeviceState_data();
    void refreshShowsDeviceState();
    void refreshSaysWhyNoDeviceWasFound_data();
    void refreshSaysWhyNoDeviceWasFound();
    void refreshWithoutEchoShowsProblemBox();
    void pathOutsideAsciiIsRead();
    void autodetectReport_data();
    void autodetectReport();
    void autodetectReplugSelectsThePort();
    void exitAsksFirst_data();
    void exitAsksFirst();
    void aboutBoxShowsUpdaterVersions();
    void updateRecordsMenuNamesTheFile_data();
    void updateRecordsMenuNamesTheFile();

private:
    QString writeFile(const QString& name, const UpdateImage::Bytes& image)
    {
        return m_files->writeFile(name, image);
    }
    QString writeRunFile() { return m_files->writeRunFile(); }

    std::unique_ptr<TestFolder> m_files;
};

void UpdaterWindowTest::initTestCase()
{
    // "E&xit" closes the window; the test goes on.
    QApplication::setQuitOnLastWindowClosed(false);
}

void UpdaterWindowTest::init()
{
    m_files.reset();
    m_files = std::make_unique<TestFolder>();
    QVERIFY(m_files->isValid());
}

void UpdaterWindowTest::startStateHasNothingSelected()
{
    PrivatePorts runtime;
    ListedPorts ports;
    QVERIFY(runtime.isReady() && ports.isReady());
    QVERIFY(ports.add("ZTESTA"));
    QVERIFY(ports.add("ZTESTB"));
    // Building the window handles no events: none reaches it half-built.
    bool handledWhileBuilding = false;
    QTimer::singleShot(0, this, [&] { handledWhileBuilding = true; });

    ZORVIKUpdater window;
    QVERIFY(!handledWhileBuilding);
    QTRY_VERIFY(handledWhileBuilding); // afterwards, from the event loop
    window.setUpdateFile(writeFile("valid.upd", UpdateImage::example()));

    QVERIFY(portCombo(window)->findText("ZTESTA") >= 0);
    QVERIFY(portCombo(window)->findText("ZTESTB") >= 0);
    QCOMPARE(portCombo(window)->currentIndex(), -1);
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QVERIFY(!startButton(window)->isEnabled());
    QCOMPARE(child<QProgressBar>(window, "m_progressBar")->value(), 0);
    QVERIFY(interfaceTimer(window)->isActive());
    QCOMPARE(interfaceTimer(window)->interval(), 1000);

    // Refresh without a port says what to do instead of naming no port.
    child<QPushButton>(window, "m_btnZorviRefresh")->click();
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral("No ZORVIK Device found: no port is chosen. Plug in the KORLINK "
                            "interface and choose its port, or start a simulated device from "
                            "the Help menu."));
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QVERIFY(window.centralWidget()->isEnabled());
}

void UpdaterWindowTest::portListFollowsTheSystem()
{
#ifdef _WIN32
    // The device here is zorvik-sim, a Linux program on a pseudo-terminal.
    QSKIP("needs the simulator program on a Linux pseudo-terminal");
#else
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    PtyPair other;
    QVERIFY(other.isOpen());

    ZORVIKUpdater window;
    window.setUpdateFile(writeRunFile());
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION));
    QVERIFY(startButton(window)->isEnabled());
    const size_t requestsAfterSelection = sim.logLines("request").size();

    // Plugged in: listed within about a second, selection and device labels
    // untouched, the device not asked.
    QVERIFY(PortMap::add("AAPLUGGED", other.slavePath()));
    QVERIFY(waitUntilListed(window, "AAPLUGGED"));
    QCOMPARE(portCombo(window)->currentText(), simPort);
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION));
    QCOMPARE(sim.logLines("request").size(), requestsAfterSelection);
    QVERIFY(startButton(window)->isEnabled());

    // The selected adapter unplugged: no selection, no device, no Start.
    const std::string node = PortMap::resolve(sim.portName());
    QVERIFY(PortMap::remove(sim.portName()));
    QVERIFY(QTest::qWaitFor([&] { return portCombo(window)->findText(simPort) < 0; },
                            PORT_LIST_WAIT_MS));
    QCOMPARE(portCombo(window)->currentIndex(), -1);
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QVERIFY(!startButton(window)->isEnabled());
    PortMap::add(sim.portName(), node);
#endif
}

void UpdaterWindowTest::portOptionPreselects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("preselected");
    QTest::newRow("the simulator's port") << "ZSIM" << true;
    QTest::newRow("not listed") << "ttyUSB7" << false;
    QTest::newRow("other case") << "zsim" << false;
}

// ZORVIKUpdater --port NAME [FILE]: the port is chosen as by the user, so the
// device on it is asked at once; a port not listed leaves nothing chosen and
// the device unasked.
void UpdaterWindowTest::portOptionPreselects()
{
#ifdef _WIN32
    // The device here is zorvik-sim, a Linux program on a pseudo-terminal.
    QSKIP("needs the simulator program on a Linux pseudo-terminal");
#else
    QFETCH(QString, name);
    QFETCH(bool, preselected);
    SimulatorProcess sim({"--name", "ZSIM"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    PtyPair quiet;
    QVERIFY(quiet.isOpen());
    QVERIFY(PortMap::add("AAQUIET", quiet.slavePath()));

    ZORVIKUpdater window;
    window.setUpdateFile(writeRunFile());
    // Listed in the window's order, beside the machine's own ports.
    const ZORVI::Communication::PortList::Names& listed = window.listedPorts();
    QCOMPARE(listed.size(), static_cast<size_t>(portCombo(window)->count()));
    QCOMPARE(QString::fromStdString(listed[1]), QStringLiteral("ZSIM"));
    QCOMPARE(window.preselectPort(name), preselected);

    QCOMPARE(portCombo(window)->currentText(), preselected ? QStringLiteral("ZSIM") : QString());
    QCOMPARE(text(window, "m_lblZorviAppVer"), preselected ? QString(SIM_APPLICATION) : QString());
    QCOMPARE(startButton(window)->isEnabled(), preselected);
    QCOMPARE(sim.logLines("request").empty(), !preselected);
#endif
}

void UpdaterWindowTest::selectingPortEnablesStartOnlyWithValidFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("startEnabled");
    QTest::addColumn<QString>("fileApplication");
    QTest::newRow("valid file") << "valid" << true << "3.1.0";
    QTest::newRow("no file") << "" << false << "";
    QTest::newRow("file not valid") << "broken" << false << "failed";
}

void UpdaterWindowTest::selectingPortEnablesStartOnlyWithValidFile()
{
#ifdef _WIN32
    // The device here is zorvik-sim, a Linux program on a pseudo-terminal.
    QSKIP("needs the simulator program on a Linux pseudo-terminal");
#else
    QFETCH(QString, file);
    QFETCH(bool, startEnabled);
    QFETCH(QString, fileApplication);
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());

    UpdateImage::Bytes image = UpdateImage::example();
    image[7] ^= 0x01; // CRC no longer fits
    ZORVIKUpdater window;
    if (file == "valid")
        window.setUpdateFile(writeFile("valid.upd", UpdateImage::example()));
    else if (file == "broken")
        window.setUpdateFile(writeFile("broken.upd", image));
    QVERIFY(!startButton(window)->isEnabled());

    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QCOMPARE(startButton(window)->isEnabled(), startEnabled);
    QCOMPARE(text(window, "m_lblFileAppVer"), fileApplication);
    QCOMPARE(deviceLabels(window),
             QStringList({SIM_HARDWARE, SIM_APPLICATION, SIM_DATA, simSerialLabel()}));
    QVERIFY(portIsFree(sim.portName()));
#endif
}

void UpdaterWindowTest::fileLabels_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QStringList>("labels");

    UpdateImage::Header exact;
    exact.hardwareMinor = 3;
    exact.application[0] = 10;
    exact.application[2] = 255;
    exact.data[0] = 300;
    const UpdateImage::Bytes one = UpdateImage::record(3);
    auto bytes = [](const UpdateImage::Bytes& image) {
        return QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()));
    };
    UpdateImage::Bytes shortRecords = UpdateImage::example();
    shortRecords.push_back(0x00);

    QTest::newRow("any minor") << bytes(UpdateImage::example())
                               << QStringList({"2.x", "3.1.0", "1.2"});
    QTest::newRow("exact minor, wide numbers")
        << bytes(UpdateImage::join({UpdateImage::header(exact), one}))
        << QStringList({"2.3", "10.1.255", "300.2"});
    QTest::newRow("records do not end with the file")
        << bytes(shortRecords) << QStringList({"failed", "failed", "failed"});
    QTest::newRow("empty file") << QByteArray() << QStringList({"failed", "failed", "failed"});
}

void UpdaterWindowTest::fileLabels()
{
    QFETCH(QByteArray, image);
    QFETCH(QStringList, labels);
    PrivatePorts runtime;
    ZORVIKUpdater window;

    window.setUpdateFile(writeFile(
        "file.upd", UpdateImage::Bytes(image.constData(), image.constData() + image.size())));
    QCOMPARE(texts(window, FILE_LABELS), labels);

    window.setUpdateFile(QString());
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"", "", ""}));
}

void UpdaterWindowTest::descriptionBoxForKindTwoOnly_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("description");
    QTest::newRow("kind 1") << 1 << "";
    QTest::newRow("kind 2 without description") << 2 << "";
    QTest::newRow("kind 2 with description") << 2 << "Firmware 3.1.0\nfor hardware 2.x";
}

void UpdaterWindowTest::descriptionBoxForKindTwoOnly()
{
    QFETCH(int, kind);
    QFETCH(QString, description);
    PrivatePorts runtime;
    UpdateImage::Header header;
    header.kind = static_cast<uint16_t>(kind);
    header.description = description.toStdString();
    const QString path = writeFile(
        "described.upd", UpdateImage::join({UpdateImage::header(header), UpdateImage::record(4)}));
    const QString other = writeFile("other.upd", UpdateImage::example());

    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window);
    window.setUpdateFile(path);
    window.setUpdateFile(other);
    window.setUpdateFile(path);

    QCOMPARE(text(window, "m_lblFileAppVer"), QString("3.1.0"));
    if (description.isEmpty()) {
        QCOMPARE(answerer.count(), 0);
        return;
    }
    // Shown again each time the field changes to that file.
    QCOMPARE(answerer.count(), 2);
    for (const SeenBox& box : answerer.seen()) {
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(box.text, description);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

// A description of hundreds of lines scrolls inside a window that fits the
// screen, its OK button in view; it is shown as text, not as markup.
void UpdaterWindowTest::longDescriptionFitsTheScreen()
{
    PrivatePorts runtime;
    QStringList lines;
    for (int line = 1; line <= 300; ++line)
        lines << QStringLiteral("<b>Line %1</b> of the release notes").arg(line);
    UpdateImage::Header header;
    header.kind = 2;
    header.description = lines.join('\n').toStdString();
    const QString path = writeFile(
        "long.upd", UpdateImage::join({UpdateImage::header(header), UpdateImage::record(4)}));

    ZORVIKUpdater window;
    window.show();
    struct Seen {
        bool found = false;
        QRect frame;
        QRect available;
        bool okVisible = false;
        QRect okOnScreen;
        QString text;
    } seen;
    ModalBoxAnswerer answerer(&window);
    answerer.setOtherHandler([&](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        const auto* view = modal->findChild<QPlainTextEdit*>();
        auto* buttons = modal->findChild<QDialogButtonBox*>();
        if (!dialog || !view || !buttons)
            return false;
        QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
        seen.found = true;
        seen.frame = dialog->frameGeometry();
        seen.available = dialog->screen()->availableGeometry();
        seen.okVisible = ok && ok->isVisible();
        if (ok)
            seen.okOnScreen = QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size());
        seen.text = view->toPlainText();
        ok->click();
        return true;
    });
    window.setUpdateFile(path);

    QVERIFY(seen.found);
    QCOMPARE(answerer.count(), 0);
    QVERIFY2(seen.frame.height() <= seen.available.height(),
             qPrintable(QString("%1 > %2").arg(seen.frame.height()).arg(seen.available.height())));
    QVERIFY(seen.okVisible);
    QVERIFY(seen.available.contains(seen.okOnScreen));
    QCOMPARE(seen.text, lines.join('\n'));
    QCOMPARE(text(window, "m_lblFileAppVer"), QString("3.1.0"));
}

// Whichever way a file is chosen, it is read then: the same path chosen
// again after the file changed shows what it holds now.
void UpdaterWindowTest::choosingTheSamePathReadsItAgain_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("argument") << "argument";
    QTest::newRow("drop") << "drop";
    QTest::newRow("dialog") << "dialog";
}

void UpdaterWindowTest::choosingTheSamePathReadsItAgain()
{
    QFETCH(QString, how);
    PrivatePorts runtime;
    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window);
    auto* field = child<QLineEdit>(window, "m_edtFileName");

    const QString path = writeFile("update.upd", UpdateImage::example());
    choose(window, how, path);
    QCOMPARE(field->text(), path);
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"2.x", "3.1.0", "1.2"}));

    QCOMPARE(writeRunFile(), m_files->filePath("run.upd"));
    QVERIFY(QFile::remove(path) && QFile::copy(m_files->filePath("run.upd"), path));
    choose(window, how, path);
    QCOMPARE(field->text(), path);
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"8.x", "3.1.8", "1.3"}));

    UpdateImage::Bytes broken = UpdateImage::example();
    broken[7] ^= 0x01; // CRC no longer fits
    QCOMPARE(writeFile("update.upd", broken), path);
    choose(window, how, path);
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"failed", "failed", "failed"}));
    QCOMPARE(window.statusBar()->currentMessage(),
             refusalMessage(path, ZORVI::UpdateFile::Refusal::Invalid));

    // Usable again: read again, and the refusal leaves the status line.
    QCOMPARE(writeFile("update.upd", UpdateImage::example()), path);
    choose(window, how, path);
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"2.x", "3.1.0", "1.2"}));
    QCOMPARE(window.statusBar()->currentMessage(), QString());
    QCOMPARE(answerer.count(), 0);
}

void UpdaterWindowTest::pathThatIsNoUsableFileIsRefusedAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("refusal");
    const int missing = int(ZORVI::UpdateFile::Refusal::NotFound);
    const int notRegular = int(ZORVI::UpdateFile::Refusal::NotRegularFile);
    QTest::newRow("missing file") << "missing" << "argument" << missing;
    QTest::newRow("folder, dropped") << "folder" << "drop" << notRegular;
    QTest::newRow("FIFO") << "fifo" << "argument" << notRegular;
    QTest::newRow("FIFO, dropped") << "fifo" << "drop" << notRegular;
}

void UpdaterWindowTest::pathThatIsNoUsableFileIsRefusedAtOnce()
{
#ifdef _WIN32
    // The device here is zorvik-sim, a Linux program on a pseudo-terminal.
    QSKIP("needs the simulator program on a Linux pseudo-terminal");
#else
    QFETCH(QString, kind);
    QFETCH(QString, how);
    QFETCH(int, refusal);
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    const QString path = m_files->filePath("chosen.upd");
    if (kind == "folder")
        QVERIFY(QDir().mkdir(path));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const FifoUnblocker unblocker(path);

    ZORVIKUpdater window;
    ModalBoxAnswerer answerer(&window);
    window.setUpdateFile(writeRunFile());
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);
    QVERIFY(startButton(window)->isEnabled());

    choose(window, how, path);

    QVERIFY(!unblocker.wasNeeded());
    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), path);
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"failed", "failed", "failed"}));
    const QString refused = refusalMessage(path, ZORVI::UpdateFile::Refusal(refusal));
    QCOMPARE(window.statusBar()->currentMessage(), refused);
    // The file chosen before is no longer the one to flash.
    QVERIFY(!startButton(window)->isEnabled());
    QCOMPARE(answerer.count(), 0);

    // The reason stays beside the file, whole and selectable, when the
    // status line moves on to the device.
    const auto* reason = child<QLabel>(window, "m_lblFileRefusal");
    child<QPushButton>(window, "m_btnZorviRefresh")->click();
    QVERIFY(window.statusBar()->currentMessage() != refused);
    QCOMPARE(reason->text(), refused);
    QVERIFY(reason->isVisibleTo(&window));
    QVERIFY(reason->wordWrap());
    QVERIFY(reason->textInteractionFlags() & Qt::TextSelectableByMouse);
    QCOMPARE(reason->textFormat(), Qt::PlainText);
    // Until another file is chosen.
    window.setUpdateFile(writeRunFile());
    QCOMPARE(reason->text(), QString());
    QVERIFY(!reason->isVisibleTo(&window));
#endif
}

void UpdaterWindowTest::dropTakesTheFirstUrl()
{
    PrivatePorts runtime;
    UpdateImage::Header second;
    second.hardwareMinor = 7;
    const QString first = writeFile("first.upd", UpdateImage::example());
    const QString other = writeFile(
        "second.upd", UpdateImage::join({UpdateImage::header(second), UpdateImage::record(1)}));
    ZORVIKUpdater window;

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(other)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    deliver(window, drop);

    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), first);
    QCOMPARE(text(window, "m_lblFileHWVer"), QString("2.x"));
}

void UpdaterWindowTest::dropOfNonLocalUrlClearsTheFile()
{
#ifdef _WIN32
    // The device here is zorvik-sim, a Linux program on a pseudo-terminal.
    QSKIP("needs the simulator program on a Linux pseudo-terminal");
#else
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVIKUpdater window;
    window.setUpdateFile(writeFile("valid.upd", UpdateImage::example()));
    QVERIFY(waitUntilListed(window, QString::fromStdString(sim.portName())));
    selectPort(window, QString::fromStdString(sim.portName()));
    QVERIFY(startButton(window)->isEnabled());

    QMimeData data;
    data.setUrls({QUrl("https://example.com/firmware.upd")});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    deliver(window, drop);

    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), QString());
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"", "", ""}));
    QVERIFY(!startButton(window)->isEnabled());
#endif
}

void UpdaterWindowTest::dragWithoutUriListIsRefused()
{
    PrivatePorts runtime;
    ZORVIKUpdater window;
    QVERIFY(window.acceptDrops());

    QMimeData plain;
    plain.setText(QStringLiteral("/tmp/firmware.upd"));
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &plain, Qt::LeftButton,
                            Qt::NoModifier);
    refused.ignore();
    deliver(window, refused);
    QVERIFY(!refused.isAccepted());

    QMimeData urls;
    urls.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/firmware.upd"))});
    QDragEnterEvent accepted(QPoint(10, 10), Qt::CopyAction, &urls, Qt::LeftButton,
                             Qt::NoModifier);
    accepted.ignore();
    deliver(window, accepted);
    QVERIFY(accepted.isAccepted());
}

void UpdaterWindowTest::fileDialogStopsThePortListTimer()
{
    PrivatePorts runtime;
    const QString path = writeFile("chosen.upd", UpdateImage::example());
    ZORVIKUpdater window;
    bool timerRanWhileOpen = true;
    QString caption;
    QString filter;
    QWidget* parent = nullptr;
    window.setFileChooser([&](QWidget* dialogParent, const QString& dialogCaption,
                              const QString& dialogFilter) {
        parent = dialogParent;
        caption = dialogCaption;
        filter = dialogFilter;
        timerRanWhileOpen = interfaceTimer(window)->isActive();
        return path;
    });

    child<QAction>(window, "m_action_Open_File")->trigger();

    QCOMPARE(parent, &window);
    QCOMPARE(caption, QString("Open ZORVIK Update File"));
    QCOMPARE(filter, QString("Update Files (*.upd);; All Files (*.*)"));
    QVERIFY(!timerRanWhileOpen);
    QVERIFY(interfaceTimer(window)->isActive());
    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), path);
    QCOMPARE(text(window, "m_lblFileAppVer"), QString("3.1.0"));

    // Cancelled: the field keeps its file, the timer runs again.
    window.setFileChooser([](QWidget*, const QString&, const QString&) { return QString(); });
    child<QPushButton>(window, "m_btnFileOpen")->click();
    QVERIFY(interfaceTimer(window)->isActive());
    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), path);
}

void UpdaterWindowTest::refreshShowsDeviceState_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("status");
    QTest::newRow("running")
        << QStringList()
        << QStringList({SIM_HARDWARE, SIM_APPLICATION, SIM_DATA, simSerialLabel()})
        << "ZORVIK Device found";
    QTest::newRow("recovery mode") << QStringList({"--recovery", "0x81"})
                                   << QStringList({"8.1 (Recovery-Mode)", "", "", ""})
                                   << "ZORVIK Device in Recovery-Mode found";
}

void UpdaterWindowTest::refreshShowsDeviceState()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, labels);
    QFETCH(QString, status);
    InProcessDevice sim(arguments(simArguments));
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKUpdater window(sim.control());
    ModalBoxAnswerer answerer(&window);
    QVERIFY(waitUntilListed(window, QString::fromStdString(sim.portName())));
    selectPort(window, QString::fromStdString(sim.portName()));

    QCOMPARE(deviceLabels(window), labels);
    QCOMPARE(window.statusBar()->currentMessage(), status);
    QCOMPARE(answerer.count(), 0);
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(portIsFree(sim));
}

// A damaged answer, a garbled echo and silence are told apart: the status
// line names the reason after the fixed text.
void UpdaterWindowTest::refreshSaysWhyNoDeviceWasFound_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("lead");
    const QString noDevice = QStringLiteral("No ZORVIK Device found: ");
    QTest::newRow("bad CRC") << QStringList({"--bad-crc"}) << int(ZORVI::LinkFailure::BadCrc)
                             << "its checksum did not match" << noDevice;
    // The adapter, not the device, failed the request: no device is said
    // to be missing.
    QTest::newRow("corrupted echo")
        << QStringList({"--corrupt-echo"}) << int(ZORVI::LinkFailure::WrongEcho)
        << "echoed other bytes than were sent" << QStringLiteral("KORLINK Interface Problem: ");
    QTest::newRow("no answer") << QStringList({"--no-answer"})
                               << int(ZORVI::LinkFailure::NoAnswer)
                               << "no ZORVIK Device is connected or powered" << noDevice;
}

void UpdaterWindowTest::refreshSaysWhyNoDeviceWasFound()
{
    QFETCH(QStringList, simArguments);
    QFETCH(int, failure);
    QFETCH(QString, reason);
    QFETCH(QString, lead);
    const QStringList reasons = {"checksum", "echoed other bytes", "no ZORVIK Device is connected"};
    InProcessDevice sim(arguments(simArguments));
    QVERIFY2(sim.isReady(), sim.error().c_str());
    ZORVIKUpdater window(sim.control());
    ModalBoxAnswerer answerer(&window);
    QVERIFY(waitUntilListed(window, QString::fromStdString(sim.portName())));
    selectPort(window, QString::fromStdString(sim.portName()));
    window.statusBar()->clearMessage();

    child<QPushButton>(window, "m_btnZorviRefresh")->click();

    const QString shown = window.statusBar()->currentMessage();
    QCOMPARE(shown, lead + noDeviceSentence(static_cast<ZORVI::LinkFailure>(failure)));
    QVERIFY2(shown.contains(reason), qPrintable(shown));
    int named = 0;
    for (const QString& each : reasons)
        named += shown.contains(each) ? 1 : 0;
    QCOMPARE(named, 1);
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    QCOMPARE(answerer.count(), 0);
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(portIsFree(sim));
}

void UpdaterWindowTest::refreshWithoutEchoShowsProblemBox()
{
    InProcessDevice sim({"--no-echo"});
    QVERIFY2(sim.isReady(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window(sim.control());
    ModalBoxAnswerer answerer(&window);
    QVERIFY(waitUntilListed(window, simPort));
    selectPort(window, simPort);

    QCOMPARE(answerer.count(), 1);
    const SeenBox& box = answerer.seen().first();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QString("KORLINK Interface Problem"));
    QCOMPARE(box.informativeText,
             QString("Communication using the selected Interface \"%1\" is not working "
                     "correctly.\nUse \"Autodetect...\" to identify the KORLINK-Adapter "
                     "automatically.\n\nIf this problem persists contact ZORVIK-Support.")
                 .arg(simPort));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // The status line says why, already while the box shows.
    ZORVI::DeviceConnection::Result silent;
    silent.outcome = ZORVI::DeviceConnection::Outcome::NoEcho;
    silent.linkFailure = ZORVI::LinkFailure::NoEcho;
    const QString status =
        "KORLINK Interface Problem: " + ZORVI::ConnectionText::sentence(silent);
    QCOMPARE(box.statusMessage, status);
    QCOMPARE(window.statusBar()->currentMessage(), status);
    QVERIFY2(status.contains("did not answer"), qPrintable(status));
    QCOMPARE(deviceLabels(window), QStringList({"", "", "", ""}));
    // The device was never asked: only the probe went out.
    QCOMPARE(sim.link().requestCount(), size_t(0));
    QVERIFY(child<QWidget>(window, "centralwidget")->isEnabled());
    QVERIFY(portIsFree(sim));
}

// Paths reach the reader in the locale's encoding (on Windows the programs'
// UTF-8 code page): a name outside ASCII and outside the ANSI code page.
void UpdaterWindowTest::pathOutsideAsciiIsRead()
{
    PrivatePorts runtime;
    ZORVIKUpdater window;
    window.setUpdateFile(writeFile(QString::fromUtf8("Firmware \u00FC \u043F\u0440\u043E.upd"),
                                   UpdateImage::example()));
    QCOMPARE(texts(window, FILE_LABELS), QStringList({"2.x", "3.1.0", "1.2"}));
}

void UpdaterWindowTest::autodetectReport_data()
{
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("newerThanTheList");
    QTest::newRow("port listed") << true << false;
    // Plugged in after the window's last look at the ports: OK comes before
    // its next one.
    QTest::newRow("port newer than the window's list") << true << true;
    QTest::newRow("port not listed yet") << false << false;
}

void UpdaterWindowTest::autodetectReport()
{
#ifdef _WIN32
    // The device here is zorvik-sim, a Linux program on a pseudo-terminal.
    QSKIP("needs the simulator program on a Linux pseudo-terminal");
#else
    QFETCH(bool, listed);
    QFETCH(bool, newerThanTheList);
    std::unique_ptr<ZORVIKUpdater> earlyWindow;
    if (newerThanTheList) {
        earlyWindow = std::make_unique<ZORVIKUpdater>();
        interfaceTimer(*earlyWindow)->stop();
    }
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    std::unique_ptr<ZORVIKUpdater> lateWindow;
    if (!newerThanTheList) {
        lateWindow = std::make_unique<ZORVIKUpdater>();
        QVERIFY(waitUntilListed(*lateWindow, simPort));
    }
    ZORVIKUpdater& window = newerThanTheList ? *earlyWindow : *lateWindow;
    QCOMPARE(portCombo(window)->findText(simPort) >= 0, !newerThanTheList);
    ModalBoxAnswerer answerer(&window);
    const QString reported = listed ? simPort : simPort + "X";

    window.receiveAutodetect(reported);

    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().icon, QMessageBox::Information);
    QCOMPARE(answerer.seen().first().text, QString("ZORVIK KORLINK Interface found"));
    QCOMPARE(answerer.seen().first().informativeText, "KORLINK: " + reported);
    // Selecting the port asks the device.
    QCOMPARE(portCombo(window)->currentText(), listed ? simPort : QString());
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(listed ? SIM_APPLICATION : ""));
#endif
}

void UpdaterWindowTest::autodetectReplugSelectsThePort()
{
#ifdef _WIN32
    // The device here is zorvik-sim, a Linux program on a pseudo-terminal.
    QSKIP("needs the simulator program on a Linux pseudo-terminal");
#else
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString simPort = QString::fromStdString(sim.portName());
    ZORVIKUpdater window;
    window.show();
    QVERIFY(waitUntilListed(window, simPort));
    ModalBoxAnswerer answerer(&window);
    // A user reads the box before closing it; by then the window lists the
    // port again.
    answerer.answerWhen([&] { return portCombo(window)->findText(simPort) >= 0; });

    child<QPushButton>(window, "m_btnAutodetect")->click();
    QPointer<QWidget> dialog = QApplication::activeModalWidget();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QString("Autodetect KORLINK Interface"));
    QCOMPARE(dialog->parentWidget(), &window);

    const std::string node = PortMap::resolve(sim.portName());
    QVERIFY(PortMap::remove(sim.portName()));
    // Gone until a poll of the dialog (its timer runs apart from the
    // window's) has seen it gone.
    QVERIFY(waitForTicks(dialog->findChild<QTimer*>("m_pollTimer"), 1));
    QVERIFY(PortMap::add(sim.portName(), node));
    QVERIFY(QTest::qWaitFor([&] { return answerer.count() > 0; }, 2 * PORT_LIST_WAIT_MS));
    // Two more polls of the window's list: no second report comes.
    QVERIFY(waitForTicks(interfaceTimer(window), 2));

    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().informativeText, "KORLINK: " + simPort);
    QVERIFY(dialog.isNull());
    QCOMPARE(portCombo(window)->currentText(), simPort);
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION));
#endif
}

void UpdaterWindowTest::exitAsksFirst_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("yes") << QMessageBox::Yes << false;
    QTest::newRow("no") << QMessageBox::No << true;
}

void UpdaterWindowTest::exitAsksFirst()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, stillOpen);
    PrivatePorts runtime;
    ZORVIKUpdater window;
    window.show();
    ModalBoxAnswerer answerer(&window);
    answerer.plan({answer});

    child<QAction>(window, "m_action_Exit")->trigger();

    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.seen().first().icon, QMessageBox::Question);
    QCOMPARE(answerer.seen().first().text, QString("Exit ZORVIK Updater?"));
    QCOMPARE(answerer.seen().first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(window.isVisible(), stillOpen);

    // The window frame's close button asks nothing.
    window.show();
    QVERIFY(window.close());
    QCOMPARE(answerer.count(), 1);
}

void UpdaterWindowTest::aboutBoxShowsUpdaterVersions()
{
    PrivatePorts runtime;
    ZORVIKUpdater window;
    window.show();

    child<QAction>(window, "m_action_About")->trigger();
    QPointer<AboutBox> about = window.findChild<AboutBox*>();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), about.data());
    QCOMPARE(about->windowTitle(), QString("About ZORVIK Updater"));
    QCOMPARE(text(*about, "m_lblUpdaterVersion"), QString("1.0.6"));
    QCOMPARE(text(*about, "m_lblUpdaterDate"), QString("Aug 16 2012"));
    QCOMPARE(text(*about, "m_lblZORVICommVersion"), QString("3.1.0"));
    QCOMPARE(text(*about, "m_lblZORVICommDate"), QString("Aug 16 2012"));

    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(about.isNull());
}

void UpdaterWindowTest::updateRecordsMenuNamesTheFile_data()
{
    // %1 stands for the test's folder; an empty value leaves the variable
    // unset.
    QTest::addColumn<QString>("stateHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("named");
    QTest::newRow("XDG_STATE_HOME") << "%1/state" << "%1/home" << "%1/state/zorvik/updates.log";
    QTest::newRow("HOME only") << "" << "%1/home" << "%1/home/.local/state/zorvik/updates.log";
    // The XDG rules have a relative XDG_STATE_HOME ignored.
    QTest::newRow("relative XDG_STATE_HOME")
        << "state" << "%1/home" << "%1/home/.local/state/zorvik/updates.log";
    QTest::newRow("neither")
        << "" << ""
        << "No folder for the update records is known: set XDG_STATE_HOME or HOME.";
}

void UpdaterWindowTest::updateRecordsMenuNamesTheFile()
{
#ifdef _WIN32
    // The rows are the Linux rules for the folder (XDG_STATE_HOME, HOME);
    // Windows keeps the records under LOCALAPPDATA.
    QSKIP("the folder rules of these rows are the Linux ones");
#endif
    QFETCH(QString, stateHome);
    QFETCH(QString, home);
    QFETCH(QString, named);
    PrivatePorts runtime;
    const QString folder = m_files->path();
    const auto inFolder = [&](QString text) { return text.replace("%1", folder); };
    const EnvironmentOverride state("XDG_STATE_HOME", inFolder(stateHome));
    const EnvironmentOverride homeFolder("HOME", inFolder(home));
    ZORVIKUpdater window;
    window.show();
    ModalBoxAnswerer answerer(&window);
    auto* action = child<QAction>(window, "m_action_Update_Records");
    QMenu* help = nullptr;
    for (QMenu* menu : window.findChildren<QMenu*>())
        if (menu->title() == "&Help")
            help = menu;
    QVERIFY(help && help->actions().contains(action));

    action->trigger();

    QCOMPARE(answerer.count(), 1);
    const SeenBox& box = answerer.seen().first();
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.text,
             QString("Each update is recorded in one line of a text file: time, port, file and "
                     "its SHA-256, versions before and after, records sent and outcome."));
    QCOMPARE(box.informativeText, inFolder(named));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

QTEST_MAIN(UpdaterWindowTest)
#include "UpdaterWindowTest.moc"
