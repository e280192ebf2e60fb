// The updater's transfer operations against a scripted device on a real
// pseudo-terminal: the exact frames of the mode request, the order of
// progress reports and records, and how the transfer ends on a bad or
// missing acknowledgement.

#include "Control.h"
#include "PrivateRuntimeDir.h"
#include "ScriptedDevice.h"
#include "Update.h"
#include "UpdateImage.h"

#include <gtest/gtest.h>

#include <fstream>

using ZORVI::Control;
using ZORVI::Update;
using Failure = ZORVI::Control::TransferReport::Failure;
using namespace ScriptedLink;

namespace {

constexpr uint8_t MODE = 0;
constexpr uint8_t RECORD = 1;
const Bytes ACKNOWLEDGE = {0x11};

uint8_t destinationCode(const Bytes& frame)
{
    return frame[0] & 0x0F;
}

Bytes payloadOf(const Bytes& frame)
{
    Packet packet;
    EXPECT_TRUE(packet.decode(frame.data(), static_cast<uint16_t>(frame.size()), true));
    return Bytes(packet.payload(), packet.payload() + packet.payloadLength());
}

// Answers every mode request with an empty packet and acknowledges every
// record.
Bytes willingDevice(const Packet& request, const Bytes&)
{
    if (request.command() == MODE)
        return FrameBytes::answerTo(request, {});
    if (request.command() == RECORD)
        return FrameBytes::answerTo(request, ACKNOWLEDGE);
    return {};
}

UpdateImage::Bytes updateImage(uint8_t entry, uint8_t target, std::vector<uint32_t> recordSizes)
{
    UpdateImage::Header fields;
    fields.entry = entry;
    fields.target = target;
    UpdateImage::Bytes image = UpdateImage::header(fields);
    uint8_t first = 0xD0; // runs through the stuffed bytes E0..E7
    for (uint32_t size : recordSizes) {
        const UpdateImage::Bytes next = UpdateImage::record(size - 2, first);
        image.insert(image.end(), next.begin(), next.end());
        first = static_cast<uint8_t>(first + 0x31);
    }
    return image;
}

std::unique_ptr<Update> makeUpdate(uint8_t entry, uint8_t target,
                                   std::vector<uint32_t> recordSizes)
{
    const std::string text = UpdateImage::text(updateImage(entry, target, recordSizes));
    std::unique_ptr<Update> update = Update::fromText(text.data(), text.size());
    EXPECT_TRUE(update && update->isValid());
    return update;
}

std::vector<Bytes> recordsOf(const Update& update)
{
    std::vector<Bytes> records;
    for (const ZORVI::UpdateRecord* record = update.records(); record; record = record->next)
        records.emplace_back(record->data, record->data + record->size);
    return records;
}

std::vector<Bytes> framesWithCommand(const std::vector<Bytes>& frames, uint8_t command)
{
    std::vector<Bytes> selected;
    for (const Bytes& frame : frames)
        if ((frame[1] >> 4) == command)
            selected.push_back(frame);
    return selected;
}

class TransferTest : public ::testing::Test {
protected:
    void start(ScriptedDevice::Script script)
    {
        m_device = std::make_unique<ScriptedDevice>(PrivateRuntimeDir::uniquePortName("ttyUPD"),
                                                    std::move(script));
        ASSERT_TRUE(m_control.testInterface(m_device->portName()));
    }
    ScriptedDevice& device() { return *m_device; }
    Control& control() { return m_control; }

private:
    PrivateRuntimeDir m_runtimeDir;
    std::unique_ptr<ScriptedDevice> m_device;
    Control m_control; // closes the port before the device goes
};

} // namespace

struct ModeCase {
    int32_t destination;
    bool flagB;
    bool flagF;
    Bytes payload;
};

TEST_F(TransferTest, ModeRequestPayloadsByAddressAndFlags)
{
    start([](const Packet&, const Bytes&) { return Bytes(); });
    const Bytes unlock = {0x4B, 0x7E, 0x21, 0x9C};
    auto unlocked = [&unlock](Bytes letters) {
        Bytes payload = unlock;
        payload.insert(payload.end(), letters.begin(), letters.end());
        return payload;
    };
    const ModeCase cases[] = {
        {0, true, false, {0x42}},
        {0, false, true, {0x52}}, // F is for the firmware only
        {0, false, false, {0x52}},
        {3, false, false, {0xAD, 0x52}},
        {3, true, true, {0xBD, 0x42}},
        {1, true, false, unlocked({0xBD, 0x42})},
        {1, false, true, unlocked({0xB9, 0x46})},
        {1, false, false, unlocked({0xAD, 0x52})},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE("to " + std::to_string(c.destination) + " B " + std::to_string(c.flagB)
                     + " F " + std::to_string(c.flagF));
        const size_t before = device().frames().size();
        EXPECT_TRUE(control().requestMode(c.destination, c.flagB, c.flagF));
        const std::vector<Bytes> frames = device().frames();
        ASSERT_EQ(frames.size(), before + 1);
        const Bytes& frame = frames.back();
        EXPECT_EQ(destinationCode(frame), c.destination);
        EXPECT_EQ(frame[1] & 0xFE, 0x0C) << "command 0 from the host";
        // To the firmware the payload is CRC-checked by the decoding.
        EXPECT_EQ(payloadOf(frame), c.payload);
    }
    EXPECT_EQ(device().frames()[0], (Bytes{0xE0, 0x0C, 0x42, 0xE0, 0x0D}));
    EXPECT_EQ(device().frames()[3], (Bytes{0xE3, 0x0C, 0xAD, 0x52, 0xE3, 0x0D}));
}

TEST_F(TransferTest, ModeRequestToAnotherAddressSendsNothing)
{
    start([](const Packet&, const Bytes&) { return Bytes(); });
    for (int32_t destination : {2, 4, 6, 255})
        EXPECT_FALSE(control().requestMode(destination, true, false)) << destination;
    EXPECT_TRUE(control().requestMode(0, true, false));
    EXPECT_EQ(device().frames(), (std::vector<Bytes>{{0xE0, 0x0C, 0x42, 0xE0, 0x0D}}));
}

TEST(TransferClosedPort, NothingGoesOutWithoutAnOpenPort)
{
    Control control;
    EXPECT_FALSE(control.requestMode(0, true, false));
    EXPECT_EQ(control.transferUpdate(*makeUpdate(1, 0, {5})), -1);
}

namespace {

struct ProgressSeen {
    int percent;
    size_t recordsOnTheWire;
    bool operator==(const ProgressSeen& other) const
    {
        return percent == other.percent && recordsOnTheWire == other.recordsOnTheWire;
    }
};

std::vector<ProgressSeen> g_progress;
const ScriptedDevice* g_progressDevice = nullptr;

void recordProgress(int percent, void* window)
{
    EXPECT_EQ(window, nullptr);
    g_progress.push_back({percent, g_progressDevice->countOf(RECORD)});
}

std::ostream& operator<<(std::ostream& out, const ProgressSeen& seen)
{
    return out << seen.percent << "% after " << seen.recordsOnTheWire << " records";
}

} // namespace

TEST_F(TransferTest, RunUpdateReportsProgressBeforeEachRecord)
{
    start(willingDevice);
    const UpdateImage::Bytes image = updateImage(0, 1, {100, 100, 50});
    char path[] = "/tmp/zorvik-transfer-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(path) << UpdateImage::text(image, "\n");

    g_progress.clear();
    g_progressDevice = &device();
    control().setProgressCallback(recordProgress);
    EXPECT_EQ(control().runUpdate(path), 0);
    control().setProgressCallback(nullptr);
    std::remove(path);

    EXPECT_EQ(g_progress, (std::vector<ProgressSeen>{{0, 0}, {40, 0}, {80, 1}, {100, 2}}));
    const Control::TransferReport& report = control().lastTransfer();
    EXPECT_EQ(report.failure, Failure::None);
    EXPECT_EQ(report.recordsAcknowledged, 3u);
    EXPECT_EQ(report.recordsTotal, 3u);
    EXPECT_EQ(report.failedRecord, 0u);
    EXPECT_EQ(Control::describe(report), "");

    const std::vector<Bytes> frames = device().frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], (Bytes{0xE0, 0x0C, 0x42, 0xE0, 0x0D}));
    const std::string text = UpdateImage::text(image);
    const std::vector<Bytes> records = recordsOf(*Update::fromText(text.data(), text.size()));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(destinationCode(frames[1 + i]), 1);
        EXPECT_EQ(payloadOf(frames[1 + i]), records[i]) << "record " << i;
    }
    const auto times = device().times();
    EXPECT_GE(times[1] - times[0], std::chrono::milliseconds(Control::MODE_SETTLE_MS));
}

TEST_F(TransferTest, DeviceAnsweringOnlyAtTheTargetIsTakenInTheFirstPass)
{
    // A firmware that has already jumped to its boot loader ignores the
    // request to the entry address (1) and answers at the target (0).
    start([](const Packet& request, const Bytes& frame) {
        if (request.command() == MODE && destinationCode(frame) != 0)
            return Bytes();
        return willingDevice(request, frame);
    });
    auto update = makeUpdate(1, 0, {10, 20});
    EXPECT_EQ(control().transferUpdate(*update), 0);
    const std::vector<Bytes> modes = framesWithCommand(device().frames(), MODE);
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(destinationCode(modes[0]), 1);
    EXPECT_EQ(destinationCode(modes[1]), 0);
    EXPECT_EQ(device().countOf(RECORD), 2u);
}

struct BadAcknowledgement {
    const char* name;
    bool answer;
    Bytes payload;
    Failure failure;
};

TEST_F(TransferTest, RecordNotAcknowledgedEndsTheTransfer)
{
    const BadAcknowledgement cases[] = {
        {"two bytes 11 00", true, {0x11, 0x00}, Failure::RecordRefused},
        {"another byte", true, {0x12}, Failure::RecordRefused},
        {"empty answer", true, {}, Failure::RecordRefused},
        {"no answer", false, {}, Failure::RecordUnanswered},
    };
    const BadAcknowledgement* current = nullptr;
    size_t records = 0;
    start([&current, &records](const Packet& request, const Bytes& frame) {
        // The second record of each transfer gets the bad answer.
        if (request.command() == MODE)
            records = 0;
        if (request.command() == RECORD && ++records == 2)
            return current->answer ? FrameBytes::answerTo(request, current->payload) : Bytes();
        return willingDevice(request, frame);
    });
    auto update = makeUpdate(0, 1, {10, 20, 30});
    for (const BadAcknowledgement& c : cases) {
        SCOPED_TRACE(c.name);
        current = &c;
        const size_t before = device().countOf(RECORD);
        EXPECT_EQ(control().transferUpdate(*update), -1);
        EXPECT_EQ(device().countOf(RECORD) - before, 2u) << "nothing after the bad record";
        const Control::TransferReport& report = control().lastTransfer();
        EXPECT_EQ(report.failure, c.failure);
        EXPECT_EQ(report.recordsAcknowledged, 1u);
        EXPECT_EQ(report.recordsTotal, 3u);
        EXPECT_EQ(report.failedRecord, 2u);
    }
}

TEST_F(TransferTest, UnusableUpdateSendsNothing)
{
    start(willingDevice);
    // Header and first record fine, the second record cut short.
    UpdateImage::Bytes image = updateImage(0, 1, {10, 20});
    image.pop_back();
    const std::string texts[] = {UpdateImage::text(image), "", "zz"};
    for (const std::string& text : texts) {
        auto update = Update::fromText(text.data(), text.size());
        ASSERT_FALSE(update->isValid());
        EXPECT_EQ(control().transferUpdate(*update), -1);
        EXPECT_EQ(control().lastTransfer().failure, Failure::InvalidUpdate);
        EXPECT_EQ(control().lastTransfer().recordsAcknowledged, 0u);
    }
    EXPECT_EQ(control().runUpdate("/nonexistent/zorvik.upd"), -1);
    EXPECT_EQ(control().lastTransfer().failure, Failure::InvalidUpdate);
    // The first frame the device ever sees is this one.
    EXPECT_TRUE(control().requestMode(0, true, false));
    EXPECT_EQ(device().frames(), (std::vector<Bytes>{{0xE0, 0x0C, 0x42, 0xE0, 0x0D}}));
}

TEST_F(TransferTest, SilentDeviceGetsThreePassesOfModeRequests)
{
    start([](const Packet&, const Bytes&) { return Bytes(); }); // the adapter echoes, nobody answers
    EXPECT_EQ(control().transferUpdate(*makeUpdate(1, 3, {10})), -1);
    EXPECT_EQ(control().lastTransfer().failure, Failure::NoModeAnswer);
    EXPECT_EQ(control().lastTransfer().recordsTotal, 1u);
    EXPECT_EQ(control().lastTransfer().failedRecord, 0u);
    const std::vector<Bytes> frames = device().frames();
    ASSERT_EQ(frames.size(), 6u);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ((frames[i][1] >> 4), MODE);
        EXPECT_EQ(destinationCode(frames[i]), i % 2 == 0 ? 1 : 3) << i;
    }
}

TEST(TransferReport, DescribeNamesWhatFailedAndWhere)
{
    const struct {
        Failure failure;
        uint32_t acknowledged;
        uint32_t total;
        uint32_t failed;
        const char* text;
    } cases[] = {
        {Failure::None, 340, 340, 0, ""},
        {Failure::InvalidUpdate, 0, 0, 0, "The update file is not valid; nothing was sent."},
        {Failure::NoModeAnswer, 0, 340, 0,
         "The device did not accept the mode request: it never entered its receiving mode."},
        {Failure::RecordRefused, 11, 340, 12, "Record 12 of 340 was refused by the device."},
        {Failure::RecordUnanswered, 11, 340, 12, "Record 12 of 340 was not answered."},
        {Failure::PortLost, 0, 7, 1, "The port was lost at record 1 of 7."},
    };
    for (const auto& c : cases) {
        Control::TransferReport report;
        report.failure = c.failure;
        report.recordsAcknowledged = c.acknowledged;
        report.recordsTotal = c.total;
        report.failedRecord = c.failed;
        EXPECT_EQ(Control::describe(report), c.text);
    }
}
