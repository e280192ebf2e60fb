// Fuzzes the settings file reader (SettingsFile::parse) and checks what a
// result promises the preview and the device: a file read as valid names
// only values a 16-bit parameter can hold, each parameter once, and writes
// back to text that reads as the same settings and origin; an invalid file
// says why in a message that, escaped for a terminal or a window, holds no
// control character.

#include "ControlText.h"
#include "SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace {

using ZORVI::SettingsFile;

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool sameOrigin(const SettingsFile::Origin& a, const SettingsFile::Origin& b)
{
    return a.hasHardware == b.hasHardware && a.hardwareMajor == b.hardwareMajor
        && a.hardwareMinor == b.hardwareMinor && a.applicationVersion == b.applicationVersion
        && a.hasData == b.hasData && a.dataMajor == b.dataMajor && a.dataMinor == b.dataMinor
        && a.serial == b.serial && a.saved == b.saved;
}

void checkValid(const SettingsFile& file)
{
    require(!file.settings().empty());
    std::set<uint16_t> ids;
    for (const SettingsFile::Setting& setting : file.settings()) {
        require(setting.value >= SettingsFile::MIN_VALUE
                && setting.value <= SettingsFile::MAX_VALUE);
        require(ids.insert(setting.id).second);
    }
    SettingsFile again;
    SettingsFile::Error error;
    require(SettingsFile::parse(file.text(), &again, &error));
    require(again.settings() == file.settings());
    require(sameOrigin(again.origin(), file.origin()));
}

// Escaped once, the message holds nothing that escaping would change: no
// C0 or C1 control, no DEL, no byte outside valid UTF-8.
void checkShown(const std::string& message)
{
    const std::string shown = ZORVI::ControlText::escaped(message);
    require(ZORVI::ControlText::escaped(shown) == shown);
    for (char c : shown)
        require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    SettingsFile file;
    SettingsFile::Error error;
    if (SettingsFile::parse(text, &file, &error))
        checkValid(file);
    else
        checkShown(error.text());
    return 0;
}
