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
    : m_serialPort(new Communication::Serial::SerialWin)
{
}

Control::~Control()
{
    delete m_serialPort;
}

bool Control::testInterface(const char* portName, bool* echoResult, bool* lineResult)
{
    if (!m_serialPort->open(portName, PORT_MODE_KORLINK))
        return false;
    if (echoResult)
        *echoResult = echoTest();
    if (lineResult)
        *lineResult = lineTest();
    return true;
}

bool Control::echoTest()
{
    if (!m_serialPort->write(INTERFACE_PROBE, sizeof INTERFACE_PROBE, nullptr))
        return false;
    uint8_t received[PROBE_READ_SIZE];
    uint32_t count = 0;
    if (!m_serialPort->read(received, sizeof received, &count))
        return false;
    // A short echo fails; never compare bytes that did not arrive.
    return count >= sizeof INTERFACE_PROBE
        && std::memcmp(received, INTERFACE_PROBE, sizeof INTERFACE_PROBE) == 0;
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

bool Control::enumeratePort(uint32_t index, char* buffer, uint32_t bufferSize)
{
    return m_serialPort->enumeratePort(index, buffer, bufferSize);
}

void Control::libraryInfo(char* buildDate, uint32_t size, uint32_t* major, uint32_t* minor,
                          uint32_t* patch) const
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

uint8_t* Control::transact(int32_t destination, uint8_t command, const uint8_t* payload,
                           uint16_t payloadLength, uint16_t* answerLength)
{
    *answerLength = 0;
    Packet request;
    request.setDestination(destination);
    request.setSource(Packet::ADDRESS_HOST);
    request.setCommand(command);
    if (!request.setPayload(payload, payloadLength, false))
        return nullptr;
    if (!m_serialPort->sendPacket(request))
        return nullptr;
    std::unique_ptr<Packet> answer(m_serialPort->receivePacket());
    if (!answer || answer->destination() != Packet::ADDRESS_HOST
        || answer->source() != destination || answer->command() != command)
        return nullptr;
    return answer->copyPayload(answerLength);
}

bool Control::queryDeviceInfo(DeviceInfo* info)
{
    info->clear();
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE,
                                               Protocol::COMMAND_DEVICE_INFO, nullptr, 0, &length));
    return answer && info->takeAnswer(answer.get(), length);
}

bool Control::queryRecovery(uint8_t* hardwareByte)
{
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(
        transact(Packet::ADDRESS_RECOVERY, Protocol::COMMAND_DESCRIPTORS, nullptr, 0, &length));
    if (!answer || length != 1)
        return false;
    *hardwareByte = answer[0];
    return true;
}

bool Control::readDescriptors(uint16_t firstId, uint8_t count, uint8_t* found,
                              ParameterDescriptor** records)
{
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
        return false;
    if (described == 0)
        return true;

    ParameterDescriptor* array = new (std::nothrow) ParameterDescriptor[described];
    if (!array)
        return false;
    fillDescriptors(answer.get(), length, firstId, array);
    *found = static_cast<uint8_t>(described);
    *records = array;
    return true;
}

uint16_t* Control::readValues(uint16_t address, uint8_t count)
{
    uint8_t request[3] = {0, 0, count};
    BigEndian::write16(address, request);
    // A single word is asked for without the count byte.
    const uint16_t requestLength = count > 1 ? 3 : 2;
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE,
                                               Protocol::COMMAND_READ_VALUES, request,
                                               requestLength, &length));
    if (!answer || answer[length - 1] != Protocol::STATUS_OK)
        return nullptr;
    const uint32_t words = (length - 1u) / 2u;
    // The caller reads count words: an answer with another number of words
    // would have it read past the array or take stale data.
    if (words != count || count == 0)
        return nullptr;
    uint16_t* values = new (std::nothrow) uint16_t[words];
    if (!values)
        return nullptr;
    for (uint32_t i = 0; i < words; ++i)
        values[i] = BigEndian::read16(answer.get() + 2 * i);
    return values;
}

bool Control::writeValues(uint8_t command, const uint16_t* addresses, const uint16_t* values,
                          uint32_t count)
{
    std::vector<uint8_t> payload;
    if (!m_blockMode) {
        if (count == 0 || count > MAX_LIST_PAIRS)
            return false;
        payload.push_back(static_cast<uint8_t>(count | Protocol::LIST_LAYOUT_FLAG));
        for (uint32_t i = 0; i < count; ++i) {
            BigEndian::append16(payload, addresses[i]);
            BigEndian::append16(payload, values[i]);
        }
    } else {
        if (count == 0 || count > MAX_BLOCK_VALUES)
            return false;
        BigEndian::append16(payload, addresses[0]);
        payload.push_back(static_cast<uint8_t>(count & 0xFF));
        for (uint32_t i = 0; i < count; ++i)
            BigEndian::append16(payload, values[i]);
    }
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE, command, payload.data(),
                                               static_cast<uint16_t>(payload.size()), &length));
    return answer && answer[0] == Protocol::STATUS_OK;
}

bool Control::writeParameters(const uint16_t* addresses, const uint16_t* values, uint32_t count)
{
    return writeValues(Protocol::COMMAND_WRITE_PARAMETERS, addresses, values, count);
}

bool Control::handshake(uint8_t tokenHigh, uint8_t tokenLow)
{
    const uint8_t request[3] = {Protocol::HANDSHAKE_MARKER, static_cast<uint8_t>(~tokenHigh),
                                static_cast<uint8_t>(~tokenLow)};
    uint16_t length = 0;
    std::unique_ptr<uint8_t[]> answer(transact(Packet::ADDRESS_FIRMWARE,
                                               Protocol::COMMAND_HANDSHAKE, request,
                                               sizeof request, &length));
    return answer && length >= 3 && answer[2] == Protocol::STATUS_OK;
}

} // namespace ZORVI
