#pragma once

#include "FrameAssembler.h"
#include "FramedPort.h"
#include "win32/Win32Api.h"

#include <chrono>
#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {
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
    // A frame read ends this long after it began (after the request was
    // written), whatever the line does meanwhile: a line that never falls
    // silent (noise, a stuck peer) or that sends a byte just often enough
    // to keep each one-byte read alive holds the caller no longer than a
    // silent line does.
    static constexpr DWORD FRAME_READ_DEADLINE_MS = ONE_BYTE_READ_MS;
    // The line runs at 115200 baud, ten bit times a byte (8N1), so the
    // longest frame the port takes (FrameAssembler::MAX_FRAME_LENGTH, 8192
    // bytes) lasts 712 ms on it.
    static constexpr DWORD LINE_BAUD = CBR_115200;
    static constexpr DWORD BITS_PER_BYTE = 10;
    static constexpr DWORD LONGEST_FRAME_LINE_MS =
        (FrameAssembler::MAX_FRAME_LENGTH * BITS_PER_BYTE * 1000 + LINE_BAUD - 1) / LINE_BAUD;
    // A frame whose start byte comes just before the deadline is still read
    // whole: it may run on this long after its start byte (the longest
    // frame's line time and one read interval for the adapter's bursts),
    // never a whole time-out more. So one frame read lasts at most
    // FRAME_READ_DEADLINE_MS + LATE_FRAME_MS.
    static constexpr DWORD LATE_FRAME_MS = LONGEST_FRAME_LINE_MS + READ_INTERVAL_MS;
    // How long readExpected waits for a byte right behind the expected ones
    // when none has come yet: the shortest time-out the port can be given,
    // about eleven byte times.
    static constexpr DWORD TRAILING_BYTES_WAIT_MS = 1;

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
    bool readExpected(uint8_t* buffer, uint32_t expected, uint32_t length,
                      uint32_t* got) override;
    const char* openError() const override;
    OpenFailure openFailure() const override;

    // One frame cut out of the received bytes, or null: when the port
    // fails, when the frame is not complete within FRAME_READ_DEADLINE_MS
    // of the read's start (or LATE_FRAME_MS of its start byte, where that
    // is later), after MAX_SKIPPED_BYTES bytes that start no frame, or for
    // a frame longer than MAX_FRAME_LENGTH (see FrameAssembler). The
    // buffer is the caller's (delete[]).
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
    bool readTrailing(uint8_t* buffer, uint32_t length, DWORD* count);
    bool setReadTotalConstant(DWORD milliseconds);
    static COMMTIMEOUTS linkTimeouts(DWORD readTotalConstantMs);
    bool configure(int mode);
    static std::string systemMessage(DWORD error);

    bool m_isOpen = false;
    char m_devicePath[DEVICE_PATH_SIZE] = {};
    HANDLE m_portHandle = nullptr;
    DWORD m_openError = 0;
    // The system's own words for the last failed open, where it has them.
    std::string m_openMessage;
    // The read total constant the port has now: READ_TOTAL_CONSTANT_MS,
    // shorter only while a frame read nears its deadline. The
    // readExpected look behind the expected bytes sets other time-outs
    // for one read and puts these back.
    DWORD m_readTotalConstantMs = READ_TOTAL_CONSTANT_MS;
};

} // namespace Serial
} // namespace Communication
} // namespace ZORVI
