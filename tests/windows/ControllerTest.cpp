// The device controller over the Win32 port under wine, against the
// simulated device. run.sh starts the simulator's firmware as application
// 3.1.7, data 1.2, hardware 8.2 with token 0x1234, and its recovery-mode
// device with hardware byte 0x81.

#include "SimulatedDevice.h"

#include "Control.h"
#include "DeviceInfo.h"
#include "ParameterDescriptor.h"

#include <memory>

using ZORVI::Control;
using ZORVI::DeviceInfo;
using ZORVI::ParameterDescriptor;

namespace {

class Firmware : public SimulatedDevice {
protected:
    Firmware() : SimulatedDevice("firmware") {}

    void SetUp() override
    {
        SimulatedDevice::SetUp();
        if (IsSkipped())
            return;
        bool echo = false;
        ASSERT_TRUE(control.testInterface(port(), &echo)) << control.lastOpenError();
        ASSERT_TRUE(echo);
    }

    Control control;
};

class Recovery : public SimulatedDevice {
protected:
    Recovery() : SimulatedDevice("recovery") {}
    Control control;
};

// The KORLINK adapter loops DTR back to RING and DCD; a pseudo-terminal has
// no lines at all, so the line test must fail while the echo passes.
TEST_F(Firmware, EchoPassesAndTheLineTestFailsWithoutModemLines)
{
    bool echo = false;
    bool lines = true;
    ASSERT_TRUE(control.testInterface(port(), &echo, &lines));
    EXPECT_TRUE(echo);
    EXPECT_FALSE(lines);
}

TEST_F(Firmware, DeviceInfoAndHandshake)
{
    DeviceInfo info;
    ASSERT_TRUE(control.queryDeviceInfo(&info));
    EXPECT_EQ(info.applicationVersionText(), "3.1.7");
    EXPECT_EQ(info.dataVersionText(), "1.2");
    EXPECT_EQ(info.hardwareVersionText(), "8.2");
    EXPECT_EQ(info.tokenHigh(), 0x12);
    EXPECT_EQ(info.tokenLow(), 0x34);

    EXPECT_TRUE(control.handshake(info.tokenHigh(), info.tokenLow()));
    EXPECT_FALSE(control.handshake(info.tokenHigh(), static_cast<uint8_t>(info.tokenLow() + 1)));
}

TEST_F(Firmware, ParameterWrittenIsReadBack)
{
    uint8_t found = 0;
    ParameterDescriptor* records = nullptr;
    ASSERT_TRUE(control.readDescriptors(0x1000, 16, &found, &records));
    std::unique_ptr<ParameterDescriptor[]> descriptors(records);
    ASSERT_GT(found, 0);
    const ParameterDescriptor* adjustable = nullptr;
    for (uint8_t i = 0; i < found && !adjustable; ++i) {
        if (descriptors[i].minimum < descriptors[i].maximum)
            adjustable = &descriptors[i];
    }
    ASSERT_NE(adjustable, nullptr);

    std::unique_ptr<uint16_t[]> before(control.readValues(adjustable->address, 1));
    ASSERT_TRUE(before);
    const uint16_t changed =
        before[0] == adjustable->minimum ? adjustable->maximum : adjustable->minimum;
    ASSERT_TRUE(control.writeParameters(&adjustable->address, &changed, 1));

    // Read as part of a run of words, as the parameter memory reads them.
    std::unique_ptr<uint16_t[]> after(control.readValues(adjustable->address, 2));
    ASSERT_TRUE(after);
    EXPECT_EQ(after[0], changed);
    EXPECT_TRUE(control.writeParameters(&adjustable->address, &before[0], 1));
}

TEST_F(Recovery, OnlyTheBootLoaderAnswersWithItsHardwareByte)
{
    bool echo = false;
    ASSERT_TRUE(control.testInterface(port(), &echo)) << control.lastOpenError();
    ASSERT_TRUE(echo);
    uint8_t hardware = 0;
    ASSERT_TRUE(control.queryRecovery(&hardware));
    EXPECT_EQ(hardware, 0x81);
}

} // namespace
