// The simulator's command line.

#include "SimulatorOptions.h"

#include <gtest/gtest.h>

namespace {

using ZORVI::Simulator::SimulatorOptions;

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
                                       "--refuse-record", "4", "--restart-delay", "50"});
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
        {"--mode-target", "2"},
        {"--refuse-record", "0"},
        {"--paced=1"},
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
          "--update-data-version", "--restart-delay", "--watch-pid"}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
        SimulatorOptions options;
        std::string error;
        // Every name in the help is one the parser knows.
        SimulatorOptions::parse({std::string(name).substr(0, std::string(name).find(' '))},
                                options, error);
        EXPECT_EQ(error.find("unknown option"), std::string::npos) << name;
    }
}

} // namespace
