// `zorvik file` and `zorvik update` as a user runs them, against the device
// simulator (and, for a device that answers only in recovery mode after a
// complete transfer, a scripted device): what is sent is what was shown and
// confirmed, a file for other hardware is refused, the device is asked
// afterwards, every failure is named with what to do, and every update is
// recorded.

#include "CliProcess.h"
#include "PrivateRuntimeDir.h"
#include "ScriptedDevice.h"
#include "Sha256.h"
#include "SimulatorProcess.h"
#include "UpdateImage.h"
#include "VersionFixtures.h"

#include "TestCaseName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/stat.h>
#include <chrono>
#include <csignal>
#include <thread>

using ZORVI::Testing::SimulatorProcess;
using UpdateImage::Bytes;

namespace {

// Generous: a run waits out at most about ten answer time-outs of 2.5 s.
constexpr int RUN_TIMEOUT_MS = 50000;
// A command that refuses its arguments answers at once; this only bounds a
// command that blocks.
constexpr int REFUSAL_TIMEOUT_MS = 20000;

// The simulated device restarts with the versions of the tests' update file.
const std::vector<std::string> RUNS_THE_FILE_AFTERWARDS = {"--update-app-version", "3.4.0",
                                                           "--update-data-version", "1.2"};

struct CliRun {
    int exitCode;
    std::string output; // standard output and error together
};

CliRun runZorvik(const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment = {}, const std::string& input = "",
                 int timeoutMs = RUN_TIMEOUT_MS)
{
    CliProcess process(arguments, environment);
    if (!process.isStarted())
        return {-1, "zorvik did not start"};
    process.send(input);
    const int exitCode = process.finish(timeoutMs);
    return {exitCode, process.output()};
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

// The backup's path as `zorvik update` names it.
std::string backupPath(const std::string& output)
{
    const std::string lead = "Settings backed up to ";
    const size_t at = output.find(lead);
    if (at == std::string::npos)
        return "<no backup named>";
    const size_t end = output.find(".\n", at);
    return output.substr(at + lead.size(), end - at - lead.size());
}

std::string digestOf(const std::string& text)
{
    return ZORVI::Sha256::hexDigest(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The update records' lines, each split into its named fields (the time
// under "time").
std::vector<std::map<std::string, std::string>> journalLines(const std::string& path)
{
    std::vector<std::map<std::string, std::string>> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        std::map<std::string, std::string> fields;
        size_t start = 0;
        for (bool first = true; start != std::string::npos; first = false) {
            const size_t tab = line.find('\t', start);
            const std::string field = line.substr(start, tab == std::string::npos
                                                             ? std::string::npos
                                                             : tab - start);
            const size_t equals = field.find('=');
            if (first)
                fields["time"] = field;
            else if (equals != std::string::npos)
                fields[field.substr(0, equals)] = field.substr(equals + 1);
            start = tab == std::string::npos ? tab : tab + 1;
        }
        lines.push_back(fields);
    }
    return lines;
}

// The update file the tests send: application 3.4.0, data 1.2, hardware
// 8.x, two records (702 and 11 bytes, length fields included).
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
        m_updateText = UpdateImage::text(m_image, "\n") + "\n";
        std::ofstream(m_updatePath, std::ios::binary) << m_updateText;
        m_journalPath = m_runtimeDir.path() + "/state/zorvik/updates.log";
    }

    void startSimulator(std::vector<std::string> arguments)
    {
        m_receivedPath = m_runtimeDir.path() + "/received.bin";
        arguments.insert(arguments.end(), {"--save-image", m_receivedPath});
        m_sim = std::make_unique<SimulatorProcess>(arguments, m_runtimeDir.path());
        ASSERT_TRUE(m_sim->isRunning()) << m_sim->error();
    }

    // The update records go to the test's own folder.
    std::vector<std::string> environment() const
    {
        return {"XDG_STATE_HOME=" + m_runtimeDir.path() + "/state"};
    }

    CliRun update(const std::string& port, std::vector<std::string> options = {"--yes"},
                  const std::string& input = "")
    {
        std::vector<std::string> arguments = {"update", port, m_updatePath};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runZorvik(arguments, environment(), input);
    }

    size_t modeRequests() const
    {
        size_t count = 0;
        for (const std::string& line : m_sim->logLines("request"))
            count += contains(line, " cmd=0 ");
        return count;
    }

    Bytes records() const { return Bytes(m_image.begin() + m_headerLength, m_image.end()); }

    // The retry and check commands the guidance names for this run.
    std::string withCommands(std::string text, const std::string& port) const
    {
        for (const auto& [placeholder, value] :
             {std::pair<std::string, std::string>{"<port>", port}, {"<file>", m_updatePath}}) {
            for (size_t at; (at = text.find(placeholder)) != std::string::npos;)
                text.replace(at, placeholder.size(), value);
        }
        return text;
    }

    PrivateRuntimeDir m_runtimeDir;
    Bytes m_image;
    size_t m_headerLength = 0;
    std::string m_updatePath;
    std::string m_updateText;
    std::string m_receivedPath;
    std::string m_journalPath;
    std::unique_ptr<SimulatorProcess> m_sim;
};

} // namespace

TEST_F(UpdateCommand, FileShowsWhatTheUpdateHoldsOrWhyItIsRefused)
{
    const CliRun good = runZorvik({"file", m_updatePath});
    EXPECT_EQ(good.exitCode, 0) << good.output;
    for (const std::string& line :
         {std::string("Application: 3.4.0"), std::string("Hardware:    8.x"),
          std::string("Data:        1.2"), std::string("Addresses:   entry 1, target 0"),
          std::string("Description: Release for the test bench"), std::string("Records:     2"),
          std::string("Total bytes: 713"), "SHA-256:     " + digestOf(m_updateText),
          "Size:        " + std::to_string(m_updateText.size()) + " bytes"})
        EXPECT_TRUE(contains(good.output, line)) << line << "\n" << good.output;

    Bytes broken = m_image;
    broken[8] ^= 1; // application version changed, CRC not
    const std::string brokenPath = m_runtimeDir.path() + "/broken.upd";
    std::ofstream(brokenPath) << UpdateImage::text(broken);
    const CliRun bad = runZorvik({"file", brokenPath});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(contains(bad.output, "not a valid update file")) << bad.output;
    EXPECT_TRUE(contains(bad.output, "header CRC")) << bad.output;
}

TEST_F(UpdateCommand, UnconfirmedUpdateSendsNothing)
{
    startSimulator({});
    const CliRun run = update(m_sim->portName(), {}, "n\n");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(contains(run.output, "upgrade from Version 3.1.7 to 3.4.0")) << run.output;
    EXPECT_TRUE(contains(run.output, "nothing was sent")) << run.output;
    EXPECT_EQ(modeRequests(), 0u);
    EXPECT_FALSE(std::filesystem::exists(m_journalPath));
}

TEST_F(UpdateCommand, ConfirmedUpdateIsCheckedWithTheDeviceAndRecorded)
{
    startSimulator(RUNS_THE_FILE_AFTERWARDS);
    const CliRun run = update(m_sim->portName());
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "SHA-256:     " + digestOf(m_updateText))) << run.output;
    EXPECT_TRUE(contains(run.output, "100%  713/713 bytes")) << run.output;
    // The versions after the restart come from the device, and only then
    // is the update called done.
    const size_t after = run.output.find("Waiting for Device");
    ASSERT_NE(after, std::string::npos) << run.output;
    EXPECT_TRUE(contains(run.output.substr(after), "Application: 3.4.0")) << run.output;
    EXPECT_TRUE(contains(run.output.substr(after), "Device updated successfully.")) << run.output;
    EXPECT_TRUE(contains(run.output, "Recorded in " + m_journalPath + ".")) << run.output;
    EXPECT_EQ(fileBytes(m_receivedPath), records());

    const auto lines = journalLines(m_journalPath);
    ASSERT_EQ(lines.size(), 1u);
    const std::map<std::string, std::string> expected = {
        {"time", lines[0].count("time") ? lines[0].at("time") : ""},
        {"port", m_sim->portName()},
        {"file", "firmware.upd"},
        {"sha256", digestOf(m_updateText)},
        {"file_versions", "application 3.4.0, data 1.2, hardware 8.x"},
        {"device_before", "application 3.1.7, data 1.2, hardware 8.2"},
        {"device_after", "application 3.4.0, data 1.2, hardware 8.2"},
        {"records", "2/2"},
        {"outcome", "done"},
        {"reason", ""},
        {"backup", backupPath(run.output)},
    };
    EXPECT_EQ(lines[0], expected);
    // The backup before the update lies in the state folder, named by the
    // unit, the time and the firmware it ran.
    EXPECT_EQ(lines[0].at("backup").rfind(m_runtimeDir.path() + "/state/zorvik/backups/"
                                              + "9EAE2C042C2522FADB8DBE7F-",
                                          0),
              0u)
        << lines[0].at("backup");
    EXPECT_TRUE(std::filesystem::is_regular_file(lines[0].at("backup")));
    EXPECT_EQ(lines[0].at("time").size(), std::string("2000-01-01T00:00:00Z").size());
}

TEST_F(UpdateCommand, RecordThatCannotBeWrittenIsReported)
{
    startSimulator(RUNS_THE_FILE_AFTERWARDS);
    // The state folder's place is taken by a file.
    const std::string blocked = m_runtimeDir.path() + "/blocked";
    std::ofstream(blocked) << "not a folder";
    const CliRun run =
        runZorvik({"update", m_sim->portName(), m_updatePath, "--yes", "--no-backup"},
                  {"XDG_STATE_HOME=" + blocked});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "Device updated successfully.")) << run.output;
    EXPECT_TRUE(contains(run.output, "the update could not be recorded in " + blocked
                                         + "/zorvik/updates.log."))
        << run.output;
    EXPECT_FALSE(contains(run.output, "Recorded in")) << run.output;
}

TEST_F(UpdateCommand, FileReplacedWhileTheQuestionIsOpenIsNotWhatIsSent)
{
    startSimulator(RUNS_THE_FILE_AFTERWARDS);
    CliProcess process({"update", m_sim->portName(), m_updatePath}, environment());
    ASSERT_TRUE(process.isStarted());
    ASSERT_TRUE(process.waitForOutput("Continue? [y/N]", RUN_TIMEOUT_MS)) << process.output();

    // Another valid update takes the file's name before the user answers.
    UpdateImage::Header other;
    other.hardwareMajor = 8;
    other.application[1] = 9;
    const std::string replacement = m_runtimeDir.path() + "/replacement.upd";
    std::ofstream(replacement, std::ios::binary) << UpdateImage::text(UpdateImage::join(
        {UpdateImage::header(other), UpdateImage::record(40, 0x55), UpdateImage::record(3)}));
    std::filesystem::rename(replacement, m_updatePath);

    ASSERT_TRUE(process.send("y\n"));
    const int exitCode = process.finish(RUN_TIMEOUT_MS);
    const std::string& output = process.output();
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_EQ(fileBytes(m_receivedPath), records());
    // The bar counted the records shown and confirmed.
    EXPECT_TRUE(contains(output, "100%  713/713 bytes")) << output;
    EXPECT_TRUE(contains(output, "Device updated successfully.")) << output;
    const auto lines = journalLines(m_journalPath);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].at("sha256"), digestOf(m_updateText));
    EXPECT_EQ(lines[0].at("file_versions"), "application 3.4.0, data 1.2, hardware 8.x");
}

namespace {

struct HardwareCase {
    const char* name;
    std::vector<std::string> simulator;
    std::vector<std::string> options;
    int exitCode;
    std::vector<std::string> lines;
    bool sent;
};

void PrintTo(const HardwareCase& c, std::ostream* out)
{
    *out << c.name;
}


class UpdateCommandHardware : public UpdateCommand,
                              public ::testing::WithParamInterface<HardwareCase> {};

} // namespace

TEST_P(UpdateCommandHardware, FileForOtherHardwareIsRefusedUnlessForced)
{
    const HardwareCase& c = GetParam();
    startSimulator(c.simulator);
    const CliRun run = update(m_sim->portName(), c.options);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    for (const std::string& line : c.lines)
        EXPECT_TRUE(contains(run.output, line)) << line << "\n" << run.output;
    if (c.sent) {
        EXPECT_EQ(fileBytes(m_receivedPath), records());
        EXPECT_EQ(journalLines(m_journalPath).size(), 1u);
    } else {
        EXPECT_EQ(modeRequests(), 0u);
        EXPECT_FALSE(std::filesystem::exists(m_journalPath));
        EXPECT_TRUE(contains(run.output, "Nothing was sent.")) << run.output;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateCommandHardware,
    ::testing::Values(
        HardwareCase{"running device refused",
                     {"--hardware", "0x0092"},
                     {"--yes"},
                     1,
                     {"The file is for hardware 8.x; the device has hardware 9.2.", "--force"},
                     false},
        HardwareCase{"recovery device refused",
                     {"--recovery", "0x92"},
                     {"--yes"},
                     1,
                     {"The file is for hardware 8.x; the device has hardware 9.2.", "--force"},
                     false},
        HardwareCase{"forced",
                     {"--hardware", "0x0092", "--update-app-version", "3.4.0",
                      "--update-data-version", "1.2"},
                     // The settings of other hardware are not read.
                     {"--force", "--yes", "--no-backup"},
                     0,
                     {"warning: The file is for hardware 8.x; the device has hardware 9.2.",
                      "Device updated successfully."},
                     true}),
    [](const ::testing::TestParamInfo<HardwareCase>& info) { return testCaseName(info.param.name); });

namespace {

// How a run ended that the device did not confirm: the exit code, what is
// said (placeholders <port> and <file> for the run's own) and what the
// update records keep.
struct OutcomeCase {
    const char* name;
    std::vector<std::string> simulator;
    int exitCode;
    std::vector<std::string> lines;
    std::string recordedOutcome;
    std::string recordedRecords;
};

void PrintTo(const OutcomeCase& c, std::ostream* out)
{
    *out << c.name;
}

class UpdateCommandOutcome : public UpdateCommand,
                             public ::testing::WithParamInterface<OutcomeCase> {};

const char* const RETRY_IN_RECOVERY = "The device stays in recovery mode. Keep it connected and "
                                      "run \"zorvik update <port> <file>\" again.";
const char* const NOTHING_ANSWERS_NOW =
    "No ZORVIK Device answers now. Check the KORLINK adapter's connection and the device's "
    "power. A device whose update was cut off waits in recovery mode: keep it connected and "
    "run \"zorvik update <port> <file>\" again.";

} // namespace

TEST_P(UpdateCommandOutcome, NamesWhatHappenedAndWhatToDo)
{
    const OutcomeCase& c = GetParam();
    startSimulator(c.simulator);
    // The transfer's outcomes: the simulator's counts of answers start at it.
    const CliRun run = update(m_sim->portName(), {"--yes", "--no-backup"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    for (const std::string& line : c.lines) {
        const std::string expected = withCommands(line, m_sim->portName());
        EXPECT_TRUE(contains(run.output, expected)) << expected << "\n" << run.output;
    }
    EXPECT_FALSE(contains(run.output, "Device updated successfully.")) << run.output;

    const auto lines = journalLines(m_journalPath);
    ASSERT_EQ(lines.size(), 1u) << run.output;
    EXPECT_EQ(lines[0].at("outcome"), c.recordedOutcome);
    EXPECT_EQ(lines[0].at("records"), c.recordedRecords);
    // The reason recorded is the detail the user read.
    EXPECT_TRUE(contains(run.output, lines[0].at("reason"))) << lines[0].at("reason");
    EXPECT_FALSE(lines[0].at("reason").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateCommandOutcome,
    ::testing::Values(
        OutcomeCase{"versions differ",
                    {"--update-app-version", "3.1.7", "--update-data-version", "1.2"},
                    2,
                    {"The device does not report the versions of the update file.",
                     "The device reports 3.1.7 after the update; the file holds 3.4.0.",
                     "Run \"zorvik update <port> <file>\" to install it again."},
                    "versions differ",
                    "2/2"},
        // Four answers (device information, mode, two records), then the
        // adapter falls silent: nothing answers after the update.
        OutcomeCase{"no device after",
                    {"--silent-after", "4"},
                    2,
                    {"No ZORVIK Device answers after the update.",
                     "Every record was acknowledged, but the device did not answer afterwards.",
                     "then run \"zorvik info <port>\" to see what it runs."},
                    "no device after update",
                    "2/2"},
        OutcomeCase{"refused record",
                    {"--refuse-record", "2"},
                    2,
                    {"Device update failed.", "Record 2 of 2 was refused by the device.",
                     RETRY_IN_RECOVERY},
                    "failed",
                    "1/2"},
        OutcomeCase{"unanswered record",
                    {"--drop-record", "1"},
                    2,
                    {"Device update failed.", "Record 1 of 2 was not answered.",
                     RETRY_IN_RECOVERY},
                    "failed",
                    "0/2"},
        // The device takes mode requests only at address 3; the file names
        // addresses 1 and 0.
        OutcomeCase{"no mode answer",
                    {"--mode-target", "3", "--mode-only-target"},
                    2,
                    {"Device update failed.",
                     "The device did not accept the mode request: it never entered its "
                     "receiving mode.",
                     "The device runs firmware 3.1.7. Run \"zorvik update <port> <file>\" "
                     "to try again."},
                    "failed",
                    "0/2"},
        OutcomeCase{"adapter silent during the transfer",
                    {"--silent-during-transfer", "2"},
                    3,
                    {"Device update failed.", "The port was lost at record 2 of 2.",
                     NOTHING_ANSWERS_NOW},
                    "failed",
                    "1/2"}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return testCaseName(info.param.name); });

namespace {

// A device that takes every record and then answers only in recovery mode:
// its new firmware did not start. The simulator always starts a complete
// transfer's firmware, so this device is scripted.
ScriptedLink::Bytes recoveryAfterCompleteTransfer(const ScriptedLink::Packet& request,
                                                  size_t& recordsTaken, size_t recordCount)
{
    using ScriptedLink::Packet;
    constexpr uint8_t MODE = 0;
    constexpr uint8_t INFO_OR_RECORD = 1;
    constexpr uint8_t RECOVERY_QUERY = 2;
    const bool restarted = recordsTaken == recordCount;
    if (request.command() == MODE)
        return FrameBytes::answerTo(request, {'B'});
    if (request.command() == INFO_OR_RECORD && request.destination() == Packet::ADDRESS_FIRMWARE
        && !restarted) {
        const ZORVI::DeviceInfo info = VersionFixtures::device(0x0082, {3, 1, 7}, {1, 2});
        return FrameBytes::answerTo(request,
                                    ScriptedLink::Bytes(info.bytes.begin(), info.bytes.end()));
    }
    if (request.command() == INFO_OR_RECORD && request.destination() == Packet::ADDRESS_RECOVERY) {
        ++recordsTaken;
        return FrameBytes::answerTo(request, {0x11});
    }
    if (request.command() == RECOVERY_QUERY && request.destination() == Packet::ADDRESS_RECOVERY
        && restarted)
        return FrameBytes::answerTo(request, {0x82});
    return {};
}

} // namespace

TEST_F(UpdateCommand, RecoveryModeAfterACompleteTransferIsNotSuccess)
{
    size_t recordsTaken = 0;
    ScriptedLink::ScriptedDevice device(
        PrivateRuntimeDir::uniquePortName("ttyUPD"),
        [&recordsTaken](const ScriptedLink::Packet& request, const ScriptedLink::Bytes&) {
            return recoveryAfterCompleteTransfer(request, recordsTaken, 2);
        });
    // The scripted device has no settings to back up.
    const CliRun run = update(device.portName(), {"--yes", "--no-backup"});
    EXPECT_EQ(run.exitCode, 2) << run.output;
    for (const std::string& line :
         {std::string("The device is in recovery mode after the update."),
          std::string("Every record was acknowledged, but the device did not start its new "
                      "firmware."),
          withCommands("Keep it connected and run \"zorvik update <port> <file>\" again.",
                       device.portName())})
        EXPECT_TRUE(contains(run.output, line)) << line << "\n" << run.output;
    EXPECT_FALSE(contains(run.output, "Device updated successfully.")) << run.output;
    const auto lines = journalLines(m_journalPath);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].at("outcome"), "recovery mode after update");
    EXPECT_EQ(lines[0].at("device_after"), "recovery mode, hardware 8.2");
    EXPECT_EQ(lines[0].at("records"), "2/2");
}

TEST_F(UpdateCommand, PipeInPlaceOfTheFileIsRefusedAtOnce)
{
    const std::string fifo = m_runtimeDir.path() + "/pipe.upd";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> commands = {
        {"file", fifo},
        // Refused before any port is opened: the port need not exist.
        {"update", "ttyNONE0", fifo, "--yes"},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0]);
        const CliRun run = runZorvik(command, environment(), "", REFUSAL_TIMEOUT_MS);
        EXPECT_EQ(run.exitCode, 1) << "blocked or failed otherwise:\n" << run.output;
        EXPECT_TRUE(contains(run.output, "not a regular file")) << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(m_journalPath));
}

TEST_F(UpdateCommand, DescriptionIsShownInTheTerminalsEncoding)
{
    UpdateImage::Header fields;
    fields.kind = 2;
    // Latin-1 e acute, then an escape sequence that would turn the
    // terminal's text red, and a line break.
    fields.description = "Caf\xE9 \x1B[31mred\nnext";
    const std::string path = m_runtimeDir.path() + "/described.upd";
    std::ofstream(path, std::ios::binary)
        << UpdateImage::text(UpdateImage::join({UpdateImage::header(fields),
                                                UpdateImage::record(2)}));
    const struct {
        const char* locale;
        const char* shown;
    } cases[] = {
        {"C.UTF-8", "Description: Caf\xC3\xA9 \\x1b[31mred next\n"},
        {"C", "Description: Caf? \\x1b[31mred next\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        const CliRun run = runZorvik({"file", path}, {std::string("LC_ALL=") + c.locale});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(contains(run.output, c.shown)) << run.output;
        EXPECT_FALSE(contains(run.output, "\x1B")) << run.output;
    }
}

namespace {

// Ctrl-C (SIGINT) or SIGTERM while the records go out.
struct InterruptCase {
    const char* name;
    int signalNumber;
};

void PrintTo(const InterruptCase& c, std::ostream* out)
{
    *out << c.name;
}

class UpdateCommandInterrupted : public UpdateCommand,
                                 public ::testing::WithParamInterface<InterruptCase> {
protected:
    // The records the device acknowledged: the answers to requests at the
    // receiving address (0) once it entered its receiving mode.
    size_t acknowledgedRecords() const
    {
        size_t count = 0;
        bool receiving = false;
        bool recordPending = false;
        for (const std::string& line : m_sim->logLines()) {
            receiving = receiving || line == "event receiving";
            if (receiving && line.rfind("request dst=0 ", 0) == 0)
                recordPending = contains(line, " cmd=1 ");
            else if (recordPending && line.rfind("answer cmd=1 ", 0) == 0) {
                ++count;
                recordPending = false;
            }
        }
        return count;
    }

    bool waitForAcknowledgedRecords(size_t wanted, int timeoutMs) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (acknowledgedRecords() < wanted) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // polls the log
        }
        return true;
    }
};

constexpr uint32_t INTERRUPTED_RECORDS = 40;

} // namespace

TEST_P(UpdateCommandInterrupted, StopsBetweenRecordsSaysSoAndRecordsIt)
{
    const InterruptCase& c = GetParam();
    UpdateImage::Header fields;
    fields.hardwareMajor = 8;
    fields.application[1] = 4;
    Bytes image = UpdateImage::header(fields);
    for (uint32_t i = 0; i < INTERRUPTED_RECORDS; ++i) {
        const Bytes record = UpdateImage::record(200, static_cast<uint8_t>(i));
        image.insert(image.end(), record.begin(), record.end());
    }
    std::ofstream(m_updatePath, std::ios::binary) << UpdateImage::text(image);
    // About 40 x 120 ms of records: the signal comes long before the last.
    startSimulator({"--paced", "--answer-delay", "100"});

    CliProcess process({"update", m_sim->portName(), m_updatePath, "--yes"}, environment());
    ASSERT_TRUE(process.isStarted());
    ASSERT_TRUE(waitForAcknowledgedRecords(2, RUN_TIMEOUT_MS));
    ASSERT_EQ(::kill(process.pid(), c.signalNumber), 0);
    const int exitCode = process.finish(RUN_TIMEOUT_MS);
    const std::string& output = process.output();

    EXPECT_EQ(exitCode, 128 + c.signalNumber) << output;
    const size_t acknowledged = acknowledgedRecords();
    EXPECT_GE(acknowledged, 2u);
    EXPECT_LT(acknowledged, INTERRUPTED_RECORDS);
    const std::string stopped = "The update was stopped before record "
        + std::to_string(acknowledged + 1) + " of " + std::to_string(INTERRUPTED_RECORDS)
        + ": the program was asked to end.";
    // What to do next names this run's command again, whatever state the
    // device was found in afterwards.
    for (const std::string& line :
         {std::string("Device update interrupted."), stopped,
          withCommands("\"zorvik update <port> <file>\"", m_sim->portName()),
          "Recorded in " + m_journalPath + "."})
        EXPECT_TRUE(contains(output, line)) << line << "\n" << output;

    const auto lines = journalLines(m_journalPath);
    ASSERT_EQ(lines.size(), 1u) << output;
    EXPECT_EQ(lines[0].at("outcome"), "interrupted");
    EXPECT_EQ(lines[0].at("records"),
              std::to_string(acknowledged) + "/" + std::to_string(INTERRUPTED_RECORDS));
    EXPECT_EQ(lines[0].at("reason"), stopped);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, UpdateCommandInterrupted,
    ::testing::Values(InterruptCase{"ctrl-c", SIGINT}, InterruptCase{"sigterm", SIGTERM}),
    [](const ::testing::TestParamInfo<InterruptCase>& info) { return testCaseName(info.param.name); });

namespace {

// Values the pilot had set, far from the defaults (HeadingLockGain 0x1158,
// TailAsymmetry 0x1180, StickDeadband 0x109C, PitchBoost 0x111F).
const char* const PILOT_STATE = "0x1158 75\n0x1180 12\n0x109C 5\n0x111F 20\n";

// An update the settings software reads afterwards: 3.1.8, data 1.3, which
// the simulator reports after a transfer; it sets every parameter to its
// default on the update.
class UpdateRestore : public UpdateCommand {
protected:
    void SetUp() override
    {
        UpdateCommand::SetUp();
        UpdateImage::Header fields;
        fields.hardwareMajor = 8;
        fields.application[2] = 8;
        fields.data[1] = 3;
        m_restorePath = m_runtimeDir.path() + "/3.1.8.upd";
        std::ofstream(m_restorePath, std::ios::binary) << UpdateImage::text(
            UpdateImage::join({UpdateImage::header(fields), UpdateImage::record(40)}));
        m_statePath = m_runtimeDir.path() + "/sim.state";
        std::ofstream(m_statePath) << PILOT_STATE;
    }

    void startDevice(std::vector<std::string> more = {})
    {
        std::vector<std::string> arguments = {"--state", m_statePath, "--reset-on-update"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        startSimulator(arguments);
    }

    CliRun updateWith(std::vector<std::string> options, std::vector<std::string> environment)
    {
        std::vector<std::string> arguments = {"update", m_sim->portName(), m_restorePath};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runZorvik(arguments, environment);
    }

    std::string params() const { return runZorvik({"params", m_sim->portName()}, {}).output; }

    std::string m_restorePath;
    std::string m_statePath;
};

} // namespace

TEST_F(UpdateRestore, RestoreAfterTheUpdatePutsTheTableBackExactly)
{
    startDevice();
    const std::string before = params();
    ASSERT_TRUE(contains(before, "HeadingLockGain")) << before;
    const CliRun run = updateWith({"--yes", "--restore"}, environment());
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const std::string& line :
         {std::string("Device updated successfully."),
          std::string("The settings differ from the backup made before the update ("),
          std::string("HeadingLockGain              60       75\n"),
          std::string("Note: the file was saved under data version 1.2; this device has data "
                      "version 1.3.\n"),
          std::string("Settings restored and verified (4 written).")})
        EXPECT_TRUE(contains(run.output, line)) << line << "\n" << run.output;
    EXPECT_EQ(params(), before);
    const auto lines = journalLines(m_journalPath);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].at("backup"), backupPath(run.output));
}

TEST_F(UpdateRestore, NoRestoreAndNoTerminalKeepTheUpdatesSettingsAndNameTheLoadCommand)
{
    const struct {
        std::vector<std::string> options;
        const char* said;
    } cases[] = {
        {{"--yes", "--no-restore"}, "Not restored (--no-restore): the device keeps the settings "
                                    "the update left. To restore them later, run:\n"},
        // Standard input is not a terminal here, and nobody said.
        {{"--yes"}, "Standard input is no terminal, so nobody can confirm: the device keeps the "
                    "settings the update left. To restore them, run:\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.back());
        std::ofstream(m_statePath, std::ios::trunc) << PILOT_STATE;
        startDevice();
        const CliRun run = updateWith(c.options, environment());
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(contains(run.output, c.said)) << run.output;
        const std::string command =
            "  zorvik load " + m_sim->portName() + " " + backupPath(run.output) + "\n";
        EXPECT_TRUE(contains(run.output, command)) << command << "\n" << run.output;
        EXPECT_TRUE(contains(params(), "HeadingLockGain        0x1158 0x0051       60"))
            << params();
        // The command printed restores the backup.
        const CliRun load =
            runZorvik({"load", m_sim->portName(), backupPath(run.output), "--yes"}, {});
        EXPECT_EQ(load.exitCode, 0) << load.output;
        EXPECT_TRUE(contains(params(), "HeadingLockGain        0x1158 0x0051       75"))
            << params();
        m_sim.reset();
    }
}

TEST_F(UpdateRestore, RestoreAcrossDataVersionsLeavesOutWhatTheFirmwareLacks)
{
    startDevice({"--update-without", "0x1180"});
    const CliRun run = updateWith({"--yes", "--restore"}, environment());
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(contains(run.output, "Note: this device's firmware has no TailAsymmetry; it is "
                                     "left out.\n"))
        << run.output;
    EXPECT_TRUE(contains(run.output, "Settings restored and verified (3 written).")) << run.output;
}

TEST_F(UpdateRestore, BackupThatCannotBeSavedSendsNothing)
{
    startDevice();
    // The backups folder's place is taken by a file.
    std::filesystem::create_directories(m_runtimeDir.path() + "/state/zorvik");
    std::ofstream(m_runtimeDir.path() + "/state/zorvik/backups") << "not a folder";
    const CliRun run = updateWith({"--yes", "--restore"}, environment());
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(contains(run.output, "zorvik: no backup of the device's settings, so no update: "
                                     "the backup could not be saved: The folder "))
        << run.output;
    EXPECT_TRUE(contains(run.output, "Nothing was sent.")) << run.output;
    EXPECT_TRUE(contains(run.output, "run the command again with --no-backup")) << run.output;
    EXPECT_EQ(modeRequests(), 0u);
    EXPECT_FALSE(std::filesystem::exists(m_journalPath));
}

TEST_F(UpdateRestore, RestoreAndNoRestoreTogetherAreAUsageError)
{
    const CliRun run = runZorvik(
        {"update", "ttyNONE0", m_restorePath, "--restore", "--no-restore"}, environment());
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(contains(run.output, "usage: zorvik update")) << run.output;
}
