#pragma once

#include "DeviceInfo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ZORVI {

// A pilot's saved setup (a ".zset" file): plain UTF-8 text, one parameter
// per line as `Name = value` under the names `zorvik params` shows, and the
// device it was saved from in comment lines:
//
//     # ZORVIK settings
//     # hardware 8.2, application 3.1.7, data 1.2
//     # serial 9E AE 2C 04 2C 25 22 FA DB 8D BE 7F
//     # saved 2026-12-10 14:03
//     SwashServoFrequencyID = 2
//
// Blank lines and lines starting with '#' are comments. A comment whose
// first word is "hardware", "serial" or "saved" names the device, and must
// be exactly as written above (any of application and data may be left out
// of the hardware line): a hardware line read half would let the settings
// of another hardware onto this one. Any other line that is not
// `Name = value` with a known name given once and a decimal value that a
// 16-bit parameter can hold, and a malformed or repeated device line, make
// the whole file invalid: a half-understood setup must never reach a
// helicopter, so nothing of an invalid file is used.
class SettingsFile {
public:
    static constexpr const char* EXTENSION = "zset";
    static constexpr const char* TITLE_LINE = "# ZORVIK settings";
    // Far above any real file (29 short lines); a larger file is not read.
    static constexpr size_t MAX_FILE_SIZE = 64 * 1024;
    // What a 16-bit parameter can hold, signed or not; the device's own
    // limits are narrower and are checked by the rules.
    static constexpr int MIN_VALUE = -32768;
    static constexpr int MAX_VALUE = 65535;

    struct Setting {
        uint16_t id = 0;
        int value = 0;
        bool operator==(const Setting& other) const
        {
            return id == other.id && value == other.value;
        }
    };

    // The device the settings were saved from, as the comment lines name it.
    // A file written by hand may name none of it.
    struct Origin {
        bool hasHardware = false;
        uint16_t hardwareMajor = 0;
        uint16_t hardwareMinor = 0;
        std::string applicationVersion; // "3.1.7"; empty when not named
        bool hasData = false;
        uint16_t dataMajor = 0;
        uint16_t dataMinor = 0;
        std::string serial; // as the settings window labels it; empty when not named
        std::string saved;  // when, as written; empty when not named
    };

    // Where reading stopped: line counted from 1 (0 for the file as a whole).
    struct Error {
        int line = 0;
        std::string message;
        // "line 3: ..." or the message alone for the file as a whole.
        std::string text() const;
    };

    SettingsFile() = default;
    // The settings as the device holds them, with its description.
    SettingsFile(const DeviceInfo& device, std::vector<Setting> settings, std::string saved);

    const Origin& origin() const { return m_origin; }
    const std::vector<Setting>& settings() const { return m_settings; }

    // The file's text, settings in the order given.
    std::string text() const;
    // False (with the line and the reason) for an invalid file; `file` is
    // then left as it was.
    static bool parse(const std::string& text, SettingsFile* file, Error* error);

    // The file at path, read and parsed; the error says what else stands
    // at path (nothing, a folder, a pipe or a device, a file too large or
    // not text). Messages do not repeat the path: the caller names it.
    static bool read(const std::string& path, SettingsFile* file, Error* error);
    // Writes the text to a new temporary file of its own beside path
    // (owner-only until complete), flushes it to the disk and renames it
    // over path, so an existing file is either replaced whole or left as it
    // was. A path that is a symbolic link, or anything else than a regular
    // file, is refused: a link planted in a shared folder must not make the
    // save write where it points. The error does not repeat the path.
    bool write(const std::string& path, std::string* error) const;

private:
    // For a comment line, split into its first word and the rest: false
    // with the reason when it is a malformed device line.
    static bool takeComment(const std::string& comment, const std::string& key,
                            const std::string& rest, Origin* origin, std::string* problem);
    static bool takeHardwareLine(const std::string& text, Origin* origin);
    static bool takeValue(const std::string& name, const std::string& valueText,
                          Setting* setting, std::string* problem);

    Origin m_origin;
    std::vector<Setting> m_settings;
};

} // namespace ZORVI
