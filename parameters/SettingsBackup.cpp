#include "SettingsBackup.h"

#include "FilePath.h"
#include "StateFolder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <tuple>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ZORVI {

namespace {

namespace fs = std::filesystem;

// "2026-12-10T14-03-27": where the digits stand in a name's time.
const char* const TIME_PATTERN = "dddd-dd-ddTdd-dd-dd";
// Far more than two updates of one unit within a second can need.
constexpr int MAX_COPIES = 1000;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

std::string localTimeText(std::time_t when)
{
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &when);
#else
    localtime_r(&when, &parts);
#endif
    char text[sizeof "2000-01-01T00-00-00" + 8] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H-%M-%S", &parts);
    return text;
}

// "9E AE 2C ..." as the names hold it: upper case, no blanks.
std::string serialOfLabel(const std::string& label)
{
    std::string serial;
    for (char c : label)
        if (!std::isspace(static_cast<unsigned char>(c)))
            serial += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return serial;
}

// A backup's name past its serial number and '-': the time, and the copy
// number (1 without one). False for any other name.
bool parseName(const std::string& rest, std::string* time, int* copy)
{
    const std::string pattern = TIME_PATTERN;
    const std::string extension = std::string(".") + SettingsFile::EXTENSION;
    if (rest.size() < pattern.size() + 2 + extension.size())
        return false;
    for (size_t k = 0; k < pattern.size(); ++k)
        if (pattern[k] == 'd' ? !isDigit(rest[k]) : rest[k] != pattern[k])
            return false;
    if (rest[pattern.size()] != '-'
        || rest.compare(rest.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    std::string version = rest.substr(pattern.size() + 1,
                                      rest.size() - pattern.size() - 1 - extension.size());
    *copy = 1;
    const size_t dash = version.rfind('-');
    if (dash != std::string::npos) {
        const std::string number = version.substr(dash + 1);
        if (!allDigits(number) || number.size() > 4)
            return false;
        *copy = std::stoi(number);
        version.erase(dash);
    }
    if (version.empty() || version.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    *time = rest.substr(0, pattern.size());
    return true;
}

// Creates path as a new empty file, never opening one that exists: the
// name is then this program's. EEXIST in errno when it is taken.
bool claim(const std::string& path)
{
#ifdef _WIN32
    const int descriptor = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                                 _S_IREAD | _S_IWRITE);
    return descriptor >= 0 && _close(descriptor) == 0;
#else
    const int descriptor = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    return descriptor >= 0 && ::close(descriptor) == 0;
#endif
}

} // namespace

std::string SettingsBackup::folder()
{
    const std::string state = StateFolder::path();
    if (state.empty())
        return std::string();
    return FilePath::text(FilePath::of(state) / FOLDER);
}

std::string SettingsBackup::serialText(const DeviceInfo& device)
{
    return serialOfLabel(device.serialLabelText());
}

std::string SettingsBackup::fileName(const DeviceInfo& device, std::time_t when, int copy)
{
    std::string name = serialText(device) + "-" + localTimeText(when) + "-"
        + device.applicationVersionText();
    if (copy > 1)
        name += "-" + std::to_string(copy);
    return name + "." + SettingsFile::EXTENSION;
}

bool SettingsBackup::save(const SettingsFile& file, const DeviceInfo& device, std::string* path,
                          std::string* error)
{
    return save(file, device, std::time(nullptr), path, error);
}

bool SettingsBackup::save(const SettingsFile& file, const DeviceInfo& device, std::time_t when,
                          std::string* path, std::string* error)
{
    const std::string where = folder();
    if (where.empty()) {
        *error = std::string("No folder for the settings backups is known: set ")
            + StateFolder::variables() + ".";
        return false;
    }
    std::error_code failure;
    fs::create_directories(FilePath::of(where), failure);
    if (failure) {
        *error = "The folder " + where + " cannot be made: " + failure.message() + ".";
        return false;
    }
    for (int copy = 1; copy <= MAX_COPIES; ++copy) {
        const std::string candidate =
            FilePath::text(FilePath::of(where) / FilePath::of(fileName(device, when, copy)));
        if (!claim(candidate)) {
            if (errno == EEXIST)
                continue;
            *error = "The backup " + candidate + " cannot be made: " + std::strerror(errno)
                + ".";
            return false;
        }
        std::string problem;
        if (!file.write(candidate, &problem)) {
            std::remove(candidate.c_str());
            *error = "The backup " + candidate + " cannot be saved: " + problem;
            return false;
        }
        *path = candidate;
        return true;
    }
    *error = "The folder " + where + " holds too many backups of this time already.";
    return false;
}

std::vector<SettingsBackup::Listed> SettingsBackup::of(const DeviceInfo& device)
{
    return ofSerial(device.serialLabelText());
}

std::vector<SettingsBackup::Listed> SettingsBackup::ofSerial(const std::string& serialLabel)
{
    struct Found {
        std::string time;
        int copy = 1;
        Listed listed;
    };
    std::vector<Found> found;
    const std::string where = folder();
    const std::string prefix = serialOfLabel(serialLabel) + "-";
    if (where.empty() || prefix.size() == 1)
        return {};
    std::error_code failure;
    fs::directory_iterator entries(FilePath::of(where), failure);
    if (failure)
        return {};
    for (const fs::directory_entry& entry : entries) {
        const std::string name = FilePath::text(entry.path().filename());
        Found backup;
        if (name.compare(0, prefix.size(), prefix) != 0
            || !parseName(name.substr(prefix.size()), &backup.time, &backup.copy))
            continue;
        backup.listed.path = FilePath::text(entry.path());
        SettingsFile::Error error;
        // A file that does not read, or that another unit saved, is no
        // backup of this one.
        if (!SettingsFile::read(backup.listed.path, &backup.listed.file, &error)
            || serialOfLabel(backup.listed.file.origin().serial) != serialOfLabel(serialLabel))
            continue;
        found.push_back(std::move(backup));
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.time, a.copy, a.listed.path) > std::tie(b.time, b.copy, b.listed.path);
    });
    std::vector<Listed> listed;
    for (Found& backup : found)
        listed.push_back(std::move(backup.listed));
    return listed;
}

std::vector<SettingsBackup::Listed> SettingsBackup::newestOfEachUnit()
{
    const std::string where = folder();
    if (where.empty())
        return {};
    // The serial part of every name: 24 hexadecimal digits before a '-'.
    std::vector<std::string> serials;
    std::error_code failure;
    fs::directory_iterator entries(FilePath::of(where), failure);
    if (failure)
        return {};
    const size_t length = 2 * DeviceInfo::SERIAL_LENGTH;
    for (const fs::directory_entry& entry : entries) {
        const std::string name = FilePath::text(entry.path().filename());
        if (name.size() <= length || name[length] != '-'
            || name.find_first_not_of("0123456789ABCDEF") < length)
            continue;
        const std::string serial = name.substr(0, length);
        if (std::find(serials.begin(), serials.end(), serial) == serials.end())
            serials.push_back(serial);
    }
    std::vector<std::pair<std::string, Listed>> newest;
    for (const std::string& serial : serials) {
        std::vector<Listed> backups = ofSerial(serial);
        if (backups.empty())
            continue;
        // The saved line's time orders units: "2026-12-10 14:03".
        const std::string saved = backups.front().file.origin().saved;
        newest.emplace_back(saved, std::move(backups.front()));
    }
    std::stable_sort(newest.begin(), newest.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<Listed> listed;
    for (auto& unit : newest)
        listed.push_back(std::move(unit.second));
    return listed;
}

} // namespace ZORVI
