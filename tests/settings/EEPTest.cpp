// The parameter memory against the simulated device, inside the test's
// process: which requests it makes (the packets that crossed the link), how
// it reads the device's limits and values, and the write cycle.

#include "Control.h"
#include "EEP.h"
#include "ParameterIds.h"
#include "LinkPackets.h"
#include "SimulatedLink.h"
#include "SimulatedPort.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>

using ZORVI::Control;
using ZORVI::DeviceInfo;
using ZORVI::EEPROM::EEP;
using ZORVI::Simulator::SimulatedLink;
using ZORVI::Simulator::SimulatedPort;
namespace Id = ZORVI::EEPROM;

namespace {

// One pending user change, made `delayMs` after the previous one: the pace
// of a user typing, part of the scenario.
struct Change {
    uint16_t id;
    int value;
    int delayMs;
};

} // namespace
Q_DECLARE_METATYPE(Change)

class EEPTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void gettersAnswerFromMemoryOnly();
    void newEntriesAreDescribedInRuns_data();
    void newEntriesAreDescribedInRuns();
    void describedEntriesAreReadInRuns_data();
    void describedEntriesAreReadInRuns();
    void undescribedIdIsNotOffered();
    void limitsAndValuesTakeTheirSignFromTheDescriptor_data();
    void limitsAndValuesTakeTheirSignFromTheDescriptor();
    void setRefusesWhatMustNotBeWritten_data();
    void setRefusesWhatMustNotBeWritten();
    void pendingValueIsFieldOneOnly();
    void entryWithoutValueRefusesUserSet();

    void writeCycleGathersChanges_data();
    void writeCycleGathersChanges();
    void successfulWriteCommitsAndNextCycleSendsOnlyNewChanges();
    void failedWriteKeepsEntriesChanged();

private:
    void start(const std::vector<std::string>& arguments = {});
    std::unique_ptr<SimulatedLink> m_link;
    std::unique_ptr<Control> m_control; // on a port onto m_link
};

void EEPTest::init()
{
    start();
}

void EEPTest::cleanup()
{
    m_control.reset();
    m_link.reset();
}

// A fresh simulated device and a controller connected to it as the window
// connects.
void EEPTest::start(const std::vector<std::string>& arguments)
{
    m_control.reset();
    m_link = std::make_unique<SimulatedLink>(arguments);
    QVERIFY2(m_link->isReady(), m_link->error().c_str());
    m_control = std::make_unique<Control>(std::make_unique<SimulatedPort>(*m_link));
    bool echo = false;
    QVERIFY(m_control->testInterface(m_link->portName().c_str(), &echo));
    QVERIFY(echo);
    DeviceInfo info;
    QVERIFY(m_control->queryDeviceInfo(&info));
    QVERIFY(m_control->handshake(info.tokenHigh(), info.tokenLow()));
    m_control->setBlockMode(false);
}

// Nothing is asked behind a getter: what was not loaded reads as unknown.
void EEPTest::gettersAnswerFromMemoryOnly()
{
    EEP eep(m_control.get(), false, 16, 127);
    const int connecting = LinkPackets::requestCount(*m_link);
    bool ok = true;
    QCOMPARE(eep.getValue(Id::TailServoCPPL, &ok), 0);
    QVERIFY(!ok);
    QVERIFY(!eep.set(Id::TailServoCPPL, 1500));
    QCOMPARE(LinkPackets::requestCount(*m_link), connecting);

    QVERIFY(eep.load({Id::TailServoCPPL}));
    // One descriptor for the ID alone, then one word without a count byte.
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 2), QStringList{"106401"});
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 3), QStringList{"0023"});
    const QList<int> all = LinkPackets::requestCommands(*m_link);
    QVERIFY(all.indexOf(2) < all.indexOf(3));

    const int before = LinkPackets::requestCount(*m_link);
    QCOMPARE(eep.getValue(Id::TailServoCPPL, &ok), 1520);
    QVERIFY(ok);
    QCOMPARE(eep.getMin(Id::TailServoCPPL), 500);
    QCOMPARE(eep.getMax(Id::TailServoCPPL), 2000);
    QCOMPARE(eep.getDefault(Id::TailServoCPPL), 1520);
    QCOMPARE(LinkPackets::requestCount(*m_link), before);
}

void EEPTest::newEntriesAreDescribedInRuns_data()
{
    QTest::addColumn<QList<uint16_t>>("ids");
    QTest::addColumn<QStringList>("descriptorRequests");

    // A request spans IDs nobody asked for, up to 16, and ends at the last
    // one asked for.
    QTest::newRow("three neighbours and one apart")
        << QList<uint16_t>{0x1050, 0x1049, 0x1048, 0x104A} << QStringList{"104809"};
    QList<uint16_t> seventeen;
    for (uint16_t id = 0x1040; id <= 0x1050; ++id)
        seventeen.append(id);
    QTest::newRow("seventeen in a row") << seventeen << QStringList{"104010", "105001"};
    QTest::newRow("unsorted gaps")
        << QList<uint16_t>{0x1180, 0x1000, 0x1004} << QStringList{"100005", "118001"};
}

void EEPTest::newEntriesAreDescribedInRuns()
{
    QFETCH(QList<uint16_t>, ids);
    QFETCH(QStringList, descriptorRequests);
    EEP eep(m_control.get(), false, 16, 127);
    eep.load(ids);
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 2), descriptorRequests);
}

void EEPTest::describedEntriesAreReadInRuns_data()
{
    QTest::addColumn<QList<uint16_t>>("ids");
    QTest::addColumn<uint>("maxAddressRun");
    QTest::addColumn<QStringList>("valueRequests");

    // The simulator keeps the swash entries at the words 0x16 .. 0x1B.
    const QList<uint16_t> swash{0x1048, 0x1049, 0x104A, 0x1050, 0x1051, 0x1052};
    QTest::newRow("one run") << swash << 127u << QStringList{"001606"};
    QTest::newRow("run limit") << swash << 4u << QStringList{"001604", "001a02"};
    // Words without a parameter between two that have one are read along.
    QTest::newRow("words between")
        << QList<uint16_t>{Id::StickDeadband, Id::SwashServoFrequency} << 127u
        << QStringList{"001121"};
    QTest::newRow("single word") << QList<uint16_t>{Id::StickDeadband} << 127u
                                 << QStringList{"0031"};
}

void EEPTest::describedEntriesAreReadInRuns()
{
    QFETCH(QList<uint16_t>, ids);
    QFETCH(uint, maxAddressRun);
    QFETCH(QStringList, valueRequests);
    EEP eep(m_control.get(), false, 16, maxAddressRun);
    eep.load(ids);
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 3), valueRequests);
    bool ok = false;
    eep.getValue(ids.first(), &ok);
    QVERIFY(ok);
}

// The device answers an ID it does not have as unknown: that is its answer,
// so the ID is not offered and not asked for again.
void EEPTest::undescribedIdIsNotOffered()
{
    EEP eep(m_control.get(), false, 16, 127);
    const uint16_t unknown = 0x1001;
    QVERIFY(eep.load({unknown}));
    QVERIFY(!eep.isOffered(unknown));
    bool ok = true;
    QCOMPARE(eep.getValue(unknown, &ok), 0);
    QVERIFY(!ok);
    QVERIFY(!eep.set(unknown, 0));
    ok = true;
    QCOMPARE(eep.getMax(unknown, &ok), 0);
    QVERIFY(!ok);
    QVERIFY(eep.load({unknown}));
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 2), QStringList{"100101"});
    QVERIFY(LinkPackets::requestPayloads(*m_link, 3).isEmpty());
}

void EEPTest::limitsAndValuesTakeTheirSignFromTheDescriptor_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<uint>("id");
    QTest::addColumn<QList<int>>("minMaxDefaultValue");
    QTest::addColumn<int>("newValue");
    QTest::addColumn<QString>("writeRequest");

    // RevoMixPitch (word 0x62) is described as 0xFF9C .. 0x0064, default 0;
    // the stored word 0xFFCE is -50.
    QTest::newRow("signed") << QStringList{"0x1178 -50"} << uint(Id::RevoMixPitch)
                            << QList<int>{-100, 100, 0, -50} << -100 << "810062ff9c";
    // SwashServo1Travel (word 0x19) described as 0x0000 .. 0xFFFF: every
    // word is a plain unsigned number, 0xFFFF included.
    QTest::newRow("unsigned full word")
        << QStringList{"0x1050 65535", "--limits", "0x1050=0:65535:1000"}
        << uint(Id::SwashServo1Travel) << QList<int>{0, 65535, 1000, 65535} << 40000
        << "8100199c40";
    QTest::newRow("unsigned") << QStringList{"0x105C 333"} << uint(Id::TailServoFrequency)
                              << QList<int>{50, 560, 50, 333} << 560 << "8100210230";
}

void EEPTest::limitsAndValuesTakeTheirSignFromTheDescriptor()
{
    QFETCH(QStringList, simArguments);
    QFETCH(uint, id);
    QFETCH(QList<int>, minMaxDefaultValue);
    QFETCH(int, newValue);
    QFETCH(QString, writeRequest);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string state = dir.filePath("state").toStdString();
    std::ofstream(state) << simArguments.takeFirst().toStdString() << "\n";
    std::vector<std::string> arguments{"--state", state};
    for (const QString& argument : simArguments)
        arguments.push_back(argument.toStdString());
    start(arguments);

    EEP eep(m_control.get(), false, 16, 127);
    const uint16_t parameter = static_cast<uint16_t>(id);
    QVERIFY(eep.load({parameter}));
    QCOMPARE(eep.getMin(parameter), minMaxDefaultValue[0]);
    QCOMPARE(eep.getMax(parameter), minMaxDefaultValue[1]);
    QCOMPARE(eep.getDefault(parameter), minMaxDefaultValue[2]);
    QCOMPARE(eep.getValue(parameter), minMaxDefaultValue[3]);
    QVERIFY(!eep.set(parameter, minMaxDefaultValue[0] - 1));
    QVERIFY(!eep.set(parameter, minMaxDefaultValue[1] + 1));

    QSignalSpy finished(&eep, &EEP::timerFinished);
    QVERIFY(eep.set(parameter, newValue));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 4), QStringList{writeRequest});
    QCOMPARE(eep.getValue(parameter), newValue);
}

void EEPTest::setRefusesWhatMustNotBeWritten_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("pendingAfter");

    // StickDeadband: 0 .. 25, the device holds 2.
    QTest::newRow("device's own value") << 2 << false << 2;
    QTest::newRow("below minimum") << -1 << false << 2;
    QTest::newRow("above maximum") << 26 << false << 2;
    QTest::newRow("maximum") << 25 << true << 25;
    QTest::newRow("minimum") << 0 << true << 0;
}

void EEPTest::setRefusesWhatMustNotBeWritten()
{
    QFETCH(int, value);
    QFETCH(bool, accepted);
    QFETCH(int, pendingAfter);
    EEP eep(m_control.get(), false, 16, 127);
    QVERIFY(eep.loadAll());
    QSignalSpy started(&eep, &EEP::timerStarted);
    QCOMPARE(eep.set(Id::StickDeadband, value), accepted);
    QCOMPARE(started.count(), accepted ? 1 : 0);
    QCOMPARE(eep.get(Id::StickDeadband, EEP::FieldNewValue), pendingAfter);
    QCOMPARE(eep.changedIds().isEmpty(), !accepted);
    QCOMPARE(eep.isWritePending(), accepted);
}

void EEPTest::pendingValueIsFieldOneOnly()
{
    EEP eep(m_control.get(), false, 16, 127);
    QVERIFY(eep.loadAll());
    QVERIFY(eep.set(Id::StickDeadband, 7));
    QCOMPARE(eep.getValue(Id::StickDeadband), 2);
    QCOMPARE(eep.get(Id::StickDeadband, EEP::FieldNewValue), 7);
    // Back to the device's value: nothing left to write.
    QVERIFY(!eep.set(Id::StickDeadband, 2));
    QVERIFY(eep.changedIds().isEmpty());
    bool ok = true;
    QCOMPARE(eep.get(Id::StickDeadband, 5, &ok), 0);
    QVERIFY(!ok);
}

void EEPTest::entryWithoutValueRefusesUserSet()
{
    // Device information and handshake are answered, then the ten
    // descriptor requests, and the value read finds the device gone: the
    // entries are described but hold no value, so a user's value has
    // nothing to be compared with.
    start({"--silent-after", "12"});
    EEP eep(m_control.get(), false, 16, 127);
    QVERIFY(!eep.loadAll());
    bool ok = true;
    QCOMPARE(eep.getValue(Id::StickDeadband, &ok), 0);
    QVERIFY(!ok);
    ZORVI::EEPROM::Entry entry(0);
    QVERIFY(eep.findEntry(Id::StickDeadband, &entry));
    QCOMPARE(entry.state(), ZORVI::EEPROM::Entry::StateDescribed);
    QSignalSpy started(&eep, &EEP::timerStarted);
    QVERIFY(!eep.set(Id::StickDeadband, 5));
    QCOMPARE(started.count(), 0);
    QVERIFY(eep.changedIds().isEmpty());
}

void EEPTest::writeCycleGathersChanges_data()
{
    QTest::addColumn<QList<Change>>("changes");
    QTest::addColumn<QStringList>("writeRequests");
    QTest::addColumn<int>("timerStarts");

    // Addresses: StickDeadband 0x31, PitchBoost 0x45, HeadingLockGain 0x51,
    // TorqueDirection 0x61. Pairs go out in the order of first use.
    QTest::newRow("three changes 100 ms apart")
        << QList<Change>{{Id::HeadingLockGain, 70, 0}, {Id::StickDeadband, 5, 100},
                         {Id::PitchBoost, 20, 100}}
        << QStringList{"83003100050045001400510046"} << 3;
    QTest::newRow("changed and back") << QList<Change>{{Id::StickDeadband, 5, 0},
                                                        {Id::StickDeadband, 2, 100}}
                                      << QStringList{} << 1;
    QTest::newRow("minus one") << QList<Change>{{Id::TorqueDirection, -1, 0}}
                               << QStringList{"810061ffff"} << 1;
}

void EEPTest::writeCycleGathersChanges()
{
    QFETCH(QList<Change>, changes);
    QFETCH(QStringList, writeRequests);
    QFETCH(int, timerStarts);

    EEP eep(m_control.get(), false, 16, 127);
    // The order of first use decides the order of the pairs.
    eep.load({Id::StickDeadband, Id::PitchBoost, Id::HeadingLockGain, Id::TorqueDirection});
    QSignalSpy started(&eep, &EEP::timerStarted);
    QSignalSpy result(&eep, &EEP::writeResult);
    QSignalSpy finished(&eep, &EEP::timerFinished);

    QElapsedTimer sinceLastAccepted;
    for (const Change& change : changes) {
        // The user's pause runs on the wall clock the write timer measures,
        // but without events: a loaded machine that stretches it past the
        // write delay cannot let the timer fire before the next change
        // restarts it, and so cannot turn the scenario into another one.
        QTest::qSleep(change.delayMs);
        if (eep.set(change.id, change.value))
            sinceLastAccepted.start();
        QVERIFY(LinkPackets::requestPayloads(*m_link, 4).isEmpty());
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
    // Qt's coarse timers may fire up to 5 % early.
    QVERIFY(sinceLastAccepted.elapsed() >= EEP::WRITE_DELAY_MS * 95 / 100);
    QCOMPARE(started.count(), timerStarts);
    QCOMPARE(result.count(), writeRequests.size());
    if (!writeRequests.isEmpty())
        QCOMPARE(result.first().first().toBool(), true);
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 4), writeRequests);
    QVERIFY(eep.changedIds().isEmpty());
}

void EEPTest::successfulWriteCommitsAndNextCycleSendsOnlyNewChanges()
{
    EEP eep(m_control.get(), false, 16, 127);
    QVERIFY(eep.load({Id::StickDeadband, Id::PitchBoost}));
    QSignalSpy finished(&eep, &EEP::timerFinished);
    QVERIFY(eep.set(Id::StickDeadband, 9));
    QVERIFY(eep.set(Id::PitchBoost, 30));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
    QCOMPARE(eep.getValue(Id::StickDeadband), 9);
    QCOMPARE(eep.getValue(Id::PitchBoost), 30);

    QVERIFY(eep.set(Id::PitchBoost, 31));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 3000);
    QCOMPARE(LinkPackets::requestPayloads(*m_link, 4),
             (QStringList{"82003100090045001e", "810045001f"}));
}

void EEPTest::failedWriteKeepsEntriesChanged()
{
    start({"--refuse-writes"});
    EEP eep(m_control.get(), false, 16, 127);
    QVERIFY(eep.loadAll());
    QSignalSpy result(&eep, &EEP::writeResult);
    QSignalSpy finished(&eep, &EEP::timerFinished);
    QVERIFY(eep.set(Id::StickDeadband, 9));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 3000);
    QCOMPARE(result.count(), 1);
    QCOMPARE(result.first().first().toBool(), false);
    QCOMPARE(eep.changedIds(), QList<uint16_t>{Id::StickDeadband});
    QCOMPARE(eep.getValue(Id::StickDeadband), 2);
    QCOMPARE(eep.get(Id::StickDeadband, EEP::FieldNewValue), 9);
}

QTEST_GUILESS_MAIN(EEPTest)
#include "EEPTest.moc"
