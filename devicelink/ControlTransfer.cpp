// The firmware transfer part of the device controller: the mode request that
// takes the device into its receiving mode, and the record-by-record transfer
// of an update file. A library of its own (zorvik_transfer) that the updater
// and the command line link; the settings program never sends firmware.

#include "Control.h"

#include "Packet.h"
#include "Protocol.h"
#include "SerialBase.h"
#include "UnlockPrefix.h"
#include "Update.h"
#include "win32/SignalPortRelease.h"

#include <algorithm>
#include <memory>
#include <new>

namespace ZORVI {

using Communication::Packet;

namespace {

constexpr uint16_t MAX_MODE_PAYLOAD = 6;

uint8_t inverted(uint8_t byte)
{
    return static_cast<uint8_t>(~byte);
}

// The payload of a mode request to destination, or 0 bytes for an address
// that takes no mode request.
uint16_t modePayload(int32_t destination, uint8_t letter, uint8_t* payload)
{
    switch (destination) {
    case Packet::ADDRESS_FIRMWARE: {
        const uint8_t bytes[MAX_MODE_PAYLOAD] = {UNLOCK_PREFIX[0], UNLOCK_PREFIX[1],
                                                 UNLOCK_PREFIX[2], UNLOCK_PREFIX[3],
                                                 inverted(letter), letter};
        std::copy(bytes, bytes + MAX_MODE_PAYLOAD, payload);
        return MAX_MODE_PAYLOAD;
    }
    case Packet::ADDRESS_RECOVERY:
        payload[0] = letter;
        return 1;
    case Packet::ADDRESS_DEVICE_3:
        payload[0] = inverted(letter);
        payload[1] = letter;
        return 2;
    default:
        return 0;
    }
}

} // namespace

void Control::reportProgress(int percent)
{
    if (m_progressCallback)
        m_progressCallback(percent, nullptr);
}

bool Control::requestMode(int32_t destination, bool flagB, bool flagF)
{
    // A closed port needs no check of its own: sendPacket refuses at once.
    m_lastFailure = Failure::None;
    uint8_t letter = Protocol::MODE_RUN;
    if (flagB)
        letter = Protocol::MODE_BOOT;
    else if (flagF && destination == Packet::ADDRESS_FIRMWARE)
        letter = Protocol::MODE_FLASH;

    uint8_t payload[MAX_MODE_PAYLOAD];
    const uint16_t length = modePayload(destination, letter, payload);
    if (length == 0)
        return fail(Failure::InvalidRequest);

    Packet request;
    request.setDestination(destination);
    request.setSource(Packet::ADDRESS_HOST);
    request.setCommand(Protocol::COMMAND_MODE);
    if (!request.setPayload(payload, length, false))
        return fail(Failure::InvalidRequest);
    return m_serialPort->sendPacket(request) || failFromPort(Failure::WriteFailed);
}

bool Control::anyAnswer()
{
    // Whatever answers counts: the device is in some mode that listens. The
    // answer itself carries nothing the transfer needs.
    std::unique_ptr<Packet> answer(m_serialPort->receivePacket());
    return answer != nullptr || failFromPort(Failure::NoAnswer);
}

bool Control::enterReceivingMode(int32_t entryAddress, int32_t targetAddress)
{
    for (uint32_t pass = 0; pass < MODE_PASSES; ++pass) {
        if (requestMode(entryAddress, true, false) && anyAnswer())
            return true;
        if (requestMode(targetAddress, true, false) && anyAnswer())
            return true;
    }
    return false;
}

bool Control::sendRecords(const Update& update)
{
    Packet packet;
    packet.setDestination(update.targetAddress());
    packet.setSource(Packet::ADDRESS_HOST);
    packet.setCommand(Protocol::COMMAND_RECORD);

    const uint32_t totalBytes = update.totalBytes();
    uint32_t sent = 0;
    for (const UpdateRecord* record = update.records(); record; record = record->next) {
        const uint32_t number = m_lastTransfer.recordsAcknowledged + 1;
        // A stop signal ends the transfer between two records, so that the
        // program can still say and record how far it came.
        if (Communication::Serial::SignalPortRelease::heldStop() != 0)
            return failTransfer(TransferReport::Failure::Interrupted, number);
        // The record goes out whole, its length field included; the packet
        // layer stuffs it and adds the CRC when the target is the firmware.
        if (!packet.setPayload(record->data, record->size, false)) {
            fail(Failure::InvalidRequest);
            return failTransfer(TransferReport::Failure::PortLost, number);
        }
        sent += record->size;
        // Reported before the record goes out, so the last record is sent
        // while the bar already shows 100.
        reportProgress(static_cast<int>(sent * 100u / totalBytes));
        if (!m_serialPort->sendPacket(packet)) {
            failFromPort(Failure::WriteFailed);
            return failTransfer(TransferReport::Failure::PortLost, number);
        }
        std::unique_ptr<Packet> answer(m_serialPort->receivePacket());
        if (!answer) {
            failFromPort(Failure::NoAnswer);
            return failTransfer(TransferReport::Failure::RecordUnanswered, number);
        }
        if (answer->payloadLength() != 1 || answer->payload()[0] != Protocol::RECORD_ACKNOWLEDGE) {
            // A damaged acknowledgement counts as a refusal, as any other
            // answer does; the reason tells them apart.
            fail(m_serialPort->packetFailure() == Failure::BadCrc ? Failure::BadCrc
                                                                  : Failure::Refused);
            return failTransfer(TransferReport::Failure::RecordRefused, number);
        }
        ++m_lastTransfer.recordsAcknowledged;
    }
    return true;
}

bool Control::failTransfer(TransferReport::Failure failure, uint32_t record)
{
    m_lastTransfer.failure = failure;
    m_lastTransfer.failedRecord = record;
    return false;
}

int Control::transferUpdate(const Update& update)
{
    m_lastTransfer = TransferReport();
    m_lastTransfer.recordsTotal = update.recordCount();
    m_lastFailure = Failure::None;
    // Nothing of a broken or empty update may reach the device.
    if (!update.isValid() || !update.records() || update.totalBytes() == 0) {
        fail(Failure::InvalidRequest);
        failTransfer(TransferReport::Failure::InvalidUpdate, 0);
        return -1;
    }
    m_serialPort->purge();
    // The reason is that of the last mode request.
    if (!enterReceivingMode(update.entryAddress(), update.targetAddress())) {
        failTransfer(TransferReport::Failure::NoModeAnswer, 0);
        return -1;
    }
    // The device needs a moment to switch modes before it takes records.
    m_serialPort->sleep(MODE_SETTLE_MS);
    return sendRecords(update) ? 0 : -1;
}

int Control::runUpdate(const char* path)
{
    // Start the bar at 0 before the file is read.
    reportProgress(0);
    std::unique_ptr<Update> update(new (std::nothrow) Update(path));
    if (!update) {
        m_lastTransfer = TransferReport();
        fail(Failure::OutOfMemory);
        failTransfer(TransferReport::Failure::InvalidUpdate, 0);
        return -1;
    }
    return transferUpdate(*update);
}

std::string Control::describe(const TransferReport& report)
{
    // Not Control::Failure, the link's: the transfer's own.
    using TransferFailure = TransferReport::Failure;
    const std::string record = std::to_string(report.failedRecord) + " of "
        + std::to_string(report.recordsTotal);
    switch (report.failure) {
    case TransferFailure::None:
        return std::string();
    case TransferFailure::InvalidUpdate:
        return "The update file is not valid; nothing was sent.";
    case TransferFailure::NoModeAnswer:
        return "The device did not accept the mode request: it never entered its receiving "
               "mode.";
    case TransferFailure::RecordRefused:
        return "Record " + record + " was refused by the device.";
    case TransferFailure::RecordUnanswered:
        return "Record " + record + " was not answered.";
    case TransferFailure::PortLost:
        return "The port was lost at record " + record + ".";
    case TransferFailure::Interrupted:
        return "The update was stopped before record " + record
            + ": the program was asked to end.";
    }
    return std::string();
}

} // namespace ZORVI
