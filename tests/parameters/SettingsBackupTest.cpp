// The settings backups made before each update: where they go, how they are
// named (never twice the same name), and which of them belong to a unit.

#include "SettingsBackup.h"

#include "ParameterIds.h"
#include "ScopedVariable.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using ZORVI::DeviceInfo;
using ZORVI::SettingsBackup;
using ZORVI::SettingsFile;
namespace Ids = ZORVI::EEPROM;
namespace fs = std::filesystem;

namespace {

// The serial bytes as the device sends them; masked they read A4 3F 70 ...
DeviceInfo deviceInfo(uint8_t lastSerialByte = 0x7F, uint16_t applicationPatch = 7)
{
    DeviceInfo info;
    const uint8_t bytes[DeviceInfo::SIZE] = {
        0x00, 0x01, 0x00, 0x02,                                        // data 1.2
        0x00, 0x03, 0x00, 0x01, 0x00, static_cast<uint8_t>(applicationPatch), // 3.1.x
        0x00, 0x82,                                                    // hardware 8.2
        0x9E, 0xAE, 0x2C, 0x04, 0x2C, 0x25, 0x22, 0xFA,                // serial
        0xDB, 0x8D, 0xBE, lastSerialByte, 0x12, 0x34};
    std::copy(std::begin(bytes), std::end(bytes), info.bytes.begin());
    return info;
}

const char* const SERIAL = "A43F70E62B914DE208C3175A";

// 2026-12-10 14:03:27 local time, plus some seconds.
std::time_t localTime(int secondsLater = 0)
{
    std::tm parts{};
    parts.tm_year = 2026 - 1900;
    parts.tm_mon = 11;
    parts.tm_mday = 10;
    parts.tm_hour = 14;
    parts.tm_min = 3;
    parts.tm_sec = 27 + secondsLater;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

SettingsFile settingsOf(const DeviceInfo& device, int frequency)
{
    return SettingsFile(device,
                        {{Ids::SwashServoFrequencyID, frequency}, {Ids::TorqueDirection, -1}},
                        "2026-12-10 14:03");
}

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string nameOf(const std::string& path)
{
    return fs::path(path).filename().string();
}

class SettingsBackupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isReady()); }

    std::string backups() const { return m_folder.file("state") + "/zorvik/backups"; }

    TempFolder m_folder;
    ScopedVariable m_state{"XDG_STATE_HOME", m_folder.file("state")};
};

} // namespace

TEST(SettingsBackupFolder, FollowsTheStateFolderOfTheUpdateRecords)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    ScopedVariable home("HOME", folder.file("home"));
    const struct {
        const char* stateHome;
        std::string expected;
    } cases[] = {
        {"/srv/state", "/srv/state/zorvik/backups"},
        {"", folder.file("home") + "/.local/state/zorvik/backups"},
        // Relative values are to be ignored.
        {"relative/state", folder.file("home") + "/.local/state/zorvik/backups"},
    };
    for (const auto& c : cases) {
        ScopedVariable state("XDG_STATE_HOME", c.stateHome);
        EXPECT_EQ(SettingsBackup::folder(), c.expected) << c.stateHome;
    }
    ScopedVariable noState("XDG_STATE_HOME", "");
    ScopedVariable noHome("HOME", "");
    EXPECT_EQ(SettingsBackup::folder(), "");
}

TEST(SettingsBackupName, NamesTheMaskedSerialTheLocalTimeToTheSecondAndTheFirmware)
{
    EXPECT_EQ(SettingsBackup::serialText(deviceInfo()), SERIAL);
    EXPECT_EQ(SettingsBackup::fileName(deviceInfo(), localTime()),
              std::string(SERIAL) + "-2026-12-10T14-03-27-3.1.7.zset");
    // A second copy at the same second.
    EXPECT_EQ(SettingsBackup::fileName(deviceInfo(), localTime(), 2),
              std::string(SERIAL) + "-2026-12-10T14-03-27-3.1.7-2.zset");
    EXPECT_EQ(SettingsBackup::fileName(deviceInfo(0x7F, 12), localTime(33)),
              std::string(SERIAL) + "-2026-12-10T14-04-00-3.1.12.zset");
}

TEST_F(SettingsBackupTest, SavesASettingsFileInFoldersItMakes)
{
    const SettingsFile file = settingsOf(deviceInfo(), 2);
    std::string path;
    std::string error;
    ASSERT_TRUE(SettingsBackup::save(file, deviceInfo(), localTime(), &path, &error)) << error;
    EXPECT_EQ(path, backups() + "/" + SERIAL + "-2026-12-10T14-03-27-3.1.7.zset");
    EXPECT_EQ(contentOf(path), file.text());
    SettingsFile read;
    SettingsFile::Error readError;
    ASSERT_TRUE(SettingsFile::read(path, &read, &readError)) << readError.text();
    EXPECT_EQ(read.settings(), file.settings());
    // Only the backup itself is left in the folder: no claimed or
    // temporary file beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(backups()), fs::directory_iterator()), 1);
}

TEST_F(SettingsBackupTest, TwoUpdatesWithinOneSecondNeverShareAName)
{
    std::vector<std::string> paths;
    for (int frequency = 1; frequency <= 3; ++frequency) {
        std::string path;
        std::string error;
        ASSERT_TRUE(SettingsBackup::save(settingsOf(deviceInfo(), frequency), deviceInfo(),
                                         localTime(), &path, &error))
            << error;
        paths.push_back(nameOf(path));
    }
    const std::string stem = std::string(SERIAL) + "-2026-12-10T14-03-27-3.1.7";
    EXPECT_EQ(paths, (std::vector<std::string>{stem + ".zset", stem + "-2.zset",
                                               stem + "-3.zset"}));
    // Each kept its own settings.
    const std::vector<SettingsBackup::Listed> listed = SettingsBackup::of(deviceInfo());
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].file.settings()[0].value, 3);
    EXPECT_EQ(listed[2].file.settings()[0].value, 1);
}

TEST_F(SettingsBackupTest, ANameTakenByALinkIsNotWrittenThrough)
{
    fs::create_directories(backups());
    const std::string target = m_folder.write("target", "not to be touched");
    const std::string first =
        backups() + "/" + SettingsBackup::fileName(deviceInfo(), localTime());
    fs::create_symlink(target, first);
    std::string path;
    std::string error;
    ASSERT_TRUE(SettingsBackup::save(settingsOf(deviceInfo(), 2), deviceInfo(), localTime(),
                                     &path, &error))
        << error;
    EXPECT_EQ(nameOf(path), SettingsBackup::fileName(deviceInfo(), localTime(), 2));
    EXPECT_EQ(contentOf(target), "not to be touched");
}

TEST_F(SettingsBackupTest, ListsTheUnitsReadableBackupsNewestFirst)
{
    const DeviceInfo unit = deviceInfo();
    std::string path;
    std::string error;
    // Saved out of order: an older update, the newest (twice in one
    // second), one in between under another firmware.
    ASSERT_TRUE(SettingsBackup::save(settingsOf(unit, 1), unit, localTime(-3600), &path, &error));
    ASSERT_TRUE(SettingsBackup::save(settingsOf(unit, 3), unit, localTime(60), &path, &error));
    ASSERT_TRUE(SettingsBackup::save(settingsOf(unit, 4), unit, localTime(60), &path, &error));
    const DeviceInfo newer = deviceInfo(0x7F, 8);
    ASSERT_TRUE(SettingsBackup::save(settingsOf(newer, 2), newer, localTime(), &path, &error));
    // Another unit's backup.
    const DeviceInfo other = deviceInfo(0x00);
    ASSERT_TRUE(SettingsBackup::save(settingsOf(other, 5), other, localTime(120), &path, &error));
    // Named for the unit but not a backup of it: broken, saved from another
    // unit, not a backup's name.
    m_folder.write("state/zorvik/backups/" + std::string(SERIAL)
                       + "-2026-12-10T15-00-00-3.1.7.zset",
                   "# ZORVIK settings\nNoSuchSetting = 1\n");
    m_folder.write("state/zorvik/backups/" + std::string(SERIAL)
                       + "-2026-12-10T15-00-01-3.1.7.zset",
                   settingsOf(other, 6).text());
    m_folder.write("state/zorvik/backups/" + std::string(SERIAL) + "-copy.zset",
                   settingsOf(unit, 7).text());

    const std::vector<SettingsBackup::Listed> listed = SettingsBackup::of(unit);
    std::vector<std::string> names;
    std::vector<int> values;
    for (const SettingsBackup::Listed& backup : listed) {
        names.push_back(nameOf(backup.path));
        values.push_back(backup.file.settings()[0].value);
    }
    const std::string s = SERIAL;
    EXPECT_EQ(names, (std::vector<std::string>{
                         s + "-2026-12-10T14-04-27-3.1.7-2.zset",
                         s + "-2026-12-10T14-04-27-3.1.7.zset",
                         s + "-2026-12-10T14-03-27-3.1.8.zset",
                         s + "-2026-12-10T13-03-27-3.1.7.zset"}));
    EXPECT_EQ(values, (std::vector<int>{4, 3, 2, 1}));
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed[0].file.origin().applicationVersion, "3.1.7");
    EXPECT_EQ(listed[0].file.origin().saved, "2026-12-10 14:03");
    // By the label's serial as well.
    EXPECT_EQ(SettingsBackup::ofSerial(unit.serialLabelText()).size(), 4u);
    EXPECT_EQ(SettingsBackup::of(other).size(), 1u);
}

TEST_F(SettingsBackupTest, NoFolderListsNothing)
{
    EXPECT_TRUE(SettingsBackup::of(deviceInfo()).empty());
    ScopedVariable noState("XDG_STATE_HOME", "");
    ScopedVariable noHome("HOME", "");
    EXPECT_TRUE(SettingsBackup::of(deviceInfo()).empty());
}

TEST_F(SettingsBackupTest, ABackupThatCannotBeSavedSaysWhy)
{
    std::string path = "unchanged";
    std::string error;
    {
        // The backups folder's place is taken by a file.
        fs::create_directories(m_folder.file("state") + "/zorvik");
        m_folder.write("state/zorvik/backups", "not a folder");
        EXPECT_FALSE(SettingsBackup::save(settingsOf(deviceInfo(), 2), deviceInfo(), localTime(),
                                          &path, &error));
        EXPECT_NE(error.find("The folder " + backups() + " cannot be made: "), std::string::npos)
            << error;
        EXPECT_EQ(path, "unchanged");
    }
    {
        ScopedVariable noState("XDG_STATE_HOME", "");
        ScopedVariable noHome("HOME", "");
        EXPECT_FALSE(SettingsBackup::save(settingsOf(deviceInfo(), 2), deviceInfo(), localTime(),
                                          &path, &error));
        EXPECT_EQ(error, "No folder for the settings backups is known: set XDG_STATE_HOME or "
                         "HOME.");
        EXPECT_EQ(path, "unchanged");
    }
}
