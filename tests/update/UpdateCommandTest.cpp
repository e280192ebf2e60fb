// `zorvik file` and `zorvik update` as a user runs them, against the device
// simulator.

#include "PrivateRuntimeDir.h"
#include "SimulatorProcess.h"
#include "UpdateImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

using ZORVI::Testing::SimulatorProcess;
using UpdateImage::Bytes;

namespace {

struct CliRun {
    int exitCode;
    std::string output; // standard output and error together
};

CliRun runZorvik(const std::string& arguments, const std::string& input = std::string())
{
    std::string command = std::string(ZORVIK_CLI_PATH) + " " + arguments + " 2>&1";
    if (!input.empty())
        command = "printf '" + input + "' | " + command;
    else
        command += " < /dev/null";
    CliRun run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char chunk[4096];
    size_t count = 0;
    while ((count = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        run.output.append(chunk, count);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class UpdateCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtimeDir.isReady());
        UpdateImage::Header fields;
        fields.kind = 2;
        fields.hardwareMajor = 8;
        fields.application[1] = 4;
        fields.description = "Release for the test bench";
        const Bytes header = UpdateImage::header(fields);
        m_headerLength = header.size();
        m_image = UpdateImage::join({header, UpdateImage::record(700, 0xE0),
                                     UpdateImage::record(9)});
        m_updatePath = m_runtimeDir.path() + "/firmware.upd";
        std::ofstream(m_updatePath) << UpdateImage::text(m_image, "\n") << "\n";
    }

    void startSimulator(std::vector<std::string> arguments)
    {
        m_receivedPath = m_runtimeDir.path() + "/received.bin";
        arguments.insert(arguments.end(), {"--save-image", m_receivedPath});
        m_sim = std::make_unique<SimulatorProcess>(arguments, m_runtimeDir.path());
        ASSERT_TRUE(m_sim->isRunning()) << m_sim->error();
    }

    size_t modeRequests() const
    {
        size_t count = 0;
        for (const std::string& line : m_sim->logLines("request"))
            count += contains(line, " cmd=0 ");
        return count;
    }

    PrivateRuntimeDir m_runtimeDir;
    Bytes m_image;
    size_t m_headerLength = 0;
    std::string m_updatePath;
    std::string m_receivedPath;
    std::unique_ptr<SimulatorProcess> m_sim;
};

} // namespace

TEST_F(UpdateCommand, FileShowsWhatTheUpdateHoldsOrWhyItIsRefused)
{
    const CliRun good = runZorvik("file " + m_updatePath);
    EXPECT_EQ(good.exitCode, 0) << good.output;
    for (const char* line : {"Application: 3.4.0", "Hardware:    8.x", "Data:        1.2",
                             "Addresses:   entry 1, target 0",
                             "Description: Release for the test bench", "Records:     2",
                             "Total bytes: 713"})
        EXPECT_TRUE(contains(good.output, line)) << line << "\n" << good.output;

    Bytes broken = m_image;
    broken[8] ^= 1; // application version changed, CRC not
    const std::string brokenPath = m_runtimeDir.path() + "/broken.upd";
    std::ofstream(brokenPath) << UpdateImage::text(broken);
    const CliRun bad = runZorvik("file " + brokenPath);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(contains(bad.output, "header CRC")) << bad.output;
}

TEST_F(UpdateCommand, UnconfirmedUpdateSendsNothing)
{
    startSimulator({});
    const CliRun run = runZorvik("update " + m_sim->portName() + " " + m_updatePath, "n\\n");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(contains(run.output, "upgrade from Version 3.1.7 to 3.4.0")) << run.output;
    EXPECT_TRUE(contains(run.output, "nothing was sent")) << run.output;
    EXPECT_EQ(modeRequests(), 0u);
}

TEST_F(UpdateCommand, ConfirmedUpdateReachesTheDeviceAndShowsItsNewVersion)
{
    startSimulator({"--update-app-version", "3.4.0"});
    const CliRun run = runZorvik("update " + m_sim->portName() + " " + m_updatePath + " --yes");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "100%  713/713 bytes")) << run.output;
    EXPECT_TRUE(contains(run.output, "Device updated successfully.")) << run.output;
    // The versions after the restart come from the device.
    const size_t after = run.output.find("Waiting for Device");
    ASSERT_NE(after, std::string::npos) << run.output;
    EXPECT_TRUE(contains(run.output.substr(after), "Application: 3.4.0")) << run.output;
    EXPECT_EQ(fileBytes(m_receivedPath), Bytes(m_image.begin() + m_headerLength, m_image.end()));
}

TEST_F(UpdateCommand, RefusedRecordFailsTheUpdate)
{
    startSimulator({"--refuse-record", "1"});
    const CliRun run = runZorvik("update " + m_sim->portName() + " " + m_updatePath + " --yes");
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_TRUE(contains(run.output, "Device update failed.")) << run.output;
    EXPECT_FALSE(contains(run.output, "Waiting for Device")) << run.output;
}
