#include "ParamsCommand.h"

#include "CommandWords.h"
#include "ParameterIds.h"
#include "ParameterSession.h"

#include <cstdio>
#include <string>
#include <vector>

namespace ZORVI {
namespace Cli {

namespace {

struct ParameterRow {
    const char* name = nullptr;
    uint16_t id = 0;
    bool described = false;
    uint16_t address = 0;
    bool hasValue = false;
    int value = 0;
    int minimum = 0;
    int maximum = 0;
    int defaultValue = 0;
};

ParameterRow readRow(EEPROM::ParameterMemory& memory, const EEPROM::ParameterName& parameter)
{
    ParameterRow row;
    row.name = parameter.name;
    row.id = parameter.id;
    EEPROM::Entry entry(parameter.id);
    row.described = memory.findEntry(parameter.id, &entry)
        && entry.state() != EEPROM::Entry::StateNew;
    row.address = entry.address();
    bool ok = false;
    row.value = memory.getValue(parameter.id, &ok);
    row.hasValue = ok;
    row.minimum = memory.getMin(parameter.id);
    row.maximum = memory.getMax(parameter.id);
    row.defaultValue = memory.getDefault(parameter.id);
    return row;
}

std::string jsonNumber(bool known, long number)
{
    return known ? std::to_string(number) : std::string("null");
}

void printJson(const std::vector<ParameterRow>& rows)
{
    std::printf("[\n");
    for (size_t i = 0; i < rows.size(); ++i) {
        const ParameterRow& row = rows[i];
        std::printf("  {\"name\": \"%s\", \"id\": %u, \"address\": %s, \"value\": %s, "
                    "\"min\": %s, \"max\": %s, \"default\": %s}%s\n",
                    row.name, unsigned(row.id), jsonNumber(row.described, row.address).c_str(),
                    jsonNumber(row.hasValue, row.value).c_str(),
                    jsonNumber(row.hasValue, row.minimum).c_str(),
                    jsonNumber(row.hasValue, row.maximum).c_str(),
                    jsonNumber(row.hasValue, row.defaultValue).c_str(),
                    i + 1 < rows.size() ? "," : "");
    }
    std::printf("]\n");
}

void printTable(const std::vector<ParameterRow>& rows)
{
    std::printf("%-22s %-6s %-7s %7s %7s %7s %7s\n", "NAME", "ID", "ADDRESS", "VALUE", "MIN",
                "MAX", "DEFAULT");
    for (const ParameterRow& row : rows) {
        char address[8] = "-";
        if (row.described)
            std::snprintf(address, sizeof address, "0x%04X", row.address);
        if (row.hasValue)
            std::printf("%-22s 0x%04X %-7s %7d %7d %7d %7d\n", row.name, unsigned(row.id),
                        address, row.value, row.minimum, row.maximum, row.defaultValue);
        else
            std::printf("%-22s 0x%04X %-7s %7s %7s %7s %7s\n", row.name, unsigned(row.id),
                        address, "-", "-", "-", "-");
    }
}

} // namespace

int ParamsCommand::run(const std::vector<std::string>& args)
{
    CommandWords words;
    if (!words.split(args, {"--json"}, synopsis()))
        return EXIT_USAGE;
    if (words.operands().size() != 1) {
        CommandWords::printUsage(synopsis());
        return EXIT_USAGE;
    }
    const bool json = words.has("--json");
    const std::string& port = words.operands().front();

    ParameterSession session;
    const int connected = session.connect(port);
    if (connected != EXIT_OK)
        return connected;

    std::vector<ParameterRow> rows;
    // Every parameter was read when connecting; one without a value is one
    // this device's firmware does not have.
    for (const EEPROM::ParameterName& parameter : EEPROM::PARAMETER_NAMES) {
        rows.push_back(readRow(session.memory(), parameter));
        if (!rows.back().hasValue)
            std::fprintf(stderr, "zorvik: %s (0x%04X) is not offered by this device\n",
                         parameter.name, unsigned(parameter.id));
    }
    if (json)
        printJson(rows);
    else
        printTable(rows);
    return EXIT_OK;
}

} // namespace Cli
} // namespace ZORVI
