// The record of updates: where it goes, and one parseable line per update
// whatever the values hold.

#include "ScopedVariable.h"
#include "TempFolder.h"
#include "UpdateJournal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>

using ZORVI::UpdateJournal;

namespace {

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> fieldsOf(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

std::string utcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

UpdateJournal::Entry sampleEntry()
{
    UpdateJournal::Entry entry;
    entry.port = "ttyUSB0";
    entry.fileName = "zorvik-3.1.8.upd";
    entry.sha256 = std::string(64, 'e');
    entry.fileVersions = "application 3.1.8, data 1.3, hardware 8.x";
    entry.deviceBefore = "application 3.1.7, data 1.2, hardware 8.2";
    entry.deviceAfter = "recovery mode, hardware 8.2";
    entry.recordsSent = 11;
    entry.recordsTotal = 340;
    entry.outcome = "failed";
    entry.reason = "Record 12 of 340 was refused by the device.";
    entry.backup = "/home/pilot/.local/state/zorvik/backups/"
                   "9EAE2C042C2522FADB8DBE7F-2026-12-10T14-03-27-3.1.7.zset";
    return entry;
}

} // namespace

TEST(UpdateJournal, PathFollowsTheStateFolder)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    ScopedVariable home("HOME", folder.file("home"));
    const struct {
        const char* stateHome;
        std::string expected;
    } cases[] = {
        {"/srv/state", "/srv/state/zorvik/updates.log"},
        {"", folder.file("home") + "/.local/state/zorvik/updates.log"},
        // Relative values are to be ignored.
        {"relative/state", folder.file("home") + "/.local/state/zorvik/updates.log"},
    };
    for (const auto& c : cases) {
        ScopedVariable state("XDG_STATE_HOME", c.stateHome);
        EXPECT_EQ(UpdateJournal::path(), c.expected) << c.stateHome;
    }
}

TEST(UpdateJournal, EachUpdateIsOneLineOfNamedFields)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    ScopedVariable state("XDG_STATE_HOME", folder.file("state"));
    const std::string path = folder.file("state") + "/zorvik/updates.log";
    ASSERT_EQ(UpdateJournal::path(), path);

    const std::string before = utcNow();
    UpdateJournal::Entry first = sampleEntry();
    ASSERT_TRUE(UpdateJournal::append(first)); // creates the folders
    UpdateJournal::Entry second = sampleEntry();
    second.port = "tty\tUSB1";
    second.fileName = "new\nline.upd";
    second.reason = "two\r\nlines\x1b[0m";
    second.outcome = "done";
    second.backup = "";
    ASSERT_TRUE(UpdateJournal::append(second));
    const std::string after = utcNow();

    const std::vector<std::string> lines = linesOf(path);
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::vector<std::string>> expected = {
        {"port=ttyUSB0", "file=zorvik-3.1.8.upd", "sha256=" + std::string(64, 'e'),
         "file_versions=application 3.1.8, data 1.3, hardware 8.x",
         "device_before=application 3.1.7, data 1.2, hardware 8.2",
         "device_after=recovery mode, hardware 8.2", "records=11/340", "outcome=failed",
         "reason=Record 12 of 340 was refused by the device.",
         "backup=/home/pilot/.local/state/zorvik/backups/"
         "9EAE2C042C2522FADB8DBE7F-2026-12-10T14-03-27-3.1.7.zset"},
        {"port=tty USB1", "file=new line.upd", "sha256=" + std::string(64, 'e'),
         "file_versions=application 3.1.8, data 1.3, hardware 8.x",
         "device_before=application 3.1.7, data 1.2, hardware 8.2",
         "device_after=recovery mode, hardware 8.2", "records=11/340", "outcome=done",
         "reason=two  lines [0m", "backup="},
    };
    const std::regex isoTime("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z");
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        std::vector<std::string> fields = fieldsOf(lines[i]);
        ASSERT_FALSE(fields.empty());
        const std::string time = fields.front();
        EXPECT_TRUE(std::regex_match(time, isoTime));
        EXPECT_LE(before, time);
        EXPECT_LE(time, after);
        fields.erase(fields.begin());
        EXPECT_EQ(fields, expected[i]);
    }
}

TEST(UpdateJournal, AFolderThatCannotBeMadeIsReported)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    // The state folder's place is taken by a file.
    ScopedVariable state("XDG_STATE_HOME", folder.write("state", "not a folder"));
    EXPECT_FALSE(UpdateJournal::append(sampleEntry()));

    ScopedVariable noState("XDG_STATE_HOME", "");
    ScopedVariable noHome("HOME", "");
    EXPECT_EQ(UpdateJournal::path(), "");
    EXPECT_FALSE(UpdateJournal::append(sampleEntry()));
}
