#include "SettingsFile.h"

#include "ParameterIds.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using ZORVI::SettingsFile;
namespace Ids = ZORVI::EEPROM;

namespace {

ZORVI::DeviceInfo deviceInfo()
{
    ZORVI::DeviceInfo info;
    const uint8_t bytes[ZORVI::DeviceInfo::SIZE] = {
        0x00, 0x01, 0x00, 0x02,                         // data 1.2
        0x00, 0x03, 0x00, 0x01, 0x00, 0x07,             // application 3.1.7
        0x00, 0x82,                                     // hardware 8.2
        0x9E, 0xAE, 0x2C, 0x04, 0x2C, 0x25, 0x22, 0xFA, // serial
        0xDB, 0x8D, 0xBE, 0x7F, 0x12, 0x34};
    std::copy(std::begin(bytes), std::end(bytes), info.bytes.begin());
    return info;
}

SettingsFile parsed(const std::string& text)
{
    SettingsFile file;
    SettingsFile::Error error;
    EXPECT_TRUE(SettingsFile::parse(text, &file, &error)) << error.text();
    return file;
}

} // namespace

TEST(SettingsFile, WrittenTextNamesTheDeviceAndReadsBackToTheSameSettings)
{
    const std::vector<SettingsFile::Setting> settings = {
        {Ids::SwashServoFrequencyID, 2}, {Ids::TorqueDirection, -1}, {Ids::TailAsymmetry, 0}};
    const SettingsFile saved(deviceInfo(), settings, "2026-12-10 14:03");

    const std::string text = saved.text();
    const std::string serial = deviceInfo().serialLabelText();
    EXPECT_EQ(text, "# ZORVIK settings\n"
                    "# hardware 8.2, application 3.1.7, data 1.2\n"
                    "# serial " + serial + "\n"
                    "# saved 2026-12-10 14:03\n"
                    "SwashServoFrequencyID = 2\n"
                    "TorqueDirection = -1\n"
                    "TailAsymmetry = 0\n");

    const SettingsFile read = parsed(text);
    EXPECT_EQ(read.settings(), settings);
    const SettingsFile::Origin& origin = read.origin();
    EXPECT_TRUE(origin.hasHardware);
    EXPECT_EQ(origin.hardwareMajor, 8);
    EXPECT_EQ(origin.hardwareMinor, 2);
    EXPECT_EQ(origin.applicationVersion, "3.1.7");
    EXPECT_TRUE(origin.hasData);
    EXPECT_EQ(origin.dataMajor, 1);
    EXPECT_EQ(origin.dataMinor, 2);
    EXPECT_EQ(origin.serial, serial);
    EXPECT_EQ(origin.saved, "2026-12-10 14:03");
}

TEST(SettingsFile, HandWrittenFilesMayUseBlanksCommentsWindowsLineEndsAndAByteOrderMark)
{
    const SettingsFile file = parsed("\xEF\xBB\xBF# my Logo 600 setup\r\n"
                                     "\r\n"
                                     "  PitchBoost=+3  \r\n"
                                     "\tRevoMixPitch =\t-12\r\n"
                                     "# hardware named wrongly: ignored as a note\n");
    const std::vector<SettingsFile::Setting> expected = {{Ids::PitchBoost, 3},
                                                         {Ids::RevoMixPitch, -12}};
    EXPECT_EQ(file.settings(), expected);
    EXPECT_FALSE(file.origin().hasHardware);
    EXPECT_FALSE(file.origin().hasData);
    EXPECT_TRUE(file.origin().serial.empty());
}

TEST(SettingsFile, ADeviceLineEditedByHandStillNamesWhatItCan)
{
    const SettingsFile file = parsed("# hardware 8.1, data 1.3\nPitchBoost = 3\n");
    const SettingsFile::Origin& origin = file.origin();
    EXPECT_TRUE(origin.hasHardware);
    EXPECT_EQ(origin.hardwareMajor, 8);
    EXPECT_EQ(origin.hardwareMinor, 1);
    EXPECT_TRUE(origin.applicationVersion.empty());
    EXPECT_TRUE(origin.hasData);
    EXPECT_EQ(origin.dataMajor, 1);
    EXPECT_EQ(origin.dataMinor, 3);
}

struct InvalidFile {
    const char* name;
    const char* text;
    int line;
    const char* message;
};

class SettingsFileInvalid : public testing::TestWithParam<InvalidFile> {};

TEST_P(SettingsFileInvalid, IsRefusedWholeWithTheLineAndTheReason)
{
    const InvalidFile& invalid = GetParam();
    const SettingsFile untouched(deviceInfo(), {{Ids::PitchBoost, 1}}, "then");
    SettingsFile file = untouched;
    SettingsFile::Error error;

    EXPECT_FALSE(SettingsFile::parse(invalid.text, &file, &error));
    EXPECT_EQ(error.line, invalid.line);
    EXPECT_EQ(error.text(), invalid.message);
    EXPECT_EQ(file.text(), untouched.text()) << "an invalid file changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileInvalid,
    testing::Values(
        InvalidFile{"NoEqualsSign", "PitchBoost = 3\nCyclicBoost 4\n", 2,
                    "line 2: expected \"Name = value\", found \"CyclicBoost 4\"."},
        InvalidFile{"UnknownName", "# c\nPitchBoots = 3\n", 2,
                    "line 2: \"PitchBoots\" is not a setting of this device."},
        InvalidFile{"NameInOtherCase", "pitchboost = 3\n", 1,
                    "line 1: \"pitchboost\" is not a setting of this device."},
        InvalidFile{"EmptyName", " = 3\n", 1, "line 1: \"\" is not a setting of this device."},
        InvalidFile{"GivenTwice", "PitchBoost = 3\n\nPitchBoost = 3\n", 3,
                    "line 3: PitchBoost is given twice (also on line 1)."},
        InvalidFile{"Word", "PitchBoost = high\n", 1,
                    "line 1: the value of PitchBoost is not a whole number: \"high\"."},
        InvalidFile{"Fraction", "PitchBoost = 2.5\n", 1,
                    "line 1: the value of PitchBoost is not a whole number: \"2.5\"."},
        InvalidFile{"Hexadecimal", "PitchBoost = 0x10\n", 1,
                    "line 1: the value of PitchBoost is not a whole number: \"0x10\"."},
        InvalidFile{"Missing", "PitchBoost =\n", 1,
                    "line 1: the value of PitchBoost is not a whole number: \"\"."},
        InvalidFile{"TwoValues", "PitchBoost = 1 2\n", 1,
                    "line 1: the value of PitchBoost is not a whole number: \"1 2\"."},
        InvalidFile{"BeyondAnyInteger", "PitchBoost = 99999999999999999999\n", 1,
                    "line 1: the value of PitchBoost is not a whole number: "
                    "\"99999999999999999999\"."},
        InvalidFile{"OnlyComments", "# ZORVIK settings\n\n", 0, "The file holds no settings."},
        InvalidFile{"Empty", "", 0, "The file holds no settings."}),
    [](const testing::TestParamInfo<InvalidFile>& info) { return info.param.name; });

TEST(SettingsFile, WriteReplacesAnExistingFileWholeAndReadFindsItAgain)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string path = folder.file("logo.zset");
    folder.write("logo.zset", "old content\n");
    const SettingsFile saved(deviceInfo(), {{Ids::HeadingLockGain, 42}}, "now");

    std::string writeError;
    ASSERT_TRUE(saved.write(path, &writeError)) << writeError;

    SettingsFile read;
    SettingsFile::Error error;
    ASSERT_TRUE(SettingsFile::read(path, &read, &error)) << error.text();
    EXPECT_EQ(read.text(), saved.text());
    EXPECT_FALSE(std::ifstream(path + ".part").good()) << "no temporary file is left";
}

TEST(SettingsFile, ReadRefusesWhatIsNoSettingsFileBeforeParsing)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string huge(SettingsFile::MAX_FILE_SIZE + 1, '#');
    const std::string binary("PitchBoost = 1\n\0\x01", 17);
    const struct {
        std::string name;
        std::string content;
        std::string message;
    } cases[] = {
        {"huge.zset", huge, "is too large to be a settings file."},
        {"binary.zset", binary, "is not a text file."},
    };
    for (const auto& c : cases) {
        const std::string path = folder.write(c.name, c.content);
        SettingsFile file;
        SettingsFile::Error error;
        EXPECT_FALSE(SettingsFile::read(path, &file, &error)) << c.name;
        EXPECT_EQ(error.line, 0);
        EXPECT_EQ(error.message, path + " " + c.message);
    }
    SettingsFile file;
    SettingsFile::Error error;
    EXPECT_FALSE(SettingsFile::read(folder.file("missing.zset"), &file, &error));
    EXPECT_NE(error.message.find("Cannot read " + folder.file("missing.zset")), std::string::npos);
}

TEST(SettingsFile, WriteIntoAMissingFolderFailsAndSaysWhere)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string path = folder.file("no-such-folder/logo.zset");
    std::string error;
    EXPECT_FALSE(SettingsFile(deviceInfo(), {{Ids::PitchBoost, 1}}, "now").write(path, &error));
    EXPECT_EQ(error.rfind("Cannot write " + path + ".part", 0), 0u) << error;
}
