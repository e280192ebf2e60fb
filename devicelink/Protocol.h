#pragma once

#include <cstdint>

namespace ZORVI {

// The device's commands and the fixed bytes of their requests and answers.
// The programs and the command line send them, the device simulator answers
// them: both sides read the numbers from here.
namespace Protocol {

// Command numbers: the high nibble of a frame's second header byte.
constexpr uint8_t COMMAND_MODE = 0;
constexpr uint8_t COMMAND_DEVICE_INFO = 1;
// Update records travel with command 1 to the update's target address.
constexpr uint8_t COMMAND_RECORD = 1;
constexpr uint8_t COMMAND_DESCRIPTORS = 2;
constexpr uint8_t COMMAND_READ_VALUES = 3;
constexpr uint8_t COMMAND_WRITE_PARAMETERS = 4;
constexpr uint8_t COMMAND_HANDSHAKE = 11;

// Opens a handshake request and its answer; the token follows inverted.
constexpr uint8_t HANDSHAKE_MARKER = 0x5B;
// The single byte with which the device takes an update record.
constexpr uint8_t RECORD_ACKNOWLEDGE = 0x11;
// A write in list layout starts with the pair count with this bit set; one
// in block layout starts with the first address, and the parameter memory's
// addresses stay below 0x8000, so the bit tells the layouts apart.
constexpr uint8_t LIST_LAYOUT_FLAG = 0x80;

// The letters of a mode request: boot loader (receive an update), flash,
// run the firmware.
constexpr uint8_t MODE_BOOT = 'B';
constexpr uint8_t MODE_FLASH = 'F';
constexpr uint8_t MODE_RUN = 'R';

// Status bytes of the device's answers; the host takes 0 as done and any
// other value as not done.
constexpr uint8_t STATUS_OK = 0x00;
constexpr uint8_t STATUS_REFUSED = 0x01;
constexpr uint8_t STATUS_OUT_OF_RANGE = 0x03;
constexpr uint8_t STATUS_MALFORMED = 0x04;
constexpr uint8_t STATUS_UNKNOWN = 0x05;
constexpr uint8_t STATUS_STORE_FAILED = 0x06;

} // namespace Protocol
} // namespace ZORVI
