// The updater's Help menu for a user without a device: the real simulator
// started as the window's child, its port chosen and asked, stopped with
// the window; the open-file dialog starts in the sample update file's
// folder while the simulator is the port, until the user picks a file
// elsewhere; Ctrl+Q asks before exiting as Exit does.
#include "ZORVIKUpdater.h"

#include "ModalBoxAnswerer.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#include "SimulatedDevice.h"
#include "SimulatedDeviceMenu.h"
#include "SimulatorOnPath.h"
#include "UpdaterTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>

using namespace UpdaterTest;
using ZORVI::SimulatedDeviceMenu;
using ZORVI::ZORVIKUpdater;
using ZORVI::Communication::Serial::PortMap;

namespace {

constexpr int SIMULATOR_READY_MS = 15000;

QAction* deviceAction(ZORVIKUpdater& window)
{
    return child<QAction>(window, SimulatedDeviceMenu::DEVICE_ACTION);
}

SimulatedDeviceMenu* menuOf(ZORVIKUpdater& window)
{
    auto* menu = window.findChild<SimulatedDeviceMenu*>();
    if (!menu)
        qFatal("no simulated device menu");
    return menu;
}

QString simulatorFolder()
{
    return SimulatorOnPath::folderOf(
        QString::fromStdString(ZORVI::Testing::SimulatorProcess::simulatorPath()));
}

// XDG_DATA_HOME with zorvik/samples holding the sample update file, for as
// long as it lives (the test program has no share folder beside it).
class SampleData {
public:
    SampleData()
        : m_old(qgetenv("XDG_DATA_HOME"))
    {
        QDir(m_home.path()).mkpath("zorvik/samples");
        m_folder = QDir::cleanPath(m_home.filePath("zorvik/samples"));
        QFile::copy(ZORVIK_SAMPLE_UPDATE, m_folder + "/zorvik-3.1.8-sample.upd");
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    }
    ~SampleData() { qputenv("XDG_DATA_HOME", m_old); }
    SampleData(const SampleData&) = delete;
    SampleData& operator=(const SampleData&) = delete;

    const QString& folder() const { return m_folder; }

private:
    QByteArray m_old;
    QTemporaryDir m_home;
    QString m_folder;
};

// Opens the window's file dialog (the real one) and notes the folder it
// starts in; `pick`, when given, is the file chosen there, else it is
// cancelled.
QString dialogFolder(ZORVIKUpdater& window, ModalBoxAnswerer& catcher,
                     const QString& pick = QString())
{
    QString folder;
    catcher.setOtherHandler([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        folder = QDir::cleanPath(dialog->directory().absolutePath());
        if (pick.isEmpty()) {
            dialog->reject();
        } else {
            dialog->setDirectory(QFileInfo(pick).absolutePath());
            dialog->selectFile(pick);
            static_cast<QDialog*>(dialog)->accept();
        }
        return true;
    });
    window.btnFileOpenClick();
    catcher.setOtherHandler({});
    return folder;
}

// Chooses a listed port without asking the device on it.
void chooseQuietly(ZORVIKUpdater& window, const QString& port)
{
    QComboBox* combo = portCombo(window);
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(combo->findText(port));
}

} // namespace

class UpdaterHelpMenuTest : public QObject {
    Q_OBJECT

private slots:
    void simulatorIsAskedAndEndsWithTheWindow();
    void fileDialogStartsInTheSamples_data();
    void fileDialogStartsInTheSamples();
    void fileDialogFollowsTheUsersFolder();
    void ctrlQAsksBeforeExiting();
};

// The entries come first in the Help menu, above the records and About.
void UpdaterHelpMenuTest::simulatorIsAskedAndEndsWithTheWindow()
{
    PrivateRuntimeDir runtime;
    SimulatorOnPath path(simulatorFolder());
    ZORVIKUpdater window;
    ModalBoxAnswerer catcher;
    QStringList entries;
    for (QAction* entry : child<QMenu>(window, "menu_About")->actions())
        entries << (entry->isSeparator() ? QStringLiteral("-") : entry->objectName());
    QCOMPARE(entries, (QStringList{SimulatedDeviceMenu::TRYING_ACTION,
                                   SimulatedDeviceMenu::DEVICE_ACTION, "-",
                                   "m_action_Update_Records", "-", "m_action_About"}));
    QCOMPARE(portCombo(window)->currentIndex(), -1);

    deviceAction(window)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(portCombo(window)->currentText(), QStringLiteral("ttySIM0"),
                              SIMULATOR_READY_MS);
    QCOMPARE(text(window, "m_lblZorviAppVer"), QString(SIM_APPLICATION));
    const qint64 pid = menuOf(window)->device().processId();
    QVERIFY(pid > 0);

    QVERIFY(window.close());
    QVERIFY(::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
    QVERIFY(PortMap::entries().empty());
    QVERIFY2(catcher.seen().isEmpty(), qPrintable(catcher.seen().value(0).text));
}

void UpdaterHelpMenuTest::fileDialogStartsInTheSamples_data()
{
    QTest::addColumn<QString>("port"); // chosen; "menu": the one started from the menu
    QTest::addColumn<bool>("inSamples");
    QTest::newRow("the simulated device started from the menu") << "menu" << true;
    QTest::newRow("a simulator started in a terminal") << "ttySIM7" << true;
    QTest::newRow("another port") << "COM4" << false;
    QTest::newRow("no port") << "" << false;
}

void UpdaterHelpMenuTest::fileDialogStartsInTheSamples()
{
    QFETCH(QString, port);
    QFETCH(bool, inSamples);
    PrivateRuntimeDir runtime;
    SampleData samples;
    SimulatorOnPath path(simulatorFolder());
    PtyPair line;
    QVERIFY(line.isOpen());
    for (const char* name : {"ttySIM7", "COM4"})
        QVERIFY(PortMap::add(name, line.slavePath()));
    ZORVIKUpdater window;
    ModalBoxAnswerer catcher;
    if (port == QStringLiteral("menu")) {
        deviceAction(window)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!menuOf(window)->device().portName().isEmpty(),
                                 SIMULATOR_READY_MS);
        QCOMPARE(portCombo(window)->currentText(), menuOf(window)->device().portName());
    } else if (!port.isEmpty()) {
        QVERIFY(waitUntilListed(window, port));
        chooseQuietly(window, port);
    }

    const QString folder = dialogFolder(window, catcher);
    QVERIFY(!folder.isEmpty());
    QCOMPARE(folder == samples.folder(), inSamples);
    QCOMPARE(window.fileDialogFolder(), inSamples ? samples.folder() : QString());
}

// Once the user has picked a file in the dialog, the dialog starts where he
// went, the simulator's port or not.
void UpdaterHelpMenuTest::fileDialogFollowsTheUsersFolder()
{
    PrivateRuntimeDir runtime;
    SampleData samples;
    PtyPair line;
    QVERIFY(line.isOpen());
    QVERIFY(PortMap::add("ttySIM7", line.slavePath()));
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString own = QDir::cleanPath(elsewhere.path());
    QVERIFY(QFile::copy(ZORVIK_SAMPLE_UPDATE, own + "/mine.upd"));
    ZORVIKUpdater window;
    // The sample's description box is answered Ok.
    ModalBoxAnswerer catcher;
    QVERIFY(waitUntilListed(window, "ttySIM7"));
    chooseQuietly(window, "ttySIM7");

    QCOMPARE(dialogFolder(window, catcher, own + "/mine.upd"), samples.folder());
    QCOMPARE(child<QLineEdit>(window, "m_edtFileName")->text(), own + "/mine.upd");
    QCOMPARE(window.fileDialogFolder(), QString());
    QCOMPARE(dialogFolder(window, catcher), own);
}

void UpdaterHelpMenuTest::ctrlQAsksBeforeExiting()
{
    PrivateRuntimeDir runtime;
    ZORVIKUpdater window;
    ModalBoxAnswerer catcher;
    catcher.plan({QMessageBox::No, QMessageBox::Yes});
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(catcher.count(), 1);
    QCOMPARE(catcher.seen().constFirst().text, QStringLiteral("Exit ZORVIK Updater?"));
    QVERIFY(window.isVisible());
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
    QCOMPARE(catcher.count(), 2);
}

QTEST_MAIN(UpdaterHelpMenuTest)
#include "UpdaterHelpMenuTest.moc"
