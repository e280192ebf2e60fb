// Fuzzes the update file reader and checks what a valid result promises the
// transfer: records that add up to totalBytes, each as long as its own
// length field says, and device addresses only.
//
// The first input byte chooses how the rest is read:
//   even ('t'): the rest is the file's text as it is, whatever it holds;
//   odd:        the rest is the file's bytes (its image). The fuzzer makes
//               the header CRC check out and writes the image as hex text
//               in the layout that bits 1-2 choose: pairs packed together
//               ('i'), or separated by a blank ('k'), a newline ('m') or
//               CR LF ('o').
// Random bytes almost never carry a matching CRC, so without the second
// mode nearly every input ends at the header; with it the mutations reach
// the records, the value cap and the description. The image mode also
// knows what the file holds, so a valid result must reproduce it exactly.

#include "Packet.h"
#include "Update.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using ZORVI::Update;

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool isAddress(int address)
{
    return (address >= 0 && address <= 3) || address == 6 || address == 255;
}

// The header length field: big-endian, after the 2-byte kind.
constexpr size_t HEADER_LENGTH_OFFSET = 2;
constexpr size_t HEADER_LENGTH_END = 6;

uint32_t headerLengthOf(const std::vector<uint8_t>& image)
{
    uint32_t length = 0;
    for (size_t i = HEADER_LENGTH_OFFSET; i < HEADER_LENGTH_END; ++i)
        length = (length << 8) | image[i];
    return length;
}

// Stores the CRC at the end of the header, big-endian, so that the CRC over
// the whole header is 0. Headers longer than one crc16 run (a kind-2
// description of 64 KiB) keep what they have; false for those.
bool fixHeaderCrc(std::vector<uint8_t>& image)
{
    if (image.size() < HEADER_LENGTH_END)
        return false;
    const uint32_t length = headerLengthOf(image);
    if (length < 2 || length > image.size() || length - 2 > 0xFFFF)
        return false;
    const uint16_t crc =
        ZORVI::Communication::Packet::crc16(image.data(), static_cast<uint16_t>(length - 2));
    image[length - 2] = static_cast<uint8_t>(crc >> 8);
    image[length - 1] = static_cast<uint8_t>(crc & 0xFF);
    return true;
}

std::string asText(const std::vector<uint8_t>& image, uint8_t layout)
{
    static const char* const separators[] = {"", " ", "\n", "\r\n"};
    static const char digits[] = "0123456789ABCDEF";
    const char* separator = separators[layout & 3];
    std::string text;
    text.reserve(image.size() * (2 + std::strlen(separator)));
    for (uint8_t byte : image) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
        text += separator;
    }
    return text;
}

void checkValid(const Update& update)
{
    require(update.records() != nullptr);
    uint64_t sum = 0;
    for (const ZORVI::UpdateRecord* record = update.records(); record; record = record->next) {
        require(record->size >= 2 && record->data != nullptr);
        const uint32_t length = (uint32_t(record->data[0]) << 8) | record->data[1];
        require(length + 2 == record->size);
        sum += record->size;
    }
    require(sum == update.totalBytes());
    require(sum < Update::MAX_VALUES);
}

// A valid reading of a known image: its records are the image after the
// header, byte for byte.
void checkReproduces(const Update& update, const std::vector<uint8_t>& image)
{
    const uint32_t headerLength = headerLengthOf(image);
    const size_t read = std::min<size_t>(image.size(), Update::MAX_VALUES);
    require(headerLength + uint64_t(update.totalBytes()) == read);
    const uint8_t* expected = image.data() + headerLength;
    for (const ZORVI::UpdateRecord* record = update.records(); record; record = record->next) {
        require(std::memcmp(record->data, expected, record->size) == 0);
        expected += record->size;
    }
}

void checkReading(const Update* update, const std::vector<uint8_t>* image, bool crcFixed)
{
    if (!update)
        return;
    require(isAddress(update->entryAddress()) && isAddress(update->targetAddress()));
    if (crcFixed)
        require(update->problem() != Update::Problem::HeaderCrc);
    if (!update->isValid())
        return;
    checkValid(*update);
    if (image)
        checkReproduces(*update, *image);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    if ((mode & 1) == 0) {
        auto update = Update::fromText(reinterpret_cast<const char*>(data + 1), size - 1);
        checkReading(update.get(), nullptr, false);
        return 0;
    }
    // Values past the cap are never read: two more than it show that.
    std::vector<uint8_t> image(data + 1, data + std::min<size_t>(size, Update::MAX_VALUES + 3));
    const bool crcFixed = fixHeaderCrc(image);
    const std::string text = asText(image, static_cast<uint8_t>(mode >> 1));
    auto update = Update::fromText(text.data(), text.size());
    checkReading(update.get(), &image, crcFixed);
    return 0;
}
