#include "SettingsFile.h"

#include "DecimalNumber.h"
#include "FileBytes.h"
#include "FilePath.h"
#include "HexDigits.h"
#include "ParameterIds.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ZORVI {

namespace {

const char* const HARDWARE_KEY = "hardware";
const char* const APPLICATION_KEY = "application";
const char* const DATA_KEY = "data";
const char* const SERIAL_KEY = "serial";
const char* const SAVED_KEY = "saved";
const char* const UTF8_BOM = "\xEF\xBB\xBF";
const char* const BLANKS = " \t\r";
const char CR = '\r';
const char LF = '\n';
// "2026-12-10 14:03": where the digits stand and what separates them.
const char* const SAVED_PATTERN = "dddd-dd-dd dd:dd";
const unsigned VERSION_NUMBER_DIGITS = 5;
const unsigned long MAX_VERSION_NUMBER = 0xFFFF;

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(BLANKS);
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(BLANKS);
    return text.substr(first, last - first + 1);
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

// The first word of a comment's text and the rest, blanks around removed.
void splitWord(const std::string& text, std::string* word, std::string* rest)
{
    const size_t blank = text.find_first_of(" \t");
    *word = text.substr(0, blank);
    *rest = blank == std::string::npos ? std::string() : trimmed(text.substr(blank));
}

// The parts of "8.2" or "3.1.7": `count` numbers of up to five digits and
// at most 65535 each, separated by dots, and nothing else.
bool parseVersion(const std::string& text, size_t count, uint16_t* numbers)
{
    size_t at = 0;
    for (size_t k = 0; k < count; ++k) {
        const size_t dot = text.find('.', at);
        const bool last = k + 1 == count;
        if (last != (dot == std::string::npos))
            return false;
        const std::string digits = text.substr(at, last ? std::string::npos : dot - at);
        if (!allDigits(digits) || digits.size() > VERSION_NUMBER_DIGITS)
            return false;
        const unsigned long value = std::stoul(digits);
        if (value > MAX_VERSION_NUMBER)
            return false;
        numbers[k] = static_cast<uint16_t>(value);
        at = dot + 1;
    }
    return true;
}

// Twelve pairs of hexadecimal digits separated by blanks, as the settings
// window labels the serial number; upper case, as the device's is compared.
bool parseSerial(const std::string& text, std::string* serial)
{
    std::istringstream words(text);
    std::string pair;
    std::string result;
    size_t count = 0;
    while (words >> pair) {
        if (pair.size() != 2 || HexDigits::value(pair[0]) < 0 || HexDigits::value(pair[1]) < 0)
            return false;
        if (count++ > 0)
            result += ' ';
        result += static_cast<char>(std::toupper(static_cast<unsigned char>(pair[0])));
        result += static_cast<char>(std::toupper(static_cast<unsigned char>(pair[1])));
    }
    if (count != DeviceInfo::SERIAL_LENGTH)
        return false;
    *serial = result;
    return true;
}

int numberAt(const std::string& text, size_t at, size_t length)
{
    return std::stoi(text.substr(at, length));
}

// "YYYY-MM-DD HH:MM" with a month, day, hour and minute that exist.
bool isSavedTime(const std::string& text)
{
    const std::string pattern = SAVED_PATTERN;
    if (text.size() != pattern.size())
        return false;
    for (size_t k = 0; k < pattern.size(); ++k)
        if (pattern[k] == 'd' ? !isDigit(text[k]) : text[k] != pattern[k])
            return false;
    const int month = numberAt(text, 5, 2);
    const int day = numberAt(text, 8, 2);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && numberAt(text, 11, 2) <= 23
        && numberAt(text, 14, 2) <= 59;
}

// A CR that ends a line without an LF after it: the line ends of old Mac
// text, where the whole file would read as one comment line.
bool hasCrOnlyLineEnd(const std::string& text)
{
    for (size_t at = text.find(CR); at != std::string::npos; at = text.find(CR, at + 1))
        if (at + 1 < text.size() && text[at + 1] != LF)
            return true;
    return false;
}

// Some C libraries (Windows') do not rename over an existing file and say
// so with EEXIST or EACCES; the old file goes only when that is the reason.
bool renameOver(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    if (errno != EEXIST && errno != EACCES)
        return false;
    return std::remove(to.c_str()) == 0 && std::rename(from.c_str(), to.c_str()) == 0;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// What stands at path now, looked at without following a link: nothing or
// a regular file may be replaced; a symbolic link is not followed, as in a
// folder that others may write to it can point at any file of the user
// who saves.
bool mayReplace(const std::string& path, std::string* error)
{
    namespace fs = std::filesystem;
    std::error_code failure;
    const fs::file_status status = fs::symlink_status(FilePath::of(path), failure);
    if (status.type() == fs::file_type::not_found)
        return true;
    if (failure) {
        *error = "It cannot be looked at: " + failure.message() + ".";
        return false;
    }
    switch (status.type()) {
    case fs::file_type::regular: return true;
    case fs::file_type::symlink:
        *error = "It is a symbolic link. Settings are saved to a regular file only, never "
                 "through a link: choose another name, or remove the link.";
        return false;
    case fs::file_type::directory:
        *error = "It is a folder. Choose a file name in it.";
        return false;
    default:
        *error = "It is not a regular file (it is a pipe, a device or a socket). Choose "
                 "another name.";
        return false;
    }
}

// A new file of this program's own beside path ("logo.zset.k3Xb9Q"), open
// for writing and readable by its owner alone until it is complete; -1
// with errno set when none can be made. Never an existing name: what
// another user put there is not opened.
int createBeside(const std::string& path, std::string* name)
{
    std::vector<char> pattern(path.begin(), path.end());
    const std::string unique = ".XXXXXX";
    pattern.insert(pattern.end(), unique.begin(), unique.end());
    pattern.push_back('\0');
#ifdef _WIN32
    if (_mktemp_s(pattern.data(), pattern.size()) != 0)
        return -1;
    const int descriptor = _open(pattern.data(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                                 _S_IREAD | _S_IWRITE);
#else
    const int descriptor = mkstemp(pattern.data());
#endif
    if (descriptor >= 0)
        *name = pattern.data();
    return descriptor;
}

#ifdef _WIN32
int writeSome(int descriptor, const char* bytes, size_t count)
{
    return _write(descriptor, bytes, static_cast<unsigned>(count));
}

int closeFile(int descriptor)
{
    return _close(descriptor);
}
#else
ssize_t writeSome(int descriptor, const char* bytes, size_t count)
{
    return ::write(descriptor, bytes, count);
}

int closeFile(int descriptor)
{
    return ::close(descriptor);
}
#endif

bool writeAll(int descriptor, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const auto count = writeSome(descriptor, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

// On the disk before the name is given to it, so that a crash leaves the
// old file or the new one, never an empty one; then readable as any file
// the user makes (0644 less the umask).
bool finish(int descriptor)
{
#ifdef _WIN32
    return _commit(descriptor) == 0;
#else
    const mode_t mask = umask(0);
    umask(mask);
    return fsync(descriptor) == 0 && fchmod(descriptor, 0644 & ~mask) == 0;
#endif
}

std::string readProblemText(FileBytes::Problem problem)
{
    switch (problem) {
    case FileBytes::Problem::None: break;
    case FileBytes::Problem::NotFound:
        return "There is no such file. Check its name and folder.";
    case FileBytes::Problem::Folder:
        return "It is a folder, not a file. Name the settings file (*.zset) in it.";
    case FileBytes::Problem::NotRegularFile:
        return "It is not a regular file (it is a pipe or a device). Name the settings file "
               "(*.zset) itself.";
    case FileBytes::Problem::Unreadable:
        return "It cannot be read. Check that you may read it, or copy it to another folder.";
    case FileBytes::Problem::TooLarge:
        return "It is too large to be a settings file.";
    }
    return "It cannot be read.";
}

} // namespace

std::string SettingsFile::Error::text() const
{
    if (line == 0)
        return message;
    return "line " + std::to_string(line) + ": " + message;
}

SettingsFile::SettingsFile(const DeviceInfo& device, std::vector<Setting> settings,
                           std::string saved)
    : m_settings(std::move(settings))
{
    m_origin.hasHardware = true;
    m_origin.hardwareMajor = device.hardwareMajor();
    m_origin.hardwareMinor = device.hardwareMinor();
    m_origin.applicationVersion = device.applicationVersionText();
    m_origin.hasData = true;
    m_origin.dataMajor = device.dataMajor();
    m_origin.dataMinor = device.dataMinor();
    m_origin.serial = device.serialLabelText();
    m_origin.saved = std::move(saved);
}

std::string SettingsFile::text() const
{
    std::ostringstream out;
    out << TITLE_LINE << '\n';
    if (m_origin.hasHardware) {
        out << "# " << HARDWARE_KEY << ' ' << m_origin.hardwareMajor << '.'
            << m_origin.hardwareMinor;
        if (!m_origin.applicationVersion.empty())
            out << ", " << APPLICATION_KEY << ' ' << m_origin.applicationVersion;
        if (m_origin.hasData)
            out << ", " << DATA_KEY << ' ' << m_origin.dataMajor << '.' << m_origin.dataMinor;
        out << '\n';
    }
    if (!m_origin.serial.empty())
        out << "# " << SERIAL_KEY << ' ' << m_origin.serial << '\n';
    if (!m_origin.saved.empty())
        out << "# " << SAVED_KEY << ' ' << m_origin.saved << '\n';
    for (const Setting& setting : m_settings) {
        const char* name = EEPROM::parameterName(setting.id);
        if (name)
            out << name << " = " << setting.value << '\n';
    }
    return out.str();
}

// "# hardware 8.2, application 3.1.7, data 1.2", "# serial ..." and
// "# saved ..." describe the device; other comments are the user's own.
bool SettingsFile::takeComment(const std::string& comment, const std::string& key,
                               const std::string& rest, Origin* origin, std::string* problem)
{
    if (key == HARDWARE_KEY) {
        if (takeHardwareLine(rest, origin))
            return true;
        *problem = "the hardware line is not \"# hardware MAJOR.MINOR, application "
                   "MAJOR.MINOR.PATCH, data MAJOR.MINOR\" (numbers up to 65535; application "
                   "and data may be left out): found " + quoted(comment) + ".";
        return false;
    }
    if (key == SERIAL_KEY) {
        if (parseSerial(rest, &origin->serial))
            return true;
        *problem = "the serial line is not \"# serial\" and twelve pairs of hexadecimal "
                   "digits: found " + quoted(comment) + ".";
        return false;
    }
    if (key == SAVED_KEY) {
        if (isSavedTime(rest)) {
            origin->saved = rest;
            return true;
        }
        *problem = "the saved line is not \"# saved YYYY-MM-DD HH:MM\": found "
                   + quoted(comment) + ".";
        return false;
    }
    return true;
}

// "8.2, application 3.1.7, data 1.2": the hardware, then the application
// and the data version in this order, either of them left out.
bool SettingsFile::takeHardwareLine(const std::string& text, Origin* origin)
{
    std::istringstream parts(text);
    std::string part;
    if (!std::getline(parts, part, ','))
        return false;
    uint16_t pair[2] = {};
    uint16_t triple[3] = {};
    if (!parseVersion(trimmed(part), 2, pair))
        return false;
    Origin result = *origin;
    result.hasHardware = true;
    result.hardwareMajor = pair[0];
    result.hardwareMinor = pair[1];
    const char* const later[] = {APPLICATION_KEY, DATA_KEY};
    size_t next = 0;
    while (std::getline(parts, part, ',')) {
        std::string key;
        std::string version;
        splitWord(trimmed(part), &key, &version);
        while (next < 2 && key != later[next])
            ++next;
        if (next == 2)
            return false; // unknown, repeated or out of order
        if (key == APPLICATION_KEY) {
            if (!parseVersion(version, 3, triple))
                return false;
            result.applicationVersion = version;
        } else {
            if (!parseVersion(version, 2, pair))
                return false;
            result.hasData = true;
            result.dataMajor = pair[0];
            result.dataMinor = pair[1];
        }
        ++next;
    }
    // "8.2," leaves an empty part that getline does not return.
    if (!text.empty() && trimmed(text).back() == ',')
        return false;
    *origin = result;
    return true;
}

// A decimal number that a 16-bit parameter can hold.
bool SettingsFile::takeValue(const std::string& name, const std::string& valueText,
                             Setting* setting, std::string* problem)
{
    const bool wholeNumber = allDigits(valueText)
        || (valueText.size() > 1 && (valueText[0] == '-' || valueText[0] == '+')
            && allDigits(valueText.substr(1)));
    if (!wholeNumber) {
        *problem = "the value of " + name + " is not a whole number: " + quoted(valueText) + ".";
        return false;
    }
    int value = 0;
    if (!DecimalNumber::parse(valueText, &value) || value < MIN_VALUE || value > MAX_VALUE) {
        *problem = "the value of " + name + " is out of range: " + quoted(valueText)
            + "; a parameter holds " + std::to_string(MIN_VALUE) + " to "
            + std::to_string(MAX_VALUE) + ".";
        return false;
    }
    setting->value = value;
    return true;
}

bool SettingsFile::parse(const std::string& text, SettingsFile* file, Error* error)
{
    SettingsFile result;
    std::map<uint16_t, int> firstLineOf;
    std::map<std::string, int> deviceLineOf;
    auto fail = [error](int line, const std::string& message) {
        *error = Error{line, message};
        return false;
    };
    if (hasCrOnlyLineEnd(text))
        return fail(0, "The file has old-Mac line ends (CR alone). Save it with LF or CR LF "
                       "line ends.");
    std::istringstream lines(startsWith(text, UTF8_BOM) ? text.substr(3) : text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        const std::string line = trimmed(raw);
        if (line.empty())
            continue;
        if (line[0] == '#') {
            std::string key;
            std::string rest;
            splitWord(trimmed(line.substr(1)), &key, &rest);
            std::string problem;
            if (!takeComment(line, key, rest, &result.m_origin, &problem))
                return fail(number, problem);
            if (key != HARDWARE_KEY && key != SERIAL_KEY && key != SAVED_KEY)
                continue;
            const auto earlier = deviceLineOf.find(key);
            if (earlier != deviceLineOf.end())
                return fail(number, "the " + key + " line is given twice (also on line "
                                        + std::to_string(earlier->second) + ").");
            deviceLineOf[key] = number;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            return fail(number, "expected \"Name = value\", found " + quoted(line) + ".");
        const std::string name = trimmed(line.substr(0, equals));
        const std::string valueText = trimmed(line.substr(equals + 1));
        Setting setting;
        if (!EEPROM::parameterId(name.c_str(), &setting.id))
            return fail(number, quoted(name) + " is not a setting of this device.");
        std::string problem;
        if (!takeValue(name, valueText, &setting, &problem))
            return fail(number, problem);
        const auto earlier = firstLineOf.find(setting.id);
        if (earlier != firstLineOf.end())
            return fail(number, name + " is given twice (also on line "
                                    + std::to_string(earlier->second) + ").");
        firstLineOf[setting.id] = number;
        result.m_settings.push_back(setting);
    }
    if (result.m_settings.empty())
        return fail(0, "The file holds no settings.");
    *file = std::move(result);
    return true;
}

bool SettingsFile::read(const std::string& path, SettingsFile* file, Error* error)
{
    std::string text;
    const FileBytes::Problem problem = FileBytes::read(path, MAX_FILE_SIZE, &text);
    if (problem != FileBytes::Problem::None) {
        *error = Error{0, readProblemText(problem)};
        return false;
    }
    if (text.find('\0') != std::string::npos) {
        *error = Error{0, "It is not a text file."};
        return false;
    }
    return parse(text, file, error);
}

bool SettingsFile::write(const std::string& path, std::string* error) const
{
    if (!mayReplace(path, error))
        return false;
    std::string temporary;
    const int descriptor = createBeside(path, &temporary);
    if (descriptor < 0) {
        *error = std::string("No new file can be made in its folder: ") + std::strerror(errno)
            + ". Choose a folder you may write to.";
        return false;
    }
    const bool written = writeAll(descriptor, text()) && finish(descriptor);
    const int writeErrno = errno;
    if (closeFile(descriptor) != 0 || !written) {
        *error = std::string("It cannot be written: ")
            + std::strerror(written ? errno : writeErrno) + ".";
        std::remove(temporary.c_str());
        return false;
    }
    if (!renameOver(temporary, path)) {
        *error = std::string("It cannot be replaced: ") + std::strerror(errno) + ".";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace ZORVI
