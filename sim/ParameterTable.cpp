#include "ParameterTable.h"

#include "HexText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#endif

namespace ZORVI {
namespace Simulator {

namespace {

// The factory setup: a 120 degree swash plate at phase angle 0 (servos at
// 0, 120 and 240 degrees, equal travel), 50 Hz analogue servos, the tail
// servo at 1520 us centre pulse, and every preset on its factory item.
// Addresses follow the device's memory layout: the groups lie in separate
// blocks, so the settings program has to read them in several runs.
std::vector<ParameterTable::Parameter> factoryParameters()
{
    // id, address, minimum, maximum, default, name
    return {
        {0x1000, 0x0010, 0, 5, 1, "SwashServoFrequencyID", 0},
        {0x1004, 0x0011, 50, 200, 50, "SwashServoFrequency", 0},
        {0x1040, 0x0014, 0, 5, 3, "SwashMixerID", 0},
        {0x1044, 0x0015, 0, 7, 7, "SwashMixerMode", 0},
        {0x1048, 0x0016, 0, 359, 0, "SwashServo1Angle", 0},
        {0x1049, 0x0017, 0, 359, 120, "SwashServo2Angle", 0},
        {0x104A, 0x0018, 0, 359, 240, "SwashServo3Angle", 0},
        {0x1050, 0x0019, 0, 2000, 1000, "SwashServo1Travel", 0},
        {0x1051, 0x001A, 0, 2000, 1000, "SwashServo2Travel", 0},
        {0x1052, 0x001B, 0, 2000, 1000, "SwashServo3Travel", 0},
        {0x1058, 0x0020, 0, 5, 1, "TailServoFrequencyID", 0},
        {0x105C, 0x0021, 50, 560, 50, "TailServoFrequency", 0},
        {0x1060, 0x0022, 0, 3, 3, "TailServoCPPLID", 0},
        {0x1064, 0x0023, 500, 2000, 1520, "TailServoCPPL", 0},
        {0x1098, 0x0030, 0, 5, 2, "StickDeadbandID", 0},
        {0x109C, 0x0031, 0, 25, 2, "StickDeadband", 0},
        {0x110C, 0x0040, 0, 5, 3, "PitchingUpBehaviourID", 0},
        {0x1110, 0x0041, 0, 100, 50, "PitchingUpBehaviour", 0},
        {0x111E, 0x0044, 0, 5, 1, "PitchBoostID", 0},
        {0x111F, 0x0045, 0, 100, 0, "PitchBoost", 0},
        {0x1125, 0x0046, 0, 5, 1, "CyclicBoostID", 0},
        {0x1126, 0x0047, 0, 100, 0, "CyclicBoost", 0},
        {0x1154, 0x0050, 0, 5, 3, "HeadingLockGainID", 0},
        {0x1158, 0x0051, 0, 100, 60, "HeadingLockGain", 0},
        {0x1170, 0x0060, 0, 5, 1, "RevoMixID", 0},
        {0x1174, 0x0061, -1, 1, 1, "TorqueDirection", 0},
        {0x1178, 0x0062, -100, 100, 0, "RevoMixPitch", 0},
        {0x117C, 0x0063, -100, 100, 0, "RevoMixCyclic", 0},
        {0x1180, 0x0064, -100, 100, 0, "TailAsymmetry", 0},
    };
}

bool parseSignedNumber(const std::string& text, int32_t& number)
{
    const bool negative = !text.empty() && text[0] == '-';
    uint32_t magnitude = 0;
    if (!HexText::parseNumber(negative ? text.substr(1) : text, 0xFFFF, magnitude))
        return false;
    number = negative ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude);
    return number >= -32768;
}

// The parameter whose `field` equals `key`, in a table or a copy of one.
template <typename Parameters>
auto findIn(Parameters& parameters, uint16_t ParameterTable::Parameter::*field, uint16_t key)
    -> decltype(&parameters.front())
{
    for (auto& parameter : parameters) {
        if (parameter.*field == key)
            return &parameter;
    }
    return nullptr;
}

std::string systemError()
{
    return std::strerror(errno);
}

// ---- reading the state file ------------------------------------------------

const char* fileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a FIFO";
#ifdef S_ISSOCK // Windows has no sockets in its file system
    if (S_ISSOCK(mode))
        return "a socket";
#endif
    return "of another kind";
}

// A device such as /dev/zero never ends and a FIFO waits for a writer:
// only a regular file is read, and none larger than a state file can be.
bool refuseUnlessRegular(const std::string& path, mode_t mode, std::string& error)
{
    if (S_ISREG(mode))
        return true;
    error = "state file " + path + " is " + fileKind(mode)
        + ", not a regular file: name a file (one that does not exist yet is created"
          " with the defaults)";
    return false;
}

#ifdef _WIN32
// Windows reads files as text unless told otherwise (turning line ends
// into other bytes), and knows neither terminals nor non-blocking files.
constexpr int STATE_READ_FLAGS = O_RDONLY | O_BINARY;
#else
constexpr int STATE_READ_FLAGS = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#endif

bool readStateText(const std::string& path, std::string& text, std::string& error)
{
    // Checked again on the opened file, which may not be the one looked at.
    const int descriptor = ::open(path.c_str(), STATE_READ_FLAGS);
    if (descriptor < 0) {
        error = "cannot read state file " + path + ": " + systemError();
        return false;
    }
    struct stat status {};
    bool ok = ::fstat(descriptor, &status) == 0;
    if (!ok)
        error = "cannot read state file " + path + ": " + systemError();
    else
        ok = refuseUnlessRegular(path, status.st_mode, error);
    char chunk[4096];
    while (ok) {
        const ssize_t count = ::read(descriptor, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count < 0)
                error = "cannot read state file " + path + ": " + systemError();
            ok = count == 0;
            break;
        }
        text.append(chunk, static_cast<size_t>(count));
        if (text.size() > ParameterTable::MAX_STATE_BYTES) {
            error = "state file " + path + " is larger than "
                + std::to_string(ParameterTable::MAX_STATE_BYTES)
                + " bytes, far more than a state file holds: name another file";
            ok = false;
        }
    }
    ::close(descriptor);
    return ok;
}

// One line "0xID value" into `parameters`; false with the reason otherwise.
bool takeStateLine(const std::string& line, const std::string& where,
                   std::vector<ParameterTable::Parameter>& parameters, std::string& error,
                   std::vector<std::string>& warnings)
{
    if (line.size() > ParameterTable::MAX_STATE_LINE) {
        error = where + "line longer than " + std::to_string(ParameterTable::MAX_STATE_LINE)
            + " characters; a line is \"0xID value\"";
        return false;
    }
    std::istringstream fields(line);
    std::string idField, valueField, rest;
    if (!(fields >> idField) || idField[0] == '#')
        return true;
    uint32_t id = 0;
    int32_t number = 0;
    if (!(fields >> valueField) || (fields >> rest) || idField.rfind("0x", 0) != 0
        || !HexText::parseNumber(idField, 0xFFFF, id) || !parseSignedNumber(valueField, number)) {
        error = where + "expected \"0xID value\"";
        return false;
    }
    ParameterTable::Parameter* parameter =
        findIn(parameters, &ParameterTable::Parameter::id, static_cast<uint16_t>(id));
    if (!parameter) {
        error = where + "unknown parameter " + ParameterTable::hexWord(static_cast<uint16_t>(id));
        return false;
    }
    // Keep what the file says, as a word would hold it.
    parameter->value = parameter->numberFromWord(static_cast<uint16_t>(number));
    if (!parameter->accepts(parameter->value))
        warnings.push_back(where + std::string(parameter->name) + " = "
                           + std::to_string(parameter->value) + " is outside "
                           + std::to_string(parameter->minimum) + ".."
                           + std::to_string(parameter->maximum));
    return true;
}

// ---- saving the state file -------------------------------------------------

// In the order of the IDs, whichever parameters the device leaves out.
std::string stateText(std::vector<ParameterTable::Parameter> parameters)
{
    std::sort(parameters.begin(), parameters.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });
    std::string text = "# zorvik-sim parameter values: 0xID value\n";
    for (const ParameterTable::Parameter& parameter : parameters)
        text += ParameterTable::hexWord(parameter.id) + " " + std::to_string(parameter.value)
            + "\n";
    return text;
}

// "DIR/.NAME.XXXXXX" beside the state file, so that the rename stays on
// one file system.
std::string temporaryPattern(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".XXXXXX";
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

bool writeAll(int descriptor, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t count = ::write(descriptor, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

#ifdef _WIN32
// Windows files carry no permission bits to keep (only a read-only mark,
// which a state file the simulator writes never has).
bool keepPermissions(int, const std::string&)
{
    return true;
}

bool flushToDisk(int descriptor)
{
    return ::_commit(descriptor) == 0;
}

// A name nobody else holds: the pattern's X's filled in, and the file
// created only when no file of that name exists (O_EXCL).
int createTemporary(std::string& name)
{
    const std::string pattern = name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = pattern;
        if (::_mktemp_s(&name[0], name.size() + 1) != 0)
            return -1;
        const int descriptor =
            ::_open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

// Windows' rename refuses to replace an existing file.
bool replaceFile(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = EACCES;
    return false;
}
#else
// The new file keeps the permissions of the one it replaces.
mode_t replacementMode(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        return status.st_mode & 07777;
    return 0644;
}

bool keepPermissions(int descriptor, const std::string& path)
{
    return ::fchmod(descriptor, replacementMode(path)) == 0;
}

bool flushToDisk(int descriptor)
{
    return ::fsync(descriptor) == 0;
}

int createTemporary(std::string& name)
{
    return ::mkostemp(&name[0], O_CLOEXEC);
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}
#endif

// The new state in the temporary file, on disk, with the permissions of
// the file it is to replace.
bool writeStateInto(int descriptor, const std::string& path,
                    const std::vector<ParameterTable::Parameter>& parameters)
{
    return keepPermissions(descriptor, path) && writeAll(descriptor, stateText(parameters))
        && flushToDisk(descriptor);
}

// Written in full and on disk before it replaces the old state, so that a
// crash leaves either the old or the new file, never half of one. The
// temporary file gets a name nobody can predict, made by mkostemp with
// O_EXCL: a link planted under a guessed name is never followed. Whatever
// fails, the temporary file goes and the state file is left as it was.
bool saveStateFile(const std::string& path,
                   const std::vector<ParameterTable::Parameter>& parameters, std::string& error)
{
    std::string name = temporaryPattern(path);
    const int descriptor = createTemporary(name);
    if (descriptor < 0) {
        error = "cannot save state file " + path + ": no new file can be made in "
            + folderOf(path) + " (" + systemError() + "); it must be a folder you can write to";
        return false;
    }
    const char* failedStep = nullptr;
    int failure = 0;
    if (!writeStateInto(descriptor, path, parameters)) {
        failure = errno;
        failedStep = "writing it failed";
    }
    if (::close(descriptor) != 0 && !failedStep) {
        failure = errno;
        failedStep = "writing it failed";
    }
    if (!failedStep && !replaceFile(name, path)) {
        failure = errno;
        failedStep = "the old file cannot be replaced";
    }
    if (!failedStep)
        return true;
    ::unlink(name.c_str());
    error = "cannot save state file " + path + ": " + failedStep + " (" + std::strerror(failure)
        + ")";
    return false;
}

} // namespace

ParameterTable::ParameterTable()
    : m_parameters(factoryParameters())
{
    for (Parameter& parameter : m_parameters)
        parameter.value = parameter.defaultValue;
}

const ParameterTable::Parameter* ParameterTable::findById(uint16_t id) const
{
    return findIn(m_parameters, &Parameter::id, id);
}

const ParameterTable::Parameter* ParameterTable::findByAddress(uint16_t address) const
{
    return findIn(m_parameters, &Parameter::address, address);
}

uint16_t ParameterTable::readWord(uint16_t address) const
{
    const Parameter* parameter = findByAddress(address);
    return parameter ? parameter->word() : ERASED_WORD;
}

ParameterTable::StoreResult ParameterTable::store(const std::vector<WordWrite>& writes,
                                                  std::string& error)
{
    std::vector<Parameter> updated = m_parameters;
    for (const WordWrite& write : writes) {
        Parameter* parameter = findIn(updated, &Parameter::address, write.address);
        if (!parameter)
            return StoreResult::UnknownAddress;
        const int32_t number = parameter->numberFromWord(write.word);
        if (!parameter->accepts(number))
            return StoreResult::OutOfRange;
        parameter->value = number;
    }
    if (!m_statePath.empty() && !saveStateFile(m_statePath, withLeftOut(updated), error))
        return StoreResult::NotSaved;
    m_parameters = std::move(updated);
    return StoreResult::Stored;
}

bool ParameterTable::resetToDefaults(std::string& error)
{
    std::vector<Parameter> updated = m_parameters;
    for (Parameter& parameter : updated)
        parameter.value = parameter.defaultValue;
    if (!m_statePath.empty() && !saveStateFile(m_statePath, withLeftOut(updated), error))
        return false;
    m_parameters = std::move(updated);
    return true;
}

ParameterTable::WordWrite ParameterTable::altered(const WordWrite& write) const
{
    const Parameter* parameter = findByAddress(write.address);
    if (!parameter)
        return write;
    const int32_t number = parameter->numberFromWord(write.word);
    if (!parameter->accepts(number))
        return write;
    const int32_t other = parameter->accepts(number + 1) ? number + 1 : number - 1;
    if (!parameter->accepts(other))
        return write; // a parameter that takes one value only
    return {write.address, static_cast<uint16_t>(other)};
}

bool ParameterTable::setLimits(uint16_t id, int32_t minimum, int32_t maximum,
                               int32_t defaultValue)
{
    Parameter* parameter = findIn(m_parameters, &Parameter::id, id);
    if (!parameter)
        return false;
    parameter->minimum = minimum;
    parameter->maximum = maximum;
    parameter->defaultValue = defaultValue;
    parameter->value = defaultValue;
    return true;
}

bool ParameterTable::leaveOut(uint16_t id)
{
    if (isLeftOut(id))
        return true;
    const Parameter* parameter = findById(id);
    if (!parameter)
        return false;
    m_leftOut.push_back(*parameter);
    m_parameters.erase(m_parameters.begin() + (parameter - m_parameters.data()));
    return true;
}

bool ParameterTable::isLeftOut(uint16_t id) const
{
    return findIn(m_leftOut, &Parameter::id, id) != nullptr;
}

bool ParameterTable::setAddress(uint16_t id, uint16_t address)
{
    Parameter* parameter = findIn(m_parameters, &Parameter::id, id);
    if (!parameter)
        return false;
    parameter->address = address;
    return true;
}

const ParameterTable::Parameter* ParameterTable::sharingAddressWith(uint16_t id) const
{
    const Parameter* parameter = findById(id);
    if (!parameter)
        return nullptr;
    for (const Parameter& other : m_parameters) {
        if (other.id != id && other.address == parameter->address)
            return &other;
    }
    return nullptr;
}

std::string ParameterTable::hexWord(uint16_t word)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", word);
    return text;
}

bool ParameterTable::value(uint16_t id, int32_t& number) const
{
    const Parameter* parameter = findById(id);
    if (!parameter)
        return false;
    number = parameter->value;
    return true;
}

bool ParameterTable::attachStateFile(const std::string& path, std::string& error,
                                     std::vector<std::string>& warnings)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (!refuseUnlessRegular(path, status.st_mode, error)
            || !loadState(path, error, warnings))
            return false;
    } else if (errno != ENOENT) {
        error = "cannot use state file " + path + ": " + systemError()
            + "; name a file in a folder you can write to";
        return false;
    } else if (!saveStateFile(path, withLeftOut(m_parameters), error)) {
        return false; // a fresh start, but the defaults cannot be written
    }
    m_statePath = path;
    return true;
}

bool ParameterTable::loadState(const std::string& path, std::string& error,
                               std::vector<std::string>& warnings)
{
    std::string text;
    if (!readStateText(path, text, error))
        return false;
    std::vector<Parameter> loaded = withLeftOut(m_parameters);
    std::vector<std::string> found;
    size_t lineStart = 0;
    for (int lineNumber = 1; lineStart < text.size(); ++lineNumber) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (!takeStateLine(text.substr(lineStart, lineEnd - lineStart), where, loaded, error,
                           found))
            return false;
        lineStart = lineEnd + 1;
    }
    const auto leftOutStart = loaded.begin() + static_cast<std::ptrdiff_t>(m_parameters.size());
    m_leftOut.assign(leftOutStart, loaded.end());
    loaded.erase(leftOutStart, loaded.end());
    m_parameters = std::move(loaded);
    warnings.insert(warnings.end(), found.begin(), found.end());
    return true;
}

std::vector<ParameterTable::Parameter>
ParameterTable::withLeftOut(std::vector<Parameter> parameters) const
{
    parameters.insert(parameters.end(), m_leftOut.begin(), m_leftOut.end());
    return parameters;
}

} // namespace Simulator
} // namespace ZORVI
