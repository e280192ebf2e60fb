#pragma once

#include "DeviceInfo.h"
#include "LinkFailure.h"
#include "ParameterDescriptor.h"
#include "SerialBase.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ZORVI {

class Update;

namespace Communication {
class Packet;
} // namespace Communication

// The one object through which a program talks to the KORLINK adapter and
// the device: it owns the port, checks the adapter and carries out the
// device's commands as request/answer transactions. It shows no messages;
// every operation reports success as a boolean (or a null buffer), and why
// it failed through lastFailure().
class Control {
public:
    // Progress of a firmware transfer in percent; the second argument is
    // always null.
    typedef void (*ProgressFunction)(int percent, void* unused);

    static constexpr uint32_t MAX_WRITE_PAYLOAD = 257;
    static constexpr uint32_t MAX_LIST_PAIRS = 64;
    static constexpr uint32_t MAX_BLOCK_VALUES = 127;
    static constexpr uint32_t LINE_SETTLE_MS = 100;

    // Talks through a port of its own on the serial interface.
    Control();
    // Talks through the given port (a test's stand-in for the wire, say);
    // it must not be null.
    explicit Control(std::unique_ptr<Communication::Serial::SerialBase> port);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Why an operation failed; see LinkFailure.
    using Failure = LinkFailure;

    // Opens the port (115200 8N1) and, when asked, checks the adapter's echo
    // of the interface probe and its DTR loop-back to RING and DCD. True when
    // the port was opened; it stays open. lastFailure() then names the first
    // check that failed (NoEcho, WrongEcho, WriteFailed, LinesNotLooped).
    // The echo must be the probe and nothing more: a short, a longer or
    // another echo is WrongEcho.
    bool testInterface(const char* portName, bool* echoResult = nullptr,
                       bool* lineResult = nullptr);
    void close();
    // Why the last testInterface could not open the port.
    std::string lastOpenError() const;
    Communication::Serial::SerialBase::OpenFailure lastOpenFailure() const;
    // Why the last operation with the adapter or the device (testInterface,
    // the queries, reads and writes, the handshake, the mode request and the
    // transfer) failed; None when it succeeded.
    Failure lastFailure() const { return m_lastFailure; }
    // The reason in a sentence for the user (English) that names what failed
    // and what to do; empty for None.
    static const char* describe(Failure failure);
    void sleep(uint32_t milliseconds);
    // The device link's version and release date (the date cut to size - 1
    // characters and terminated); any argument may be null.
    static void libraryInfo(char* buildDate, uint32_t size, uint32_t* major, uint32_t* minor,
                            uint32_t* patch);

    bool queryDeviceInfo(DeviceInfo* info);
    bool queryRecovery(uint8_t* hardwareByte);
    // The records array is the caller's (delete[]).
    bool readDescriptors(uint16_t firstId, uint8_t count, uint8_t* found,
                         ParameterDescriptor** records);
    // A new array of count words (delete[]), or null.
    uint16_t* readValues(uint16_t address, uint8_t count);
    bool writeValues(uint8_t command, const uint16_t* addresses, const uint16_t* values,
                     uint32_t count);
    bool writeParameters(const uint16_t* addresses, const uint16_t* values, uint32_t count);
    void setBlockMode(bool blockMode) { m_blockMode = blockMode; }
    bool handshake(uint8_t tokenHigh, uint8_t tokenLow);

    // Firmware transfer: defined in ControlTransfer.cpp (library
    // zorvik_transfer), which only the programs that send updates link.
    static constexpr uint32_t MODE_PASSES = 3;
    static constexpr uint32_t MODE_SETTLE_MS = 400;

    // How the last transfer ended, for a message that names what failed.
    struct TransferReport {
        enum class Failure {
            None,
            InvalidUpdate,    // nothing was sent
            NoModeAnswer,     // the device never accepted the mode request
            RecordRefused,    // the device answered a record with something else than
                              // Protocol::RECORD_ACKNOWLEDGE
            RecordUnanswered, // no answer to a record
            PortLost,         // a record could not be sent
            Interrupted       // the program was asked to stop (a signal) before a record
        };
        Failure failure = Failure::None;
        uint32_t recordsAcknowledged = 0;
        uint32_t recordsTotal = 0;
        // The record that failed, counted from 1 (0 when none did).
        uint32_t failedRecord = 0;
    };

    void setProgressCallback(ProgressFunction callback) { m_progressCallback = callback; }
    const TransferReport& lastTransfer() const { return m_lastTransfer; }
    // The report in a sentence for the user (English), e.g. "Record 12 of 340
    // was refused by the device."; empty for a transfer that succeeded.
    static std::string describe(const TransferReport& report);
    // Asks a device address to change its mode: letter B when flagB is set,
    // else F (address 1 only) when flagF is set, else R. Addresses 0, 1 and
    // 3 only; true when the request went out and its echo came back.
    bool requestMode(int32_t destination, bool flagB, bool flagF);
    // Brings the device into its receiving mode and sends the update's
    // records one packet each. 0 when every record was acknowledged, -1
    // otherwise; an update that is not valid or has no records is refused
    // with -1 before anything is sent.
    int transferUpdate(const Update& update);
    // Reads the update file at path and transfers it (0 or -1).
    int runUpdate(const char* path);

    static const uint8_t INTERFACE_PROBE[7];

private:
    // Notes the reason of a failure; always false.
    bool fail(Failure failure);
    // Notes the port's reason for a failed send or receive, or the given
    // one when the port cannot tell; always false.
    bool failFromPort(Failure fallback);
    // One request/answer exchange: the answer must come from the request's
    // destination, to the host, with the request's command, and carry a
    // payload, which is returned (delete[]); null on any failure.
    uint8_t* transact(int32_t destination, uint8_t command, const uint8_t* payload,
                      uint16_t payloadLength, uint16_t* answerLength);
    bool echoTest();
    bool lineTest();
    bool modemLinesAre(bool on);
    bool enterReceivingMode(int32_t entryAddress, int32_t targetAddress);
    bool anyAnswer();
    bool sendRecords(const Update& update);
    // Notes the failure in the transfer report (record counted from 1, 0
    // for none); always false.
    bool failTransfer(TransferReport::Failure failure, uint32_t record);
    void reportProgress(int percent);

    std::unique_ptr<Communication::Serial::SerialBase> m_serialPort;
    bool m_blockMode = false;
    Failure m_lastFailure = Failure::None;
    ProgressFunction m_progressCallback = nullptr;
    TransferReport m_lastTransfer;
};

} // namespace ZORVI
