// How an update run is judged from the transfer's report and the device as
// it answers afterwards: the kind, the sentences the user reads, the
// hardware refusal before a run and the line the update records keep.

#include "Sha256.h"
#include "TempFolder.h"
#include "UpdateFile.h"
#include "UpdateOutcome.h"
#include "VersionFixtures.h"

#include <gtest/gtest.h>

using ZORVI::Control;
using ZORVI::DeviceConnection;
using ZORVI::Update;
using ZORVI::UpdateFile;
using ZORVI::UpdateOutcome;
using Failure = ZORVI::Control::TransferReport::Failure;
using Found = ZORVI::DeviceConnection::Outcome;
using Kind = ZORVI::UpdateOutcome::Kind;
using VersionFixtures::device;
using VersionFixtures::fileFor;

namespace {

const UpdateOutcome::Actions ACTIONS{"run \"zorvik update ttyUSB0 zorvik-3.1.8.upd\"",
                                     "run \"zorvik info ttyUSB0\""};

DeviceConnection::Result running(VersionFixtures::Application application,
                                 VersionFixtures::Data data, uint16_t hardwareWord = 0x0082)
{
    DeviceConnection::Result result;
    result.outcome = Found::Found;
    result.info = device(hardwareWord, application, data);
    return result;
}

DeviceConnection::Result recovery(uint8_t hardwareByte)
{
    DeviceConnection::Result result;
    result.outcome = Found::Recovery;
    result.recoveryHardware = hardwareByte;
    return result;
}

DeviceConnection::Result nothing(Found outcome = Found::NoDevice)
{
    DeviceConnection::Result result;
    result.outcome = outcome;
    return result;
}

Control::TransferReport report(Failure failure, uint32_t acknowledged, uint32_t failedRecord)
{
    Control::TransferReport transfer;
    transfer.failure = failure;
    transfer.recordsAcknowledged = acknowledged;
    transfer.recordsTotal = 340;
    transfer.failedRecord = failedRecord;
    return transfer;
}

const Control::TransferReport ALL_ACKNOWLEDGED = report(Failure::None, 340, 0);

struct JudgeCase {
    const char* name;
    Control::TransferReport transfer;
    DeviceConnection::Result after;
    Kind kind;
    const char* recordedAs;
    const char* headline;
    const char* detail;
    const char* guidance;
};

const char* const STILL_IN_RECOVERY =
    "The device stays in recovery mode. Keep it connected and run \"zorvik update ttyUSB0 "
    "zorvik-3.1.8.upd\" again.";
const char* const NOTHING_ANSWERS_NOW =
    "No ZORVIK Device answers now. Check the KORLINK adapter's connection and the device's "
    "power. A device whose update was cut off waits in recovery mode: keep it connected and "
    "run \"zorvik update ttyUSB0 zorvik-3.1.8.upd\" again.";
const char* const NOTHING_ANSWERS_AFTER =
    "Check the KORLINK adapter's connection and the device's power, then run \"zorvik info "
    "ttyUSB0\" to see what it runs.";
const char* const INSTALL_AGAIN =
    "Run \"zorvik update ttyUSB0 zorvik-3.1.8.upd\" to install it again. If this persists, "
    "contact ZORVIK-Support.";

} // namespace

TEST(UpdateOutcome, EachKindFromTheReportAndTheDeviceAfterwards)
{
    const std::unique_ptr<Update> file = fileFor(8, 255, {3, 1, 8}, {1, 3});
    const JudgeCase cases[] = {
        // Done names what the device reports now, not only that it took the file.
        {"file's versions", ALL_ACKNOWLEDGED, running({3, 1, 8}, {1, 3}), Kind::Done, "done",
         "Device updated successfully.", "The device now runs firmware 3.1.8, data 1.3.", ""},
        {"other hardware minor, file's versions", ALL_ACKNOWLEDGED,
         running({3, 1, 8}, {1, 3}, 0x0081), Kind::Done, "done", "Device updated successfully.",
         "The device now runs firmware 3.1.8, data 1.3.", ""},
        {"old application", ALL_ACKNOWLEDGED, running({3, 1, 7}, {1, 3}), Kind::VersionsDiffer,
         "versions differ", "The device does not report the versions of the update file.",
         "The device reports 3.1.7 after the update; the file holds 3.1.8.", INSTALL_AGAIN},
        {"old data", ALL_ACKNOWLEDGED, running({3, 1, 8}, {1, 2}), Kind::VersionsDiffer,
         "versions differ", "The device does not report the versions of the update file.",
         "The device reports 3.1.8 with data 1.2 after the update; the file holds 3.1.8 with "
         "data 1.3.",
         INSTALL_AGAIN},
        {"only the boot loader", ALL_ACKNOWLEDGED, recovery(0x82), Kind::RecoveryAfterUpdate,
         "recovery mode after update", "The device is in recovery mode after the update.",
         "Every record was acknowledged, but the device did not start its new firmware.",
         "Keep it connected and run \"zorvik update ttyUSB0 zorvik-3.1.8.upd\" again."},
        {"no answer", ALL_ACKNOWLEDGED, nothing(), Kind::NoDeviceAfterUpdate,
         "no device after update", "No ZORVIK Device answers after the update.",
         "Every record was acknowledged, but the device did not answer afterwards.",
         NOTHING_ANSWERS_AFTER},
        {"no echo", ALL_ACKNOWLEDGED, nothing(Found::NoEcho), Kind::NoDeviceAfterUpdate,
         "no device after update", "No ZORVIK Device answers after the update.",
         "Every record was acknowledged, but the device did not answer afterwards.",
         NOTHING_ANSWERS_AFTER},
        {"refused record, boot loader", report(Failure::RecordRefused, 11, 12), recovery(0x82),
         Kind::Failed, "failed", "Device update failed.",
         "Record 12 of 340 was refused by the device.", STILL_IN_RECOVERY},
        {"unanswered record, no answer", report(Failure::RecordUnanswered, 11, 12), nothing(),
         Kind::Failed, "failed", "Device update failed.", "Record 12 of 340 was not answered.",
         NOTHING_ANSWERS_NOW},
        {"no mode answer, old firmware", report(Failure::NoModeAnswer, 0, 0),
         running({3, 1, 7}, {1, 2}), Kind::Failed, "failed", "Device update failed.",
         "The device did not accept the mode request: it never entered its receiving mode.",
         "The device runs firmware 3.1.7. Run \"zorvik update ttyUSB0 zorvik-3.1.8.upd\" "
         "to try again."},
        {"interrupted, boot loader", report(Failure::Interrupted, 11, 12), recovery(0x82),
         Kind::Interrupted, "interrupted", "Device update interrupted.",
         "The update was stopped before record 12 of 340: the program was asked to end.",
         STILL_IN_RECOVERY},
        {"port lost", report(Failure::PortLost, 0, 1), nothing(Found::PortNotOpened),
         Kind::Failed, "failed", "Device update failed.", "The port was lost at record 1 of 340.",
         NOTHING_ANSWERS_NOW},
        // A transfer that did not end is never a success, whatever the
        // device reports afterwards.
        {"last record unanswered, file's versions", report(Failure::RecordUnanswered, 339, 340),
         running({3, 1, 8}, {1, 3}), Kind::Failed, "failed", "Device update failed.",
         "Record 340 of 340 was not answered.",
         "The device runs firmware 3.1.8. Run \"zorvik update ttyUSB0 zorvik-3.1.8.upd\" "
         "to try again."},
    };
    for (const JudgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const UpdateOutcome outcome = UpdateOutcome::judge(*file, c.transfer, c.after, ACTIONS);
        EXPECT_EQ(outcome.kind(), c.kind);
        EXPECT_EQ(outcome.done(), c.kind == Kind::Done);
        EXPECT_STREQ(outcome.recordedAs(), c.recordedAs);
        EXPECT_EQ(outcome.headline(), c.headline);
        EXPECT_EQ(outcome.detail(), c.detail);
        EXPECT_EQ(outcome.guidance(), c.guidance);
    }
}

TEST(UpdateOutcome, HardwareMismatchNamesBothSides)
{
    const struct {
        const char* name;
        uint8_t fileMajor;
        uint8_t fileMinor;
        DeviceConnection::Result device;
        const char* sentence;
    } cases[] = {
        {"any minor, running", 8, 255, running({3, 1, 7}, {1, 2}, 0x0082), ""},
        {"any minor, boot loader", 8, 255, recovery(0x8F), ""},
        {"same minor, boot loader", 8, 1, recovery(0x81), ""},
        {"other major, running", 8, 255, running({3, 1, 7}, {1, 2}, 0x0092),
         "The file is for hardware 8.x; the device has hardware 9.2."},
        {"other minor, running", 8, 2, running({3, 1, 7}, {1, 2}, 0x0081),
         "The file is for hardware 8.2; the device has hardware 8.1."},
        {"other major, boot loader", 2, 255, recovery(0x81),
         "The file is for hardware 2.x; the device has hardware 8.1."},
        {"other minor, boot loader", 8, 2, recovery(0x83),
         "The file is for hardware 8.2; the device has hardware 8.3."},
        // The sentence names the hardware as the check reads it.
        {"major beyond a nibble", 2, 3, running({3, 1, 7}, {1, 2}, 0x0123),
         "The file is for hardware 2.3; the device has hardware 18.3."},
        {"no device to compare with", 2, 255, nothing(), ""},
        {"port failure", 2, 255, nothing(Found::NoEcho), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<Update> file = fileFor(c.fileMajor, c.fileMinor);
        EXPECT_EQ(UpdateOutcome::hardwareMismatch(*file, c.device), c.sentence);
    }
}

TEST(UpdateOutcome, VersionTextsOfFileAndDevice)
{
    EXPECT_EQ(UpdateOutcome::fileVersionsText(*fileFor(8, 255, {3, 1, 8}, {1, 3})),
              "application 3.1.8, data 1.3, hardware 8.x");
    EXPECT_EQ(UpdateOutcome::fileVersionsText(*fileFor(12, 4, {10, 0, 21}, {2, 0})),
              "application 10.0.21, data 2.0, hardware 12.4");
    EXPECT_EQ(UpdateOutcome::deviceText(running({3, 1, 7}, {1, 2}, 0x0082)),
              "application 3.1.7, data 1.2, hardware 8.2");
    EXPECT_EQ(UpdateOutcome::deviceText(recovery(0x81)), "recovery mode, hardware 8.1");
    EXPECT_EQ(UpdateOutcome::deviceText(nothing()), "none");
    EXPECT_EQ(UpdateOutcome::deviceText(nothing(Found::PortInUse)), "none");
}

TEST(UpdateOutcome, JournalEntryHoldsTheRun)
{
    TempFolder folder;
    ASSERT_TRUE(folder.isReady());
    const std::string text = VersionFixtures::fileText(8, 255, {3, 1, 8}, {1, 3});
    UpdateFile::Refusal refusal = UpdateFile::Refusal::None;
    const std::unique_ptr<UpdateFile> file =
        UpdateFile::load(folder.write("zorvik-3.1.8.upd", text), &refusal);
    ASSERT_TRUE(file);
    ASSERT_EQ(refusal, UpdateFile::Refusal::None);

    const DeviceConnection::Result before = running({3, 1, 7}, {1, 2}, 0x0082);
    const Control::TransferReport transfer = report(Failure::RecordRefused, 11, 12);
    const DeviceConnection::Result after = recovery(0x82);
    const UpdateOutcome outcome = UpdateOutcome::judge(file->update(), transfer, after, ACTIONS);
    const ZORVI::UpdateJournal::Entry entry =
        outcome.journalEntry("ttyUSB0", *file, before, after, transfer);

    EXPECT_EQ(entry.port, "ttyUSB0");
    EXPECT_EQ(entry.fileName, "zorvik-3.1.8.upd");
    EXPECT_EQ(entry.sha256, ZORVI::Sha256::hexDigest(
                                reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    EXPECT_EQ(entry.fileVersions, "application 3.1.8, data 1.3, hardware 8.x");
    EXPECT_EQ(entry.deviceBefore, "application 3.1.7, data 1.2, hardware 8.2");
    EXPECT_EQ(entry.deviceAfter, "recovery mode, hardware 8.2");
    EXPECT_EQ(entry.recordsSent, 11u);
    EXPECT_EQ(entry.recordsTotal, 340u);
    EXPECT_EQ(entry.outcome, "failed");
    EXPECT_EQ(entry.reason, "Record 12 of 340 was refused by the device.");

    const UpdateOutcome done = UpdateOutcome::judge(
        file->update(), ALL_ACKNOWLEDGED, running({3, 1, 8}, {1, 3}), ACTIONS);
    const ZORVI::UpdateJournal::Entry doneEntry = done.journalEntry(
        "ttyUSB0", *file, before, running({3, 1, 8}, {1, 3}), ALL_ACKNOWLEDGED);
    EXPECT_EQ(doneEntry.outcome, "done");
    EXPECT_EQ(doneEntry.reason, "");
    EXPECT_EQ(doneEntry.recordsSent, 340u);
    EXPECT_EQ(doneEntry.deviceAfter, "application 3.1.8, data 1.3, hardware 8.2");
}
