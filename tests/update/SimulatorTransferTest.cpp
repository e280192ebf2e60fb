// Whole transfers into the device simulator: what arrives is byte for byte
// what the file's records hold, the device is found at its target address
// in the first pass, and every kind of lost or refused record ends the
// transfer at that record.

#include "Control.h"
#include "PrivateRuntimeDir.h"
#include "SimulatorProcess.h"
#include "Update.h"
#include "UpdateImage.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>

using ZORVI::Control;
using ZORVI::Update;
using ZORVI::Testing::SimulatorProcess;
using UpdateImage::Bytes;

namespace {

// Records of these sizes, length fields included, with bytes that run
// through the stuffed range E0..E7.
Bytes imageWithRecords(uint8_t entry, uint8_t target, std::vector<uint32_t> sizes)
{
    UpdateImage::Header fields;
    fields.entry = entry;
    fields.target = target;
    Bytes image = UpdateImage::header(fields);
    uint8_t first = 0xDA;
    for (uint32_t size : sizes) {
        const Bytes next = UpdateImage::record(size - 2, first);
        image.insert(image.end(), next.begin(), next.end());
        first = static_cast<uint8_t>(first + 0x3B);
    }
    return image;
}

std::unique_ptr<Update> readUpdate(const Bytes& image)
{
    const std::string text = UpdateImage::text(image, "\n");
    std::unique_ptr<Update> update = Update::fromText(text.data(), text.size());
    EXPECT_TRUE(update && update->isValid());
    return update;
}

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SimulatorTransfer : public ::testing::Test {
protected:
    void start(std::vector<std::string> arguments)
    {
        ASSERT_TRUE(m_runtimeDir.isReady());
        m_imagePath = m_runtimeDir.path() + "/received.bin";
        arguments.insert(arguments.end(), {"--save-image", m_imagePath});
        m_sim = std::make_unique<SimulatorProcess>(arguments, m_runtimeDir.path());
        ASSERT_TRUE(m_sim->isRunning()) << m_sim->error();
        ASSERT_TRUE(m_control.testInterface(m_sim->portName().c_str()));
    }

    std::vector<std::string> requestsWithCommand(int command) const
    {
        std::vector<std::string> selected;
        const std::string marker = " cmd=" + std::to_string(command) + " ";
        for (const std::string& line : m_sim->logLines("request"))
            if (line.find(marker) != std::string::npos)
                selected.push_back(line);
        return selected;
    }

    Control& control() { return m_control; }
    const std::string& imagePath() const { return m_imagePath; }

private:
    PrivateRuntimeDir m_runtimeDir;
    std::string m_imagePath;
    std::unique_ptr<SimulatorProcess> m_sim;
    Control m_control; // closes the port before the simulator stops
};

} // namespace

TEST_F(SimulatorTransfer, ReceivedImageIsTheFilesRecords)
{
    start({});
    const Bytes image = imageWithRecords(1, 0, {300, 2, 1500, 77, 4096});
    auto update = readUpdate(image);
    ASSERT_EQ(control().transferUpdate(*update), 0);
    const Bytes records(image.begin() + 22, image.end());
    EXPECT_EQ(fileBytes(imagePath()), records);
    EXPECT_EQ(control().lastTransfer().failure, Control::TransferReport::Failure::None);
    EXPECT_EQ(control().lastTransfer().recordsAcknowledged, 5u);
    EXPECT_EQ(control().lastTransfer().recordsTotal, 5u);
}

TEST_F(SimulatorTransfer, DeviceListeningOnlyAtTheTargetIsFoundInTheFirstPass)
{
    start({"--mode-target", "3", "--mode-only-target"});
    auto update = readUpdate(imageWithRecords(1, 3, {40, 60}));
    ASSERT_EQ(control().transferUpdate(*update), 0);
    const std::vector<std::string> modeRequests = requestsWithCommand(0);
    ASSERT_EQ(modeRequests.size(), 2u);
    EXPECT_NE(modeRequests[0].find("dst=1 "), std::string::npos) << modeRequests[0];
    // Address 3 reads back as 2 on the device side of the wire.
    EXPECT_NE(modeRequests[1].find("dst=2 "), std::string::npos) << modeRequests[1];
    EXPECT_EQ(requestsWithCommand(1).size(), 2u);
}

struct TransferFault {
    std::vector<std::string> options;
    size_t recordsOnTheWire; // frames of records the device got to see
    size_t recordsSaved;     // records the device took
    Control::TransferReport::Failure failure;
    uint32_t failedRecord;
    const char* description;
};

void PrintTo(const TransferFault& fault, std::ostream* out)
{
    for (const std::string& option : fault.options)
        *out << option << " ";
}

class SimulatorTransferFault : public SimulatorTransfer,
                               public ::testing::WithParamInterface<TransferFault> {};

TEST_P(SimulatorTransferFault, TransferEndsAtTheFailureAndNamesIt)
{
    const TransferFault& fault = GetParam();
    start(fault.options);
    const std::vector<uint32_t> sizes = {30, 40, 50};
    const Bytes image = imageWithRecords(1, 0, sizes);
    auto update = readUpdate(image);
    EXPECT_EQ(control().transferUpdate(*update), -1);
    // Nothing after the failing record went out.
    EXPECT_EQ(requestsWithCommand(1).size(), fault.recordsOnTheWire);
    size_t saved = 0;
    for (size_t i = 0; i < fault.recordsSaved; ++i)
        saved += sizes[i];
    EXPECT_EQ(fileBytes(imagePath()), Bytes(image.begin() + 22, image.begin() + 22 + saved));

    const Control::TransferReport& report = control().lastTransfer();
    EXPECT_EQ(report.failure, fault.failure);
    EXPECT_EQ(report.recordsAcknowledged, fault.recordsSaved);
    EXPECT_EQ(report.recordsTotal, sizes.size());
    EXPECT_EQ(report.failedRecord, fault.failedRecord);
    EXPECT_EQ(Control::describe(report), fault.description);
}

using Failure = Control::TransferReport::Failure;

INSTANTIATE_TEST_SUITE_P(
    Faults, SimulatorTransferFault,
    ::testing::Values(
        TransferFault{{"--refuse-record", "2"}, 2, 1, Failure::RecordRefused, 2,
                      "Record 2 of 3 was refused by the device."},
        TransferFault{{"--drop-record", "2"}, 2, 1, Failure::RecordUnanswered, 2,
                      "Record 2 of 3 was not answered."},
        TransferFault{{"--silent-during-transfer", "2"}, 1, 1, Failure::PortLost, 2,
                      "The port was lost at record 2 of 3."},
        TransferFault{{"--refuse-record", "1"}, 1, 0, Failure::RecordRefused, 1,
                      "Record 1 of 3 was refused by the device."},
        // Six mode requests, each waiting out the answer time-out.
        TransferFault{{"--no-answer"}, 0, 0, Failure::NoModeAnswer, 0,
                      "The device did not accept the mode request: it never entered its "
                      "receiving mode."}),
    [](const ::testing::TestParamInfo<TransferFault>& info) {
        std::string name;
        for (const std::string& option : info.param.options)
            name += (name.empty() ? "" : "_") + option;
        std::string clean;
        for (char c : name) {
            if (std::isalnum(static_cast<unsigned char>(c)))
                clean += c;
            else if (!clean.empty() && clean.back() != '_')
                clean += '_';
        }
        return clean;
    });
