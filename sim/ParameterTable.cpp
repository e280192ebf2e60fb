#include "ParameterTable.h"

#include "HexText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

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

std::string idText(uint16_t id)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", id);
    return text;
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

} // namespace

ParameterTable::ParameterTable()
    : m_parameters(factoryParameters())
{
    for (Parameter& parameter : m_parameters)
        parameter.value = parameter.defaultValue;
}

const ParameterTable::Parameter* ParameterTable::findById(uint16_t id) const
{
    for (const Parameter& parameter : m_parameters) {
        if (parameter.id == id)
            return &parameter;
    }
    return nullptr;
}

const ParameterTable::Parameter* ParameterTable::findByAddress(uint16_t address) const
{
    for (const Parameter& parameter : m_parameters) {
        if (parameter.address == address)
            return &parameter;
    }
    return nullptr;
}

ParameterTable::Parameter* ParameterTable::findMutableByAddress(uint16_t address)
{
    return const_cast<Parameter*>(findByAddress(address));
}

uint16_t ParameterTable::readWord(uint16_t address) const
{
    const Parameter* parameter = findByAddress(address);
    return parameter ? parameter->word() : ERASED_WORD;
}

bool ParameterTable::acceptsWord(uint16_t address, uint16_t word) const
{
    const Parameter* parameter = findByAddress(address);
    return parameter && parameter->accepts(parameter->numberFromWord(word));
}

bool ParameterTable::writeWord(uint16_t address, uint16_t word)
{
    Parameter* parameter = findMutableByAddress(address);
    if (!parameter || !parameter->accepts(parameter->numberFromWord(word)))
        return false;
    parameter->value = parameter->numberFromWord(word);
    return true;
}

bool ParameterTable::setLimits(uint16_t id, int32_t minimum, int32_t maximum,
                               int32_t defaultValue)
{
    for (Parameter& parameter : m_parameters) {
        if (parameter.id != id)
            continue;
        parameter.minimum = minimum;
        parameter.maximum = maximum;
        parameter.defaultValue = defaultValue;
        parameter.value = defaultValue;
        return true;
    }
    return false;
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
    m_statePath = path;
    if (::access(path.c_str(), F_OK) != 0)
        return saveState(error);
    return loadState(error, warnings);
}

bool ParameterTable::loadState(std::string& error, std::vector<std::string>& warnings)
{
    std::ifstream in(m_statePath);
    if (!in) {
        error = m_statePath + ": cannot be read";
        return false;
    }
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        std::istringstream fields(line);
        std::string idField, valueField, rest;
        if (!(fields >> idField) || idField[0] == '#')
            continue;
        const std::string where = m_statePath + ":" + std::to_string(lineNumber) + ": ";
        uint32_t id = 0;
        int32_t number = 0;
        if (!(fields >> valueField) || (fields >> rest)
            || idField.rfind("0x", 0) != 0 || !HexText::parseNumber(idField, 0xFFFF, id)
            || !parseSignedNumber(valueField, number)) {
            error = where + "expected \"0xID value\"";
            return false;
        }
        Parameter* parameter = nullptr;
        for (Parameter& candidate : m_parameters) {
            if (candidate.id == id)
                parameter = &candidate;
        }
        if (!parameter) {
            error = where + "unknown parameter " + idText(static_cast<uint16_t>(id));
            return false;
        }
        // Keep what the file says, as a word would hold it.
        parameter->value = parameter->numberFromWord(static_cast<uint16_t>(number));
        if (!parameter->accepts(parameter->value))
            warnings.push_back(where + std::string(parameter->name) + " = "
                               + std::to_string(parameter->value) + " is outside "
                               + std::to_string(parameter->minimum) + ".."
                               + std::to_string(parameter->maximum));
    }
    return true;
}

bool ParameterTable::saveState(std::string& error) const
{
    if (m_statePath.empty())
        return true;
    const std::string temporary = m_statePath + ".tmp" + std::to_string(::getpid());
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "# zorvik-sim parameter values: 0xID value\n");
    for (const Parameter& parameter : m_parameters)
        std::fprintf(file, "%s %d\n", idText(parameter.id).c_str(), parameter.value);
    // Written in full and on disk before it replaces the old state, so a
    // crash leaves either the old or the new file, never half of one.
    const bool written = std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), m_statePath.c_str()) != 0) {
        error = m_statePath + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace Simulator
} // namespace ZORVI
