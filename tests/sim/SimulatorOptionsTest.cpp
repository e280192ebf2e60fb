// The simulator's command line.

#include "SimulatorOptions.h"

#include "ParameterTable.h"
#include "SimulatorSetup.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using ZORVI::Simulator::ParameterTable;
using ZORVI::Simulator::SimulatorOptions;
using ZORVI::Simulator::SimulatorSetup;

SimulatorOptions parsed(const std::vector<std::string>& arguments)
{
    SimulatorOptions options;
    std::string error;
    EXPECT_TRUE(SimulatorOptions::parse(arguments, options, error)) << error;
    return options;
}

TEST(SimulatorOptions, ValuesInBothSpellings)
{
    const SimulatorOptions o = parsed({"--name=ttyX1", "--app-version", "3.2.0",
                                       "--data-version=1.4", "--hardware", "0x0091",
                                       "--token", "0xbeef", "--recovery", "0x81",
                                       "--silent-after", "0", "--mode-target", "3",
                                       "--refuse-record", "4", "--restart-delay", "50",
                                       "--device-silent-after=13", "--lose-write-answers"});
    EXPECT_EQ(o.portName, "ttyX1");
    EXPECT_EQ(o.applicationVersion.minor, 2);
    EXPECT_EQ(o.dataVersion.minor, 4);
    EXPECT_EQ(o.hardwareWord, 0x0091);
    EXPECT_EQ(o.token, 0xBEEF);
    EXPECT_EQ(o.recoveryHardware, uint8_t(0x81));
    EXPECT_EQ(o.silentAfter, 0u);
    EXPECT_EQ(o.modeTarget, 3);
    EXPECT_EQ(o.refuseRecord, 4u);
    EXPECT_EQ(o.restartDelayMs, 50u);
    EXPECT_EQ(o.deviceSilentAfter, 13u);
    EXPECT_TRUE(o.loseWriteAnswers);
}

TEST(SimulatorOptions, TokenIsHexadecimalAndSerialIsTwelveBytes)
{
    EXPECT_EQ(parsed({"--token", "1234"}).token, 0x1234);
    const SimulatorOptions o = parsed({"--serial", "01 02 03 04 05 06 07 08 09 0a 0b 0c"});
    EXPECT_EQ(o.serialOnWire[0], 0x01);
    EXPECT_EQ(o.serialOnWire[11], 0x0C);
}

TEST(SimulatorOptions, LimitsReplaceDescriptors)
{
    const SimulatorOptions o =
        parsed({"--limits", "0x1064=1000:2000:1520", "--limits=0x1178=-100:100:0",
                "--limits", "0x1050=0:65535:65535"});
    ASSERT_EQ(o.limits.size(), 3u);
    EXPECT_EQ(o.limits[0].id, 0x1064);
    EXPECT_EQ(o.limits[0].minimum, 1000);
    EXPECT_EQ(o.limits[0].maximum, 2000);
    EXPECT_EQ(o.limits[0].defaultValue, 1520);
    EXPECT_EQ(o.limits[1].minimum, -100);
    EXPECT_EQ(o.limits[2].maximum, 65535);

    SimulatorOptions refused;
    std::string error;
    for (const char* bad : {"0x1064=2000:1000:1500", "0x1064=1000:2000:999",
                            "0x1178=-1:40000:0", "0x1064=0:65536:0", "0x1064=1:2",
                            "1064:1:2:1", "0x1064=-32769:0:0"})
        EXPECT_FALSE(SimulatorOptions::parse({"--limits", bad}, refused, error)) << bad;
}

TEST(SimulatorOptions, AnswerDelayAndTheShapeOfTheParameterTable)
{
    const SimulatorOptions o =
        parsed({"--answer-delay", "300", "--without", "0x1180", "--without=4100", "--address",
                "0x1178=0x0200", "--address=4100=16"});
    EXPECT_EQ(o.answerDelayMs, 300u);
    EXPECT_EQ(o.without, (std::vector<uint16_t>{0x1180, 0x1004}));
    ASSERT_EQ(o.placements.size(), 2u);
    EXPECT_EQ(o.placements[0].id, 0x1178);
    EXPECT_EQ(o.placements[0].address, 0x0200);
    EXPECT_EQ(o.placements[1].id, 0x1004);
    EXPECT_EQ(o.placements[1].address, 0x0010);
    EXPECT_EQ(parsed({}).answerDelayMs, 0u);
}

TEST(SimulatorOptions, RefusesWhatItCannotUse)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--name"},
        {"--name", "a/b"},
        {"--app-version", "3.1"},
        {"--app-version", "3.1.x"},
        {"--data-version", "1.2.3"},
        {"--hardware", "0x10000"},
        {"--serial", "0102"},
        {"--token", "12345"},
        {"--info", "abc"},
        {"--recovery", "256"},
        {"--silent-after", "-1"},
        {"--device-silent-after", "x"},
        {"--lose-write-answers=1"},
        {"--mode-target", "2"},
        {"--refuse-record", "0"},
        {"--paced=1"},
        {"--answer-delay", "-1"},
        {"--answer-delay", "60001"},
        {"--answer-delay", "0.5"},
        {"--without", "0x10000"},
        {"--without", "TailAsymmetry"},
        {"--address", "0x1180"},
        {"--address", "0x1180="},
        {"--address", "=0x0200"},
        {"--address", "0x1180=0x10000"},
        {"--address", "0x1180=0x0200=1"},
    };
    for (const auto& arguments : bad) {
        SimulatorOptions options;
        std::string error;
        EXPECT_FALSE(SimulatorOptions::parse(arguments, options, error)) << arguments[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimulatorOptions, HelpNamesEveryOption)
{
    const std::string help = SimulatorOptions::usage();
    for (const char* name :
         {"--name", "--state", "--log", "--paced", "--help", "--version", "--app-version",
          "--data-version",
          "--hardware", "--serial", "--token", "--info-24", "--info ", "--recovery", "--no-echo",
          "--corrupt-echo", "--no-answer", "--bad-crc", "--refuse-writes", "--alter-writes", "--silent-after",
          "--mode-target", "--mode-only-target", "--refuse-record", "--drop-record",
          "--silent-during-transfer", "--save-image", "--update-app-version",
          "--update-data-version", "--restart-delay", "--watch-pid", "--limits", "--without",
          "--address", "--answer-delay", "--device-silent-after", "--lose-write-answers"}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
        SimulatorOptions options;
        std::string error;
        // Every name in the help is one the parser knows.
        SimulatorOptions::parse({std::string(name).substr(0, std::string(name).find(' '))},
                                options, error);
        EXPECT_EQ(error.find("unknown option"), std::string::npos) << name;
    }
}

// ---- tables the device cannot have -------------------------------------------

struct ShapeCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string message; // empty: the table is taken
};

void PrintTo(const ShapeCase& c, std::ostream* out)
{
    *out << c.name;
}

class ParameterTableShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ParameterTableShape, IsTakenOrRefusedWithTheReason)
{
    const ShapeCase& c = GetParam();
    const SimulatorOptions options = parsed(c.arguments);
    ParameterTable table;
    std::string error;
    EXPECT_EQ(SimulatorSetup::describeParameters(options, table, error), c.message.empty())
        << error;
    if (!c.message.empty()) {
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        return;
    }
    for (uint16_t id : options.without) {
        EXPECT_TRUE(table.isLeftOut(id)) << id;
        EXPECT_EQ(table.findById(id), nullptr) << id;
    }
    for (const SimulatorOptions::Placement& placement : options.placements) {
        ASSERT_NE(table.findById(placement.id), nullptr) << placement.id;
        EXPECT_EQ(table.findById(placement.id)->address, placement.address) << placement.id;
        EXPECT_EQ(table.findByAddress(placement.address)->id, placement.id) << placement.id;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParameterTableShape,
    ::testing::Values(
        ShapeCase{"LeftOutAndMoved", {"--without", "0x1180", "--address", "0x1178=0x0200"}, ""},
        // Checked once all have moved: two parameters may swap places.
        ShapeCase{"Swapped", {"--address", "0x1000=0x0011", "--address", "0x1004=0x0010"}, ""},
        ShapeCase{"IntoTheWordOfALeftOutOne",
                  {"--without", "0x1000", "--address", "0x1004=0x0010"}, ""},
        ShapeCase{"WithoutAnUnknownId", {"--without", "0x1001"},
                  "--without 0x1001: 0x1001 is not one of the device's parameter IDs (0x1000, "
                  "0x1004, 0x1040"},
        ShapeCase{"UnknownIdMoved", {"--address", "4660=0x0200"},
                  "--address 0x1234=0x0200: 0x1234 is not one of the device's parameter IDs"},
        ShapeCase{"LeftOutIdMoved", {"--without", "0x1180", "--address", "0x1180=0x0200"},
                  "--address 0x1180=0x0200: 0x1180 is left out with --without"},
        ShapeCase{"LeftOutIdLimited", {"--without", "0x1180", "--limits", "0x1180=-50:50:0"},
                  "--limits 0x1180: 0x1180 is left out with --without"},
        ShapeCase{"UnknownIdLimited", {"--limits", "0x1001=0:5:1"},
                  "--limits 0x1001: 0x1001 is not one of the device's parameter IDs"},
        ShapeCase{"BeyondTheMemory", {"--address", "0x1180=0x0400"},
                  "--address 0x1180=0x0400: the address lies beyond the parameter memory (0x0000 "
                  "to 0x03FF)"},
        ShapeCase{"OntoAnotherParameter", {"--address", "0x1180=0x0010"},
                  "--address 0x1180=0x0010: TailAsymmetry (0x1180) and SwashServoFrequencyID "
                  "(0x1000) would both lie there"},
        ShapeCase{"TwoMovedOntoOneWord",
                  {"--address", "0x1180=0x0200", "--address", "0x1178=0x0200"},
                  "--address 0x1180=0x0200: TailAsymmetry (0x1180) and RevoMixPitch (0x1178) "
                  "would both lie there"}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

} // namespace
