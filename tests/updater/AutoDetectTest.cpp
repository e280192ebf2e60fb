// The auto-detection dialog's rule: only a poll that finds exactly one port
// more than remembered reports, and only the names that are new. Each row
// changes the port map and runs one poll per step (the slot the dialog's
// one-second timer drives), so the rule is checked without waiting.

#include "AutoDetectInterface.h"
#include "ListedPorts.h"
#include "PrivatePorts.h"
#include "TimerTicks.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using ZORVI::AutoDetectInterface;

namespace {

// Makes the port map hold exactly these test ports (ports of the machine
// itself, if any, stay as they are).
void setPorts(ListedPorts& ports, const QStringList& wanted)
{
    for (const std::string& name : ports.names()) {
        if (!wanted.contains(QString::fromStdString(name)))
            ports.remove(name);
    }
    for (const QString& name : wanted)
        ports.add(name.toStdString());
}

QStringList emitted(const QSignalSpy& spy)
{
    QStringList names;
    for (const QList<QVariant>& arguments : spy)
        names << arguments.at(0).toString();
    return names;
}

void deleteClosedDialogs()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class AutoDetectTest : public QObject {
    Q_OBJECT

private slots:
    void reportsExactlyOneNewPort_data();
    void reportsExactlyOneNewPort();
    void pollsOnceASecondUntilClosed();
    void abortReportsNothing();
};

void AutoDetectTest::reportsExactlyOneNewPort_data()
{
    QTest::addColumn<QStringList>("initial");
    QTest::addColumn<QList<QStringList>>("polls");
    QTest::addColumn<QStringList>("reported");

    QTest::newRow("unplug and replug") << QStringList({"ZA", "ZB"})
                                       << QList<QStringList>({{"ZB"}, {"ZA", "ZB"}})
                                       << QStringList({"ZA"});
    QTest::newRow("plugged in while absent")
        << QStringList() << QList<QStringList>({{}, {"ZA"}}) << QStringList({"ZA"});
    QTest::newRow("two new ports at once")
        << QStringList() << QList<QStringList>({{"ZA", "ZB"}, {"ZA", "ZB"}}) << QStringList();
    QTest::newRow("one gone, another come") << QStringList({"ZA"})
                                            << QList<QStringList>({{"ZB"}}) << QStringList();
    QTest::newRow("two at once, then one replugged")
        << QStringList() << QList<QStringList>({{"ZA", "ZB"}, {"ZA"}, {"ZA", "ZB"}})
        << QStringList({"ZB"});
    // One more in number, three new names: every new name is reported.
    QTest::newRow("count up by one, several new names")
        << QStringList({"ZA", "ZB"}) << QList<QStringList>({{"ZC", "ZD", "ZE"}})
        << QStringList({"ZC", "ZD", "ZE"});
    QTest::newRow("names differing in case only")
        << QStringList({"ZA"}) << QList<QStringList>({{"ZA", "za"}}) << QStringList({"za"});
}

void AutoDetectTest::reportsExactlyOneNewPort()
{
    QFETCH(QStringList, initial);
    QFETCH(QList<QStringList>, polls);
    QFETCH(QStringList, reported);
    PrivatePorts runtime;
    ListedPorts adapter;
    QVERIFY(runtime.isReady() && adapter.isReady());
    setPorts(adapter, initial);

    QWidget mainWindow;
    mainWindow.show();
    QPointer<AutoDetectInterface> dialog = new AutoDetectInterface(&mainWindow, Qt::Dialog);
    dialog->show();
    QSignalSpy spy(dialog.data(), &AutoDetectInterface::sendAutodetect);
    for (const QStringList& ports : polls) {
        setPorts(adapter, ports);
        QVERIFY(dialog);
        dialog->OnTimer();
    }

    QCOMPARE(emitted(spy), reported);
    QCOMPARE(dialog->isVisible(), reported.isEmpty());
    deleteClosedDialogs();
    QCOMPARE(dialog.isNull(), !reported.isEmpty());
    delete dialog.data();
}

void AutoDetectTest::pollsOnceASecondUntilClosed()
{
    PrivatePorts runtime;
    ListedPorts adapter;
    QVERIFY(adapter.add("ZA"));
    QWidget mainWindow;
    mainWindow.show();
    QPointer<AutoDetectInterface> dialog = new AutoDetectInterface(&mainWindow, Qt::Dialog);
    dialog->show();
    QSignalSpy spy(dialog.data(), &AutoDetectInterface::sendAutodetect);
    QCOMPARE(QApplication::activeModalWidget(), dialog.data());

    // Unplugged, seen gone by a poll, and replugged.
    QVERIFY(adapter.remove("ZA"));
    QVERIFY(UpdaterTest::waitForTicks(dialog->findChild<QTimer*>("m_pollTimer"), 1));
    QCOMPARE(spy.count(), 0);
    QVERIFY(adapter.add("ZA"));
    QVERIFY(spy.wait(2500));
    QCOMPARE(emitted(spy), QStringList({"ZA"}));
    deleteClosedDialogs();
    QVERIFY(dialog.isNull());
    QVERIFY(mainWindow.isVisible());
}

void AutoDetectTest::abortReportsNothing()
{
    PrivatePorts runtime;
    ListedPorts adapter;
    QWidget mainWindow;
    mainWindow.show();
    QPointer<AutoDetectInterface> dialog = new AutoDetectInterface(&mainWindow, Qt::Dialog);
    dialog->show();
    QSignalSpy spy(dialog.data(), &AutoDetectInterface::sendAutodetect);

    auto* abort = dialog->findChild<QPushButton*>("m_btnAbort");
    QVERIFY(abort);
    QCOMPARE(abort->text(), QString("Abort"));
    abort->click();
    QVERIFY(!dialog->isVisible());
    deleteClosedDialogs();
    QVERIFY(dialog.isNull());

    // A port that shows up afterwards reaches nobody: the dialog, its
    // timer with it, is gone, and it reported nothing before it went.
    QVERIFY(adapter.add("ZA"));
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 0);
}

QTEST_MAIN(AutoDetectTest)
#include "AutoDetectTest.moc"
