#include "Update.h"

#include "BigEndian.h"
#include "HexDigits.h"
#include "Packet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

namespace ZORVI {

using Communication::Packet;

namespace {

constexpr uint16_t KIND_PLAIN = 1;
constexpr uint16_t KIND_DESCRIBED = 2;
constexpr uint32_t PLAIN_HEADER_LENGTH = 22;
constexpr uint32_t DESCRIBED_HEADER_BASE = 26;
constexpr uint32_t MIN_IMAGE_LENGTH = 6;

constexpr uint32_t OFFSET_HEADER_LENGTH = 2;
constexpr uint32_t OFFSET_HARDWARE_MAJOR = 6;
constexpr uint32_t OFFSET_HARDWARE_MINOR = 7;
constexpr uint32_t OFFSET_APPLICATION = 8;
constexpr uint32_t OFFSET_DATA = 14;
constexpr uint32_t OFFSET_ENTRY = 18;
constexpr uint32_t OFFSET_TARGET = 19;
constexpr uint32_t OFFSET_DESCRIPTION_LENGTH = 20;
constexpr uint32_t OFFSET_DESCRIPTION = 24;

// How much of an update file's text one read takes.
constexpr size_t READ_CHUNK = 64 * 1024;

// The longest run Packet::crc16 takes in one call.
constexpr uint32_t MAX_CRC_PIECE = 0xFFFF;

bool isWhiteSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Collects byte values from the text that nextChar() hands out one character
// at a time (EOF at the end), at most `room` of them. False when the text
// holds anything but hex digits and white space before that.
template <typename NextChar>
bool readValues(NextChar nextChar, uint8_t* image, uint32_t room, uint32_t* count)
{
    *count = 0;
    int c = nextChar();
    while (*count < room) {
        while (isWhiteSpace(c))
            c = nextChar();
        if (c == EOF)
            return true;
        int value = HexDigits::value(c);
        if (value < 0)
            return false;
        c = nextChar();
        const int low = HexDigits::value(c);
        if (low >= 0) {
            value = (value << 4) | low;
            c = nextChar();
        }
        image[(*count)++] = static_cast<uint8_t>(value);
    }
    return true;
}

// The header CRC, stored big-endian at its end, makes the CRC over the whole
// header 0. A header with a long description exceeds what one crc16 call
// takes, so the run is split: the CRC register after one piece is what the
// next two message bytes get XORed with, so a later piece continues the run
// once its first two bytes are combined with the register. Null when the
// scratch piece cannot be had.
std::optional<bool> crcChecksOut(const uint8_t* data, uint32_t length)
{
    std::unique_ptr<uint8_t[]> piece;
    uint16_t crc = 0;
    for (uint32_t pos = 0; pos < length;) {
        uint32_t size = std::min(length - pos, MAX_CRC_PIECE);
        if (length - pos - size == 1)
            --size; // every later piece needs its two bytes
        if (pos == 0) {
            crc = Packet::crc16(data, static_cast<uint16_t>(size));
        } else {
            if (!piece)
                piece.reset(new (std::nothrow) uint8_t[MAX_CRC_PIECE]);
            if (!piece)
                return std::nullopt;
            std::memcpy(piece.get(), data + pos, size);
            piece[0] ^= static_cast<uint8_t>(crc >> 8);
            piece[1] ^= static_cast<uint8_t>(crc & 0xFF);
            crc = Packet::crc16(piece.get(), static_cast<uint16_t>(size));
        }
        pos += size;
    }
    return crc == 0;
}

int deviceAddress(uint8_t value)
{
    if (!Packet::isAddress(value))
        return Packet::ADDRESS_INVALID;
    return value;
}

} // namespace

Update::Update(const char* path)
{
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[MAX_VALUES]);
    if (!image) {
        m_problem = Problem::OutOfMemory;
        return;
    }
    std::FILE* file = path ? std::fopen(path, "r") : nullptr;
    if (!file) {
        m_problem = Problem::Unreadable;
        return;
    }
    // The text is taken in large reads and handed out from the buffer: a
    // character-by-character fgetc locks the stream on every call once the
    // program runs a second thread, as every Qt program does, which made the
    // reading several times slower.
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[READ_CHUNK]);
    if (!chunk) {
        std::fclose(file);
        m_problem = Problem::OutOfMemory;
        return;
    }
    size_t position = 0;
    size_t filled = 0;
    auto nextChar = [file, &chunk, &position, &filled]() -> int {
        if (position == filled) {
            filled = std::fread(chunk.get(), 1, READ_CHUNK, file);
            position = 0;
            if (filled == 0)
                return EOF;
        }
        return static_cast<unsigned char>(chunk[position++]);
    };
    uint32_t count = 0;
    const bool clean = readValues(nextChar, image.get(), MAX_VALUES, &count);
    std::fclose(file);
    if (clean)
        parse(image.get(), count);
    else
        m_problem = Problem::NotHexText;
}

std::unique_ptr<Update> Update::fromText(const char* text, size_t length)
{
    std::unique_ptr<Update> update(new (std::nothrow) Update);
    if (update)
        update->readText(text, length);
    return update;
}

void Update::readText(const char* text, size_t length)
{
    // Every value takes at least one character.
    const uint32_t room = static_cast<uint32_t>(std::min<size_t>(length, MAX_VALUES));
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[room + 1]);
    if (!image) {
        m_problem = Problem::OutOfMemory;
        return;
    }
    size_t pos = 0;
    auto nextChar = [text, length, &pos]() -> int {
        return pos < length ? static_cast<unsigned char>(text[pos++]) : EOF;
    };
    uint32_t count = 0;
    if (readValues(nextChar, image.get(), room, &count))
        parse(image.get(), count);
    else
        m_problem = Problem::NotHexText;
}

Update::~Update()
{
    freeRecords();
    delete[] m_description;
}

void Update::freeRecords()
{
    while (m_records) {
        UpdateRecord* next = m_records->next;
        delete m_records;
        m_records = next;
    }
}

void Update::parse(const uint8_t* image, uint32_t count)
{
    uint32_t headerLength = 0;
    if (!checkHeader(image, count, &headerLength))
        return;
    if (!takeHeaderFields(image, headerLength))
        return;
    m_valid = takeRecords(image, count, headerLength);
}

bool Update::refuse(Problem problem)
{
    m_problem = problem;
    return false;
}

bool Update::checkHeader(const uint8_t* image, uint32_t count, uint32_t* headerLength)
{
    if (count < MIN_IMAGE_LENGTH)
        return refuse(Problem::TooShort);
    const uint16_t kind = BigEndian::read16(image);
    const uint32_t length = BigEndian::read32(image + OFFSET_HEADER_LENGTH);
    if (kind != KIND_PLAIN && kind != KIND_DESCRIBED)
        return refuse(Problem::UnknownKind);
    if (kind == KIND_PLAIN ? length != PLAIN_HEADER_LENGTH : length < DESCRIBED_HEADER_BASE)
        return refuse(Problem::HeaderLength);
    // A header must leave at least one byte for the records.
    if (length >= count)
        return refuse(Problem::NoRecords);
    if (kind == KIND_DESCRIBED) {
        const uint32_t described = BigEndian::read32(image + OFFSET_DESCRIPTION_LENGTH);
        if (uint64_t(described) + DESCRIBED_HEADER_BASE != length)
            return refuse(Problem::HeaderLength);
    }
    const std::optional<bool> crcOk = crcChecksOut(image, length);
    if (!crcOk)
        return refuse(Problem::OutOfMemory);
    if (!*crcOk)
        return refuse(Problem::HeaderCrc);
    *headerLength = length;
    return true;
}

bool Update::takeHeaderFields(const uint8_t* image, uint32_t headerLength)
{
    // The versions land in the device information layout; the hardware
    // keeps the file's whole bytes (see versionInfo).
    std::memcpy(m_versionInfo.bytes.data() + DeviceInfo::DATA_OFFSET, image + OFFSET_DATA,
                DeviceInfo::DATA_LENGTH);
    std::memcpy(m_versionInfo.bytes.data() + DeviceInfo::APPLICATION_OFFSET,
                image + OFFSET_APPLICATION, DeviceInfo::APPLICATION_LENGTH);
    m_versionInfo.bytes[DeviceInfo::HARDWARE_OFFSET] = image[OFFSET_HARDWARE_MAJOR];
    m_versionInfo.bytes[DeviceInfo::HARDWARE_OFFSET + 1] = image[OFFSET_HARDWARE_MINOR];
    m_entryAddress = deviceAddress(image[OFFSET_ENTRY]);
    m_targetAddress = deviceAddress(image[OFFSET_TARGET]);

    if (headerLength == PLAIN_HEADER_LENGTH)
        return true;
    const uint32_t described = headerLength - DESCRIBED_HEADER_BASE;
    if (described == 0)
        return true;
    m_description = new (std::nothrow) char[described + 1];
    if (!m_description)
        return refuse(Problem::OutOfMemory);
    std::memcpy(m_description, image + OFFSET_DESCRIPTION, described);
    m_description[described] = '\0';
    return true;
}

bool Update::takeRecords(const uint8_t* image, uint32_t count, uint32_t headerLength)
{
    const uint32_t remaining = count - headerLength;
    const uint8_t* next = image + headerLength;
    UpdateRecord* tail = nullptr;
    uint32_t sum = 0;
    while (sum < remaining && m_problem == Problem::None) {
        const uint32_t left = remaining - sum;
        const uint32_t length = left >= 2 ? BigEndian::read16(next) : 0;
        if (left < 2 || length + 2 > left)
            m_problem = Problem::RecordsDoNotFit; // cut short at the end of the file
        else if (length > MAX_RECORD_LENGTH)
            m_problem = Problem::RecordTooLong;
        else if (!appendRecord(next, static_cast<uint16_t>(length + 2), &tail))
            m_problem = Problem::OutOfMemory;
        else {
            sum += length + 2;
            next += length + 2;
        }
    }
    m_totalBytes = sum;
    return m_problem == Problem::None;
}

bool Update::appendRecord(const uint8_t* bytes, uint16_t size, UpdateRecord** tail)
{
    UpdateRecord* record = new (std::nothrow) UpdateRecord;
    if (!record)
        return false;
    record->data = new (std::nothrow) uint8_t[size];
    if (!record->data) {
        delete record;
        return false;
    }
    std::memcpy(record->data, bytes, size);
    record->size = size;
    if (*tail)
        (*tail)->next = record;
    else
        m_records = record;
    *tail = record;
    ++m_recordCount;
    return true;
}

} // namespace ZORVI
