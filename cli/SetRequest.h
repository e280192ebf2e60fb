#pragma once

#include "ParameterRules.h"
#include "SwashGeometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

// What `zorvik set` is asked, from its NAME=VALUE words: parameters by the
// names `zorvik params` lists, and the swash plate geometry as a whole
// (SwashGeometry=NAME, SwashPhase=DEG). The seven swash entries are never
// taken one by one: single angles, travels or a mixer mode that fit no
// geometry would leave the swash plate mixing wrongly.
class SetRequest {
public:
    // The phase angle as the settings window offers it: servo 1's
    // position, turned either way by at most half a turn.
    static constexpr int PHASE_ANGLE_MIN = SwashGeometry::PHASE_ANGLE_MIN;
    static constexpr int PHASE_ANGLE_MAX = SwashGeometry::PHASE_ANGLE_MAX;

    enum class Kind { Parameter, Geometry, Phase };
    struct Assignment {
        Kind kind = Kind::Parameter;
        std::string text; // NAME=VALUE, the value as understood
        uint16_t id = 0;  // for a parameter
        int value = 0;    // the parameter's value, geometry list position or phase angle
    };

    // False when a word is no valid assignment; each problem is told on
    // standard error.
    bool parse(const std::vector<std::string>& words);
    const std::vector<Assignment>& assignments() const { return m_assignments; }

    // The IDs the request stores, in the order they are written: the
    // command line's, the geometry's seven entries in place of its first
    // word.
    std::vector<uint16_t> ids() const;
    // The IDs one assignment stores.
    static std::vector<uint16_t> idsOf(const Assignment& assignment);

    // The changes to check and store, in the order of ids(). The geometry
    // or phase not given is the device's; false (told on standard error)
    // when only the phase is given and the device's swash entries form no
    // geometry to keep.
    bool changes(const Rules::Parameters& device, Rules::Changes* out) const;

private:
    bool parseWord(const std::string& word);
    bool add(const Assignment& assignment, const std::string& name);
    const Assignment* find(Kind kind) const;
    bool completedGeometry(const Rules::Parameters& device, int* index, int* phaseAngle) const;

    std::vector<Assignment> m_assignments;
    std::vector<std::string> m_names;
};

} // namespace Cli
} // namespace ZORVI
