#pragma once

#include "LinkFailure.h"

#include <cstdint>
#include <vector>

namespace ZORVI {
namespace Communication {

class Packet;

namespace Serial {

// The port as the device controller sees it: raw bytes, modem lines, the
// port list, and whole packets with the KORLINK adapter's echo check.
class SerialBase {
public:
    // Why a port did not open, for a message that says what to do.
    enum class OpenFailure {
        None,
        NoSuchPort,
        InUse,            // another program holds it
        PermissionDenied, // the user may not open its device node
        NotSerial,        // not a serial port, or it refuses the serial settings
        InvalidName,
        Other
    };

    virtual ~SerialBase() = default;

    // Mode 1 is the adapter's setting (115200 8N1, RTS and DTR off); mode 0
    // is 115200 8E1 with RTS on.
    virtual bool open(const char* portName, int mode) = 0;
    virtual void close() = 0;
    virtual void purge() = 0;
    virtual bool sendPacket(const Packet& packet) = 0;
    // A new packet (owned by the caller) whenever a frame was read, else null.
    virtual Packet* receivePacket() = 0;
    // Why the last sendPacket or receivePacket went wrong: NotOpen,
    // InvalidRequest (a packet that cannot be framed), WriteFailed, NoEcho or
    // WrongEcho for a send; NotOpen, NoAnswer or BadCrc (a packet is returned,
    // but without its payload) for a receive. None after one that went well,
    // and from a port that cannot tell; the controller then names the step
    // that failed.
    virtual LinkFailure packetFailure() const { return LinkFailure::None; }
    // Every byte the last sendPacket or receivePacket read from the line,
    // as it came: the echo or the answer, damaged or not, and the bytes
    // around it that started no frame. Empty from a port that cannot tell.
    virtual const std::vector<uint8_t>& lineBytes() const
    {
        static const std::vector<uint8_t> none;
        return none;
    }
    virtual bool setDTR(bool on) = 0;
    virtual bool setRTS(bool on) = 0;
    // flags[0] CTS, flags[1] DSR, flags[2] RING, flags[3] DCD; 1 when on.
    virtual bool getModemLines(uint8_t flags[4]) = 0;
    virtual bool enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize) = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    virtual bool write(const uint8_t* buffer, uint32_t length, uint32_t* written) = 0;
    virtual bool read(uint8_t* buffer, uint32_t length, uint32_t* got) = 0;
    // Reads an answer of known length: `expected` bytes under the port's
    // time-outs, then only what has come in right behind them, up to
    // `length` bytes in all. The caller learns that an answer was too long
    // without the wait for silence after its last byte that read() makes.
    // A port that cannot look at what came in without that wait reads as
    // read() does, which tells the same, only later.
    virtual bool readExpected(uint8_t* buffer, uint32_t /*expected*/, uint32_t length,
                              uint32_t* got)
    {
        return read(buffer, length, got);
    }
    // Why the last open failed, in words for a user; empty after a
    // successful open.
    virtual const char* openError() const = 0;
    virtual OpenFailure openFailure() const = 0;
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
