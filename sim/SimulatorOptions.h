#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// Everything the simulated adapter and device can be told on the command
// line: the device's identity, its faults, and the firmware transfer side.
class SimulatorOptions {
public:
    struct Version {
        uint16_t major = 0;
        uint16_t minor = 0;
        uint16_t patch = 0;
    };

    // Where the port appears in the port map.
    std::string portName = "ttySIM0";

    // Identity, as the device information answer carries it.
    Version applicationVersion{3, 1, 7};
    Version dataVersion{1, 2, 0};
    uint16_t hardwareWord = 0x0082; // major 8, minor 2
    // Serial number bytes in the order they go out on the wire (the host
    // stores them reversed).
    std::array<uint8_t, 12> serialOnWire = {0x5A, 0x17, 0xC3, 0x08, 0xE2, 0x4D,
                                            0x91, 0x2B, 0xE6, 0x70, 0x3F, 0xA4};
    uint16_t token = 0x1234;
    bool shortInfo = false;                      // 24-byte answer without the token
    std::optional<std::vector<uint8_t>> rawInfo; // answer payload as given
    std::optional<uint8_t> recoveryHardware;     // device sits in its boot loader

    // Faults of the adapter and the device.
    bool noEcho = false;
    bool corruptEcho = false;
    bool noAnswer = false;
    bool badCrc = false;
    bool refuseWrites = false;
    bool alterWrites = false; // writes stored one off what was sent
    std::optional<uint32_t> silentAfter; // answered transactions before it goes silent
    // Answered transactions before the device goes quiet while the adapter
    // goes on echoing (the helicopter's battery pulled, the adapter still
    // plugged in).
    std::optional<uint32_t> deviceSilentAfter;
    bool loseWriteAnswers = false; // writes stored, their answers never sent
    uint32_t answerDelayMs = 0; // from a request's last byte to its answer; the echo is at once

    // Receiving mode (firmware transfer).
    int32_t modeTarget = 0;
    bool modeOnlyTarget = false;
    uint32_t refuseRecord = 0; // 1-based record numbers; 0 = never
    uint32_t dropRecord = 0;
    uint32_t silentDuringTransfer = 0;
    std::string saveImagePath;
    Version updateApplicationVersion{3, 1, 8};
    Version updateDataVersion{1, 3, 0};
    uint32_t restartDelayMs = 300; // records idle this long end the transfer
    // The new firmware starts with every parameter at its default
    // (--reset-on-update), and without these parameters (--update-without).
    bool resetOnUpdate = false;
    std::vector<uint16_t> updateWithout;

    // Descriptors given on the command line in place of the factory ones
    // (--limits ID=MIN:MAX:DEFAULT); the value starts at the new default.
    struct Limits {
        uint16_t id = 0;
        int32_t minimum = 0;
        int32_t maximum = 0;
        int32_t defaultValue = 0;
    };
    std::vector<Limits> limits;
    // Parameters the device's firmware does not have (--without ID).
    std::vector<uint16_t> without;
    // Parameters at other word addresses (--address ID=ADDR).
    struct Placement {
        uint16_t id = 0;
        uint16_t address = 0;
    };
    std::vector<Placement> placements;

    // Run time.
    std::string statePath;
    std::string logPath;
    bool paced = false;
    uint32_t watchPid = 0; // end together with this process; 0 = none
    bool help = false;
    bool version = false;

    // Parses the arguments (without the program name). On failure the
    // message says which argument was wrong.
    static bool parse(const std::vector<std::string>& arguments, SimulatorOptions& options,
                      std::string& error);
    static std::string usage();
};

} // namespace Simulator
} // namespace ZORVI
