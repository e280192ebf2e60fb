#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// The device's parameter memory as the simulator keeps it: the parameters
// the settings program knows, each a 16-bit word at its own word address
// with limits and a default, and optionally a state file that carries the
// values from one run to the next.
class ParameterTable {
public:
    struct Parameter {
        uint16_t id;
        uint16_t address;
        int32_t minimum;
        int32_t maximum;
        int32_t defaultValue;
        const char* name;
        int32_t value;

        bool isSigned() const { return minimum < 0; }
        // The value as it lies in memory (two's complement when signed).
        uint16_t word() const { return static_cast<uint16_t>(value); }
        // A memory word read as this parameter's number.
        int32_t numberFromWord(uint16_t word) const
        {
            return isSigned() ? static_cast<int16_t>(word) : word;
        }
        bool accepts(int32_t number) const { return number >= minimum && number <= maximum; }
    };

    // Words of parameter memory; reads beyond it are refused.
    static constexpr uint32_t MEMORY_WORDS = 0x0400;
    // What a word without a parameter reads as (erased memory).
    static constexpr uint16_t ERASED_WORD = 0xFFFF;

    ParameterTable();

    const std::vector<Parameter>& parameters() const { return m_parameters; }
    const Parameter* findById(uint16_t id) const;
    const Parameter* findByAddress(uint16_t address) const;
    uint16_t readWord(uint16_t address) const;
    // Stores a word at a parameter's address; false (and nothing stored) for
    // an address without a parameter or a value outside its limits.
    bool writeWord(uint16_t address, uint16_t word);
    bool acceptsWord(uint16_t address, uint16_t word) const;

    // Describes a parameter with other limits and default, and gives it the
    // new default as its value; false for an unknown ID.
    bool setLimits(uint16_t id, int32_t minimum, int32_t maximum, int32_t defaultValue);

    // The number held for an ID, or false when the ID is unknown.
    bool value(uint16_t id, int32_t& number) const;

    // Binds the table to a state file: reads it when it exists, otherwise
    // writes the defaults into it. A line is "0x<ID> <value>"; blank lines
    // and lines starting with '#' are skipped. Values outside a parameter's
    // limits are kept (a test may want such a device) but reported in
    // `warnings`.
    bool attachStateFile(const std::string& path, std::string& error,
                         std::vector<std::string>& warnings);
    // Rewrites the state file atomically (no-op without one).
    bool saveState(std::string& error) const;

private:
    Parameter* findMutableByAddress(uint16_t address);
    bool loadState(std::string& error, std::vector<std::string>& warnings);

    std::vector<Parameter> m_parameters;
    std::string m_statePath;
};

} // namespace Simulator
} // namespace ZORVI
