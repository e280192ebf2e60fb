#pragma once

#include "FrameAssembler.h"
#include "FramedPort.h"
#include "SimulatedLink.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ZORVI {
namespace Simulator {

// The host's port onto one or more SimulatedLinks (adapters plugged into the
// same machine), handed to Control in place of the serial port: it opens a
// link by its name, sends and receives whole packets with the serial port's
// own echo check (FramedPort), and loops DTR back to RING and DCD as the
// KORLINK adapter does (CTS and DSR are not wired). Like a system port it
// opens exclusively: while one port holds a link, another is refused as in
// use. Nothing waits: bytes the device sends back are there at once, and
// where the serial port would wait out a silent line the links' clocks move
// on by that time instead, or only until a slow device's answer arrives.
// The links must outlive the port.
class SimulatedPort : public Communication::Serial::FramedPort {
public:
    explicit SimulatedPort(SimulatedLink& link);
    explicit SimulatedPort(std::vector<SimulatedLink*> links);
    ~SimulatedPort() override;
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    bool open(const char* portName, int mode) override;
    void close() override;
    void purge() override;
    bool setDTR(bool on) override;
    bool setRTS(bool on) override;
    bool getModemLines(uint8_t flags[4]) override;
    // The links' names, in the order given.
    bool enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize) override;
    void sleep(uint32_t milliseconds) override;
    bool write(const uint8_t* buffer, uint32_t length, uint32_t* written) override;
    bool read(uint8_t* buffer, uint32_t length, uint32_t* got) override;
    const char* openError() const override { return m_openError.c_str(); }
    OpenFailure openFailure() const override { return m_openFailure; }

    bool isOpen() const { return m_isOpen; }

protected:
    bool isPortOpen() const override { return m_isOpen; }
    bool writeFrame(const uint8_t* frame, uint16_t length) override;
    // One frame cut out of what the device sent back; false when none is
    // complete (the bytes looked at are gone, as on the serial port).
    bool nextFrame(std::vector<uint8_t>& frame) override;

private:
    using Bytes = std::vector<uint8_t>;

    SimulatedLink* linkNamed(const char* portName) const;
    void letTimePass(std::chrono::milliseconds duration);
    // What the device sent meanwhile joins what was received.
    void collectArrived();
    // The serial port waits up to `longest` for the device's next bytes; the
    // clocks move on until they arrive, or by all of it. True when some came.
    bool awaitBytes(std::chrono::milliseconds longest);
    Communication::FrameAssembler::Step cutFrame(Communication::FrameAssembler& assembler,
                                                 std::vector<uint8_t>& frame);

    std::vector<SimulatedLink*> m_links;
    SimulatedLink* m_link = nullptr; // the open one
    bool m_isOpen = false;
    bool m_dtr = false;
    Bytes m_pending;
    std::string m_openError;
    OpenFailure m_openFailure = OpenFailure::None;
};

} // namespace Simulator
} // namespace ZORVI
