#pragma once

// How GoogleTest shows the rules' changes in a failure: "0x1158=70".

#include "ParameterRules.h"

#include <ostream>

namespace ZORVI {
namespace Rules {

inline void PrintTo(const Change& change, std::ostream* out)
{
    *out << "0x" << std::hex << change.id << std::dec << "=" << change.value;
}

} // namespace Rules
} // namespace ZORVI
