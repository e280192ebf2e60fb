// `zorvik params` and `zorvik set` against the device simulator: what they
// report, and what reaches the device.

#include "Control.h"
#include "DeviceConnection.h"
#include "ParameterIds.h"
#include "PrivateRuntimeDir.h"
#include "SimulatorLog.h"
#include "SimulatorProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QVariantMap>
#include <QTest>

#include <cstdio>
#include <fstream>
#include <iterator>

using ZORVI::DeviceConnection;
using ZORVI::Testing::SimulatorProcess;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run zorvik(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(ZORVIK_CLI_PATH), arguments);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

std::string stateFileWith(const PrivateRuntimeDir& dir, const char* lines)
{
    const std::string path = dir.path() + "/state";
    FILE* file = std::fopen(path.c_str(), "w");
    if (file) {
        std::fputs(lines, file);
        std::fclose(file);
    }
    return path;
}

QByteArray fileContents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return QByteArray::fromStdString(bytes);
}

std::vector<std::string> stdArguments(const QStringList& arguments)
{
    std::vector<std::string> result;
    for (const QString& argument : arguments)
        result.push_back(argument.toStdString());
    return result;
}

QJsonObject parameterByName(const QJsonArray& parameters, const QString& name)
{
    for (const QJsonValue& parameter : parameters)
        if (parameter.toObject()["name"].toString() == name)
            return parameter.toObject();
    return QJsonObject();
}

} // namespace

class ParameterCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void paramsListsEveryParameterAsJson();
    void paramsTableNamesEveryParameter();
    void paramsRefusesWrongFirmware();
    void setWritesAcceptedValuesInOneRequest_data();
    void setWritesAcceptedValuesInOneRequest();
    void setRefusesWhatTheWindowRefuses_data();
    void setRefusesWhatTheWindowRefuses();
    void setWritesTheSwashGeometryAsAWhole_data();
    void setWritesTheSwashGeometryAsAWhole();
    void connectOutcomesAreNamed_data();
    void connectOutcomesAreNamed();
    void quietDeviceEndsEveryCommandAtOnce_data();
    void quietDeviceEndsEveryCommandAtOnce();
};

void ParameterCommandsTest::paramsListsEveryParameterAsJson()
{
    PrivateRuntimeDir stateDir;
    SimulatorProcess sim({"--state", stateFileWith(stateDir, "0x1178 -50\n")});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const Run run = zorvik({"params", QString::fromStdString(sim.portName()), "--json"});
    QCOMPARE(run.exitCode, 0);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    const QJsonArray array = document.array();
    QCOMPARE(array.size(), int(ZORVI::EEPROM::PARAMETER_COUNT));
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject object = array[i].toObject();
        QCOMPARE(object.keys(), (QStringList{"address", "default", "id", "max", "min", "name",
                                             "value"}));
        QCOMPARE(object["name"].toString(),
                 QString::fromLatin1(ZORVI::EEPROM::PARAMETER_NAMES[i].name));
        QCOMPARE(object["id"].toInt(), int(ZORVI::EEPROM::PARAMETER_NAMES[i].id));
        for (const QString& key : object.keys())
            QVERIFY2(key == "name" || object[key].isDouble(), qPrintable(key));
    }
    const QJsonObject pitch = array[26].toObject();
    QCOMPARE(pitch["name"].toString(), QStringLiteral("RevoMixPitch"));
    QCOMPARE(pitch["address"].toInt(), 0x62);
    QCOMPARE(pitch["value"].toInt(), -50);
    QCOMPARE(pitch["min"].toInt(), -100);
    QCOMPARE(pitch["max"].toInt(), 100);
    QCOMPARE(pitch["default"].toInt(), 0);
    const QJsonObject pulse = array[13].toObject();
    QCOMPARE(pulse["name"].toString(), QStringLiteral("TailServoCPPL"));
    QCOMPARE(pulse["id"].toInt(), 0x1064);
    QCOMPARE(pulse["value"].toInt(), 1520);
    QCOMPARE(pulse["max"].toInt(), 2000);

    // Neighbouring IDs share descriptor requests.
    QVERIFY(SimulatorLog::requestPayloads(sim, 2).size() < int(ZORVI::EEPROM::PARAMETER_COUNT));
    QVERIFY(SimulatorLog::requestPayloads(sim, 4).isEmpty());
}

void ParameterCommandsTest::paramsTableNamesEveryParameter()
{
    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const Run run = zorvik({"params", QString::fromStdString(sim.portName())});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), int(ZORVI::EEPROM::PARAMETER_COUNT) + 1);
    QCOMPARE(lines[14].simplified(), QStringLiteral("TailServoCPPL 0x1064 0x0023 1520 500 2000 1520"));
}

void ParameterCommandsTest::paramsRefusesWrongFirmware()
{
    SimulatorProcess sim({"--app-version", "3.0.9"});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const Run run = zorvik({"params", QString::fromStdString(sim.portName()), "--json"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("https://www.zorvik-heli.example/index.php?serial="),
             qPrintable(run.err));
    QVERIFY(SimulatorLog::requestPayloads(sim, 2).isEmpty());
}

void ParameterCommandsTest::setWritesAcceptedValuesInOneRequest_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("writeRequests");
    QTest::addColumn<QString>("errorText");

    // TailAsymmetry: address 0x64, -100 .. 100; StickDeadband: 0x31, 0 .. 25.
    QTest::newRow("within limits")
        << QStringList{} << QStringList{"TailAsymmetry=-5", "StickDeadband=7"} << 0
        << QStringList{"820064fffb00310007"} << QString();
    // A request is stored whole or not at all.
    QTest::newRow("one refused") << QStringList{}
                                 << QStringList{"StickDeadband=26", "TailAsymmetry=-5"} << 1
                                 << QStringList{}
                                 << "StickDeadband=26 refused: allowed are 0 to 25";
    QTest::newRow("only refused") << QStringList{} << QStringList{"TailAsymmetry=-101"} << 1
                                  << QStringList{}
                                  << "TailAsymmetry=-101 refused: allowed are -100 to 100";
    QTest::newRow("device's own value") << QStringList{} << QStringList{"StickDeadband=2"} << 0
                                        << QStringList{} << QString();
    QTest::newRow("write refused by device")
        << QStringList{"--refuse-writes"} << QStringList{"StickDeadband=3"} << 2
        << QStringList{"8100310003"} << "refused the write";
    // An unanswered write may or may not have been stored, and is not
    // called refused.
    QTest::newRow("write unanswered")
        << QStringList{"--lose-write-answers"} << QStringList{"StickDeadband=3"} << 2
        << QStringList{"8100310003"} << "did not confirm the write; what it holds now is not known";
    // 13 answered exchanges bring the set command up to its write (device
    // information, handshake, ten descriptor requests and one value read);
    // then the adapter falls silent: its echo failed, which is exit 3 as
    // for an adapter that never echoed.
    QTest::newRow("adapter silent at the write")
        << QStringList{"--silent-after", "13"} << QStringList{"StickDeadband=3"} << 3
        << QStringList{} << "did not confirm the write; what it holds now is not known";
    QTest::newRow("unknown name") << QStringList{} << QStringList{"Stickdeadband=3"} << 1
                                  << QStringList{} << "unknown parameter 'Stickdeadband'";
    // TailServoCPPLID 0x22, TailServoCPPL 0x23, TailServoFrequencyID 0x20:
    // a 2000 us pulse allows 333 Hz, the frame rate preset 4.
    QTest::newRow("tail servo within its rule")
        << QStringList{}
        << QStringList{"TailServoCPPLID=0", "TailServoCPPL=2000", "TailServoFrequencyID=4"} << 0
        << QStringList{"8300220000002307d000200004"} << QString();
    QTest::newRow("swash geometry the device holds")
        << QStringList{} << QStringList{"SwashGeometry=120", "SwashPhase=0"} << 0
        << QStringList{} << QString();
}

void ParameterCommandsTest::setWritesAcceptedValuesInOneRequest()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, assignments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, writeRequests);
    QFETCH(QString, errorText);

    SimulatorProcess sim(stdArguments(simArguments));
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const Run run = zorvik(QStringList{"set", QString::fromStdString(sim.portName())}
                           + assignments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4), writeRequests);
    if (!errorText.isEmpty())
        QVERIFY2(run.err.contains(errorText), qPrintable(run.err));
}

// What the settings window refuses, `zorvik set` refuses too, naming the
// cause; and then nothing at all reaches the device.
void ParameterCommandsTest::setRefusesWhatTheWindowRefuses_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("state"); // the simulator's state file; empty: the factory values
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<QStringList>("errorTexts");

    // The factory tail servo: frame rate preset 1 (50 Hz), pulse preset 3
    // (1520 us, which allows at most 396 Hz).
    QTest::newRow("frame rate preset too fast for the pulse asked for")
        << QStringList{} << QString()
        << QStringList{"TailServoCPPLID=0", "TailServoCPPL=2000", "TailServoFrequencyID=5"}
        << QStringList{"TailServoFrequencyID=5 (560 Hz) is too fast for a centre pulse of "
                       "2000 us (at most 333 Hz)",
                       "ask for TailServoFrequencyID=4 (333 Hz) instead"};
    QTest::newRow("frame rate preset too fast for the pulse preset")
        << QStringList{} << QString()
        << QStringList{"TailServoCPPL=2000", "TailServoFrequencyID=5"}
        << QStringList{"TailServoFrequencyID=5 (560 Hz) is too fast for a centre pulse of "
                       "1520 us (at most 396 Hz)",
                       "ask for TailServoFrequencyID=4 (333 Hz) instead"};
    QTest::newRow("user-defined frame rate too fast")
        << QStringList{} << QString()
        << QStringList{"TailServoCPPLID=0", "TailServoCPPL=2000", "TailServoFrequencyID=0",
                       "TailServoFrequency=400"}
        << QStringList{"TailServoFrequency=400 is too fast for a centre pulse of 2000 us "
                       "(at most 333 Hz)",
                       "ask for TailServoFrequency=333 instead"};
    // 560 Hz fits the 760 us pulse preset (at most 568 Hz), not 1520 us.
    QTest::newRow("device's frame rate too fast for the new pulse")
        << QStringList{} << QStringLiteral("0x1058 5\n0x1060 2\n")
        << QStringList{"TailServoCPPLID=3"}
        << QStringList{"the device's TailServoFrequencyID=5 (560 Hz) is too fast for a centre "
                       "pulse of 1520 us (at most 396 Hz)",
                       "ask for TailServoFrequencyID=4 (333 Hz) as well"};
    // 3000 us allows 250 Hz: not even the 333 Hz preset fits.
    QTest::newRow("no lowering fits the pulse")
        << QStringList{"--limits", "0x1064=500:3000:1520"} << QString()
        << QStringList{"TailServoCPPLID=0", "TailServoCPPL=3000", "TailServoFrequencyID=5"}
        << QStringList{"a tail servo centre pulse of 3000 us allows a frame rate of at most "
                       "250 Hz"};
    for (const char* entry : {"SwashServo1Angle=100", "SwashServo2Travel=1414",
                              "SwashMixerMode=4"}) {
        const QString assignment = QString::fromLatin1(entry);
        const QString name = assignment.section('=', 0, 0);
        QTest::newRow(qPrintable("single swash entry " + name))
            << QStringList{} << QString() << QStringList{assignment}
            << QStringList{name + " refused: the swash plate's servo angles, travels and mixer "
                                  "mode are set only together",
                           "use SwashGeometry=NAME and SwashPhase=DEG instead"};
    }
    QTest::newRow("preset index outside the device's limits")
        << QStringList{} << QString() << QStringList{"TailServoFrequencyID=7"}
        << QStringList{"TailServoFrequencyID=7 refused: allowed are 0 to 5"};
    QTest::newRow("preset index the list does not have")
        << QStringList{"--limits", "0x1058=0:9:1"} << QString()
        << QStringList{"TailServoFrequencyID=7"}
        << QStringList{"TailServoFrequencyID=7 refused: allowed are 0 to 5 (the list's presets)"};
    QTest::newRow("negative preset index within the device's limits")
        << QStringList{"--limits", "0x1058=-5:9:1"} << QString()
        << QStringList{"TailServoFrequencyID=-1"}
        << QStringList{"TailServoFrequencyID=-1 refused: allowed are 0 to 5 (the list's presets)"};
    QTest::newRow("torque direction neither normal nor reverse")
        << QStringList{} << QString() << QStringList{"TorqueDirection=0"}
        << QStringList{"TorqueDirection=0 refused: allowed are 1 (normal) or -1 (reverse)"};
    QTest::newRow("outside the limits, next to an accepted value")
        << QStringList{} << QString() << QStringList{"TailAsymmetry=-5", "StickDeadband=26"}
        << QStringList{"StickDeadband=26 refused: allowed are 0 to 25"};
    QTest::newRow("every refusal told")
        << QStringList{} << QString()
        << QStringList{"TorqueDirection=0", "StickDeadband=26", "TailAsymmetry=-101"}
        << QStringList{"TorqueDirection=0 refused", "StickDeadband=26 refused",
                       "TailAsymmetry=-101 refused: allowed are -100 to 100"};
    QTest::newRow("unknown geometry")
        << QStringList{} << QString() << QStringList{"SwashGeometry=bogus"}
        << QStringList{"SwashGeometry=bogus: no such swash plate geometry", "140-1:1",
                       "mechanic", "\"120 °\""};
    QTest::newRow("phase beyond half a turn")
        << QStringList{} << QString() << QStringList{"SwashPhase=200"}
        << QStringList{"SwashPhase=200 refused: the phase angle is -180 to 180 degrees"};
    // Servos at 0, 100 and 240 degrees form no geometry.
    QTest::newRow("phase alone with no geometry to keep")
        << QStringList{} << QStringLiteral("0x1049 100\n") << QStringList{"SwashPhase=30"}
        << QStringList{"SwashPhase=30 refused", "give SwashGeometry=NAME as well"};
    QTest::newRow("geometry outside the device's limits")
        << QStringList{"--limits", "0x1051=0:1200:1000"} << QString()
        << QStringList{"SwashGeometry=140-1:1"}
        << QStringList{"SwashServo2Travel=1414 (of the swash plate geometry asked for) refused: "
                       "allowed are 0 to 1200"};
    QTest::newRow("name given twice")
        << QStringList{} << QString() << QStringList{"StickDeadband=3", "StickDeadband=4"}
        << QStringList{"StickDeadband is given more than once"};
    // A value is an optional '-' and digits, and nothing else: no blank
    // before or after it, no '+', no negative zero.
    QTest::newRow("blank before the value")
        << QStringList{} << QString() << QStringList{"StickDeadband= 5"}
        << QStringList{"' 5' is not a value"};
    QTest::newRow("blank after the value")
        << QStringList{} << QString() << QStringList{"StickDeadband=5 "}
        << QStringList{"'5 ' is not a value"};
    QTest::newRow("plus sign")
        << QStringList{} << QString() << QStringList{"StickDeadband=+4"}
        << QStringList{"'+4' is not a value"};
    QTest::newRow("negative zero")
        << QStringList{} << QString() << QStringList{"TorqueDirection=-0"}
        << QStringList{"'-0' is not a value"};
}

void ParameterCommandsTest::setRefusesWhatTheWindowRefuses()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QString, state);
    QFETCH(QStringList, assignments);
    QFETCH(QStringList, errorTexts);

    PrivateRuntimeDir stateDir;
    const std::string statePath = state.isEmpty()
        ? stateDir.path() + "/state"
        : stateFileWith(stateDir, state.toUtf8().constData());
    const QStringList stateArguments{"--state", QString::fromStdString(statePath)};
    SimulatorProcess sim(stdArguments(simArguments + stateArguments));
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QByteArray stored = fileContents(statePath);
    QVERIFY(!stored.isEmpty());

    const Run run = zorvik(QStringList{"set", QString::fromStdString(sim.portName())}
                           + assignments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    for (const QString& text : errorTexts)
        QVERIFY2(run.err.contains(text), qPrintable(run.err));
    QVERIFY2(run.err.contains("nothing written"), qPrintable(run.err));
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4), QStringList());
    QCOMPARE(fileContents(statePath), stored);
}

// The geometry's seven entries go in one request, with what is not given
// kept from the device; reading back shows the geometry asked for.
void ParameterCommandsTest::setWritesTheSwashGeometryAsAWhole_data()
{
    QTest::addColumn<QStringList>("assignments");
    QTest::addColumn<QVariantMap>("expected");

    const auto geometry = [](QList<int> travels, int mixerMode, QList<int> angles) {
        QVariantMap values;
        for (int servo = 0; servo < 3; ++servo) {
            values[QStringLiteral("SwashServo%1Travel").arg(servo + 1)] = travels[servo];
            values[QStringLiteral("SwashServo%1Angle").arg(servo + 1)] = angles[servo];
        }
        values[QStringLiteral("SwashMixerMode")] = mixerMode;
        return values;
    };
    // The factory geometry: 120 degrees at phase 0.
    QTest::newRow("140 (1=1) turned by -30")
        << QStringList{"SwashGeometry=140-1:1", "SwashPhase=-30"}
        << geometry({1000, 1414, 1414}, 7, {330, 105, 195});
    QTest::newRow("the list's text, phase kept")
        << QStringList{"SwashGeometry=125 °"} << geometry({1000, 1000, 1000}, 7, {0, 125, 235});
    QTest::newRow("mechanic, phase kept")
        << QStringList{"SwashGeometry=mechanic"} << geometry({1000, 1000, 0}, 4, {0, 90, 270});
    QTest::newRow("phase alone, geometry kept")
        << QStringList{"SwashPhase=45"} << geometry({1000, 1000, 1000}, 7, {45, 165, 285});
}

void ParameterCommandsTest::setWritesTheSwashGeometryAsAWhole()
{
    QFETCH(QStringList, assignments);
    QFETCH(QVariantMap, expected);

    SimulatorProcess sim;
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const QString port = QString::fromStdString(sim.portName());
    const Run set = zorvik(QStringList{"set", port} + assignments);
    QCOMPARE(set.exitCode, 0);
    QVERIFY2(set.out.contains("Settings successfully stored"), set.out.constData());
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4).size(), 1);

    const Run read = zorvik({"params", port, "--json"});
    QCOMPARE(read.exitCode, 0);
    const QJsonArray parameters = QJsonDocument::fromJson(read.out).array();
    for (auto entry = expected.cbegin(); entry != expected.cend(); ++entry)
        QCOMPARE(parameterByName(parameters, entry.key())["value"].toInt(), entry->toInt());
}

// Each way a connection can fail has its own message, the connect
// sequence's reason, and its exit code; no parameter is read or written.
void ParameterCommandsTest::connectOutcomesAreNamed_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<bool>("portHeldElsewhere");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("outcome");

    using Outcome = DeviceConnection::Outcome;
    QTest::newRow("adapter without echo")
        << QStringList{"--no-echo"} << false << 3 << int(Outcome::NoEcho);
    QTest::newRow("port held by another program")
        << QStringList{} << true << 3 << int(Outcome::PortInUse);
    QTest::newRow("nothing behind the adapter")
        << QStringList{"--no-answer"} << false << 2 << int(Outcome::NoDevice);
    QTest::newRow("recovery mode")
        << QStringList{"--recovery", "0x81"} << false << 2 << int(Outcome::Recovery);
    QTest::newRow("wrong hardware")
        << QStringList{"--hardware", "0x0072"} << false << 2 << int(Outcome::WrongHardware);
    QTest::newRow("wrong application")
        << QStringList{"--app-version", "3.0.9"} << false << 2 << int(Outcome::WrongApplication);
    // Without the token the handshake cannot be answered right.
    QTest::newRow("handshake refused")
        << QStringList{"--info-24"} << false << 2 << int(Outcome::HandshakeRefused);
}

void ParameterCommandsTest::connectOutcomesAreNamed()
{
    QFETCH(QStringList, simArguments);
    QFETCH(bool, portHeldElsewhere);
    QFETCH(int, exitCode);
    QFETCH(int, outcome);

    SimulatorProcess sim(stdArguments(simArguments));
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    ZORVI::Control holder;
    if (portHeldElsewhere)
        QCOMPARE(DeviceConnection::openPort(holder, sim.portName().c_str()),
                 DeviceConnection::Outcome::Found);

    const Run run = zorvik({"set", QString::fromStdString(sim.portName()), "StickDeadband=3"});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(run.out.isEmpty());
    const QString reason =
        QString::fromUtf8(DeviceConnection::reason(DeviceConnection::Outcome(outcome)));
    QVERIFY(!reason.isEmpty());
    QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    QVERIFY2(run.err.contains(QString::fromStdString(sim.portName())), qPrintable(run.err));
    // Command 2 also asks the boot loader, so the parameters' values tell.
    QVERIFY(SimulatorLog::requestPayloads(sim, 3).isEmpty());
    QVERIFY(SimulatorLog::requestPayloads(sim, 4).isEmpty());
}

void ParameterCommandsTest::quietDeviceEndsEveryCommandAtOnce_data()
{
    QTest::addColumn<QStringList>("command"); // %1: the port, %2: a settings file
    QTest::newRow("params") << QStringList{"params", "%1"};
    QTest::newRow("set") << QStringList{"set", "%1", "StickDeadband=3"};
    QTest::newRow("save") << QStringList{"save", "%1", "%2"};
    QTest::newRow("diff") << QStringList{"diff", "%1", "%2"};
    QTest::newRow("load") << QStringList{"load", "%1", "%2", "--yes"};
    QTest::newRow("reset") << QStringList{"reset", "%1", "--yes"};
}

// The battery pulled while the adapter stays plugged in: the adapter echoes,
// the device falls quiet while its settings are read. Every command ends at
// the first unanswered request, within about one request's time-out (the
// answer's 2.5 s), says so and writes nothing; nothing is asked again.
void ParameterCommandsTest::quietDeviceEndsEveryCommandAtOnce()
{
    QFETCH(QStringList, command);
    PrivateRuntimeDir folder;
    const QString file = QString::fromStdString(folder.path() + "/setup.zset");
    {
        SimulatorProcess sim;
        QVERIFY2(sim.isRunning(), sim.error().c_str());
        QCOMPARE(zorvik({"save", QString::fromStdString(sim.portName()), file}).exitCode, 0);
    }
    // Device information, handshake and five descriptor requests answered.
    const int answered = 7;
    SimulatorProcess sim({"--device-silent-after", std::to_string(answered)});
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    QStringList arguments;
    for (const QString& argument : command)
        arguments.append(QString(argument)
                             .replace(QStringLiteral("%1"), QString::fromStdString(sim.portName()))
                             .replace(QStringLiteral("%2"), file));
    QElapsedTimer elapsed;
    elapsed.start();
    const Run run = zorvik(arguments);

    QCOMPARE(run.exitCode, 2);
    // One request's time-out and the program's start; the device took 58 s
    // and more when requests were asked again.
    QVERIFY2(elapsed.elapsed() < 7000, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY2(run.err.contains("stopped answering while its settings were read"), qPrintable(run.err));
    QVERIFY2(run.err.contains("The device did not answer"), qPrintable(run.err));
    QCOMPARE(SimulatorLog::requestCount(sim), answered + 1);
    QVERIFY(SimulatorLog::requestPayloads(sim, 4).isEmpty());
}

QTEST_GUILESS_MAIN(ParameterCommandsTest)
#include "ParameterCommandsTest.moc"
