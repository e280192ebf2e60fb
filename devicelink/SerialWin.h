#pragma once

#include "FramedPort.h"
#include "win32/Win32Api.h"

#include <chrono>
#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {

class FrameAssembler;

namespace Serial {

// The port on the Win32 serial interface: opened as \\.\NAME without
// sharing, 115200 baud, plain blocking reads and writes bounded by
// COMMTIMEOUTS. The KORLINK adapter echoes every byte written before the
// device answers; FramedPort checks that echo and reads the answer that
// follows it from the frames this port cuts out of what it receives.
class SerialWin : public FramedPort {
public:
    static constexpr uint32_t DEVICE_PATH_SIZE = 1024;

    // COMMTIMEOUTS of an open port: a multi-byte read returns 50 ms after
    // the last byte, a one-byte read gives up after 2510 ms of silence.
    static constexpr DWORD READ_INTERVAL_MS = 50;
    static constexpr DWORD READ_TOTAL_MULTIPLIER_MS = 10;
    static constexpr DWORD READ_TOTAL_CONSTANT_MS = 2500;
    static constexpr DWORD WRITE_TOTAL_MULTIPLIER_MS = 10;
    static constexpr DWORD WRITE_TOTAL_CONSTANT_MS = 100;
    // The longest a one-byte read waits for a byte: 2510 ms.
    static constexpr DWORD ONE_BYTE_READ_MS = READ_TOTAL_CONSTANT_MS + READ_TOTAL_MULTIPLIER_MS;
    // A start byte must come within the time one byte may take, and a frame
    // that has begun gets that time again for its body. A line that never
    // falls silent (noise, a stuck peer) or that sends a byte just often
    // enough to keep each one-byte read alive cannot hold the caller much
    // longer than a silent line does. The device's answers are far shorter:
    // the longest frame (8192 bytes) lasts 0.71 s at 115200 baud.
    static constexpr DWORD FRAME_READ_DEADLINE_MS = ONE_BYTE_READ_MS;

    SerialWin() = default;
    ~SerialWin() override;
    SerialWin(const SerialWin&) = delete;
    SerialWin& operator=(const SerialWin&) = delete;

    bool open(const char* portName, int mode) override;
    void close() override;
    void purge() override;
    bool setDTR(bool on) override;
    bool setRTS(bool on) override;
    bool getModemLines(uint8_t flags[4]) override;
    bool enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize) override;
    void sleep(uint32_t milliseconds) override;
    bool write(const uint8_t* buffer, uint32_t length, uint32_t* written) override;
    bool read(uint8_t* buffer, uint32_t length, uint32_t* got) override;
    const char* openError() const override;
    OpenFailure openFailure() const override;

    // One frame cut out of the received bytes, or null: when the port
    // fails, when no start byte comes within FRAME_READ_DEADLINE_MS or the
    // frame is not complete within that time from its start byte, after
    // MAX_SKIPPED_BYTES bytes that start no frame, or for a frame longer
    // than MAX_FRAME_LENGTH (see FrameAssembler). The buffer is the
    // caller's (delete[]).
    uint8_t* readFrame(uint16_t* frameLength);

    bool isOpen() const { return m_isOpen; }

protected:
    bool isPortOpen() const override;
    bool writeFrame(const uint8_t* frame, uint16_t length) override;
    bool nextFrame(std::vector<uint8_t>& frame) override;

private:
    using Clock = std::chrono::steady_clock;

    bool assemble(Communication::FrameAssembler& assembler, Clock::time_point deadline);
    bool readByte(uint8_t* byte, Clock::time_point deadline);
    bool limitReadTo(Clock::time_point deadline);
    bool setReadTotalConstant(DWORD milliseconds);
    bool configure(int mode);
    static std::string systemMessage(DWORD error);

    bool m_isOpen = false;
    char m_devicePath[DEVICE_PATH_SIZE] = {};
    HANDLE m_portHandle = nullptr;
    DWORD m_openError = 0;
    // The system's own words for the last failed open, where it has them.
    std::string m_openMessage;
    // The read total constant the port has now: READ_TOTAL_CONSTANT_MS,
    // shorter only while a frame read nears its deadline.
    DWORD m_readTotalConstantMs = READ_TOTAL_CONSTANT_MS;
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
