// The retry of a port that is busy just after it appeared (ModemManager
// probing it): only a new port, only "in use", from the event loop, and
// never once the port is no longer new or the user chose otherwise.

#include "BusyPortRetry.h"

#include <QTest>

using ZORVI::BusyPortRetry;
using Outcome = ZORVI::DeviceConnection::Outcome;

Q_DECLARE_METATYPE(Outcome)

class BusyPortRetryTest : public QObject {
    Q_OBJECT

private slots:
    void triesAgainOnlyABusyNewPort_data();
    void triesAgainOnlyABusyNewPort();
    void aPortIsNewOnlyForAWhile();
    void cancelledRetryDoesNotRun();
    void waitingTextNamesThePort();
};

void BusyPortRetryTest::triesAgainOnlyABusyNewPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<bool>("retried");

    // Listed at first: ttyS0. Then ttyUSB0 joins and ttyS0 stays.
    QTest::newRow("new port in use") << "ttyUSB0" << Outcome::PortInUse << true;
    QTest::newRow("port of unknown age in use") << "ttyS0" << Outcome::PortInUse << false;
    QTest::newRow("new port refused") << "ttyUSB0" << Outcome::PermissionDenied << false;
    QTest::newRow("new port without echo") << "ttyUSB0" << Outcome::NoEcho << false;
    QTest::newRow("port not listed") << "ttyACM0" << Outcome::PortInUse << false;
}

void BusyPortRetryTest::triesAgainOnlyABusyNewPort()
{
    QFETCH(QString, port);
    QFETCH(Outcome, outcome);
    QFETCH(bool, retried);

    BusyPortRetry retry;
    retry.noteList({"ttyS0"});
    retry.noteList({"ttyS0", "ttyUSB0"});
    int runs = 0;
    QCOMPARE(retry.retry(port, outcome, [&runs] { ++runs; }), retried);
    QCOMPARE(retry.isPending(), retried);
    QCOMPARE(runs, 0); // never at once: from the event loop
    if (retried) {
        QTRY_COMPARE_WITH_TIMEOUT(runs, 1, 10000);
        QVERIFY(!retry.isPending());
    }
}

void BusyPortRetryTest::aPortIsNewOnlyForAWhile()
{
    constexpr int FRESH_MS = 300;
    BusyPortRetry retry(nullptr, FRESH_MS);
    retry.noteList({});
    retry.noteList({"ttyUSB0"});
    QVERIFY(retry.isFresh("ttyUSB0"));
    QTRY_VERIFY_WITH_TIMEOUT(!retry.isFresh("ttyUSB0"), 10000);
    QVERIFY(!retry.retry("ttyUSB0", Outcome::PortInUse, [] {}));
    // Unplugged and plugged in again: new again.
    retry.noteList({});
    retry.noteList({"ttyUSB0"});
    QVERIFY(retry.isFresh("ttyUSB0"));
}

void BusyPortRetryTest::cancelledRetryDoesNotRun()
{
    BusyPortRetry retry;
    retry.noteList({});
    retry.noteList({"ttyUSB0"});
    int runs = 0;
    QVERIFY(retry.retry("ttyUSB0", Outcome::PortInUse, [&runs] { ++runs; }));
    retry.cancel();
    QVERIFY(!retry.isPending());
    // A later retry runs once, the cancelled one not at all.
    int later = 0;
    QVERIFY(retry.retry("ttyUSB0", Outcome::PortInUse, [&later] { ++later; }));
    QTRY_COMPARE_WITH_TIMEOUT(later, 1, 10000);
    QCOMPARE(runs, 0);
}

void BusyPortRetryTest::waitingTextNamesThePort()
{
    const QString text = BusyPortRetry::waitingText("ttyUSB0");
    QVERIFY2(text.startsWith("ttyUSB0 is busy"), qPrintable(text));
    QVERIFY2(text.contains("ModemManager"), qPrintable(text));
}

QTEST_MAIN(BusyPortRetryTest)
#include "BusyPortRetryTest.moc"
