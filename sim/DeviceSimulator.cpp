#include "DeviceSimulator.h"

#include "BigEndian.h"
#include "HexText.h"
#include "Packet.h"
#include "Protocol.h"
#include "UnlockPrefix.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace ZORVI {
namespace Simulator {

using Communication::FrameAssembler;
using Communication::Packet;
using namespace Protocol;

namespace {

// The address under which a packet to `address` arrives: the wire codes
// do not tell every address apart (code 3 reads as address 2).
int32_t receivedAs(int32_t address)
{
    Packet probe;
    probe.setDestinationCode(Packet::addressCode(address));
    return probe.destination();
}

bool isModeLetter(uint8_t letter)
{
    return letter == MODE_BOOT || letter == MODE_FLASH || letter == MODE_RUN;
}

bool isInvertedPair(uint8_t inverted, uint8_t letter)
{
    return inverted == static_cast<uint8_t>(~letter) && isModeLetter(letter);
}

// The letter of a mode request, checked against the payload layout of the
// address it was sent to; none for anything else.
std::optional<uint8_t> modeLetter(int32_t destination, const uint8_t* payload, uint16_t length)
{
    if (destination == Packet::ADDRESS_FIRMWARE) {
        if (length == 6 && std::equal(UNLOCK_PREFIX.begin(), UNLOCK_PREFIX.end(), payload)
            && isInvertedPair(payload[4], payload[5]))
            return payload[5];
    } else if (destination == Packet::ADDRESS_RECOVERY) {
        if (length == 1 && isModeLetter(payload[0]))
            return payload[0];
    } else if (destination == receivedAs(Packet::ADDRESS_DEVICE_3)) {
        if (length == 2 && isInvertedPair(payload[0], payload[1]))
            return payload[1];
    }
    return std::nullopt;
}

std::string versionText(const SimulatorOptions::Version& version, bool withPatch)
{
    return std::to_string(version.major) + "." + std::to_string(version.minor)
        + (withPatch ? "." + std::to_string(version.patch) : std::string());
}

} // namespace

DeviceSimulator::DeviceSimulator(const SimulatorOptions& options, ParameterTable& parameters)
    : m_options(options)
    , m_parameters(parameters)
    , m_receiver(m_options)
    , m_applicationVersion(options.applicationVersion)
    , m_dataVersion(options.dataVersion)
{
    if (options.recoveryHardware) {
        m_mode = Mode::Recovery;
        m_recoveryHardware = *options.recoveryHardware;
    }
    fallSilentWhenDue();
}

void DeviceSimulator::log(const std::string& line) const
{
    if (m_log)
        m_log(line);
}

std::vector<uint8_t> DeviceSimulator::receive(const uint8_t* data, size_t length, TimePoint now)
{
    std::vector<uint8_t> out = advance(now);
    for (size_t i = 0; i < length && m_mode != Mode::Silent; ++i)
        takeByte(data[i], now, out);
    flushProbe();
    return out;
}

void DeviceSimulator::takeByte(uint8_t byte, TimePoint now, std::vector<uint8_t>& out)
{
    const FrameAssembler::Step step = m_assembler.push(byte);
    const uint16_t position = m_assembler.length();
    if (position == 0)
        m_probe.push_back(byte);
    else if (position == 1)
        flushProbe();
    echo(byte, position, step == FrameAssembler::Step::Complete, out);

    if (step == FrameAssembler::Step::Complete) {
        handleFrame(m_assembler.frame(), m_assembler.length(), now, out);
        m_assembler.reset();
    } else if (step == FrameAssembler::Step::Overflow) {
        log("refused " + HexText::format(m_assembler.frame(), m_assembler.length()));
        m_assembler.reset();
    }
}

// The adapter sends every byte straight back. A corrupted echo changes one
// byte per frame in a way that keeps the frame's shape, so the host reads a
// whole frame that differs from what it sent (rather than waiting for one):
// the command of a frame without body, or the first body byte.
void DeviceSimulator::echo(uint8_t byte, uint16_t position, bool frameComplete,
                           std::vector<uint8_t>& out)
{
    if (m_options.noEcho)
        return;
    uint8_t echoed = byte;
    if (m_options.corruptEcho) {
        if (position == 2 && frameComplete)
            echoed = static_cast<uint8_t>(byte ^ 0x10);
        else if (position == 3 && !FrameAssembler::isStartByte(byte))
            echoed = byte == Packet::ESCAPE_BYTE ? 0x5A : static_cast<uint8_t>(byte ^ 0x01);
    }
    out.push_back(echoed);
}

void DeviceSimulator::flushProbe()
{
    if (m_probe.empty())
        return;
    log("probe " + HexText::format(m_probe));
    m_probe.clear();
}

void DeviceSimulator::handleFrame(const uint8_t* frame, uint16_t length, TimePoint now,
                                  std::vector<uint8_t>& out)
{
    Packet request;
    if (!request.decode(frame, length, true)) {
        // A wrong CRC: the device ignores the frame.
        log("refused " + HexText::format(frame, length));
        return;
    }
    log("request dst=" + std::to_string(request.destination())
        + " src=" + std::to_string(request.source())
        + " cmd=" + std::to_string(request.command())
        + " payload=" + HexText::format(request.payload(), request.payloadLength()));

    std::optional<Answer> answer = m_deviceQuiet ? std::nullopt : answerFor(request, now);
    if (answer && m_options.noAnswer)
        answer.reset();
    // Stored, but the answer is lost on the way back: the host cannot tell
    // whether the write took.
    if (answer && m_options.loseWriteAnswers && request.command() == COMMAND_WRITE_PARAMETERS) {
        log("answer lost cmd=" + std::to_string(answer->command)
            + " payload=" + HexText::format(answer->payload));
        return;
    }
    if (!answer) {
        log("answer none");
        fallSilentWhenDue();
        return;
    }
    m_scheduled.push_back({now + std::chrono::milliseconds(m_options.answerDelayMs),
                           std::move(*answer)});
    sendDue(now, out);
}

// An answer is logged and counted when it goes out, so that the log never
// shows one that an unplugged adapter swallowed.
void DeviceSimulator::sendDue(TimePoint now, std::vector<uint8_t>& out)
{
    while (!m_scheduled.empty() && m_scheduled.front().due <= now) {
        const Answer answer = std::move(m_scheduled.front().answer);
        m_scheduled.pop_front();
        log("answer cmd=" + std::to_string(answer.command)
            + " payload=" + HexText::format(answer.payload));
        send(answer, out);
        ++m_answered;
        fallSilentWhenDue();
    }
}

void DeviceSimulator::send(const Answer& answer, std::vector<uint8_t>& out) const
{
    Packet packet;
    packet.setDestination(Packet::ADDRESS_HOST);
    packet.setSource(answer.source);
    packet.setCommand(answer.command);
    packet.setPayload(answer.payload.data(), static_cast<uint16_t>(answer.payload.size()), false);
    uint8_t* frame = nullptr;
    uint16_t length = 0;
    packet.encode(&frame, &length);
    std::unique_ptr<uint8_t[]> owner(frame);
    if (!frame)
        return;
    // The last body byte belongs to the CRC (or is the low nibble of its
    // escape); flipping its lowest bit keeps the frame's shape.
    if (m_options.badCrc && length > 4 && Packet::carriesCrc(Packet::ADDRESS_HOST, answer.source))
        frame[length - 3] ^= 0x01;
    out.insert(out.end(), frame, frame + length);
}

// Unplugged after the given number of answers, or, during a transfer,
// before the given record arrives (so that record is not even echoed).
void DeviceSimulator::fallSilentWhenDue()
{
    if (!m_deviceQuiet && m_options.deviceSilentAfter
        && m_answered >= *m_options.deviceSilentAfter) {
        m_deviceQuiet = true;
        log("event device-silent");
    }
    if (m_mode == Mode::Silent)
        return;
    const bool answeredEnough = m_options.silentAfter && m_answered >= *m_options.silentAfter;
    const bool transferCut = m_mode == Mode::Receiving && m_options.silentDuringTransfer
        && m_receiver.recordCount() + 1 >= m_options.silentDuringTransfer;
    if (answeredEnough || transferCut) {
        m_mode = Mode::Silent;
        m_scheduled.clear();
        log("event silent");
    }
}

std::optional<DeviceSimulator::Answer> DeviceSimulator::answerFor(const Packet& request,
                                                                  TimePoint now)
{
    if (request.source() != Packet::ADDRESS_HOST)
        return std::nullopt;
    switch (m_mode) {
    case Mode::Firmware: return firmwareAnswer(request);
    case Mode::Recovery: return recoveryAnswer(request);
    case Mode::Receiving: return receivingAnswer(request, now);
    case Mode::Silent: break;
    }
    return std::nullopt;
}

std::optional<DeviceSimulator::Answer> DeviceSimulator::firmwareAnswer(const Packet& request)
{
    if (request.command() == COMMAND_MODE)
        return modeAnswer(request);
    if (request.destination() != Packet::ADDRESS_FIRMWARE)
        return std::nullopt;

    const uint8_t* payload = request.payload();
    const uint16_t length = request.payloadLength();
    Answer answer{Packet::ADDRESS_FIRMWARE, request.command(), {}};
    switch (request.command()) {
    case COMMAND_DEVICE_INFO: answer.payload = deviceInfo(); break;
    case COMMAND_DESCRIPTORS: answer.payload = describe(payload, length); break;
    case COMMAND_READ_VALUES: answer.payload = readValues(payload, length); break;
    case COMMAND_WRITE_PARAMETERS: answer.payload = {writeValues(payload, length)}; break;
    case COMMAND_HANDSHAKE: answer.payload = handshake(payload, length); break;
    default: return std::nullopt;
    }
    return answer;
}

std::optional<DeviceSimulator::Answer> DeviceSimulator::recoveryAnswer(const Packet& request)
{
    // The firmware does not run: address 1 is silent.
    if (request.destination() == Packet::ADDRESS_FIRMWARE)
        return std::nullopt;
    if (request.command() == COMMAND_MODE)
        return modeAnswer(request);
    if (request.destination() == Packet::ADDRESS_RECOVERY
        && request.command() == COMMAND_DESCRIPTORS)
        return Answer{Packet::ADDRESS_RECOVERY, COMMAND_DESCRIPTORS, {m_recoveryHardware}};
    return std::nullopt;
}

std::optional<DeviceSimulator::Answer> DeviceSimulator::receivingAnswer(const Packet& request,
                                                                        TimePoint now)
{
    if (request.command() == COMMAND_MODE)
        return modeAnswer(request);
    if (request.command() != COMMAND_RECORD || !isModeTarget(request.destination())
        || request.payloadLength() == 0)
        return std::nullopt;

    Answer answer{m_options.modeTarget, COMMAND_RECORD, {RECORD_ACKNOWLEDGE}};
    switch (m_receiver.accept(request.payload(), request.payloadLength(), now)) {
    case RecordReceiver::Verdict::Acknowledge: break;
    case RecordReceiver::Verdict::Refuse: answer.payload.push_back(0x00); break;
    case RecordReceiver::Verdict::Drop: return std::nullopt;
    }
    if (!m_receiver.imageError().empty())
        log("event image-error " + m_receiver.imageError());
    return answer;
}

bool DeviceSimulator::isModeTarget(int32_t destination) const
{
    return destination == receivedAs(m_options.modeTarget);
}

// A mode request "B" at any device address switches to the receiving mode;
// the answer always comes from the mode target, where the boot loader
// listens. With --mode-only-target only the target itself reacts.
std::optional<DeviceSimulator::Answer> DeviceSimulator::modeAnswer(const Packet& request)
{
    const std::optional<uint8_t> letter =
        modeLetter(request.destination(), request.payload(), request.payloadLength());
    if (!letter || *letter != MODE_BOOT)
        return std::nullopt;
    if (m_options.modeOnlyTarget && !isModeTarget(request.destination()))
        return std::nullopt;
    enterReceiving();
    return Answer{m_options.modeTarget, COMMAND_MODE, {*letter}};
}

void DeviceSimulator::enterReceiving()
{
    m_mode = Mode::Receiving;
    m_receiver.begin();
    log("event receiving");
    if (!m_receiver.imageError().empty())
        log("event image-error " + m_receiver.imageError());
}

std::optional<DeviceSimulator::TimePoint> DeviceSimulator::transferDeadline() const
{
    if (m_mode != Mode::Receiving)
        return std::nullopt;
    return m_receiver.idleDeadline();
}

std::optional<DeviceSimulator::TimePoint> DeviceSimulator::nextAnswerDue() const
{
    if (m_scheduled.empty())
        return std::nullopt;
    return m_scheduled.front().due;
}

std::optional<DeviceSimulator::TimePoint> DeviceSimulator::nextDeadline() const
{
    const std::optional<TimePoint> transfer = transferDeadline();
    const std::optional<TimePoint> answer = nextAnswerDue();
    if (transfer && answer)
        return std::min(*transfer, *answer);
    return transfer ? transfer : answer;
}

// Each step removes what it handled (an answer sent, a transfer ended), so
// the loop always moves on.
std::vector<uint8_t> DeviceSimulator::advance(TimePoint now)
{
    std::vector<uint8_t> out;
    for (auto due = nextDeadline(); due && *due <= now; due = nextDeadline()) {
        if (nextAnswerDue() == due)
            sendDue(*due, out);
        else
            finishTransfer();
    }
    return out;
}

// The records have stopped. A complete transfer restarts the device with
// the new firmware; a broken one leaves it in its boot loader.
void DeviceSimulator::finishTransfer()
{
    if (m_receiver.failed()) {
        m_mode = Mode::Recovery;
        m_recoveryHardware = m_options.recoveryHardware.value_or(static_cast<uint8_t>(
            ((m_options.hardwareWord >> 4) & 0x0F) << 4 | (m_options.hardwareWord & 0x0F)));
        log("event recovery hardware=" + HexText::format(&m_recoveryHardware, 1));
        return;
    }
    m_mode = Mode::Firmware;
    m_applicationVersion = m_options.updateApplicationVersion;
    m_dataVersion = m_options.updateDataVersion;
    log("event restart app=" + versionText(m_applicationVersion, true)
        + " data=" + versionText(m_dataVersion, false)
        + " records=" + std::to_string(m_receiver.recordCount()));
    // The new firmware's parameter memory: what it no longer has, and its
    // defaults in place of the values the old one held.
    for (uint16_t id : m_options.updateWithout)
        if (m_parameters.leaveOut(id))
            log("event left out id=" + ParameterTable::hexWord(id));
    if (m_options.resetOnUpdate) {
        std::string error;
        log(m_parameters.resetToDefaults(error) ? std::string("event reset to defaults")
                                                : "event reset not saved: " + error);
    }
}

std::vector<uint8_t> DeviceSimulator::deviceInfo() const
{
    if (m_options.rawInfo)
        return *m_options.rawInfo;
    std::vector<uint8_t> info;
    BigEndian::append16(info, m_dataVersion.major);
    BigEndian::append16(info, m_dataVersion.minor);
    BigEndian::append16(info, m_applicationVersion.major);
    BigEndian::append16(info, m_applicationVersion.minor);
    BigEndian::append16(info, m_applicationVersion.patch);
    BigEndian::append16(info, m_options.hardwareWord);
    info.insert(info.end(), m_options.serialOnWire.begin(), m_options.serialOnWire.end());
    if (!m_options.shortInfo)
        BigEndian::append16(info, m_options.token);
    return info;
}

// Per ID: status 0 and address, minimum, maximum, default; or a single
// non-zero status for an ID the device does not have.
std::vector<uint8_t> DeviceSimulator::describe(const uint8_t* payload, uint16_t length) const
{
    if (length != 3)
        return {STATUS_MALFORMED};
    const uint32_t firstId = BigEndian::read16(payload);
    std::vector<uint8_t> answer;
    for (uint32_t id = firstId; id < firstId + payload[2]; ++id) {
        const ParameterTable::Parameter* parameter =
            id <= 0xFFFF ? m_parameters.findById(static_cast<uint16_t>(id)) : nullptr;
        if (!parameter) {
            answer.push_back(STATUS_UNKNOWN);
            continue;
        }
        answer.push_back(STATUS_OK);
        BigEndian::append16(answer, parameter->address);
        BigEndian::append16(answer, static_cast<uint16_t>(parameter->minimum));
        BigEndian::append16(answer, static_cast<uint16_t>(parameter->maximum));
        BigEndian::append16(answer, static_cast<uint16_t>(parameter->defaultValue));
    }
    return answer;
}

// Address, and a count byte only when more than one word is asked for; the
// answer is the words followed by status 0.
std::vector<uint8_t> DeviceSimulator::readValues(const uint8_t* payload, uint16_t length) const
{
    if (length != 2 && length != 3)
        return {STATUS_MALFORMED};
    const uint32_t address = BigEndian::read16(payload);
    const uint32_t count = length == 3 ? payload[2] : 1;
    if (address + count > ParameterTable::MEMORY_WORDS)
        return {STATUS_OUT_OF_RANGE};
    std::vector<uint8_t> answer;
    for (uint32_t i = 0; i < count; ++i)
        BigEndian::append16(answer, m_parameters.readWord(static_cast<uint16_t>(address + i)));
    answer.push_back(STATUS_OK);
    return answer;
}

// List layout: count | LIST_LAYOUT_FLAG, then address/value pairs. Block layout: first
// address, count, values for consecutive addresses. The memory's addresses
// stay below 0x8000, so the first byte tells the layouts apart. A write is
// taken whole or not at all, and answered as stored only once it is saved:
// a device that loses its values at the next start did not store them.
uint8_t DeviceSimulator::writeValues(const uint8_t* payload, uint16_t length)
{
    if (length == 0)
        return STATUS_MALFORMED;
    std::vector<ParameterTable::WordWrite> writes;
    if (payload[0] & LIST_LAYOUT_FLAG) {
        const uint32_t count = payload[0] & ~LIST_LAYOUT_FLAG & 0xFF;
        if (length != 1 + 4 * count)
            return STATUS_MALFORMED;
        for (uint32_t i = 0; i < count; ++i)
            writes.push_back(
                {BigEndian::read16(payload + 1 + 4 * i), BigEndian::read16(payload + 3 + 4 * i)});
    } else {
        if (length < 3 || length != 3 + 2 * uint32_t(payload[2]))
            return STATUS_MALFORMED;
        const uint16_t first = BigEndian::read16(payload);
        for (uint32_t i = 0; i < payload[2]; ++i)
            writes.push_back(
                {static_cast<uint16_t>(first + i), BigEndian::read16(payload + 3 + 2 * i)});
    }

    if (m_options.refuseWrites)
        return STATUS_REFUSED;
    const std::vector<ParameterTable::WordWrite> stored =
        m_options.alterWrites ? alteredWrites(writes) : writes;
    std::string error;
    switch (m_parameters.store(stored, error)) {
    case ParameterTable::StoreResult::Stored: logAlterations(writes, stored); return STATUS_OK;
    case ParameterTable::StoreResult::UnknownAddress: return STATUS_UNKNOWN;
    case ParameterTable::StoreResult::OutOfRange: return STATUS_OUT_OF_RANGE;
    case ParameterTable::StoreResult::NotSaved: break;
    }
    log("event state-error " + error);
    return STATUS_STORE_FAILED;
}

std::vector<ParameterTable::WordWrite>
DeviceSimulator::alteredWrites(const std::vector<ParameterTable::WordWrite>& writes) const
{
    std::vector<ParameterTable::WordWrite> stored;
    for (const ParameterTable::WordWrite& write : writes)
        stored.push_back(m_parameters.altered(write));
    return stored;
}

// The request line in the log shows what was sent; these lines show what was
// stored instead, so that the log tells what the device holds.
void DeviceSimulator::logAlterations(const std::vector<ParameterTable::WordWrite>& sent,
                                     const std::vector<ParameterTable::WordWrite>& stored) const
{
    for (size_t i = 0; i < sent.size() && i < stored.size(); ++i) {
        if (sent[i].word == stored[i].word)
            continue;
        char line[64];
        std::snprintf(line, sizeof line, "event altered address=%04x sent=%04x stored=%04x",
                      unsigned(sent[i].address), unsigned(sent[i].word),
                      unsigned(stored[i].word));
        log(line);
    }
}

// The host proves it read the device information: the handshake marker and
// the token with every bit inverted. Byte 2 of the answer is the verdict;
// byte 1 counts the accepted handshakes.
std::vector<uint8_t> DeviceSimulator::handshake(const uint8_t* payload, uint16_t length)
{
    const bool matches = length == 3 && payload[0] == HANDSHAKE_MARKER
        && payload[1] == static_cast<uint8_t>(~(m_options.token >> 8))
        && payload[2] == static_cast<uint8_t>(~m_options.token);
    if (matches)
        ++m_handshakes;
    return {HANDSHAKE_MARKER, m_handshakes, matches ? STATUS_OK : STATUS_REFUSED};
}

} // namespace Simulator
} // namespace ZORVI
