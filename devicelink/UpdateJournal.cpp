#include "UpdateJournal.h"

#include "FilePath.h"
#include "StateFolder.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ZORVI {

namespace {

namespace fs = std::filesystem;

constexpr char FILE_NAME[] = "updates.log";
// Fields are separated by tabs: no value holds one (control characters in
// values become spaces), so a line splits back into its fields at the tabs.
constexpr char SEPARATOR = '\t';

} // namespace

const char* UpdateJournal::folderVariables()
{
    return StateFolder::variables();
}

namespace {

std::string utcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[sizeof "2000-01-01T00:00:00Z"];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// One update is always one line: a value never breaks it or adds a field.
std::string oneLine(std::string value)
{
    for (char& c : value) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = ' ';
    }
    return value;
}

void appendField(std::string& line, const char* key, const std::string& value)
{
    line += SEPARATOR;
    line += key;
    line += '=';
    line += oneLine(value);
}

} // namespace

std::string UpdateJournal::path()
{
    const std::string folder = StateFolder::path();
    if (folder.empty())
        return std::string();
    return FilePath::text(FilePath::of(folder) / FILE_NAME);
}

bool UpdateJournal::append(const Entry& entry)
{
    const std::string where = path();
    if (where.empty())
        return false;
    std::error_code error;
    fs::create_directories(FilePath::of(where).parent_path(), error);
    if (error)
        return false;

    std::string line = utcNow();
    appendField(line, "port", entry.port);
    appendField(line, "file", entry.fileName);
    appendField(line, "sha256", entry.sha256);
    appendField(line, "file_versions", entry.fileVersions);
    appendField(line, "device_before", entry.deviceBefore);
    appendField(line, "device_after", entry.deviceAfter);
    appendField(line, "records",
                std::to_string(entry.recordsSent) + "/" + std::to_string(entry.recordsTotal));
    appendField(line, "outcome", entry.outcome);
    appendField(line, "reason", entry.reason);
    appendField(line, "backup", entry.backup);
    line += '\n';

    // Appended in one write, so that two programs updating at the same time
    // do not interleave within a line.
    std::ofstream out(FilePath::of(where), std::ios::binary | std::ios::app);
    if (!out)
        return false;
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
    return static_cast<bool>(out);
}

} // namespace ZORVI
