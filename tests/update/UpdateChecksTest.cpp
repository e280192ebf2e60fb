// What an update file says about its device, checked against a device:
// hardware before flashing (running firmware or boot loader), versions after.

#include "Update.h"
#include "UpdateChecks.h"
#include "VersionFixtures.h"

#include <gtest/gtest.h>

using ZORVI::DeviceInfo;
using ZORVI::Update;
using ZORVI::UpdateChecks;

namespace {

using VersionFixtures::device;
using VersionFixtures::fileFor;

struct HardwareCase {
    uint8_t fileMajor;
    uint8_t fileMinor;
    const char* fileText;
    uint16_t deviceWord;
    const char* deviceText;
    bool fits;
    uint8_t recoveryByte;
    bool recoveryFits;
};

} // namespace

TEST(UpdateChecks, FileHardwareAgainstTheDeviceAndItsBootLoader)
{
    const HardwareCase cases[] = {
        {8, 255, "8.x", 0x0082, "8.2", true, 0x82, true}, // any minor
        {8, 255, "8.x", 0x008F, "8.15", true, 0x8F, true},
        {8, 2, "8.2", 0x0082, "8.2", true, 0x82, true}, // exact minor
        {8, 2, "8.2", 0x0081, "8.1", false, 0x81, false}, // other minor
        {8, 0, "8.0", 0x0080, "8.0", true, 0x80, true},
        {2, 255, "2.x", 0x0082, "8.2", false, 0x82, false}, // other major
        {9, 2, "9.2", 0x0082, "8.2", false, 0x82, false},
        {0, 255, "0.x", 0x0002, "0.2", true, 0x02, true},
        // A major beyond one nibble reaches into byte 10 of the device's
        // word; the boot loader's byte holds a nibble of each.
        {18, 3, "18.3", 0x0123, "18.3", true, 0x23, false},
        {2, 3, "2.3", 0x0123, "18.3", false, 0x23, true},
    };
    for (const HardwareCase& c : cases) {
        SCOPED_TRACE(std::string("file ") + c.fileText + ", device word "
                     + std::to_string(c.deviceWord));
        const std::unique_ptr<Update> file = fileFor(c.fileMajor, c.fileMinor);
        EXPECT_EQ(UpdateChecks::fileHardwareText(*file), c.fileText);
        EXPECT_EQ(UpdateChecks::deviceHardwareText(device(c.deviceWord)), c.deviceText);
        EXPECT_EQ(UpdateChecks::hardwareFits(*file, device(c.deviceWord)), c.fits);
        EXPECT_EQ(UpdateChecks::hardwareFitsRecovery(*file, c.recoveryByte), c.recoveryFits);
    }
}

TEST(UpdateChecks, VersionsMatchOnlyWhenApplicationAndDataAreTheFiles)
{
    const std::unique_ptr<Update> file = fileFor(8, 255, {3, 1, 8}, {1, 3});
    const struct {
        const char* name;
        DeviceInfo device;
        bool match;
    } cases[] = {
        {"same", device(0x0082, {3, 1, 8}, {1, 3}), true},
        {"other hardware minor", device(0x0081, {3, 1, 8}, {1, 3}), true},
        {"application patch", device(0x0082, {3, 1, 7}, {1, 3}), false},
        {"application minor", device(0x0082, {3, 2, 8}, {1, 3}), false},
        {"application major", device(0x0082, {4, 1, 8}, {1, 3}), false},
        {"data minor", device(0x0082, {3, 1, 8}, {1, 2}), false},
        {"data major", device(0x0082, {3, 1, 8}, {2, 3}), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdateChecks::versionsMatch(*file, c.device), c.match) << c.name;
}
