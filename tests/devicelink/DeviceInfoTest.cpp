#include "DeviceInfo.h"
#include "SerialMask.h"

#include <gtest/gtest.h>

#include <vector>

using ZORVI::DeviceInfo;

TEST(DeviceInfo, VersionTexts)
{
    DeviceInfo info;
    const uint8_t record[12] = {0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x01, 0x01, 0x02,
                                0x00, 0x82};
    std::copy(record, record + 12, info.bytes.begin());
    EXPECT_EQ("3.1.258", info.applicationVersionText());
    EXPECT_EQ("1.2", info.dataVersionText());
    EXPECT_EQ("8.2", info.hardwareVersionText());
    EXPECT_EQ(8, info.hardwareMajor());
    EXPECT_EQ(3, info.applicationMajor());
    EXPECT_EQ(1, info.applicationMinor());

    info.bytes[10] = 0x01; // hardware word 0x0182: major 0x18
    EXPECT_EQ(0x18, info.hardwareMajor());
    EXPECT_EQ("8.2", info.hardwareVersionText());
}

TEST(DeviceInfo, MaskedSerialTexts)
{
    const uint8_t wanted[12] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB,
                                0xCD, 0xEF, 0x00, 0x11, 0x22, 0x33};
    DeviceInfo info;
    for (size_t k = 0; k < 12; ++k)
        info.bytes[12 + k] = wanted[k] ^ ZORVI::SERIAL_MASK[k];
    EXPECT_EQ("01 23 45 67 89 AB CD EF 00 11 22 33", info.serialLabelText());
    EXPECT_EQ(35u, info.serialLabelText().size());
    EXPECT_EQ("0123456789abcdef00112233", info.serialWebText());
}

TEST(DeviceInfo, RecoveryHardwareText)
{
    EXPECT_EQ("8.1", ZORVI::recoveryHardwareText(0x81));
    EXPECT_EQ("15.0", ZORVI::recoveryHardwareText(0xF0));
}

// The answer to the device information request: the serial number arrives
// last byte first, the token only in the long form.
TEST(DeviceInfo, TakesTheDeviceAnswer)
{
    std::vector<uint8_t> wire(28);
    for (size_t k = 0; k < wire.size(); ++k)
        wire[k] = static_cast<uint8_t>(0x40 + k);
    const struct {
        const char* name;
        size_t length;
        bool taken;
        bool token;
    } table[] = {
        {"Empty", 0, false, false},
        {"CutInTheSerial", 23, false, false},
        {"WithoutToken", 24, true, false},
        {"HalfAToken", 25, false, false},
        {"WithToken", 26, true, true},
        {"LongerThanTheRecord", 28, true, true},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        DeviceInfo info;
        info.bytes.fill(0xEE);
        EXPECT_EQ(info.takeAnswer(wire.data(), row.length), row.taken);
        DeviceInfo expected;
        if (row.taken) {
            for (size_t k = 0; k < DeviceInfo::SERIAL_OFFSET; ++k)
                expected.bytes[k] = wire[k];
            for (size_t k = 0; k < DeviceInfo::SERIAL_LENGTH; ++k)
                expected.bytes[DeviceInfo::SERIAL_OFFSET + k] = wire[23 - k];
        }
        if (row.token) {
            expected.bytes[24] = wire[24];
            expected.bytes[25] = wire[25];
        }
        EXPECT_EQ(info.bytes, expected.bytes);
    }
}
