#include "SetCommand.h"

#include "ParameterIds.h"
#include "ParameterSession.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace ZORVI {
namespace Cli {

namespace {

struct Assignment {
    std::string name;
    uint16_t id = 0;
    int value = 0;
};

bool findId(const std::string& name, uint16_t* id)
{
    for (const EEPROM::ParameterName& parameter : EEPROM::PARAMETER_NAMES) {
        if (name == parameter.name) {
            *id = parameter.id;
            return true;
        }
    }
    return false;
}

bool parseInteger(const std::string& text, int* value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < INT_MIN || number > INT_MAX)
        return false;
    *value = static_cast<int>(number);
    return true;
}

bool parseAssignment(const std::string& text, Assignment* assignment)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        std::fprintf(stderr, "zorvik: '%s' is not NAME=VALUE\n", text.c_str());
        return false;
    }
    assignment->name = text.substr(0, equals);
    if (!findId(assignment->name, &assignment->id)) {
        std::fprintf(stderr, "zorvik: unknown parameter '%s' (see zorvik params)\n",
                     assignment->name.c_str());
        return false;
    }
    if (!parseInteger(text.substr(equals + 1), &assignment->value)) {
        std::fprintf(stderr, "zorvik: '%s' is not a decimal integer\n",
                     text.substr(equals + 1).c_str());
        return false;
    }
    return true;
}

enum class Outcome { Accepted, Unchanged, Refused };

Outcome store(EEPROM::EEP& memory, const Assignment& assignment)
{
    bool ok = false;
    memory.getValue(assignment.id, &ok);
    if (!ok) {
        std::fprintf(stderr, "zorvik: %s: the device does not describe this parameter; "
                             "not written\n",
                     assignment.name.c_str());
        return Outcome::Refused;
    }
    const int minimum = memory.getMin(assignment.id);
    const int maximum = memory.getMax(assignment.id);
    if (assignment.value < minimum || assignment.value > maximum) {
        std::fprintf(stderr, "zorvik: %s=%d refused: allowed are %d to %d; not written\n",
                     assignment.name.c_str(), assignment.value, minimum, maximum);
        return Outcome::Refused;
    }
    return memory.set(assignment.id, assignment.value) ? Outcome::Accepted : Outcome::Unchanged;
}

} // namespace

int SetCommand::run(const std::vector<std::string>& args)
{
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: zorvik %s\n", synopsis());
        return EXIT_USAGE;
    }
    std::vector<Assignment> assignments;
    QList<uint16_t> ids;
    for (size_t i = 1; i < args.size(); ++i) {
        Assignment assignment;
        if (!parseAssignment(args[i], &assignment))
            return EXIT_USAGE;
        assignments.push_back(assignment);
        ids.append(assignment.id);
    }

    ParameterSession session;
    const int connected = session.connect(args[0]);
    if (connected != EXIT_OK)
        return connected;
    EEPROM::EEP& memory = session.memory();
    // In command-line order, which is also the order of the pairs written.
    memory.load(ids);

    int refused = 0;
    for (const Assignment& assignment : assignments) {
        switch (store(memory, assignment)) {
        case Outcome::Refused: ++refused; break;
        case Outcome::Unchanged:
            std::printf("%s=%d: unchanged, the device holds it already\n",
                        assignment.name.c_str(), assignment.value);
            break;
        case Outcome::Accepted: break;
        }
    }

    const QList<uint16_t> pending = memory.changedIds();
    if (!pending.isEmpty()) {
        if (!memory.writeChanges()) {
            std::fprintf(stderr, "zorvik: the device refused the write; nothing was stored\n");
            return EXIT_NO_DEVICE;
        }
        for (uint16_t id : pending)
            std::printf("%s=%d\n", EEPROM::parameterName(id), memory.getValue(id));
        std::printf("Settings successfully stored (%d written).\n", int(pending.size()));
    }
    return refused == 0 ? EXIT_OK : EXIT_USAGE;
}

} // namespace Cli
} // namespace ZORVI
