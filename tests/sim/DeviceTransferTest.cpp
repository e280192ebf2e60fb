// The simulated device's receiving mode: the mode request, the update
// records and the restart with the new firmware.

#include "EngineHarness.h"
#include "PrivateRuntimeDir.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using Device = ZORVI::Simulator::DeviceSimulator;
using Packet = ZORVI::Communication::Packet;
using std::chrono::milliseconds;

constexpr int32_t FIRMWARE = Packet::ADDRESS_FIRMWARE;
constexpr int32_t RECOVERY = Packet::ADDRESS_RECOVERY;
constexpr int32_t DEVICE_3 = Packet::ADDRESS_DEVICE_3;
using ZORVI::Protocol::COMMAND_DESCRIPTORS;
using ZORVI::Protocol::COMMAND_DEVICE_INFO;
using ZORVI::Protocol::COMMAND_MODE;
using ZORVI::Protocol::COMMAND_RECORD;
using ZORVI::Protocol::RECORD_ACKNOWLEDGE;

const char* const MODE_B_TO_FIRMWARE = "4b7e219c bd42";

// Records as an update file carries them: a length field, then data that
// includes bytes the packet layer must escape.
const std::vector<Bytes> RECORDS = {hexBytes("0006 e0e7 1122"), hexBytes("0005 00ff e6"),
                                    hexBytes("0004 1234")};

Bytes concatenated(const std::vector<Bytes>& records)
{
    Bytes all;
    for (const Bytes& record : records)
        all.insert(all.end(), record.begin(), record.end());
    return all;
}

// ---- the mode request ------------------------------------------------------

struct ModeCase {
    const char* name;
    int32_t destination;
    const char* payload;
    bool answered;
};

void PrintTo(const ModeCase& c, std::ostream* out)
{
    *out << c.name;
}

class ModeRequest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeRequest, OnlyTheLayoutOfTheAddressWithLetterBEntersReceiving)
{
    const ModeCase& c = GetParam();
    EngineHarness sim;
    const auto answer = sim.ask(c.destination, COMMAND_MODE, hexBytes(c.payload));
    EXPECT_EQ(answer.has_value(), c.answered);
    EXPECT_EQ(sim.device->mode(), c.answered ? Device::Mode::Receiving : Device::Mode::Firmware);
    if (answer) {
        // The boot loader at the mode target answers, whoever was asked.
        EXPECT_EQ(answer->source, RECOVERY);
        EXPECT_EQ(answer->destination, Packet::ADDRESS_HOST);
        EXPECT_EQ(answer->command, COMMAND_MODE);
        EXPECT_FALSE(answer->payload.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ModeRequest,
    ::testing::Values(ModeCase{"FirmwareWithUnlockPrefix", FIRMWARE, MODE_B_TO_FIRMWARE, true},
                      ModeCase{"FirmwareWrongPrefix", FIRMWARE, "4b7e219d bd42", false},
                      ModeCase{"FirmwareLetterNotInverted", FIRMWARE, "4b7e219c 4242", false},
                      ModeCase{"FirmwareWithoutPrefix", FIRMWARE, "bd42", false},
                      ModeCase{"BootLoaderLetter", RECOVERY, "42", true},
                      ModeCase{"BootLoaderOtherLetter", RECOVERY, "52", false},
                      ModeCase{"Device3InvertedAndPlain", DEVICE_3, "bd42", true},
                      ModeCase{"Device3PlainOnly", DEVICE_3, "42", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a whole transfer ------------------------------------------------------

class Transfer : public ::testing::Test {
protected:
    // Sends every record to the target and expects each acknowledged.
    static void sendAll(EngineHarness& sim, int32_t target, int32_t answerSource)
    {
        for (const Bytes& record : RECORDS) {
            const auto ack = sim.ask(target, COMMAND_RECORD, record);
            ASSERT_TRUE(ack);
            EXPECT_TRUE(ack->crcAccepted);
            EXPECT_EQ(ack->source, answerSource);
            EXPECT_EQ(ack->payload, Bytes{RECORD_ACKNOWLEDGE});
        }
    }

    static Bytes firmwareVersions(EngineHarness& sim)
    {
        const auto info = sim.ask(FIRMWARE, COMMAND_DEVICE_INFO);
        EXPECT_TRUE(info);
        return info ? Bytes(info->payload.begin(), info->payload.begin() + 10) : Bytes();
    }

    PrivateRuntimeDir m_directory;
};

TEST_F(Transfer, RecordsAreStoredAndTheDeviceRestartsWithTheNewVersions)
{
    const std::string imagePath = m_directory.path() + "/image.bin";
    EngineHarness sim({"--save-image", imagePath});
    ASSERT_TRUE(sim.ask(FIRMWARE, COMMAND_MODE, hexBytes(MODE_B_TO_FIRMWARE)));
    sim.wait(milliseconds(400)); // the host's pause before the first record
    ASSERT_EQ(sim.device->mode(), Device::Mode::Receiving);
    sendAll(sim, RECOVERY, RECOVERY);

    const Bytes image = concatenated(RECORDS);
    EXPECT_EQ(sim.device->receiver().image(), image);
    std::ifstream in(imagePath, std::ios::binary);
    EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), {}), image);

    sim.wait(milliseconds(299));
    EXPECT_EQ(sim.device->mode(), Device::Mode::Receiving);
    EXPECT_FALSE(sim.ask(FIRMWARE, COMMAND_DEVICE_INFO)); // still in the boot loader
    sim.wait(milliseconds(1));
    EXPECT_EQ(sim.device->mode(), Device::Mode::Firmware);
    EXPECT_EQ(firmwareVersions(sim), hexBytes("0001 0003 0003 0001 0008"));
    EXPECT_EQ(sim.log.back(),
              "answer cmd=1 payload=0001000300030001000800825a17c308e24d912be6703fa41234");
}

TEST_F(Transfer, UpdateVersionsAndRestartDelayComeFromTheOptions)
{
    EngineHarness sim({"--update-app-version", "3.2.0", "--update-data-version", "2.1",
                       "--restart-delay", "50"});
    ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
    sendAll(sim, RECOVERY, RECOVERY);
    sim.wait(milliseconds(50));
    EXPECT_EQ(firmwareVersions(sim), hexBytes("0002 0001 0003 0002 0000"));
}

TEST_F(Transfer, TargetOneCarriesCrcBothWays)
{
    EngineHarness sim({"--mode-target", "1"});
    const auto answer = sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->source, FIRMWARE);
    EXPECT_TRUE(answer->crcAccepted);
    sendAll(sim, FIRMWARE, FIRMWARE);
    EXPECT_EQ(sim.device->receiver().recordCount(), RECORDS.size());
}

TEST_F(Transfer, TargetThreeAnswersWithItsOwnCode)
{
    EngineHarness sim({"--mode-target", "3"});
    const auto answer = sim.ask(FIRMWARE, COMMAND_MODE, hexBytes(MODE_B_TO_FIRMWARE));
    ASSERT_TRUE(answer);
    // Address code 3 reads as address 2 on the host's side.
    EXPECT_EQ(answer->source, Packet::ADDRESS_DEVICE_2);
    sendAll(sim, DEVICE_3, Packet::ADDRESS_DEVICE_2);
}

TEST_F(Transfer, ModeOnlyTargetIgnoresTheEntryAddress)
{
    EngineHarness sim({"--mode-only-target"});
    EXPECT_FALSE(sim.ask(FIRMWARE, COMMAND_MODE, hexBytes(MODE_B_TO_FIRMWARE)));
    EXPECT_EQ(sim.device->mode(), Device::Mode::Firmware);
    EXPECT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
}

TEST_F(Transfer, ANewModeRequestStartsTheTransferAgain)
{
    EngineHarness sim;
    ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
    sendAll(sim, RECOVERY, RECOVERY);
    EXPECT_FALSE(sim.ask(FIRMWARE, COMMAND_DEVICE_INFO)); // other traffic is ignored meanwhile
    EXPECT_FALSE(sim.ask(RECOVERY, COMMAND_RECORD)); // a record has a payload
    ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
    ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_RECORD, RECORDS[2]));
    EXPECT_EQ(sim.device->receiver().recordCount(), 1u);
    EXPECT_EQ(sim.device->receiver().image(), RECORDS[2]);
}

TEST_F(Transfer, ADeviceInRecoveryModeIsUpdatedThroughItsBootLoader)
{
    EngineHarness sim({"--recovery", "0x81"});
    EXPECT_FALSE(sim.ask(FIRMWARE, COMMAND_MODE, hexBytes(MODE_B_TO_FIRMWARE)));
    ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
    sendAll(sim, RECOVERY, RECOVERY);
    sim.wait(milliseconds(300));
    EXPECT_EQ(firmwareVersions(sim), hexBytes("0001 0003 0003 0001 0008"));
    EXPECT_FALSE(sim.ask(RECOVERY, COMMAND_DESCRIPTORS));
}

// ---- faults during the transfer ----------------------------------------------

TEST_F(Transfer, RefusedRecordLeavesTheDeviceInItsBootLoader)
{
    EngineHarness sim({"--refuse-record", "2"});
    ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
    EXPECT_EQ(sim.ask(RECOVERY, COMMAND_RECORD, RECORDS[0])->payload, Bytes{RECORD_ACKNOWLEDGE});
    EXPECT_EQ(sim.ask(RECOVERY, COMMAND_RECORD, RECORDS[1])->payload, hexBytes("1100"));
    EXPECT_EQ(sim.device->receiver().image(), RECORDS[0]);

    sim.wait(milliseconds(300));
    EXPECT_EQ(sim.device->mode(), Device::Mode::Recovery);
    EXPECT_FALSE(sim.ask(FIRMWARE, COMMAND_DEVICE_INFO));
    const auto hardware = sim.ask(RECOVERY, COMMAND_DESCRIPTORS);
    ASSERT_TRUE(hardware);
    EXPECT_EQ(hardware->payload, Bytes{0x82}); // from the hardware word 8.2
}

TEST_F(Transfer, DroppedRecordIsEchoedButNotAnswered)
{
    EngineHarness sim({"--drop-record", "2"});
    ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
    EXPECT_TRUE(sim.ask(RECOVERY, COMMAND_RECORD, RECORDS[0]));
    EXPECT_FALSE(sim.ask(RECOVERY, COMMAND_RECORD, RECORDS[1]));
    EXPECT_EQ(sim.log.back(), "answer none");
}

TEST_F(Transfer, SilentDuringTransferCutsTheLineBeforeTheRecord)
{
    for (uint32_t silentFrom : {1u, 2u}) {
        EngineHarness sim({"--silent-during-transfer", std::to_string(silentFrom)});
        ASSERT_TRUE(sim.ask(RECOVERY, COMMAND_MODE, hexBytes("42")));
        for (uint32_t k = 1; k < silentFrom; ++k)
            EXPECT_TRUE(sim.ask(RECOVERY, COMMAND_RECORD, RECORDS[k - 1]));
        const Bytes cut = FrameBytes::request(RECOVERY, COMMAND_RECORD, RECORDS[silentFrom - 1]);
        EXPECT_TRUE(sim.feed(cut).empty()) << silentFrom;
        EXPECT_EQ(sim.device->mode(), Device::Mode::Silent);
    }
}

} // namespace
