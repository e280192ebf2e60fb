#pragma once

#include "SerialBase.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {
namespace Serial {

// A port that tells what crosses the wire, for a support log: it wraps the
// real port (and owns it), forwards every call unchanged and reports each
// event as one line of text to a sink. Results are never changed: a write
// that fails still fails, a missing packet is still null, and the port's
// reason for a failed packet is passed on.
//
// A line starts with the milliseconds since the port was last opened (since
// it was made, before the first open), right-aligned, then the event:
//    0.000 open ttyUSB0 mode 1: ok
//    0.412 > 5A 4F 52 56 49 4B 00              raw bytes written
//    2.031 < 5A 4F 52 56 49 4B 00              raw bytes read
//   10.220 >> E1 6C 3A EB EE E1 6D | to 1 from 6 command 6 payload 3A: echo ok
//   12.345 << to 6 from 1 command 6 payload 01 02: CRC ok
//   14.002 << 00 E1 6C 3A EB EF E1 6D | to 6 from 1 command 6 payload (none): CRC refused
// Bytes are upper-case hex pairs; ">>"/"<<" are whole packets, ">"/"<"
// raw bytes. Where the bytes that came off the line are more than the
// packet shows (a damaged answer, noise around it, a garbled echo, bytes
// that made no frame), they are logged too: after "<<" before a "|", after
// a send's result as "; received HEX".
class TracingPort : public SerialBase {
public:
    using Sink = std::function<void(const std::string& line)>;

    // port must not be null; sink receives one line per event, without a
    // line break.
    TracingPort(std::unique_ptr<SerialBase> port, Sink sink);
    // A port still open is released with the wrapped one; the trace ends
    // with that.
    ~TracingPort() override;
    TracingPort(const TracingPort&) = delete;
    TracingPort& operator=(const TracingPort&) = delete;

    bool open(const char* portName, int mode) override;
    void close() override;
    void purge() override;
    bool sendPacket(const Packet& packet) override;
    Packet* receivePacket() override;
    LinkFailure packetFailure() const override;
    bool setDTR(bool on) override;
    bool setRTS(bool on) override;
    bool getModemLines(uint8_t flags[4]) override;
    // Not traced: the windows ask for the port list every second.
    bool enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize) override;
    void sleep(uint32_t milliseconds) override;
    bool write(const uint8_t* buffer, uint32_t length, uint32_t* written) override;
    bool read(uint8_t* buffer, uint32_t length, uint32_t* got) override;
    bool readExpected(uint8_t* buffer, uint32_t expected, uint32_t length,
                      uint32_t* got) override;
    const char* openError() const override;
    OpenFailure openFailure() const override;

    // Upper-case hex pairs separated by blanks; "(none)" for no bytes.
    static std::string hex(const uint8_t* bytes, size_t length);
    // "to D from S command C payload HEX" of a packet.
    static std::string describe(const Packet& packet);

private:
    using Clock = std::chrono::steady_clock;

    void trace(const std::string& event) const;
    std::string receivedLine(const Packet* packet) const;
    // The line's bytes of the last packet call where they tell more than
    // `shown` (the frame the trace already logs); empty otherwise.
    std::string untoldBytes(const std::vector<uint8_t>& shown) const;
    // "failed", with the port's reason when it tells one.
    std::string packetFailed() const;
    static const char* result(bool ok) { return ok ? "ok" : "failed"; }
    static const char* nameOf(LinkFailure failure);

    std::unique_ptr<SerialBase> m_port;
    Sink m_sink;
    Clock::time_point m_opened;
    bool m_isOpen = false;
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
