// The simulated device's parameter memory and its state file.

#include "ParameterTable.h"

#include "PrivateRuntimeDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

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

TEST(ParameterTable, WritesOnlyWithinLimits)
{
    ParameterTable table;
    const uint16_t torque = table.findById(0x1174)->address;
    EXPECT_TRUE(table.writeWord(torque, 0xFFFF));
    EXPECT_EQ(valueOf(table, 0x1174), -1);
    EXPECT_EQ(table.readWord(torque), 0xFFFF);
    EXPECT_FALSE(table.writeWord(torque, 0xFFFE));
    EXPECT_FALSE(table.writeWord(table.findById(0x1064)->address, 499));
    EXPECT_FALSE(table.writeWord(0x0012, 0)); // no parameter there
    EXPECT_EQ(valueOf(table, 0x1174), -1);
}

class StateFile : public ::testing::Test {
protected:
    std::string path() const { return m_directory.path() + "/state.txt"; }

    void writeFile(const std::string& text) const { std::ofstream(path()) << text; }

    std::string readFile() const
    {
        std::ifstream in(path());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

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
}

TEST_F(StateFile, SavedValuesComeBackInTheNextRun)
{
    {
        ParameterTable first;
        ASSERT_TRUE(first.attachStateFile(path(), m_error, m_warnings)) << m_error;
        ASSERT_TRUE(first.writeWord(first.findById(0x1180)->address, 0xFFCE)); // -50
        ASSERT_TRUE(first.writeWord(first.findById(0x105C)->address, 333));
        ASSERT_TRUE(first.saveState(m_error)) << m_error;
    }
    EXPECT_NE(readFile().find("0x1180 -50\n"), std::string::npos);
    ParameterTable second;
    ASSERT_TRUE(second.attachStateFile(path(), m_error, m_warnings)) << m_error;
    EXPECT_EQ(valueOf(second, 0x1180), -50);
    EXPECT_EQ(valueOf(second, 0x105C), 333);
    EXPECT_TRUE(m_warnings.empty());
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

TEST_F(StateFile, MalformedLinesAndUnknownIdsAreErrors)
{
    for (const char* text : {"0x1064\n", "1064 1520\n", "0x1064 15x0\n", "0x1001 3\n",
                             "0x1064 1520 9\n", "0x1064 70000\n"}) {
        writeFile(text);
        ParameterTable table;
        m_error.clear();
        EXPECT_FALSE(table.attachStateFile(path(), m_error, m_warnings)) << text;
        EXPECT_NE(m_error.find(":1:"), std::string::npos) << m_error;
    }
}

} // namespace
