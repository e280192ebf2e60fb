#include "SettingsFile.h"

#include "ParameterIds.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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
                                     "# the hardware is named nowhere: a note of my own\n");
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
    std::string name;
    std::string text;
    int line;
    std::string message;
};

// A file whose first line is the malformed device line `line`.
InvalidFile malformedOrigin(const std::string& name, const std::string& line,
                            const std::string& expected)
{
    return InvalidFile{name, line + "\nPitchBoost = 3\n", 1,
                       "line 1: the " + expected + ": found \"" + line + "\"."};
}

InvalidFile malformedHardware(const std::string& name, const std::string& line)
{
    return malformedOrigin(name, line,
                           "hardware line is not \"# hardware MAJOR.MINOR, application "
                           "MAJOR.MINOR.PATCH, data MAJOR.MINOR\" (numbers up to 65535; "
                           "application and data may be left out)");
}

InvalidFile malformedSerial(const std::string& name, const std::string& line)
{
    return malformedOrigin(name, line,
                           "serial line is not \"# serial\" and twelve pairs of hexadecimal "
                           "digits");
}

InvalidFile malformedSaved(const std::string& name, const std::string& line)
{
    return malformedOrigin(name, line, "saved line is not \"# saved YYYY-MM-DD HH:MM\"");
}

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
                    "line 1: the value of PitchBoost is out of range: \"99999999999999999999\"; "
                    "a parameter holds -32768 to 65535."},
        InvalidFile{"AboveSixteenBits", "PitchBoost = 65536\n", 1,
                    "line 1: the value of PitchBoost is out of range: \"65536\"; a parameter "
                    "holds -32768 to 65535."},
        InvalidFile{"BelowSixteenBits", "PitchBoost = -32769\n", 1,
                    "line 1: the value of PitchBoost is out of range: \"-32769\"; a parameter "
                    "holds -32768 to 65535."},
        InvalidFile{"SignAlone", "PitchBoost = -\n", 1,
                    "line 1: the value of PitchBoost is not a whole number: \"-\"."},
        malformedHardware("HardwareMajorAlone", "# hardware 9"),
        malformedHardware("HardwareMinorWithLetter", "# hardware 9.1x"),
        malformedHardware("HardwareWithThreeNumbers", "# hardware 9.1.0"),
        malformedHardware("HardwareBeyondSixteenBits",
                          "# hardware 65544.1, application 3.1.7, data 1.2"),
        malformedHardware("ApplicationWithTwoNumbers", "# hardware 8.2, application 3.1"),
        malformedHardware("ApplicationWithLetters", "# hardware 8.2, application 3.1.7-beta"),
        malformedHardware("DataWithOneNumber", "# hardware 8.2, data 1"),
        malformedHardware("PartsOutOfOrder", "# hardware 8.2, data 1.2, application 3.1.7"),
        malformedHardware("PartGivenTwice", "# hardware 8.2, data 1.2, data 1.2"),
        malformedHardware("UnknownPart", "# hardware 8.2, firmware 3.1.7"),
        malformedHardware("TrailingComma", "# hardware 8.2,"),
        malformedHardware("HardwareWithoutNumbers", "# hardware of my Logo 600"),
        InvalidFile{"SecondHardwareLine", "# hardware 8.2\nPitchBoost = 3\n# hardware 9.2\n", 3,
                    "line 3: the hardware line is given twice (also on line 1)."},
        malformedSerial("SerialTooShort", "# serial 9E AE 2C"),
        malformedSerial("SerialNotHexadecimal", "# serial 9E AE 2C 04 2C 25 22 FA DB 8D BE 7G"),
        malformedSerial("SerialWithEscapeSequence",
                        "# serial 9E AE 2C 04 2C 25 22 FA DB 8D BE 7F\x1b[2J"),
        malformedSaved("SavedWithoutTime", "# saved yesterday"),
        malformedSaved("SavedInMonthThirteen", "# saved 2026-13-10 14:03"),
        InvalidFile{"OldMacLineEnds", "# ZORVIK settings\rPitchBoost = 3\rRevoMixPitch = 1\r", 0,
                    "The file has old-Mac line ends (CR alone). Save it with LF or CR LF line "
                    "ends."},
        InvalidFile{"OnlyComments", "# ZORVIK settings\n\n", 0, "The file holds no settings."},
        InvalidFile{"Empty", "", 0, "The file holds no settings."}),
    [](const testing::TestParamInfo<InvalidFile>& info) { return info.param.name; });

TEST(SettingsFile, WriteReplacesAnExistingFileWholeAndLeavesNoTemporaryFile)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string path = folder.file("logo.zset");
    folder.write("logo.zset", "old content\n");
    const SettingsFile saved(deviceInfo(), {{Ids::HeadingLockGain, 42}}, "2026-12-10 14:03");

    std::string writeError;
    ASSERT_TRUE(saved.write(path, &writeError)) << writeError;

    SettingsFile read;
    SettingsFile::Error error;
    ASSERT_TRUE(SettingsFile::read(path, &read, &error)) << error.text();
    EXPECT_EQ(read.text(), saved.text());
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"logo.zset"}) << "no temporary file is left";
#ifndef _WIN32
    const mode_t mask = umask(0);
    umask(mask);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u & ~mask) << "readable as any file the user makes";
#endif
}

#ifndef _WIN32
// In a folder that others may write to, another user can plant a link
// under any name the save might use: the save makes a new file of its own
// and never writes through a link.
TEST(SettingsFile, WriteLeavesALinkPlantedAtTheTemporaryNameAndItsTargetAlone)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string precious = folder.write("precious", "only root may write this\n");
    const std::string path = folder.file("logo.zset");
    ASSERT_EQ(symlink(precious.c_str(), (path + ".part").c_str()), 0);

    std::string error;
    ASSERT_TRUE(SettingsFile(deviceInfo(), {{Ids::PitchBoost, 1}}, "2026-12-10 14:03")
                    .write(path, &error))
        << error;

    std::ifstream in(precious);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "only root may write this\n");
    EXPECT_TRUE(std::filesystem::is_symlink(path + ".part"));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path)));
}

struct RefusedTarget {
    std::string name;
    std::function<bool(const TempFolder&, const std::string&)> plant; // at the target path
    std::string reason;
};

class SettingsFileRefusedTarget : public testing::TestWithParam<RefusedTarget> {};

TEST_P(SettingsFileRefusedTarget, IsNotWrittenAndTheReasonIsGiven)
{
    const RefusedTarget& target = GetParam();
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string precious = folder.write("precious", "keep\n");
    const std::string path = folder.file("logo.zset");
    ASSERT_TRUE(target.plant(folder, path));

    std::string error;
    EXPECT_FALSE(SettingsFile(deviceInfo(), {{Ids::PitchBoost, 1}}, "2026-12-10 14:03")
                     .write(path, &error));
    EXPECT_EQ(error.rfind(target.reason, 0), 0u) << error;
    EXPECT_EQ(error.find(path), std::string::npos) << "the caller names the path: " << error;
    std::ifstream in(precious);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
              "keep\n");
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        entries += entry.path() != path;
    EXPECT_EQ(entries, 1u) << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileRefusedTarget,
    testing::Values(
        RefusedTarget{"LinkToAFile",
                      [](const TempFolder& folder, const std::string& path) {
                          return symlink(folder.file("precious").c_str(), path.c_str()) == 0;
                      },
                      "It is a symbolic link."},
        RefusedTarget{"LinkToNothing",
                      [](const TempFolder& folder, const std::string& path) {
                          return symlink(folder.file("nowhere").c_str(), path.c_str()) == 0;
                      },
                      "It is a symbolic link."},
        RefusedTarget{"Folder",
                      [](const TempFolder&, const std::string& path) {
                          return mkdir(path.c_str(), 0755) == 0;
                      },
                      "It is a folder."},
        RefusedTarget{"Fifo",
                      [](const TempFolder&, const std::string& path) {
                          return mkfifo(path.c_str(), 0644) == 0;
                      },
                      "It is not a regular file"}),
    [](const testing::TestParamInfo<RefusedTarget>& info) { return info.param.name; });
#endif

struct UnreadablePath {
    std::string name;
    // Makes what stands at the path; the path itself when it is given.
    std::function<std::string(const TempFolder&)> make;
    std::string message;
};

class SettingsFileUnreadable : public testing::TestWithParam<UnreadablePath> {};

// Refused at once, without waiting for a writer or reading a device, and
// said what it is instead of a settings file.
TEST_P(SettingsFileUnreadable, IsRefusedAtOnceWithWhatItIs)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string path = GetParam().make(folder);
    ASSERT_FALSE(path.empty());
    SettingsFile file;
    SettingsFile::Error error;
    EXPECT_FALSE(SettingsFile::read(path, &file, &error));
    EXPECT_EQ(error.line, 0);
    EXPECT_EQ(error.text(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileUnreadable,
    testing::Values(
        UnreadablePath{"Missing",
                       [](const TempFolder& folder) { return folder.file("none.zset"); },
                       "There is no such file. Check its name and folder."},
        UnreadablePath{"Folder",
                       [](const TempFolder& folder) { return folder.path().string(); },
                       "It is a folder, not a file. Name the settings file (*.zset) in it."},
#ifndef _WIN32
        UnreadablePath{"Fifo",
                       [](const TempFolder& folder) {
                           const std::string path = folder.file("pipe.zset");
                           return mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
                       },
                       "It is not a regular file (it is a pipe or a device). Name the settings "
                       "file (*.zset) itself."},
        UnreadablePath{"Device", [](const TempFolder&) { return std::string("/dev/zero"); },
                       "It is not a regular file (it is a pipe or a device). Name the settings "
                       "file (*.zset) itself."},
#endif
        UnreadablePath{"Huge",
                       [](const TempFolder& folder) {
                           return folder.write("huge.zset",
                                               std::string(SettingsFile::MAX_FILE_SIZE + 1, '#'));
                       },
                       "It is too large to be a settings file."},
        UnreadablePath{"Binary",
                       [](const TempFolder& folder) {
                           return folder.write("binary.zset",
                                               std::string("PitchBoost = 1\n\0\x01", 17));
                       },
                       "It is not a text file."},
        UnreadablePath{"OldMacLineEnds",
                       [](const TempFolder& folder) {
                           return folder.write("mac.zset", "# ZORVIK settings\r"
                                                           "# hardware 8.2\r"
                                                           "PitchBoost = 3\r");
                       },
                       "The file has old-Mac line ends (CR alone). Save it with LF or CR LF "
                       "line ends."}),
    [](const testing::TestParamInfo<UnreadablePath>& info) { return info.param.name; });

TEST(SettingsFile, WriteIntoAMissingFolderFailsAndSaysWhy)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string path = folder.file("no-such-folder/logo.zset");
    std::string error;
    EXPECT_FALSE(SettingsFile(deviceInfo(), {{Ids::PitchBoost, 1}}, "now").write(path, &error));
    EXPECT_EQ(error.rfind("No new file can be made in its folder: ", 0), 0u) << error;
}
