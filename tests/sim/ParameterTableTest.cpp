// The simulated device's parameter memory and its state file.

#include "ParameterTable.h"

#include "ChildProgram.h"
#include "FolderContents.h"
#include "PrivateRuntimeDir.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ZORVI::Simulator::ParameterTable;

int32_t valueOf(const ParameterTable& table, uint16_t id)
{
    int32_t value = 0;
    EXPECT_TRUE(table.value(id, value)) << std::hex << id;
    return value;
}

TEST(ParameterTable, DescribesTheSettingsProgramsIdsWithSaneLimits)
{
    const std::set<uint16_t> expectedIds = {
        0x1000, 0x1004, 0x1040, 0x1044, 0x1048, 0x1049, 0x104A, 0x1050, 0x1051, 0x1052,
        0x1058, 0x105C, 0x1060, 0x1064, 0x1098, 0x109C, 0x110C, 0x1110, 0x111E, 0x111F,
        0x1125, 0x1126, 0x1154, 0x1158, 0x1170, 0x1174, 0x1178, 0x117C, 0x1180};
    ParameterTable table;
    std::set<uint16_t> ids, addresses, signedIds;
    for (const auto& p : table.parameters()) {
        ids.insert(p.id);
        addresses.insert(p.address);
        EXPECT_LT(p.address, ParameterTable::MEMORY_WORDS) << p.name;
        EXPECT_LE(p.minimum, p.defaultValue) << p.name;
        EXPECT_LE(p.defaultValue, p.maximum) << p.name;
        // The host reads limits as signed exactly when the minimum word is
        // above the maximum word.
        const bool readAsSigned = uint16_t(p.minimum) > uint16_t(p.maximum);
        EXPECT_EQ(readAsSigned, p.isSigned()) << p.name;
        if (p.isSigned())
            signedIds.insert(p.id);
    }
    EXPECT_EQ(ids, expectedIds);
    EXPECT_EQ(addresses.size(), expectedIds.size()) << "addresses must be unique";
    EXPECT_EQ(signedIds, (std::set<uint16_t>{0x1174, 0x1178, 0x117C, 0x1180}));
}

TEST(ParameterTable, FactorySetupIsAnAcceptedConfiguration)
{
    ParameterTable table;
    // 120 degree swash plate at phase angle 0, equal travels, mixer mode 7.
    EXPECT_EQ(valueOf(table, 0x1048), 0);
    EXPECT_EQ(valueOf(table, 0x1049), 120);
    EXPECT_EQ(valueOf(table, 0x104A), 240);
    for (uint16_t id : {0x1050, 0x1051, 0x1052})
        EXPECT_EQ(valueOf(table, id), 1000);
    EXPECT_EQ(valueOf(table, 0x1044), 7);
    // The tail servo's frame rate fits its centre pulse.
    EXPECT_LE(valueOf(table, 0x105C), 1000000 / (valueOf(table, 0x1064) + 1000));
    EXPECT_EQ(valueOf(table, 0x1174), 1);
}

// The host reads values in runs of consecutive addresses; the memory layout
// must make it split them, and keep some IDs with gaps consecutive in memory.
TEST(ParameterTable, AddressRunsSplitWhereTheLayoutHasGaps)
{
    ParameterTable table;
    std::vector<uint16_t> addresses;
    for (const auto& p : table.parameters())
        addresses.push_back(p.address);
    std::sort(addresses.begin(), addresses.end());
    size_t runs = 1;
    for (size_t i = 1; i < addresses.size(); ++i)
        runs += addresses[i] != addresses[i - 1] + 1;
    EXPECT_GE(runs, 4u);
    // Servo angles (IDs 0x1048..0x104A) and travels (0x1050..) lie back to back.
    EXPECT_EQ(table.findById(0x1050)->address, table.findById(0x104A)->address + 1);
}

// ---- storing words ----------------------------------------------------------

struct StoreCase {
    const char* name;
    std::vector<ParameterTable::WordWrite> writes;
    ParameterTable::StoreResult result;
    int32_t torque;    // TorqueDirection (0x1174, address 0x0061) afterwards
    int32_t frequency; // TailServoFrequency (0x105C, address 0x0021) afterwards
};

void PrintTo(const StoreCase& c, std::ostream* out)
{
    *out << c.name;
}

class StoreWords : public ::testing::TestWithParam<StoreCase> {};

TEST_P(StoreWords, TakesAllWordsOrNone)
{
    const StoreCase& c = GetParam();
    ParameterTable table;
    std::string error;
    EXPECT_EQ(table.store(c.writes, error), c.result);
    EXPECT_EQ(valueOf(table, 0x1174), c.torque);
    EXPECT_EQ(table.readWord(0x0061), static_cast<uint16_t>(c.torque));
    EXPECT_EQ(valueOf(table, 0x105C), c.frequency);
}

using Result = ParameterTable::StoreResult;
INSTANTIATE_TEST_SUITE_P(
    Writes, StoreWords,
    ::testing::Values(
        StoreCase{"SignedWord", {{0x0061, 0xFFFF}, {0x0021, 333}}, Result::Stored, -1, 333},
        StoreCase{"SignedWordOutsideLimits", {{0x0021, 333}, {0x0061, 0xFFFE}},
                  Result::OutOfRange, 1, 50},
        StoreCase{"UnsignedBelowMinimum", {{0x0061, 0xFFFF}, {0x0021, 49}}, Result::OutOfRange,
                  1, 50},
        StoreCase{"NoParameterAtTheAddress", {{0x0061, 0xFFFF}, {0x0012, 0}},
                  Result::UnknownAddress, 1, 50}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the state file ---------------------------------------------------------

class StateFile : public ::testing::Test {
protected:
    std::string path() const { return m_directory.path() + "/state.txt"; }

    void writeFile(const std::string& text) const { std::ofstream(path()) << text; }

    std::string readFile() const { return readText(path()); }

    PrivateRuntimeDir m_directory;
    std::string m_error;
    std::vector<std::string> m_warnings;
};

TEST_F(StateFile, MissingFileIsCreatedWithTheDefaults)
{
    ParameterTable table;
    ASSERT_TRUE(table.attachStateFile(path(), m_error, m_warnings)) << m_error;
    const std::string text = readFile();
    EXPECT_NE(text.find("0x1064 1520\n"), std::string::npos) << text;
    EXPECT_NE(text.find("0x1174 1\n"), std::string::npos) << text;
    EXPECT_EQ(entriesOf(m_directory.path()), std::set<std::string>{"state.txt"});
}

TEST_F(StateFile, StoredValuesComeBackInTheNextRun)
{
    {
        ParameterTable first;
        ASSERT_TRUE(first.attachStateFile(path(), m_error, m_warnings)) << m_error;
        ASSERT_EQ(first.store({{0x0064, 0xFFCE}, {0x0021, 333}}, m_error), Result::Stored)
            << m_error;
    }
    EXPECT_NE(readFile().find("0x1180 -50\n"), std::string::npos);
    ParameterTable second;
    ASSERT_TRUE(second.attachStateFile(path(), m_error, m_warnings)) << m_error;
    EXPECT_EQ(valueOf(second, 0x1180), -50);
    EXPECT_EQ(valueOf(second, 0x105C), 333);
    EXPECT_TRUE(m_warnings.empty());
    EXPECT_EQ(entriesOf(m_directory.path()), std::set<std::string>{"state.txt"});
}

TEST_F(StateFile, ValuesOutsideTheLimitsAreKeptWithAWarning)
{
    writeFile("# hand-made\n\n0x105C 600\n0x1174 0xFFFF\n");
    ParameterTable table;
    ASSERT_TRUE(table.attachStateFile(path(), m_error, m_warnings)) << m_error;
    EXPECT_EQ(valueOf(table, 0x105C), 600);
    EXPECT_EQ(valueOf(table, 0x1174), -1);
    ASSERT_EQ(m_warnings.size(), 1u);
    EXPECT_NE(m_warnings[0].find("TailServoFrequency"), std::string::npos) << m_warnings[0];
}

// The file keeps the value of a parameter the device leaves out: a run with
// --without loses nothing for the next run without it, and the files of
// both devices read the same.
TEST_F(StateFile, ALeftOutParameterKeepsItsValueInTheFile)
{
    writeFile("0x1180 -50\n0x105C 333\n");
    {
        ParameterTable without;
        ASSERT_TRUE(without.leaveOut(0x1180));
        ASSERT_TRUE(without.attachStateFile(path(), m_error, m_warnings)) << m_error;
        int32_t number = 0;
        EXPECT_FALSE(without.value(0x1180, number));
        EXPECT_EQ(without.readWord(0x0064), ParameterTable::ERASED_WORD);
        ASSERT_EQ(without.store({{0x0021, 444}}, m_error), Result::Stored) << m_error;
    }
    ParameterTable full;
    ASSERT_TRUE(full.attachStateFile(path(), m_error, m_warnings)) << m_error;
    EXPECT_EQ(valueOf(full, 0x1180), -50);
    EXPECT_EQ(valueOf(full, 0x105C), 444);

    const std::string fullPath = m_directory.path() + "/full.txt";
    ASSERT_TRUE(ParameterTable().attachStateFile(fullPath, m_error, m_warnings)) << m_error;
    std::remove(path().c_str());
    ParameterTable fresh;
    ASSERT_TRUE(fresh.leaveOut(0x1180));
    ASSERT_TRUE(fresh.attachStateFile(path(), m_error, m_warnings)) << m_error;
    EXPECT_EQ(readFile(), readText(fullPath));
}

// A line as long as the cap is read (one character more is refused, below).
TEST_F(StateFile, LinesUpToTheCapAreRead)
{
    const std::string atCap = "# " + std::string(ParameterTable::MAX_STATE_LINE - 2, 'x');
    writeFile(atCap + "\n0x105C 333");
    ParameterTable table;
    ASSERT_TRUE(table.attachStateFile(path(), m_error, m_warnings)) << m_error;
    EXPECT_EQ(valueOf(table, 0x105C), 333);
}

TEST_F(StateFile, MalformedLinesAndUnknownIdsAreErrors)
{
    const std::string overLong = "0x1064 1520" + std::string(ParameterTable::MAX_STATE_LINE, ' ');
    const std::string overLongComment = "#" + std::string(ParameterTable::MAX_STATE_LINE, 'x');
    for (const std::string& text :
         {std::string("0x1064\n"), std::string("1064 1520\n"), std::string("0x1064 15x0\n"),
          std::string("0x1001 3\n"), std::string("0x1064 1520 9\n"),
          std::string("0x1064 70000\n"), overLong + "\n", overLongComment}) {
        writeFile("0x105C 333\n" + text);
        ParameterTable table;
        m_error.clear();
        EXPECT_FALSE(table.attachStateFile(path(), m_error, m_warnings)) << text;
        EXPECT_NE(m_error.find(path() + ":2: "), std::string::npos) << m_error;
        // Nothing of a refused file is taken, not even its good lines.
        EXPECT_EQ(valueOf(table, 0x105C), 50) << text;
    }
    writeFile(overLong);
    ParameterTable table;
    EXPECT_FALSE(table.attachStateFile(path(), m_error, m_warnings));
    EXPECT_NE(m_error.find("longer than " + std::to_string(ParameterTable::MAX_STATE_LINE)
                           + " characters"),
              std::string::npos)
        << m_error;
}

// What is not a regular file of a state file's size is refused before it is
// read: /dev/zero would be read without end, a FIFO waits for a writer, and
// a directory is no empty state file.
struct RefusedFile {
    const char* name;
    std::string (*make)(const std::string& folder); // the path to give
    std::string reason;
};

void PrintTo(const RefusedFile& c, std::ostream* out)
{
    *out << c.name;
}

class RefusedStateFile : public ::testing::TestWithParam<RefusedFile> {};

TEST_P(RefusedStateFile, IsAnErrorNamingThePathAndTheReason)
{
    PrivateRuntimeDir directory;
    const std::string path = GetParam().make(directory.path());
    ParameterTable table;
    std::string error;
    std::vector<std::string> warnings;
    EXPECT_FALSE(table.attachStateFile(path, error, warnings));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
    // The table is bound to no file: nothing is written anywhere.
    const std::set<std::string> before = entriesOf(directory.path());
    EXPECT_EQ(table.store({{0x0021, 333}}, error), Result::Stored) << error;
    EXPECT_EQ(entriesOf(directory.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RefusedStateFile,
    ::testing::Values(
        RefusedFile{"Directory", [](const std::string& folder) { return folder; },
                    "is a directory, not a regular file"},
        RefusedFile{"EndlessDevice", [](const std::string&) { return std::string("/dev/zero"); },
                    "is a character device, not a regular file"},
        RefusedFile{"Fifo",
                    [](const std::string& folder) {
                        const std::string path = folder + "/state.fifo";
                        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
                        return path;
                    },
                    "is a FIFO, not a regular file"},
        RefusedFile{"LargerThanAnyStateFile",
                    [](const std::string& folder) {
                        const std::string path = folder + "/state.txt";
                        std::ofstream(path)
                            << std::string(ParameterTable::MAX_STATE_BYTES + 1, '\n');
                        return path;
                    },
                    "is larger than " + std::to_string(ParameterTable::MAX_STATE_BYTES)
                        + " bytes"},
        RefusedFile{"FolderIsAFile",
                    [](const std::string& folder) {
                        std::ofstream(folder + "/file") << "0x105C 333\n";
                        return folder + "/file/state.txt";
                    },
                    "Not a directory"}),
    [](const auto& info) { return std::string(info.param.name); });

// The old file is replaced by a new one under a name nobody can predict: a
// link planted under any name a saver might pick is left alone, and so is
// the file it points to.
TEST_F(StateFile, PlantedLinksAreNotFollowed)
{
    const std::string victim = m_directory.path() + "/victim.txt";
    std::ofstream(victim) << "not the state\n";
    const std::string folder = m_directory.path() + "/";
    const std::vector<std::string> planted = {
        path() + ".tmp" + std::to_string(getpid()), path() + ".tmp", path() + ".new",
        path() + "~", folder + ".state.txt.tmp", folder + ".state.txt.swp"};
    for (const std::string& link : planted)
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0) << link;

    ParameterTable table;
    ASSERT_TRUE(table.attachStateFile(path(), m_error, m_warnings)) << m_error;
    ASSERT_EQ(table.store({{0x0021, 333}}, m_error), Result::Stored) << m_error;

    EXPECT_EQ(readText(victim), "not the state\n");
    for (const std::string& link : planted) {
        std::error_code error;
        EXPECT_TRUE(std::filesystem::is_symlink(link, error)) << link;
        EXPECT_EQ(std::filesystem::read_symlink(link, error), victim) << link;
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path())));
    EXPECT_NE(readFile().find("0x105C 333\n"), std::string::npos);
    EXPECT_EQ(entriesOf(m_directory.path()).size(), planted.size() + 2); // + state, victim
}

// ---- the program refuses a bad --state at once --------------------------------

// Before, /dev/zero was read without end while the stop signals were held,
// and a directory started a simulator that could store nothing.
TEST(StateFileAtStart, WhatIsNotARegularFileEndsTheSimulatorWithTheReason)
{
    PrivateRuntimeDir directory;
    for (const std::string& state : {std::string("/dev/zero"), directory.path()}) {
        ChildProgram simulator(
            ZORVI::Testing::SimulatorProcess::simulatorPath(),
            {"--state", state, "--name", PrivateRuntimeDir::uniquePortName("ttyS"),
             "--watch-pid", std::to_string(getpid())});
        ASSERT_TRUE(simulator.isStarted());
        const int status = simulator.finish(10000);
        ASSERT_NE(status, -1) << state << " still running after 10 s";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << state;
        const std::string& output = simulator.output();
        EXPECT_NE(output.find("zorvik-sim: state file " + state + " is a "), std::string::npos)
            << output;
        EXPECT_NE(output.find("not a regular file"), std::string::npos) << output;
    }
}

} // namespace
