#include "SetRequest.h"

#include "ControlText.h"
#include "DecimalNumber.h"
#include "ParameterIds.h"

#include <algorithm>
#include <cstdio>

namespace ZORVI {
namespace Cli {

namespace {

const char* const GEOMETRY_NAME = "SwashGeometry";
const char* const PHASE_NAME = "SwashPhase";

// On the command line a value is written one way only: an optional '-' and
// digits. "+4" and "-0" are refused: a script that builds them has likely
// gone wrong somewhere, and what it meant is not certain.
bool isPlainInteger(const std::string& text)
{
    const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits)
        return false;
    bool allZero = true;
    for (size_t i = digits; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        allZero = allZero && text[i] == '0';
    }
    return !(digits == 1 && allZero);
}

bool parseNumber(const std::string& text, int* value)
{
    if (isPlainInteger(text) && DecimalNumber::parse(text, value))
        return true;
    std::fprintf(stderr,
                 "zorvik: '%s' is not a value: write a decimal integer as digits with an "
                 "optional '-' (not +, not -0)\n",
                 ControlText::escaped(text).c_str());
    return false;
}

std::string assignmentText(const std::string& name, int value)
{
    return name + "=" + std::to_string(value);
}

bool parseGeometry(const std::string& text, SetRequest::Assignment* assignment)
{
    assignment->kind = SetRequest::Kind::Geometry;
    assignment->text = std::string(GEOMETRY_NAME) + "=" + text;
    if (Rules::geometryByName(text, &assignment->value))
        return true;
    std::fprintf(stderr, "zorvik: %s: no such swash plate geometry; the geometries are %s\n",
                 assignment->text.c_str(), Rules::geometryNames().c_str());
    return false;
}

bool parsePhase(const std::string& text, SetRequest::Assignment* assignment)
{
    assignment->kind = SetRequest::Kind::Phase;
    if (!parseNumber(text, &assignment->value))
        return false;
    assignment->text = assignmentText(PHASE_NAME, assignment->value);
    if (assignment->value >= SetRequest::PHASE_ANGLE_MIN
        && assignment->value <= SetRequest::PHASE_ANGLE_MAX)
        return true;
    std::fprintf(stderr, "zorvik: %s refused: the phase angle is %d to %d degrees\n",
                 assignment->text.c_str(), SetRequest::PHASE_ANGLE_MIN,
                 SetRequest::PHASE_ANGLE_MAX);
    return false;
}

bool parseParameter(const std::string& name, const std::string& text,
                    SetRequest::Assignment* assignment)
{
    assignment->kind = SetRequest::Kind::Parameter;
    if (!EEPROM::parameterId(name.c_str(), &assignment->id)) {
        std::fprintf(stderr,
                     "zorvik: unknown parameter '%s' (see zorvik params; the swash plate "
                     "geometry is %s=NAME and %s=DEG)\n",
                     name.c_str(), GEOMETRY_NAME, PHASE_NAME);
        return false;
    }
    if (Rules::isGeometryEntry(assignment->id)) {
        std::fprintf(stderr,
                     "zorvik: %s refused: the swash plate's servo angles, travels and mixer "
                     "mode are set only together, as a geometry, so that they always fit one "
                     "another; use %s=NAME and %s=DEG instead\n",
                     name.c_str(), GEOMETRY_NAME, PHASE_NAME);
        return false;
    }
    if (!parseNumber(text, &assignment->value))
        return false;
    assignment->text = assignmentText(name, assignment->value);
    return true;
}

// The seven entries of every geometry, in the order they are stored.
std::vector<uint16_t> geometryIds()
{
    std::vector<uint16_t> ids;
    for (const Rules::Change& change : Rules::geometryChanges(0, 0))
        ids.push_back(change.id);
    return ids;
}

} // namespace

bool SetRequest::parse(const std::vector<std::string>& words)
{
    bool valid = true;
    for (const std::string& word : words)
        valid = parseWord(word) && valid;
    return valid;
}

bool SetRequest::parseWord(const std::string& word)
{
    const size_t equals = word.find('=');
    if (equals == std::string::npos) {
        std::fprintf(stderr, "zorvik: '%s' is not NAME=VALUE\n", word.c_str());
        return false;
    }
    const std::string name = word.substr(0, equals);
    const std::string text = word.substr(equals + 1);
    Assignment assignment;
    bool parsed = false;
    if (name == GEOMETRY_NAME)
        parsed = parseGeometry(text, &assignment);
    else if (name == PHASE_NAME)
        parsed = parsePhase(text, &assignment);
    else
        parsed = parseParameter(name, text, &assignment);
    return parsed && add(assignment, name);
}

// A name given twice leaves in doubt which value the user meant.
bool SetRequest::add(const Assignment& assignment, const std::string& name)
{
    if (std::find(m_names.begin(), m_names.end(), name) != m_names.end()) {
        std::fprintf(stderr, "zorvik: %s is given more than once\n", name.c_str());
        return false;
    }
    m_names.push_back(name);
    m_assignments.push_back(assignment);
    return true;
}

const SetRequest::Assignment* SetRequest::find(Kind kind) const
{
    for (const Assignment& assignment : m_assignments)
        if (assignment.kind == kind)
            return &assignment;
    return nullptr;
}

std::vector<uint16_t> SetRequest::idsOf(const Assignment& assignment)
{
    if (assignment.kind == Kind::Parameter)
        return {assignment.id};
    return geometryIds();
}

std::vector<uint16_t> SetRequest::ids() const
{
    std::vector<uint16_t> ids;
    bool geometryListed = false;
    for (const Assignment& assignment : m_assignments) {
        if (assignment.kind != Kind::Parameter) {
            if (geometryListed)
                continue;
            geometryListed = true;
        }
        for (uint16_t id : idsOf(assignment))
            ids.push_back(id);
    }
    return ids;
}

bool SetRequest::completedGeometry(const Rules::Parameters& device, int* index,
                                   int* phaseAngle) const
{
    const Assignment* geometry = find(Kind::Geometry);
    const Assignment* phase = find(Kind::Phase);
    const Rules::StoredGeometry stored = Rules::storedGeometry(device);
    if (!geometry && !stored.recognised) {
        std::fprintf(stderr,
                     "zorvik: %s refused: the device's swash plate entries form no geometry "
                     "this software knows, so there is none to keep; give %s=NAME as well\n",
                     phase->text.c_str(), GEOMETRY_NAME);
        return false;
    }
    *index = geometry ? geometry->value : stored.index;
    *phaseAngle = phase ? phase->value : stored.phaseAngle;
    return true;
}

bool SetRequest::changes(const Rules::Parameters& device, Rules::Changes* out) const
{
    out->clear();
    const bool touchesGeometry = find(Kind::Geometry) || find(Kind::Phase);
    int index = 0;
    int phaseAngle = 0;
    if (touchesGeometry && !completedGeometry(device, &index, &phaseAngle))
        return false;
    bool geometryListed = false;
    for (const Assignment& assignment : m_assignments) {
        if (assignment.kind == Kind::Parameter) {
            out->push_back({assignment.id, assignment.value});
        } else if (!geometryListed) {
            const Rules::Changes geometry = Rules::geometryChanges(index, phaseAngle);
            out->insert(out->end(), geometry.begin(), geometry.end());
            geometryListed = true;
        }
    }
    return true;
}

} // namespace Cli
} // namespace ZORVI
