// `zorvik params` and `zorvik set` against the device simulator: what they
// report, and what reaches the device.

#include "ParameterIds.h"
#include "PrivateRuntimeDir.h"
#include "SimulatorLog.h"
#include "SimulatorProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <cstdio>

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

} // namespace

class ParameterCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void paramsListsEveryParameterAsJson();
    void paramsTableNamesEveryParameter();
    void paramsRefusesWrongFirmware();
    void setWritesAcceptedValuesInOneRequest_data();
    void setWritesAcceptedValuesInOneRequest();
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
    QTest::newRow("one refused") << QStringList{}
                                 << QStringList{"StickDeadband=26", "TailAsymmetry=-5"} << 1
                                 << QStringList{"810064fffb"}
                                 << "StickDeadband=26 refused: allowed are 0 to 25";
    QTest::newRow("only refused") << QStringList{} << QStringList{"TailAsymmetry=-101"} << 1
                                  << QStringList{}
                                  << "TailAsymmetry=-101 refused: allowed are -100 to 100";
    QTest::newRow("device's own value") << QStringList{} << QStringList{"StickDeadband=2"} << 0
                                        << QStringList{} << QString();
    QTest::newRow("write refused by device")
        << QStringList{"--refuse-writes"} << QStringList{"StickDeadband=3"} << 2
        << QStringList{"8100310003"} << "refused the write";
    QTest::newRow("unknown name") << QStringList{} << QStringList{"Stickdeadband=3"} << 1
                                  << QStringList{} << "unknown parameter 'Stickdeadband'";
}

void ParameterCommandsTest::setWritesAcceptedValuesInOneRequest()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, assignments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, writeRequests);
    QFETCH(QString, errorText);

    std::vector<std::string> arguments;
    for (const QString& argument : simArguments)
        arguments.push_back(argument.toStdString());
    SimulatorProcess sim(arguments);
    QVERIFY2(sim.isRunning(), sim.error().c_str());
    const Run run = zorvik(QStringList{"set", QString::fromStdString(sim.portName())}
                           + assignments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(SimulatorLog::requestPayloads(sim, 4), writeRequests);
    if (!errorText.isEmpty())
        QVERIFY2(run.err.contains(errorText), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(ParameterCommandsTest)
#include "ParameterCommandsTest.moc"
