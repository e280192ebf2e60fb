#include "SettingsFile.h"

#include "DecimalNumber.h"
#include "ParameterIds.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace ZORVI {

namespace {

const char* const HARDWARE_PREFIX = "hardware ";
const char* const SERIAL_PREFIX = "serial ";
const char* const SAVED_PREFIX = "saved ";
const char* const UTF8_BOM = "\xEF\xBB\xBF";

std::string trimmed(const std::string& text)
{
    const char* blanks = " \t\r";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// "8.2" into its two numbers.
bool parseVersionPair(const std::string& text, uint16_t* major, uint16_t* minor)
{
    unsigned first = 0;
    unsigned second = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%5u.%5u%c", &first, &second, &rest) != 2 || first > 0xFFFF
        || second > 0xFFFF)
        return false;
    *major = static_cast<uint16_t>(first);
    *minor = static_cast<uint16_t>(second);
    return true;
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
    if (m_origin.hasHardware && m_origin.hasData)
        out << "# " << HARDWARE_PREFIX << m_origin.hardwareMajor << '.' << m_origin.hardwareMinor
            << ", application " << m_origin.applicationVersion << ", data "
            << m_origin.dataMajor << '.' << m_origin.dataMinor << '\n';
    if (!m_origin.serial.empty())
        out << "# " << SERIAL_PREFIX << m_origin.serial << '\n';
    if (!m_origin.saved.empty())
        out << "# " << SAVED_PREFIX << m_origin.saved << '\n';
    for (const Setting& setting : m_settings) {
        const char* name = EEPROM::parameterName(setting.id);
        if (name)
            out << name << " = " << setting.value << '\n';
    }
    return out.str();
}

// "# hardware 8.2, application 3.1.7, data 1.2", "# serial ..." and
// "# saved ..." describe the device; other comments are the user's own.
void SettingsFile::takeComment(const std::string& comment, Origin* origin)
{
    const std::string text = trimmed(comment.substr(1));
    if (startsWith(text, SERIAL_PREFIX)) {
        origin->serial = trimmed(text.substr(std::strlen(SERIAL_PREFIX)));
    } else if (startsWith(text, SAVED_PREFIX)) {
        origin->saved = trimmed(text.substr(std::strlen(SAVED_PREFIX)));
    } else if (startsWith(text, HARDWARE_PREFIX)) {
        // "hardware 8.2, application 3.1.7, data 1.2": each part on its
        // own, so that a line edited by hand still names what it can.
        std::istringstream parts(text);
        std::string part;
        while (std::getline(parts, part, ','))
            takeVersion(trimmed(part), origin);
    }
}

void SettingsFile::takeVersion(const std::string& part, Origin* origin)
{
    const size_t blank = part.find(' ');
    if (blank == std::string::npos)
        return;
    const std::string key = part.substr(0, blank);
    const std::string version = trimmed(part.substr(blank + 1));
    if (key == "hardware")
        origin->hasHardware =
            parseVersionPair(version, &origin->hardwareMajor, &origin->hardwareMinor);
    else if (key == "application")
        origin->applicationVersion = version;
    else if (key == "data")
        origin->hasData = parseVersionPair(version, &origin->dataMajor, &origin->dataMinor);
}

bool SettingsFile::parse(const std::string& text, SettingsFile* file, Error* error)
{
    SettingsFile result;
    std::map<uint16_t, int> firstLineOf;
    std::istringstream lines(startsWith(text, UTF8_BOM) ? text.substr(3) : text);
    std::string raw;
    int number = 0;
    auto fail = [error](int line, const std::string& message) {
        *error = Error{line, message};
        return false;
    };
    while (std::getline(lines, raw)) {
        ++number;
        const std::string line = trimmed(raw);
        if (line.empty())
            continue;
        if (line[0] == '#') {
            result.takeComment(line, &result.m_origin);
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
        if (!DecimalNumber::parse(valueText, &setting.value))
            return fail(number, "the value of " + name + " is not a whole number: "
                                    + quoted(valueText) + ".");
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
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = Error{0, "Cannot read " + path + ": " + std::strerror(errno) + "."};
        return false;
    }
    std::string text(MAX_FILE_SIZE + 1, '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > MAX_FILE_SIZE) {
        *error = Error{0, path + " is too large to be a settings file."};
        return false;
    }
    if (text.find('\0') != std::string::npos) {
        *error = Error{0, path + " is not a text file."};
        return false;
    }
    return parse(text, file, error);
}

bool SettingsFile::write(const std::string& path, std::string* error) const
{
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text();
        out.flush();
        if (!out) {
            *error = "Cannot write " + temporary + ": " + std::strerror(errno) + ".";
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (!renameOver(temporary, path)) {
        *error = "Cannot replace " + path + ": " + std::strerror(errno) + ".";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace ZORVI
