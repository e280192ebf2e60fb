#include "Control.h"

#include "BigEndian.h"
#include "Packet.h"
#include "Protocol.h"
#include "SerialWin.h"
#include "ZorvikVersion.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace ZORVI {

using Communication::Packet;

namespace {

constexpr int PORT_MODE_KORLINK = 1;
constexpr uint16_t DESCRIPTOR_ITEM_LENGTH = 8;
constexpr uint32_t LAST_PARAMETER_ID = 0xFFFF;

// The items of a descriptor answer: a status byte each, followed by
// DESCRIPTOR_ITEM_LENGTH bytes when the status is STATUS_OK (the device has
// the parameter). Counts them all and those described; false when the last
// item is cut short.
bool countDescriptorItems(const uint8_t* answer, uint16_t length, uint32_t* items,
                          uint32_t* described)
{
    *items = 0;
    *described = 0;
    for (uint32_t pos = 0; pos < length; ++*items) {
        if (answer[pos] != Protocol::STATUS_OK) {
            ++pos;
            continue;
        }
        if (pos + 1 + DESCRIPTOR_ITEM_LENGTH > length)
            return false;
        ++*described;
        pos += 1 + DESCRIPTOR_ITEM_LENGTH;
    }
    return true;
}

// Fills one record per item with status STATUS_OK of an answer that
// countDescriptorItems accepted; each gets the id of its position.
void fillDescriptors(const uint8_t* answer, uint16_t length, uint16_t firstId,
                     ParameterDescriptor* records)
{
    uint32_t index = 0;
    uint16_t id = firstId;
    for (uint32_t pos = 0; pos < length; ++id) {
        if (answer[pos] != Protocol::STATUS_OK) {
            ++pos;
            continue;
        }
        const uint8_t* item = answer + pos + 1;
        ParameterDescriptor& record = records[index++];
        record.id = id;
        record.address = BigEndian::read16(item);
        record.minimum = BigEndian::read16(item + 2);
        record.maximum = BigEndian::read16(item + 4);
        record.defaultValue = BigEndian::read16(item + 6);
        pos += 1 + DESCRIPTOR_ITEM_LENGTH;
    }
}

} // namespace

const uint8_t Control::INTERFACE_PROBE[7] = {'Z', 'O', 'R', 'V', 'I', 'K', 0};

Control::Control()
    : Control(std::make_unique<Communication::Serial::SerialWin>())
{
}

Control::Control(std::unique_ptr<Communication::Serial::SerialBase> port)
    : m_serialPort(std::move(port))
{
}

Control::~Control() = default;

bool Control::testInterface(const char* portName, bool* echoResult, bool* lineResult)
{
    m_lastFailure = Failure::None;
    if (!m_serialPort->open(portName, PORT_MODE_KORLINK))
        return fail(Failure::OpenFailed);
    if (echoResult)
        *echoResult = echoTest();
    if (lineResult) {
        *lineResult = lineTest();
        // The echo's reason comes first: a silent adapter fails both.
        if (!*lineResult && m_lastFailure == Failure::None)
            fail(Failure::LinesNotLooped);
    }
    return true;
}

bool Control::echoTest()
{
    if (!m_serialPort->write(INTERFACE_PROBE, sizeof INTERFACE_PROBE, nullptr))
        return fail(Failure::WriteFailed);
    // The check ends once the probe's echo is in; room for one byte more
    // shows an echo that brought more than the probe.
    uint8_t received[sizeof INTERFACE_PROBE + 1];
    uint32_t count = 0;
    if (!m_serialPort->readExpected(received, sizeof INTERFACE_PROBE, sizeof received, &count)
        || count == 0)
        return fail(Failure::NoEcho);
    // A short echo fails; never compare bytes that did not arrive.
    if (count != sizeof INTERFACE_PROBE
        || std::memcmp(received, INTERFACE_PROBE, sizeof INTERFACE_PROBE) != 0)
        return fail(Failure::WrongEcho);
    return true;
}

bool Control::modemLinesAre(bool on)
{
    uint8_t flags[4];
    m_serialPort->getModemLines(flags);
    const bool ring = flags[2] != 0;
    const bool dcd = flags[3] != 0;
    return on ? (ring && dcd) : (!ring && !dcd);
}

bool Control::lineTest()
{
    // The adapter loops DTR back to RING and DCD; CTS and DSR are not wired.
    bool result = true;
    m_serialPort->setDTR(false);
    for (int round = 0; round < 2; ++round) {
        m_serialPort->setDTR(true);
        m_serialPort->sleep(LINE_SETTLE_MS);
        if (!modemLinesAre(true))
            result = false;
        m_serialPort->setDTR(false);
        m_serialPort->sleep(LINE_SETTLE_MS);
        if (!modemLinesAre(false))
            result = false;
    }
    return result;
}

void Control::close()
{
    m_serialPort->close();
}

std::string Control::lastOpenError() const
{
    return m_serialPort->openError();
}

Communication::Serial::SerialBase::OpenFailure Control::lastOpenFailure() const
{
    return m_serialPort->openFailure();
}

void Control::sleep(uint32_t milliseconds)
{
    m_serialPort->sleep(milliseconds);
}

void Control::libraryInfo(char* buildDate, uint32_t size, uint32_t* major, uint32_t* minor,
                          uint32_t* patch)
{
    if (buildDate && size > 0) {
        std::strncpy(buildDate, Version::RELEASE_DATE, size - 1);
        buildDate[size - 1] = '\0';
    }
    if (major)
        *major = Version::LINK_MAJOR;
    if (minor)
        *minor = Version::LINK_MINOR;
    if (patch)
        *patch = Version::LINK_PATCH;
}

bool Control::fail(Failure failure)
{
    m_lastFailure = failure;
    return false;
}

bool Control::failFromPort(Failure fallback)
{
    const Failure reason = m_serialPort->packetFailure();
    return fail(reason != Failure::None ? reason : fallback);
}

uint8_t* Control::transact(int32_t destination, uint8_t command, const uint8_t* payload,
                           uint16_t payloadLength, uint16_t* answerLength)
{
    *answerLength = 0;
    Packet request;
    request.setDestination(destination);
    request.setSource(Packet::ADDRESS_HOST);
    request.setCommand(command);
    if (!request.setPayload(payload, payloadLength, false)) {
        fail(Failure::InvalidRequest);
        return nullptr;
    }
    if (!m_serialPort->sendPacket(request)) {
        failFromPort(Failure::WriteFailed);
        return nullptr;
    }
    std::unique_ptr<Packet> answer(m_serialPort->receivePacket());
    if (!answer) {
        failFromPort(Failure::NoAnswer);
        return nullptr;
    }
    // A packet whose CRC failed comes without its payload.
    if (m_serialPort->packetFailure() == Failure::BadCrc) {
        fail(Failure::BadCrc);
        return nullptr;
    }
    if (answer->destination() != Packet::ADDRESS_HOST || answer->source() != destination
        || answer->command() != command) {
        fail(Failure::UnexpectedAnswer);
        return nullptr;
    }
    // Every answer carries at least a status byte.
    uint8_t* answerPayload = answer->copyPayload(answerLength);
    if (!answerPayload)
        fail(answer->payloadLength() == 0 ? Failure::UnexpectedAnswer : Failure::OutOfMemory);
    return answerPayload;
}

bool Control::queryDeviceInfo(DeviceInfo* info)
{
    m_lastFailure = Failure::None;
    info->clear();
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE,
                                               Protocol::COMMAND_DEVICE_INFO, nullptr, 0, &length));
    if (!answer)
        return false;
    return info->takeAnswer(answer.get(), length) || fail(Failure::UnexpectedAnswer);
}

bool Control::queryRecovery(uint8_t* hardwareByte)
{
    m_lastFailure = Failure::None;
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(
        transact(Packet::ADDRESS_RECOVERY, Protocol::COMMAND_DESCRIPTORS, nullptr, 0, &length));
    if (!answer)
        return false;
    if (length != 1)
        return fail(Failure::UnexpectedAnswer);
    *hardwareByte = answer[0];
    return true;
}

bool Control::readDescriptors(uint16_t firstId, uint8_t count, uint8_t* found,
                              ParameterDescriptor** records)
{
    m_lastFailure = Failure::None;
    *found = 0;
    *records = nullptr;
    uint8_t request[3] = {0, 0, count};
    BigEndian::write16(firstId, request);
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE,
                                               Protocol::COMMAND_DESCRIPTORS, request,
                                               sizeof request, &length));
    if (!answer)
        return false;

    // One item per id, in id order from the first: an answer with more
    // items than ids asked for (or than ids exist up to 0xFFFF) would
    // describe parameters nobody asked about, and is refused as a whole.
    const uint32_t idsAsked = std::min<uint32_t>(count, LAST_PARAMETER_ID + 1u - firstId);
    uint32_t items = 0;
    uint32_t described = 0;
    if (!countDescriptorItems(answer.get(), length, &items, &described) || items > idsAsked)
        return fail(Failure::UnexpectedAnswer);
    if (described == 0)
        return true;

    ParameterDescriptor* array = new (std::nothrow) ParameterDescriptor[described];
    if (!array)
        return fail(Failure::OutOfMemory);
    fillDescriptors(answer.get(), length, firstId, array);
    *found = static_cast<uint8_t>(described);
    *records = array;
    return true;
}

uint16_t* Control::readValues(uint16_t address, uint8_t count)
{
    m_lastFailure = Failure::None;
    uint8_t request[3] = {0, 0, count};
    BigEndian::write16(address, request);
    // A single word is asked for without the count byte.
    const uint16_t requestLength = count > 1 ? 3 : 2;
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE,
                                               Protocol::COMMAND_READ_VALUES, request,
                                               requestLength, &length));
    if (!answer)
        return nullptr;
    if (answer[length - 1] != Protocol::STATUS_OK) {
        fail(Failure::Refused);
        return nullptr;
    }
    const uint32_t words = (length - 1u) / 2u;
    // The caller reads count words: an answer with another number of words
    // would have it read past the array or take stale data.
    if (words != count || count == 0) {
        fail(count == 0 ? Failure::InvalidRequest : Failure::UnexpectedAnswer);
        return nullptr;
    }
    uint16_t* values = new (std::nothrow) uint16_t[words];
    if (!values) {
        fail(Failure::OutOfMemory);
        return nullptr;
    }
    for (uint32_t i = 0; i < words; ++i)
        values[i] = BigEndian::read16(answer.get() + 2 * i);
    return values;
}

bool Control::writeValues(uint8_t command, const uint16_t* addresses, const uint16_t* values,
                          uint32_t count)
{
    m_lastFailure = Failure::None;
    std::vector<uint8_t> payload;
    if (!m_blockMode) {
        if (count == 0 || count > MAX_LIST_PAIRS)
            return fail(Failure::InvalidRequest);
        payload.push_back(static_cast<uint8_t>(count | Protocol::LIST_LAYOUT_FLAG));
        for (uint32_t i = 0; i < count; ++i) {
            BigEndian::append16(payload, addresses[i]);
            BigEndian::append16(payload, values[i]);
        }
    } else {
        if (count == 0 || count > MAX_BLOCK_VALUES)
            return fail(Failure::InvalidRequest);
        BigEndian::append16(payload, addresses[0]);
        payload.push_back(static_cast<uint8_t>(count & 0xFF));
        for (uint32_t i = 0; i < count; ++i)
            BigEndian::append16(payload, values[i]);
    }
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE, command, payload.data(),
                                               static_cast<uint16_t>(payload.size()), &length));
    if (!answer)
        return false;
    return answer[0] == Protocol::STATUS_OK || fail(Failure::Refused);
}

bool Control::writeParameters(const uint16_t* addresses, const uint16_t* values, uint32_t count)
{
    return writeValues(Protocol::COMMAND_WRITE_PARAMETERS, addresses, values, count);
}

bool Control::handshake(uint8_t tokenHigh, uint8_t tokenLow)
{
    m_lastFailure = Failure::None;
    const uint8_t request[3] = {Protocol::HANDSHAKE_MARKER, static_cast<uint8_t>(~tokenHigh),
                                static_cast<uint8_t>(~tokenLow)};
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE,
                                               Protocol::COMMAND_HANDSHAKE, request,
                                               sizeof request, &length));
    if (!answer)
        return false;
    if (length < 3)
        return fail(Failure::UnexpectedAnswer);
    return answer[2] == Protocol::STATUS_OK || fail(Failure::Refused);
}

const char* Control::describe(Failure failure)
{
    switch (failure) {
    case Failure::None:
        return "";
    case Failure::OpenFailed:
        return "The port could not be opened: check that the adapter is plugged in, that the "
               "port exists and that no other program uses it.";
    case Failure::NotOpen:
        return "No port is open: connect to the device first.";
    case Failure::InvalidRequest:
        return "Nothing was sent to the device: the request does not fit its protocol (no "
               "values, more than one request can carry, or an address that takes no such "
               "request).";
    case Failure::WriteFailed:
        return "The port did not take the request: the adapter may have been unplugged; check "
               "the cable and the port, then connect again.";
    case Failure::NoEcho:
        return "The KORLINK adapter did not echo the request: check that the adapter is "
               "plugged in and that the right port is chosen.";
    case Failure::WrongEcho:
        return "The KORLINK adapter echoed other bytes than were sent: the line is disturbed; "
               "check the cable and its connectors, then try again.";
    case Failure::LinesNotLooped:
        return "The adapter's control lines did not follow (DTR looped back to RING and DCD): "
               "check that the port is a KORLINK adapter.";
    case Failure::NoAnswer:
        return "The device did not answer: check that it is powered and connected to the "
               "adapter, then try again.";
    case Failure::BadCrc:
        return "The device's answer arrived damaged (its checksum did not match): check the "
               "cable and its connectors, then try again.";
    case Failure::UnexpectedAnswer:
        return "The device's answer does not fit the request: check that no other program "
               "uses the line and that this program supports the device.";
    case Failure::Refused:
        return "The device refused the request: check that it runs its firmware (not the "
               "recovery mode) and that the values are within its limits.";
    case Failure::OutOfMemory:
        return "The computer ran out of memory for the device's answer: close other programs "
               "and try again.";
    }
    return "";
}

} // namespace ZORVI
