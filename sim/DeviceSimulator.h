#pragma once

#include "FrameAssembler.h"
#include "ParameterTable.h"
#include "RecordReceiver.h"
#include "SimulatorOptions.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ZORVI {
namespace Communication {
class Packet;
}

namespace Simulator {

// The KORLINK adapter and the device behind it, without any transport:
// bytes from the host go in, and the bytes the host would read come out,
// the adapter's echo first, then the device's answers. Frames are cut with
// the same FrameAssembler the host uses and read and written with Packet,
// so the device speaks exactly the host's protocol.
//
// The device answers as its running firmware at address 1, or, in recovery
// mode, only as its boot loader at address 0. A mode request "B" puts it
// into its receiving mode, where it takes update records at the mode target
// address until they stop; then it restarts as the new firmware (or, when
// the transfer broke off, stays in its boot loader).
//
// A slow device (--answer-delay) works out its answer when the request is
// in, but sends it only once the delay is over: advance() hands it out
// then. The adapter's echo never waits.
class DeviceSimulator {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using LogSink = std::function<void(const std::string&)>;

    enum class Mode {
        Firmware,  // running firmware at address 1
        Recovery,  // boot loader only: address 0 reports the hardware byte
        Receiving, // taking update records at the mode target address
        Silent     // unplugged: neither echo nor answer
    };

    DeviceSimulator(const SimulatorOptions& options, ParameterTable& parameters);

    // Where the transaction log lines go (see README.md for their format).
    void setLogSink(LogSink sink) { m_log = std::move(sink); }

    // Bytes from the host; returns what goes back to the host at once:
    // answers that fell due before, the echo, answers due without delay.
    std::vector<uint8_t> receive(const uint8_t* data, size_t length, TimePoint now);
    std::vector<uint8_t> receive(const std::vector<uint8_t>& bytes, TimePoint now)
    {
        return receive(bytes.data(), bytes.size(), now);
    }

    // The next moment at which advance() has something to do, if any.
    std::optional<TimePoint> nextDeadline() const;
    // When the next answer on its way falls due, if one is.
    std::optional<TimePoint> nextAnswerDue() const;
    // Lets time pass: sends the answers that have fallen due and ends a
    // transfer whose records have stopped, in the order they come. Returns
    // what goes to the host.
    std::vector<uint8_t> advance(TimePoint now);

    Mode mode() const { return m_mode; }
    const RecordReceiver& receiver() const { return m_receiver; }

private:
    struct Answer {
        int32_t source;
        uint8_t command;
        std::vector<uint8_t> payload;
    };
    struct ScheduledAnswer {
        TimePoint due;
        Answer answer;
    };

    void takeByte(uint8_t byte, TimePoint now, std::vector<uint8_t>& out);
    void echo(uint8_t byte, uint16_t position, bool frameComplete, std::vector<uint8_t>& out);
    void handleFrame(const uint8_t* frame, uint16_t length, TimePoint now,
                     std::vector<uint8_t>& out);
    void send(const Answer& answer, std::vector<uint8_t>& out) const;
    void sendDue(TimePoint now, std::vector<uint8_t>& out);
    std::optional<TimePoint> transferDeadline() const;
    void flushProbe();
    void log(const std::string& line) const;
    void fallSilentWhenDue();

    std::optional<Answer> answerFor(const Communication::Packet& request, TimePoint now);
    std::optional<Answer> firmwareAnswer(const Communication::Packet& request);
    std::optional<Answer> recoveryAnswer(const Communication::Packet& request);
    std::optional<Answer> receivingAnswer(const Communication::Packet& request, TimePoint now);
    std::optional<Answer> modeAnswer(const Communication::Packet& request);

    std::vector<uint8_t> deviceInfo() const;
    std::vector<uint8_t> describe(const uint8_t* payload, uint16_t length) const;
    std::vector<uint8_t> readValues(const uint8_t* payload, uint16_t length) const;
    uint8_t writeValues(const uint8_t* payload, uint16_t length);
    // With --alter-writes: the words one off, each change logged once stored.
    std::vector<ParameterTable::WordWrite>
    alteredWrites(const std::vector<ParameterTable::WordWrite>& writes) const;
    void logAlterations(const std::vector<ParameterTable::WordWrite>& sent,
                        const std::vector<ParameterTable::WordWrite>& stored) const;
    std::vector<uint8_t> handshake(const uint8_t* payload, uint16_t length);

    void enterReceiving();
    void finishTransfer();
    bool isModeTarget(int32_t destination) const;

    SimulatorOptions m_options;
    ParameterTable& m_parameters;
    Communication::FrameAssembler m_assembler;
    RecordReceiver m_receiver;
    LogSink m_log;

    Mode m_mode = Mode::Firmware;
    uint8_t m_recoveryHardware = 0;
    SimulatorOptions::Version m_applicationVersion;
    SimulatorOptions::Version m_dataVersion;
    std::vector<uint8_t> m_probe;
    std::deque<ScheduledAnswer> m_scheduled; // in the order they fall due
    uint32_t m_answered = 0;
    // The device no longer answers; the adapter still echoes.
    bool m_deviceQuiet = false;
    uint8_t m_handshakes = 0;
};

} // namespace Simulator
} // namespace ZORVI
