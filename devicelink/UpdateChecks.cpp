#include "UpdateChecks.h"

#include "Update.h"

namespace ZORVI {

namespace {

// Where an update file's hardware lands in its version record (see
// Update::versionInfo): a whole byte each for major and minor, where the
// device has its hardware word.
constexpr size_t FILE_HARDWARE_MAJOR = DeviceInfo::HARDWARE_OFFSET;
constexpr size_t FILE_HARDWARE_MINOR = DeviceInfo::HARDWARE_OFFSET + 1;
constexpr uint8_t MINOR_MASK = 0x0F;

uint8_t fileMajor(const Update& update)
{
    return update.versionInfo().bytes[FILE_HARDWARE_MAJOR];
}

uint8_t fileMinor(const Update& update)
{
    return update.versionInfo().bytes[FILE_HARDWARE_MINOR];
}

unsigned deviceMinor(const DeviceInfo& device)
{
    return device.bytes[DeviceInfo::HARDWARE_LOW] & MINOR_MASK;
}

bool fits(const Update& update, unsigned deviceMajor, unsigned deviceMinor)
{
    if (fileMajor(update) != deviceMajor)
        return false;
    return fileMinor(update) == UpdateChecks::ANY_MINOR || fileMinor(update) == deviceMinor;
}

} // namespace

std::string UpdateChecks::fileHardwareText(const Update& update)
{
    const uint8_t minor = fileMinor(update);
    return std::to_string(fileMajor(update)) + "."
        + (minor == ANY_MINOR ? std::string("x") : std::to_string(minor));
}

std::string UpdateChecks::deviceHardwareText(const DeviceInfo& device)
{
    return std::to_string(device.hardwareMajor()) + "." + std::to_string(deviceMinor(device));
}

bool UpdateChecks::hardwareFits(const Update& update, const DeviceInfo& device)
{
    return fits(update, device.hardwareMajor(), deviceMinor(device));
}

bool UpdateChecks::hardwareFitsRecovery(const Update& update, uint8_t recoveryHardware)
{
    return fits(update, recoveryHardware >> 4, recoveryHardware & MINOR_MASK);
}

bool UpdateChecks::versionsMatch(const Update& update, const DeviceInfo& device)
{
    const DeviceInfo file = update.versionInfo();
    return file.applicationMajor() == device.applicationMajor()
        && file.applicationMinor() == device.applicationMinor()
        && file.applicationPatch() == device.applicationPatch()
        && file.dataMajor() == device.dataMajor() && file.dataMinor() == device.dataMinor();
}

} // namespace ZORVI
