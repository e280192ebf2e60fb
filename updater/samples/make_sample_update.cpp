// Writes the sample update file that the demo flashes into the simulated
// device: a kind-2 file (with a description) for hardware 8 of any minor
// version, application 3.1.8 and data 1.3, carried over to address 0 after
// a mode request to address 1. The records hold a made-up but fixed image,
// so the file comes out byte for byte the same on every run.
//
//   make_sample_update OUTPUT.upd
//   make_sample_update --help

#include "Packet.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t KIND_WITH_DESCRIPTION = 2;
constexpr uint8_t HARDWARE_MAJOR = 8;
constexpr uint8_t ANY_MINOR = 0xFF;
constexpr uint16_t APPLICATION_VERSION[3] = {3, 1, 8};
constexpr uint16_t DATA_VERSION[2] = {1, 3};
constexpr uint8_t ENTRY_ADDRESS = 1;
constexpr uint8_t TARGET_ADDRESS = 0;
constexpr uint32_t RECORD_COUNT = 120;
constexpr uint32_t RECORD_DATA_LENGTH = 128;
constexpr uint32_t LAST_RECORD_DATA_LENGTH = 52;
constexpr size_t VALUES_PER_LINE = 16;

const char* const DESCRIPTION =
    "ZORVIK firmware 3.1.8 (sample)\n"
    "\n"
    "For hardware 8.x. A made-up image for trying the updater with the device "
    "simulator; it is not a firmware for a real device.";

void appendBig(Bytes& out, uint32_t value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

Bytes header()
{
    const std::string description = DESCRIPTION;
    Bytes out;
    appendBig(out, KIND_WITH_DESCRIPTION, 2);
    appendBig(out, 26 + static_cast<uint32_t>(description.size()), 4);
    out.push_back(HARDWARE_MAJOR);
    out.push_back(ANY_MINOR);
    for (uint16_t part : APPLICATION_VERSION)
        appendBig(out, part, 2);
    for (uint16_t part : DATA_VERSION)
        appendBig(out, part, 2);
    out.push_back(ENTRY_ADDRESS);
    out.push_back(TARGET_ADDRESS);
    appendBig(out, static_cast<uint32_t>(description.size()), 4);
    out.insert(out.end(), description.begin(), description.end());
    const uint16_t crc =
        ZORVI::Communication::Packet::crc16(out.data(), static_cast<uint16_t>(out.size()));
    appendBig(out, crc, 2);
    return out;
}

// A fixed pseudo-random byte sequence (a plain linear congruential
// generator), so that the image does not look like a counter.
class ImageBytes {
public:
    uint8_t next()
    {
        m_state = m_state * 1103515245u + 12345u;
        return static_cast<uint8_t>(m_state >> 16);
    }

private:
    uint32_t m_state = 0x2012;
};

Bytes record(ImageBytes& image, uint32_t dataLength)
{
    Bytes out;
    appendBig(out, dataLength, 2);
    for (uint32_t i = 0; i < dataLength; ++i)
        out.push_back(image.next());
    return out;
}

// The header and every record start on a line of their own.
void writeLines(FILE* file, const Bytes& bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i) {
        const bool lineEnd = (i + 1) % VALUES_PER_LINE == 0 || i + 1 == bytes.size();
        std::fprintf(file, "%02X%c", bytes[i], lineEnd ? '\n' : ' ');
    }
}

const char* const USAGE = "usage: make_sample_update OUTPUT.upd\n";

bool isHelp(const char* word)
{
    return !std::strcmp(word, "--help") || !std::strcmp(word, "-h");
}

// The one argument is the file to write: a word that starts with '-' is no
// file name the user meant ("--help" would otherwise become one).
bool isOutputName(const char* word)
{
    return word[0] != '-' && word[0] != '\0';
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && isHelp(argv[1])) {
        std::printf("%sWrites the sample update file the demo flashes into the simulated\n"
                    "device (application 3.1.8, data 1.3, hardware 8), byte for byte the\n"
                    "same on every run.\n",
                    USAGE);
        return 0;
    }
    if (argc != 2 || !isOutputName(argv[1])) {
        std::fputs(USAGE, stderr);
        return 1;
    }
    FILE* file = std::fopen(argv[1], "w");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    writeLines(file, header());
    ImageBytes image;
    for (uint32_t k = 0; k < RECORD_COUNT; ++k)
        writeLines(file, record(image, k + 1 == RECORD_COUNT ? LAST_RECORD_DATA_LENGTH
                                                             : RECORD_DATA_LENGTH));
    if (std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
