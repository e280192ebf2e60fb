#include "DeviceInfo.h"
#include "SerialMask.h"

#include <gtest/gtest.h>

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
