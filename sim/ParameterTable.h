#pragma once

#include <cstddef>
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

    // A parameter word as a write request carries it.
    struct WordWrite {
        uint16_t address;
        uint16_t word;
    };
    enum class StoreResult {
        Stored,
        UnknownAddress, // a word at an address without a parameter
        OutOfRange,     // a value outside its parameter's limits
        NotSaved        // the state file could not be saved (see `error`)
    };

    // The longest state file line read, and the most bytes of a state file:
    // far above anything the simulator writes (one short line per
    // parameter), and low enough that a mistaken --state is refused at once.
    static constexpr size_t MAX_STATE_LINE = 256;
    static constexpr size_t MAX_STATE_BYTES = 64 * 1024;

    ParameterTable();

    const std::vector<Parameter>& parameters() const { return m_parameters; }
    const Parameter* findById(uint16_t id) const;
    const Parameter* findByAddress(uint16_t address) const;
    uint16_t readWord(uint16_t address) const;

    // Takes the words whole or not at all: every one is checked, then the
    // state file is saved with them, and only then does the memory change.
    // Anything short of Stored leaves memory and state file as they were.
    StoreResult store(const std::vector<WordWrite>& writes, std::string& error);

    // Every parameter back to its default, the state file saved first; false
    // (and nothing changed) when it cannot be saved.
    bool resetToDefaults(std::string& error);

    // The write one off: its value plus one where the parameter's limits
    // allow, else minus one. A write the store refuses anyway (unknown
    // address, value outside the limits) comes back as it was.
    WordWrite altered(const WordWrite& write) const;

    // Describes a parameter with other limits and default, and gives it the
    // new default as its value; false for an unknown ID.
    bool setLimits(uint16_t id, int32_t minimum, int32_t maximum, int32_t defaultValue);

    // The device's firmware lacks the parameter: its ID is described as
    // unknown, its word reads erased and takes no write. Its value stays in
    // the state file, for a run whose device has it again. False for an ID
    // the table never had; one left out already is left out again.
    bool leaveOut(uint16_t id);
    bool isLeftOut(uint16_t id) const;

    // Puts a parameter at another word address; false for an ID the device
    // does not have. The caller keeps the address within MEMORY_WORDS and
    // sees to it that no other parameter lies there (sharingAddressWith).
    bool setAddress(uint16_t id, uint16_t address);
    // Another parameter at the same word address as this one, if any.
    const Parameter* sharingAddressWith(uint16_t id) const;

    // The number held for an ID, or false when the ID is unknown.
    bool value(uint16_t id, int32_t& number) const;

    // "0x1180": IDs and addresses as the state file and the messages write them.
    static std::string hexWord(uint16_t word);

    // Binds the table to a state file: reads it when it exists, otherwise
    // writes the defaults into it. Only a regular file of at most
    // MAX_STATE_BYTES is read (a directory or a device is refused before it
    // is opened). A line is "0x<ID> <value>" of at most MAX_STATE_LINE
    // characters; blank lines and lines starting with '#' are skipped.
    // Values outside a parameter's limits are kept (a test may want such a
    // device) but reported in `warnings`. On failure the table is unchanged
    // and bound to no file.
    bool attachStateFile(const std::string& path, std::string& error,
                         std::vector<std::string>& warnings);

private:
    bool loadState(const std::string& path, std::string& error,
                   std::vector<std::string>& warnings);
    // These parameters and the left-out ones, all that the state file keeps.
    std::vector<Parameter> withLeftOut(std::vector<Parameter> parameters) const;

    std::vector<Parameter> m_parameters;
    std::vector<Parameter> m_leftOut;
    std::string m_statePath;
};

} // namespace Simulator
} // namespace ZORVI
