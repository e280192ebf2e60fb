// The simulated adapter and device, driven without a terminal.

#include "EngineHarness.h"
#include "FolderContents.h"
#include "PrivateRuntimeDir.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/resource.h>

namespace {

using Device = ZORVI::Simulator::DeviceSimulator;
using Packet = ZORVI::Communication::Packet;

constexpr int32_t FIRMWARE = 1;
constexpr int32_t RECOVERY = 0;

// ---- device information -------------------------------------------------

struct InfoCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* payload;
};

void PrintTo(const InfoCase& c, std::ostream* out)
{
    *out << c.name;
}

class DeviceInfoAnswer : public ::testing::TestWithParam<InfoCase> {};

TEST_P(DeviceInfoAnswer, CarriesVersionsSerialAndTokenFromTheOptions)
{
    EngineHarness sim(GetParam().arguments);
    const auto answer = sim.ask(FIRMWARE, 1);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->crcAccepted);
    EXPECT_EQ(answer->destination, Packet::ADDRESS_HOST);
    EXPECT_EQ(answer->source, FIRMWARE);
    EXPECT_EQ(answer->command, 1);
    EXPECT_EQ(answer->payload, hexBytes(GetParam().payload));
}

INSTANTIATE_TEST_SUITE_P(
    Options, DeviceInfoAnswer,
    ::testing::Values(
        InfoCase{"Defaults", {},
                 "0001 0002 0003 0001 0007 0082 5a17c308e24d912be6703fa4 1234"},
        InfoCase{"WithoutToken", {"--info-24"},
                 "0001 0002 0003 0001 0007 0082 5a17c308e24d912be6703fa4"},
        InfoCase{"Identity",
                 {"--app-version", "4.10.300", "--data-version", "2.0", "--hardware", "0x0093",
                  "--serial", "0102030405060708090a0b0c", "--token", "abcd"},
                 "0002 0000 0004 000a 012c 0093 0102030405060708090a0b0c abcd"},
        InfoCase{"RawShortAnswer", {"--info", "e0e1e2"}, "e0e1e2"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the adapter's echo --------------------------------------------------

TEST(AdapterEcho, EchoesTheProbeAndEveryFrameBeforeTheAnswer)
{
    EngineHarness sim;
    const Bytes probe = {'Z', 'O', 'R', 'V', 'I', 'K', 0};
    EXPECT_EQ(sim.feed(probe), probe);

    const Bytes request = FrameBytes::request(FIRMWARE, 1, {});
    const Bytes back = sim.feed(request);
    ASSERT_GT(back.size(), request.size());
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 2), request);
    EXPECT_EQ(EngineHarness::framesIn(Bytes(back.begin() + 2, back.end())).size(), 1u);
    EXPECT_EQ(sim.log.front(), "probe 5a4f5256494b00");
}

TEST(AdapterEcho, FollowsAFrameSplitAcrossReads)
{
    EngineHarness sim;
    const Bytes request = FrameBytes::request(FIRMWARE, 3, {0x00, 0x16});
    const Bytes first(request.begin(), request.begin() + 3);
    const Bytes rest(request.begin() + 3, request.end());
    EXPECT_EQ(sim.feed(first), first);
    const Bytes back = sim.feed(rest);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + rest.size()), rest);
    EXPECT_EQ(EngineHarness::framesIn(Bytes(back.begin() + rest.size(), back.end())).size(), 1u);
}

TEST(AdapterEcho, NoEchoLeavesOnlyTheAnswer)
{
    EngineHarness sim({"--no-echo"});
    EXPECT_TRUE(sim.feed({'Z', 'O', 'R', 'V', 'I', 'K', 0}).empty());
    const Bytes back = sim.feed(FrameBytes::request(FIRMWARE, 1, {}));
    const auto frames = EngineHarness::framesIn(back);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(EngineHarness::decode(frames[0]).payload.size(), 26u);
}

// The host must read a whole frame that differs, not wait for one: the
// corrupted echo keeps the frame's length and shape.
TEST(AdapterEcho, CorruptEchoChangesOneByteAndKeepsTheFrameShape)
{
    const Bytes requests[] = {FrameBytes::request(FIRMWARE, 1, {}),
                              FrameBytes::request(FIRMWARE, 3, {0x00, 0x16, 0x05}),
                              FrameBytes::request(FIRMWARE, 4, {0xE7, 0x00, 0x11})};
    for (const Bytes& request : requests) {
        EngineHarness sim({"--corrupt-echo"});
        const Bytes back = sim.feed(request);
        const auto frames = EngineHarness::framesIn(back);
        ASSERT_GE(frames.size(), 1u);
        const Bytes& echo = frames.front();
        ASSERT_EQ(echo.size(), request.size());
        size_t differences = 0;
        for (size_t i = 0; i < echo.size(); ++i)
            differences += echo[i] != request[i];
        EXPECT_EQ(differences, 1u);
    }
}

// ---- descriptors ---------------------------------------------------------

TEST(Descriptors, KnownIdsCarryTheirWordsUnknownOnesAStatusAlone)
{
    EngineHarness sim;
    const auto answer = sim.ask(FIRMWARE, 2, {0x10, 0x00, 0x05});
    ASSERT_TRUE(answer);
    // 0x1000 and 0x1004 exist; 0x1001 to 0x1003 do not.
    EXPECT_EQ(answer->payload, hexBytes("00 0010 0000 0005 0001"
                                        " 05 05 05"
                                        " 00 0011 0032 00c8 0032"));
}

TEST(Descriptors, SignedLimitsGoOutAsTwosComplementWords)
{
    EngineHarness sim;
    const auto answer = sim.ask(FIRMWARE, 2, {0x11, 0x74, 0x01});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload, hexBytes("00 0061 ffff 0001 0001"));
}

TEST(Descriptors, RequestWithoutCountIsRefusedWithOneStatusByte)
{
    EngineHarness sim;
    const auto answer = sim.ask(FIRMWARE, 2, {0x10, 0x00});
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->payload.size(), 1u);
    EXPECT_NE(answer->payload[0], 0);
}

// ---- values --------------------------------------------------------------

TEST(ReadValues, OneWordWithoutCountByteAndARunWithIt)
{
    EngineHarness sim;
    const auto one = sim.ask(FIRMWARE, 3, {0x00, 0x23});
    ASSERT_TRUE(one);
    EXPECT_EQ(one->payload, hexBytes("05f0 00")); // TailServoCPPL 1520

    // Servo angles and travels: 0, 120, 240, 1000, 1000 then status 0.
    const auto run = sim.ask(FIRMWARE, 3, {0x00, 0x16, 0x05});
    ASSERT_TRUE(run);
    EXPECT_EQ(run->payload, hexBytes("0000 0078 00f0 03e8 03e8 00"));
}

TEST(ReadValues, WordsWithoutParameterReadErasedAndBeyondMemoryIsRefused)
{
    EngineHarness sim;
    const auto gap = sim.ask(FIRMWARE, 3, {0x00, 0x12, 0x02});
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap->payload, hexBytes("ffff ffff 00"));

    const auto beyond = sim.ask(FIRMWARE, 3, {0x03, 0xFF, 0x02});
    ASSERT_TRUE(beyond);
    ASSERT_EQ(beyond->payload.size(), 1u);
    EXPECT_NE(beyond->payload[0], 0);
}

// ---- parameters left out or moved ------------------------------------------

struct Exchange {
    uint8_t command;
    const char* request;
    const char* answer;
};

struct ShapeCase {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<Exchange> exchanges; // in this order, on one device
};

void PrintTo(const ShapeCase& c, std::ostream* out)
{
    *out << c.name;
}

class ShapedTable : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ShapedTable, AnswersAsTheOptionsDescribeIt)
{
    EngineHarness sim(GetParam().arguments);
    ASSERT_TRUE(sim.parsed);
    for (const Exchange& exchange : GetParam().exchanges) {
        const auto answer = sim.ask(FIRMWARE, exchange.command, hexBytes(exchange.request));
        ASSERT_TRUE(answer) << exchange.request;
        EXPECT_EQ(answer->payload, hexBytes(exchange.answer))
            << "cmd " << int(exchange.command) << " " << exchange.request;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, ShapedTable,
    ::testing::Values(
        // SwashServoFrequency (0x1004 at 0x0011) is missing from the firmware.
        ShapeCase{"LeftOutIdIsDescribedAsUnknown",
                  {"--without", "0x1004"},
                  {{2, "1000 05", "00 0010 0000 0005 0001 05 05 05 05"}}},
        ShapeCase{"LeftOutWordReadsErasedAndRefusesWrites",
                  {"--without", "0x1004"},
                  {{3, "0010 02", "0001 ffff 00"},
                   {4, "81 0011 0064", "05"},
                   {4, "0010 02 0002 0064", "05"},
                   {3, "0010 02", "0001 ffff 00"},
                   {4, "81 0010 0002", "00"},
                   {3, "0010", "0002 00"}}},
        // TailAsymmetry (0x1180, -100..100) from 0x0064 to 0x0200.
        ShapeCase{"MovedParameterIsDescribedReadAndWrittenAtItsNewAddress",
                  {"--address", "0x1180=0x0200"},
                  {{2, "1180 01", "00 0200 ff9c 0064 0000"},
                   {4, "81 0200 ffce", "00"},
                   {3, "0200", "ffce 00"},
                   {4, "0200 01 0005", "00"},
                   {3, "01ff 03", "ffff 0005 ffff 00"}}},
        ShapeCase{"OldAddressOfAMovedParameterHoldsNone",
                  {"--address", "0x1180=0x0200"},
                  {{3, "0062 03", "0000 0000 ffff 00"}, {4, "81 0064 0000", "05"}}},
        ShapeCase{"SwappedAddresses",
                  {"--address", "0x1000=0x0011", "--address", "0x1004=0x0010"},
                  {{2, "1000 05", "00 0011 0000 0005 0001 05 05 05 00 0010 0032 00c8 0032"},
                   {3, "0010 02", "0032 0001 00"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- writes --------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* payload;
    uint8_t status;
    int32_t frequency; // SwashServoFrequency (0x0011) afterwards
    int32_t torque;    // TorqueDirection (0x0061) afterwards
};

void PrintTo(const WriteCase& c, std::ostream* out)
{
    *out << c.name;
}

class WriteParameters : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteParameters, StoresAllValuesOrNone)
{
    const WriteCase& c = GetParam();
    EngineHarness sim(c.arguments);
    const auto answer = sim.ask(FIRMWARE, 4, hexBytes(c.payload));
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->payload.size(), 1u);
    EXPECT_EQ(answer->payload[0], c.status);
    int32_t frequency = 0, torque = 0;
    ASSERT_TRUE(sim.parameters.value(0x1004, frequency));
    ASSERT_TRUE(sim.parameters.value(0x1174, torque));
    EXPECT_EQ(frequency, c.frequency);
    EXPECT_EQ(torque, c.torque);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WriteParameters,
    ::testing::Values(
        WriteCase{"ListLayout", {}, "82 0011 0064 0061 ffff", 0, 100, -1},
        WriteCase{"BlockLayout", {}, "0060 02 0003 ffff", 0, 50, -1},
        WriteCase{"OutOfRangeStoresNothing", {}, "82 0011 0064 0061 0002", 3, 50, 1},
        WriteCase{"UnknownAddressStoresNothing", {}, "82 0011 0064 0012 0000", 5, 50, 1},
        WriteCase{"LengthNotMatchingCount", {}, "83 0011 0064 0061 ffff", 4, 50, 1},
        WriteCase{"RefusedByOption", {"--refuse-writes"}, "81 0011 0064", 1, 50, 1},
        // A device that stores other values than it acknowledges: one up
        // where the limits allow (-1 becomes 0), one down at the maximum.
        WriteCase{"AlteredUpward", {"--alter-writes"}, "82 0011 0064 0061 ffff", 0, 101, 0},
        WriteCase{"AlteredDownwardAtTheMaximum", {"--alter-writes"}, "82 0011 00c8 0061 0001",
                  0, 199, 0},
        WriteCase{"AlteredButOutOfRangeStoresNothing", {"--alter-writes"},
                  "82 0011 0064 0061 0002", 3, 50, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteParameters, WrittenValuesReadBackSigned)
{
    EngineHarness sim;
    ASSERT_TRUE(sim.ask(FIRMWARE, 4, hexBytes("82 0064 ff9c 0063 0032")));
    const auto answer = sim.ask(FIRMWARE, 3, {0x00, 0x63, 0x02});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload, hexBytes("0032 ff9c 00"));
}

// The log shows the request as sent; what was stored in its place must be
// told as well, or the log would lie about what the device holds. A word
// stored as sent gets no line.
TEST(WriteParameters, AlteredWritesAreLoggedAsStored)
{
    EngineHarness sim({"--alter-writes"});
    ASSERT_TRUE(sim.ask(FIRMWARE, 4, hexBytes("83 0011 0064 0061 ffff 0031 0009")));
    std::vector<std::string> altered;
    std::copy_if(sim.log.begin(), sim.log.end(), std::back_inserter(altered),
                 [](const std::string& line) { return line.rfind("event altered ", 0) == 0; });
    const std::vector<std::string> expected = {
        "event altered address=0011 sent=0064 stored=0065",
        "event altered address=0061 sent=ffff stored=0000",
        "event altered address=0031 sent=0009 stored=000a"};
    EXPECT_EQ(altered, expected);
    const auto answer = sim.ask(FIRMWARE, 3, {0x00, 0x31, 0x01});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload, hexBytes("000a 00"));
}

TEST(WriteParameters, AcceptedWritesReachTheStateFileAtOnce)
{
    PrivateRuntimeDir directory;
    const std::string path = directory.path() + "/state.txt";
    EngineHarness sim;
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(sim.parameters.attachStateFile(path, error, warnings)) << error;

    ASSERT_TRUE(sim.ask(FIRMWARE, 4, hexBytes("81 0064 ffce")));
    ZORVI::Simulator::ParameterTable reloaded;
    ASSERT_TRUE(reloaded.attachStateFile(path, error, warnings)) << error;
    int32_t asymmetry = 0;
    ASSERT_TRUE(reloaded.value(0x1180, asymmetry));
    EXPECT_EQ(asymmetry, -50);
}

// ---- a write whose state cannot be saved -----------------------------------

// Ways the state file stops being savable while the simulator runs (the
// folder holds state.txt), each undone by `undo`. The tests may run as
// root, for whom a read-only folder is no obstacle.
struct SaveFault {
    const char* name;
    void (*make)(const std::string& folder);
    void (*undo)(const std::string& folder);
};

void PrintTo(const SaveFault& c, std::ostream* out)
{
    *out << c.name;
}

// A full disk, as far as this process is concerned: writes beyond a few
// bytes fail with EFBIG (SIGXFSZ ignored, or it would end the process).
rlimit g_fileSizeLimit{};
void (*g_fileSizeSignal)(int) = SIG_DFL;

void limitFileSize(const std::string&)
{
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &g_fileSizeLimit), 0);
    g_fileSizeSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = g_fileSizeLimit;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
}

void liftFileSizeLimit(const std::string&)
{
    setrlimit(RLIMIT_FSIZE, &g_fileSizeLimit);
    std::signal(SIGXFSZ, g_fileSizeSignal);
}

// No new file can be made beside the state file: its folder is now a file.
void replaceFolderByFile(const std::string& folder)
{
    std::filesystem::rename(folder, folder + ".away");
    std::ofstream(folder) << "a file where the folder was\n";
}

void bringFolderBack(const std::string& folder)
{
    std::filesystem::remove(folder);
    std::filesystem::rename(folder + ".away", folder);
}

// The new file is written, but cannot replace the state file, which is now
// a directory.
void replaceStateByDirectory(const std::string& folder)
{
    std::filesystem::rename(folder + "/state.txt", folder + "/state.away");
    std::filesystem::create_directory(folder + "/state.txt");
}

void bringStateBack(const std::string& folder)
{
    std::filesystem::remove(folder + "/state.txt");
    std::filesystem::rename(folder + "/state.away", folder + "/state.txt");
}

// Undoes the fault however the test ends.
class FaultInPlace {
public:
    FaultInPlace(const SaveFault& fault, const std::string& folder)
        : m_fault(fault)
        , m_folder(folder)
    {
        m_fault.make(m_folder);
    }
    ~FaultInPlace() { m_fault.undo(m_folder); }
    FaultInPlace(const FaultInPlace&) = delete;
    FaultInPlace& operator=(const FaultInPlace&) = delete;

private:
    const SaveFault& m_fault;
    std::string m_folder;
};

class UnsavedWrite : public ::testing::TestWithParam<SaveFault> {};

TEST_P(UnsavedWrite, IsRefusedAndLeavesMemoryAndFileAsTheyWere)
{
    PrivateRuntimeDir directory;
    const std::string folder = directory.path() + "/device";
    const std::string path = folder + "/state.txt";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    EngineHarness sim;
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(sim.parameters.attachStateFile(path, error, warnings)) << error;
    auto writeStatus = [&sim](const char* payload) {
        const auto answer = sim.ask(FIRMWARE, 4, hexBytes(payload));
        return answer ? answer->payload : Bytes{};
    };
    const char* tailFrequency333 = "81 0021 014d";
    const char* tailFrequency444 = "81 0021 01bc";
    ASSERT_EQ(writeStatus(tailFrequency333), Bytes{ZORVI::Protocol::STATUS_OK});
    const std::string saved = readText(path);
    ASSERT_NE(saved.find("0x105C 333\n"), std::string::npos) << saved;

    // Only the write and the read-back while the fault is in place: with a
    // file size limit, even a failure message may not reach its file.
    Bytes refused;
    std::optional<DecodedAnswer> readBack;
    {
        FaultInPlace fault(GetParam(), folder);
        ASSERT_FALSE(HasFatalFailure());
        refused = writeStatus(tailFrequency444);
        readBack = sim.ask(FIRMWARE, 3, {0x00, 0x21});
    }
    EXPECT_EQ(refused, Bytes{ZORVI::Protocol::STATUS_STORE_FAILED});
    ASSERT_TRUE(readBack);
    EXPECT_EQ(readBack->payload, hexBytes("014d 00"));
    const auto said = std::find_if(sim.log.begin(), sim.log.end(), [](const std::string& line) {
        return line.rfind("event state-error cannot save state file ", 0) == 0;
    });
    EXPECT_NE(said, sim.log.end());

    // With the fault undone, the file is as it was, nothing is left beside
    // it, and the same write is stored.
    EXPECT_EQ(readText(path), saved);
    EXPECT_EQ(entriesOf(folder), std::set<std::string>{"state.txt"});
    EXPECT_EQ(writeStatus(tailFrequency444), Bytes{ZORVI::Protocol::STATUS_OK});
    EXPECT_NE(readText(path).find("0x105C 444\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnsavedWrite,
    ::testing::Values(SaveFault{"DiskFull", limitFileSize, liftFileSizeLimit},
                      SaveFault{"FolderReplacedByAFile", replaceFolderByFile, bringFolderBack},
                      SaveFault{"StateReplacedByADirectory", replaceStateByDirectory,
                                bringStateBack}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- handshake -----------------------------------------------------------

TEST(Handshake, AcceptsOnlyTheInvertedToken)
{
    EngineHarness sim;
    const auto good = sim.ask(FIRMWARE, 11, hexBytes("5b edcb"));
    ASSERT_TRUE(good);
    ASSERT_EQ(good->payload.size(), 3u);
    EXPECT_EQ(good->payload[2], 0);

    for (const char* wrong : {"5b 1234", "5b edca", "5a edcb", "5b ed"}) {
        const auto bad = sim.ask(FIRMWARE, 11, hexBytes(wrong));
        ASSERT_TRUE(bad) << wrong;
        ASSERT_EQ(bad->payload.size(), 3u) << wrong;
        EXPECT_NE(bad->payload[2], 0) << wrong;
    }
}

TEST(Handshake, FollowsTheTokenOption)
{
    EngineHarness sim({"--token", "abcd"});
    const auto answer = sim.ask(FIRMWARE, 11, hexBytes("5b 5432"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload[2], 0);
}

// ---- what gets no answer -------------------------------------------------

TEST(Requests, WrongCrcIsEchoedButNotAnswered)
{
    EngineHarness sim;
    Bytes request = FrameBytes::request(FIRMWARE, 3, {0x00, 0x16});
    request[request.size() - 3] ^= 0x01; // CRC low byte
    EXPECT_EQ(sim.feed(request), request);
    EXPECT_EQ(sim.log.back().rfind("refused ", 0), 0u) << sim.log.back();
}

TEST(Requests, UnknownCommandsAndOtherAddressesGetNoAnswer)
{
    EngineHarness sim;
    EXPECT_FALSE(sim.ask(FIRMWARE, 7));
    EXPECT_FALSE(sim.ask(RECOVERY, 2)); // the boot loader is not running
    EXPECT_FALSE(sim.ask(Packet::ADDRESS_DEVICE_3, 1));
}

// ---- recovery mode -------------------------------------------------------

TEST(RecoveryMode, OnlyAddressZeroAnswersWithItsHardwareByte)
{
    EngineHarness sim({"--recovery", "0x81"});
    const auto answer = sim.ask(RECOVERY, 2);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->source, RECOVERY);
    EXPECT_EQ(answer->command, 2);
    EXPECT_EQ(answer->payload, Bytes{0x81});
    EXPECT_TRUE(answer->crcAccepted); // between 0 and 6: no CRC to check

    EXPECT_FALSE(sim.ask(FIRMWARE, 1));
    EXPECT_FALSE(sim.ask(FIRMWARE, 11, hexBytes("5b edcb")));
    EXPECT_FALSE(sim.ask(FIRMWARE, 2, {0x10, 0x00, 0x01}));
}

// ---- faults --------------------------------------------------------------

TEST(Faults, NoAnswerStillEchoes)
{
    EngineHarness sim({"--no-answer"});
    EXPECT_FALSE(sim.ask(FIRMWARE, 1));
    EXPECT_EQ(sim.log.back(), "answer none");
}

TEST(Faults, BadCrcAnswerKeepsItsShapeButFailsTheCheck)
{
    EngineHarness sim({"--bad-crc"});
    const auto answer = sim.ask(FIRMWARE, 1);
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->crcAccepted);
    EXPECT_EQ(answer->source, FIRMWARE); // the header is intact
}

TEST(Faults, SilentAfterAnsweredTransactions)
{
    EngineHarness sim({"--silent-after", "2"});
    EXPECT_TRUE(sim.ask(FIRMWARE, 1));
    EXPECT_FALSE(sim.ask(FIRMWARE, 7)); // not answered: does not count
    EXPECT_TRUE(sim.ask(FIRMWARE, 11, hexBytes("5b edcb")));
    EXPECT_TRUE(sim.feed(FrameBytes::request(FIRMWARE, 1, {})).empty());
    EXPECT_TRUE(sim.feed({'Z', 'O', 'R', 'V', 'I', 'K', 0}).empty());
    EXPECT_EQ(sim.device->mode(), Device::Mode::Silent);
}

TEST(Faults, SilentAfterZeroIsAnUnpluggedAdapter)
{
    EngineHarness sim({"--silent-after", "0"});
    EXPECT_TRUE(sim.feed({'Z', 'O', 'R', 'V', 'I', 'K', 0}).empty());
}

// The battery pulled, the adapter still plugged in: every byte is echoed,
// nothing is answered.
TEST(Faults, DeviceSilentAfterAnsweredTransactionsStillEchoes)
{
    EngineHarness sim({"--device-silent-after", "1"});
    EXPECT_TRUE(sim.ask(FIRMWARE, 1));
    const Bytes request = FrameBytes::request(FIRMWARE, 11, hexBytes("5b edcb"));
    EXPECT_EQ(sim.feed(request), request) << "the echo alone";
    EXPECT_EQ(sim.log.back(), "answer none");
    const Bytes probe = {'Z', 'O', 'R', 'V', 'I', 'K', 0};
    EXPECT_EQ(sim.feed(probe), probe);
    EXPECT_EQ(sim.device->mode(), Device::Mode::Firmware);
}

// The write takes, its answer never comes: what the host cannot know.
TEST(Faults, LostWriteAnswerStoresTheWrite)
{
    EngineHarness sim({"--lose-write-answers"});
    EXPECT_FALSE(sim.ask(FIRMWARE, 4, hexBytes("81 0031 0009")));
    EXPECT_EQ(sim.log.back().rfind("answer lost cmd=4", 0), 0u) << sim.log.back();
    int32_t value = 0;
    ASSERT_TRUE(sim.parameters.value(0x109C, value));
    EXPECT_EQ(value, 9);
    EXPECT_TRUE(sim.ask(FIRMWARE, 1)) << "other requests are answered";
}

// ---- a slow device ----------------------------------------------------------

constexpr std::chrono::milliseconds DELAY(300);

TEST(AnswerDelay, TheEchoGoesAtOnceTheAnswerWhenTheDelayIsOver)
{
    EngineHarness sim({"--answer-delay", "300"});
    const Bytes request = FrameBytes::request(FIRMWARE, 3, {0x00, 0x23});
    EXPECT_EQ(sim.feed(request), request);
    EXPECT_EQ(sim.device->nextDeadline(), sim.now + DELAY);
    EXPECT_TRUE(sim.wait(DELAY - std::chrono::milliseconds(1)).empty());
    // The log tells of an answer only once it has gone out.
    EXPECT_EQ(sim.log, std::vector<std::string>{"request dst=1 src=6 cmd=3 payload=0023"});

    const auto frames = EngineHarness::framesIn(sim.wait(std::chrono::milliseconds(1)));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(EngineHarness::decode(frames[0]).payload, hexBytes("05f0 00"));
    EXPECT_EQ(sim.log.back(), "answer cmd=3 payload=05f000");
    EXPECT_FALSE(sim.device->nextDeadline());
}

// Each answer is due a delay after its own request; the adapter echoes the
// second request while the first answer is still on its way.
TEST(AnswerDelay, RequestsMeanwhileAreEchoedAndAnsweredInTurn)
{
    EngineHarness sim({"--answer-delay", "300"});
    const Bytes first = FrameBytes::request(FIRMWARE, 3, {0x00, 0x23});
    const Bytes second = FrameBytes::request(FIRMWARE, 3, {0x00, 0x61});
    EXPECT_EQ(sim.feed(first), first);
    EXPECT_TRUE(sim.wait(std::chrono::milliseconds(100)).empty());
    EXPECT_EQ(sim.feed(second), second);

    const auto firstAnswer =
        EngineHarness::framesIn(sim.wait(DELAY - std::chrono::milliseconds(100)));
    ASSERT_EQ(firstAnswer.size(), 1u);
    EXPECT_EQ(EngineHarness::decode(firstAnswer[0]).payload, hexBytes("05f0 00"));
    const auto secondAnswer = EngineHarness::framesIn(sim.wait(std::chrono::milliseconds(100)));
    ASSERT_EQ(secondAnswer.size(), 1u);
    EXPECT_EQ(EngineHarness::decode(secondAnswer[0]).payload, hexBytes("0001 00"));
}

// The adapter is unplugged once the first answer has gone out: an answer
// still on its way then never arrives, and the log does not claim it.
TEST(AnswerDelay, SilentAfterTheLastAnswerDropsTheOnesOnTheirWay)
{
    EngineHarness sim({"--answer-delay", "300", "--silent-after", "1"});
    sim.feed(FrameBytes::request(FIRMWARE, 1, {}));
    sim.wait(std::chrono::milliseconds(100));
    EXPECT_FALSE(sim.feed(FrameBytes::request(FIRMWARE, 3, {0x00, 0x23})).empty())
        << "still plugged in: echoed";
    EXPECT_EQ(EngineHarness::framesIn(sim.wait(DELAY)).size(), 1u);
    EXPECT_EQ(sim.device->mode(), Device::Mode::Silent);
    EXPECT_FALSE(sim.device->nextDeadline());
    EXPECT_TRUE(sim.wait(DELAY).empty());
    EXPECT_EQ(std::count_if(sim.log.begin(), sim.log.end(),
                            [](const std::string& line) { return line.rfind("answer ", 0) == 0; }),
              1);
}

// ---- the transaction log -------------------------------------------------

TEST(TransactionLog, RequestAndAnswerLines)
{
    EngineHarness sim;
    sim.ask(FIRMWARE, 3, {0x00, 0x61});
    sim.ask(FIRMWARE, 1);
    sim.ask(FIRMWARE, 9);
    const std::vector<std::string> expected = {
        "request dst=1 src=6 cmd=3 payload=0061",
        "answer cmd=3 payload=000100",
        "request dst=1 src=6 cmd=1 payload=",
        "answer cmd=1 payload=0001000200030001000700825a17c308e24d912be6703fa41234",
        "request dst=1 src=6 cmd=9 payload=",
        "answer none",
    };
    EXPECT_EQ(sim.log, expected);
}

} // namespace
