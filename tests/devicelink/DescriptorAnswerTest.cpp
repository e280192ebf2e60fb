// The device controller's descriptor read against a scripted device on a
// real pseudo-terminal: an answer brings exactly the ids asked for, or fewer;
// an answer with items past the asked run is refused as a whole, so that no
// caller applies a description to a parameter it never asked about.

#include "Control.h"
#include "ParameterDescriptor.h"
#include "PrivateRuntimeDir.h"
#include "ScriptedDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using ZORVI::Control;
using ZORVI::ParameterDescriptor;
using namespace ScriptedLink;

namespace {

// One item of the answer: status 0 and the four words (address, minimum,
// maximum, default), or a status that says the device has no such id.
Bytes described(uint16_t address)
{
    return {0x00, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address & 0xFF),
            0x00, 0x00, 0x00, 0x64, 0x00, 0x32};
}

const Bytes MISSING = {0x05};

Bytes items(std::initializer_list<Bytes> list)
{
    Bytes payload;
    for (const Bytes& item : list)
        payload.insert(payload.end(), item.begin(), item.end());
    return payload;
}

Bytes describedTimes(size_t count)
{
    Bytes payload;
    for (size_t i = 0; i < count; ++i) {
        const Bytes item = described(static_cast<uint16_t>(i));
        payload.insert(payload.end(), item.begin(), item.end());
    }
    return payload;
}

struct DescriptorCase {
    const char* name;
    uint16_t firstId;
    uint8_t count;
    Bytes answer;
    bool accepted;
    std::vector<uint16_t> ids; // of the records, when accepted
};

std::ostream& operator<<(std::ostream& out, const DescriptorCase& c)
{
    return out << c.name;
}

const DescriptorCase DESCRIPTOR_CASES[] = {
    {"AllAskedWithAGap", 0x1000, 3, items({described(0x10), MISSING, described(0x12)}), true,
     {0x1000, 0x1002}},
    {"FewerThanAsked", 0x1000, 4, items({described(0x10), described(0x11)}), true,
     {0x1000, 0x1001}},
    {"TheLastIdAlone", 0xFFFF, 2, items({described(0x10)}), true, {0xFFFF}},
    {"OneDescribedItemMore", 0x1000, 2,
     items({described(0x10), described(0x11), described(0x12)}), false, {}},
    {"OneMissingItemMore", 0x1000, 2, items({described(0x10), described(0x11), MISSING}),
     false, {}},
    {"TwoHundredFiftyFiveForSixteen", 0x1000, 16, describedTimes(255), false, {}},
    {"PastTheLastIdIntoZero", 0xFFFF, 2, items({described(0x10), described(0x11)}), false, {}},
    {"AWholeRunWrappingPastTheLastId", 0xFFF8, 16, describedTimes(16), false, {}},
};

class DescriptorAnswer : public ::testing::TestWithParam<DescriptorCase> {
protected:
    void SetUp() override { ASSERT_TRUE(runtime.isReady()); }

    PrivateRuntimeDir runtime;
};

TEST_P(DescriptorAnswer, BringsOnlyTheIdsAskedFor)
{
    const DescriptorCase& c = GetParam();
    ScriptedDevice device(PrivateRuntimeDir::uniquePortName("ttyDESC"),
                          [&](const Packet& request, const Bytes&) {
                              return FrameBytes::answerTo(request, c.answer);
                          });
    Control control;
    bool echo = false;
    ASSERT_TRUE(control.testInterface(device.portName(), &echo));
    ASSERT_TRUE(echo);

    uint8_t found = 99;
    ParameterDescriptor* raw = nullptr;
    const bool read = control.readDescriptors(c.firstId, c.count, &found, &raw);
    std::unique_ptr<ParameterDescriptor[]> records(raw);

    ASSERT_EQ(device.frames().size(), 1u);
    Packet request;
    const Bytes frame = device.frames().front();
    ASSERT_TRUE(request.decode(frame.data(), static_cast<uint16_t>(frame.size()), true));
    const Bytes asked = {static_cast<uint8_t>(c.firstId >> 8),
                         static_cast<uint8_t>(c.firstId & 0xFF), c.count};
    EXPECT_EQ(Bytes(request.payload(), request.payload() + request.payloadLength()), asked);
    ASSERT_EQ(read, c.accepted);
    if (!c.accepted) {
        EXPECT_EQ(found, 0);
        EXPECT_EQ(records, nullptr);
        return;
    }
    ASSERT_EQ(found, c.ids.size());
    for (size_t i = 0; i < c.ids.size(); ++i) {
        EXPECT_EQ(records[i].id, c.ids[i]) << i;
        EXPECT_EQ(records[i].maximum, 100) << i;
        EXPECT_EQ(records[i].defaultValue, 50) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Pty, DescriptorAnswer, ::testing::ValuesIn(DESCRIPTOR_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
